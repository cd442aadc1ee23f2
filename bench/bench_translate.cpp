// Cost of translating a statement against the cost of running it: a statement already
// seen must come back from the cache far faster than the engine can execute it.
// With BENCH_ENGINE=pg (and NOTE_TEST_PG) the server's dialect is translated and
// run on a scratch database there.

#include "BenchServer.h"
#include "db/TsqlFunctions.h"
#include "db/TsqlTranslator.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

// Typed concatenation, a checked division, a collated literal and TOP in one statement.
const QString kStatement =
    QStringLiteral("select top 1 name + ' (' + code + ')', qty * price / 2 from items where id=:id and name <> 'x'");
const QString kConnection = QStringLiteral("bench_translate");

const db::SchemaTypes *schema()
{
    static const db::SchemaTypes types = {{QStringLiteral("items"),
                                           {{QStringLiteral("id"), db::SqlType::Int},
                                            {QStringLiteral("name"), db::SqlType::Text},
                                            {QStringLiteral("code"), db::SqlType::Text},
                                            {QStringLiteral("qty"), db::SqlType::Num},
                                            {QStringLiteral("price"), db::SqlType::Num}}}};
    return &types;
}

db::TsqlTranslator translator()
{
    db::TsqlTranslator tr(benchbooks::onPostgres() ? db::TsqlTranslator::Postgres : db::TsqlTranslator::Sqlite);
    tr.setSchemaSource(schema);
    return tr;
}

void fill(QSqlDatabase db)
{
    QSqlQuery q(db);
    db.transaction();
    q.prepare(QStringLiteral("insert into items values(?, ?, ?, ?, ?)"));
    for (int i = 1; i <= 1000; ++i) {
        q.addBindValue(i);
        q.addBindValue(QStringLiteral("item %1").arg(i));
        q.addBindValue(QStringLiteral("C%1").arg(i));
        q.addBindValue(i * 0.5);
        q.addBindValue(i * 1.25);
        q.exec();
    }
    db.commit();
}

// The table on a scratch database of the server, made through the layer.
QSqlDatabase serverDatabase()
{
    static benchbooks::ServerScratch scratch(qEnvironmentVariable("NOTE_TEST_PG"), "translate");
    static std::unique_ptr<db::Database> books = [] {
        auto d = db::Database::openPostgres(scratch.address);
        d->exec(QStringLiteral("CREATE EXTENSION IF NOT EXISTS citext")); // text compared as the books compare it
        d->exec(QStringLiteral("create table items(id int primary key, name varchar(40), code varchar(20), qty float, "
                               "price float)"));
        fill(d->connection());
        return d;
    }();
    return books->connection();
}

// An in-memory table of 1,000 rows, created on first use.
QSqlDatabase database()
{
    if (benchbooks::onPostgres())
        return serverDatabase();
    if (QSqlDatabase::contains(kConnection))
        return QSqlDatabase::database(kConnection);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kConnection);
    db.setDatabaseName(QStringLiteral(":memory:"));
    if (!db.open()) {
        std::fprintf(stderr, "cannot open sqlite: %s\n", qPrintable(db.lastError().text()));
        std::exit(1);
    }
    db::installTsqlSupport(*static_cast<sqlite3 *const *>(db.driver()->handle().constData()));
    QSqlQuery(db).exec(QStringLiteral("create table items(id integer primary key, name text collate TSQL, code text "
                                      "collate TSQL, qty real, price real)"));
    fill(db);
    return db;
}

void BM_TranslateCached(benchmark::State &state)
{
    db::TsqlTranslator tr = translator();
    tr.translate(kStatement);
    for (auto _ : state) {
        QString sql = tr.translate(kStatement);
        benchmark::DoNotOptimize(sql);
    }
}
BENCHMARK(BM_TranslateCached);

void BM_TranslateUncached(benchmark::State &state)
{
    const db::TsqlTranslator tr = translator();
    for (auto _ : state) {
        QString sql = tr.translateUncached(kStatement);
        benchmark::DoNotOptimize(sql);
    }
}
BENCHMARK(BM_TranslateUncached);

// 20,000 case expressions joined by +: linear, not quadratic, in the statement's length.
void BM_TranslateLongStatement(benchmark::State &state)
{
    const db::TsqlTranslator tr = translator();
    const QString sql = QStringLiteral("select ") + QStringLiteral("case when id = 1 then name else code end + ").repeated(20000)
        + QStringLiteral("'x' from items");
    for (auto _ : state) {
        QString out = tr.translateUncached(sql);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_TranslateLongStatement)->Unit(benchmark::kMillisecond);

// What the layer does for each call: prepare the translated text, bind, run, fetch.
void BM_Execute(benchmark::State &state)
{
    QSqlDatabase db = database();
    db::TsqlTranslator tr = translator();
    const QString sql = tr.translate(kStatement);
    int id = 0;
    for (auto _ : state) {
        QSqlQuery q(db);
        q.prepare(sql);
        q.bindValue(QStringLiteral(":id"), id++ % 1000 + 1);
        if (!q.exec() || !q.next()) {
            state.SkipWithError(("query failed: " + q.lastError().text()).toStdString().c_str());
            break;
        }
        QVariant v = q.value(0);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_Execute);

// The cheapest execution: a query prepared once, only bound and run again.
void BM_ExecutePrepared(benchmark::State &state)
{
    QSqlDatabase db = database();
    db::TsqlTranslator tr = translator();
    QSqlQuery q(db);
    q.prepare(tr.translate(kStatement));
    int id = 0;
    for (auto _ : state) {
        q.bindValue(QStringLiteral(":id"), id++ % 1000 + 1);
        if (!q.exec() || !q.next()) {
            state.SkipWithError(("query failed: " + q.lastError().text()).toStdString().c_str());
            break;
        }
        QVariant v = q.value(0);
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_ExecutePrepared);

// Keeps the time per iteration of every run for the summary.
class Recorder : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs) {
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                nanos[r.run_name.function_name] = r.real_accumulated_time / double(r.iterations) * 1e9;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nanos;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();

    const auto cached = recorder.nanos.find("BM_TranslateCached");
    const auto execute = recorder.nanos.find("BM_ExecutePrepared");
    if (cached == recorder.nanos.end() || execute == recorder.nanos.end())
        return 0; // filtered out
    const double ratio = cached->second / execute->second;
    const bool ok = cached->second < 5000.0 && ratio < 0.1;
    std::printf("\n[%s]\ncached translation: %.1f ns (budget 5000 ns)\n", benchbooks::engineName(), cached->second);
    std::printf("cached translation / prepared execution: %.4f (budget 0.1)\n", ratio);
    if (const auto full = recorder.nanos.find("BM_Execute"); full != recorder.nanos.end())
        std::printf("cached translation / prepare+execution: %.4f\n", cached->second / full->second);
    std::printf("%s\n", ok ? "within budget" : "OVER BUDGET");
    return ok ? 0 : 1;
}
