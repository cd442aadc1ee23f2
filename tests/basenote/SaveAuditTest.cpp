// Saving, the period and date locks, validation, audit, void, delete and the
// note messages, against the real books.

#include "BasenoteFixture.h"

#include "data/ClientDataSet.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>

#include <unistd.h>

using namespace basenotetest;

class SaveTest : public BasenoteTest {
protected:
    // A blank note with the kind's required fields filled.
    TTestMoveForm *newFilledNote()
    {
        TTestMoveForm *f = m_form ? m_form.get() : openForm();
        if (!f->IsNewNote())
            f->NewNote();
        fill(f, 2500);
        setField("PURPOSE", QStringLiteral("存入工行"));
        return f;
    }
    // What the window shows of the note's state: the void entry, the stamp,
    // the audit button's text and whether it can be pressed.
    static QString stateShown(TTestMoveForm *f)
    {
        auto *check = f->findChild<QPushButton *>(QStringLiteral("CheckBtn"));
        return QStringLiteral("%1|%2|%3|%4")
            .arg(f->findChild<QAction *>(QStringLiteral("muAbate"))->text(),
                 f->findChild<QLabel *>(QStringLiteral("lbAbate"))->text(), check->text())
            .arg(check->isEnabled());
    }
    int printRows(int id) { return m_db->scalar(QStringLiteral("select count(*) from noteprintabth where NOTETYPE=51 and NOTEID=%1").arg(id)).toInt(); }
    int messageRows() { return m_db->scalar(QStringLiteral("select count(*) from notemsginfth")).toInt(); }
    int detailRows() { return m_db->scalar(QStringLiteral("select count(*) from notemsginfthdetail")).toInt(); }
};

TEST_F(SaveTest, NewNoteGetsKeyRegisterAndMadeMessage)
{
    TTestMoveForm *f = newFilledNote();
    const QString code = field("NOTECODE").toString();
    f->findChild<QPushButton *>(QStringLiteral("OkBtn"))->click();
    EXPECT_TRUE(shown().isEmpty()) << shown().join('|').toStdString();
    const int id = f->CurrentNoteID();
    EXPECT_GT(id, 100) << "key from the key table";
    EXPECT_FALSE(f->IsNoteModified());
    EXPECT_EQ(count(QStringLiteral("NOTEID=%1 and AMOUNT=2500 and OPERATEID=1 and NOTESTATE=0 and NOTECODE='%2' "
                                   "and UPDATETIME is not null").arg(id).arg(code)), 1);
    // Print register row with number, date and maker; the "made" message to
    // the auditors of item 2051, the sender left out.
    const QString printed = QStringLiteral(" from noteprintabth where NOTETYPE=51 and NOTEID=%1").arg(id);
    EXPECT_EQ(rows(QStringLiteral("select NOTECODE, OPERATEID") + printed), code + QStringLiteral("|1"));
    EXPECT_EQ(scalar(QStringLiteral("select NOTEDATE") + printed).toDateTime().date(), field("NOTEDATE").toDate());
    EXPECT_EQ(std::pair(userListCalls().modId, userListCalls().action), std::pair(2051, 6));
    EXPECT_EQ(rows(QStringLiteral("select m.MSG, m.FROMNOTETYPE, m.FROMNOTEID, m.FROMUSERID, d.TOUSERID, d.ISREAD "
                                  "from notemsginfth m join notemsginfthdetail d on d.MSGID = m.MSGID")),
              QStringLiteral("银行存取款[%1]已制作,请审核.|51|%2|1|2|0").arg(code).arg(id));

    // Saving again without changes writes nothing.
    sql(QStringLiteral("delete from noteprintabth"));
    EXPECT_TRUE(f->SaveNote());
    EXPECT_EQ(printRows(id), 0);
    EXPECT_EQ(messageRows(), 1);

    // A change to a saved note: written, registered, no new message.
    setField("AMOUNT", 2600);
    EXPECT_TRUE(f->SaveNote());
    EXPECT_EQ(count(QStringLiteral("NOTEID=%1 and AMOUNT=2600").arg(id)), 1);
    EXPECT_EQ(printRows(id), 1);
    EXPECT_EQ(messageRows(), 1);

    // "新增(&S)": save, then a blank note numbered after it.
    setField("AMOUNT", 2700);
    f->SaveAddBtnClick();
    EXPECT_TRUE(f->IsNewNote());
    EXPECT_EQ(count(QStringLiteral("NOTEID=%1 and AMOUNT=2700").arg(id)), 1);
    EXPECT_EQ(field("NOTECODE").toString().right(4), QStringLiteral("0002"));
}

