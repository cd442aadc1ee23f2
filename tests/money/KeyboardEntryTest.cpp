// The expense window driven by keystrokes alone, each sent to whatever widget
// has the focus, as a clerk's keyboard would: the whole note from the moment
// the window opens, the grid keeping every typed line, the lookups searched by
// typing, the focus after a refused save, and the windows fitting their screen.

#include "MoneyFixture.h"
#include "Pk_note_itf.h"

#include "KeyboardEntry.h"
#include "data/ClientDataSet.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QApplication>
#include <QHeaderView>
#include <QScreen>

#include <cmath>

using namespace moneytest;
using testsupport::plain;

namespace {

class KeyboardEntryTest : public MoneyTest {
protected:
    void open() { showActive(QStringLiteral("OutMoneyForm")); }
    widgets::TRqDBGrid *grid() const { return child<widgets::TRqDBGrid>(QStringLiteral("ItemGrid")); }
    widgets::TRqLookupCombo *combo(const char *name) const
    {
        return child<widgets::TRqLookupCombo>(QString::fromLatin1(name));
    }
    QVariant lineValue(int row, const char *field)
    {
        return detail()->ValueAt(row, detail()->FieldByName(QString::fromLatin1(field))->Index());
    }
    int savedNote() { return scalar(QStringLiteral("select max(NOTEID) from expenseath")).toInt(); }
};

TEST_F(KeyboardEntryTest, AWholeExpenseNoteByKeyboardFromTheMomentTheWindowOpens)
{
    open();
    const double cashBefore = balance(1);
    // The first editable field, not 新增; Enter takes the searched row and moves on.
    EXPECT_EQ(focusName(), QStringLiteral("cmbPartner"));
    enter(QStringLiteral("C001"));
    EXPECT_EQ(masterValue(QStringLiteral("PARTNERID")).toInt(), 7);
    EXPECT_EQ(focusName(), QStringLiteral("cmbPayType"));
    enter(QStringLiteral("01"));
    EXPECT_EQ(masterValue(QStringLiteral("PAYTYPESID")).toInt(), 1);
    EXPECT_EQ(masterValue(QStringLiteral("ACCOUNTID")).toInt(), 1);
    EXPECT_EQ(focusName(), QStringLiteral("cmbAccount"));
    key(Qt::Key_Return);
    EXPECT_EQ(focusName(), QStringLiteral("edCheckNo"));
    enter(QStringLiteral("X-17"));
    ASSERT_EQ(focus(), grid());

    // 01 Enter 80 Enter taxi Enter: the line stays, the total shows it, and
    // the cursor waits on the next line's first cell.
    enter(QStringLiteral("01"));
    enter(QStringLiteral("80"));
    enter(QStringLiteral("taxi"));
    ASSERT_GE(detail()->RecordCount(), 1);
    EXPECT_EQ(QStringList({plain(lineValue(0, "IETYPESID")), plain(lineValue(0, "AMOUNT")), plain(lineValue(0, "REMARK"))}),
              QStringList({"1", "80", "taxi"}));
    EXPECT_EQ(grid()->FooterText(1), QStringLiteral("80.00"));
    EXPECT_EQ(grid()->currentIndex().row(), 1);
    EXPECT_EQ(grid()->currentIndex().column(), 0);
    type(QStringLiteral("差旅费"));
    key(Qt::Key_Tab);
    enter(QStringLiteral("120.5"));
    EXPECT_EQ(grid()->FooterText(1), QStringLiteral("200.50"));

    // F7 saves (the untouched line is dropped), F9 audits.
    key(Qt::Key_F7);
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    const int id = savedNote();
    ASSERT_GT(id, 0);
    EXPECT_EQ(testsupport::rowsText(*m_db, QStringLiteral("select d.ITEMSNO, d.AMOUNT, m.AMOUNT, m.CHECKNO from expenseath m "
                                                          "join expenseathdetail d on d.NOTEID = m.NOTEID where m.NOTEID=%1 "
                                                          "order by d.ITEMSNO").arg(id)),
              QStringLiteral("1|80|200.5|X-17,2|120.5|200.5|X-17"));
    const QString code = scalar(QStringLiteral("select NOTECODE from expenseath where NOTEID=%1").arg(id)).toString();
    EXPECT_EQ(keyboard::StatusText(m_window), QStringLiteral("单据[%1]已保存。").arg(code));
    key(Qt::Key_F9);
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from expenseath where NOTEID=%1").arg(id)).toInt(), 1);
    EXPECT_DOUBLE_EQ(balance(1), cashBefore - 200.5);
    EXPECT_EQ(keyboard::StatusText(m_window), QStringLiteral("单据[%1]已审核。").arg(code));

    // The audited note, shown again, is greyed and its fields are no Tab stops.
    key(Qt::Key_Home, Qt::ControlModifier); // the window's own shortcut, from any field
    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(masterValue(QStringLiteral("NOTEID")).toInt(), id);
    auto *partner = combo("cmbPartner");
    EXPECT_FALSE(partner->focusPolicy() & Qt::TabFocus);
    EXPECT_EQ(partner->palette().color(QPalette::Base), partner->palette().color(QPalette::Window));
    EXPECT_TRUE(grid()->ReadOnly());
}

TEST_F(KeyboardEntryTest, TheGridNeverLosesTheTextOfTheLastColumn)
{
    open();
    setMaster(QStringLiteral("PAYTYPESID"), 1);
    addLine({{QStringLiteral("IETYPESID"), 1}, {QStringLiteral("AMOUNT"), 50}});
    click(QStringLiteral("OkBtn"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    const int id = savedNote();

    // The remark cell of the saved line, typed into, then Down.
    grid()->setFocus();
    grid()->setCurrentIndex(grid()->model()->index(0, grid()->ColumnOfField(QStringLiteral("REMARK"))));
    type(QStringLiteral("paper"));
    key(Qt::Key_Down);
    EXPECT_DOUBLE_EQ(lineValue(0, "AMOUNT").toDouble(), 50);
    EXPECT_EQ(lineValue(0, "REMARK").toString(), QStringLiteral("paper"));
    // Up leaves the new line untouched: it goes.
    key(Qt::Key_Up);
    EXPECT_EQ(detail()->RecordCount(), 1);
    key(Qt::Key_F7);
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    EXPECT_EQ(scalar(QStringLiteral("select REMARK from expenseathdetail where NOTEID=%1").arg(id)).toString(),
              QStringLiteral("paper"));
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select AMOUNT from expenseath where NOTEID=%1").arg(id)).toDouble(), 50);

    // Shift+Ins appends a line and Shift+Del deletes it again.
    grid()->setFocus();
    key(Qt::Key_Insert, Qt::ShiftModifier);
    enter(QStringLiteral("04"));
    EXPECT_EQ(detail()->RecordCount(), 2);
    type(QStringLiteral("7"));
    key(Qt::Key_Escape); // leaves the editor only; the window stays
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_EQ(focus(), grid());
    EXPECT_DOUBLE_EQ(lineValue(1, "AMOUNT").toDouble(), 0);
    key(Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(detail()->RecordCount(), 1);
}

// Numbers typed into an amount cell: "inf", "nan" and amounts too large to
// keep their cents never reach the line. (The field's exact messages: the
// data-set tests; a bad value typed into an edit control: the controls'
// tests; the field named by its caption: the kind structure test.)
TEST_F(KeyboardEntryTest, AnAmountCellTakesNoLettersAndRefusesWhatIsTooLarge)
{
    open();
    grid()->setFocus();
    enter(QStringLiteral("01")); // the item; Enter moves to the amount
    for (const char *bad : {"abc", "inf", "-inf", "nan", "1e13", "10000000000000"}) {
        SCOPED_TRACE(bad);
        m_messages.clear();
        enter(QString::fromLatin1(bad));
        // The cell's editor drops letters ("1e13" arrives as 113, a number
        // the clerk can see); what is left too large is refused.
        EXPECT_EQ(errors().size(), QByteArray(bad).size() > 4 ? 1 : 0);
        const QVariant amount = detail()->FieldByName(QStringLiteral("AMOUNT"))->Value();
        EXPECT_TRUE(amount.isNull() || (std::isfinite(amount.toDouble()) && amount.toDouble() < 1e12));
        grid()->setFocus();
        grid()->setCurrentIndex(grid()->model()->index(0, 1));
    }
    enter(QStringLiteral("80"));
    EXPECT_DOUBLE_EQ(detail()->FieldByName(QStringLiteral("AMOUNT"))->AsFloat(), 80);
}

// (The list itself, its keys and its search: the lookup combo's tests.)
TEST_F(KeyboardEntryTest, LookupsCloseWhenLeftAndRefuseClosedRows)
{
    open();
    auto *partner = combo("cmbPartner");
    type(QStringLiteral("C00"));
    ASSERT_TRUE(partner->ListVisible());
    combo("cmbPayType")->setFocus();
    EXPECT_FALSE(partner->ListVisible());

    // Closed rows are offered nowhere, typed by code or by name.
    auto *department = combo("cmbDepartment");
    department->setFocus();
    type(QStringLiteral("07"));
    EXPECT_EQ(department->ListRowCount(), 0);
    key(Qt::Key_Return);
    EXPECT_EQ(focus(), department);
    EXPECT_TRUE(masterValue(QStringLiteral("DEPID")).isNull());
    department->selectAll();
    enter(QStringLiteral("财务"));
    EXPECT_EQ(masterValue(QStringLiteral("DEPID")).toInt(), 5);
    sql(QStringLiteral("update ietypelth set CLOSED=1 where IETYPESID=3"));
    grid()->setFocus();
    enter(QStringLiteral("运输费"));
    EXPECT_EQ(errors().value(0), QStringLiteral("费用项目[运输费]不存在."));
    EXPECT_TRUE(lineValue(0, "IETYPESID").isNull());
}

TEST_F(KeyboardEntryTest, ARefusedSaveLeavesTheFocusOnTheFieldItNames)
{
    open();
    for (int i = 0; i < 4; ++i)
        key(Qt::Key_Tab);
    ASSERT_EQ(focus(), grid()); // Tab from the last master field enters the lines
    enter(QStringLiteral("01"));
    enter(QStringLiteral("50"));
    key(Qt::Key_F7);
    EXPECT_EQ(errors().value(0), QStringLiteral("请选择结算方式."));
    EXPECT_EQ(focusName(), QStringLiteral("cmbPayType"));
    EXPECT_TRUE(keyboard::StatusText(m_window).isEmpty());
    // Ctrl+Tab leaves the grid for the bottom fields; the maker is no Tab stop.
    grid()->setFocus();
    key(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(focusName(), QStringLiteral("cmbEmp"));
    EXPECT_FALSE(child(QStringLiteral("edoperatename"))->focusPolicy() & Qt::TabFocus);
    // Ctrl+F (速查) from a field opens the finder.
    takeMessages();
    key(Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(takeMessages().isEmpty());
    QWidget *finder = FindOpenForm(QStringLiteral("FindnoteForm"));
    ASSERT_NE(finder, nullptr);
    finder->close();
}

// Runs on the screen the environment gives (ctest also runs it on a
// 1366x768 screen and at scale 1.5): each money window, on a demo note, is
// inside the screen with its number, auditor, buttons and lines; its shot
// goes to build/shots/<form>-<screen>.png, to be looked at.
TEST_F(KeyboardEntryTest, TheWindowFitsItsScreen)
{
    const struct {
        const char *form, *table;
        int type, state;
    } windows[] = {{"MoveForm", "movebth", 51, 1}, {"OutMoneyForm", "expenseath", 52, 0}, {"InComeForm", "InComebth", 53, 0}};
    for (const auto &s : windows) {
        SCOPED_TRACE(s.form);
        const int id = scalar(QStringLiteral("select max(NOTEID) from %1 where NOTESTATE=%2").arg(QLatin1String(s.table)).arg(s.state)).toInt();
        ASSERT_GT(id, 0);
        ASSERT_NE(locate(s.type, id), nullptr);
        m_window->show();
        QApplication::processEvents();
        EXPECT_EQ(masterValue(QStringLiteral("NOTEID")).toInt(), id);
        const QRect screen = m_window->screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(m_window->frameGeometry()));
        const QRect inside = m_window->rect();
        for (const char *name : {"NoDBEdit", "edchkor", "OkBtn", "CheckBtn", "ItemGrid"}) {
            QWidget *w = child(QString::fromLatin1(name));
            if (!w && s.type == 51 && QByteArray(name) == "ItemGrid")
                continue; // the transfer has no lines
            ASSERT_NE(w, nullptr) << name;
            EXPECT_TRUE(w->isVisible()) << name;
            EXPECT_TRUE(inside.contains(QRect(w->mapTo(m_window, QPoint(0, 0)), w->size()))) << name;
        }
        if (grid()) {
            EXPECT_TRUE(grid()->Footer()->isVisible());
            EXPECT_GT(grid()->FooterValue(1), 0);
            EXPECT_GT(grid()->viewport()->height(), 2 * grid()->verticalHeader()->defaultSectionSize());
        }
        const QString shot = QStringLiteral("%1-%2x%3").arg(QLatin1String(s.form)).arg(screen.width()).arg(screen.height());
        EXPECT_TRUE(testsupport::saveShot(m_window, shot)) << shot.toStdString();
    }
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
}

} // namespace
