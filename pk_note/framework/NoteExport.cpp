#include "NoteExport.h"

#include "Basenote.h"
#include "MDnote.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QHeaderView>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <xlsxwriter.h>

#include <algorithm>

namespace {

// The text a control shows for its value.
QString shownText(QWidget *w)
{
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *e = qobject_cast<QAbstractSpinBox *>(w))
        return e->text();
    if (auto *e = qobject_cast<QPlainTextEdit *>(w))
        return e->toPlainText();
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->isChecked() ? QStringLiteral("是") : QStringLiteral("否");
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    return w->property("text").toString();
}

QString plainCaption(QString caption)
{
    caption.remove(u'&');
    while (caption.endsWith(u':') || caption.endsWith(u'：'))
        caption.chop(1);
    return caption.trimmed();
}

// Caption and shown text of every master control the window shows, in the
// order it was built: the number and date first, then the labelled controls
// and check boxes.
QVector<QPair<QString, QString>> masterFields(TBasenoteForm *form)
{
    QVector<QPair<QString, QString>> out;
    auto add = [&](const QString &caption, QWidget *w) {
        if (w && w->isVisibleTo(form))
            out.append({plainCaption(caption), shownText(w)});
    };
    add(QStringLiteral("单据号码"), form->findChild<QWidget *>(QStringLiteral("NoDBEdit")));
    add(QStringLiteral("单据日期"), form->findChild<QWidget *>(QStringLiteral("DateDBEdit")));
    for (QWidget *w : form->findChildren<QWidget *>()) {
        if (w->window() != form->window())
            continue;
        if (auto *label = qobject_cast<QLabel *>(w); label && label->buddy())
            add(label->text(), label->buddy());
        else if (auto *check = qobject_cast<widgets::TRqDBCheckBox *>(w))
            add(check->text(), check);
    }
    return out;
}

bool isNumber(data::FieldType t) { return t == data::FieldType::Integer || t == data::FieldType::Float; }

