// Partner prices and the default price from the multi-price procedure, and
// the current business period, on real demo books.

#include "NotepublicFixture.h"

using namespace notepublictest;

namespace {

class PricesTest : public NotepublicTest {};

} // namespace

// The books' own multi-price procedure (its rules are tested with the
// database); here: the price class of the note type reaches it, its four
// prices come back, the default is rounded to the books' price decimals and
// its refusal is shown.
TEST_F(PricesTest, DefaultPriceCallsTheProcedureWithThePriceClassAndPartnerPricesAreRead)
{
    EXPECT_EQ(DefaultPrice(4, 2, 1, 0, 2), 37.0);   // purchase: the last purchase price from supplier 1
    EXPECT_EQ(DefaultPrice(14, 7, 8, 0, 0), 279.0); // sales: the list price of customer 8's level 3
    EXPECT_EQ(DefaultPrice(25, 1, 0, 0, 1), 18.3);  // stock: the store's moving average
    EXPECT_EQ(DefaultPrice(61, 1, 0, 0, 2), 18.0);  // money documents count as stock: the cost

    const CommodityPrices all = CommodityMultiPrice(12, 1, 7, 0, 1);
    EXPECT_EQ((QList<double>{all.defaultPrice, all.lastPrice, all.levPrice, all.spPrice}),
              (QList<double>{23.5, 23.5, 24, 23.5}));
    EXPECT_TRUE(errors().isEmpty());

    // Demo books keep four price decimals; a price the procedure leaves null is 0.
    sql("update Commoditylth set APRICE = 180.123456 where COMMODITYID = 7"); // all the column's six places
    EXPECT_EQ(DefaultPrice(4, 7, 0, 0, 0), 180.1235);
    EXPECT_DOUBLE_EQ(CommodityMultiPrice(4, 7, 0, 0, 0).defaultPrice, 180.123456);
    EXPECT_EQ(CommodityMultiPrice(4, 7, 0, 0, 0).lastPrice, 0.0);
    EXPECT_TRUE(errors().isEmpty());

    // The procedure's refusal is shown with its text; the caller gets 0.
    EXPECT_EQ(DefaultPrice(4, 9999, 1, 0, 2), 0.0);
    EXPECT_EQ(errors(), (QStringList{QStringLiteral("过程 GetCommodityMultiPrice: 货品ID 9999 不存在。")}));
    EXPECT_THROW(CommodityMultiPrice(4, 9999, 1, 0, 2), db::DbError);

    // A partner's own price is -1 only when there is no row for it.
    m_messages.clear();
    EXPECT_DOUBLE_EQ(PartnerPrice(1, 1), 17.5);
    EXPECT_DOUBLE_EQ(PartnerPrice(2, 8), 600);
    EXPECT_DOUBLE_EQ(PartnerPrice(9, 9), 0); // a stored price 0 is a price
    EXPECT_DOUBLE_EQ(PartnerPrice(1, 2), -1);
    EXPECT_DOUBLE_EQ(PartnerPrice(0, 1), -1);
    sql("insert into partnerprice (PARTNERID, COMMODITYID, PRICE) values (1, 2, 36.8)");
    EXPECT_DOUBLE_EQ(PartnerPrice(1, 2), 36.8);
    EXPECT_TRUE(errors().isEmpty());

    sql("drop table partnerprice");
    EXPECT_DOUBLE_EQ(PartnerPrice(1, 1), -1);
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors().first().contains(QStringLiteral("partnerprice"), Qt::CaseInsensitive)) << errors().first().toStdString();
}

TEST_F(PricesTest, CurrentPeriodIsTheFirstDayOfTheBusinessMonth)
{
    setParam(3002, "PosYear", "2005");
    setParam(3003, "PosMonth", "3");
    EXPECT_EQ(CurrentPeriodDate(), QDate(2005, 3, 1));
    setParam(3003, "PosMonth", "12");
    EXPECT_EQ(CurrentPeriodDate(), QDate(2005, 12, 1));

    // A month out of range, an empty or missing parameter (no value): raised, not shown.
    const std::tuple<int, const char *, const char *> broken[] = {{3003, "PosMonth", "0"},  {3003, "PosMonth", "13"},
                                                                 {3003, "PosMonth", nullptr}, {3002, "PosYear", ""},
                                                                 {3002, "PosYear", nullptr}};
    for (const auto &[id, name, value] : broken) {
        SCOPED_TRACE(std::string(name) + "=" + (value ? value : "(none)"));
        setParam(3002, "PosYear", "2005");
        setParam(3003, "PosMonth", "4");
        if (value)
            setParam(id, QString::fromLatin1(name), QString::fromLatin1(value));
        else
            sql(QStringLiteral("delete from sysparamamth where PARAMID=%1").arg(id));
        try {
            CurrentPeriodDate();
            ADD_FAILURE() << "no exception";
        } catch (const PubError &e) {
            EXPECT_EQ(e.text(), QStringLiteral("取当前业务期间出错."));
        }
    }
    EXPECT_TRUE(errors().isEmpty()); // raised, not shown
}
