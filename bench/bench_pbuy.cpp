// The purchase receipt window (TPBuyForm) and the sale window (TSaleForm),
// made the way the host makes them and shown offscreen over fresh demo books,
// against bare Qt SQL on the same books:
//  - open: LoadNote of a saved 1,000-line note (written once with plain
//    SQL: demo commodities and stores, every other line from the demo
//    purchase or sales order) with every computed column of its line query (units,
//    pack prices, tax and original prices, the source note's code) vs a bare
//    SELECT of the window's own master and line statements, translated by the
//    layer;
//  - save: SaveNote of a new 1,000-line note made in the window (key, line
//    numbers, lock, transaction, the invoicing state recomputed after the
//    save; unaudited, so no postings) vs bare prepared INSERTs of the same
//    master and line rows in one transaction.
// Wall time is the "Time" column, CPU time the "CPU" column. Each window
// iteration also runs its bare baseline (untimed by the library, timed here),
// so the ratio counters compare figures taken under the same machine load.
// The repaint that follows each action is timed apart, as the repaint counter.
// Budgets: open under 150 ms and at most 1.5x, save under 300 ms and at most
// 1.5x.

#include "PBuyForm.h"
#include "SaleForm.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include "BenchBooks.h"
#include "BenchClock.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <memory>
#include <string>