class Workbook {
public:
    // The sheet is written to a scratch file and moved into place whole, so
    // a file that cannot be written is never left half made.
    explicit Workbook(const QString &fileName) : m_target(fileName)
    {
        if (!m_scratchDir.isValid())
            throw PubError(QStringLiteral("无法写入文件 %1: 没有可用的临时目录").arg(fileName));
        m_name = m_scratchDir.filePath(QStringLiteral("book.xlsx")).toUtf8();
        m_book = workbook_new(m_name.constData());
        if (!m_book)
            throw PubError(QStringLiteral("无法写入文件 %1").arg(fileName));
        m_sheet = workbook_add_worksheet(m_book, "单据");
        m_bold = workbook_add_format(m_book);
        format_set_bold(m_bold);
    }
    ~Workbook()
    {
        if (m_book)
            workbook_close(m_book);
    }
    void text(int row, int col, const QString &s, bool bold = false)
    {
        worksheet_write_string(m_sheet, lxw_row_t(row), lxw_col_t(col), s.toUtf8().constData(), bold ? m_bold : nullptr);
    }
    // Display formats with optional decimals ("#0.####") would leave a bare
    // point on whole numbers in a spreadsheet; those are written as General.
    void number(int row, int col, double v, const QString &displayFormat)
    {
        lxw_format *f = nullptr;
        if (!displayFormat.isEmpty() && !displayFormat.contains(QLatin1String(".#"))) {
            f = m_formats.value(displayFormat);
            if (!f) {
                f = workbook_add_format(m_book);
                format_set_num_format(f, displayFormat.toUtf8().constData());
                m_formats.insert(displayFormat, f);
            }
        }
        worksheet_write_number(m_sheet, lxw_row_t(row), lxw_col_t(col), v, f);
    }
    void width(int col, double chars) { worksheet_set_column(m_sheet, lxw_col_t(col), lxw_col_t(col), chars, nullptr); }
    void close()
    {
        const lxw_error error = workbook_close(m_book);
        m_book = nullptr;
        if (error != LXW_NO_ERROR)
            throw PubError(QStringLiteral("无法写入文件 %1: %2").arg(m_target, QString::fromUtf8(lxw_strerror(error))));
        QFile scratch(QString::fromUtf8(m_name));
        QSaveFile out(m_target);
        if (!scratch.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            throw PubError(QStringLiteral("无法写入文件 %1: %2").arg(m_target, out.errorString()));
        const QByteArray bytes = scratch.readAll();
        if (out.write(bytes) != bytes.size() || !out.commit())
            throw PubError(QStringLiteral("无法写入文件 %1: %2").arg(m_target, out.errorString()));
    }

private:
    QString m_target;
    QTemporaryDir m_scratchDir;
    QByteArray m_name;
    lxw_workbook *m_book = nullptr;
    lxw_worksheet *m_sheet = nullptr;
    lxw_format *m_bold = nullptr;
    QHash<QString, lxw_format *> m_formats;
};

// The grid's shown columns in their order from `row` on: titles, rows (numbers
// stay numbers in the grid's formats), the footer.
void writeGrid(Workbook &book, widgets::TRqDBGrid *grid, int row)
{
    if (grid->model()) {
        QVector<int> columns; // logical columns in the order shown
        const QHeaderView *header = grid->horizontalHeader();
        for (int v = 0; v < header->count(); ++v) {
            const int c = header->logicalIndex(v);
            if (c < grid->ColumnCount() && !grid->isColumnHidden(c) && grid->Column(c).Visible)
                columns << c;
        }
        for (int i = 0; i < columns.size(); ++i) {
            book.text(row, i, grid->ColumnTitle(columns[i]), true);
            book.width(i, std::max(10.0, grid->ColumnTitle(columns[i]).size() * 2.2));
        }
        ++row;
        QAbstractItemModel *model = grid->model();
        for (int r = 0; r < model->rowCount(); ++r, ++row)
            for (int i = 0; i < columns.size(); ++i) {
                const QModelIndex index = model->index(r, columns[i]);
                const data::Field *field = grid->FieldOfColumn(columns[i]);
                const QVariant value = index.data(Qt::EditRole);
                if (field && isNumber(field->DataType()) && !value.isNull()) {
                    const QString format = grid->Column(columns[i]).DisplayFormat.isEmpty()
                                               ? field->DisplayFormat()
                                               : grid->Column(columns[i]).DisplayFormat;
                    book.number(row, i, value.toDouble(), format);
                } else {
                    book.text(row, i, index.data(Qt::DisplayRole).toString());
                }
            }
        if (grid->FooterVisible())
            for (int i = 0; i < columns.size(); ++i)
                if (const QString t = grid->FooterText(columns[i]); !t.isEmpty())
                    book.text(row, i, t, true);
    }
}

// Throws PubError when the file cannot be written.
void writeWorkbook(TBasenoteForm *form, const QString &fileName)
{
    Workbook book(fileName);
    int row = 0;
    book.text(row++, 0, form->windowTitle(), true);
    ++row;
    for (const auto &[caption, value] : masterFields(form)) {
        book.text(row, 0, caption, true);
        book.text(row++, 1, value);
    }
    book.width(0, 14);
    book.width(1, 24);

    auto *md = dynamic_cast<TMDnoteForm *>(form);
    if (widgets::TRqDBGrid *grid = md ? md->Grid() : nullptr) {
        ++row;
        writeGrid(book, grid, row);
    }
    book.close();
}

} // namespace

bool ExportNoteToExcel(TBasenoteForm *form)
{
    if (!form || !HasNewPrivilege2(2000 + form->NoteType(), 4, true))
        return false;
    const QString code = form->MasterValue(QStringLiteral("NOTECODE")).toString().trimmed();
    const QString suggested = form->windowTitle() + (code.isEmpty() ? QString() : u'-' + code) + QStringLiteral(".xlsx");
    QString fileName = AskSaveFileName(QStringLiteral("导出Excel"), suggested, QStringLiteral("Excel 文件 (*.xlsx)"));
    if (fileName.isEmpty())
        return false;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".xlsx");
    try {
        writeWorkbook(form, fileName);
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    ShowInformation(QStringLiteral("已导出到 ") + fileName);
    return true;
}

bool OutToExcelFun(widgets::TRqDBGrid *grid, const QString &title)
{
    if (!grid)
        return false;
    QString suggested = title;
    suggested.replace(u':', u'-');
    QString fileName = AskSaveFileName(QStringLiteral("导出Excel"), suggested + QStringLiteral(".xlsx"),
                                       QStringLiteral("Excel 文件 (*.xlsx)"));
    if (fileName.isEmpty())
        return false;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".xlsx");
    try {
        Workbook book(fileName);
        book.text(0, 0, title, true);
        writeGrid(book, grid, 2);
        book.close();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    ShowInformation(QStringLiteral("已导出到 ") + fileName);
    return true;
}
