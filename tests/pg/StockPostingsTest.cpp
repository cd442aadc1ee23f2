// The stock postings on the server: the same audits and un-audits of
// receipts, sales and a transfer on the demo books in SQLite and on the
// server leave the same stock, flow rows, batches and balances.

#include "PgFixture.h"

#include "notedb.h"

#include <QDir>
#include <QProcess>

#include <memory>
#include <vector>

using db::Database;
using db::DbError;

namespace {

// The figures a stock posting moves, in one text per engine.
QString figures(Database &d)
{
    QString out;
    for (const char *sql : {
             "select BUILDINGID, COMMODITYID, QUANTITY, AMOUNT, PRICE, REALQTY from onhandaath order by 1, 2",
             // Not the ids: the server never gives back a key, also not one a refused audit took.
             "select NOTETYPE, count(*), sum(IOFLAG * QUANTITY), sum(AMOUNT), sum(BREFERQTY), sum(EQTY), sum(PPRICE) "
             "from noteflowaath group by NOTETYPE order by 1",
             "select count(*), sum(QUANTITY), sum(BTURNNOTEID) from PcSplit",
             "select PARTNERID, SCAMT from partnerlth order by 1",
             "select ACCOUNTID, BALANCE from accountacth order by 1",
             "select NOTETYPE, KIND, count(*), sum(QUANTITY) from notepostlogaath group by NOTETYPE, KIND order by 1, 2",
             "select sum(BUYQTY), sum(REFERQTY), sum(REFERCOUNT), sum(FINISHED) from orderpthDetail",
             "select sum(SALEQTY), sum(REFERCOUNT) from ordersthDetail",
             "select sum(APRICE) from salesthDetail",
         })
        out += pgtest::canonical(d.select(QString::fromLatin1(sql))) + u'\n';
    return out;
}

// Moves a note to `state` on the books; the refusal's text, or empty.
QString setState(Database &d, const QString &master, qint64 id, int state)
{
    try {
        d.exec(QStringLiteral("update %1 set NOTESTATE = %2, CHKORID = 1 where NOTEID = %3").arg(master).arg(state).arg(id));
        return d.lastRowsAffected() == 1 ? QString() : QStringLiteral("no row");
    } catch (const DbError &e) {
        // The server's text after the same sentence: compared by the sentence.
        return e.text().section(u'\n', 0, 0);
    }
}

TEST(ServerStockPostings, ReceiptsSalesAndATransferPostAsOnSqlite)
{
    PG_REQUIRED();
    notedb::install();
    testsupport::TempFolder folder;
    pgtest::ScratchDatabase server;
    auto lite = testsupport::freshBooks(folder.file(QStringLiteral("demo.db")), true);
    auto pg = notedb::copyBooks(*lite, server.address());
    ASSERT_EQ(figures(*pg).toStdString(), figures(*lite).toStdString());

    // Both ways on both books, step by step: every audited receipt and sale
    // un-audited newest first (a receipt whose batch a sale drew on is
    // refused alike), the waiting transfer audited, then all audited again.
    struct Step {
        QString master;
        qint64 id;
        int state;
    };
    QVector<Step> steps;
    for (const char *master : {"salesth", "purchasepth"}) {
        const db::ResultSet notes = lite->select(
            QStringLiteral("select NOTEID from %1 where NOTESTATE = 1 order by NOTEID desc").arg(QLatin1String(master)));
        for (const auto &row : notes.rows)
            steps.append({QLatin1String(master), row[0].toLongLong(), 0});
    }
    const qint64 transfer = lite->scalar(QStringLiteral("select min(NOTEID) from Badsthith where NOTESTATE = 0")).toLongLong();
    ASSERT_GT(transfer, 0);
    steps.append({QStringLiteral("Badsthith"), transfer, 1});
    for (qsizetype i = steps.size() - 2; i >= 0; --i)
        steps.append({steps[i].master, steps[i].id, 1});
    steps.append({QStringLiteral("Badsthith"), transfer, 0});

    int done = 0, refused = 0;
    for (const Step &s : std::as_const(steps)) {
        const QString onLite = setState(*lite, s.master, s.id, s.state);
        const QString onPg = setState(*pg, s.master, s.id, s.state);
        ASSERT_EQ(onPg.toStdString(), onLite.toStdString()) << s.master.toStdString() << " " << s.id;
        (onLite.isEmpty() ? done : refused)++;
        ASSERT_EQ(figures(*pg).toStdString(), figures(*lite).toStdString())
            << s.master.toStdString() << " " << s.id << " to " << s.state;
    }
    EXPECT_GE(done, 8);
    EXPECT_GE(refused, 1); // a receipt whose batch was drawn on stays audited
    EXPECT_EQ(pg->scalar(QStringLiteral("select count(*) from sys_postqueue")).toInt(), 0);

    // A refused audit leaves the note entered and posts nothing, on both.
    for (Database *d : {lite.get(), pg.get()}) {
        const QString before = figures(*d);
        d->exec(QStringLiteral("update Badsthith set INBUILDINGID = 0 where NOTEID = %1").arg(transfer));
        EXPECT_TRUE(setState(*d, QStringLiteral("Badsthith"), transfer, 1).contains(QStringLiteral("的仓库不能为空")));
        EXPECT_EQ(d->scalar(QStringLiteral("select NOTESTATE from Badsthith where NOTEID = %1").arg(transfer)).toInt(), 0);
        EXPECT_EQ(figures(*d).toStdString(), before.toStdString());
    }
}

} // namespace