TEST_F(SaveTest, RefusedNotelockFailsSilently)
{
    TTestMoveForm *f = newFilledNote();
    auto other = testsupport::openAgain(*m_db); // another client saving
    ASSERT_TRUE(other->setLock(QStringLiteral("NOTELOCK"), true));
    EXPECT_FALSE(f->SaveNote());
    EXPECT_TRUE(m_messages.records().isEmpty());
    EXPECT_EQ(count(), 0);
    EXPECT_TRUE(f->IsNoteModified());
    other->setLock(QStringLiteral("NOTELOCK"), false);
    EXPECT_TRUE(f->SaveNote());
    EXPECT_EQ(count(), 1);
}

TEST_F(SaveTest, ValidationMessagesInOrder)
{
    TTestMoveForm *f = openForm();
    setField("INACCOUNTID", 2);
    setField("AMOUNT", 10);
    // Each rule in turn: the bad value is refused with its message, then put right.
    // Branch-owned master data may not be used by head-office notes.
    const struct {
        const char *field;
        QVariant bad, good;
        const char *message;
    } steps[] = {{"OUTACCOUNTID", QVariant(), 1, "字段:[付款帐户]不能为空."},
                 {"ACCOUNTID", 4, 2, "不能引用分支机构的帐户"},
                 {"BUILDINGID", 5, 1, "不能引用分支机构的仓库"},
                 {"PARTNERID", 13, 1, "不能引用分支机构的往来单位"}};
    for (const auto &step : steps) {
        setField(step.field, step.bad);
        EXPECT_EQ(refused([&] { return f->SaveNote(); }), QString::fromUtf8(step.message));
        setField(step.field, step.good);
    }
    // An employee of another department: told, and the save goes on.
    setField("EMPID", 3);
    setField("DEPID", 2);
    EXPECT_TRUE(f->SaveNote());
    EXPECT_EQ(m_messages.texts(pub::MessageKind::Information),
              QStringList{QStringLiteral("此业务员：张伟 不属于 采购部 部门的！")});
    EXPECT_EQ(count(QStringLiteral("DEPID=2 and EMPID=3")), 1);
    EXPECT_EQ(count(), 1);

    // No edit right: refused with its message.
    asClerk();
    f = newFilledNote();
    sql(QStringLiteral("delete from privilegemth where OPERATEID=2 and PRIVILEGEID=2053 and ACTION=2"));
    EXPECT_EQ(refused([&] { return f->SaveNote(); }), QStringLiteral("对不起,你没有编辑的权限!"));
}

TEST_F(SaveTest, DateLocksOfPeriodsAndOpeningDate)
{
    TTestMoveForm *f = newFilledNote();
    // Accounting linked, its period later than the business month: only the third date is its own refusal.
    setParam(QStringLiteral("IsBand"), QStringLiteral("1"));
    const QDate nextMonth = periodStart().addMonths(1);
    setParam(QStringLiteral("CurrAccYear"), QString::number(nextMonth.year()));
    setParam(QStringLiteral("CurrAccMonth"), QString::number(nextMonth.month()));
    const QDate opening = QDate::fromString(LookupSysParam(QStringLiteral("StartDate")), QStringLiteral("yyyy-MM-dd"));
    const std::pair<QDate, const char *> dates[] = {
        {periodStart().addDays(-1), "本单日期在当前进销存期间之前，不能保存对本单所做的修改。"},
        {opening.addDays(-1), "不能录入开帐日期之前发生的业务，不能保存数据。"},
        {periodStart().addDays(2), "本单日期在当前会计期间之前，不能保存对本单所做的修改。"}};
    for (const auto &[date, message] : dates) {
        setField("NOTEDATE", date);
        EXPECT_EQ(refused([&] { return f->SaveNote(); }), QString::fromUtf8(message));
    }
    setParam(QStringLiteral("IsBand"), QStringLiteral("0"));
    EXPECT_EQ(refused([&] { return f->SaveNote(); }), QStringLiteral("(done)"));

    // A note of a closed month opens read-only; moving it into the open month is refused too.
    insertNote(3, -3);
    f->LoadNote(3);
    EXPECT_TRUE(f->ReadOnly());
    f->MasterDataSet()->Edit();
    f->MasterDataSet()->FieldByName(QStringLiteral("NOTEDATE"))->SetValue(periodStart().addDays(3));
    EXPECT_EQ(refused([&] { return f->SaveNote(); }), QStringLiteral("本单日期在当前进销存期间之前，不能保存对本单所做的修改。"));
    EXPECT_EQ(scalar(QStringLiteral("select NOTEDATE from testnoteath where NOTEID=3")).toDate(), periodStart().addDays(-3));
}

