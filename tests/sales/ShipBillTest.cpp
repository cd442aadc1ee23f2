// The cargo card through its window: the customer and its contact, charge
// lines by item code or name with their refusals, the profit kept at save, the
// demo's card loaded again; and the sales windows grabbed for checking by eye.

#include "../purchase/PurchaseFixture.h"

#include "DeputeMarketForm.h"
#include "PricePolicyForms.h"
#include "SNOrderForm.h"
#include "SPriceForm.h"
#include "ShipBillForm.h"

#include <QComboBox>

namespace {

class ShipBillTest : public purchasetest::PurchaseTest<TShipBillForm> {
protected:
    void charge(const char *item, double get, double pay)
    {
        form()->muAppendDetailClick();
        setLine("ITEMCODE", QString::fromUtf8(item));
        setLine("GETAMOUNT", get);
        setLine("PAYAMOUNT", pay);
    }
};

TEST_F(ShipBillTest, ACardKeepsItsChargesAndProfit)
{
    const int cards = count("ShipBill");
    open();
    EXPECT_EQ(form()->windowTitle(), QStringLiteral("进出口业务揽货卡."));
    setMaster("BILLNO", QStringLiteral("MSKU7731002"));
    charge("HYF", 5000.456, 4200);
    EXPECT_TRUE(refused(QStringLiteral("客户不能为空")));
    setMaster("PARTNERID", scalar(QStringLiteral("select PARTNERID from partnerlth where CODE='C002'")));
    EXPECT_EQ(masters("CONTACTOR,FAX"), QStringLiteral("高峰/010-59288889")) << "the customer's contact shows";
    EXPECT_EQ(row(0, "MONEYITEM,GETAMOUNT"), QStringLiteral("海运费/5000.46"));
    // An item typed by name; an unknown one is refused and leaves the line without item.
    charge("报关费", 600, 450);
    EXPECT_EQ(row(1, "ITEMCODE,MONEYITEM"), QStringLiteral("BGF/报关费"));
    EXPECT_DOUBLE_EQ(master("PROFIT").toDouble(), 950.46);
    charge("运杂费", 80, 0);
    EXPECT_EQ(lastError(), QStringLiteral("费用项目[运杂费]不存在."));
    EXPECT_TRUE(line(2, "MONEYITEMID").isNull());
    EXPECT_TRUE(refused(QStringLiteral("请输入费用项目.")));
    EXPECT_EQ(count("ShipBill"), cards);
    setLine("ITEMCODE", QStringLiteral("TCF"));
    ASSERT_TRUE(save()) << err();
    const qint64 id = current();
    EXPECT_EQ(values("ShipBill", id, "BILLNO, AMOUNT, PROFIT"),
              QStringLiteral("MSKU7731002/5680.46/1030.46"));
    EXPECT_EQ(values("shipbilldetail", id, "MONEYITEMID, GETAMOUNT, PAYAMOUNT"), QStringLiteral("1/5000.46/4200,2/600/450,3/80/0"));
    form()->CheckBtnClick();
    EXPECT_EQ(state("ShipBill", id), 1) << err();

    // The demo's card comes back with its items named.
    const qint64 demo = scalar(QStringLiteral("select NOTEID from ShipBill where BILLNO='COSU6182736450'")).toLongLong();
    ASSERT_TRUE(form()->LoadNote(int(demo)));
    EXPECT_EQ(lines()->RecordCount(), 3);
    EXPECT_EQ(row(2, "ITEMCODE,MONEYITEM,GETAMOUNT,PAYAMOUNT"), QStringLiteral("TCF/拖车费/900/400"));
    EXPECT_EQ(masters("CONTACTOR,PROFIT"), QStringLiteral("高峰/1950"));
}

using SalesScreenshotTest = purchasetest::PurchaseTest<>;

TEST_F(SalesScreenshotTest, TheSalesWindowsAreGrabbed)
{
    shoot<TSalePlanForm>(QStringLiteral("sales_plan"), 6, "DZ0001", 69);
    shoot<TSNOrderForm>(QStringLiteral("sales_order"), 6, "DZ0001", 69);
    shoot<TDeputeMarketForm>(QStringLiteral("sales_consignment"), 6, "DZ0001", 69);
    shoot<TSPriceForm>(QStringLiteral("sales_quotation"), 6, "DZ0001", 69);
    // The demo's cargo card: a master of shipment facts and charge lines.
    auto *card = open<TShipBillForm>();
    ASSERT_TRUE(card->LoadNote(int(lastNote("ShipBill"))));
    grabbed(card, QStringLiteral("sales_cargo_card"));
    m_form.reset();
    TSetDefPriceForm policy;
    policy.page(0).partner->setCurrentIndex(0);
    policy.show();
    grabbed(&policy, QStringLiteral("sales_price_policy"));
}

} // namespace
