// Commodity lines on the sample commodity kind of the tests, shown offscreen
// over fresh demo books:
//  - recompute: one column of a line edited through its field (the change
//    dispatch, the rules and the silent writes of the other columns), for
//    each column that recomputes; baseline: the same columns written bare;
//  - edit: the quantity of one line typed through the grid's model with the
//    footer totals read back, at 100, 1,000 and 10,000 lines; the ratio to
//    100 lines shows that totals are kept, not summed per edit;
//  - choose: a commodity set on a line (filled from the memory table, the
//    partner's or the default price procedure, the stock label); baseline: the
//    same rows read by bare statements.
// Budgets: recompute under 20 us, edit under 50 us at every size, choose
// under 1 ms.

#include "../tests/commodity/SampleGoodsKind.h"
#include "NoteTypes.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "BenchBooks.h"

#include <benchmark/benchmark.h>

#include <memory>

using commodity::Col;

namespace {

benchbooks::Books &books()
{
    static benchbooks::Books b([](db::Database &d) {
        goodskind::CreateTables(d);
        RegisterPrivilegedForm(NoteTypeFormName(goodskind::kType), nullptr, 2000 + goodskind::kType);
    });
    return b;
}

// A saved note of `lines` lines of two commodities, written bare.
int noteOf(int lines)
{
    const int id = 700000000 + lines;
    db::Database &d = *books().db;
    if (d.scalar(QStringLiteral("select count(*) from testgoodsath where NOTEID=%1").arg(id)).toInt() == 0) {
        d.exec(QStringLiteral("insert into testgoodsath (NOTEID, NOTECODE, NOTEDATE, NOTESTATE, PARTNERID, AMOUNT) "
                              "values (%1, 'B%1', '2026-12-01', 0, 1, 0)")
                   .arg(id));
        d.beginTran();
        for (int i = 1; i <= lines; ++i)
            d.exec(QStringLiteral("insert into testgoodsathdetail (NOTEID, ITEMSNO, COMMODITYID, BUILDINGID, QUANTITY, "
                                  "PRICE, DISC, TAXRATE, AMOUNT, TAXAMT, COMMODITYAMT) values "
                                  "(%1, %2, %3, 1, 2, 10, 90, 13, 20.34, 2.34, 18)")
                       .arg(id)
                       .arg(i)
                       .arg(1 + i % 5));
        d.commitTran();
    }
    return id;
}

std::unique_ptr<goodskind::TTestGoodsForm> openNote(int lines)
{
    books();
    std::unique_ptr<goodskind::TTestGoodsForm> form(CreateNoteForm<goodskind::TTestGoodsForm>());
    form->show();
    form->LoadNote(noteOf(lines));
    QCoreApplication::processEvents();
    return form;
}

std::string failure(const char *what) { return what + books().messages.texts().join(u'|').toStdString(); }

// ----------------------------------------------------------------------------- recompute

const Col kEdited[] = {Col::Quantity, Col::OrigPrice, Col::OrigTaxPrice, Col::Disc,   Col::Price,
                       Col::TaxRate,  Col::TaxPrice,  Col::Amount,       Col::TaxAmt, Col::CommodityAmt};

void BM_Recompute(benchmark::State &state)
{
    const Col edited = kEdited[state.range(0)];
    state.SetLabel(commodity::DefaultColumnName(edited));
    auto form = openNote(100);
    data::ClientDataSet *lines = form->DetailDataSet();
    data::Field *field = lines->FindField(QString::fromLatin1(commodity::DefaultColumnName(edited)));
    if (!field || lines->RecordCount() != 100) {
        state.SkipWithError(failure("no line: ").c_str());
        return;
    }
    lines->Edit();
    std::vector<data::Field *> written;
    for (int i = 0; i < commodity::kColCount; ++i)
        if (data::Field *f = lines->FindField(QString::fromLatin1(commodity::DefaultColumnName(Col(i)))))
            written.push_back(f);
    const double base = edited == Col::Disc ? 80 : edited == Col::TaxRate ? 9 : 20;
    double bare = 0;
    qint64 n = 0;
    QElapsedTimer t;
    for (auto _ : state) {
        // Alternate values so every edit is a real change.
        field->SetValue(base + double(n % 2));
        state.PauseTiming();
        t.start();
        for (data::Field *f : written)
            f->SetValueSilent(base + double(n % 2));
        bare += double(t.nsecsElapsed());
        ++n;
        state.ResumeTiming();
    }
    if (!books().messages.texts().isEmpty())
        state.SkipWithError(failure("refused: ").c_str());
    state.counters["bare_writes_us"] = bare / double(n) / 1e3;
    lines->Cancel();
}
BENCHMARK(BM_Recompute)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond)->MinTime(0.2);

