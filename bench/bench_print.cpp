// Exporting and printing at size, offscreen, on demo books grown to 100,000
// more purchase orders, one of them with 1,000 lines:
//  - export: the finder's "导出Excel" of the whole list (the rest of the rows
//    read, the shown columns written) against a bare SELECT of the same
//    statement plus libxlsxwriter writing the same cells;
//  - preview: the order window's preview until its first page is shown;
//  - PDF: the order printed to a PDF file (template, variables, pages)
//    against a bare QPainter on a QPdfWriter drawing the same texts on as
//    many pages.
// Budgets: export at most 2x; first preview page under 300 ms; PDF under 1 s
// and at most 2x. Clock and processor time are both printed: the machine is
// shared, and the clock swings with the load.

#include "FindnoteForm.h"
#include "MDnote.h"
#include "NoteMessages.h"
#include "NoteReport.h"
#include "PNOrderForm.h"
#include "Pk_note_itf.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QSqlQuery>
#include <QSqlRecord>

#include "BenchBooks.h"

#include <benchmark/benchmark.h>
#include <xlsxwriter.h>

#include <ctime>
#include <memory>

namespace {

constexpr int kGrow = 100000;
constexpr int kLines = 1000;

qint64 g_bigOrder = 0;

benchbooks::Books &books()
{
    static benchbooks::Books b([](db::Database &d) {
        notedb::growNotes(d, 2, kGrow);
        // The first demo order takes 1,000 copies of its first line.
        g_bigOrder = d.scalar(QStringLiteral("select min(NOTEID) from orderpthDetail")).toLongLong();
        const benchbooks::StoredRows lines =
            benchbooks::storedRows(d, QStringLiteral("orderpthDetail"), g_bigOrder);
        const int itemsNo = int(lines.columns.indexOf(QStringLiteral("ITEMSNO")));
        const int quantity = int(lines.columns.indexOf(QStringLiteral("QUANTITY")));
        QSqlQuery q(d.connection());
        bool ok = !lines.rows.isEmpty() && itemsNo >= 0
                  && q.exec(QStringLiteral("delete from orderpthDetail where NOTEID=%1").arg(g_bigOrder))
                  && q.prepare(lines.insert);
        for (int i = 1; ok && i <= kLines; ++i) {
            QVariantList row = lines.rows.first();
            row[itemsNo] = i;
            if (quantity >= 0)
                row[quantity] = 1 + i % 7;
            for (int c = 0; c < row.size(); ++c)
                q.bindValue(c, row[c]);
            ok = q.exec();
        }
        if (!ok)
            qFatal("the 1,000-line order could not be made");
    });
    return b;
}

pub::ScriptedFileDialogService &files()
{
    static pub::ScriptedFileDialogService f;
    return f;
}

double threadCpu()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Clock and processor time of what `f` does, added up.
struct Clock {
    double wall = 0, cpu = 0;
    // Returns the clock time of this call, in seconds.
    template <class F>
    double time(F &&f)
    {
        QElapsedTimer w;
        w.start();
        const double c0 = threadCpu();
        f();
        cpu += threadCpu() - c0;
        const double s = double(w.nsecsElapsed()) / 1e9;
        wall += s;
        return s;
    }
};

void report(benchmark::State &state, const Clock &ours, const Clock &bare)
{
    const double n = double(state.iterations());
    state.counters["ms"] = ours.wall / n * 1e3;
    state.counters["cpu_ms"] = ours.cpu / n * 1e3;
    if (bare.wall > 0) {
        state.counters["bare_ms"] = bare.wall / n * 1e3;
        state.counters["bare_cpu_ms"] = bare.cpu / n * 1e3;
    }
}

// ---------------------------------------------------------------- export

void BM_ExportList(benchmark::State &state)
{
    books();
    pub::setFileDialogService(&files());
    TFindnoteForm finder;
    finder.show();
    QApplication::processEvents();
    const QString file = books().dir.filePath(QStringLiteral("list.xlsx"));
    const QString bareFile = books().dir.filePath(QStringLiteral("bare.xlsx"));
    Clock ours, bare;
    int rows = 0;
    for (auto _ : state) {
        finder.SelectNoteType(2); // the first page, as the user sees it before exporting
        files().answer(file);
        state.SetIterationTime(ours.time([&] { finder.btnToExcelClick(); }));
        rows = finder.CurrentQuery()->RecordCount();

        // The same statement read bare, its shown columns written as cells.
        QStringList shown;
        for (int c = 0; c < finder.Grid()->ColumnCount(); ++c)
            shown << finder.Grid()->Column(c).FieldName;
        const QString sql = books().db->translate(finder.CurrentQuery()->CommandText());
        bare.time([&] {
            QSqlQuery q(books().db->connection());
            q.setForwardOnly(true);
            q.exec(sql);
            QVector<int> columns;
            for (const QString &name : shown)
                columns << q.record().indexOf(name);
            lxw_workbook *book = workbook_new(bareFile.toUtf8().constData());
            lxw_worksheet *sheet = workbook_add_worksheet(book, "list");
            worksheet_write_string(sheet, 0, 0, "title", nullptr);
            for (int c = 0; c < columns.size(); ++c)
                worksheet_write_string(sheet, 2, lxw_col_t(c), shown[c].toUtf8().constData(), nullptr);
            lxw_row_t row = 3;
            while (q.next()) {
                for (int c = 0; c < columns.size(); ++c) {
                    const QVariant v = q.value(columns[c]);
                    if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
                        worksheet_write_number(sheet, row, lxw_col_t(c), v.toDouble(), nullptr);
                    else
                        worksheet_write_string(sheet, row, lxw_col_t(c), v.toString().toUtf8().constData(), nullptr);
                }
                ++row;
            }
            workbook_close(book);
        });
    }
    if (!books().messages.texts(pub::MessageKind::Error).isEmpty() || rows < kGrow)
        state.SkipWithError(("failed: " + books().messages.texts().join(u'|').toStdString()).c_str());
    state.counters["rows"] = rows;
    report(state, ours, bare);
    pub::setFileDialogService(nullptr);
}
BENCHMARK(BM_ExportList)->Unit(benchmark::kMillisecond)->Iterations(2)->UseManualTime();

// ---------------------------------------------------------------- the 1,000-line note

std::unique_ptr<TPNOrderForm> openBigOrder()
{
    books();
    std::unique_ptr<TPNOrderForm> form(CreateNoteForm<TPNOrderForm>());
    form->show();
    if (pk_note::SendNoteMessage(form.get(), pk_note::NM_NOTELOCATE, 0, int(g_bigOrder)) != pk_note::S_OK
        || form->DetailDataSet()->RecordCount() != kLines)
        qFatal("the 1,000-line order did not open");
    form->findChild<widgets::TRqLookupCombo *>(QStringLiteral("RptStyleCB"))->setKeyValue(QVariant());
    return form;
}

// From the menu item to the preview showing its first page.
void BM_PreviewFirstPage(benchmark::State &state)
{
    std::unique_ptr<TPNOrderForm> form = openBigOrder();
    Clock ours;
    int shown = 0;
    books().modal.setHandler([&](QWidget *w) {
        w->show(); // the preview lays out its pages when shown
        QApplication::processEvents();
        shown += qobject_cast<QPrintPreviewDialog *>(w) != nullptr;
        return 0;
    });
    for (auto _ : state) {
        books().messages.answer(AnswerYes); // the standard style
        state.SetIterationTime(ours.time([&] { form->PrintPreviewPMItemClick(); }));
    }
    books().modal.setHandler({});
    if (!books().messages.texts(pub::MessageKind::Error).isEmpty() || shown != int(state.iterations()))
        state.SkipWithError(("failed: " + books().messages.texts().join(u'|').toStdString()).c_str());
    report(state, ours, {});
}
BENCHMARK(BM_PreviewFirstPage)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

// The note printed to PDF, and the same texts drawn bare on as many pages.
void BM_PrintPdf(benchmark::State &state)
{
    std::unique_ptr<TPNOrderForm> form = openBigOrder();
    const QString file = books().dir.filePath(QStringLiteral("order.pdf"));
    const QString bareFile = books().dir.filePath(QStringLiteral("bare.pdf"));
    Clock ours, bare;
    int pages = 0;
    for (auto _ : state) {
        state.SetIterationTime(ours.time([&] {
            TCorvanReportStyle report(form->MasterDataSource(), form->DetailDataSource());
            books().messages.answer(AnswerYes);
            if (!form->ChooseReportStyle(&report))
                return;
            form->SetReportVariables(&report);
            pages = report.PageCount();
            report.PrintToPdf(file);
        }));

        // The texts of the lines as the page shows them, drawn in rows of cells.
        data::ClientDataSet *lines = form->DetailDataSet();
        const int columns = lines->FieldCount();
        bare.time([&] {
            QPdfWriter pdf(bareFile);
            pdf.setPageSize(QPageSize(QPageSize::A4));
            pdf.setPageOrientation(QPageLayout::Landscape);
            QPainter p(&pdf);
            QFont font(QStringLiteral("WenQuanYi Zen Hei"));
            font.setPixelSize(pdf.height() / 100);
            p.setFont(font);
            const int rowHeight = pdf.height() / (kLines / std::max(1, pages) + 12);
            const int cellWidth = pdf.width() / 22;
            int y = rowHeight * 6;
            for (int row = 0; row < kLines; ++row) {
                if (y > pdf.height() - rowHeight * 4) {
                    pdf.newPage();
                    y = rowHeight * 6;
                }
                for (int c = 0, x = 0; c < columns && c < 22; ++c, x += cellWidth) {
                    const QRect r(x, y, cellWidth, rowHeight);
                    p.drawRect(r);
                    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, lines->ValueAt(row, c).toString());
                }
                y += rowHeight;
            }
        });
    }
    if (!books().messages.texts(pub::MessageKind::Error).isEmpty() || QFile(file).size() < 10000)
        state.SkipWithError(("failed: " + books().messages.texts().join(u'|').toStdString()).c_str());
    state.counters["pages"] = pages;
    report(state, ours, bare);
}
BENCHMARK(BM_PrintPdf)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

class BudgetReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            const auto at = [&](const char *k) {
                const auto it = r.counters.find(k);
                return it == r.counters.end() ? 0.0 : it->second.value;
            };
            const double ms = at("ms"), cpu = at("cpu_ms"), bare = at("bare_ms"), bareCpu = at("bare_cpu_ms");
            const std::string name = r.benchmark_name();
            double limit = 0;
            if (name.find("Preview") != std::string::npos)
                limit = 300;
            else if (name.find("Pdf") != std::string::npos)
                limit = 1000;
            std::printf("  %-20s %9.2f ms (processor %9.2f ms)", name.c_str(), ms, cpu);
            if (bare > 0)
                std::printf("; bare %9.2f ms (processor %9.2f ms), ratio %.2f (processor %.2f)", bare, bareCpu, ms / bare,
                            cpu / bareCpu);
            const bool over = (limit > 0 && ms > limit) || (bare > 0 && ms / bare > 2);
            std::printf("%s\n", over ? "  over the budget" : "");
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    noteLoad();
    benchmark::Initialize(&argc, argv);
    BudgetReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    SetStartupDB(nullptr);
    return 0;
}
