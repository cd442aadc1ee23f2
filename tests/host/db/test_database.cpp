// The database layer against a real SQLite file: transactions, the batch runner,
// server procedures, the posting queue, keys, named locks and dates.

#include "TestSupport.h"

#include "db/BatchRunner.h"
#include "db/Database.h"

#include <QProcess>

#include <gtest/gtest.h>

using db::Database;
using db::DbError;
using db::ProcArg;
using db::Registry;
using db::ResultSet;
using testsupport::rowsText;

namespace {

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerProcedures();
        d = testsupport::bareDatabase(folder.file("books.db"));
        d->exec("create table t_item (ID integer primary key, NAME varchar(20), QTY numeric(19,6))");
        d->exec("create table t_note (NOTEID integer primary key, NOTESTATE integer, AMOUNT numeric(19,6))");
        d->exec("create table t_posted (NOTEID integer, OLDSTATE integer, NEWSTATE integer)");
        d->addStateTrigger("t_note");
    }

    static void registerProcedures()
    {
        static bool done = false;
        if (done)
            return;
        done = true;
        auto &r = Registry::instance();
        // usp_test_add a, b, @sum OUTPUT
        r.addProcedure("usp_test_add", [](Database &, QVector<ProcArg> &args) {
            if (args.size() != 3)
                throw DbError("过程 usp_test_add 需要 3 个参数");
            args[2].value = args[0].value.toLongLong() + args[1].value.toLongLong();
            return ResultSet{};
        });
        // usp_test_put id, name: writes a row on the caller's connection and returns it
        r.addProcedure("usp_test_put", [](Database &d, QVector<ProcArg> &args) {
            d.exec("insert into t_item(ID, NAME) values (:id, :name)", {{"id", args.value(0).value}, {"name", args.value(1).value}});
            return d.select("select ID, NAME from t_item where ID = :id", {{"id", args.value(0).value}});
        });
        // A posting that records what it saw and refuses note 666.
        r.addPosting("t_note", [](Database &d, const db::PostingEvent &ev) {
            if (ev.noteId == 666)
                throw DbError("posting refused for note 666");
            d.exec("insert into t_posted values (:n, :o, :s)", {{"n", ev.noteId}, {"o", ev.oldState}, {"s", ev.newState}});
        });
    }

    int count(const QString &table) { return d->scalar("select count(*) from " + table).toInt(); }

    testsupport::TempFolder folder;
    std::unique_ptr<Database> d;
};

TEST_F(DatabaseTest, TransactionsNestAndRollbackUndoesAllLevels)
{
    d->beginTran();
    d->exec("insert into t_item(ID, NAME) values (1, 'a')");
    d->beginTran();
    EXPECT_EQ(d->tranDepth(), 2);
    d->exec("insert into t_item(ID, NAME) values (2, 'b')");
    d->commitTran(); // inner commit only counts down
    EXPECT_TRUE(d->inTransaction());
    d->rollbackTran(); // undoes both levels
    EXPECT_FALSE(d->inTransaction());
    EXPECT_EQ(count("t_item"), 0);

    d->beginTran();
    d->exec("insert into t_item(ID, NAME) values (3, 'c')");
    d->commitTran();
    EXPECT_EQ(count("t_item"), 1);

    EXPECT_THROW(d->commitTran(), DbError);
    EXPECT_THROW(d->rollbackTran(), DbError);
}

TEST_F(DatabaseTest, ErrorsCarryTheDatabaseText)
{
    const QString error = testsupport::errorOf([&] { d->exec("select nosuchcolumn from t_item"); });
    EXPECT_TRUE(error.contains("no such column: nosuchcolumn")) << error.toStdString();
    d->exec("insert into t_item(ID, NAME) values (1, 'a')");
    EXPECT_THROW(d->exec("insert into t_item(ID, NAME) values (1, 'again')"), DbError);
    EXPECT_FALSE(d->inTransaction()); // the failed statement's own transaction is gone
    EXPECT_EQ(d->scalar("select NAME from t_item where ID=1").toString(), "a");
    EXPECT_THROW(d->exec("select * from t_item where ID=:id"), DbError); // unbound parameter
    // Batches the runner cannot read are refused whole: no END, an undeclared variable, ...
    for (const char *batch : {"if exists(select 1 from t_item) begin select 1", "select @nobody as X", "set bogus = 1", "exec"})
        EXPECT_THROW(d->run(batch), DbError) << batch;
    EXPECT_FALSE(d->inTransaction());
}

