// The finder over demo books grown to 100,000 more purchase orders, shown
// offscreen: choosing the type reads the list (its first page, the finder's
// default, or whole) and paints the grid. The baseline is a bare SELECT of
// the same statement, stepped through with a forward-only query.
// Budget: under 100 ms, at most 2x the bare SELECT of the rows read.

#include "FindnoteForm.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QSqlRecord>

#include "BenchBooks.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kGrow = 100000;

benchbooks::Books &books()
{
    static benchbooks::Books b([](db::Database &d) {
        QSqlQuery q(d.connection());
        const bool ok = q.exec(QStringLiteral(
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
            "insert into orderpth (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, EMPID, DEPID, OPERATEID, CHKORID, "
            "AMOUNT, PARTNERID, TRANSLATETYPE, PAYTYPESID, ACCOUNTID, REMARK, CLOSED) "
            "select 1000000 + i, 1, i % 2, 'CGDD-B-' || i, '2026-11-01', 1 + i % 9, 1 + i % 6, 1, 1, i * 1.25, "
            "1 + i % 5, 1 + i % 4, 1, 1, 'bench', 0 from n").arg(kGrow));
        if (!ok)
            qFatal("growing the orders failed");
    });
    return b;
}

int bareSelect(const QString &sql)
{
    db::Database &d = *books().db;
    QSqlQuery q(d.connection());
    q.setForwardOnly(true);
    if (!q.exec(d.translate(sql)))
        return -1;
    const int columns = q.record().count();
    int rows = 0;
    while (q.next()) {
        for (int c = 0; c < columns; ++c)
            benchmark::DoNotOptimize(q.value(c));
        ++rows;
    }
    return rows;
}

void BM_OpenType(benchmark::State &state)
{
    books();
    const bool paged = state.range(0) != 0;
    state.SetLabel(paged ? "first page" : "whole list");
    TFindnoteForm finder;
    finder.PageSize = paged ? 500 : 0;
    finder.show();
    QApplication::processEvents();
    double bare = 0;
    int runs = 0;
    for (auto _ : state) {
        finder.SelectNoteType(2);
        finder.Grid()->viewport()->repaint();

        state.PauseTiming();
        QElapsedTimer t;
        t.start();
        bareSelect(finder.CurrentQuery()->CommandText());
        bare += double(t.nsecsElapsed());
        ++runs;
        state.ResumeTiming();
    }
    if (!books().messages.texts().isEmpty() || !finder.CurrentQuery() || finder.CurrentQuery()->IsEmpty())
        state.SkipWithError(("failed: " + books().messages.texts().join(u'|').toStdString()).c_str());
    state.counters["read"] = finder.CurrentQuery() ? finder.CurrentQuery()->RecordCount() : 0;
    state.counters["bare_ms"] = bare / runs / 1e6;
}
BENCHMARK(BM_OpenType)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(0.3)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            const auto bare = r.counters.find("bare_ms");
            if (bare == r.counters.end() || bare->second.value <= 0)
                continue;
            const double ms = r.GetAdjustedRealTime();
            std::printf("  %-12s %8.2f ms to show the list; bare select of the rows read %8.2f ms (ratio %.2f)%s\n",
                        r.report_label.c_str(), ms, bare->second.value, ms / bare->second.value,
                        ms < 100 && ms / bare->second.value <= 2 ? "" : "  over the budget");
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    SetStartupDB(nullptr);
    return 0;
}
