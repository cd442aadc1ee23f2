// A master-detail note of 1,000 lines in the real window, offscreen, against
// fresh demo books:
//  - save of a new note through SaveNote (key, line numbering, one transaction,
//    the print register; the note stays unaudited, so no postings) vs bare
//    prepared INSERTs of the same master and line rows in one transaction;
//  - opening it again through LoadNote vs a bare SELECT of the same rows.
// Prints both figures and the ratios (budget: save under 300 ms and at most
// 3x; open under 150 ms and at most 3x).

#include "MDnote.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "notedb.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int Lines = 1000;

using basenote::Ctl;

const basenote::Resource &masterResource()
{
    static const basenote::Resource r{
        .formName = "OutMoneyForm",
        .caption = "费用开支单",
        .noteType = 52,
        .masterSql = "select m.* from expenseath m",
        .controls = {
            {"PARTNERID", "往来单位", Ctl::Lookup, "cmbPartner", "dsPartner"},
            {"ACCOUNTID", "付款帐户", Ctl::Lookup, "cmbAccount", "dsAccount", "Closed = 0"},
            {"CHECKNO", "支票号", Ctl::Edit, "edCheckNo"},
        },
        .lookups = {QStringLiteral("qryPartner"), QStringLiteral("qryAccount")},
    };
    return r;
}

const mdnote::DetailResource &detailResource()
{
    static const mdnote::DetailResource r{
        .detailSql = "select m.* from expenseathdetail m",
        .columns = {
            {"ITEMSNO", "序号", 50, nullptr, true},
            {"IETYPESID", "费用项目", 120},
            {"AMOUNT", "金额", 110, "#0.00", false, true},
            {"REMARK", "备注", 240},
        },
    };
    return r;
}

class TBenchExpenseForm : public TMDnoteForm {
public:
    TBenchExpenseForm() : TMDnoteForm(masterResource(), detailResource()) {}
};

struct Books {
    QTemporaryDir dir;
    std::unique_ptr<db::Database> db;
    pub::ScriptedMessageService messages;
    pub::ScriptedModalService modal;
    Books()
    {
        notedb::install();
        db = notedb::createBooks(dir.filePath(QStringLiteral("books.db")), true, true);
        db->exec(QStringLiteral("update sysparamamth set DATAVALUE = '0' where PARAMNAME = 'UseMsg'"));
        SetStartupDB(db.get());
        SetProgramFolder(dir.path());
        pub::setMessageService(&messages);
        pub::setModalService(&modal);
        RegisterPrivilegedForm(QStringLiteral("OutMoneyForm"), nullptr, 2052);
        SetCurrentUser(1);
        g_NewnoteTime = QDate::currentDate();
    }
    ~Books()
    {
        pub::setMessageService(nullptr);
        pub::setModalService(nullptr);
        SetStartupDB(nullptr);
    }
};

Books &books()
{
    static Books b;
    return b;
}

QString remarkOf(int line) { return QStringLiteral("费用明细 %1").arg(line); }
double amountOf(int line) { return 10 + line % 97 * 0.25; }

// A window on a new note with `Lines` lines, filled as a user's edits leave them.
void fillNewNote(TBenchExpenseForm &form)
{
    form.NewNote();
    data::ClientDataSet *ds = form.DetailDataSet();
    form.BeginDetailUpdate();
    for (int i = 1; i <= Lines; ++i) {
        ds->Append();
        ds->FieldByName(QStringLiteral("IETYPESID"))->SetValue(1 + i % 5);
        ds->FieldByName(QStringLiteral("AMOUNT"))->SetValue(amountOf(i));
        ds->FieldByName(QStringLiteral("REMARK"))->SetValue(remarkOf(i));
        ds->Post();
    }
    form.EndDetailUpdate();
}

int g_savedNote = 0; // the note LoadNote opens