namespace {

using benchclock::Clock;
using benchclock::report;

constexpr int Lines = 1000;

// The two windows measured: their tables, the partner whose credit limit takes
// a whole note, the source every other line comes from, and the price a line takes.
struct ReceiptKind {
    using Form = TPBuyForm;
    static constexpr const char *master = "purchasepth", *detail = "purchasepthDetail", *source = "orderpth";
    static constexpr const char *price = "APRICE"; // the goods' cost: under their highest purchase price
    static constexpr int partner = 2, sourceType = 2; // S002
    static constexpr qint64 saved = 700000001;
};
struct SaleKind {
    using Form = TSaleForm;
    static constexpr const char *master = "salesth", *detail = "salesthDetail", *source = "ordersth";
    static constexpr const char *price = "LPRICE1"; // the list price: above the lowest sale price
    static constexpr int partner = 8, sourceType = 12; // C002
    static constexpr qint64 saved = 700000002;
};

benchbooks::Books &books()
{
    static benchbooks::Books b([](db::Database &) {
        RegisterPrivilegedForm(QStringLiteral("PBuyForm"), nullptr, 2004);
        RegisterPrivilegedForm(QStringLiteral("SaleForm"), nullptr, 2014);
    });
    return b;
}

template <class K>
std::unique_ptr<typename K::Form> openWindow()
{
    books();
    std::unique_ptr<typename K::Form> form(CreateNoteForm<typename K::Form>());
    form->show();
    QCoreApplication::processEvents();
    return form;
}

// What the user waits for after an action: the window catching up (layout, repaint).
void settle() { QCoreApplication::processEvents(); }

// Stocked demo goods that are not costed by batch, so a line needs no batch.
int goodsOf(int line) { return 1 + line % 10; }
double quantityOf(int line) { return 1 + line % 2; }
// A price no line asks about (see the kinds).
template <class K>
double priceOf(int line)
{
    static const QVector<double> prices = [] {
        QVector<double> p;
        QSqlQuery q = books().db->exec(QStringLiteral("select %1 from Commoditylth where COMMODITYID between 1 and 10 "
                                                      "order by COMMODITYID").arg(QLatin1String(K::price)));
        while (q.next())
            p << q.value(0).toDouble();
        return p;
    }();
    return prices.value(goodsOf(line) - 1);
}
QString remarkOf(int line) { return QStringLiteral("到货明细 %1").arg(line); }

// What the books hold of a line: goods, tax at 13%, amounts to the cent.
struct Amounts {
    double goods, tax;
};
template <class K>
Amounts amountsOf(int line)
{
    const double goods = std::round(quantityOf(line) * priceOf<K>(line) * 100) / 100;
    return {goods, std::round(goods * 13) / 100};
}

// The saved note the open benchmark shows, written once with plain SQL.
template <class K>
qint64 savedNote()
{
    static qint64 id = 0;
    if (id != 0)
        return id;
    db::Database &d = *books().db;
    const qint64 order = d.scalar(QStringLiteral("select min(NOTEID) from %1").arg(QLatin1String(K::source))).toLongLong();
    double total = 0;
    for (int i = 1; i <= Lines; ++i)
        total += amountsOf<K>(i).goods + amountsOf<K>(i).tax;
    d.beginTran();
    d.exec(QStringLiteral("insert into %4 (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, SHOPERATEID, EMPID, "
                          "DEPID, OPERATEID, AMOUNT, PARTNERID, CPARTNERID, NOTETYPE, TAXRATE, DISC, TERMDAYS, PAYDAY, "
                          "PAYAMT, REMARK) values (%1, 1, 0, 'PB%1', '2026-12-01', 0, 3, 2, 1, %2, %3, %3, 1, 13, 100, "
                          "30, '2026-12-31', 0, '千行到货')")
               .arg(K::saved)
               .arg(total, 0, 'f', 2)
               .arg(K::partner)
               .arg(QLatin1String(K::master)));
    for (int i = 1; i <= Lines; ++i) {
        const Amounts a = amountsOf<K>(i);
        // Every other line comes from the demo order, so its source code is looked up.
        const QString refer = i % 2 ? QStringLiteral("%1, %2, %3").arg(K::sourceType).arg(order).arg(1 + i / 2 % 2)
                                    : QStringLiteral("null, null, null");
        d.exec(QStringLiteral("insert into %12 (NOTEID, ITEMSNO, BUILDINGID, COMMODITYID, APRICE, PRICE, "
                              "QUANTITY, DISC, TAXRATE, AMOUNT, TAXAMT, COMMODITYAMT, REFERNOTETYPE, REFERNOTEID, "
                              "REFERITEMSNO, REMARK) values (%1, %2, %3, %4, %5, %5, %6, 100, 13, %7, %8, %9, %10, '%11')")
                   .arg(K::saved)
                   .arg(i)
                   .arg(1 + i % 3)
                   .arg(goodsOf(i))
                   .arg(priceOf<K>(i))
                   .arg(quantityOf(i))
                   .arg(a.goods + a.tax, 0, 'f', 2)
                   .arg(a.tax, 0, 'f', 2)
                   .arg(a.goods, 0, 'f', 2)
                   .arg(refer, remarkOf(i), QLatin1String(K::detail)));
    }
    d.commitTran();
    id = K::saved;
    return id;
}

// A new note of `lines` lines, filled as a user's edits leave them.
template <class K>
void fillNewNote(typename K::Form &form, int lines)
{
    form.NewNote();
    data::ClientDataSet *master = form.MasterDataSet();
    master->Edit();
    master->FieldByName(QStringLiteral("PARTNERID"))->SetValue(K::partner);
    data::ClientDataSet *ds = form.DetailDataSet();
    form.BeginDetailUpdate();
    for (int i = 1; i <= lines; ++i) {
        ds->Append();
        ds->FieldByName(QStringLiteral("COMMODITYID"))->SetValue(goodsOf(i));
        ds->FieldByName(QStringLiteral("QUANTITY"))->SetValue(quantityOf(i));
        ds->FieldByName(QStringLiteral("PRICE"))->SetValue(priceOf<K>(i));
        ds->FieldByName(QStringLiteral("REMARK"))->SetValue(remarkOf(i));
        ds->Post();
    }
    form.EndDetailUpdate();
}

template <class K>
int lineCount(qint64 note)
{
    return books().db->scalar(QStringLiteral("select count(*) from %1 where NOTEID=%2").arg(QLatin1String(K::detail)).arg(note)).toInt();
}

using benchbooks::StoredRows;
StoredRows storedRows(const QString &table, qint64 note) { return benchbooks::storedRows(*books().db, table, note); }
bool bareInsert(const StoredRows &master, const StoredRows &lines, qint64 id)
{
    return benchbooks::bareInsert(*books().db, master, lines, id);
}

template <class K>
void dropNote(qint64 id)
{
    books().db->exec(QStringLiteral("delete from %1 where NOTEID=%2").arg(QLatin1String(K::detail)).arg(id));
    books().db->exec(QStringLiteral("delete from %1 where NOTEID=%2").arg(QLatin1String(K::master)).arg(id));
}

// A note of 1,000 lines saved once through the window: the rows the bare
// inserts write again.
template <class K>
qint64 templateNote()
{
    static qint64 id = 0;
    if (id == 0) {
        auto form = openWindow<K>();
        fillNewNote<K>(*form, Lines);
        if (form->SaveNote())
            id = form->CurrentNoteID();
    }
    return id;
}

// The timed actions, apart so a profiler can collect them alone
// (valgrind --tool=callgrind --toggle-collect='*timedOpen*').
[[gnu::noinline]] bool timedSave(TPurchaseNoteForm &form) { return form.SaveNote(); }

[[gnu::noinline]] bool timedOpen(TPurchaseNoteForm &form, int note)
{
    const bool loaded = form.LoadNote(note);
    benchmark::DoNotOptimize(form.Grid()->FooterText(form.Grid()->ColumnOfField(QStringLiteral("AMOUNT"))));
    return loaded;
}

// What went wrong, with the messages the window showed.
std::string failure(const char *what) { return what + books().messages.texts().join(u'|').toStdString(); }

// ----------------------------------------------------------------------------- save

template <class K>
void BM_Save(benchmark::State &state)
{
    const qint64 template_ = templateNote<K>();
    StoredRows master = storedRows(QLatin1String(K::master), template_);
    const StoredRows lines = storedRows(QLatin1String(K::detail), template_);
    if (master.rows.size() != 1 || lines.rows.size() != Lines) {
        state.SkipWithError(failure("no template note: ").c_str());
        return;
    }
    const int codeColumn = int(master.columns.indexOf(QStringLiteral("NOTECODE")));
    auto form = openWindow<K>();
    Clock ours, bare, paint;
    qint64 bareId = 900000000;
    for (auto _ : state) {
        state.PauseTiming();
        books().messages.clear();
        fillNewNote<K>(*form, Lines);
        settle();
        state.ResumeTiming();
        const bool ok = ours.time([&] { return timedSave(*form); });
        state.PauseTiming();
        paint.time(settle);
        const qint64 id = form->CurrentNoteID();
        // Any message (the invoicing update failing after the save shows one) is a failure.
        if (!ok || lineCount<K>(id) != Lines || !books().messages.texts().isEmpty()) {
            state.SkipWithError(failure("save failed: ").c_str());
            break;
        }
        ++bareId;
        if (codeColumn >= 0)
            master.rows[0][codeColumn] = QStringLiteral("B%1").arg(bareId);
        if (!bare.time([&] { return bareInsert(master, lines, bareId); })) {
            state.SkipWithError("bare insert failed");
            break;
        }
        // Keep the tables the size they were, so every iteration writes the same.
        dropNote<K>(bareId);
        dropNote<K>(id);
        state.ResumeTiming();
    }
    report(state, ours, bare, paint);
    state.SetItemsProcessed(state.iterations() * Lines);
}
BENCHMARK_TEMPLATE(BM_Save, ReceiptKind)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_TEMPLATE(BM_Save, SaleKind)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// ----------------------------------------------------------------------------- open

int bareSelect(const QStringList &sql)
{
    QSqlDatabase conn = books().db->connection();
    int n = 0;
    for (const QString &text : sql) {
        QSqlQuery q(conn);
        q.setForwardOnly(true);
        if (!q.exec(text))
            return -1;
        const int columns = q.record().count();
        while (q.next()) {
            for (int c = 0; c < columns; ++c) {
                QVariant v = q.value(c);
                benchmark::DoNotOptimize(v);
            }
            ++n;
        }
    }
    return n;
}

template <class K>
void BM_Open(benchmark::State &state)
{
    const int note = int(savedNote<K>());
    auto form = openWindow<K>();
    if (!form->LoadNote(note) || form->DetailDataSet()->RecordCount() != Lines) {
        state.SkipWithError(failure("no saved note: ").c_str());
        return;
    }
    // The first line comes from the order: its code is a computed column the open must fill.
    data::ClientDataSet *lines = form->DetailDataSet();
    if (lines->ValueAt(0, lines->FieldByName(QStringLiteral("REFERNOTECODE"))->Index()).toString().isEmpty()) {
        state.SkipWithError("the source code column is empty");
        return;
    }
    // The statements the window itself runs, as the layer translates them.
    QStringList sql;
    try {
        for (data::ClientDataSet *ds : {form->MasterDataSet(), form->DetailDataSet()})
            sql << books().db->translate(ds->CommandText());
    } catch (const std::exception &e) {
        state.SkipWithError((std::string("translation refused: ") + e.what()).c_str());
        return;
    }
    Clock ours, bare, paint;
    for (auto _ : state) {
        state.PauseTiming();
        form->LoadNote(-9999); // leave the note first
        settle();
        state.ResumeTiming();
        const bool ok = ours.time([&] { return timedOpen(*form, note); });
        state.PauseTiming();
        paint.time(settle);
        if (!ok || form->DetailDataSet()->RecordCount() != Lines) {
            state.SkipWithError(failure("open failed: ").c_str());
            break;
        }
        if (bare.time([&] { return bareSelect(sql); }) != Lines + 1) {
            state.SkipWithError("bare select: wrong row count");
            break;
        }
        state.ResumeTiming();
    }
    report(state, ours, bare, paint);
    state.SetItemsProcessed(state.iterations() * Lines);
}
BENCHMARK_TEMPLATE(BM_Open, ReceiptKind)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_TEMPLATE(BM_Open, SaleKind)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char **argv) { return benchbooks::windowMain(argc, argv); }
