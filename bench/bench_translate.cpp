// Cost of translating a statement against the cost of running it: a statement already
// seen must come back from the cache far faster than SQLite can execute it.

#include "db/TsqlTranslator.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

const QString kStatement = QStringLiteral("select top 1 name, qty, price from items where id=:id");
const QString kConnection = QStringLiteral("bench_translate");

// An in-memory table of 1,000 rows, created on first use.
QSqlDatabase database()
{
    if (QSqlDatabase::contains(kConnection))
        return QSqlDatabase::database(kConnection);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kConnection);
    db.setDatabaseName(QStringLiteral(":memory:"));
    if (!db.open()) {
        std::fprintf(stderr, "cannot open sqlite: %s\n", qPrintable(db.lastError().text()));
        std::exit(1);
    }
    QSqlQuery q(db);
    q.exec(QStringLiteral("create table items(id integer primary key, name text, qty real, price real)"));
    db.transaction();
    q.prepare(QStringLiteral("insert into items values(?, ?, ?, ?)"));
    for (int i = 1; i <= 1000; ++i) {
        q.addBindValue(i);
        q.addBindValue(QStringLiteral("item %1").arg(i));
        q.addBindValue(i * 0.5);
        q.addBindValue(i * 1.25);
        q.exec();
    }
    db.commit();
    return db;
}

void BM_TranslateCached(benchmark::State &state)
{
    db::TsqlTranslator tr;
    tr.translate(kStatement);
    for (auto _ : state) {
        QString sql = tr.translate(kStatement);
        benchmark::DoNotOptimize(sql);
    }
}
BENCHMARK(BM_TranslateCached);

void BM_TranslateUncached(benchmark::State &state)
{
    const db::TsqlTranslator tr;
    for (auto _ : state) {
        QString sql = tr.translateUncached(kStatement);
        benchmark::DoNotOptimize(sql);
    }
}
BENCHMARK(BM_TranslateUncached);

// What the layer does for each call: prepare the translated text, bind, run, fetch.
void BM_Execute(benchmark::State &state)
{
    QSqlDatabase db = database();
    db::TsqlTranslator tr;
    const QString sql = tr.translate(kStatement);
    int id = 0;
    for (auto _ : state) {
        QSqlQuery q(db);
        q.prepare(sql);
        q.bindValue(QStringLiteral(":id"), id++ % 1000 + 1);
        if (!q.exec() || !q.next()) {
            state.SkipWithError("query failed");
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
    db::TsqlTranslator tr;
    QSqlQuery q(db);
    q.prepare(tr.translate(kStatement));
    int id = 0;
    for (auto _ : state) {
        q.bindValue(QStringLiteral(":id"), id++ % 1000 + 1);
        if (!q.exec() || !q.next()) {
            state.SkipWithError("query failed");
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
    std::printf("\ncached translation: %.1f ns (budget 5000 ns)\n", cached->second);
    std::printf("cached translation / prepared execution: %.4f (budget 0.1)\n", ratio);
    if (const auto full = recorder.nanos.find("BM_Execute"); full != recorder.nanos.end())
        std::printf("cached translation / prepare+execution: %.4f\n", cached->second / full->second);
    std::printf("%s\n", ok ? "within budget" : "OVER BUDGET");
    return ok ? 0 : 1;
}