void BM_SaveNoteWindow(benchmark::State &state)
{
    Books &b = books();
    TBenchExpenseForm form;
    for (auto _ : state) {
        fillNewNote(form);
        QElapsedTimer t;
        t.start();
        const bool ok = form.SaveNote();
        state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
        if (!ok) {
            state.SkipWithError(b.messages.texts().join(u'|').toUtf8().constData());
            break;
        }
        g_savedNote = form.CurrentNoteID();
        if (b.db->scalar(QStringLiteral("select count(*) from expenseathdetail where NOTEID=%1 and ITEMSNO between 1 and %2")
                             .arg(g_savedNote).arg(Lines)).toInt() != Lines)
            state.SkipWithError("lines missing");
    }
    state.SetItemsProcessed(state.iterations() * Lines);
}
BENCHMARK(BM_SaveNoteWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SaveBareInserts(benchmark::State &state)
{
    Books &b = books();
    QSqlDatabase conn = b.db->connection();
    static qint64 id = 900000000; // the runs of one benchmark share the books
    for (auto _ : state) {
        ++id;
        QElapsedTimer t;
        t.start();
        QSqlQuery(conn).exec(QStringLiteral("BEGIN IMMEDIATE"));
        QSqlQuery m(conn);
        m.prepare(QStringLiteral("insert into expenseath (NOTEID, NOTECODE, NOTEDATE, NOTESTATE, NOTEKIND, OPERATEID, "
                                 "SHOPERATEID, REFERCOUNT, AMOUNT, UPDATETIME, UPFLAG) values (?, ?, ?, 0, 1, 1, 0, 0, ?, ?, 0)"));
        m.bindValue(0, id);
        m.bindValue(1, QStringLiteral("B%1").arg(id));
        m.bindValue(2, QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
        m.bindValue(3, 12345.0);
        m.bindValue(4, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        if (!m.exec())
            state.SkipWithError(m.lastError().text().toUtf8().constData());
        QSqlQuery q(conn);
        q.prepare(QStringLiteral("insert into expenseathdetail (NOTEID, ITEMSNO, IETYPESID, REFERCOUNT, AMOUNT, REMARK) "
                                 "values (?, ?, ?, 0, ?, ?)"));
        for (int i = 1; i <= Lines; ++i) {
            q.bindValue(0, id);
            q.bindValue(1, i);
            q.bindValue(2, 1 + i % 5);
            q.bindValue(3, amountOf(i));
            q.bindValue(4, remarkOf(i));
            if (!q.exec())
                state.SkipWithError(q.lastError().text().toUtf8().constData());
        }
        QSqlQuery(conn).exec(QStringLiteral("COMMIT"));
        state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
    }
    state.SetItemsProcessed(state.iterations() * Lines);
}
BENCHMARK(BM_SaveBareInserts)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The note the open benchmarks read: the last one saved, else one saved now.
int savedNote()
{
    if (g_savedNote == 0) {
        TBenchExpenseForm form;
        fillNewNote(form);
        if (form.SaveNote())
            g_savedNote = form.CurrentNoteID();
    }
    return g_savedNote;
}

void BM_OpenNoteWindow(benchmark::State &state)
{
    Books &b = books();
    if (savedNote() == 0) {
        state.SkipWithError("no saved note");
        return;
    }
    TBenchExpenseForm form;
    for (auto _ : state) {
        form.LoadNote(-9999); // leave the note first, untimed
        QElapsedTimer t;
        t.start();
        const bool ok = form.LoadNote(g_savedNote);
        state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
        if (!ok || form.DetailDataSet()->RecordCount() != Lines) {
            state.SkipWithError(b.messages.texts().join(u'|').toUtf8().constData());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * Lines);
}
BENCHMARK(BM_OpenNoteWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_OpenBareSelect(benchmark::State &state)
{
    Books &b = books();
    QSqlDatabase conn = b.db->connection();
    savedNote();
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        int n = 0;
        for (const QString &sql : {QStringLiteral("select m.* from expenseath m Where m.NOTEID=%1"),
                                   QStringLiteral("select m.* from expenseathdetail m Where m.NOTEID=%1")}) {
            QSqlQuery q(conn);
            q.setForwardOnly(true);
            if (!q.exec(sql.arg(g_savedNote)))
                state.SkipWithError(q.lastError().text().toUtf8().constData());
            const int columns = q.record().count();
            while (q.next()) {
                for (int c = 0; c < columns; ++c) {
                    QVariant v = q.value(c);
                    benchmark::DoNotOptimize(v);
                }
                ++n;
            }
        }
        state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
        if (n != Lines + 1)
            state.SkipWithError("wrong row count");
    }
    state.SetItemsProcessed(state.iterations() * Lines);
}
BENCHMARK(BM_OpenBareSelect)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs)
            if (r.run_type == Run::RT_Iteration)
                times[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
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
    auto ratio = [&](const char *what, const char *ours, const char *bare, double budgetMs) {
        // Names carry the run's options ("/min_time:.../manual_time"): match the prefix.
        auto find = [&](const char *name) {
            auto it = reporter.times.lower_bound(name);
            return it != reporter.times.end() && it->first.rfind(name, 0) == 0 ? it : reporter.times.end();
        };
        auto o = find(ours), b = find(bare);
        if (o == reporter.times.end() || b == reporter.times.end())
            return;
        const double r = o->second / b->second;
        std::printf("%s: %.3f ms vs %.3f ms bare (%.2fx); budget %.0f ms and 3x: %s\n", what, o->second, b->second, r,
                    budgetMs, o->second < budgetMs && r <= 3.0 ? "OK" : "OVER BUDGET");
    };
    ratio("save a new note of 1,000 lines", "BM_SaveNoteWindow/", "BM_SaveBareInserts/", 300);
    ratio("open a note of 1,000 lines", "BM_OpenNoteWindow/", "BM_OpenBareSelect/", 150);
    benchmark::Shutdown();
    SetStartupDB(nullptr);
    return 0;
}