TEST_F(SaveTest, AuditRulesAndStates)
{
    insertNote(20);
    TTestMoveForm *f = openForm();
    f->LoadNote(20);
    // Maker and auditor the same person only when the books allow it.
    setParam(QStringLiteral("chkorIsSame"), QStringLiteral("0"));
    EXPECT_EQ(refused([&] { return f->CheckNote(); }), QStringLiteral("系统不允许制单人和审核人为同一个人."));
    setParam(QStringLiteral("chkorIsSame"), QStringLiteral("1"));
    // A partner, department or employee closed since: no audit.
    const struct {
        const char *setup, *message, *undo;
    } closed[] = {
        {"update testnoteath set PARTNERID=3 where NOTEID=20; update partnerlth set CLOSED=1 where PARTNERID=3",
         "此单往来单位已经被停用不能审核。", "update testnoteath set PARTNERID=null where NOTEID=20"},
        {"update testnoteath set DEPID=7 where NOTEID=20", "此单部门已经被停用不能审核。",
         "update testnoteath set DEPID=null where NOTEID=20"},
        {"update testnoteath set EMPID=9 where NOTEID=20", "此单员工已经被停用不能审核。",
         "update testnoteath set EMPID=null where NOTEID=20"},
    };
    for (const auto &c : closed) {
        for (const QString &s : QString::fromUtf8(c.setup).split(u';'))
            sql(s);
        f->ReloadNote();
        EXPECT_EQ(refused([&] { return f->CheckNote(); }), QString::fromUtf8(c.message));
        sql(QString::fromUtf8(c.undo));
        f->ReloadNote();
    }
    ASSERT_TRUE(f->CheckNote());
    EXPECT_EQ(count(QStringLiteral("NOTEID=20 and NOTESTATE=1 and CHKORID=1")), 1);
    EXPECT_EQ(field("chkor").toString(), QStringLiteral("系统管理员"));
    EXPECT_EQ(stateShown(f), QStringLiteral("作废|审核|反审核(&O)|1"));
    EXPECT_TRUE(f->ReadOnly());
    // Audited: neither void nor delete through the window.
    f->muAbateClick();
    EXPECT_EQ(count(QStringLiteral("NOTEID=20 and NOTESTATE=1")), 1);
    EXPECT_FALSE(f->DeleteNote());
    EXPECT_EQ(count(QStringLiteral("NOTEID=20")), 1);

    // Un-audit through the button.
    f->CheckBtnClick();
    EXPECT_EQ(count(QStringLiteral("NOTEID=20 and NOTESTATE=0 and CHKORID is null")), 1);
    EXPECT_EQ(stateShown(f).section(u'|', 2), QStringLiteral("审核(&O)|1"));

    // A note dated before the business month.
    insertNote(21, -2);
    f->LoadNote(21);
    EXPECT_EQ(refused([&] { return f->CheckNote(); }), QStringLiteral("单据的日期在本业务期间之前,不能对其进行审核."));
    EXPECT_EQ(refused([&] { return f->AbateNote(); }), QStringLiteral("单据的日期在本业务期间之前,不能对其进行作废."));
}

