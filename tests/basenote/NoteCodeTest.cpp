// Automatic note numbers held for unsaved new notes, across windows, and what
// happens when they are given back. (Numbers another client holds or saved:
// the numbering routines' tests.)

#include "BasenoteFixture.h"
#include "NoteMessages.h"

#include "data/ClientDataSet.h"
#include "data/DataSource.h"

using namespace basenotetest;

class NoteCodeTest : public BasenoteTest {
protected:
    void SetUp() override
    {
        BasenoteTest::SetUp();
        setParam(QStringLiteral("noteAutoValue"), QStringLiteral("1"));
        g_NewnoteTime = periodStart().addDays(2);
    }
    void TearDown() override
    {
        m_other.reset();
        BasenoteTest::TearDown();
    }

    // The number with serial `n` in the business month.
    QString code(int n) const
    {
        return QStringLiteral("YHCQ-") + periodStart().toString(QStringLiteral("yyyy-MM")) + QStringLiteral("-")
               + QString::number(n).rightJustified(4, u'0');
    }
    // A second window of the same kind.
    TTestMoveForm *openOther() { return openInto(m_other); }
    static QString noteCode(const TBasenoteForm *f) { return f->MasterValue(QStringLiteral("NOTECODE")).toString(); }
    QStringList reserved()
    {
        const QString codes = rows(QStringLiteral("select NOTECODE from notecodereserveth where NOTETYPE=51 order by NOTECODE"));
        return codes.isEmpty() ? QStringList() : codes.split(u',');
    }
    int savedWithCode(const QString &c) { return count(QStringLiteral("NOTECODE='%1'").arg(c)); }

    std::unique_ptr<TTestMoveForm> m_other;
};

TEST_F(NoteCodeTest, TwoWindowsGetDifferentNumbersAndBothSave)
{
    insertNote(1, 0, kAdmin, 0, code(4));
    TTestMoveForm *a = openForm();
    TTestMoveForm *b = openOther();
    EXPECT_EQ(noteCode(a), code(5));
    EXPECT_EQ(noteCode(b), code(6));
    EXPECT_EQ(reserved(), (QStringList{code(5), code(6)}));
    EXPECT_EQ(rows(QStringLiteral("select distinct OPERATEID from notecodereserveth")), QStringLiteral("1"));

    // Saved in the other order: each keeps its own number.
    fill(b, 300);
    ASSERT_TRUE(b->SaveNote()) << shown().join('|').toStdString();
    fill(a, 200);
    ASSERT_TRUE(a->SaveNote()) << shown().join('|').toStdString();
    EXPECT_EQ(savedWithCode(code(5)), 1);
    EXPECT_EQ(savedWithCode(code(6)), 1);
    EXPECT_TRUE(reserved().isEmpty()) << "saved notes hold their numbers themselves";

    // "新增" after saving: the next number.
    a->SaveAddBtnClick();
    EXPECT_TRUE(a->IsNewNote());
    EXPECT_EQ(noteCode(a), code(7));
    EXPECT_EQ(reserved(), QStringList{code(7)});
    EXPECT_TRUE(shown().isEmpty()) << shown().join('|').toStdString();
}

TEST_F(NoteCodeTest, AbandonedNewNotesGiveTheirNumbersBack)
{
    TTestMoveForm *a = openForm();
    TTestMoveForm *b = openOther();
    EXPECT_EQ(noteCode(a), code(1));
    EXPECT_EQ(noteCode(b), code(2));

    // Cancelling a typed new note frees its number for the next new note.
    fill(a, 100);
    a->CancelNote();
    EXPECT_EQ(reserved(), QStringList{code(2)});
    a->NewNote();
    EXPECT_EQ(noteCode(a), code(1));

    // Loading a saved note gives the blank one's number back.
    insertNote(9, 0, kAdmin, 0, QStringLiteral("OLD-1"));
    ASSERT_TRUE(a->LoadNote(9));
    EXPECT_EQ(reserved(), QStringList{code(2)});

    // Moving a new note to another month: that month's number, the old one freed.
    setField(QStringLiteral("NOTEDATE"), periodStart().addMonths(1), b);
    const QString nextMonth = QStringLiteral("YHCQ-") + periodStart().addMonths(1).toString(QStringLiteral("yyyy-MM")) + "-0001";
    EXPECT_EQ(noteCode(b), nextMonth);
    EXPECT_EQ(reserved(), QStringList{nextMonth});

    // Discarding on close and destroying the window free it too.
    m_messages.answer(AnswerNo);
    fill(b, 100);
    EXPECT_TRUE(b->close());
    EXPECT_TRUE(reserved().isEmpty());
    a->NewNote();
    EXPECT_EQ(reserved(), QStringList{code(1)});
    m_form.reset();
    EXPECT_TRUE(reserved().isEmpty());
}

