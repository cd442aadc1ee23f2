// Client data set costs against bare Qt SQL on the same SQLite file:
//  - opening 1,000 rows of 10 mixed columns vs iterating the same SELECT;
//  - applying 1,000 inserted records vs bare prepared INSERTs in one transaction.
// Prints each ratio (budget: at most 3x).

#include "data/ClientDataSet.h"
#include "BenchServer.h"
#include "db/Database.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Rows = 1000;
const char *const Select = "select ID, CODE, NAME, QTY, PRICE, AMOUNT, NOTEDATE, UPDATETIME, CLOSED, REMARK from t_bench order by ID";
const char *const Columns = "(ID integer primary key, CODE varchar(20), NAME varchar(40), QTY numeric(19,6), "
                            "PRICE numeric(19,6), AMOUNT numeric(19,6), NOTEDATE date, UPDATETIME datetime, CLOSED bit, "
                            "REMARK varchar(200))";

struct Books {
    QTemporaryDir dir;
    std::unique_ptr<benchbooks::ServerScratch> scratch;
    std::unique_ptr<db::Database> db;
    Books()
    {
        if (benchbooks::onPostgres()) {
            scratch = std::make_unique<benchbooks::ServerScratch>(qEnvironmentVariable("NOTE_TEST_PG"), "dataset");
            db = db::Database::openPostgres(scratch->address);
        } else {
            db = db::Database::openSqlite(dir.filePath(QStringLiteral("bench.db")), true);
        }
        db->exec(QStringLiteral("create table t_bench ") + QLatin1String(Columns));
        db->exec(QStringLiteral("create table t_ins ") + QLatin1String(Columns));
        db->beginTran();
        QSqlQuery q = db->prepare(QStringLiteral("insert into t_bench values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (int i = 1; i <= Rows; ++i) {
            const QVariant values[] = {i, QStringLiteral("C%1").arg(i, 6, 10, QLatin1Char('0')), QStringLiteral("货品名称 %1").arg(i),
                                       i * 0.5, 12.34, i * 6.17, QStringLiteral("2024-03-%1").arg(1 + i % 28, 2, 10, QLatin1Char('0')),
                                       QStringLiteral("2024-03-01 08:%1:00").arg(i % 60, 2, 10, QLatin1Char('0')), i % 2,
                                       i % 3 ? QVariant(QStringLiteral("备注")) : QVariant()};
            for (int c = 0; c < 10; ++c)
                q.bindValue(c, values[c]);
            db->execPrepared(q, true);
        }
        db->commitTran();
    }
};

Books &books()
{
    static Books b;
    return b;
}

void BM_OpenBareSelect(benchmark::State &state)
{
    Books &b = books();
    for (auto _ : state) {
        QSqlQuery q(b.db->connection());
        q.setForwardOnly(true);
        if (!q.exec(QLatin1String(Select)))
            state.SkipWithError(q.lastError().text().toUtf8().constData());
        int n = 0;
        while (q.next()) {
            for (int c = 0; c < 10; ++c) {
                QVariant v = q.value(c);
                benchmark::DoNotOptimize(v);
            }
            ++n;
        }
        if (n != Rows)
            state.SkipWithError("wrong row count");
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}
BENCHMARK(BM_OpenBareSelect)->Unit(benchmark::kMillisecond);

void BM_OpenDataSet(benchmark::State &state)
{
    Books &b = books();
    for (auto _ : state) {
        data::ClientDataSet ds(b.db.get());
        ds.SetCommandText(QLatin1String(Select));
        ds.Open();
        if (ds.RecordCount() != Rows || ds.FieldByName(QStringLiteral("NOTEDATE"))->DataType() != data::FieldType::Date)
            state.SkipWithError("wrong data set");
        benchmark::DoNotOptimize(ds.ValueAt(Rows - 1, 9));
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}
BENCHMARK(BM_OpenDataSet)->Unit(benchmark::kMillisecond);

QVariant valueFor(int row, int column)
{
    switch (column) {
    case 0: return row;
    case 1: return QStringLiteral("C%1").arg(row);
    case 2: return QStringLiteral("货品 %1").arg(row);
    case 3: return row * 0.5;
    case 4: return 12.34;
    case 5: return row * 6.17;
    case 6: return QDate(2024, 3, 1 + row % 28);
    case 7: return QDateTime(QDate(2024, 3, 1), QTime(8, row % 60));
    case 8: return row % 2 == 1;
    default: return QStringLiteral("备注");
    }
}

void BM_InsertBarePrepared(benchmark::State &state)
{
    Books &b = books();
    QSqlDatabase conn = b.db->connection();
    // values made up front, as the data set's records are made before its timing starts
    std::vector<QVariant> values;
    values.reserve(Rows * 10);
    for (int r = 1; r <= Rows; ++r)
        for (int c = 0; c < 10; ++c) {
            QVariant v = valueFor(r, c);
            if (c == 6)
                v = db::Database::dateText(v.toDate());
            else if (c == 7)
                v = db::Database::dateTimeText(v.toDateTime());
            else if (c == 8)
                v = v.toBool() ? 1 : 0;
            values.push_back(v);
        }
    for (auto _ : state) {
        state.PauseTiming();
        QSqlQuery(conn).exec(QStringLiteral("delete from t_ins"));
        state.ResumeTiming();
        benchbooks::beginBare(*books().db);
        QSqlQuery q(conn);
        q.prepare(QStringLiteral("insert into t_ins (ID, CODE, NAME, QTY, PRICE, AMOUNT, NOTEDATE, UPDATETIME, CLOSED, REMARK) "
                                 "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (int r = 1; r <= Rows; ++r) {
            for (int c = 0; c < 10; ++c)
                q.bindValue(c, values[size_t((r - 1) * 10 + c)]);
            if (!q.exec())
                state.SkipWithError(q.lastError().text().toUtf8().constData());
        }
        QSqlQuery(conn).exec(QStringLiteral("COMMIT"));
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}
BENCHMARK(BM_InsertBarePrepared)->Unit(benchmark::kMillisecond);

void BM_ApplyUpdatesInserts(benchmark::State &state)
{
    Books &b = books();
    for (auto _ : state) {
        state.PauseTiming();
        b.db->exec(QStringLiteral("delete from t_ins"));
        data::ClientDataSet ds(b.db.get());
        ds.SetCommandText(QStringLiteral("select * from t_ins"));
        ds.Open();
        ds.DisableControls();
        for (int r = 1; r <= Rows; ++r) {
            ds.Append();
            for (int c = 0; c < 10; ++c)
                ds.FieldAt(c)->SetValue(valueFor(r, c));
            ds.Post();
        }
        state.ResumeTiming();
        ds.ApplyUpdates(0, true);
        state.PauseTiming();
        if (b.db->scalar(QStringLiteral("select count(*) from t_ins")).toInt() != Rows)
            state.SkipWithError("rows missing");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Rows);
}
BENCHMARK(BM_ApplyUpdatesInserts)->Unit(benchmark::kMillisecond);

// Keeps each run's time so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times, cpu;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration)
            {
                times[r.benchmark_name()] = r.GetAdjustedRealTime();
                cpu[r.benchmark_name()] = r.GetAdjustedCPUTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char *what, const char *ours, const char *bare) {
        if (!reporter.times.count(ours) || !reporter.times.count(bare))
            return;
        // CPU time too: the wall clock also counts other programs on a shared machine
        const double o = reporter.times[ours], b = reporter.times[bare];
        const double oc = reporter.cpu[ours], bc = reporter.cpu[bare];
        std::printf("%s: wall %.3f ms vs %.3f ms bare (%.2fx), cpu %.3f ms vs %.3f ms bare (%.2fx), budget 3x: %s\n", what, o,
                    b, o / b, oc, bc, oc / bc, oc / bc <= 3.0 ? "OK" : "OVER BUDGET");
    };
    ratio("open 1,000 rows into a data set", "BM_OpenDataSet", "BM_OpenBareSelect");
    ratio("apply 1,000 inserted rows", "BM_ApplyUpdatesInserts", "BM_InsertBarePrepared");
    benchmark::Shutdown();
    return 0;
}
