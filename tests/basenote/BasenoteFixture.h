#pragma once
// Fixture of the base document window tests: the session with a master table
// for a small bank-transfer kind built from a resource block as real kinds are,
// and a scripted user list.

#include "Basenote.h"
#include "NoteMessages.h"
#include "Pub.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace basenotetest {

constexpr int kAdmin = 1;
constexpr int kClerk = 2;
constexpr int kType = 51;              // bank deposit and withdrawal
constexpr int kFormPrivilege = 2053;   // MoveForm
extern const char *const kTable;

// The kind under test: a bank transfer between two accounts, no lines.
class TTestMoveForm : public TBasenoteForm {
    Q_OBJECT
public:
    explicit TTestMoveForm(QWidget *owner = nullptr);
    bool ValidateNote() override;

    int appendHooks = 0; // BeforeAppendNote calls
protected:
    void BeforeAppendNote() override { ++appendHooks; }
};

class BasenoteTest : public testsupport::SessionTest {
protected:
    void SetUp() override;
    void TearDown() override;

    using SessionTest::setParam;
    int count(const QString &where = QStringLiteral("1=1"));
    QString rows(const QString &sql) { return testsupport::rowsText(*m_db, sql); }
    // A saved note row dated `day` days after the business month's start.
    void insertNote(int id, int day = 0, int operateId = kAdmin, int state = 0, const QString &code = {});
    // A new window of the test kind, opened as note_Call opens it.
    TTestMoveForm *openForm(bool initMode = false) { return openInto(m_form, initMode); }
    template <class F>
    F *openInto(std::unique_ptr<F> &slot, bool initMode = false)
    {
        slot.reset(CreateNoteForm<F>());
        EXPECT_EQ(pk_note::SendNoteMessage(slot.get(), pk_note::NM_NOTEOPEN, initMode ? 1 : 0, 0), pk_note::S_OK);
        return slot.get();
    }
    // The business month is the books' start month; init notes need books not yet in use.
    void atStartPeriod(bool inUse);
    // The window closed and the clerk working, with the given actions on the form.
    void asClerk(std::initializer_list<int> actions = {1, 2});
    // Types `value` into the master field as a control would, in `form` or
    // the fixture's window.
    void setField(const QString &field, const QVariant &value, TBasenoteForm *form = nullptr);
    // The kind's required fields: from account 1 to account 2, `amount`.
    void fill(TBasenoteForm *form, double amount);
    QVariant field(const QString &field) const;
    // What `action` shows when it fails, after the messages before it are
    // dropped: its errors joined by '|' (empty when it fails silently), or
    // "(done)" when it runs through.
    QString refused(const std::function<bool()> &action);
    QDate periodStart() const;
    QString dateText(const QDate &d) const { return d.toString(QStringLiteral("yyyy-MM-dd")); }

    std::unique_ptr<TTestMoveForm> m_form;
};

// What the scripted "GETUSERLIST" was asked and answers.
struct UserListCall {
    int modId = 0;
    int action = 0;
    int calls = 0;
};
UserListCall &userListCalls();

} // namespace basenotetest
