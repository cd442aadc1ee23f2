// The consignment note through its window: goods sent out at cost, part
// returned by its own menu, the rest settled by a sale of kind 3, each audited;
// the cost-price checks and the audit refusals.

#include "../purchase/PurchaseFixture.h"

#include "DeputeMarketForm.h"
#include "SaleForm.h"

#include <QLabel>

namespace {

class ConsignmentTest : public purchasetest::SalesTest<TDeputeMarketForm> {
protected:
    double stock(qint64 store)
    {
        return scalar(QStringLiteral("select QUANTITY from onhandaath where COMMODITYID=%1 and BUILDINGID=%2")
                          .arg(goods(QStringLiteral("DZ0001"))).arg(store)).toDouble();
    }
    bool reversedShown() const { return !child<QLabel>("lbReversed")->isHidden(); }
};

TEST_F(ConsignmentTest, GoodsSentOutComeBackInPartTheRestIsSettledByASaleAndTheCostPriceIsChecked)
{
    const qint64 c003 = partnerId("C003");
    open();
    setMaster("PARTNERID", c003);
    addLine("DZ0001", 6, 69);
    const qint64 store = line(0, "BUILDINGID").toLongLong();
    ASSERT_GT(store, 0);
    const double cost = scalar(QStringLiteral("select PRICE from onhandaath where COMMODITYID=%1 and BUILDINGID=%2")
                                   .arg(goods(QStringLiteral("DZ0001"))).arg(store)).toDouble();
    EXPECT_DOUBLE_EQ(line(0, "APRICE").toDouble(), cost) << "the store's average cost";
    const double before = stock(store);
    ASSERT_TRUE(save()) << err();
    const qint64 sent = current();
    form()->CheckBtnClick();
    ASSERT_EQ(state("DeputeMarketsth", sent), 1) << err();
    EXPECT_DOUBLE_EQ(stock(store), before - 6);
    ASSERT_TRUE(form()->LoadNote(int(sent)));

    // Two come back, at the cost they left at.
    menu("muDepute")->trigger();
    ASSERT_TRUE(form()->IsNewNote()) << err();
    EXPECT_EQ(masters("NOTEKIND,PARTNERID"), QStringLiteral("2/%1").arg(c003));
    ASSERT_EQ(lines()->RecordCount(), 1);
    EXPECT_EQ(row(0, "QUANTITY,APRICE") + u'/' + refer(0), QStringLiteral("-6/%1/13/%2/1").arg(cost).arg(sent));
    setLine("QUANTITY", -2);
    ASSERT_TRUE(save()) << err();
    const qint64 back = current();
    form()->CheckBtnClick();
    ASSERT_EQ(state("DeputeMarketsth", back), 1) << err();
    EXPECT_DOUBLE_EQ(stock(store), before - 4);
    ASSERT_TRUE(form()->LoadNote(int(back)));
    form()->CheckBtnClick();
    EXPECT_EQ(lastError(), QStringLiteral("估价冲回单不能反审核！"));
    ASSERT_TRUE(form()->LoadNote(int(sent)));
    EXPECT_TRUE(auditRefused("DeputeMarketsth", sent, 1, QStringLiteral("该单有记录已被引用,不能反审核!")));

    // The other four are sold by a settlement (a sale of kind 3).
    menu("muSale")->trigger();
    auto sale = opened<TSaleForm>("SaleForm");
    ASSERT_NE(sale, nullptr) << err();
    EXPECT_EQ(sale->MasterValue(QStringLiteral("NOTEKIND")).toInt(), 3);
    ASSERT_EQ(sale->DetailDataSet()->RecordCount(), 1);
    EXPECT_EQ(row(0, "QUANTITY,BUILDINGID", sale.get()) + u'/' + refer(0, sale.get()),
              QStringLiteral("4/%1/13/%2/1").arg(store).arg(sent));
    // Sold 5 below the consigned price: the difference stays on the line.
    m_messages.clear();
    sale->DetailDataSource()->SetFieldValue(sale->DetailDataSet()->FieldByName(QStringLiteral("ORIGPRICE")), 64);
    const double taxRate = line(0, "TAXRATE", sale.get()).toDouble();
    sale->OkBtnClick();
    ASSERT_TRUE(errors().isEmpty()) << err();
    const qint64 settled = sale->CurrentNoteID();
    sale->CheckBtnClick();
    ASSERT_EQ(state("salesth", settled), 1) << err();
    EXPECT_NEAR(column("salesthDetail", settled, "MARGIN", 1).toDouble(), 5 * (1 + taxRate / 100) * 4, 0.005);

    // Nothing is left: marked, and neither menu makes anything more.
    ASSERT_TRUE(form()->LoadNote(int(sent)));
    EXPECT_TRUE(reversedShown());
    m_messages.clear();
    form()->muSaleClick();
    form()->muDeputeClick();
    EXPECT_EQ(shown(), (QStringList{QStringLiteral("已经冲回不能再生成销售单"), QStringLiteral("已经冲回")}));
    // Un-auditing the sale opens the note again.
    ASSERT_TRUE(sale->LoadNote(int(settled)));
    sale->CheckBtnClick();
    EXPECT_EQ(state("salesth", settled), 0) << err();
    ASSERT_TRUE(form()->LoadNote(int(sent)));
    EXPECT_FALSE(reversedShown());

    // The cost price is checked: below 0 refused, 0 asked about.
    const int notes = count("DeputeMarketsth");
    open();
    setMaster("PARTNERID", partnerId("C001"));
    addLine("BG0001", 3, 25);
    setLine("APRICE", -1);
    EXPECT_TRUE(refused(QStringLiteral("成本价为空或小于0！")));
    setLine("APRICE", 0);
    m_messages.answer(AnswerNo);
    form()->OkBtnClick();
    EXPECT_EQ(m_messages.last().text, QStringLiteral("货品[A4复印纸]的成本价等于零，是否继续？"));
    EXPECT_EQ(count("DeputeMarketsth"), notes);
}

} // namespace
