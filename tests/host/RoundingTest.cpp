#include "HostFixture.h"

#include <cmath>

using namespace hosttest;

TEST(RoundToExTest, HalfAwayFromZeroOnTheDecimalValue)
{
    // value, digits, rounded; 100/3*3 is a quantity split in thirds and summed again
    const std::tuple<double, int, double> cases[] = {
        {2.675, 2, 2.68},   {1.005, 2, 1.01},   {-2.675, 2, -2.68},   {0.125, 2, 0.13},     {0.124999, 2, 0.12},
        {2.5, 0, 3.0},      {-2.5, 0, -3.0},    {0.1 + 0.2, 10, 0.3}, {1234.5, -1, 1230.0}, {1235, -1, 1240.0},
        {0.0004, 2, 0.0},   {0.005, 2, 0.01},   {3.0, 4, 3.0},        {0.0, 2, 0.0},        {1.23456789, 10, 1.23456789},
        {12345678.125, 2, 12345678.13},         {100.0 / 3 * 3, 4, 100.0},
    };
    for (const auto &[value, digits, rounded] : cases)
        EXPECT_DOUBLE_EQ(RoundToEx(value, digits), rounded) << value << " to " << digits;
    EXPECT_TRUE(std::isnan(RoundToEx(std::nan(""), 2)));
}

class PrecisionTest : public HostTest {};

TEST_F(PrecisionTest, ConfiguredDecimalsWithDefaultsAndRefresh)
{
    // No parameters in the books: 4, 6 and 2.
    RefreshDecimals();
    EXPECT_DOUBLE_EQ(FormatQuantity(1.23456), 1.2346);
    EXPECT_DOUBLE_EQ(FormatPrice(1.23456789), 1.234568);
    EXPECT_DOUBLE_EQ(FormatAmount(2.675), 2.68);
    EXPECT_DOUBLE_EQ(FormatAmount(-0.005), -0.01);

    setParam(2001, "QtyDecimals", "2");
    setParam(2002, "PriceDecimals", "4");
    setParam(2003, "AmtDecimals", "0");
    EXPECT_DOUBLE_EQ(FormatQuantity(1.23456), 1.2346); // read once, cached
    RefreshDecimals();
    EXPECT_DOUBLE_EQ(FormatQuantity(1.23456), 1.23);
    EXPECT_DOUBLE_EQ(FormatPrice(1.23456789), 1.2346);
    EXPECT_DOUBLE_EQ(FormatAmount(2.5), 3.0);

    // Nonsense falls back to the default.
    setParam(2003, "AmtDecimals", "many");
    RefreshDecimals();
    EXPECT_EQ(AmountDecimals(), 2);
    // A refresh of the parameter set reads the decimals again too.
    setParam(2003, "AmtDecimals", "3");
    EXPECT_EQ(AmountDecimals(), 2);
    EXPECT_TRUE(RefreshLookupDataSet("qrySysParam"));
    EXPECT_EQ(AmountDecimals(), 3);

    // Another set of books brings its own precision.
    testsupport::TempFolder other;
    auto books = testsupport::freshBooks(other.file("other.db"), false);
    SetStartupDB(books.get());
    EXPECT_EQ(QuantityDecimals(), 4);
    SetStartupDB(m_db.get());
    EXPECT_EQ(QuantityDecimals(), 2);
}
