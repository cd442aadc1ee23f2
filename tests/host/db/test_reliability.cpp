// The database layer when things go wrong: a failing or full disk, read-only
// books, a lock held by another client, numbers that are not numbers, and the
// client ids that tell whether the client behind a record still runs (a killed
// client process: see the note number reservation tests).

#include "TestSupport.h"

#include "db/Database.h"

#include <sqlite3.h>

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

using db::Database;
using db::DbError;

namespace {

class ReliabilityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        d = testsupport::bareDatabase(folder.file("books.db"));
        d->exec("create table t_note (NOTEID integer primary key, NOTESTATE integer, AMOUNT numeric(19,6))");
        d->exec("create table t_log (NOTEID integer)");
    }
    int count(const QString &table) { return d->scalar("select count(*) from " + table).toInt(); }
    // What `run` throws as "code|text", or "(ran)".
    static QString failure(const std::function<void()> &run)
    {
        try {
            run();
        } catch (const DbError &e) {
            return QString::number(e.code()) + u'|' + e.text();
        }
        return "(ran)";
    }
    static QString prefix(int code, const char *text) { return QString::number(code) + u'|' + QString::fromUtf8(text); }

    testsupport::TempFolder folder;
    std::unique_ptr<Database> d;
};

TEST_F(ReliabilityTest, FailingDiskOrCommitRollsBackQuietlyAndWritesNothing)
{
    d->beginTran();
    d->exec("insert into t_note values (1, 0, 10)");
    d->injectFault({1, SQLITE_FULL, {}, true});
    const QString full = failure([&] { d->exec("insert into t_note values (2, 0, 20)"); });
    EXPECT_TRUE(full.startsWith(prefix(SQLITE_FULL, "磁盘空间已满，数据没有保存。")) && full.endsWith("database or disk is full"))
        << full.toStdString();
    // The engine ended the transaction: nothing may run outside it, and the
    // rollback of the caller's handler must not throw.
    EXPECT_TRUE(d->inTransaction());
    EXPECT_THROW(d->exec("insert into t_note values (3, 0, 30)"), DbError);
    EXPECT_NO_THROW(d->rollbackTran());
    EXPECT_FALSE(d->inTransaction());
    EXPECT_EQ(count("t_note"), 0);

    // A caller that commits anyway is told nothing was saved.
    d->beginTran();
    d->injectFault({1, SQLITE_IOERR, {}, true});
    EXPECT_THROW(d->exec("insert into t_note values (3, 0, 30)"), DbError);
    EXPECT_THROW(d->commitTran(), DbError);
    EXPECT_FALSE(d->inTransaction());

    // The connection works again afterwards.
    d->exec("insert into t_note values (4, 0, 40)");
    EXPECT_EQ(count("t_note"), 1);

    // Only matching statements count; a fault may hit the commit.
    d->exec("delete from t_note");
    d->injectFault({2, SQLITE_IOERR, "t_log", true});
    d->exec("insert into t_note values (1, 0, 10)"); // not counted
    d->exec("insert into t_log values (1)");
    const QString ioError = failure([&] { d->exec("insert into t_log values (2)"); });
    EXPECT_TRUE(ioError.startsWith(prefix(SQLITE_IOERR, "读写帐套文件时磁盘出错，数据没有保存。\n"))) << ioError.toStdString();
    EXPECT_EQ(count("t_log"), 1);
    EXPECT_FALSE(d->inTransaction());

    d->beginTran();
    d->exec("insert into t_note values (2, 0, 20)");
    d->injectFault({1, SQLITE_FULL, "COMMIT", true});
    EXPECT_THROW(d->commitTran(), DbError);
    EXPECT_FALSE(d->inTransaction()); // nothing is left to roll back
    EXPECT_EQ(count("t_note"), 1);
}

TEST_F(ReliabilityTest, SizeLimitedBooksGiveTheFullDiskMessage)
{
    d->exec("create table t_blob (B blob)");
    const int pages = d->scalar("PRAGMA page_count").toInt();
    d->connection().exec(QString("PRAGMA max_page_count = %1").arg(pages + 4));
    d->beginTran();
    const QByteArray chunk(4096, 'x');
    const QString full = failure([&] {
        for (int i = 0; i < 50; ++i)
            d->exec("insert into t_blob values (:b)", {{"b", chunk}});
    });
    EXPECT_TRUE(full.startsWith(prefix(SQLITE_FULL, "磁盘空间已满")) && full.endsWith("full")) << full.toStdString();
    EXPECT_NO_THROW(d->rollbackTran());
    EXPECT_EQ(count("t_blob"), 0);
}

