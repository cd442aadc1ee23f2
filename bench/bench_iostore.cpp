// The stock in/out note window (TIIOBuildingForm) with place management on,
// made the way the host makes it and shown offscreen over fresh demo books,
// against bare Qt SQL on the same books:
//  - open: LoadNote of a saved 1,000-line note received into the head-office
//    store, every line on one of its shelves (written once with plain SQL),
//    vs a bare SELECT of the window's own master, line and place statements;
//  - save: SaveNote of a new 1,000-line note made in the window (each line's
//    quantity gives it its default place row), keys, line numbers, lock and
//    transaction, unaudited, vs bare prepared INSERTs of the same master, line
//    and place rows in one transaction.
// Each window iteration also runs its bare baseline, so the ratio counters
// compare figures taken under the same machine load. Budgets (the purchase
// receipt's): open and save at most about 1.5x their baselines.

#include "IIOBuildingForm.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QSqlRecord>

#include "BenchBooks.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

constexpr int Lines = 1000;
constexpr qint64 SavedNote = 700000021;

benchbooks::Books &books()
{
    static benchbooks::Books b([](db::Database &d) {
        d.exec(QStringLiteral("update sysparamamth set DATAVALUE = '1' where PARAMNAME = 'UsePlace'"));
        RegisterPrivilegedForm(QStringLiteral("IIOBuildingForm"), nullptr, 2021);
    });
    return b;
}

// Goods 1-10: the first five have their own shelf in store 1, the rest go to its first one.
int goodsOf(int line) { return 1 + line % 10; }
double quantityOf(int line) { return 1 + line % 3; }
int placeOf(int line) { return goodsOf(line) <= 2 ? 2 : 3; }

qint64 savedNote()
{
    static qint64 id = 0;
    if (id != 0)
        return id;
    db::Database &d = *books().db;
    d.beginTran();
    d.exec(QStringLiteral("insert into iostoreith (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, BUILDINGID, SHOPERATEID, "
                          "EMPID, DEPID, OPERATEID, NOTETYPE, ISAUTO, AMOUNT, REMARK) values (%1, 1, 0, 'CRK%1', '2026-12-01', "
                          "1, 0, 5, 4, 1, 22, 0, 0, '千行入库')")
               .arg(SavedNote));
    for (int i = 1; i <= Lines; ++i) {
        d.exec(QStringLiteral("insert into iostoreithDetail (NOTEID, ITEMSNO, COMMODITYID, APRICE, PRICE, QUANTITY, AMOUNT, "
                              "DISC, TAXRATE) values (%1, %2, %3, 10, 10, %4, %5, 100, 0)")
                   .arg(SavedNote).arg(i).arg(goodsOf(i)).arg(quantityOf(i)).arg(quantityOf(i) * 10));
        d.exec(QStringLiteral("insert into iostoreithPLACE (NOTEID, ITEMSNO, PLACEID, QUANTITY) values (%1, %2, %3, %4)")
                   .arg(SavedNote).arg(i).arg(placeOf(i)).arg(quantityOf(i)));
    }
    d.commitTran();
    id = SavedNote;
    return id;
}

std::unique_ptr<TIIOBuildingForm> openWindow()
{
    books();
    std::unique_ptr<TIIOBuildingForm> form(CreateNoteForm<TIIOBuildingForm>());
    form->show();
    QCoreApplication::processEvents();
    return form;
}

void settle() { QCoreApplication::processEvents(); }

double ms(const QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e6; }

// A new note received for an independent stock-in into store 1.
void fillNewNote(TIIOBuildingForm &form)
{
    form.NewNote();
    data::ClientDataSet *master = form.MasterDataSet();
    master->Edit();
    master->FieldByName(QStringLiteral("NOTETYPE"))->SetValue(22);
    master->FieldByName(QStringLiteral("BUILDINGID"))->SetValue(1);
    master->FieldByName(QStringLiteral("EMPID"))->SetValue(5);
    data::ClientDataSet *ds = form.DetailDataSet();
    form.BeginDetailUpdate();
    for (int i = 1; i <= Lines; ++i) {
        ds->Append();
        ds->FieldByName(QStringLiteral("COMMODITYID"))->SetValue(goodsOf(i));
        ds->FieldByName(QStringLiteral("QUANTITY"))->SetValue(quantityOf(i));
        ds->FieldByName(QStringLiteral("PRICE"))->SetValue(10.0);
        ds->Post();
    }
    form.EndDetailUpdate();
}

int count(const QString &table, qint64 note)
{
    return books().db->scalar(QStringLiteral("select count(*) from %1 where NOTEID=%2").arg(table).arg(note)).toInt();
}

void dropNote(qint64 id)
{
    for (const char *table : {"iostoreithPLACE", "iostoreithDetail", "iostoreith"})
        books().db->exec(QStringLiteral("delete from %1 where NOTEID=%2").arg(QLatin1String(table)).arg(id));
}

std::string failure(const char *what) { return what + books().messages.texts().join(u'|').toStdString(); }

void report(benchmark::State &state, double ours, double bare)
{
    const double n = double(state.iterations());
    if (n == 0 || bare == 0)
        return;
    state.counters["bare_ms"] = bare / n;
    state.counters["ratio"] = ours / bare;
}

