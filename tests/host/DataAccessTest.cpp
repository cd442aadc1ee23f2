// Queries, statements, transactions, keys, named locks, parameters and the log
// through the host's data calls, and the guarded writes the note framework uses.

#include "HostFixture.h"

#include "notedb.h"

using namespace hosttest;

class DataAccessTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        units();
    }
};

TEST_F(DataAccessTest, AutoQueryWalksRowsAndFieldsSingleValuesQuotingAndKeys)
{
    AutoQuery q = CreateAutoQuery("select UNITSID, CODE, NAME from unitlth order by UNITSID");
    QStringList names;
    for (; !q->Eof(); q->Next())
        names << q->FieldByName("name").AsString();
    EXPECT_EQ(names, (QStringList{"个", "箱", "O'Neil's"}));
    EXPECT_THROW(q->FieldByName("NAME"), PubError); // past the last row
    q->First();
    EXPECT_EQ(q->FieldByName("UnitsId").AsInteger(), 1);
    EXPECT_EQ(q->Fields(1).AsString(), "01");
    EXPECT_THROW(q->FieldByName("NOSUCH"), PubError);

    // Not opened until asked; T-SQL of the package is translated by the layer.
    AutoQuery later = CreateAutoQuery("select top 1 NAME, isnull(null, 5) as N from unitlth order by UNITSID desc", false);
    EXPECT_FALSE(later->Active());
    later->Open();
    EXPECT_EQ(later->FieldByName("NAME").AsString(), "O'Neil's");
    EXPECT_EQ(later->FieldByName("N").AsInteger(), 5);
    EXPECT_TRUE(CreateAutoQuery("select NAME from unitlth where UNITSID = 99")->IsEmpty());

    AutoQuery dates = CreateAutoQuery("select '2024-03-05' as D, '2024-03-05 08:30:00' as T, null as X");
    EXPECT_EQ(dates->FieldByName("D").AsDate(), QDate(2024, 3, 5));
    EXPECT_EQ(dates->FieldByName("T").AsDateTime(), QDateTime(QDate(2024, 3, 5), QTime(8, 30)));
    EXPECT_TRUE(dates->FieldByName("X").IsNull());
    EXPECT_EQ(dates->FieldByName("X").AsInteger(), 0);
    EXPECT_THROW(dates->FieldByName("D").AsFloat(), PubError);
    EXPECT_THROW(CreateAutoQuery("select * from nosuchtable"), db::DbError);

    // Single values, quoting and keys.
    QVariant v;
    EXPECT_TRUE(GetValueOfSql("select NAME from unitlth where UNITSID = 2", v));
    EXPECT_EQ(v.toString(), "箱");
    v = 5;
    EXPECT_FALSE(GetValueOfSql("select NAME from unitlth where UNITSID = 42", v));
    EXPECT_TRUE(v.isNull());
    // A typed quote cannot change the statement.
    EXPECT_TRUE(GetValueOfSql("select UNITSID from unitlth where NAME = " + QuotedStr("O'Neil's"), v));
    EXPECT_EQ(v.toInt(), 3);
    EXPECT_FALSE(GetValueOfSql("select UNITSID from unitlth where NAME = " + QuotedStr("x' or '1'='1"), v));

    const qint64 first = GetNewKeyValue("unitlth");
    EXPECT_EQ(GetNewKeyValue("unitlth"), first + 1);
    EXPECT_THROW(GetNewKeyValue("nosuchtable"), db::DbError);
}

