// A payment over 1,000 open purchase receipts of one supplier, in the payment
// window offscreen on fresh demo books, each against a bare baseline:
//  - turn-in: the open notes listed, all ticked and made lines, vs a bare
//    SELECT of the same list;
//  - allocation: "自动付款" over the 1,000 lines (every line's rule runs and
//    the paid amount follows), vs the same amounts written into a plain
//    client data set;
//  - save and audit: the payment written and settled (1,000 REFERAMT raised
//    and logged), vs bare INSERTs of the same rows and bare UPDATEs of the
//    receipts.

#include "Pub.h"
#include "PayForm.h"
#include "UnPayorUnChangeForm.h"
#include "data/ClientDataSet.h"
#include "notedb.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include "BenchBooks.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int Receipts = 1000;
constexpr qint64 Supplier = 5;

void prepare(db::Database &d)
{
    d.beginTran();
    for (int i = 1; i <= Receipts; ++i)
        d.exec(QStringLiteral("insert into purchasepth (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, PARTNERID, AMOUNT) "
                              "values (%1, 1, 1, 'BR-%1', '2026-11-02', %2, %3)")
                   .arg(100000 + i)
                   .arg(Supplier)
                   .arg(100 + i % 7));
    d.commitTran();
}

benchbooks::Books &books()
{
    static benchbooks::Books b(prepare);
    return b;
}

// A new payment of the supplier with every open receipt on it.
std::unique_ptr<TPayForm> paymentWithLines()
{
    std::unique_ptr<TPayForm> form(CreateNoteForm<TPayForm>());
    form->show();
    form->AppendBlankNote();
    form->MasterDataSource()->SetFieldValue(form->MasterField(QStringLiteral("PARTNERID")), Supplier);
    form->MasterDataSource()->SetFieldValue(form->MasterField(QStringLiteral("PAYTYPESID")), 1);
    TUnPayorUnChangeForm picker;
    picker.OpenNotes(4, Supplier);
    picker.SelectAll(true);
    form->AddSettledNotes(*picker.Notes());
    return form;
}

void BM_TurnIn(benchmark::State &state)
{
    books();
    std::unique_ptr<TPayForm> form(CreateNoteForm<TPayForm>());
    form->show();
    const QString sql = TUnPayorUnChangeForm::NotesSql(4);
    QElapsedTimer t;
    double bare = 0, ours = 0;
    qint64 n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        form->AppendBlankNote();
        form->MasterDataSource()->SetFieldValue(form->MasterField(QStringLiteral("PARTNERID")), Supplier);
        state.ResumeTiming();
        t.start();
        TUnPayorUnChangeForm picker;
        picker.OpenNotes(4, Supplier);
        picker.SelectAll(true);
        const int added = form->AddSettledNotes(*picker.Notes());
        ours += double(t.nsecsElapsed());
        if (added != Receipts) {
            state.SkipWithError("the turn-in did not add every open receipt");
            break;
        }
        state.PauseTiming();
        t.start();
        benchmark::DoNotOptimize(books().db->select(sql, {{QStringLiteral("partnerid"), Supplier}}));
        bare += double(t.nsecsElapsed());
        ++n;
        form->CancelNote();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["bare_select_ms"] = bare / double(std::max<qint64>(n, 1)) / 1e6;
    if (bare > 0)
        state.counters["ratio"] = ours / bare;
}
BENCHMARK(BM_TurnIn)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_AutoAllocation(benchmark::State &state)
{
    books();
    std::unique_ptr<TPayForm> form = paymentWithLines();
    data::ClientDataSet *lines = form->DetailDataSet();
    // The baseline: the same amounts into a plain data set of the same rows.
    data::ClientDataSet plain(books().db.get());
    plain.SetCommandText(QStringLiteral("select NOTEID, AMOUNT, REFERAMT from purchasepth where PARTNERID = %1").arg(Supplier));
    plain.Open();
    QElapsedTimer t;
    double bare = 0, ours = 0;
    qint64 n = 0;
    for (auto _ : state) {
        t.start();
        form->AutoApplyBtnClick(); // allocates
        ours += double(t.nsecsElapsed());
        state.PauseTiming();
        const double paid = form->MasterValue(QStringLiteral("FACTAMT")).toDouble();
        form->AutoApplyBtnClick(); // clears
        if (lines->RecordCount() != Receipts || paid <= 0) {
            state.SkipWithError("the allocation paid nothing");
            break;
        }
        t.start();
        for (plain.First(); !plain.Eof(); plain.Next()) {
            plain.Edit();
            plain.FieldByName(QStringLiteral("REFERAMT"))->SetValue(plain.FieldByName(QStringLiteral("AMOUNT"))->AsFloat());
            plain.Post();
        }
        bare += double(t.nsecsElapsed());
        plain.CancelUpdates();
        ++n;
        state.ResumeTiming();
    }
    state.counters["bare_loop_ms"] = bare / double(std::max<qint64>(n, 1)) / 1e6;
    if (bare > 0)
        state.counters["ratio"] = ours / bare;
}
BENCHMARK(BM_AutoAllocation)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_SaveAndAudit(benchmark::State &state)
{
    db::Database &d = *books().db;
    QElapsedTimer t;
    double bare = 0, ours = 0;
    qint64 n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<TPayForm> form = paymentWithLines();
        form->AutoApplyBtnClick();
        state.ResumeTiming();
        t.start();
        form->OkBtnClick();
        form->CheckBtnClick();
        ours += double(t.nsecsElapsed());
        state.PauseTiming();
        const qint64 id = d.scalar(QStringLiteral("select max(NOTEID) from payath")).toLongLong();
        if (d.scalar(QStringLiteral("select count(*) from purchasepth where PARTNERID = %1 and REFERAMT = AMOUNT").arg(Supplier))
                .toInt() != Receipts) {
            state.SkipWithError("the audit did not settle every receipt");
            break;
        }
        // Back to open: the un-audit reverses the settlement.
        d.exec(QStringLiteral("update payath set NOTESTATE = 0 where NOTEID = %1").arg(id));
        d.exec(QStringLiteral("delete from payath where NOTEID = %1").arg(id));
        // The baseline: the same rows and settlements by bare statements.
        t.start();
        d.beginTran();
        d.exec(QStringLiteral("insert into payath (NOTEID, NOTECODE, NOTEDATE, NOTESTATE, PARTNERID, AMOUNT, FACTAMT) "
                              "values (-1, 'B', '2026-11-02', 0, %1, 0, 0)")
                   .arg(Supplier));
        for (int i = 1; i <= Receipts; ++i) {
            d.exec(QStringLiteral("insert into payathdetail (NOTEID, ITEMSNO, REFERNOTETYPE, REFERNOTEID, AMOUNT) "
                                  "values (-1, %1, 4, %2, 1)")
                       .arg(i)
                       .arg(100000 + i));
            d.exec(QStringLiteral("update purchasepth set REFERAMT = REFERAMT + 1 where NOTEID = %1").arg(100000 + i));
        }
        d.rollbackTran();
        bare += double(t.nsecsElapsed());
        ++n;
        form.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["bare_sql_ms"] = bare / double(std::max<qint64>(n, 1)) / 1e6;
    if (bare > 0)
        state.counters["ratio"] = ours / bare;
}
BENCHMARK(BM_SaveAndAudit)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char **argv) { return benchbooks::windowMain(argc, argv); }
