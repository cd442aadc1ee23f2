// Two clients on one books file: the window (the start-up connection) and a
// second connection that sends what another user's window would send. A stale
// window never overwrites, deletes or changes the state of a note the other
// client changed (a save failing while it writes: the fault-injection test).

#include "BasenoteFixture.h"

using namespace basenotetest;

namespace {

class TwoClientsTest : public BasenoteTest {
protected:
    void SetUp() override
    {
        BasenoteTest::SetUp();
        setParam(QStringLiteral("chkorIsSame"), QStringLiteral("1"));
        insertNote(7);
        sql(QStringLiteral("update testnoteath set UPDATETIME='2020-01-01 08:00:00' where NOTEID=7"));
        other = testsupport::openAgain(*m_db);
        form = openForm();
        form->LoadNote(7);
        m_messages.clear();
    }
    // The other user's window: what its audit, void and save send.
    void otherSets(const QString &assignments)
    {
        other->exec(QStringLiteral("update testnoteath set ") + assignments + QStringLiteral(" where NOTEID=7"));
    }
    QVariant stored(const QString &column)
    {
        return scalar(QStringLiteral("select ") + column + QStringLiteral(" from testnoteath where NOTEID=7"));
    }
    QString changedElsewhere() const { return db::ConcurrencyError::defaultText(); }

    std::unique_ptr<db::Database> other;
    TTestMoveForm *form = nullptr;
};

} // namespace

TEST_F(TwoClientsTest, AStaleWindowNeitherSavesNorChangesTheStateNorDeletes)
{
    // The note's state, what the other client does, the action of the stale
    // window, and the state it must leave.
    const char *const saved = "AMOUNT=300, UPDATETIME='2020-01-01 09:00:00'";
    const struct {
        int startState;
        const char *other;
        bool (TTestMoveForm::*action)();
        int stateAfter;
    } cases[] = {
        {0, "NOTESTATE=1, CHKORID=2", &TTestMoveForm::SaveNote, 1}, // saving an audited note
        {0, "NOTESTATE=2", &TTestMoveForm::SaveNote, 2},            // a voided one
        {0, saved, &TTestMoveForm::SaveNote, 0},                    // one saved meanwhile
        {0, saved, &TTestMoveForm::CheckNote, 0},                   // audit of changed contents
        {0, "NOTESTATE=1, CHKORID=2", &TTestMoveForm::CheckNote, 1}, // audited twice
        {0, "NOTESTATE=2", &TTestMoveForm::CheckNote, 2},           // audit of a voided note
        {1, "NOTESTATE=0, CHKORID=null, UPDATETIME='2020-01-01 09:00:00'", &TTestMoveForm::UncheckNote, 0},
        {0, "NOTESTATE=2", &TTestMoveForm::AbateNote, 2},
        {0, saved, &TTestMoveForm::AbateNote, 0},
        {2, "NOTESTATE=0", &TTestMoveForm::UnabateNote, 0},
        {0, "NOTESTATE=1, CHKORID=2", &TTestMoveForm::DeleteNote, 1}, // the note stays
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.other);
        sql(QStringLiteral("update testnoteath set NOTESTATE=%1, CHKORID=null, AMOUNT=100, "
                           "UPDATETIME='2020-01-01 08:00:00' where NOTEID=7")
                .arg(c.startState));
        form->LoadNote(7);
        m_messages.clear();
        sql(QStringLiteral("delete from notemsginfth"));
        otherSets(QString::fromUtf8(c.other));
        if (c.action == &TTestMoveForm::SaveNote)
            setField(QStringLiteral("AMOUNT"), 786.5);
        if (c.action == &TTestMoveForm::DeleteNote)
            m_messages.answer(AnswerYes);
        EXPECT_FALSE((form->*c.action)());
        EXPECT_EQ(errors(), QStringList{changedElsewhere()});
        EXPECT_FALSE(InTransaction());
        // Nothing written, nobody told, and the note shown again as it now stands.
        const double amount = c.other == saved ? 300 : 100;
        EXPECT_EQ(stored(QStringLiteral("NOTESTATE")).toInt(), c.stateAfter);
        EXPECT_EQ(stored(QStringLiteral("AMOUNT")).toDouble(), amount);
        EXPECT_EQ(scalar(QStringLiteral("select count(*) from notemsginfth")).toInt(), 0);
        EXPECT_EQ(field("NOTESTATE").toInt(), c.stateAfter);
        EXPECT_EQ(field("AMOUNT").toDouble(), amount);
        EXPECT_FALSE(form->IsNoteModified());
    }
}
