// Amounts in Chinese capital numerals, in words and for printed boxes.

#include "Notepublic.h"

#include <gtest/gtest.h>

TEST(AmountInWords, WritesEachDigitWithItsUnitAndFoldsZeros)
{
    const struct {
        double amount;
        const char *words;
    } cases[] = {
        {0, "零元整"},
        {0.05, "伍分"},
        {0.5, "伍角整"},
        {0.55, "伍角伍分"},
        {1.00, "壹元整"},
        {10.5, "壹拾元伍角整"},
        {100.01, "壹佰元零壹分"},
        {1005, "壹仟零伍元整"},
        {1680.32, "壹仟陆佰捌拾元叁角贰分"},
        {10005, "壹万零伍元整"},
        {16409.02, "壹万陆仟肆佰零玖元零贰分"},
        {107000.53, "壹拾万柒仟元伍角叁分"},
        {1001000, "壹佰万零壹仟元整"},
        {10000000.00, "壹仟万元整"},
        {100000001.23, "壹亿零壹元贰角叁分"},
        {1000010000, "壹拾亿零壹万元整"},
        {1000001000, "壹拾亿零壹仟元整"},
        {205000000, "贰亿零伍佰万元整"},
        {1100000, "壹佰壹拾万元整"},
        {123456789012.34, "壹仟贰佰叁拾肆亿伍仟陆佰柒拾捌万玖仟零壹拾贰元叁角肆分"},
        {-1.00, "负壹元整"},
        {-1234.5, "负壹仟贰佰叁拾肆元伍角整"},
        {-0.01, "负壹分"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.amount);
        EXPECT_EQ(AmountInWords(c.amount), QString::fromUtf8(c.words));
    }
}

TEST(AmountInWords, RoundsTheFourDecimalValueToTheFen)
{
    EXPECT_EQ(AmountInWords(2.675), QStringLiteral("贰元陆角捌分")); // not 2.67 from the binary double
    EXPECT_EQ(AmountInWords(0.0049), QStringLiteral("零元整"));
    EXPECT_EQ(AmountInWords(0.005), QStringLiteral("壹分"));
    EXPECT_EQ(AmountInWords(-0.0049), QStringLiteral("零元整")); // no "负" before nothing
    EXPECT_EQ(AmountInWords(9.995), QStringLiteral("壹拾元整"));
    // Beyond the highest unit (仟亿) there are no words.
    EXPECT_EQ(AmountInWords(1e12), QString());
    EXPECT_EQ(AmountInWords(999999999999.99), QStringLiteral("玖仟玖佰玖拾玖亿玖仟玖佰玖拾玖万玖仟玖佰玖拾玖元玖角玖分"));
}

TEST(AmountInBoxes, CapitalDigitsBehindAYuanSignAlignedByLength)
{
    EXPECT_EQ(AmountInBoxes(0), QStringLiteral("               ￥  零   零   零   "));
    EXPECT_EQ(AmountInBoxes(1), QStringLiteral("               ￥  壹   零   零   "));
    EXPECT_EQ(AmountInBoxes(10.5), QStringLiteral("            ￥  壹   零   伍   零   "));
    EXPECT_EQ(AmountInBoxes(100.01), QStringLiteral("         ￥  壹   零   零   零   壹   "));
    EXPECT_EQ(AmountInBoxes(1005), QStringLiteral("      ￥  壹   零   零   伍   零   零   "));
    EXPECT_EQ(AmountInBoxes(12345.67), QStringLiteral("   ￥  壹   贰   叁   肆   伍   陆   柒   "));
    EXPECT_EQ(AmountInBoxes(876543.21), QStringLiteral(" ￥捌   柒   陆   伍   肆   叁   贰   壹   "));
    EXPECT_EQ(AmountInBoxes(10000000.00), QStringLiteral(" ￥壹   零   零   零   零   零   零   零   零   零   "));
    EXPECT_EQ(AmountInBoxes(-2.5), QStringLiteral("            ￥  负   贰   伍   零   "));
    EXPECT_EQ(AmountInBoxes(2.675), QStringLiteral("               ￥  贰   陆   捌   "));
}