// ----------------------------------------------------------------------------- edit through the grid

double g_edit100 = 0;

void BM_EditLine(benchmark::State &state)
{
    const int count = int(state.range(0));
    auto form = openNote(count);
    if (form->DetailDataSet()->RecordCount() != count) {
        state.SkipWithError(failure("open failed: ").c_str());
        return;
    }
    widgets::TRqDBGrid *grid = form->Grid();
    QAbstractItemModel *model = grid->model();
    const int quantity = grid->ColumnOfField(QStringLiteral("QUANTITY"));
    const int amount = grid->ColumnOfField(QStringLiteral("AMOUNT"));
    const int row = count / 2;
    QElapsedTimer t;
    double wall = 0;
    qint64 n = 0;
    for (auto _ : state) {
        t.start();
        // Two neighbouring lines in turn: each edit also posts the line before.
        model->setData(model->index(row + int(n % 2), quantity), 3 + double(n % 7), Qt::EditRole);
        benchmark::DoNotOptimize(grid->FooterText(amount));
        wall += double(t.nsecsElapsed());
        ++n;
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    const double perEdit = wall / double(std::max<qint64>(n, 1));
    if (count == 100)
        g_edit100 = perEdit;
    else if (g_edit100 > 0)
        state.counters["x_100_lines"] = perEdit / g_edit100;
    form->DetailDataSet()->Cancel();
    form->CancelNote();
}
BENCHMARK(BM_EditLine)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

// ----------------------------------------------------------------------------- choose a commodity

void BM_ChooseCommodity(benchmark::State &state)
{
    auto form = openNote(100);
    data::ClientDataSet *lines = form->DetailDataSet();
    data::Field *goods = lines->FindField(QStringLiteral("COMMODITYID"));
    lines->Edit();
    db::Database &d = *books().db;
    QElapsedTimer t;
    double bare = 0;
    qint64 n = 0;
    for (auto _ : state) {
        const int id = 1 + int(n % 10); // stocked goods with and without partner prices
        goods->SetValue(id);
        state.PauseTiming();
        t.start();
        benchmark::DoNotOptimize(d.scalar(QStringLiteral("select NAME from Commoditylth where COMMODITYID=%1").arg(id)));
        benchmark::DoNotOptimize(
            d.scalar(QStringLiteral("select price from partnerprice where partnerid=1 and CommodityID=%1").arg(id)));
        benchmark::DoNotOptimize(
            d.scalar(QStringLiteral("select REALQTY from onhandaath where Commodityid=%1 and BuildingID=1").arg(id)));
        bare += double(t.nsecsElapsed());
        ++n;
        state.ResumeTiming();
    }
    if (!books().messages.texts().isEmpty())
        state.SkipWithError(failure("refused: ").c_str());
    state.counters["bare_selects_us"] = bare / double(n) / 1e3;
    lines->Cancel();
}
BENCHMARK(BM_ChooseCommodity)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

} // namespace

int main(int argc, char **argv) { return benchbooks::windowMain(argc, argv); }
