// A kind's HandleShortCut sees the keys typed anywhere in the window before
// the window's actions and the focused control do.

#include "BasenoteFixture.h"
#include "NoteMessages.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

using namespace basenotetest;

namespace {

class TShortcutForm : public TTestMoveForm {
public:
    QList<QKeyCombination> seen;
    bool take = true;

    void HandleShortCut(QKeyEvent *key, bool &handled) override
    {
        const int k = key->key();
        if (k != Qt::Key_Control && k != Qt::Key_Shift && k != Qt::Key_Alt && k != Qt::Key_Meta)
            seen << key->keyCombination();
        if (key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_N) || key->key() == Qt::Key_7)
            handled = take;
    }
};

} // namespace

TEST_F(BasenoteTest, ShortcutHookComesBeforeActionsAndControls)
{
    TShortcutForm form;
    form.InitializeForm();
    ASSERT_EQ(pk_note::SendNoteMessage(&form, pk_note::NM_NOTEOPEN, 0, 0), pk_note::S_OK);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto *amount = form.findChild<QLineEdit *>(QStringLiteral("edAmount"));
    amount->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), amount);
    const QString before = amount->text();
    const int appended = form.appendHooks;
    const QKeyCombination ctrlN(Qt::ControlModifier, Qt::Key_N);

    // Taken by the hook: "新增" (Ctrl+N) does not run, the edit gets no digit.
    QTest::keyClick(amount, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(form.appendHooks, appended);
    QTest::keyClick(amount, Qt::Key_7);
    EXPECT_EQ(amount->text(), before);
    EXPECT_EQ(form.seen, (QList<QKeyCombination>{ctrlN, QKeyCombination(Qt::Key_7)})) << "asked once per key";

    // Left alone: the standard handling goes on as before.
    form.take = false;
    form.seen.clear();
    m_messages.answer(AnswerNo); // should the blank note count as changed: discard it
    QTest::keyClick(amount, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(form.appendHooks, appended + 1) << "Ctrl+N opened a new note";
    amount = form.findChild<QLineEdit *>(QStringLiteral("edAmount"));
    amount->setFocus();
    amount->selectAll();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_7);
    EXPECT_EQ(form.findChild<QLineEdit *>(QStringLiteral("edAmount"))->text(), QStringLiteral("7"));
    EXPECT_EQ(form.seen, (QList<QKeyCombination>{ctrlN, QKeyCombination(Qt::Key_7)}));
    g_bForceCloseForm = true; // leave without the unsaved-changes question
    form.close();
    g_bForceCloseForm = false;
}
