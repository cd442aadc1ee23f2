// Numbers typed by a clerk into the real controls: "inf", "nan" and amounts
// too large to keep their cents are refused like any text that is no number,
// and nothing of them reaches the note or the books.

#include "MoneyFixture.h"

#include "data/ClientDataSet.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QRegularExpression>
#include <QTest>

#include <cmath>

using namespace moneytest;

namespace {

class BadNumbersTest : public MoneyTest {};

// What a typed value is refused with, as the field says it.
const struct {
    const char *typed;
    const char *says;
} kBadNumbers[] = {
    {"abc", "'abc' 不是字段 '金额' 有效的"},
    {"inf", "'inf' 不是字段 '金额' 有效的"},
    {"-inf", "'-inf' 不是字段 '金额' 有效的"},
    {"nan", "'nan' 不是字段 '金额' 有效的"},
    {"1e13", "'1e13' 超出字段 '金额' 允许的范围"},
    {"10000000000000", "'10000000000000' 超出字段 '金额' 允许的范围"},
};

TEST_F(BadNumbersTest, AnAmountCellRefusesWhatIsNoFiniteAmount)
{
    showActive(QStringLiteral("OutMoneyForm"));
    auto *grid = child<widgets::TRqDBGrid>(QStringLiteral("ItemGrid"));
    ASSERT_NE(grid, nullptr);
    grid->setFocus();
    enter(QStringLiteral("01")); // the item; Enter moves to the amount
    for (const auto &bad : kBadNumbers) {
        SCOPED_TRACE(bad.typed);
        takeMessages();
        enter(QString::fromLatin1(bad.typed));
        // The cell's editor takes no letters ("1e13" arrives as 113, a
        // number the clerk can see); digits the field refuses with its message.
        const QStringList shown = errors();
        const bool lettersOnly = QString::fromLatin1(bad.typed).contains(QRegularExpression(QStringLiteral("^-?[a-z]+$")));
        if (lettersOnly) {
            EXPECT_TRUE(shown.isEmpty());
        } else if (QString::fromLatin1(bad.typed).size() > 4) {
            ASSERT_FALSE(shown.isEmpty());
            EXPECT_TRUE(shown.last().startsWith(QString::fromUtf8(bad.says))) << shown.last().toStdString();
        }
        const QVariant amount = detail()->FieldByName(QStringLiteral("AMOUNT"))->Value();
        EXPECT_TRUE(amount.isNull() || (std::isfinite(amount.toDouble()) && amount.toDouble() < 1e12))
            << amount.toString().toStdString();
        m_messages.clear();
        // The cell is still there to be typed again.
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, 1));
    }
    enter(QStringLiteral("80"));
    EXPECT_DOUBLE_EQ(detail()->FieldByName(QStringLiteral("AMOUNT"))->AsFloat(), 80);
}

TEST_F(BadNumbersTest, TheBankNoteAmountRefusesThemAndNothingIsSaved)
{
    showActive(QStringLiteral("MoveForm"));
    auto *amount = child<QWidget>(QStringLiteral("edAmount"));
    ASSERT_NE(amount, nullptr);
    const int notes = scalar(QStringLiteral("select count(*) from movebth")).toInt();
    for (const auto &bad : kBadNumbers) {
        SCOPED_TRACE(bad.typed);
        m_messages.clear();
        amount->setFocus();
        QTest::keyClick(amount, Qt::Key_A, Qt::ControlModifier);
        enter(QString::fromLatin1(bad.typed));
        ASSERT_FALSE(errors().isEmpty());
        EXPECT_TRUE(errors().last().startsWith(QString::fromUtf8(bad.says))) << errors().last().toStdString();
        const double stored = masterValue(QStringLiteral("AMOUNT")).toDouble();
        EXPECT_TRUE(std::isfinite(stored) && stored < 1e12);
    }
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from movebth")).toInt(), notes);
}

} // namespace
