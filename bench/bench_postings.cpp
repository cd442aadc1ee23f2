// The stock posting engine: audit 10,000 purchase receipts of 10 lines each,
// one statement and one transaction per note as the window sends it, then
// 10,000 ten-line sales of the goods received, every other line drawing on a
// batch of a receipt; then un-audit both (newest first). Baseline: bare
// prepared INSERTs of the same 100,000 noteflowaath rows in the same 10,000
// transactions. Budget: at least 1,000 notes/s for either.
//
// It runs on SQLite, then on PostgreSQL when NOTE_TEST_PG names a server (a
// scratch database is made there and dropped) or `--pg ADDRESS` names empty
// books; there the baseline is the driver's own prepared INSERTs, each engine
// measured against itself. BENCH_PG_NOTES sets the server's count (2,000).

#include "BenchServer.h"
#include "notedb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

// BENCH_NOTES lowers the count for a quick look with a profiler.
int Notes = 10000;

int countFrom(const char *variable, int fallback)
{
    const int n = qEnvironmentVariableIntValue(variable);
    return n > 0 ? n : fallback;
}
constexpr int Lines = 10;
constexpr int Goods = 200;

void fill(db::Database &d)
{
    d.exec(QStringLiteral("insert into storelth (BUILDINGID, CODE, NAME) values (1, '01', 'A'), (2, '02', 'B')"));
    d.exec(QStringLiteral("insert into partnerlth (PARTNERID, CODE, NAME, ISVENDOR) values (1, 'S1', 'S', 1)"));
    benchbooks::insertGoods(d, Goods);
    d.beginTran();
    QSqlQuery m = d.prepare(QStringLiteral("insert into purchasepth (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, "
                                           "PARTNERID, AMOUNT, PAYAMT) values (?, 1, 0, ?, '2024-03-05', 1, ?, 0)"));
    // Even lines come in as batches the sales draw on.
    QSqlQuery l = d.prepare(QStringLiteral("insert into purchasepthDetail (NOTEID, ITEMSNO, BUILDINGID, COMMODITYID, PRICE, "
                                           "QUANTITY, AMOUNT, BCODE) values (?, ?, ?, ?, ?, ?, ?, ?)"));
    for (int n = 1; n <= Notes; ++n) {
        m.bindValue(0, n);
        m.bindValue(1, QStringLiteral("CGKD-%1").arg(n));
        m.bindValue(2, Lines * 12.5 * 4);
        d.execPrepared(m, true);
        for (int i = 1; i <= Lines; ++i) {
            const QVariant values[] = {n, i, 1 + (n + i) % 2, 1 + (n * Lines + i) % Goods, 12.5, 4, 50,
                                       i % 2 ? QVariant() : QVariant(QStringLiteral("B%1-%2").arg(n).arg(i))};
            for (int c = 0; c < 8; ++c)
                l.bindValue(c, values[c]);
            d.execPrepared(l, true);
        }
    }
    d.commitTran();
}

// One sale per receipt: a unit of each of its lines, the even ones from its batch.
void fillSales(db::Database &d)
{
    d.exec(QStringLiteral("insert into partnerlth (PARTNERID, CODE, NAME, ISCLIENT) values (2, 'C1', 'C', 1)"));
    QHash<qint64, qint64> batch;
    db::Rows rows = d.read(QStringLiteral("select NOTEID * 100 + ITEMSNO, ID from noteflowaath where NOTETYPE = 4 and BCODE is not null"));
    while (rows.next())
        batch.insert(rows.value(0).toLongLong(), rows.value(1).toLongLong());
    d.beginTran();
    QSqlQuery m = d.prepare(QStringLiteral("insert into salesth (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, "
                                           "PARTNERID, AMOUNT, PAYAMT) values (?, 1, 0, ?, '2024-03-06', 2, ?, 0)"));
    QSqlQuery l = d.prepare(QStringLiteral("insert into salesthDetail (NOTEID, ITEMSNO, BUILDINGID, COMMODITYID, PRICE, "
                                           "QUANTITY, AMOUNT, BTURNNOTEID) values (?, ?, ?, ?, 20, 1, 20, ?)"));
    for (int n = 1; n <= Notes; ++n) {
        m.bindValue(0, n);
        m.bindValue(1, QStringLiteral("XSKD-%1").arg(n));
        m.bindValue(2, Lines * 20);
        d.execPrepared(m, true);
        for (int i = 1; i <= Lines; ++i) {
            const QVariant values[] = {n, i, 1 + (n + i) % 2, 1 + (n * Lines + i) % Goods,
                                       i % 2 ? QVariant() : QVariant(batch.value(n * 100 + i))};
            for (int c = 0; c < 5; ++c)
                l.bindValue(c, values[c]);
            d.execPrepared(l, true);
        }
    }
    d.commitTran();
}

