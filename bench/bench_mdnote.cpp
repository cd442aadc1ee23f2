// The expense window (TOutMoneyForm, made the way the host makes it) shown
// offscreen over fresh demo books, against bare Qt SQL on the same books:
//  - open: LoadNote of a 1,000-line note (data sets, grid model, footer,
//    lookups) vs a bare SELECT of the same rows;
//  - save: SaveNote of a new 1,000-line note (key, line numbers, lock,
//    transaction, print register; unaudited, so no postings) vs bare prepared
//    INSERTs of the same master and line rows in one transaction;
//  - line edit: one amount typed through the grid's model, the footer total
//    read back, at 100, 1,000 and 10,000 lines.
// Wall time is the "Time" column, CPU time the "CPU" column. Each window
// iteration also runs its bare baseline (untimed by the library, timed here),
// so the ratio counters compare figures taken under the same machine load.
// The repaint that follows each action (the offscreen window painting its
// grid and footer) is timed apart, as the repaint counter: a bare statement
// has nothing to compare it with.
// Budgets: open under 150 ms and at most 1.5x, save under 300 ms and at most
// 1.5x, line edit under 50 us at every size.

#include "OutMoneyForm.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "notedb.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include "BenchBooks.h"
#include "BenchClock.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using benchclock::Clock;
using benchclock::report;

constexpr int Lines = 1000;

benchbooks::Books &books()
{
    static benchbooks::Books b([](db::Database &) { RegisterPrivilegedForm(QStringLiteral("OutMoneyForm"), nullptr, 2052); });
    return b;
}

std::unique_ptr<TOutMoneyForm> openWindow()
{
    books();
    std::unique_ptr<TOutMoneyForm> form(CreateNoteForm<TOutMoneyForm>());
    form->show();
    QCoreApplication::processEvents();
    return form;
}

// What the user waits for after an action: the window catching up (layout, repaint).
void settle() { QCoreApplication::processEvents(); }

QString remarkOf(int line) { return QStringLiteral("费用明细 %1").arg(line); }
double amountOf(int line) { return 10 + line % 97 * 0.25; }

// A new note of `lines` lines, filled as a user's edits leave them.
void fillNewNote(TOutMoneyForm &form, int lines)
{
    form.NewNote();
    data::ClientDataSet *master = form.MasterDataSet();
    master->Edit();
    master->FieldByName(QStringLiteral("PAYTYPESID"))->SetValue(1);
    data::ClientDataSet *ds = form.DetailDataSet();
    form.BeginDetailUpdate();
    for (int i = 1; i <= lines; ++i) {
        ds->Append();
        ds->FieldByName(QStringLiteral("IETYPESID"))->SetValue(1 + i % 5);
        ds->FieldByName(QStringLiteral("AMOUNT"))->SetValue(amountOf(i));
        ds->FieldByName(QStringLiteral("REMARK"))->SetValue(remarkOf(i));
        ds->Post();
    }
    form.EndDetailUpdate();
}

int lineCount(int note)
{
    return books().db->scalar(QStringLiteral("select count(*) from expenseathdetail where NOTEID=%1").arg(note)).toInt();
}

using benchbooks::StoredRows;
StoredRows storedRows(const QString &table, qint64 note) { return benchbooks::storedRows(*books().db, table, note); }
bool bareInsert(const StoredRows &master, const StoredRows &lines, qint64 id)
{
    return benchbooks::bareInsert(*books().db, master, lines, id);
}

void dropNote(qint64 id)
{
    books().db->exec(QStringLiteral("delete from expenseathdetail where NOTEID=%1").arg(id));
    books().db->exec(QStringLiteral("delete from expenseath where NOTEID=%1").arg(id));
}

// A saved note of `lines` lines, written once per size through the window.
int savedNote(int lines)
{
    static std::map<int, int> notes;
    int &id = notes[lines];
    if (id == 0) {
        auto form = openWindow();
        fillNewNote(*form, lines);
        if (form->SaveNote())
            id = form->CurrentNoteID();
    }
    return id;
}

// The timed actions, apart so a profiler can collect them alone
// (valgrind --tool=callgrind --toggle-collect='*timedOpen*').
[[gnu::noinline]] bool timedSave(TOutMoneyForm &form) { return form.SaveNote(); }

[[gnu::noinline]] bool timedOpen(TOutMoneyForm &form, int note)
{
    const bool loaded = form.LoadNote(note);
    benchmark::DoNotOptimize(form.Grid()->FooterText(form.AmountColumn()));
    return loaded;
}

[[gnu::noinline]] bool timedEdit(TOutMoneyForm &form, int row, double amount)
{
    QAbstractItemModel *model = form.Grid()->model();
    const int column = form.AmountColumn();
    const bool set = model->setData(model->index(row, column), amount, Qt::EditRole);
    benchmark::DoNotOptimize(form.Grid()->FooterText(column));
    return set;
}

