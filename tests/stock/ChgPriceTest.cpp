// The price change through its window: the rate and its range, the checks
// before save, and the stock revalued on audit and back exactly on un-audit.

#include "ChgPriceForm.h"
#include "StockFixture.h"

namespace {

class ChgPriceTest : public stocktest::StockTest<TChgPriceForm> {
protected:
    // A line of the commodity as a clerk starts it: the price after is the price before.
    void addGoods(const char *code)
    {
        form()->muAppendDetailClick();
        setLine("COMMODITYCODE", QString::fromLatin1(code));
    }
};

TEST_F(ChgPriceTest, ARateRevaluesTheStoresStockAndUnauditGivesItBack)
{
    ASSERT_EQ(onHand("BG0001", 1), QStringLiteral("200/3660")) << "the demo's paper in the head-office store";
    start(1);
    addGoods("BG0001");
    EXPECT_DOUBLE_EQ(line(0, "APRICE").toDouble(), 18.3);
    EXPECT_DOUBLE_EQ(line(0, "SQUANTITY").toDouble(), 200);
    EXPECT_TRUE(refused(QStringLiteral("调价科目为空或者不是末级科目,不能保存!")));
    setMaster("SUBCODE", QStringLiteral("1405"));
    EXPECT_TRUE(refused(QStringLiteral("第[1]条货品的调后单价不能等于调前单价！")));
    setLine("ADJUSTRATE", 0);
    EXPECT_EQ(lastError(), QStringLiteral("对不起,调价比率超出范围,请重新输入."));
    EXPECT_DOUBLE_EQ(line(0, "ADJUSTRATE").toDouble(), 100);
    setLine("ADJUSTRATE", 110);
    EXPECT_DOUBLE_EQ(line(0, "PRICE").toDouble(), 20.13);
    EXPECT_DOUBLE_EQ(line(0, "PASPRICE").toDouble(), 1.83);
    // Batch-costed water keeps its batches' prices.
    addGoods("SP0001");
    setLine("ADJUSTRATE", 90);
    EXPECT_TRUE(refused(QStringLiteral("第[2]条货品是批次货品不可以调整单价！")));
    form()->muDeleteDetailClick();
    const qint64 id = saveAndAudit("ChgPriceith");
    EXPECT_EQ(onHand("BG0001", 1), QStringLiteral("200/4026"));
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select PRICE from onhandaath where BUILDINGID=1 and COMMODITYID=%1")
                                .arg(goods(QStringLiteral("BG0001"))))
                         .toDouble(),
                     20.13);
    ASSERT_EQ(audit("ChgPriceith", id), 0) << err();
    EXPECT_EQ(onHand("BG0001", 1), QStringLiteral("200/3660"));
    EXPECT_EQ(flows(31, id), QString());
}

} // namespace
