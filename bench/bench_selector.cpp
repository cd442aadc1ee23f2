// The source-document selector over 10,000 open order lines (10 orders of
// 1,000 lines), shown offscreen on fresh demo books, with the purchase
// receipt's order source pointed at tables of its own:
//  - open: both lists closed, parameterised and opened, vs a bare SELECT of
//    the same detail statement; budget under 200 ms;
//  - tick: ticking a document of 1,000 lines (every line follows); budget
//    under 20 ms.

#include "Pub.h"
#include "data/ClientDataSet.h"
#include "noteSelectorForm.h"
#include "notedb.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "BenchBooks.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int Orders = 10;
constexpr int LinesPerOrder = 1000;

// 10 audited orders of 1,000 open lines in tables of their own, and the
// purchase receipt's order source pointed at them.
void prepare(db::Database &d)
{
    d.exec(QStringLiteral("create table benchOrder (NOTEID integer primary key, NOTECODE varchar(30), "
                            "NOTEDATE datetime, AMOUNT float, REMARK varchar(60), PARTNERID integer, "
                            "NOTESTATE smallint, SHOPERATEID integer, CLOSED bit, NOTEKIND smallint)"));
    d.exec(QStringLiteral("create table benchOrderDetail (NOTEID integer, ITEMSNO integer, BUILDINGID integer, "
                            "COMMODITYID integer, QUANTITY float, REFERQTY float, BUYQTY float, PRICE float, "
                            "TAXRATE float, AMOUNT float, DISC float, BTURNNOTEID integer, BCODE varchar(30), "
                            "PRODUCTDAY datetime, VALIDDAY datetime, REFERNOTEID integer, CLOSED bit)"));
    d.beginTran();
    for (int o = 1; o <= Orders; ++o) {
        d.exec(QStringLiteral("insert into benchOrder values (%1, 'PO-%1', '2026-11-02', 1000, null, 1, 1, 0, 0, 1)")
                     .arg(o));
        for (int i = 1; i <= LinesPerOrder; ++i)
            d.exec(QStringLiteral("insert into benchOrderDetail values (%1, %2, 1, %3, 10, 2, 3, 5, 13, 50, 100, "
                                    "null, null, null, null, null, 0)")
                         .arg(o)
                         .arg(i)
                         .arg(1 + i % 10));
    }
    d.commitTran();
    SelectorBranch orders;
    for (const SelectorBranch &b : TnoteSelectorForm::Branches(QStringLiteral("TPBUYFORM")))
        if (b.noteType == 2)
            orders = b;
    orders.masterTable = QStringLiteral("benchOrder");
    orders.detailTable = QStringLiteral("benchOrderDetail");
    TnoteSelectorForm::RegisterQueryPair(
        QStringLiteral("TBENCHFORM"),
        TnoteSelectorForm::ComposePair(QStringLiteral("qryBenchM"), QStringLiteral("qryBenchD"), {orders}, false));
}

benchbooks::Books &books()
{
    static benchbooks::Books b(prepare);
    return b;
}

const QVariantList kParams = {2, 1, 0}; // orders, partner 1, open lines only

void BM_OpenSelector(benchmark::State &state)
{
    books();
    TnoteSelectorForm form;
    form.SetTargetClass(QStringLiteral("TBENCHFORM"));
    form.show();
    const SelectorQueryPair *pair = TnoteSelectorForm::QueryPair(QStringLiteral("TBENCHFORM"));
    db::Params params;
    for (int i = 0; i < pair->params.size(); ++i)
        params.insert(pair->params[i], kParams.value(i));
    QElapsedTimer t;
    double bare = 0, ours = 0;
    qint64 n = 0;
    for (auto _ : state) {
        t.start();
        const bool opened = form.OpenSelection(kParams);
        ours += double(t.nsecsElapsed());
        if (!opened || form.SelectedLines()->RecordCount() != Orders * LinesPerOrder) {
            state.SkipWithError("the selector did not list every open line");
            break;
        }
        state.PauseTiming();
        t.start();
        benchmark::DoNotOptimize(books().db->select(pair->detailSql, params));
        bare += double(t.nsecsElapsed());
        ++n;
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["bare_select_ms"] = bare / double(std::max<qint64>(n, 1)) / 1e6;
    if (bare > 0)
        state.counters["ratio"] = ours / bare;
}
BENCHMARK(BM_OpenSelector)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_TickDocument(benchmark::State &state)
{
    books();
    TnoteSelectorForm form;
    form.SetTargetClass(QStringLiteral("TBENCHFORM"));
    form.show();
    if (!form.OpenSelection(kParams)) {
        state.SkipWithError("the selector did not open");
        return;
    }
    form.qryMaster->First();
    for (auto _ : state)
        form.ToggleDocument();
}
BENCHMARK(BM_TickDocument)->Unit(benchmark::kMillisecond)->MinTime(0.5);

} // namespace

int main(int argc, char **argv) { return benchbooks::windowMain(argc, argv); }
