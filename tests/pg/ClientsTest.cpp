// Several clients on one set of books on the server: notectl from the outside,
// and keys taken by clients at once, never given twice nor rolled back.

#include "PgFixture.h"

#include "notedb.h"

#include <QSet>
#include <QThread>

#include <mutex>

using db::Database;

namespace {

TEST(ServerClients, NotectlMakesDemoBooksOnTheServerAndRunsSqlOnThem)
{
    PG_REQUIRED();
    notedb::install();
    pgtest::ScratchDatabase scratch;
    const QString books = scratch.address();
    const auto ctl = [](const QStringList &args) { return testsupport::runProgram("notectl", args); };
    auto init = ctl({"init", books, "--demo"});
    ASSERT_EQ(init.exitCode, 0) << init.err.toStdString();
    EXPECT_TRUE(init.out.contains("已创建帐套") && init.out.contains("(演示数据)")) << init.out.toStdString();

    // The demo's notes were audited through the server's postings (whose
    // figures test_database checks in its run on the server).
    EXPECT_GT(notedb::openBooks(books)->scalar("select count(*) from noteflowaath where NOTETYPE in (4, 14)").toInt(), 0);

    auto insert = ctl({"sql", books, "insert into departmentlth (DEPID, CODE, NAME) values (907, 'D907', N'销售部')"});
    EXPECT_EQ(insert.exitCode, 0) << insert.err.toStdString();
    auto select = ctl({"sql", books, "select top 1 [Name], len(CODE) as L from DepartmentLth where code = 'd907'"});
    EXPECT_EQ(select.exitCode, 0) << select.err.toStdString();
    EXPECT_EQ(select.out.toStdString(), "NAME\tL\n销售部\t4\n"); // as SQLite names them

    // The server's own text for a statement it refuses; a second init is refused, forced or not.
    const std::pair<QStringList, const char *> refused[] = {{{"sql", books, "select nosuch from departmentlth"}, "nosuch"},
                                                            {{"init", books}, "不是空的"},
                                                            {{"init", books, "--force"}, "服务器上的帐套不会被覆盖"}};
    for (const auto &[args, says] : refused) {
        const auto r = ctl(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains(says)) << r.err.toStdString();
    }
    EXPECT_EQ(ctl({"sql", books, "select count(*) as N from departmentlth where DEPID = 907"}).out.toStdString(), "N\n1\n");
}

TEST(ServerClients, KeysTakenByClientsAtOnceAreAllDifferent)
{
    PG_REQUIRED();
    pgtest::ScratchDatabase scratch;
    {
        auto d = Database::openPostgres(scratch.address());
        d->createSystemTables();
        d->exec("insert into sys_keytable (TABLENAME, KEYVALUE) values ('salesth', 0)");
    }
    constexpr int clients = 4, perClient = 50;
    std::mutex mutex;
    QList<qint64> keys;
    QStringList failures;
    QList<QThread *> threads;
    for (int c = 0; c < clients; ++c) {
        threads << QThread::create([&, c] {
            try {
                // One connection per thread; some keys inside transactions that roll back.
                auto d = Database::openPostgres(scratch.address());
                for (int i = 0; i < perClient; ++i) {
                    const bool undo = (i + c) % 3 == 0;
                    if (undo)
                        d->beginTran();
                    const qint64 key = d->newKey(i % 2 ? "salesth" : "SalesTH"); // any case
                    if (undo)
                        d->rollbackTran();
                    std::lock_guard<std::mutex> lock(mutex);
                    keys << key;
                }
            } catch (const std::exception &e) {
                std::lock_guard<std::mutex> lock(mutex);
                failures << QString::fromUtf8(e.what());
            }
        });
        threads.last()->start();
    }
    for (QThread *t : threads) {
        t->wait();
        delete t;
    }
    EXPECT_TRUE(failures.isEmpty()) << failures.join(u'\n').toStdString();
    const QSet<qint64> distinct(keys.begin(), keys.end());
    EXPECT_EQ(keys.size(), clients * perClient);
    EXPECT_EQ(distinct.size(), keys.size());
    EXPECT_EQ(*std::max_element(keys.begin(), keys.end()), clients * perClient);
    EXPECT_THROW(Database::openPostgres(scratch.address())->newKey("no_such_table"), db::DbError);
}

} // namespace