TEST_F(NoteCodeTest, OffOrInInitModeNothingIsReserved)
{
    setParam(QStringLiteral("noteAutoValue"), QStringLiteral("0"));
    TTestMoveForm *a = openForm();
    TTestMoveForm *b = openOther();
    // The number from the saved notes alone: both windows show the same one.
    EXPECT_EQ(noteCode(a), code(1));
    EXPECT_EQ(noteCode(b), code(1));
    EXPECT_TRUE(reserved().isEmpty());
    fill(a, 100);
    ASSERT_TRUE(a->SaveNote());
    fill(b, 100);
    ASSERT_TRUE(b->SaveNote()) << "no check without automatic numbers";
    EXPECT_EQ(savedWithCode(code(1)), 2);

    // Init notes are never reserved, even when the parameter is on.
    setParam(QStringLiteral("noteAutoValue"), QStringLiteral("1"));
    atStartPeriod(false);
    openForm(true);
    EXPECT_TRUE(m_form->IsNewNote());
    EXPECT_TRUE(reserved().isEmpty());
}

TEST_F(NoteCodeTest, SaveRenumbersATakenAutomaticNumberAndRefusesATypedOne)
{
    TTestMoveForm *a = openForm();
    EXPECT_EQ(noteCode(a), code(1));
    // A client that does not reserve saved the same number meanwhile.
    sql(QStringLiteral("delete from notecodereserveth"));
    insertNote(20, 0, kAdmin, 0, code(1));
    fill(a, 100);
    ASSERT_TRUE(a->SaveNote()) << shown().join('|').toStdString();
    EXPECT_EQ(noteCode(a), code(2));
    EXPECT_EQ(count(QStringLiteral("NOTEID=%1 and NOTECODE='%2'").arg(a->CurrentNoteID()).arg(code(2))), 1);
    EXPECT_TRUE(reserved().isEmpty());

    // A number typed by the user that a saved note holds: refused, nothing written.
    a->NewNote();
    fill(a, 100);
    setField(QStringLiteral("NOTECODE"), code(1), a);
    const int before = count();
    EXPECT_FALSE(a->SaveNote());
    EXPECT_EQ(errors(), QStringList{QStringLiteral("单据号码[") + code(1) + QStringLiteral("]已经存在,请修改单据号码.")});
    EXPECT_EQ(count(), before);
    // Editing a saved note keeps its number untouched.
    m_messages.answer(AnswerNo); // drop the refused note
    ASSERT_TRUE(a->LoadNote(20));
    fill(a, 900);
    EXPECT_TRUE(a->SaveNote());
    EXPECT_EQ(count(QStringLiteral("NOTEID=20 and AMOUNT=900 and NOTECODE='%1'").arg(code(1))), 1);
}

TEST_F(NoteCodeTest, FailedSaveKeepsTheNumberItHeld)
{
    TTestMoveForm *a = openForm();
    sql(QStringLiteral("delete from notecodereserveth"));
    sql(QStringLiteral("insert into notecodereserveth (NOTETYPE, NOTECODE, OPERATEID) values (51, :c, 1)"),
        {{QStringLiteral("c"), code(1)}});
    insertNote(20, 0, kAdmin, 0, code(1));
    // The renumbered note is refused by the database: everything is rolled back.
    sql(QStringLiteral("create trigger refuse_note before insert on testnoteath for each row when NEW.NOTECODE = '") + code(2)
        + QStringLiteral("' and NEW.AMOUNT = 100 begin select raise(abort, '拒绝保存'); end"));
    fill(a, 100);
    EXPECT_FALSE(a->SaveNote());
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors().first().contains(QStringLiteral("拒绝保存"))) << errors().first().toStdString();
    EXPECT_EQ(noteCode(a), code(1));
    EXPECT_EQ(a->ReservedNoteCode(), code(1));
    EXPECT_EQ(reserved(), QStringList{code(1)});
    EXPECT_EQ(count(), 1);

    fill(a, 150);
    ASSERT_TRUE(a->SaveNote()) << shown().join('|').toStdString();
    EXPECT_EQ(noteCode(a), code(2));
    EXPECT_EQ(savedWithCode(code(2)), 1);
    EXPECT_TRUE(reserved().isEmpty());
}
