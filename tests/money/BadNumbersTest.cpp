// Numbers typed by a clerk into an amount cell: "inf", "nan" and amounts too
// large to keep their cents never reach the line. (The field's exact
// messages: the data-set tests; a bad value typed into an edit control: the
// controls' tests; the field named by its caption: the kind structure test.)

#include "MoneyFixture.h"

#include "data/ClientDataSet.h"
#include "widgets/DBGrid.h"

#include <cmath>

using namespace moneytest;

namespace {

class BadNumbersTest : public MoneyTest {};

const char *const kBadNumbers[] = {"abc", "inf", "-inf", "nan", "1e13", "10000000000000"};

bool finiteAmount(const QVariant &amount)
{
    return amount.isNull() || (std::isfinite(amount.toDouble()) && amount.toDouble() < 1e12);
}

TEST_F(BadNumbersTest, AnAmountCellTakesNoLettersAndRefusesWhatIsTooLarge)
{
    showActive(QStringLiteral("OutMoneyForm"));
    auto *grid = child<widgets::TRqDBGrid>(QStringLiteral("ItemGrid"));
    grid->setFocus();
    enter(QStringLiteral("01")); // the item; Enter moves to the amount
    for (const char *bad : kBadNumbers) {
        SCOPED_TRACE(bad);
        m_messages.clear();
        enter(QString::fromLatin1(bad));
        // The cell's editor drops letters ("1e13" arrives as 113, a number
        // the clerk can see); what is left too large is refused.
        EXPECT_EQ(errors().size(), QByteArray(bad).size() > 4 ? 1 : 0);
        EXPECT_TRUE(finiteAmount(detail()->FieldByName(QStringLiteral("AMOUNT"))->Value()));
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, 1));
    }
    enter(QStringLiteral("80"));
    EXPECT_DOUBLE_EQ(detail()->FieldByName(QStringLiteral("AMOUNT"))->AsFloat(), 80);
}

} // namespace