TEST_F(DatabaseTest, ProceduresFeedLaterSelectsAndRunInTheCallersTransaction)
{
    const ResultSet rs = d->run("declare @s int, @unused varchar(10) \n"
                                "exec usp_test_add 2, :b, @s output\n"
                                "select @s as S, @unused as U",
                                {{"B", 40}});
    EXPECT_EQ(rs.value(0, "s").toInt(), 42); // columns by name in any case
    EXPECT_EQ(rowsText(rs), "42:"); // @unused is null

    // EXECUTE and dbo. prefixes; the procedure's own result set is the batch's result.
    EXPECT_EQ(rowsText(d->run("execute dbo.usp_test_put 7, N'七'")), "7:七");

    EXPECT_EQ(testsupport::errorOf([&] { d->run("exec usp_no_such_proc 1"); }), "找不到存储过程 'usp_no_such_proc'。");
    EXPECT_THROW(d->run("exec usp_test_add 1, 2, @never output"), DbError); // undeclared
    EXPECT_THROW(d->run("exec usp_test_add 1, 2"), DbError);               // the procedure's own error

    d->beginTran();
    d->run("exec usp_test_put 1, 'inside'");
    EXPECT_EQ(count("t_item"), 2);
    d->rollbackTran();
    EXPECT_EQ(count("t_item"), 1);
    // Alone, a procedure that fails half-way leaves nothing behind.
    EXPECT_THROW(d->run("exec usp_test_put 7, 'dup'"), DbError);
    EXPECT_EQ(count("t_item"), 1);
}

TEST_F(DatabaseTest, BatchesTakeTheRightBranchAndKeepCompoundStatementsWhole)
{
    const QString upsert = "if Exists(Select 1 from t_item where ID = :id) begin update t_item set QTY = QTY + :q where ID = :id end "
                           "else begin insert into t_item(ID, NAME, QTY) values (:id, 'new', :q) end";
    d->run(upsert, {{"id", 5}, {"q", 2}}); // inserted
    d->run(upsert, {{"id", 5}, {"q", 3}}); // updated
    EXPECT_EQ(rowsText(*d, "select * from t_item"), "5|new|5");

    // NOT EXISTS, a single-statement branch, a nested IF and a CASE ... ELSE ... END inside a branch.
    d->run("declare @n int set @n = 3\n"
           "if not exists(select 1 from t_item where ID = 9) "
           "  if @n > 2 insert into t_item(ID, NAME) select 9, case when @n > 5 then 'big' else 'small' end "
           "  else insert into t_item(ID, NAME) values (10, 'never')");
    EXPECT_EQ(rowsText(*d, "select ID, NAME from t_item where ID > 5"), "9|small");

    d->run("create table a (X integer) create table b (X integer)\n"
           "insert into a values (1) insert into a values (2)\n"
           "insert into b select X from a where X > 1 union all select 10\n"
           "update b set X = X + 1 where X in (select X from a)");
    const ResultSet rs = d->run("select X from b order by X; select count(*) as N from a");
    ASSERT_EQ(rs.columns, QStringList{"N"}); // the last result set wins
    EXPECT_EQ(rs.rows[0][0].toInt(), 2);
    EXPECT_EQ(d->select("select X from b order by X").rows, (QList<QVariantList>{{3}, {10}}));
    EXPECT_TRUE(Database::isBatch("  -- note\n exec x"));
    EXPECT_FALSE(Database::isBatch("select 1"));
}

TEST_F(DatabaseTest, XactAbortBatchIsAllOrNothing)
{
    d->exec("insert into t_item(ID, NAME) values (1, 'keep')");
    EXPECT_THROW(d->run("SET XACT_ABORT ON BEGIN TRAN delete from t_item where ID = 1 "
                        "insert into t_item(ID, NAME) values (2, 'two') insert into t_item(ID, NAME) values (2, 'duplicate') "
                        "COMMIT TRAN SET XACT_ABORT OFF"),
                 DbError);
    EXPECT_FALSE(d->inTransaction());
    EXPECT_EQ(rowsText(*d, "select NAME from t_item"), "keep");

    d->run("SET XACT_ABORT ON BEGIN TRAN delete from t_item where ID = 1 "
           "insert into t_item(ID, NAME) select 2, 'two' COMMIT TRAN SET XACT_ABORT OFF");
    EXPECT_EQ(d->scalar("select NAME from t_item").toString(), "two");

    // Nested: the batch's own BEGIN/COMMIT inside the caller's transaction leaves the
    // decision to the caller.
    d->beginTran();
    d->run("BEGIN TRAN insert into t_item(ID, NAME) values (3, 'x') COMMIT TRAN");
    EXPECT_TRUE(d->inTransaction());
    d->rollbackTran();
    EXPECT_EQ(count("t_item"), 1);
}

