// Amounts in Chinese capital numerals, in words and for printed boxes.

#include "Notepublic.h"

#include <gtest/gtest.h>

TEST(AmountInWords, DigitsWithUnitsZerosFoldedRoundedToTheFen)
{
    const struct {
        double amount;
        const char *words;
    } cases[] = {
        {0, "零元整"},
        {0.05, "伍分"},
        {0.5, "伍角整"},
        {100.01, "壹佰元零壹分"},
        {1005, "壹仟零伍元整"},
        {16409.02, "壹万陆仟肆佰零玖元零贰分"},
        {107000.53, "壹拾万柒仟元伍角叁分"},
        {1001000, "壹佰万零壹仟元整"},
        {100000001.23, "壹亿零壹元贰角叁分"},
        {1000010000, "壹拾亿零壹万元整"},
        {205000000, "贰亿零伍佰万元整"},
        {123456789012.34, "壹仟贰佰叁拾肆亿伍仟陆佰柒拾捌万玖仟零壹拾贰元叁角肆分"},
        {-1234.5, "负壹仟贰佰叁拾肆元伍角整"},
        {-0.01, "负壹分"},
        // The four-decimal value is rounded, not the binary double (2.67).
        {2.675, "贰元陆角捌分"},
        {0.005, "壹分"},
        {9.995, "壹拾元整"},
        {-0.0049, "零元整"}, // no "负" before nothing
        // Beyond the highest unit (仟亿) there are no words.
        {999999999999.99, "玖仟玖佰玖拾玖亿玖仟玖佰玖拾玖万玖仟玖佰玖拾玖元玖角玖分"},
        {1e12, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.amount);
        EXPECT_EQ(AmountInWords(c.amount), QString::fromUtf8(c.words));
    }
}

TEST(AmountInBoxes, CapitalDigitsBehindAYuanSignAlignedByLength)
{
    const std::pair<double, const char *> cases[] = {
        {0, "               ￥  零   零   零   "},
        {10.5, "            ￥  壹   零   伍   零   "},
        {1005, "      ￥  壹   零   零   伍   零   零   "},
        {876543.21, " ￥捌   柒   陆   伍   肆   叁   贰   壹   "},
        {10000000.00, " ￥壹   零   零   零   零   零   零   零   零   零   "},
        {-2.5, "            ￥  负   贰   伍   零   "},
        {2.675, "               ￥  贰   陆   捌   "},
    };
    for (const auto &[amount, boxes] : cases)
        EXPECT_EQ(AmountInBoxes(amount), QString::fromUtf8(boxes)) << amount;
}
