// Partner prices and the default price from the multi-price procedure, and
// the current business period, on real demo books.

#include "NotepublicFixture.h"

using namespace notepublictest;

namespace {

class PricesTest : public NotepublicTest {};

// What the test procedure saw and what it answers.
struct MultiPriceCall {
    QVector<QVariant> inputs;
    int calls = 0;
    bool fail = false;
    bool nulls = false;
};
MultiPriceCall g_call;

void registerTestMultiPrice()
{
    db::Registry::instance().addProcedure(
        QStringLiteral("GetCommodityMultiPrice"), [](db::Database &, QVector<db::ProcArg> &args) {
            ++g_call.calls;
            g_call.inputs.clear();
            for (int i = 0; i < 5 && i < args.size(); ++i)
                g_call.inputs << args[i].value;
            if (g_call.fail)
                throw db::DbError(QStringLiteral("货品多价格计算失败"));
            if (args.size() != 9 || !args[5].output || !args[8].output)
                throw db::DbError(QStringLiteral("wrong arguments"));
            if (!g_call.nulls) {
                // Prices depend on the class so the class really reaches the procedure.
                const double base = args[0].value.toInt() * 10.0;
                args[5].value = base + 2.123456789; // default
                args[6].value = base + 1.5;         // last
                args[7].value = base + 3.25;        // level
                args[8].value = base + 4.75;        // special
            }
            return db::ResultSet{};
        });
}

} // namespace

// How the routine shows a failing procedure is the same whether the procedure
// fails itself or the layer does not know it; the failing case is below.
TEST_F(PricesTest, DefaultPriceCallsTheProcedureWithThePriceClass)
{
    registerTestMultiPrice();
    g_call = {};
    // Demo books keep four price decimals.
    EXPECT_EQ(DefaultPrice(4, 3, 1, 0, 2), 12.1235);
    EXPECT_EQ(g_call.inputs, (QVector<QVariant>{1, 3, 1, 0, 2}));
    EXPECT_EQ(DefaultPrice(14, 8, 7, 55, 3), 22.1235);
    EXPECT_EQ(g_call.inputs, (QVector<QVariant>{2, 8, 7, 55, 3}));
    EXPECT_EQ(DefaultPrice(25, 11, 0, 0, 4), 32.1235);
    EXPECT_EQ(g_call.inputs.first(), 3);
    EXPECT_EQ(DefaultPrice(61, 11, 0, 0, 4), 32.1235); // money documents: class 3 too

    const CommodityPrices all = CommodityMultiPrice(12, 1, 1, 0, 1);
    EXPECT_DOUBLE_EQ(all.defaultPrice, 22.123456789);
    EXPECT_EQ((QList<double>{all.lastPrice, all.levPrice, all.spPrice}), (QList<double>{21.5, 23.25, 24.75}));
    EXPECT_TRUE(errors().isEmpty());

    // No price from the procedure: 0.
    g_call.nulls = true;
    EXPECT_EQ(DefaultPrice(4, 3, 1, 0, 2), 0.0);
    EXPECT_TRUE(errors().isEmpty());

    // The procedure's own failure is shown with its text; the caller gets 0.
    g_call.nulls = false;
    g_call.fail = true;
    EXPECT_EQ(DefaultPrice(4, 3, 1, 0, 2), 0.0);
    EXPECT_EQ(errors(), (QStringList{QStringLiteral("货品多价格计算失败")}));
    EXPECT_THROW(CommodityMultiPrice(4, 3, 1, 0, 2), db::DbError);
    g_call = {};
}

TEST_F(PricesTest, PartnerPriceIsMinusOneOnlyWithoutARow)
{
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
