// The stock posting engine: audit 10,000 purchase receipts of 10 lines each,
// one statement and one transaction per note as the window sends it, then
// un-audit them (newest first). Baseline: bare prepared INSERTs of the same
// 100,000 noteflowaath rows in the same 10,000 transactions. Budget: at least
// 1,000 notes/s.

#include "notedb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// BENCH_NOTES lowers the count for a quick look with a profiler.
const int Notes = qEnvironmentVariableIntValue("BENCH_NOTES") > 0 ? qEnvironmentVariableIntValue("BENCH_NOTES") : 10000;
constexpr int Lines = 10;
constexpr int Goods = 200;

void fill(db::Database &d)
{
    d.exec(QStringLiteral("insert into storelth (BUILDINGID, CODE, NAME) values (1, '01', 'A'), (2, '02', 'B')"));
    d.exec(QStringLiteral("insert into partnerlth (PARTNERID, CODE, NAME, ISVENDOR) values (1, 'S1', 'S', 1)"));
    d.beginTran();
    QSqlQuery g = d.prepare(QStringLiteral("insert into Commoditylth (COMMODITYID, CODE, NAME, KIND, COSTTYPE) values (?, ?, ?, 1, 1)"));
    for (int i = 1; i <= Goods; ++i) {
        g.bindValue(0, i);
        g.bindValue(1, QStringLiteral("G%1").arg(i));
        g.bindValue(2, QStringLiteral("货品%1").arg(i));
        d.execPrepared(g, true);
    }
    QSqlQuery m = d.prepare(QStringLiteral("insert into purchasepth (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, "
                                           "PARTNERID, AMOUNT, PAYAMT) values (?, 1, 0, ?, '2024-03-05', 1, ?, 0)"));
    QSqlQuery l = d.prepare(QStringLiteral("insert into purchasepthDetail (NOTEID, ITEMSNO, BUILDINGID, COMMODITYID, PRICE, "
                                           "QUANTITY, AMOUNT) values (?, ?, ?, ?, ?, ?, ?)"));
    for (int n = 1; n <= Notes; ++n) {
        m.bindValue(0, n);
        m.bindValue(1, QStringLiteral("CGKD-%1").arg(n));
        m.bindValue(2, Lines * 12.5 * 4);
        d.execPrepared(m, true);
        for (int i = 1; i <= Lines; ++i) {
            const QVariant values[] = {n, i, 1 + (n + i) % 2, 1 + (n * Lines + i) % Goods, 12.5, 4, 50};
            for (int c = 0; c < 7; ++c)
                l.bindValue(c, values[c]);
            d.execPrepared(l, true);
        }
    }
    d.commitTran();
}

double bareInserts(db::Database &d)
{
    d.exec(QStringLiteral("create table flow_bare as select * from noteflowaath where 0"));
    QSqlQuery q = d.prepare(QStringLiteral("insert into flow_bare (ID, NOTETYPE, NOTEID, ITEMSNO, NOTECODE, NOTEDATE, BUILDINGID, "
                                           "COMMODITYID, QUANTITY, PRICE, PPRICE, AMOUNT, IOFLAG, BREFERQTY, EQTY, STATUS) "
                                           "values (?, 4, ?, ?, ?, '2024-03-05', ?, ?, 4, 12.5, 12.5, 50, 1, 0, ?, 1)"));
    QElapsedTimer t;
    t.start();
    qint64 id = 0;
    for (int n = 1; n <= Notes; ++n) {
        d.beginTran();
        for (int i = 1; i <= Lines; ++i) {
            const QVariant values[] = {++id, n, i, QStringLiteral("CGKD-%1").arg(n), 1 + (n + i) % 2,
                                       1 + (n * Lines + i) % Goods, double(n)};
            for (int c = 0; c < 7; ++c)
                q.bindValue(c, values[c]);
            d.execPrepared(q, true);
        }
        d.commitTran();
    }
    return t.nsecsElapsed() / 1e9;
}

double stateChanges(db::Database &d, int from, int to)
{
    QElapsedTimer t;
    t.start();
    for (int k = 0; k < Notes; ++k) {
        const int n = to == 1 ? k + 1 : Notes - k;
        d.exec(QStringLiteral("Update purchasepth Set noteState=%1 where noteState=%2 and noteID=%3").arg(to).arg(from).arg(n));
    }
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    notedb::install();
    std::unique_ptr<db::Database> d = notedb::createBooks(dir.filePath(QStringLiteral("books.db")), false, true);
    fill(*d);

    const double audit = stateChanges(*d, 0, 1);
    const qint64 rows = d->scalar(QStringLiteral("select count(*) from noteflowaath")).toLongLong();
    const double unaudit = stateChanges(*d, 1, 0);
    const qint64 left = d->scalar(QStringLiteral("select count(*) from noteflowaath")).toLongLong();
    const double bare = bareInserts(*d);

    std::printf("audit   %d receipts x %d lines: %.2f s, %.0f notes/s (budget >= 1000), %lld flow rows\n", Notes, Lines, audit,
                Notes / audit, rows);
    std::printf("unaudit the same, newest first:  %.2f s, %.0f notes/s, %lld flow rows left\n", unaudit, Notes / unaudit, left);
    std::printf("bare prepared inserts of the rows: %.2f s; audit / bare = %.1fx, unaudit / bare = %.1fx\n", bare,
                audit / bare, unaudit / bare);
    return rows == Notes * Lines && left == 0 ? 0 : 1;
}