TEST_F(DatabaseTest, PostingsRunInsideTheStatementTransaction)
{
    d->exec("insert into t_note values (1, 0, 10)");
    d->exec("insert into t_note values (666, 0, 10)");

    // Outside a transaction: the update gets its own, with the posting in it.
    d->exec("update t_note set NOTESTATE = 1 where NOTEID = 1");
    EXPECT_EQ(count("sys_postqueue"), 0); // run (t_posted below), not left queued

    // A failing posting leaves the note unaudited.
    EXPECT_THROW(d->exec("update t_note set NOTESTATE = 1 where NOTEID = 666"), DbError);
    EXPECT_EQ(d->scalar("select NOTESTATE from t_note where NOTEID=666").toInt(), 0);

    // Inside a transaction the posting is visible at once and goes with a rollback.
    d->beginTran();
    d->exec("update t_note set NOTESTATE = 0 where NOTEID = 1");
    EXPECT_EQ(count("t_posted where NOTEID=1 and NEWSTATE=0"), 1);
    d->rollbackTran();

    // An update that leaves the state alone posts nothing; a note inserted audited posts.
    d->exec("update t_note set AMOUNT = 20 where NOTEID = 1");
    d->exec("insert into t_note values (2, 1, 5)");

    // Disabled triggers queue nothing until enabled again.
    d->run("alter table T_Note disable trigger all");
    d->exec("update t_note set NOTESTATE = 2 where NOTEID = 2");
    d->run("alter table dbo.t_note Enable trigger all");
    d->exec("update t_note set NOTESTATE = 0 where NOTEID = 2");
    EXPECT_EQ(rowsText(*d, "select * from t_posted order by NOTEID, NEWSTATE"), "1|0|1,2|2|0,2|0|1");
    EXPECT_EQ(d->scalar("select NOTESTATE from t_note where NOTEID=1").toInt(), 1);
    EXPECT_THROW(d->run("alter table t_note drop column AMOUNT"), DbError);
}

TEST_F(DatabaseTest, KeysAreSequentialNeverSharedByTwoProcessesAndMissingRowsAreRefused)
{
    d->exec("insert into sys_keytable values ('purchasepth', 100)");
    EXPECT_EQ(d->newKey("purchasepth"), 101);
    EXPECT_EQ(d->newKey("PURCHASEPTH"), 102);
    EXPECT_EQ(testsupport::errorOf([&] { d->newKey("nosuchtable"); }), "键值表中没有表 nosuchtable 的记录。");
    EXPECT_FALSE(d->inTransaction());
    // Inside a save's transaction the key goes with a rollback.
    d->beginTran();
    EXPECT_EQ(d->newKey("purchasepth"), 103);
    d->rollbackTran();
    EXPECT_EQ(d->newKey("purchasepth"), 103);

    d->exec("insert into sys_keytable values ('salesth', 0)");
    QProcess other;
    other.start(QDir(testsupport::binDir()).filePath("dbchild"), {"keys", d->path(), "salesth", "200"});
    ASSERT_TRUE(other.waitForStarted());
    QSet<qint64> mine;
    for (int i = 0; i < 200; ++i)
        mine.insert(d->newKey("salesth"));
    ASSERT_TRUE(other.waitForFinished(60000));
    ASSERT_EQ(other.exitCode(), 0) << other.readAllStandardError().toStdString();
    const QStringList theirs = QString::fromUtf8(other.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(theirs.size(), 200);
    for (const QString &k : theirs)
        EXPECT_FALSE(mine.contains(k.toLongLong())) << "key " << k.toStdString() << " handed out twice";
    EXPECT_EQ(d->scalar("select KEYVALUE from sys_keytable where TABLENAME='salesth'").toInt(), 400);
}

TEST_F(DatabaseTest, NamedLocksWorkAcrossProcesses)
{
    auto startHolder = [&](QProcess &p) {
        p.start(QDir(testsupport::binDir()).filePath("dbchild"), {"lock", d->path(), "NOTELOCK"});
        EXPECT_TRUE(p.waitForStarted());
        EXPECT_TRUE(p.waitForReadyRead(20000));
        return QString::fromUtf8(p.readLine()).trimmed();
    };

    ASSERT_TRUE(d->setLock("NOTELOCK", true));
    EXPECT_FALSE(d->setLock("notelock", true)); // held: a second taker is refused
    EXPECT_TRUE(d->setLock("ACCLOCK", true));   // other names are independent
    {
        QProcess p;
        EXPECT_EQ(startHolder(p), "busy");
        p.closeWriteChannel();
        p.waitForFinished();
    }
    EXPECT_TRUE(d->setLock("NOTELOCK", false));
    EXPECT_FALSE(d->setLock("NOTELOCK", false)); // not held any more

    // The other process holds it now; when it dies the lock is free again.
    QProcess holder;
    EXPECT_EQ(startHolder(holder), "taken");
    EXPECT_FALSE(d->setLock("NOTELOCK", true));
    holder.kill();
    holder.waitForFinished();
    EXPECT_TRUE(d->setLock("NOTELOCK", true));
}

TEST_F(DatabaseTest, DatesAreStoredAsTextAndReadBack)
{
    d->exec("create table t_dates (D date, T timestamp)");
    const QDate day(2026, 12, 5);
    const QDateTime moment(day, QTime(14, 30, 5));
    d->exec("insert into t_dates values (:d, :t)", {{"d", day}, {"t", moment}});
    EXPECT_EQ(rowsText(*d, "select D, T from t_dates where D >= '2026-12-01' and D < '2027-01-01'"),
              "2026-12-05|2026-12-05 14:30:05");
    const ResultSet rs = d->select("select D, T from t_dates");
    EXPECT_EQ(Database::toDateValue(rs.rows[0][0]), QVariant(day));
    EXPECT_EQ(Database::toDateValue(rs.rows[0][1]), QVariant(moment));
    EXPECT_FALSE(Database::toDateValue("not a date").isValid());
}

} // namespace