TEST_F(ReliabilityTest, ReadOnlyBooksAreToldAndRefuseWritesInChinese)
{
    const QString path = d->path();
    d.reset();
    auto ro = Database::openSqlite(path, false, true);
    EXPECT_TRUE(ro->isReadOnly());
    const QString refused = failure([&] { ro->exec("insert into t_note values (1, 0, 10)"); });
    EXPECT_TRUE(refused.startsWith(prefix(SQLITE_READONLY, "帐套文件是只读的，不能保存数据。")) && refused.contains("readonly"))
        << refused.toStdString();
    EXPECT_FALSE(ro->inTransaction());
    EXPECT_FALSE(Database::openSqlite(path)->isReadOnly());
}

TEST_F(ReliabilityTest, AnotherClientsWriteLockMeansAnnouncedWaitThenBusyAndClientIdsTellWhoRuns)
{
    auto other = Database::openSqlite(d->path());
    const QString mine = d->clientId(), theirs = other->clientId();
    EXPECT_NE(mine, theirs);
    EXPECT_EQ(d->clientId(), mine); // stable for the connection's life
    EXPECT_TRUE(d->clientAlive(theirs));
    EXPECT_TRUE(other->clientAlive(mine));
    other->beginTran(); // holds the write lock
    other->exec("insert into t_note values (1, 0, 10)");

    QVector<bool> heard;
    Database::setBusyHook([&](bool waiting) { heard << waiting; });
    d->setBusyTimeout(30);
    const QString busy = failure([&] { d->exec("insert into t_note values (2, 0, 20)"); });
    EXPECT_TRUE(busy.startsWith(prefix(SQLITE_BUSY, "帐套正被其他用户使用，等待超时，数据没有保存。请稍后再试。\n")))
        << busy.toStdString();
    Database::setBusyHook(nullptr);
    EXPECT_EQ(heard, (QVector<bool>{true, false}));
    EXPECT_FALSE(d->inTransaction());
    other->commitTran();
    EXPECT_EQ(count("t_note"), 1);
    other.reset();
    EXPECT_FALSE(d->clientAlive(theirs));
    EXPECT_FALSE(d->clientAlive("0123456789abcdef"));
}

TEST_F(ReliabilityTest, NonFiniteNumbersAreNeverBound)
{
    for (double bad : {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::quiet_NaN()}) {
        const QString error = testsupport::errorOf([&] { d->exec("insert into t_note values (1, 0, :a)", {{"a", bad}}); });
        EXPECT_TRUE(error.contains("无效，不能写入数据库")) << bad << ": " << error.toStdString();
    }
    EXPECT_FALSE(d->inTransaction());
    EXPECT_EQ(count("t_note"), 0);
}

TEST_F(ReliabilityTest, RowsAffectedAreTheStatementsOwnEvenWhenPostingsRun)
{
    d->addStateTrigger("t_note");
    db::Registry::instance().addPosting("t_note", [](Database &db, const db::PostingEvent &ev) {
        db.exec("insert into t_log values (:n)", {{"n", ev.noteId}});
        db.exec("insert into t_log values (:n)", {{"n", ev.noteId}});
    });
    d->exec("insert into t_note values (1, 0, 10)");
    d->exec("insert into t_note values (2, 0, 10)");
    d->exec("update t_note set NOTESTATE=1 where NOTEID=1 and NOTESTATE=0");
    EXPECT_EQ(d->lastRowsAffected(), 1);
    EXPECT_EQ(count("t_log"), 2);
    d->exec("update t_note set NOTESTATE=1 where NOTEID=1 and NOTESTATE=0");
    EXPECT_EQ(d->lastRowsAffected(), 0);
    db::Registry::instance().addPosting("t_note", [](Database &, const db::PostingEvent &) {});
}

} // namespace
