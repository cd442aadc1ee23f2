// The postings on the server with several clients at once: audits running
// side by side end as one client auditing in turn on SQLite, an audit takes
// its stock rows in one order, and an audit meeting another client's row lock
// fails as busy. (The postings' figures on
// the server are checked by test_database in its run on PostgreSQL.)

#include "PgFixture.h"

#include "notedb.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>

#include <memory>
#include <vector>

using db::Database;
using db::DbError;

namespace {

// Moves a note to `state` on the books; the refusal's text, or empty.
QString setState(Database &d, const QString &master, qint64 id, int state)
{
    try {
        d.exec(QString("update %1 set NOTESTATE = %2, CHKORID = 1 where NOTEID = %3").arg(master).arg(state).arg(id));
        return d.lastRowsAffected() == 1 ? QString() : "no row";
    } catch (const DbError &e) {
        // The server's text after the same sentence: compared by the sentence.
        return e.text().section(u'\n', 0, 0);
    }
}

class ServerPostings : public pgtest::DemoOnBoth {};

// The advisory lock the concurrent clients wait on before they start.
constexpr qint64 kGate = 7164;

// Runs a batch of T-SQL on the books in a notectl process of its own, started now.
std::unique_ptr<QProcess> client(const QString &books, const QString &batch)
{
    auto p = std::make_unique<QProcess>();
    p->start(QDir(testsupport::binDir()).filePath("notectl"), {"sql", books, "-"});
    // Written now: the test waits on the server meanwhile, not in an event loop.
    p->waitForStarted();
    p->write(batch.toUtf8());
    p->waitForBytesWritten();
    p->closeWriteChannel();
    return p;
}

QString finish(QProcess &p)
{
    if (!p.waitForFinished(300000))
        p.kill();
    p.waitForFinished();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 ? QString() : QString::fromUtf8(p.readAllStandardError());
}

// What does not depend on the order the sales were audited in.
QString totals(Database &d)
{
    QString out;
    for (const char *sql : {
             "select BUILDINGID, COMMODITYID, QUANTITY, AMOUNT, PRICE, REALQTY from onhandaath order by 1, 2",
             "select NOTETYPE, count(*), count(distinct ID), sum(IOFLAG * QUANTITY), sum(AMOUNT), sum(BREFERQTY) "
             "from noteflowaath group by NOTETYPE order by 1",
             "select count(*), count(distinct ID), sum(QUANTITY) from PcSplit",
             "select PARTNERID, SCAMT from partnerlth order by 1",
             "select ACCOUNTID, BALANCE from accountacth order by 1",
             "select count(*), count(distinct ID), sum(INAMT - OUTAMT) from accountflowaath",
             "select NOTESTATE, count(*), sum(APRICE) from salesth m join salesthDetail d on d.NOTEID = m.NOTEID "
             "group by NOTESTATE order by 1",
         })
        out += pgtest::canonical(d.select(QString::fromLatin1(sql))) + u'\n';
    return out;
}

TEST_F(ServerPostings, ClientsAuditingTheSameGoodsAtOnceEndAsOneClientInTurn)
{
    Database &lite = *m_lite;
    // Two hundred sales of the same two goods of head office, half of them
    // listing them the other way round, each drawing a little on one batch and
    // every other one half paid into one account; one more sale wants more of
    // the batch than there is.
    const qint64 batch = lite.scalar(QString("select min(ID) from noteflowaath where COMMODITYID = 11 and BUILDINGID = 1 "
                                                    "and IOFLAG = 1 and BTURNNOTEID is null and QUANTITY - BREFERQTY >= 11"))
                             .toLongLong();
    const qint64 customer = lite.scalar("select min(PARTNERID) from partnerlth where ISCLIENT = 1").toLongLong();
    const qint64 account = lite.scalar("select min(ACCOUNTID) from accountacth where coalesce(CLOSED, 0) = 0").toLongLong();
    ASSERT_GT(batch, 0);
    const qint64 first = lite.scalar("select max(NOTEID) from salesth").toLongLong() + 1;
    constexpr int Sales = 200, Clients = 4;
    for (Database *d : {m_lite.get(), m_pg.get()}) {
        d->beginTran();
        for (int k = 0; k <= Sales; ++k) {
            const qint64 id = first + k;
            d->exec(QString("insert into salesth (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, PARTNERID, AMOUNT, PAYAMT, "
                            "ACCOUNTID) values (%1, 1, 0, 'T-%1', '2024-03-06', %2, 30, %3, %4)")
                        .arg(id).arg(customer).arg(k % 2 == 0 ? 15 : 0).arg(account));
            d->exec(QString("insert into salesthDetail (NOTEID, ITEMSNO, BUILDINGID, COMMODITYID, PRICE, QUANTITY, AMOUNT, "
                            "BTURNNOTEID) values (%1, 1, 1, %2, 10, 1, 10, null), (%1, 2, 1, %3, 10, 1, 10, null), "
                            "(%1, 3, 1, 11, 10, %4, 10, %5)")
                        .arg(id).arg(k % 2 ? 3 : 1).arg(k % 2 ? 1 : 3).arg(k == Sales ? 999 : 0.05).arg(batch));
        }
        d->commitTran();
    }
    m_pg.reset();

    // The server: four clients, each auditing every fourth sale in its own
    // transaction, and a fifth auditing the one that must be refused. They
    // all wait at a gate (a lock the test holds) until every one is
    // connected, so that they really run at once.
    const QString server = m_server->address();
    auto gate = Database::openPostgres(server);
    gate->scalar(QString("select pg_advisory_lock(%1)").arg(kGate));
    const QString wait = QString("select pg_advisory_lock_shared(%1)\n").arg(kGate);
    QStringList batches(Clients, wait);
    for (int k = 0; k < Sales; ++k)
        batches[k % Clients] += QString("update salesth set NOTESTATE = 1, CHKORID = 1 where NOTEID = %1\n").arg(first + k);
    std::vector<std::unique_ptr<QProcess>> clients;
    for (const QString &b : std::as_const(batches))
        clients.push_back(client(server, b));
    auto refused = client(server, wait + QString("update salesth set NOTESTATE = 1, CHKORID = 1 where NOTEID = %1\n").arg(first + Sales));
    QDeadlineTimer deadline(120000);
    while (gate->scalar("select count(*) from pg_locks where locktype = 'advisory' and not granted").toInt() < Clients + 1
           && !deadline.hasExpired()) {
    }
    ASSERT_FALSE(deadline.hasExpired()) << "the clients did not all reach the gate";
    gate.reset();
    for (auto &p : clients)
        EXPECT_EQ(finish(*p).toStdString(), "");
    EXPECT_TRUE(finish(*refused).contains("只剩")) << "the sale drawing 999 was not refused";

    // SQLite: one client, in turn.
    for (int k = 0; k <= Sales; ++k)
        EXPECT_EQ(setState(lite, "salesth", first + k, 1).isEmpty(), k < Sales);

    auto pg = notedb::openBooks(server);
    EXPECT_EQ(totals(*pg).toStdString(), totals(lite).toStdString());
    // The refused sale moved nothing; the account's running balance is one unbroken chain.
    EXPECT_EQ(pg->scalar(QString("select count(*) from noteflowaath where NOTETYPE = 14 and NOTEID = %1").arg(first + Sales)).toInt(), 0);
    const auto balance = [&](const char *sql) { return pgtest::canonical(pg->scalar(QString(sql).arg(account))); };
    EXPECT_EQ(balance("select BALANCE from accountflowaath where ID = (select max(ID) from accountflowaath where ACCOUNTID = %1)"),
              balance("select BALANCE from accountacth where ACCOUNTID = %1"));
}

TEST_F(ServerPostings, AnAuditMeetingAnotherClientsRowLockFailsAsBusyAndLeavesTheTransactionUsable)
{
    Database &clerk = *m_pg;
    auto other = testsupport::openAgain(clerk);
    const qint64 transfer = clerk.scalar("select min(NOTEID) from Badsthith where NOTESTATE = 0").toLongLong();
    const db::ResultSet row = clerk.select(QString("select m.BUILDINGID, d.COMMODITYID from Badsthith m join Badsthithdetail d "
                                                   "on d.NOTEID = m.NOTEID where m.NOTEID = %1 order by d.ITEMSNO").arg(transfer));
    ASSERT_FALSE(row.isEmpty());
    // Another client is writing the stock the transfer takes from.
    other->beginTran();
    other->exec(QString("update onhandaath set STATUS = 1 where BUILDINGID = %1 and COMMODITYID = %2")
                    .arg(row.rows[0][0].toLongLong()).arg(row.rows[0][1].toLongLong()));
    clerk.setBusyTimeout(300);
    const QString audit = QString("update Badsthith set NOTESTATE = 1, CHKORID = 1 where NOTEID = %1").arg(transfer);
    clerk.beginTran();
    clerk.exec(QString("update Badsthith set REMARK = N'待审' where NOTEID = %1").arg(transfer));
    const QString busy = testsupport::errorOf([&] { clerk.exec(audit); });
    EXPECT_TRUE(busy.startsWith("帐套正被其他用户使用，等待超时") && busy.contains("lock timeout")) << busy.toStdString();
    // The failed posting took back only itself: the caller's transaction goes
    // on, and its rollback leaves the note as it was.
    EXPECT_EQ(clerk.scalar(QString("select REMARK from Badsthith where NOTEID = %1").arg(transfer)).toString(), "待审");
    EXPECT_EQ(clerk.scalar("select count(*) from noteflowaath where NOTETYPE = 26").toInt(), 0);
    clerk.rollbackTran();
    other->rollbackTran();
    EXPECT_EQ(clerk.scalar(QString("select NOTESTATE from Badsthith where NOTEID = %1").arg(transfer)).toInt(), 0);
    // Once the other client is done the same audit posts.
    clerk.exec(audit);
    EXPECT_EQ(clerk.scalar(QString("select count(*) from noteflowaath where NOTETYPE = 26 and NOTEID = %1").arg(transfer)).toInt(),
              2 * int(row.rows.size()));
}

TEST_F(ServerPostings, AnAuditTakesItsStockRowsInOneOrderMissingOnesIncluded)
{
    // A receipt into head office of goods with no stock row there yet and of
    // goods with one, the missing row first in the rows' order.
    Database &clerk = *m_pg;
    const qint64 missing = clerk.scalar("select min(COMMODITYID) from Commoditylth where KIND <= 3 and "
                                        "COMMODITYID not in (select COMMODITYID from onhandaath where BUILDINGID = 1)").toLongLong();
    const qint64 held =
        clerk.scalar(QString("select min(COMMODITYID) from onhandaath where BUILDINGID = 1 and COMMODITYID > %1").arg(missing)).toLongLong();
    ASSERT_GT(missing, 0);
    ASSERT_GT(held, 0);
    const qint64 id = clerk.scalar("select max(NOTEID) from purchasepth").toLongLong() + 1;
    clerk.exec(QString("insert into purchasepth (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, PARTNERID, AMOUNT, PAYAMT) "
                       "values (%1, 1, 0, 'T-%1', '2024-03-05', (select min(PARTNERID) from partnerlth where ISVENDOR = 1), 20, 0)")
                   .arg(id));
    clerk.exec(QString("insert into purchasepthDetail (NOTEID, ITEMSNO, BUILDINGID, COMMODITYID, PRICE, QUANTITY, AMOUNT) "
                       "values (%1, 1, 1, %2, 5, 2, 10), (%1, 2, 1, %3, 5, 2, 10)").arg(id).arg(missing).arg(held));
    // Another client is making the missing row; the audit, in a client of
    // its own, waits for it.
    auto other = testsupport::openAgain(clerk);
    other->beginTran();
    other->exec(QString("insert into onhandaath (BUILDINGID, COMMODITYID, QUANTITY, PRICE, AMOUNT, REALQTY, USEDQTY, STATUS) "
                        "values (1, %1, 0, 0, 0, 0, 0, 1)").arg(missing));
    auto audit = client(m_server->address(), QString("update purchasepth set NOTESTATE = 1, CHKORID = 1 where NOTEID = %1\n").arg(id));
    QDeadlineTimer deadline(60000);
    while (clerk.scalar("select count(*) from pg_stat_activity where wait_event_type = 'Lock' and query like 'insert into onhandaath%'")
                   .toInt() == 0
           && !deadline.hasExpired()) {
    }
    ASSERT_FALSE(deadline.hasExpired()) << "the audit never waited for the row";
    // While it waits it holds no row that comes later: a third client taking
    // that row and then the missing one could otherwise deadlock with it.
    clerk.beginTran();
    const QString take = QString("select 1 from onhandaath where BUILDINGID = 1 and COMMODITYID = %1 for update nowait").arg(held);
    EXPECT_EQ(testsupport::errorOf([&] { clerk.exec(take); }).toStdString(), "(ran)");
    clerk.rollbackTran();
    other->rollbackTran();
    EXPECT_EQ(finish(*audit).toStdString(), "");
    EXPECT_EQ(clerk.scalar(QString("select count(*) from noteflowaath where NOTETYPE = 4 and NOTEID = %1").arg(id)).toInt(), 2);
}

TEST_F(ServerPostings, AQueuedAuditGoesWithItsFailedStatementAndOlderTriggersStillPost)
{
    Database &clerk = *m_pg;
    const qint64 note = clerk.scalar("select min(NOTEID) from Badsthith where NOTESTATE = 0").toLongLong();
    const auto flows = [&] {
        return clerk.scalar(QString("select count(*) from noteflowaath where NOTETYPE = 26 and NOTEID = %1").arg(note)).toInt();
    };
    // A guard firing after the state trigger refuses the audit: the change it
    // queued goes with the statement, and the transaction's next write posts nothing.
    clerk.exec("CREATE TRIGGER trg_zz_guard AFTER UPDATE ON Badsthith FOR EACH ROW WHEN NEW.REMARK = 'boom' "
               "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    clerk.beginTran();
    const QString refused = QString("update Badsthith set NOTESTATE = 1, CHKORID = 1, REMARK = 'boom' where NOTEID = %1").arg(note);
    EXPECT_EQ(testsupport::errorOf([&] { clerk.exec(refused); }), "refused");
    clerk.exec(QString("update Badsthith set REMARK = N'待审' where NOTEID = %1").arg(note));
    clerk.commitTran();
    EXPECT_EQ(flows(), 0);

    // Books made when the triggers wrote a queue table post as well.
    clerk.runServerScript(QStringLiteral(
        "CREATE OR REPLACE FUNCTION trg_badsthith_state_fn() RETURNS trigger LANGUAGE plpgsql AS $pk$ BEGIN "
        "IF coalesce(OLD.NOTESTATE,0)<>coalesce(NEW.NOTESTATE,0) THEN INSERT INTO sys_postqueue(TABLENAME, NOTEID, "
        "OLDSTATE, NEWSTATE) VALUES ('badsthith', NEW.NOTEID, OLD.NOTESTATE, NEW.NOTESTATE); END IF; RETURN NEW; END $pk$"));
    auto older = testsupport::openAgain(clerk);
    older->exec(QString("update Badsthith set NOTESTATE = 1, CHKORID = 1 where NOTEID = %1").arg(note));
    EXPECT_GT(flows(), 0);
    EXPECT_EQ(clerk.scalar("select count(*) from sys_postqueue").toInt(), 0);
}

TEST_F(ServerPostings, AnUnauditGivesThePlannerBackAsItFoundIt)
{
    // The un-audit narrows the plans of one statement only: the rest of the
    // transaction, and the session, plan as before.
    const qint64 note = m_pg->scalar("select min(NOTEID) from Badsthith where NOTESTATE = 0").toLongLong();
    ASSERT_EQ(setState(*m_pg, "Badsthith", note, 1), "");
    m_pg->beginTran();
    EXPECT_EQ(setState(*m_pg, "Badsthith", note, 0), "");
    EXPECT_EQ(testsupport::rowsOf(*m_pg, "select current_setting('enable_hashjoin'), current_setting('enable_mergejoin'), "
                                         "current_setting('enable_bitmapscan')"),
              "on:on:on");
    m_pg->commitTran();
    EXPECT_EQ(m_pg->scalar(QString("select count(*) from noteflowaath where NOTETYPE = 26 and NOTEID = %1").arg(note)).toInt(), 0);
}

} // namespace