TEST_F(SaveTest, AuditPrivilegesOfAnotherUser)
{
    insertNote(30);
    insertNote(31, 0, kClerk);
    asClerk();
    grant(kClerk, 2091, {5});
    TTestMoveForm *f = openForm();
    // Another's note, then an own note without the audit and void rights.
    const struct {
        int note;
        bool (TTestMoveForm::*action)();
        const char *message;
    } refusals[] = {{30, &TTestMoveForm::CheckNote, "只能审核自己的单据."},
                    {30, &TTestMoveForm::AbateNote, "只能作废自己的单据."},
                    {30, &TTestMoveForm::DeleteNote, "只能修改自己的单据."},
                    {31, &TTestMoveForm::CheckNote, "对不起,你没有审核的权限!"},
                    {31, &TTestMoveForm::AbateNote, "对不起,你没有作废反作废的权限!"}};
    for (const auto &r : refusals) {
        f->LoadNote(r.note);
        EXPECT_EQ(refused([&] { return (f->*r.action)(); }), QString::fromUtf8(r.message));
    }
    EXPECT_EQ(count(QStringLiteral("NOTESTATE=0")), 2);
    f->LoadNote(30);
    // Saving another's note without 2092 writes nothing and reports success.
    f->MasterDataSet()->Edit();
    f->MasterDataSet()->FieldByName(QStringLiteral("PURPOSE"))->SetValue(QStringLiteral("改别人的"));
    EXPECT_TRUE(f->SaveNote());
    EXPECT_EQ(count(QStringLiteral("PURPOSE='改别人的'")), 0);
    f->CancelNote();
    // Un-audit without the right fails silently.
    sql(QStringLiteral("update testnoteath set NOTESTATE=1, CHKORID=1 where NOTEID=31"));
    f->LoadNote(31);
    EXPECT_EQ(refused([&] { return f->UncheckNote(); }), QString());
    EXPECT_EQ(count(QStringLiteral("NOTEID=31 and NOTESTATE=1")), 1);
}

TEST_F(SaveTest, VoidUnvoidAndTheirMessages)
{
    insertNote(40, 0, kClerk);
    TTestMoveForm *f = openForm();
    f->LoadNote(40);
    f->muAbateClick();
    EXPECT_EQ(count(QStringLiteral("NOTEID=40 and NOTESTATE=2")), 1);
    // A void note is not audited.
    EXPECT_EQ(stateShown(f), QStringLiteral("反作废|作废|审核(&O)|0"));
    EXPECT_FALSE(f->findChild<QWidget *>(QStringLiteral("spAbate"))->isHidden());
    // Kind 5 goes to the maker.
    EXPECT_EQ(scalar(QStringLiteral("select MSG from notemsginfth")).toString(),
              QStringLiteral("银行存取款[T40]已作废,请查看."));
    EXPECT_EQ(scalar(QStringLiteral("select TOUSERID from notemsginfthdetail")).toInt(), kClerk);
    // A void note cannot be voided again; un-void clears the earlier detail rows.
    EXPECT_FALSE(f->AbateNote());
    f->muAbateClick();
    EXPECT_EQ(count(QStringLiteral("NOTEID=40 and NOTESTATE=0")), 1);
    EXPECT_EQ(stateShown(f).section(u'|', 0, 0), QStringLiteral("作废"));
    EXPECT_EQ(messageRows(), 1) << "un-void of a note without auditor notifies nobody";
    EXPECT_EQ(detailRows(), 0);
    // Un-audit tells the maker.
    sql(QStringLiteral("update testnoteath set NOTESTATE=1, CHKORID=1 where NOTEID=40"));
    f->ReloadNote();
    ASSERT_TRUE(f->UncheckNote());
    EXPECT_EQ(scalar(QStringLiteral("select MSG from notemsginfth order by MSGID desc")).toString(),
              QStringLiteral("银行存取款[T40]已反审核,请查看."));
    EXPECT_EQ(detailRows(), 1);
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}

