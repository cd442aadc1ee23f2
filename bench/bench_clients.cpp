// Many clients on one set of books on the server: client processes each save
// and audit notes as the windows do (a key, then the master and ten lines in
// one transaction, then the audit in one statement), receipts and sales in
// turn over the same 200 goods of two stores, so that their postings meet on
// the same on-hand rows. First one client alone, then four at once; prints
// the notes per second of each and the ratio of four clients to one.
//
// Needs a server: NOTE_TEST_PG (a scratch database is made there and dropped)
// or `--pg ADDRESS` of empty books. BENCH_NOTES sets the notes per client (250).
// The clients wait at a gate (an advisory lock) until all are connected, so
// their start-up is not measured.

#include "BenchServer.h"
#include "notedb.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Lines = 10;
constexpr int Goods = 200;
constexpr qint64 kGate = 7165;

void fill(db::Database &d)
{
    d.exec(QStringLiteral("insert into storelth (BUILDINGID, CODE, NAME) values (1, '01', 'A'), (2, '02', 'B')"));
    d.exec(QStringLiteral("insert into partnerlth (PARTNERID, CODE, NAME, ISVENDOR, ISCLIENT) values (1, 'S1', 'S', 1, 0), "
                          "(2, 'C1', 'C', 0, 1)"));
    benchbooks::insertGoods(d, Goods);
    notedb::ensureKey(d, QStringLiteral("purchasepth"));
    notedb::ensureKey(d, QStringLiteral("salesth"));
}

// One client: `count` notes, receipts and sales in turn, saved then audited.
int client(const QString &books, int seed, int count)
{
    auto d = notedb::openBooks(books);
    d->scalar(QStringLiteral("select pg_advisory_lock_shared(%1)").arg(kGate));
    for (int k = 0; k < count; ++k) {
        const bool receipt = k % 2 == 0;
        const QString master = receipt ? QStringLiteral("purchasepth") : QStringLiteral("salesth");
        const qint64 id = d->newKey(master);
        d->beginTran();
        d->exec(QStringLiteral("insert into %1 (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, PARTNERID, AMOUNT, PAYAMT) "
                               "values (:id, 1, 0, :code, '2024-03-05', :p, :a, 0)")
                    .arg(master),
                {{QStringLiteral("id"), id},
                 {QStringLiteral("code"), QStringLiteral("%1-%2").arg(receipt ? u"CG" : u"XS").arg(id)},
                 {QStringLiteral("p"), receipt ? 1 : 2},
                 {QStringLiteral("a"), Lines * 50}});
        for (int i = 1; i <= Lines; ++i)
            d->exec(QStringLiteral("insert into %1Detail (NOTEID, ITEMSNO, BUILDINGID, COMMODITYID, PRICE, QUANTITY, AMOUNT) "
                                   "values (:id, :i, :s, :g, 12.5, :q, 50)")
                        .arg(master),
                    {{QStringLiteral("id"), id},
                     {QStringLiteral("i"), i},
                     {QStringLiteral("s"), 1 + (k + i) % 2},
                     {QStringLiteral("g"), 1 + (seed * 7919 + k * Lines + i * 13) % Goods},
                     {QStringLiteral("q"), receipt ? 4 : 1}});
        d->commitTran();
        d->exec(QStringLiteral("update %1 set NOTESTATE = 1, CHKORID = 1 where NOTESTATE = 0 and NOTEID = %2").arg(master).arg(id));
        if (d->lastRowsAffected() != 1)
            return 1;
    }
    return 0;
}

// Runs `clients` client processes at once; the seconds from the gate's
// opening until the last is done, or a negative number when one failed.
double together(const QString &books, int clients, int count, int firstSeed)
{
    auto gate = db::Database::openPostgres(books);
    gate->scalar(QStringLiteral("select pg_advisory_lock(%1)").arg(kGate));
    std::vector<std::unique_ptr<QProcess>> running;
    for (int c = 0; c < clients; ++c) {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--client"), books, QString::number(firstSeed + c), QString::number(count)});
        running.push_back(std::move(p));
    }
    QDeadlineTimer deadline(120000);
    while (gate->scalar(QStringLiteral("select count(*) from pg_locks where locktype = 'advisory' and not granted")).toInt() <
               clients &&
           !deadline.hasExpired()) {
    }
    QElapsedTimer t;
    t.start();
    gate.reset(); // opens the gate
    bool ok = true;
    for (auto &p : running) {
        p->waitForFinished(-1);
        ok = ok && p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
    }
    const double seconds = t.nsecsElapsed() / 1e9;
    return ok && !deadline.hasExpired() ? seconds : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    notedb::install();
    const QStringList args = app.arguments();
    try {
        if (args.size() == 5 && args[1] == QLatin1String("--client"))
            return client(args[2], args[3].toInt(), args[4].toInt());

        QString books;
        if (const qsizetype at = args.indexOf(QStringLiteral("--pg")); at > 0 && at + 1 < args.size())
            books = args[at + 1];
        const QString server = qEnvironmentVariable("NOTE_TEST_PG");
        std::unique_ptr<benchbooks::ServerScratch> scratch;
        if (books.isEmpty() && !server.isEmpty()) {
            scratch = std::make_unique<benchbooks::ServerScratch>(server, "clients");
            books = scratch->address;
        }
        if (books.isEmpty()) {
            std::printf("bench_clients: no server (set NOTE_TEST_PG or pass --pg ADDRESS); nothing measured\n");
            return 0;
        }
        const int notes = qEnvironmentVariableIntValue("BENCH_NOTES") > 0 ? qEnvironmentVariableIntValue("BENCH_NOTES") : 250;
        {
            auto d = notedb::createBooks(books, false, false);
            fill(*d);
        }
        const double one = together(books, 1, notes, 0);
        const double four = together(books, 4, notes, 1);
        int status = 0;
        if (one <= 0 || four <= 0) {
            std::fprintf(stderr, "bench_clients: a client failed\n");
            status = 1;
        } else {
            auto d = notedb::openBooks(books);
            const qint64 posted = d->scalar(QStringLiteral("select count(distinct NOTETYPE * 100000000 + NOTEID) from noteflowaath"))
                                      .toLongLong();
            std::printf("1 client:  %d notes saved and audited in %.2f s, %.0f notes/s\n", notes, one, notes / one);
            std::printf("4 clients: %d notes saved and audited in %.2f s, %.0f notes/s in all, %.2fx one client "
                        "(%lld notes posted)\n",
                        4 * notes, four, 4 * notes / four, (4 * notes / four) / (notes / one), posted);
            status = posted == 5 * notes ? 0 : 1;
        }
        return status;
    } catch (const db::DbError &e) {
        std::fprintf(stderr, "%s\n", e.text().toUtf8().constData());
        return 1;
    }
}