// What went wrong, with the messages the window showed.
std::string failure(const char *what) { return what + books().messages.texts().join(u'|').toStdString(); }

// ----------------------------------------------------------------------------- save

void BM_SaveNote(benchmark::State &state)
{
    const int template_ = savedNote(Lines);
    StoredRows master = storedRows(QStringLiteral("expenseath"), template_);
    const StoredRows lines = storedRows(QStringLiteral("expenseathdetail"), template_);
    if (master.rows.size() != 1 || lines.rows.size() != Lines) {
        state.SkipWithError(failure("no template note: ").c_str());
        return;
    }
    const int codeColumn = int(master.columns.indexOf(QStringLiteral("NOTECODE")));
    auto form = openWindow();
    Clock ours, bare, paint;
    qint64 bareId = 900000000;
    for (auto _ : state) {
        state.PauseTiming();
        fillNewNote(*form, Lines);
        settle();
        state.ResumeTiming();
        const bool ok = ours.time([&] { return timedSave(*form); });
        state.PauseTiming();
        paint.time(settle);
        const int id = form->CurrentNoteID();
        if (!ok || lineCount(id) != Lines) {
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
        dropNote(bareId);
        dropNote(id);
        state.ResumeTiming();
    }
    report(state, ours, bare, paint);
    state.SetItemsProcessed(state.iterations() * Lines);
}
BENCHMARK(BM_SaveNote)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

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

void BM_OpenNote(benchmark::State &state)
{
    const int note = savedNote(Lines);
    if (note == 0) {
        state.SkipWithError(failure("no saved note: ").c_str());
        return;
    }
    auto form = openWindow();
    // The statements the window itself runs, for the baseline.
    form->LoadNote(note);
    const QStringList sql{form->MasterDataSet()->CommandText(), form->DetailDataSet()->CommandText()};
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
BENCHMARK(BM_OpenNote)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// ----------------------------------------------------------------------------- line edit

double g_edit100 = 0; // wall seconds per edit at 100 lines, for the flatness ratio

void BM_EditLine(benchmark::State &state)
{
    const int lines = int(state.range(0));
    // Larger notes are copies of the 100-line one: saving 10,000 lines through
    // the window here would only slow the run down.
    int note = savedNote(100);
    if (note == 0) {
        state.SkipWithError(failure("no saved note: ").c_str());
        return;
    }
    static std::map<int, int> copies;
    if (lines != 100) {
        int &copy = copies[lines];
        if (copy == 0) {
            copy = 800000000 + lines;
            StoredRows master = storedRows(QStringLiteral("expenseath"), note);
            const StoredRows one = storedRows(QStringLiteral("expenseathdetail"), note);
            StoredRows many = one;
            many.rows.clear();
            const int itemsNo = int(one.columns.indexOf(QStringLiteral("ITEMSNO")));
            for (int i = 0; i < lines; ++i) {
                QVariantList row = one.rows[i % one.rows.size()];
                row[itemsNo] = i + 1;
                many.rows << row;
            }
            master.rows[0][master.columns.indexOf(QStringLiteral("NOTECODE"))] = QStringLiteral("E%1").arg(copy);
            if (!bareInsert(master, many, copy) || lineCount(copy) != lines) {
                state.SkipWithError("copy of the note failed");
                return;
            }
        }
        note = copy;
    }
    auto form = openWindow();
    if (!form->LoadNote(note) || form->DetailDataSet()->RecordCount() != lines) {
        state.SkipWithError(failure("open failed: ").c_str());
        return;
    }
    settle();
    const int row = lines / 2;
    Clock ours, paint;
    qint64 n = 0;
    for (auto _ : state) {
        // Two neighbouring lines in turn: each edit also posts the line before.
        const bool ok = ours.time([&] { return timedEdit(*form, row + int(n % 2), amountOf(int(n))); });
        ++n;
        state.PauseTiming();
        paint.time(settle);
        state.ResumeTiming();
        if (!ok) {
            state.SkipWithError(failure("edit refused: ").c_str());
            break;
        }
    }
    const double perEdit = ours.wall / double(std::max<qint64>(n, 1));
    state.counters["repaint_us"] = paint.wall / double(std::max<qint64>(n, 1)) * 1e6;
    if (lines == 100)
        g_edit100 = perEdit;
    else if (g_edit100 > 0)
        state.counters["x_100_lines"] = perEdit / g_edit100;
    // Leave the note unchanged for the next size.
    form->DetailDataSet()->Cancel();
    form->CancelNote();
}
BENCHMARK(BM_EditLine)->Arg(100)->Arg(1000)->Arg(10000)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);

} // namespace

int main(int argc, char **argv) { return benchbooks::windowMain(argc, argv); }