TEST_F(SaveTest, ModifiedNoteMustBeSavedBeforeAuditOrVoid)
{
    insertNote(50);
    insertNote(51);
    TTestMoveForm *f = openForm();
    f->LoadNote(50);
    setField("PURPOSE", QStringLiteral("先保存"));
    m_messages.answer(AnswerNo);
    f->CheckBtnClick();
    EXPECT_EQ(m_messages.texts(pub::MessageKind::YesNo), QStringList{QStringLiteral("审核前必须先保存单据, 是否继续?")});
    EXPECT_EQ(count(QStringLiteral("NOTEID=50 and NOTESTATE=0 and PURPOSE='备用金'")), 1);
    EXPECT_FALSE(f->CheckNote()) << "a modified note is never audited";
    m_messages.answer(AnswerYes);
    f->CheckBtnClick();
    EXPECT_EQ(count(QStringLiteral("NOTEID=50 and NOTESTATE=1 and PURPOSE='先保存'")), 1);
    EXPECT_EQ(f->CurrentNoteID(), 51) << "after an audit the window moves on";
    setField("PURPOSE", QStringLiteral("作废前"));
    m_messages.answer(AnswerNo);
    f->muAbateClick();
    EXPECT_EQ(m_messages.texts(pub::MessageKind::YesNo).last(), QStringLiteral("作废前必须先保存单据, 是否继续?"));
    EXPECT_EQ(count(QStringLiteral("NOTEID=51 and NOTESTATE=0")), 1);
}

TEST_F(SaveTest, DeleteConfirmsWritesAndMovesOn)
{
    TTestMoveForm *f = newFilledNote();
    ASSERT_TRUE(f->SaveNote());
    const int first = f->CurrentNoteID();
    f->NewNote();
    fill(f, 90);
    ASSERT_TRUE(f->SaveNote());
    const int second = f->CurrentNoteID();
    EXPECT_EQ(messageRows(), 2);

    f->LoadNote(first);
    m_messages.answer(AnswerNo);
    EXPECT_FALSE(f->DeleteNote());
    EXPECT_EQ(m_messages.texts(pub::MessageKind::YesNo), QStringList{QStringLiteral("是否确认删除数据？")});
    EXPECT_EQ(count(), 2);
    m_messages.answer(AnswerYes);
    EXPECT_TRUE(f->DeleteNote());
    EXPECT_EQ(count(QStringLiteral("NOTEID=%1").arg(first)), 0);
    EXPECT_EQ(printRows(first), 0);
    EXPECT_EQ(scalar(QStringLiteral("select FROMNOTEID from notemsginfth")).toInt(), second);
    EXPECT_EQ(f->CurrentNoteID(), second) << "the next note is shown";

    // An unsaved new note is just discarded.
    f->NewNote();
    setField("AMOUNT", 5);
    m_messages.answer(AnswerYes);
    EXPECT_TRUE(f->DeleteNote());
    EXPECT_TRUE(f->IsNewNote());
    EXPECT_TRUE(field("AMOUNT").toDouble() == 0);
    EXPECT_EQ(count(), 1);

    // A refused delete keeps the note and shows the database's text.
    sql(QStringLiteral("create trigger keep_note before delete on testnoteath begin select raise(abort, '单据已被引用'); end"));
    f->LoadNote(second);
    m_messages.clear();
    m_messages.answer(AnswerYes);
    EXPECT_FALSE(f->DeleteNote());
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors().first().contains(QStringLiteral("单据已被引用")));
    EXPECT_EQ(count(QStringLiteral("NOTEID=%1").arg(second)), 1);
    EXPECT_EQ(f->CurrentNoteID(), second);
    EXPECT_EQ(printRows(second), 1);
}

TEST_F(SaveTest, UseMsgOffWritesAndDeletesNoMessages)
{
    setParam(QStringLiteral("UseMsg"), QStringLiteral("0"));
    sql(QStringLiteral("insert into notemsginfth values (900, 'old', 51, 60, '2024-01-01 00:00:00', 2)"));
    sql(QStringLiteral("insert into notemsginfthdetail values (900, 1, 0)"));
    insertNote(60, 0, kClerk);
    TTestMoveForm *f = newFilledNote();
    ASSERT_TRUE(f->SaveNote());
    f->LoadNote(60);
    ASSERT_TRUE(f->AbateNote());
    EXPECT_EQ(messageRows(), 1);
    EXPECT_EQ(detailRows(), 1);
    EXPECT_EQ(userListCalls().calls, 0);
    // On again: the old notification's detail goes, the new one arrives.
    setParam(QStringLiteral("UseMsg"), QStringLiteral("1"));
    ASSERT_TRUE(f->UnabateNote());
    EXPECT_EQ(m_db->scalar(QStringLiteral("select count(*) from notemsginfthdetail where MSGID=900")).toInt(), 0);
}