TEST_F(DataAccessTest, StatementsAndTransactions)
{
    auto units = [this] { return scalar("select count(*) from unitlth").toInt(); };
    SqlExecute("insert into unitlth (UNITSID, CODE, NAME) values (10, '10', 'a')");
    BeginTran();
    EXPECT_TRUE(InTransaction());
    SqlExecute("insert into unitlth (UNITSID, CODE, NAME) values (11, '11', 'b')");
    SqlExecute("update unitlth set NAME = 'changed' where UNITSID = 1");
    RollbackTran();
    EXPECT_FALSE(InTransaction());
    EXPECT_EQ(scalar("select NAME from unitlth where UNITSID = 1").toString(), "个");

    BeginTran();
    SqlExecute("insert into unitlth (UNITSID, CODE, NAME) values (11, '11', 'b')");
    SqlExecuteNoTran("insert into unitlth (UNITSID, CODE, NAME) values (12, '12', 'c')");
    CommitTran();
    EXPECT_EQ(units(), 6);

    // Batches go through the batch runner.
    SqlExecute("if exists(select 1 from unitlth where UNITSID = 12) begin update unitlth set NAME = 'batch' "
               "where UNITSID = 12 end else begin insert into unitlth (UNITSID, NAME) values (12, 'x') end");
    EXPECT_EQ(scalar("select NAME from unitlth where UNITSID = 12").toString(), "batch");

    // Errors carry the database's text and leave the transaction to the caller.
    BeginTran();
    SqlExecute("insert into unitlth (UNITSID, CODE, NAME) values (13, '13', 'd')");
    const QString error = testsupport::refusal([] { SqlExecute("insert into nosuchtable values (1)"); });
    EXPECT_TRUE(error.contains("nosuchtable")) << error.toStdString();
    EXPECT_TRUE(InTransaction());
    SqlExecute("update unitlth set NAME = 'goes on' where UNITSID = 13"); // the transaction is still usable
    EXPECT_EQ(scalar("select NAME from unitlth where UNITSID = 13").toString(), "goes on");
    RollbackTran();
    EXPECT_EQ(scalar("select count(*) from unitlth where UNITSID = 13").toInt(), 0);

    SetStartupDB(nullptr);
    EXPECT_FALSE(InTransaction());
    EXPECT_THROW(SqlExecute("select 1"), PubError);
    EXPECT_THROW(BeginTran(), PubError);
}

TEST_F(DataAccessTest, NamedLocksAgainstAnotherConnection)
{
    auto other = notedb::openBooks(database().path());

    // What a lock is the layer's own test shows (DatabaseTest.NamedLocksWorkAcrossProcesses);
    // here: the host's calls reach it and wait as asked.
    ASSERT_TRUE(other->setLock("NOTELOCK", true));

    // Held elsewhere: false without waiting, and false after waiting in vain
    // (the wait is announced to the host and ended); a free lock needs no wait.
    QStringList busy;
    db::Database::setBusyHook([&](bool waiting) { busy << (waiting ? "wait" : "done"); });
    EXPECT_FALSE(SetLock("NOTELOCK", true, false));
    EXPECT_TRUE(busy.isEmpty());
    SetLockWaitMilliseconds(1);
    EXPECT_FALSE(SetLock("NOTELOCK", true, true));
    EXPECT_EQ(busy, (QStringList{"wait", "done"}));

    // A waiting taker gets the lock once the other client lets it go (here: as
    // soon as the wait begins).
    EXPECT_TRUE(other->setLock("ACCLOCK", true));
    SetLockWaitMilliseconds(60000);
    busy.clear();
    db::Database::setBusyHook([&](bool waiting) {
        busy << (waiting ? "wait" : "done");
        if (waiting)
            other->setLock("ACCLOCK", false);
    });
    EXPECT_TRUE(SetLock("ACCLOCK", true, true));
    EXPECT_EQ(busy, (QStringList{"wait", "done"}));
    db::Database::setBusyHook(nullptr);
    EXPECT_FALSE(other->setLock("ACCLOCK", true));
    EXPECT_TRUE(SetLock("ACCLOCK", false, false));
    other->setLock("NOTELOCK", false);
}

TEST_F(DataAccessTest, SystemParametersAndBusinessMonth)
{
    setParam(4003, "IsDistinctStore", "1");
    EXPECT_EQ(LookupSysParam("ISDISTINCTSTORE"), "1");
    EXPECT_EQ(LookupSysParam("NoSuchParam"), "");
    setParam(4003, "IsDistinctStore", "0");
    EXPECT_EQ(LookupSysParam("isdistinctstore"), "0"); // changes are seen at once
    {
        // A batch reads each rule once; the next batch reads it again.
        const SteadyReads batch;
        EXPECT_EQ(LookupSysParam("IsDistinctStore"), "0");
        setParam(4003, "IsDistinctStore", "1");
        EXPECT_EQ(LookupSysParam("IsDistinctStore"), "0");
    }
    EXPECT_EQ(LookupSysParam("IsDistinctStore"), "1");

    // Without a valid period the working date's month is used.
    g_NewnoteTime = QDate(2023, 6, 18);
    setParam(3002, "PosYear", "2024");
    for (const auto &[month, first, last] : {std::tuple{"2", QDate(2024, 2, 1), QDate(2024, 2, 29)},
                                             {"12", QDate(2024, 12, 1), QDate(2024, 12, 31)},
                                             {"13", QDate(2023, 6, 1), QDate(2023, 6, 30)}}) {
        setParam(3003, "PosMonth", month);
        EXPECT_EQ(GetFirstDayOfPosMonth(), first) << month;
        EXPECT_EQ(GetLastDayOfPosMonth(), last) << month;
    }

    const QDateTime server = GetSystemTime();
    EXPECT_LE(qAbs(server.secsTo(QDateTime::currentDateTime())), 2);
    EXPECT_EQ(server.time().msec(), 0);
    SetStartupDB(nullptr);
    EXPECT_EQ(LookupSysParam("IsDistinctStore"), "");
}