[[gnu::noinline]] bool timedSave(TIIOBuildingForm &form) { return form.SaveNote(); }

[[gnu::noinline]] bool timedOpen(TIIOBuildingForm &form, int note)
{
    const bool loaded = form.LoadNote(note);
    benchmark::DoNotOptimize(form.Grid()->FooterText(form.Grid()->ColumnOfField(QStringLiteral("AMOUNT"))));
    return loaded;
}

void BM_SaveWithPlaces(benchmark::State &state)
{
    // One note saved through the window gives the rows the bare inserts write again.
    auto form = openWindow();
    fillNewNote(*form);
    if (!form->SaveNote() || count(QStringLiteral("iostoreithPLACE"), form->CurrentNoteID()) != Lines) {
        state.SkipWithError(failure("no template note: ").c_str());
        return;
    }
    const qint64 template_ = form->CurrentNoteID();
    QVector<benchbooks::StoredRows> stored;
    for (const char *table : {"iostoreith", "iostoreithDetail", "iostoreithPLACE"})
        stored << benchbooks::storedRows(*books().db, QLatin1String(table), template_);
    const int codeColumn = int(stored[0].columns.indexOf(QStringLiteral("NOTECODE")));
    double ours = 0, bare = 0;
    qint64 bareId = 900000000;
    for (auto _ : state) {
        state.PauseTiming();
        books().messages.clear();
        fillNewNote(*form);
        settle();
        state.ResumeTiming();
        QElapsedTimer t;
        t.start();
        const bool ok = timedSave(*form);
        ours += ms(t);
        state.PauseTiming();
        const qint64 id = form->CurrentNoteID();
        if (!ok || count(QStringLiteral("iostoreithPLACE"), id) != Lines || !books().messages.texts().isEmpty()) {
            state.SkipWithError(failure("save failed: ").c_str());
            break;
        }
        ++bareId;
        stored[0].rows[0][codeColumn] = QStringLiteral("B%1").arg(bareId);
        QSqlDatabase conn = books().db->connection();
        t.restart();
        bool done = benchbooks::beginBare(*books().db);
        for (const benchbooks::StoredRows &rows : std::as_const(stored)) {
            QSqlQuery q(conn);
            done = done && q.prepare(rows.insert);
            for (const QVariantList &row : rows.rows) {
                for (int c = 0; c < row.size(); ++c)
                    q.bindValue(c, c == rows.keyColumn ? QVariant(bareId) : row[c]);
                done = done && q.exec();
            }
        }
        done = QSqlQuery(conn).exec(QStringLiteral("COMMIT")) && done;
        bare += ms(t);
        if (!done) {
            state.SkipWithError("bare insert failed");
            break;
        }
        // Keep the tables the size they were, so every iteration writes the same.
        dropNote(bareId);
        dropNote(id);
        state.ResumeTiming();
    }
    report(state, ours, bare);
}
BENCHMARK(BM_SaveWithPlaces)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_OpenWithPlaces(benchmark::State &state)
{
    const int note = int(savedNote());
    auto form = openWindow();
    if (!form->LoadNote(note) || form->DetailDataSet()->RecordCount() != Lines || form->Places()->RecordCount() != Lines) {
        state.SkipWithError(failure("no saved note: ").c_str());
        return;
    }
    // The statements the window itself runs, as the layer translates them.
    QStringList sql;
    for (data::ClientDataSet *ds : {form->MasterDataSet(), form->DetailDataSet()})
        sql << books().db->translate(ds->CommandText());
    // The place rows are read by the window's own statement, not a data set's.
    sql << books().db->translate(QStringLiteral("select A.*,B.Name,B.Code from iostoreithPLACE A\nleft join placelth B on "
                                                "A.PlaceID=B.PlaceID\nwhere A.noteID=%1").arg(note));
    double ours = 0, bare = 0;
    for (auto _ : state) {
        state.PauseTiming();
        form->LoadNote(-9999); // leave the note first
        settle();
        state.ResumeTiming();
        QElapsedTimer t;
        t.start();
        const bool ok = timedOpen(*form, note);
        ours += ms(t);
        state.PauseTiming();
        if (!ok || form->Places()->RecordCount() != Lines) {
            state.SkipWithError(failure("open failed: ").c_str());
            break;
        }
        t.restart();
        int rows = 0;
        for (const QString &text : std::as_const(sql)) {
            QSqlQuery q(books().db->connection());
            q.setForwardOnly(true);
            if (!q.exec(text))
                break;
            const int columns = q.record().count();
            while (q.next()) {
                for (int c = 0; c < columns; ++c)
                    benchmark::DoNotOptimize(q.value(c));
                ++rows;
            }
        }
        bare += ms(t);
        if (rows != 2 * Lines + 1) {
            state.SkipWithError(("bare select: " + std::to_string(rows) + " rows").c_str());
            break;
        }
        state.ResumeTiming();
    }
    report(state, ours, bare);
}
BENCHMARK(BM_OpenWithPlaces)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char **argv) { return benchbooks::windowMain(argc, argv); }
