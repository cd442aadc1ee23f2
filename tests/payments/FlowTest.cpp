// The end-to-end request: a purchase receipt turned in from open order lines,
// a price edited, saved and audited; "生成付款单..." opens the payment with the
// receipt loaded, which is saved and audited: the receipt is settled and the
// supplier's payable is back where it started. The same for a sale and its
// receipt of money.

#include "../purchase/PurchaseFixture.h"
#include "PBuyForm.h"
#include "PayForm.h"
#include "SaleForm.h"

namespace {

template <class Form>
class Flow : public purchasetest::PurchaseTest<Form> {
protected:
    // Chooses cash as the settlement method, saves and audits the money
    // window another window opened; its note id.
    template <class F>
    qint64 settle(std::unique_ptr<F> money, const char *table)
    {
        money->MasterDataSource()->SetFieldValue(money->MasterField(QStringLiteral("PAYTYPESID")), 1);
        const auto before = this->errors().size();
        money->OkBtnClick();
        EXPECT_EQ(this->errors().size(), before) << this->err();
        const qint64 id = this->lastNote(table);
        money->CheckBtnClick();
        EXPECT_EQ(this->column(table, id, "NOTESTATE").toInt(), 1) << this->err();
        return id;
    }
};

using FlowTest = Flow<TPBuyForm>;
using SaleFlowTest = Flow<TSaleForm>;

TEST_F(FlowTest, AReceiptFromOrderLinesIsPaidThroughItsMenu)
{
    const qint64 s5 = partnerId("S005");
    const double start = owed(s5);
    const qint64 order = writeNote("orderpth", "PO-1", 1, 1, s5, {{"BG0003", 10, 1.5}, {"BG0005", 2, 12}});
    open();
    setMaster("PARTNERID", s5);
    turnIn(order);
    ASSERT_EQ(lines()->RecordCount(), 2) << err();
    lines()->Last();
    setLine("PRICE", 11);
    ASSERT_TRUE(save()) << err();
    const qint64 receipt = lastNote("purchasepth");
    form()->CheckBtnClick();
    ASSERT_EQ(state("purchasepth", receipt), 1) << err();
    const double amount = column("purchasepth", receipt, "AMOUNT").toDouble();
    EXPECT_NEAR(owed(s5), start + amount, 1e-6);

    form()->LoadNote(int(receipt));
    menu("muPToPay")->trigger();
    auto pay = opened<TPayForm>("PayForm");
    ASSERT_TRUE(pay) << err();
    EXPECT_EQ(pay->MasterValue(QStringLiteral("PARTNERID")).toLongLong(), s5);
    EXPECT_EQ(row(0, "REFERNOTEID,AMOUNT", pay.get()), QStringLiteral("%1/%2").arg(receipt).arg(amount));
    settle(std::move(pay), "payath");
    EXPECT_NEAR(column("purchasepth", receipt, "REFERAMT").toDouble(), amount, 1e-6);
    EXPECT_NEAR(owed(s5), start, 1e-6);
}

TEST_F(SaleFlowTest, ASaleIsReceivedThroughItsMenu)
{
    const qint64 c4 = partnerId("C004");
    const double start = owed(c4);
    auto *sale = open();
    setMaster("PARTNERID", c4);
    addLine("BG0003", 10, 2.5);
    ASSERT_TRUE(save()) << err();
    const qint64 id = lastNote("salesth");
    sale->CheckBtnClick();
    ASSERT_EQ(state("salesth", id), 1) << err();
    const double amount = column("salesth", id, "AMOUNT").toDouble();
    EXPECT_NEAR(owed(c4), start + amount, 1e-6);

    sale->LoadNote(int(id));
    sale->muMoneyClick();
    auto receipt = opened<TGetMoneyForm>("GetMoneyForm");
    ASSERT_TRUE(receipt) << err();
    EXPECT_EQ(row(0, "REFERNOTETYPE,REFERNOTEID,SHOULDPAYAMT", receipt.get()),
              QStringLiteral("14/%1/%2").arg(id).arg(amount));
    settle(std::move(receipt), "chargeath");
    EXPECT_NEAR(column("salesth", id, "REFERAMT").toDouble(), amount, 1e-6);
    EXPECT_NEAR(owed(c4), start, 1e-6);
}

} // namespace