TEST_F(DataAccessTest, WriteLogStoresEntriesWithUserAndTime)
{
    SetCurrentUser(kClerk);
    WriteLog('T', 200, 'T', "采购开单", QString(), 1, 0);
    WriteLog('T', 201, 'T', QString(300, u'x'), "second", 2, 5);

    // The text is cut to its column's 200 characters.
    EXPECT_EQ(testsupport::rowsText(database(), "select OPERATEID, CATEGORY, LOGCODE, LOGKIND, TEXT1, TEXT2, NUM1, NUM2 "
                                                "from syslogmth order by LOGCODE"),
              QString("%1|T|200|T|采购开单||1|0,%1|T|201|T|%2|second|2|5").arg(kClerk).arg(QString(200, u'x')));
    const QDateTime at = db::Database::toDateValue(scalar("select min(LOGTIME) from syslogmth")).toDateTime();
    ASSERT_TRUE(at.isValid());
    EXPECT_LE(qAbs(at.secsTo(QDateTime::currentDateTime())), 5);

    // A log entry rolls back with the transaction it was written in.
    BeginTran();
    WriteLog('T', 202, 'T', "x", "", 0, 0);
    RollbackTran();
    EXPECT_EQ(scalar("select count(*) from syslogmth").toInt(), 2);

    // Without books or log table, logging is silently dropped.
    sql("drop table syslogmth");
    EXPECT_NO_THROW(WriteLog('T', 203, 'T', "x", "", 0, 0));
    SetStartupDB(nullptr);
    EXPECT_NO_THROW(WriteLog('T', 204, 'T', "x", "", 0, 0));
}

TEST_F(DataAccessTest, GuardedStatementsAndMasterTotals)
{
    sql("insert into expenseath (NOTEID, NOTECODE, NOTESTATE, UPDATETIME, AMOUNT) "
        "values (5, 'FY-5', 0, '2024-01-02 08:00:00', 0)");
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
    EXPECT_EQ(scalar("select REMARK from expenseath where NOTEID=5").toString(), "a");
    sql("update expenseath set UPDATETIME='2024-01-02 08:00:00' where NOTEID=5");
    EXPECT_NO_THROW(SqlExecuteGuarded(change));
    EXPECT_EQ(scalar("select REMARK from expenseath where NOTEID=5").toString(), "b");

    // The master total is the rounded sum of the stored lines.
    BeginTran();
    for (int i = 1; i <= 1000; ++i)
        sql(QString("insert into expenseathdetail (NOTEID, ITEMSNO, AMOUNT) values (5, %1, 5.005)").arg(i));
    EXPECT_EQ(StoreMasterTotal("expenseath", "expenseathdetail", "NOTEID", 5), 5005.0);
    CommitTran();
    EXPECT_EQ(scalar("select AMOUNT from expenseath where NOTEID=5").toDouble(), 5005.0);
    sql("delete from expenseathdetail");
    sql("insert into expenseathdetail (NOTEID, ITEMSNO, AMOUNT) values (5, 1, 0.1), (5, 2, 0.2)");
    EXPECT_EQ(StoreMasterTotal("expenseath", "expenseathdetail", "NOTEID", 5), 0.3);
    EXPECT_EQ(scalar("select AMOUNT from expenseath where NOTEID=5").toDouble(), 0.3);
    EXPECT_EQ(StoredLineTotal("expenseathdetail", "NOTEID", 99), 0.0); // no lines
}
