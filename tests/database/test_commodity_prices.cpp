// GetCommodityMultiPrice on fresh demo books, called with the batch the
// commodity lines send: the rules per price class and the refused arguments.

#include "TestSupport.h"

#include "notedb.h"

#include <gtest/gtest.h>

namespace {

// Demo ids: partners 1-3 suppliers, 7 (level 2), 8 (level 3), 9, 10 (level 4)
// customers, 11 both; commodities 1 A4 paper, 2 A3 paper, 5 stapler, 6 mouse,
// 7 keyboard, 9 U disk, 12 and 13 batch-costed food.
constexpr qint64 kUniform = 33;

class CommodityPrices : public ::testing::Test {
protected:
    void SetUp() override { d = testsupport::freshBooks(folder.file("books.db"), true); }

    // The batch exactly as the shared routine builds it.
    static QString batch(const QString &args)
    {
        return "Declare @DefaultPrice usrdefprice,@LastPrice usrdefprice,@LevPrice usrdefprice,@SpPrice usrdefprice \n"
               "Exec GetCommodityMultiPrice " + args + ",@DefaultPrice OutPut,@LastPrice OutPut,@LevPrice OutPut,@SpPrice OutPut \n"
               "Select @DefaultPrice As DefaultPrice,@LevPrice As LevPrice,@SpPrice As SpPrice,@LastPrice As LastPrice";
    }

    // "default/last/level/special", an empty place where the price is null.
    QString prices(int priceClass, qint64 commodity, qint64 partner, qint64 batchRef = 0, qint64 store = 0)
    {
        db::ResultSet rs = d->run(batch(QString("%1,%2,%3,%4,%5").arg(priceClass).arg(commodity).arg(partner).arg(batchRef).arg(store)));
        // Names as the batch wrote them, case aside (a server folds unquoted aliases).
        EXPECT_EQ(rs.columns.join(u',').toLower(), "defaultprice,levprice,spprice,lastprice");
        for (auto &row : rs.rows)
            row = {row.value(0), row.value(3), row.value(1), row.value(2)};
        return testsupport::rowsText(rs, u'/');
    }

    double defaultPrice(int priceClass, qint64 commodity, qint64 partner, qint64 batchRef = 0, qint64 store = 0)
    {
        return prices(priceClass, commodity, partner, batchRef, store).section(u'/', 0, 0).toDouble();
    }

    // The open batch of a commodity in a store received at `price`.
    qint64 batchId(qint64 commodity, int store, double price)
    {
        return d->scalar("select ID from noteflowaath where COMMODITYID = :c and BUILDINGID = :s and BTURNNOTEID is null and "
                         "BCODE is not null and abs(PRICE - :p) < 0.000001", {{"c", commodity}, {"s", store}, {"p", price}}).toLongLong();
    }

