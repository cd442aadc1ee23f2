#pragma once
// Scratch books on a PostgreSQL server for the benchmarks that run there,
// and the goods the posting benchmarks fill them with.

#include "db/Database.h"

#include <QCoreApplication>
#include <QSqlQuery>
#include <QString>

namespace benchbooks {

// A statement on the server's own database (making and dropping scratch books).
inline void onServer(const QString &server, const QString &sql)
{
    auto admin = db::Database::openPostgres(server);
    QSqlQuery q(admin->connection());
    if (!q.exec(sql))
        throw admin->errorOf(q.lastError());
}

// An empty database of its own on a server (postgresql://user@host:port/DB?options),
// dropped with whatever is still connected to it.
struct ServerScratch {
    QString server, name, address;
    ServerScratch(const QString &server_, const char *kind) : server(server_)
    {
        name = QStringLiteral("bench_%1_%2").arg(QLatin1String(kind)).arg(QCoreApplication::applicationPid());
        onServer(server, QStringLiteral("CREATE DATABASE %1").arg(name));
        const qsizetype slash = server.indexOf(u'/', server.indexOf(QLatin1String("//")) + 2);
        const qsizetype query = server.indexOf(u'?', slash);
        address = server.left(slash + 1) + name + (query >= 0 ? server.mid(query) : QString());
    }
    ~ServerScratch()
    {
        try {
            onServer(server, QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(name));
        } catch (const db::DbError &) {
            // The throw-away server goes with its databases anyway.
        }
    }
    ServerScratch(const ServerScratch &) = delete;
    ServerScratch &operator=(const ServerScratch &) = delete;
};

// Whether a benchmark runs on the server (BENCH_ENGINE=pg and a server named).
inline bool onPostgres()
{
    return qEnvironmentVariable("BENCH_ENGINE").compare(QLatin1String("pg"), Qt::CaseInsensitive) == 0 &&
           !qEnvironmentVariable("NOTE_TEST_PG").isEmpty();
}

inline const char *engineName() { return onPostgres() ? "PostgreSQL" : "SQLite"; }

// Opens the bare baseline's transaction the way the engine's own writers do.
inline bool beginBare(db::Database &database)
{
    return QSqlQuery(database.connection())
        .exec(database.isPostgres() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"));
}

// Goods 1..count (codes G1.., stock kind, moving-average cost) in one transaction.
inline void insertGoods(db::Database &d, int count)
{
    d.beginTran();
    QSqlQuery g = d.prepare(QStringLiteral("insert into Commoditylth (COMMODITYID, CODE, NAME, KIND, COSTTYPE) values (?, ?, ?, 1, 1)"));
    for (int i = 1; i <= count; ++i) {
        g.bindValue(0, i);
        g.bindValue(1, QStringLiteral("G%1").arg(i));
        g.bindValue(2, QStringLiteral("货品%1").arg(i));
        d.execPrepared(g, true);
    }
    d.commitTran();
}

} // namespace benchbooks
