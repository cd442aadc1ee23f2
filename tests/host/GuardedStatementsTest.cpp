// Host calls the note framework uses for writes that depend on what it read:
// affected rows, guarded statements, and master totals from the stored lines.

#include "HostFixture.h"

using namespace hosttest;

class GuardedStatementsTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        sql("insert into expenseath (NOTEID, NOTECODE, NOTESTATE, UPDATETIME, AMOUNT) "
            "values (5, 'FY-5', 0, '2024-01-02 08:00:00', 0)");
    }
    QVariant value(const QString &s) { return database().scalar(s); }
};

TEST_F(GuardedStatementsTest, RowsTouchedAndGuardsThatFindNoRow)
{
    EXPECT_EQ(SqlExecute("update expenseath set REMARK='a' where NOTEID=5 and REMARK is null"), 1);
    EXPECT_EQ(SqlExecute("update expenseath set REMARK='a' where NOTEID=5 and REMARK is null"), 0);
    EXPECT_EQ(SqlExecute("select * from expenseath"), 0);

    // The other client's change makes the guarded statement refuse, writing nothing.
    const QString change = "update expenseath set REMARK='b' where NOTEID=5 and NOTESTATE=0 "
                           "and UPDATETIME='2024-01-02 08:00:00'";
    sql("update expenseath set UPDATETIME='2024-01-02 09:00:00' where NOTEID=5");
    BeginTran();
    EXPECT_THROW(SqlExecuteGuarded(change), db::ConcurrencyError);
    RollbackTran();
    EXPECT_EQ(value("select REMARK from expenseath where NOTEID=5").toString(), "a");
    sql("update expenseath set UPDATETIME='2024-01-02 08:00:00' where NOTEID=5");
    EXPECT_NO_THROW(SqlExecuteGuarded(change));
    EXPECT_EQ(value("select REMARK from expenseath where NOTEID=5").toString(), "b");
}

TEST_F(GuardedStatementsTest, MasterTotalIsTheRoundedSumOfTheStoredLines)
{
    BeginTran();
    for (int i = 1; i <= 1000; ++i)
        sql(QStringLiteral("insert into expenseathdetail (NOTEID, ITEMSNO, AMOUNT) values (5, %1, 5.005)").arg(i));
    EXPECT_EQ(StoreMasterTotal("expenseath", "expenseathdetail", "NOTEID", 5), 5005.0);
    CommitTran();
    EXPECT_EQ(value("select AMOUNT from expenseath where NOTEID=5").toDouble(), 5005.0);

    sql("delete from expenseathdetail");
    sql("insert into expenseathdetail (NOTEID, ITEMSNO, AMOUNT) values (5, 1, 0.1), (5, 2, 0.2)");
    EXPECT_EQ(StoredLineTotal("expenseathdetail", "NOTEID", 5), 0.3);
    EXPECT_EQ(StoreMasterTotal("expenseath", "expenseathdetail", "NOTEID", 5), 0.3);
    EXPECT_EQ(value("select AMOUNT from expenseath where NOTEID=5").toDouble(), 0.3);
    EXPECT_EQ(StoredLineTotal("expenseathdetail", "NOTEID", 99), 0.0); // no lines
}

TEST_F(GuardedStatementsTest, WaitingForAnotherClientsLockIsAnnounced)
{
    auto other = db::Database::openSqlite(database().path());
    ASSERT_TRUE(other->setLock("NOTELOCK", true));
    QVector<bool> heard;
    db::Database::setBusyHook([&](bool waiting) { heard << waiting; });
    const int before = LockWaitMilliseconds();
    SetLockWaitMilliseconds(0);
    EXPECT_FALSE(SetLock("NOTELOCK", true, true));
    EXPECT_TRUE(SetLock("ACCLOCK", true, true)); // free: no wait to show
    SetLock("ACCLOCK", false, false);
    SetLockWaitMilliseconds(before);
    db::Database::setBusyHook(nullptr);
    EXPECT_EQ(heard, (QVector<bool>{true, false}));
}
