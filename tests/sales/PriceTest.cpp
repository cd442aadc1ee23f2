// The quotation turned into a sales order (then not un-audited); the price
// policy kept per partner with its refusals, and the price enquiry showing it.

#include "../purchase/PurchaseFixture.h"

#include "PBuyForm.h"
#include "PricePolicyForms.h"
#include "SNOrderForm.h"
#include "SPriceForm.h"

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

namespace {

class PriceTest : public purchasetest::PurchaseTest<> {
protected:
    static void choose(QComboBox *box, qint64 partner)
    {
        box->setCurrentIndex(box->findData(QVariant::fromValue(partner)));
        ASSERT_GE(box->currentIndex(), 0) << partner;
    }
    static QString rows(QTableWidget *t)
    {
        QStringList out;
        for (int r = 0; r < t->rowCount(); ++r)
            out << t->item(r, 0)->text() + u'=' + t->item(r, 3)->text();
        return out.join(u',');
    }
    static void setCell(QTableWidget *t, int row, int column, const QString &text) { t->item(row, column)->setText(text); }
    QString kept(qint64 partner)
    {
        return testsupport::rowsOf(database(), QStringLiteral("select g.CODE, p.PRICE from partnerprice p join Commoditylth g on "
                                                              "g.COMMODITYID=p.COMMODITYID where p.PARTNERID=%1 order by g.CODE")
                                                   .arg(partner), u'=', u',');
    }
};

TEST_F(PriceTest, AQuotationIsTurnedIntoASalesOrderAndIsThenNotUnaudited)
{
    const qint64 c004 = partnerId("C004");
    open<TSPriceForm>();
    setMaster("PARTNERID", c004);
    setMaster("CONTACTFAX", QStringLiteral("020-85592889"));
    addLine("DZ0004", 12, 59);
    addLine("BG0002", 40, 50);
    ASSERT_TRUE(save()) << err(); // no delivery date needed
    const qint64 quote = current();
    EXPECT_EQ(column("s_price", quote, "CONTACTFAX").toString(), QStringLiteral("020-85592889"));
    form()->CheckBtnClick();
    ASSERT_EQ(state("s_price", quote), 1) << err();

    // A sales order takes what is left of the quoted lines.
    sql(QStringLiteral("update S_PriceDetail set REFERQTY=10 where NOTEID=%1 and ITEMSNO=2").arg(quote));
    auto *order = open<TSNOrderForm>();
    setMaster("PARTNERID", c004);
    setMaster("REVDATE", GetFirstDayOfPosMonth().addDays(9));
    turnIn(quote);
    ASSERT_EQ(order->DetailDataSet()->RecordCount(), 2) << err();
    EXPECT_EQ(row(1, "COMMODITYCODE,QUANTITY,PRICE"), QStringLiteral("BG0002/30/50"));
    EXPECT_EQ(refer(1), QStringLiteral("15/%1/2").arg(quote));
    ASSERT_TRUE(save()) << err();
    const qint64 orderId = current();
    order->CheckBtnClick();
    ASSERT_EQ(state("ordersth", orderId), 1) << err();
    EXPECT_EQ(values("S_PriceDetail", quote, "REFERQTY"), QStringLiteral("12,40"));

    ASSERT_TRUE(open<TSPriceForm>()->LoadNote(int(quote)));
    EXPECT_TRUE(auditRefused("s_price", quote, 1, QStringLiteral("单据已被引用过,不能反审核！")));
}

TEST_F(PriceTest, ThePricePolicyKeepsPricesPerPartnerAndTheEnquiryShowsThem)
{
    const qint64 c001 = partnerId("C001");
    TSetDefPriceForm policy;
    const TSetDefPriceForm::Page sales = policy.page(0), buying = policy.page(1);
    EXPECT_LT(sales.partner->findData(QVariant::fromValue(qint64(1))), 0) << "a supplier is no customer";
    EXPECT_GE(buying.partner->findData(QVariant::fromValue(qint64(1))), 0);
    EXPECT_LT(buying.partner->findData(QVariant::fromValue(c001)), 0);

    choose(sales.partner, c001);
    const QString agreed = QStringLiteral("BG0001=23.5,SP0001=27.5"); // in the demo books
    EXPECT_EQ(rows(sales.prices), agreed);
    EXPECT_EQ(kept(c001), agreed);
    // A price changed, a commodity added.
    setCell(sales.prices, 0, 3, QStringLiteral("26"));
    policy.btnAdd->click();
    ASSERT_EQ(sales.prices->rowCount(), 3);
    setCell(sales.prices, 2, 0, QStringLiteral("NOSUCH"));
    EXPECT_FALSE(policy.Save());
    EXPECT_EQ(lastError(), QStringLiteral("货品编号[NOSUCH]不存在！"));
    setCell(sales.prices, 2, 0, QStringLiteral("BG0003"));
    setCell(sales.prices, 2, 3, QStringLiteral("-1"));
    EXPECT_FALSE(policy.Save());
    EXPECT_EQ(lastError(), QStringLiteral("单价不能小于0！"));
    setCell(sales.prices, 2, 3, QStringLiteral("2.35"));
    policy.btnAdd->click();
    setCell(sales.prices, 3, 0, QStringLiteral("BG0001"));
    EXPECT_FALSE(policy.Save());
    EXPECT_EQ(lastError(), QStringLiteral("货品编号[BG0001]重复！"));
    EXPECT_EQ(kept(c001), agreed) << "nothing written while refused";
    sales.prices->setCurrentCell(3, 0);
    policy.btnDelete->click();
    m_messages.clear();
    ASSERT_TRUE(policy.Save()) << err();
    const QString now = QStringLiteral("BG0001=26,BG0003=2.35,SP0001=27.5");
    EXPECT_EQ(kept(c001), now);
    EXPECT_EQ(rows(sales.prices), now);
    EXPECT_EQ(sales.prices->item(1, 1)->text(), QStringLiteral("中性笔"));
    // A line removed is no longer agreed.
    sales.prices->setCurrentCell(2, 0);
    policy.btnDelete->click();
    ASSERT_TRUE(policy.Save()) << err();
    EXPECT_EQ(kept(c001), QStringLiteral("BG0001=26,BG0003=2.35"));

    TGetPriceForm enquiry;
    EXPECT_TRUE(enquiry.rbClient->isChecked());
    enquiry.ShowPartner(c001);
    EXPECT_EQ(rows(enquiry.grdPrice), QStringLiteral("BG0001=26,BG0003=2.35"));
    enquiry.rbVendor->setChecked(true);
    EXPECT_LT(enquiry.cmbPartner->findData(QVariant::fromValue(c001)), 0);
    EXPECT_EQ(enquiry.grdPrice->rowCount(), 0);

    // A sales order's note menu opens the enquiry on its customer.
    open<TSNOrderForm>();
    setMaster("PARTNERID", c001);
    QString shown;
    m_modal.setHandler([&shown](QWidget *w) {
        if (auto *e = qobject_cast<TGetPriceForm *>(w))
            shown = rows(e->grdPrice);
        return 1;
    });
    menu("muGetPrice")->trigger();
    EXPECT_EQ(shown, QStringLiteral("BG0001=26,BG0003=2.35")) << err();

    // So does any commodity document: a purchase receipt on its supplier.
    open<TPBuyForm>();
    setMaster("PARTNERID", scalar(QStringLiteral("select PARTNERID from partnerlth where CODE='S001'")));
    shown.clear();
    menu("muGetPrice")->trigger();
    EXPECT_EQ(shown, QStringLiteral("BG0001=17.5,BG0003=1.1")) << err();
}

} // namespace