double bareInserts(db::Database &d)
{
    d.exec(QStringLiteral("create table flow_bare as select * from noteflowaath where 1 = 0"));
    const QString insert = QStringLiteral("insert into flow_bare (ID, NOTETYPE, NOTEID, ITEMSNO, NOTECODE, NOTEDATE, BUILDINGID, "
                                          "COMMODITYID, QUANTITY, PRICE, PPRICE, AMOUNT, IOFLAG, BREFERQTY, EQTY, STATUS) "
                                          "values (?, 4, ?, ?, ?, '2024-03-05', ?, ?, 4, 12.5, 12.5, 50, 1, 0, ?, 1)");
    // On the server the driver itself, without the layer's savepoint per statement.
    const bool server = d.isPostgres();
    QSqlQuery q = server ? QSqlQuery(d.connection()) : d.prepare(insert);
    QSqlQuery tran(d.connection());
    if (server && !q.prepare(insert))
        throw d.errorOf(q.lastError());
    QElapsedTimer t;
    t.start();
    qint64 id = 0;
    for (int n = 1; n <= Notes; ++n) {
        if (server)
            tran.exec(QStringLiteral("BEGIN"));
        else
            d.beginTran();
        for (int i = 1; i <= Lines; ++i) {
            const QVariant values[] = {++id, n, i, QStringLiteral("CGKD-%1").arg(n), 1 + (n + i) % 2,
                                       1 + (n * Lines + i) % Goods, double(n)};
            for (int c = 0; c < 7; ++c)
                q.bindValue(c, values[c]);
            if (!server)
                d.execPrepared(q, true);
            else if (!q.exec())
                throw d.errorOf(q.lastError());
        }
        if (server)
            tran.exec(QStringLiteral("COMMIT"));
        else
            d.commitTran();
    }
    return t.nsecsElapsed() / 1e9;
}

double stateChanges(db::Database &d, const char *table, int from, int to)
{
    QElapsedTimer t;
    t.start();
    for (int k = 0; k < Notes; ++k) {
        const int n = to == 1 ? k + 1 : Notes - k;
        d.exec(QStringLiteral("Update %1 Set noteState=%2 where noteState=%3 and noteID=%4")
                   .arg(QLatin1String(table)).arg(to).arg(from).arg(n));
    }
    return t.nsecsElapsed() / 1e9;
}

// The whole run on one set of new books; false when a count is wrong.
bool run(const QString &books, const char *engine)
{
    std::unique_ptr<db::Database> d = notedb::createBooks(books, false, true);
    fill(*d);

    const auto flows = [&d] { return d->scalar(QStringLiteral("select count(*) from noteflowaath")).toLongLong(); };
    const double audit = stateChanges(*d, "purchasepth", 0, 1);
    const qint64 rows = flows();
    fillSales(*d);
    const double sell = stateChanges(*d, "salesth", 0, 1);
    const qint64 drawn = d->scalar(QStringLiteral("select count(*) from PcSplit where NOTETYPE = 14")).toLongLong();
    const qint64 sold = flows() - rows;
    const double unsell = stateChanges(*d, "salesth", 1, 0);
    const double unaudit = stateChanges(*d, "purchasepth", 1, 0);
    const qint64 left = flows();
    const double bare = bareInserts(*d);

    std::printf("[%s]\n", engine);
    std::printf("audit   %d receipts x %d lines: %.2f s, %.0f notes/s (budget >= 1000), %lld flow rows\n", Notes, Lines, audit,
                Notes / audit, rows);
    std::printf("audit   %d sales x %d lines: %.2f s, %.0f notes/s (budget >= 1000), %lld flow rows, %lld batch draws\n",
                Notes, Lines, sell, Notes / sell, sold, drawn);
    std::printf("unaudit the sales, then the receipts, newest first: %.2f s (%.0f notes/s), %.2f s (%.0f notes/s), "
                "%lld flow rows left\n",
                unsell, Notes / unsell, unaudit, Notes / unaudit, left);
    std::printf("bare prepared inserts of the rows: %.2f s; receipts / bare = %.1fx, sales / bare = %.1fx\n", bare,
                audit / bare, sell / bare);
    std::fflush(stdout);
    return rows == Notes * Lines && sold == Notes * Lines && drawn == Notes * Lines / 2 && left == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    notedb::install();
    QString pgBooks;
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--pg")); at > 0 && at + 1 < args.size())
        pgBooks = args[at + 1];
    bool ok = true;
    try {
        {
            QTemporaryDir dir;
            Notes = countFrom("BENCH_NOTES", 10000);
            ok = run(dir.filePath(QStringLiteral("books.db")), "SQLite");
        }
        const QString server = qEnvironmentVariable("NOTE_TEST_PG");
        std::unique_ptr<benchbooks::ServerScratch> scratch;
        if (pgBooks.isEmpty() && !server.isEmpty()) {
            scratch = std::make_unique<benchbooks::ServerScratch>(server, "postings");
            pgBooks = scratch->address;
        }
        if (!pgBooks.isEmpty()) {
            Notes = countFrom("BENCH_PG_NOTES", 2000);
            ok = run(pgBooks, "PostgreSQL") && ok;
        }
    } catch (const db::DbError &e) {
        std::fprintf(stderr, "%s\n", e.text().toUtf8().constData());
        return 1;
    }
    return ok ? 0 : 1;
}