    testsupport::TempFolder folder;
    std::unique_ptr<db::Database> d;
};

TEST_F(CommodityPrices, PurchaseTakesTheAgreedThenTheLastPurchaseThenTheCost)
{
    EXPECT_EQ(prices(1, 1, 1), "17.5/17.5/25/17.5") << "agreed price";
    EXPECT_EQ(prices(1, 2, 1), "37/37/52/") << "last purchase";
    // Partner 11 last sold us staplers: a purchase price, no sales price.
    EXPECT_EQ(prices(1, 5, 11), "10.2/10.2/17/") << "last purchase of a partner who also buys";
    EXPECT_EQ(prices(1, 7, 1), "180//299/") << "cost";
    EXPECT_EQ(prices(1, 1, 0), "18//25/") << "no partner";
    // The cost never goes above the highest purchase price.
    d->exec("update Commoditylth set APRICE = 250 where COMMODITYID = 7");
    EXPECT_DOUBLE_EQ(defaultPrice(1, 7, 1), 210);
    // A return to the supplier draws on a batch and goes back at its price.
    const qint64 milk = batchId(12, 4, 52);
    ASSERT_GT(milk, 0);
    EXPECT_EQ(prices(1, 12, 3, milk, 4), "52/51.5/79/") << "batch of a return";
}

TEST_F(CommodityPrices, SalesTakeTheAgreedThenTheLastSaleThenTheLevelPrice)
{
    EXPECT_EQ(prices(2, 1, 7), "23.5/23.5/24/23.5") << "agreed price, level 2";
    EXPECT_EQ(prices(2, 6, 10), "66/66/69/") << "last sale; level 4 without a price falls back to the first";
    EXPECT_EQ(prices(2, 7, 8), "279//279/") << "level 3";
    EXPECT_EQ(prices(2, 5, 11), "17//17/") << "a purchase price is not a sales price";
    EXPECT_EQ(prices(2, 9, 9), "0//59/0") << "an agreed price 0 is a price";
    EXPECT_EQ(prices(2, 1, 0), "25//25/") << "no partner: the first list price";
    EXPECT_DOUBLE_EQ(defaultPrice(2, kUniform, 8), 80);
    EXPECT_DOUBLE_EQ(defaultPrice(2, kUniform, 7), 84);
    EXPECT_DOUBLE_EQ(defaultPrice(2, kUniform, 10), 78);
    // A batch does not change a sales price.
    EXPECT_DOUBLE_EQ(defaultPrice(2, 12, 8, batchId(12, 4, 52), 4), 74);

    // A list price below the lowest sales price offers the lowest; a stored
    // last price is kept as it was dealt.
    d->exec("update Commoditylth set LPRICE1 = 1.4 where COMMODITYID = 3");
    EXPECT_EQ(prices(2, 3, 0), "1.6//1.4/") << "lowest sales price";
    d->exec("update Commoditylth set LOWPRICE = 30 where COMMODITYID = 1");
    EXPECT_DOUBLE_EQ(defaultPrice(2, 1, 7), 23.5);
    // Without list prices or a lowest price there is nothing to offer but 0.
    d->exec("update Commoditylth set LPRICE1 = 0, LOWPRICE = 0 where COMMODITYID = 3");
    EXPECT_EQ(prices(2, 3, 0), "0///") << "no list price";
    // A last price whose note type is not recorded counts for either side.
    d->exec("insert into partnerpriceaath (PARTNERID, COMMODITYID, PRICE) values (11, 7, 270)");
    EXPECT_DOUBLE_EQ(defaultPrice(2, 7, 11), 270);
    EXPECT_DOUBLE_EQ(defaultPrice(1, 7, 11), 270);
}

TEST_F(CommodityPrices, StockTakesTheBatchThenTheStoreCostThenTheCost)
{
    EXPECT_EQ(prices(3, 1, 0, 0, 1), "18.3//25/") << "moving average of the store";
    EXPECT_DOUBLE_EQ(defaultPrice(3, 1, 0, 0, 2), 18); // not stocked there: the commodity's cost
    EXPECT_DOUBLE_EQ(defaultPrice(3, kUniform, 0, 0, 1), 44.5);
    EXPECT_DOUBLE_EQ(defaultPrice(3, kUniform, 0, 0, 3), 46.2);
    const qint64 biscuits = batchId(13, 1, 9.9);
    ASSERT_GT(biscuits, 0);
    EXPECT_DOUBLE_EQ(defaultPrice(3, 13, 0, biscuits, 1), 9.9);
    // A store whose cost is 0 falls back to the commodity's cost.
    d->exec("update onhandaath set PRICE = 0 where COMMODITYID = 1 and BUILDINGID = 1");
    EXPECT_DOUBLE_EQ(defaultPrice(3, 1, 0, 0, 1), 18);
    // No price class: no default, the other prices as they are.
    EXPECT_EQ(prices(0, 1, 7, 0, 1), "0//24/23.5") << "no class";
    // The null the layer's own tests send means "none".
    const db::ResultSet rs = d->run(batch("3,1,null,null,1"));
    EXPECT_DOUBLE_EQ(rs.value(0, "DefaultPrice").toDouble(), 18);
}

// Books made before partners had price levels get the column when opened;
// their partners are then on the first level.
TEST_F(CommodityPrices, OlderBooksGetThePriceLevelOnOpening)
{
    const QString path = d->path();
    d->exec("alter table partnerlth drop column PRICELEVEL");
    ASSERT_FALSE(d->hasColumn("partnerlth", "PRICELEVEL"));
    d.reset();
    d = notedb::openBooks(path);
    EXPECT_TRUE(d->hasColumn("partnerlth", "PRICELEVEL"));
    EXPECT_EQ(prices(2, 7, 8), "299//299/") << "level 1";
    d->exec("update partnerlth set PRICELEVEL = 3 where PARTNERID = 8");
    EXPECT_DOUBLE_EQ(defaultPrice(2, 7, 8), 279);
}

TEST_F(CommodityPrices, BadArgumentsAreRefusedWithTheirReason)
{
    d->exec("update partnerlth set PRICELEVEL = 6 where PARTNERID = 9");
    const qint64 drawing = d->scalar("select min(ID) from noteflowaath where BTURNNOTEID is not null").toLongLong();
    const qint64 plain = d->scalar("select min(ID) from noteflowaath where BCODE is null").toLongLong();
    const qint64 water = batchId(11, 4, 18);
    const struct {
        QString args, message;
    } cases[] = {
        {"4,1,0,0,0", "过程 GetCommodityMultiPrice 的参数 价格类别 只能是 0(无)、1(采购)、2(销售) 或 3(库存), 给出的是 4。"},
        {"1.5,1,0,0,0", "过程 GetCommodityMultiPrice 的参数 价格类别 必须是整数, 给出的是 '1.5'。"},
        {"1,0,0,0,0", "过程 GetCommodityMultiPrice: 货品ID 0 不存在。"},
        {"1,9999,0,0,0", "过程 GetCommodityMultiPrice: 货品ID 9999 不存在。"},
        {"2,1,-7,0,0", "过程 GetCommodityMultiPrice 的参数 往来单位ID 不能为负数, 给出的是 -7。"},
        {"2,1,999,0,0", "过程 GetCommodityMultiPrice: 往来单位ID 999 不存在。"},
        {"2,1,9,0,0", "往来单位ID 9 的价格等级 6 无效, 只能是 1 到 5。"},
        {"3,1,0,0,77", "过程 GetCommodityMultiPrice: 仓库ID 77 不存在。"},
        {"3,1,0,0,-1", "过程 GetCommodityMultiPrice 的参数 仓库ID 不能为负数, 给出的是 -1。"},
        {"3,11,0,99999,4", "过程 GetCommodityMultiPrice: 批次ID 99999 不存在。"},
        {QString("3,11,0,%1,4").arg(drawing), QString("过程 GetCommodityMultiPrice: 库存流水 %1 不是一个批次。").arg(drawing)},
        {QString("3,1,0,%1,1").arg(plain), QString("过程 GetCommodityMultiPrice: 库存流水 %1 不是一个批次。").arg(plain)},
        {QString("3,12,0,%1,4").arg(water), QString("批次ID %1 不是货品[纯牛奶]的批次。").arg(water)},
    };
    const auto refused = [&](const QString &batch) { return testsupport::refusal([&] { d->run(batch); }); };
    for (const auto &c : cases)
        EXPECT_EQ(refused(batch(c.args)), c.message) << c.args.toStdString();

    // The calling shape itself: nine arguments, the last four OUTPUT variables.
    EXPECT_EQ(refused("Declare @p usrdefprice Exec GetCommodityMultiPrice 1,1,0,0,0,@p OutPut"),
              "过程 GetCommodityMultiPrice 需要 9 个参数(价格类别, 货品ID, 往来单位ID, 批次ID, 仓库ID 和 4 个 OUTPUT 价格), 给出了 6 个。");
    EXPECT_EQ(refused("Declare @a usrdefprice,@b usrdefprice,@c usrdefprice "
                      "Exec GetCommodityMultiPrice 1,1,0,0,0,@a OutPut,@b OutPut,@c OutPut,0"),
              "过程 GetCommodityMultiPrice 的第 9 个参数必须是 OUTPUT 变量。");
}

} // namespace