namespace {

// Audits the notes on the server, one notectl process per note, all at once;
// returns each process's error text (empty when it audited its note).
QStringList auditAtOnce(const QString &books, const QVector<QPair<QString, qint64>> &notes)
{
    std::vector<std::unique_ptr<QProcess>> clients;
    for (const auto &[master, id] : notes) {
        auto p = std::make_unique<QProcess>();
        p->start(QDir(testsupport::binDir()).filePath(QStringLiteral("notectl")),
                 {QStringLiteral("sql"), books,
                  QStringLiteral("update %1 set NOTESTATE = 1, CHKORID = 1 where NOTEID = %2").arg(master).arg(id)});
        clients.push_back(std::move(p));
    }
    QStringList errors;
    for (auto &p : clients) {
        if (!p->waitForFinished(120000))
            p->kill();
        p->waitForFinished();
        errors << (p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0
                       ? QString()
                       : QString::fromUtf8(p->readAllStandardError()).trimmed() + QStringLiteral("(exit)"));
    }
    return errors;
}

// What does not depend on the order the notes of one phase were audited in.
QString totals(Database &d)
{
    QString out;
    for (const char *sql : {
             "select BUILDINGID, COMMODITYID, QUANTITY, AMOUNT, PRICE, REALQTY from onhandaath order by 1, 2",
             "select NOTETYPE, NOTEID, ITEMSNO, BUILDINGID, COMMODITYID, IOFLAG, QUANTITY, PRICE, AMOUNT, BTURNNOTEID, "
             "BREFERQTY from noteflowaath order by 1, 2, 3, 4, 6",
             "select count(distinct ID), count(*) from noteflowaath",
             "select NOTETYPE, NOTEID, ITEMSNO, BTURNNOTEID, QUANTITY from PcSplit order by 1, 2, 3",
             "select PARTNERID, SCAMT from partnerlth order by 1",
             "select ACCOUNTID, BALANCE from accountacth order by 1",
             "select NOTETYPE, NOTEID, ACCOUNTID, INAMT, OUTAMT from accountflowaath order by 1, 2, 3, 4",
             "select sum(BUYQTY), sum(REFERCOUNT), sum(FINISHED) from orderpthDetail",
             "select NOTEID, NOTESTATE from purchasepth order by 1",
             "select NOTEID, NOTESTATE from salesth order by 1",
         })
        out += pgtest::canonical(d.select(QString::fromLatin1(sql))) + u'\n';
    return out;
}

TEST(ServerStockPostings, ClientsAuditingTheSameGoodsAtOnceEndAsOneClientInTurn)
{
    PG_REQUIRED();
    notedb::install();
    testsupport::TempFolder folder;
    pgtest::ScratchDatabase server;
    auto lite = testsupport::freshBooks(folder.file(QStringLiteral("demo.db")), true);
    // Every receipt and sale that can be is un-audited (newest first), to be audited again.
    QVector<QPair<QString, qint64>> entered;
    for (const char *master : {"salesth", "purchasepth"}) {
        const db::ResultSet notes = lite->select(
            QStringLiteral("select NOTEID from %1 where NOTESTATE = 1 order by NOTEID desc").arg(QLatin1String(master)));
        for (const auto &row : notes.rows)
            if (setState(*lite, QLatin1String(master), row[0].toLongLong(), 0).isEmpty())
                entered.append({QLatin1String(master), row[0].toLongLong()});
    }
    // A transfer that cannot be audited (no store to go to) is among them.
    const qint64 transfer = lite->scalar(QStringLiteral("select min(NOTEID) from Badsthith where NOTESTATE = 0")).toLongLong();
    lite->exec(QStringLiteral("update Badsthith set INBUILDINGID = 0 where NOTEID = %1").arg(transfer));
    auto pg = notedb::copyBooks(*lite, server.address());
    pg.reset();

    // Goods come in first (receipts), then go out (returns to suppliers and
    // sales), then come back (sales returns): within a phase the order of the
    // audits changes no total.
    const auto phase = [&](const QString &master, const QString &kinds) {
        QVector<QPair<QString, qint64>> notes;
        const db::ResultSet rs = lite->select(QStringLiteral("select NOTEID from %1 where NOTESTATE = 0 and NOTEKIND in (%2) "
                                                             "order by NOTEID")
                                                  .arg(master, kinds));
        for (const auto &row : rs.rows)
            if (entered.contains(qMakePair(master, row[0].toLongLong())))
                notes.append({master, row[0].toLongLong()});
        return notes;
    };
    const QVector<QVector<QPair<QString, qint64>>> phases = {
        phase(QStringLiteral("purchasepth"), QStringLiteral("1,3")),
        phase(QStringLiteral("purchasepth"), QStringLiteral("2")) + phase(QStringLiteral("salesth"), QStringLiteral("1,3")) +
            QVector<QPair<QString, qint64>>{{QStringLiteral("Badsthith"), transfer}},
        phase(QStringLiteral("salesth"), QStringLiteral("2")),
    };
    int clients = 0;
    for (const auto &notes : phases) {
        const QStringList errors = auditAtOnce(server.address(), notes);
        for (int i = 0; i < notes.size(); ++i) {
            const QString alone = setState(*lite, notes[i].first, notes[i].second, 1);
            if (alone.isEmpty())
                EXPECT_TRUE(errors[i].isEmpty()) << notes[i].first.toStdString() << " " << notes[i].second << ": "
                                                 << errors[i].toStdString();
            else
                EXPECT_TRUE(errors[i].contains(alone)) << errors[i].toStdString() << " / " << alone.toStdString();
        }
        clients += int(notes.size());
    }
    EXPECT_GE(clients, 8);
    pg = notedb::openBooks(server.address());
    EXPECT_EQ(totals(*pg).toStdString(), totals(*lite).toStdString());
    // The refused transfer stayed entered and moved nothing.
    EXPECT_EQ(pg->scalar(QStringLiteral("select NOTESTATE from Badsthith where NOTEID = %1").arg(transfer)).toInt(), 0);
    EXPECT_EQ(pg->scalar(QStringLiteral("select count(*) from notepostlogaath where NOTETYPE = 26")).toInt(), 0);
}

} // namespace

