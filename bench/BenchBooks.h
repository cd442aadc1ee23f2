#pragma once
// Fresh demo books for a window benchmark: a private folder, the start-up
// connection, scripted messages and modal windows, the demo administrator and
// today as the new-note date. `prepare` runs on the new books before the
// session starts (extra tables, parameters, grown data).
//
// With BENCH_ENGINE=pg the books are a scratch database on the PostgreSQL
// server NOTE_TEST_PG names (scripts/pg-scratch sets it), dropped at the end;
// the bare baselines then run on the same server, each engine against itself.

#include "Pub.h"
#include "BenchServer.h"
#include "notedb.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDate>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariantList>
#include <QVector>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <memory>

namespace benchbooks {

struct Books {
    QTemporaryDir dir;
    std::unique_ptr<ServerScratch> scratch;
    std::unique_ptr<db::Database> db;
    pub::ScriptedMessageService messages;
    pub::ScriptedModalService modal;
    explicit Books(const std::function<void(db::Database &)> &prepare = {})
    {
        notedb::install();
        if (onPostgres()) {
            // The demo is built on SQLite and copied over, as the tests' server books are.
            scratch = std::make_unique<ServerScratch>(qEnvironmentVariable("NOTE_TEST_PG"), "books");
            auto lite = notedb::createBooks(dir.filePath(QStringLiteral("demo.db")), true, true);
            db = notedb::copyBooks(*lite, scratch->address);
        } else {
            db = notedb::createBooks(dir.filePath(QStringLiteral("books.db")), true, true);
        }
        db->exec(QStringLiteral("update sysparamamth set DATAVALUE = '0' where PARAMNAME = 'UseMsg'"));
        if (prepare)
            prepare(*db);
        std::printf("books on %s\n", engineName());
        std::fflush(stdout);
        SetStartupDB(db.get());
        SetProgramFolder(dir.path());
        pub::setMessageService(&messages);
        pub::setModalService(&modal);
        SetCurrentUser(1);
        g_NewnoteTime = QDate::currentDate();
    }
    ~Books()
    {
        pub::setMessageService(nullptr);
        pub::setModalService(nullptr);
        SetStartupDB(nullptr);
        db.reset(); // before its scratch database is dropped
    }
};

// Rows of a table as stored, to be written again by bare INSERTs.
struct StoredRows {
    QString insert; // prepared, one mark per column
    QStringList columns; // upper case
    int keyColumn = -1;
    QVector<QVariantList> rows;
};

inline StoredRows storedRows(db::Database &database, const QString &table, qint64 note)
{
    StoredRows out;
    QSqlQuery q(database.connection());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("select * from %1 where NOTEID=%2").arg(table).arg(note)))
        return out;
    const QSqlRecord rec = q.record();
    QStringList names, marks;
    for (int c = 0; c < rec.count(); ++c) {
        names << rec.fieldName(c);
        marks << QStringLiteral("?");
    }
    for (const QString &n : std::as_const(names))
        out.columns << n.toUpper();
    out.keyColumn = int(out.columns.indexOf(QStringLiteral("NOTEID")));
    out.insert = QStringLiteral("insert into %1 (%2) values (%3)").arg(table, names.join(u','), marks.join(u','));
    while (q.next()) {
        QVariantList row;
        for (int c = 0; c < rec.count(); ++c)
            row << q.value(c);
        out.rows << row;
    }
    return out;
}

// Writes the rows under note `id` the bare way, in one transaction.
inline bool bareInsert(db::Database &database, const StoredRows &master, const StoredRows &lines, qint64 id)
{
    QSqlDatabase conn = database.connection();
    bool ok = beginBare(database);
    for (const StoredRows *t : {&master, &lines}) {
        QSqlQuery q(conn);
        ok = ok && q.prepare(t->insert);
        for (const QVariantList &row : t->rows) {
            for (int c = 0; c < row.size(); ++c)
                q.bindValue(c, c == t->keyColumn ? QVariant(id) : row[c]);
            ok = ok && q.exec();
        }
    }
    return QSqlQuery(conn).exec(QStringLiteral("COMMIT")) && ok;
}

// The main of a window benchmark: offscreen windows, the benchmarks run
// (through `reporter` when given), the start-up connection let go before the
// books close.
inline int windowMain(int argc, char **argv, benchmark::BenchmarkReporter *reporter = nullptr)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks(reporter);
    benchmark::Shutdown();
    SetStartupDB(nullptr);
    return 0;
}

} // namespace benchbooks