namespace {

TEST(ServerStockPostings, DemoBooksMadeOnTheServerHoldWhatTheyHoldOnSqlite)
{
    PG_REQUIRED();
    notedb::install();
    testsupport::TempFolder folder;
    pgtest::ScratchDatabase server;
    auto init = testsupport::runProgram(QStringLiteral("notectl"), {QStringLiteral("init"), server.address(), QStringLiteral("--demo")});
    ASSERT_EQ(init.exitCode, 0) << init.err.toStdString();
    EXPECT_TRUE(init.out.contains(QStringLiteral("(演示数据)"))) << init.out.toStdString();
    auto pg = notedb::openBooks(server.address());
    auto lite = testsupport::freshBooks(folder.file(QStringLiteral("demo.db")), true);
    for (const char *sql : {
             "select count(*), sum(QUANTITY), sum(AMOUNT), sum(REALQTY) from onhandaath",
             "select NOTETYPE, count(*), sum(IOFLAG * QUANTITY), sum(AMOUNT), sum(BREFERQTY) from noteflowaath "
             "group by NOTETYPE order by 1",
             "select count(*), sum(QUANTITY) from PcSplit",
             "select sum(SCAMT) from partnerlth",
             "select sum(BALANCE), (select count(*) from accountflowaath) from accountacth",
             "select count(*) from notepostlogaath",
         })
        pgtest::expectSame(*lite, *pg, QString::fromLatin1(sql), {}, true);
    EXPECT_GT(pg->scalar(QStringLiteral("select count(*) from noteflowaath where NOTETYPE in (4, 14)")).toInt(), 0);
}

} // namespace
