#include "NoteReport.h"

#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "data/Field.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

// Everything is drawn in tenths of a millimetre on an A4 sheet.
namespace {

constexpr int kA4Width = 2100;
constexpr int kA4Height = 2970;
constexpr int kTitleFont = 60, kSubtitleFont = 46, kTextFont = 30, kTableFont = 28;
constexpr int kCellHeight = 46, kRowHeight = 48, kTitleHeight = 80, kSubtitleHeight = 70, kPageNoHeight = 50;

QFont font(int pixels, bool bold = false)
{
    QFont f(QStringLiteral("WenQuanYi Zen Hei"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

bool isNumber(data::FieldType t) { return t == data::FieldType::Integer || t == data::FieldType::Float; }

struct Cell {
    QString label, text;
    int span = 1;
};

} // namespace

struct TCorvanReportStyle::Layout {
    int width = 0, height = 0; // the sheet
    int margin = 120;
    QVector<Cell> header, footer;
    int headerColumns = 3, footerColumns = 3;
    int headerRows = 0, footerRows = 0;
    struct Column {
        QString field, title, format;
        double width = 10;
        int index = -1; // in the detail set; -1 for the row number
        data::FieldType type = data::FieldType::String;
        bool sum = false;
    };
    QVector<Column> columns;
    QVector<int> xs; // the columns' left edges and the right edge of the last
    int lineCount = 0;
    int rowsPerPage = 1;
    int pages = 1;
    int top = 0; // where the lines start
};

TCorvanReportStyle::TCorvanReportStyle(data::DataSource *master, data::DataSource *detail)
    : m_master(master), m_detail(detail)
{
}

TCorvanReportStyle::~TCorvanReportStyle() = default;

data::ClientDataSet *TCorvanReportStyle::masterSet() const { return m_master ? m_master->DataSet() : nullptr; }
data::ClientDataSet *TCorvanReportStyle::detailSet() const { return m_detail ? m_detail->DataSet() : nullptr; }

QByteArray TCorvanReportStyle::StandardTemplate(const StandardParts &parts)
{
    QFile f(QStringLiteral(":/pk_note/templates/standard.rpt"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QJsonObject t = QJsonDocument::fromJson(f.readAll()).object();
    QJsonArray header = t.value(QLatin1String("header")).toArray();
    for (const StandardParts::Item &i : parts.header)
        header.append(QJsonObject{{QStringLiteral("label"), i.caption},
                                  {QStringLiteral("text"), u'[' + QStringLiteral("M.") + i.field + u']'},
                                  {QStringLiteral("needs"), i.field}});
    t.insert(QStringLiteral("header"), header);
    if (parts.lines.isEmpty()) {
        t.remove(QStringLiteral("lines"));
        t.remove(QStringLiteral("sums"));
    } else {
        QJsonArray lines = t.value(QLatin1String("lines")).toArray();
        QJsonArray sums;
        for (const StandardParts::Line &l : parts.lines) {
            QJsonObject o{{QStringLiteral("field"), l.field}, {QStringLiteral("title"), l.title},
                          // never narrower than its title
                          {QStringLiteral("width"), std::max(l.width / 8, int(l.title.size()) * 3 + 2)}};
            if (!l.format.isEmpty())
                o.insert(QStringLiteral("format"), l.format);
            lines.append(o);
            if (l.sum)
                sums.append(l.field);
        }
        t.insert(QStringLiteral("lines"), lines);
        t.insert(QStringLiteral("sums"), sums);
        // Wide line tables are printed across the sheet.
        if (parts.lines.size() > 10) {
            QJsonObject page = t.value(QLatin1String("page")).toObject();
            page.insert(QStringLiteral("orientation"), QStringLiteral("landscape"));
            t.insert(QStringLiteral("page"), page);
        }
    }
    return QJsonDocument(t).toJson(QJsonDocument::Indented);
}

bool TCorvanReportStyle::LoadFromFile(const QString &fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        ShowError(QStringLiteral("无法读取打印样式文件 ") + fileName);
        return false;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()
        || !doc.object().value(QLatin1String("format")).toString().startsWith(QLatin1String("pk_note-report/"))) {
        ShowError(QStringLiteral("打印样式文件不是本系统的打印样式: ") + fileName);
        return false;
    }
    m_template = doc.object();
    return true;
}

void TCorvanReportStyle::SetVariables(const QHash<QString, QVariant> &values)
{
    for (auto it = values.begin(); it != values.end(); ++it)
        m_variables.insert(it.key(), it.value());
}

QString TCorvanReportStyle::Expand(const QString &text) const
{
    static const QRegularExpression placeholder(QStringLiteral("\\[([^\\[\\]]+)\\]"));
    QString out;
    qsizetype at = 0;
    for (auto it = placeholder.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(at, m.capturedStart() - at);
        const QString name = m.captured(1);
        if (m_variables.contains(name)) {
            out += m_variables.value(name).toString();
        } else if (name.startsWith(QLatin1String("M."), Qt::CaseInsensitive) && masterSet()) {
            if (const data::Field *f = masterSet()->FindField(name.mid(2)))
                out += f->DisplayText();
        }
        at = m.capturedEnd();
    }
    return out + text.mid(at);
}

bool TCorvanReportStyle::cellShown(const QJsonObject &cell) const
{
    const QString needs = cell.value(QLatin1String("needs")).toString();
    return needs.isEmpty() || m_variables.contains(needs) || (masterSet() && masterSet()->FindField(needs));
}

QString TCorvanReportStyle::cellText(const Layout &l, int column, const QVariant &v) const
{
    const Layout::Column &c = l.columns[column];
    if (v.isNull())
        return {};
    const QString format = c.format.isEmpty() ? detailSet()->FieldAt(c.index)->DisplayFormat() : c.format;
    if (format.isEmpty())
        return v.toString();
    return data::formatWith(data::parseDisplayFormat(format, c.type), c.type, v);
}

double TCorvanReportStyle::columnSum(const Layout &l, int column) const
{
    double sum = 0;
    for (int row = 0; row < l.lineCount; ++row)
        sum += detailSet()->ValueAt(row, l.columns[column].index).toDouble();
    return sum;
}

// Each column is as wide as its title and its texts need (the first rows and
// the sum measured), the room left shared out as the template's widths say;
// on a sheet too narrow the columns give up what they need beyond their titles.
QVector<int> TCorvanReportStyle::columnEdges(const Layout &l, int width) const
{
    const int n = int(l.columns.size());
    if (n == 0)
        return {0};
    const QFontMetrics plain(font(kTableFont)), bold(font(kTableFont, true));
    constexpr int kPadding = 20;
    constexpr int kMeasuredRows = 200;
    QVector<double> need(n), floor(n);
    double declared = 0;
    for (int c = 0; c < n; ++c) {
        const Layout::Column &col = l.columns[c];
        floor[c] = bold.horizontalAdvance(c == 0 ? QStringLiteral("合计") : col.title) + kPadding;
        need[c] = std::max(floor[c], double(bold.horizontalAdvance(col.title) + kPadding));
        if (col.index < 0)
            need[c] = std::max(need[c], double(plain.horizontalAdvance(QString::number(l.lineCount)) + kPadding));
        else {
            for (int row = 0; row < std::min(l.lineCount, kMeasuredRows); ++row)
                need[c] = std::max(need[c], double(plain.horizontalAdvance(cellText(l, c, detailSet()->ValueAt(row, col.index)))
                                                   + kPadding));
            if (col.sum)
                need[c] = std::max(need[c], double(bold.horizontalAdvance(cellText(l, c, columnSum(l, c))) + kPadding));
        }
        declared += std::max(0.1, col.width);
    }
    double needed = 0, floors = 0;
    for (int c = 0; c < n; ++c)
        needed += need[c], floors += floor[c];
    QVector<double> w(n);
    for (int c = 0; c < n; ++c) {
        if (needed <= width)
            w[c] = need[c] + (width - needed) * std::max(0.1, l.columns[c].width) / declared;
        else if (floors <= width)
            w[c] = floor[c] + (need[c] - floor[c]) * (width - floors) / std::max(1.0, needed - floors);
        else
            w[c] = floor[c] * width / floors;
    }
    QVector<int> xs{0};
    double x = 0;
    for (int c = 0; c < n; ++c)
        xs << int(std::lround(x += w[c]));
    xs.last() = width;
    return xs;
}

TCorvanReportStyle::Layout TCorvanReportStyle::layout() const
{
    Layout l;
    const QJsonObject page = m_template.value(QLatin1String("page")).toObject();
    const bool landscape = page.value(QLatin1String("orientation")).toString() == QLatin1String("landscape");
    l.width = landscape ? kA4Height : kA4Width;
    l.height = landscape ? kA4Width : kA4Height;
    l.margin = page.value(QLatin1String("margin")).toInt(12) * 10;

    auto cells = [this](const char *key) {
        QVector<Cell> out;
        for (const QJsonValue &v : m_template.value(QLatin1String(key)).toArray()) {
            const QJsonObject o = v.toObject();
            if (cellShown(o))
                out << Cell{o.value(QLatin1String("label")).toString(), Expand(o.value(QLatin1String("text")).toString()),
                            std::max(1, o.value(QLatin1String("span")).toInt(1))};
        }
        return out;
    };
    auto rows = [](const QVector<Cell> &c, int columns) {
        int rowCount = 0, used = columns;
        for (const Cell &x : c) {
            if (used + std::min(x.span, columns) > columns)
                ++rowCount, used = 0;
            used += std::min(x.span, columns);
        }
        return rowCount;
    };
    l.header = cells("header");
    l.footer = cells("footer");
    l.headerColumns = std::max(1, m_template.value(QLatin1String("headerColumns")).toInt(3));
    l.footerColumns = std::max(1, m_template.value(QLatin1String("footerColumns")).toInt(3));
    l.headerRows = rows(l.header, l.headerColumns);
    l.footerRows = rows(l.footer, l.footerColumns);

    data::ClientDataSet *detail = detailSet();
    const QJsonArray sums = m_template.value(QLatin1String("sums")).toArray();
    if (detail && detail->Active())
        for (const QJsonValue &v : m_template.value(QLatin1String("lines")).toArray()) {
            const QJsonObject o = v.toObject();
            Layout::Column c;
            c.field = o.value(QLatin1String("field")).toString();
            c.title = o.value(QLatin1String("title")).toString();
            c.format = o.value(QLatin1String("format")).toString();
            c.width = o.value(QLatin1String("width")).toDouble(10);
            if (c.field != QLatin1String("#")) {
                const data::Field *f = detail->FindField(c.field);
                if (!f || !f->Visible())
                    continue;
                c.index = f->Index();
                c.type = f->DataType();
            }
            c.sum = sums.contains(QJsonValue(c.field));
            l.columns << c;
        }
    l.lineCount = l.columns.isEmpty() ? 0 : detail->RecordCount();
    l.xs = columnEdges(l, l.width - 2 * l.margin);

    l.top = kTitleHeight + kSubtitleHeight + l.headerRows * kCellHeight + 20;
    const int bottom = (l.columns.isEmpty() ? 0 : 2 * kRowHeight) + l.footerRows * kCellHeight + 20 + kPageNoHeight;
    const int room = l.height - 2 * l.margin - l.top - bottom;
    l.rowsPerPage = std::max(1, room / kRowHeight);
    l.pages = std::max(1, (l.lineCount + l.rowsPerPage - 1) / l.rowsPerPage);
    return l;
}

int TCorvanReportStyle::PageCount() const { return layout().pages; }

void TCorvanReportStyle::paintPage(QPainter &p, const Layout &l, int page) const
{
    p.save();
    p.translate(l.margin, l.margin);
    const int width = l.width - 2 * l.margin;
    const int height = l.height - 2 * l.margin;
    p.setPen(Qt::black);

    int y = 0;
    p.setFont(font(kTitleFont, true));
    p.drawText(QRect(0, y, width, kTitleHeight), Qt::AlignCenter,
               Expand(m_template.value(QLatin1String("title")).toString()));
    y += kTitleHeight;
    p.setFont(font(kSubtitleFont, true));
    const QString subtitle = Expand(m_template.value(QLatin1String("subtitle")).toString());
    p.drawText(QRect(0, y, width, kSubtitleHeight), Qt::AlignCenter, subtitle);
    const QString stamp = Expand(m_template.value(QLatin1String("stamp")).toObject().value(QLatin1String("text")).toString());
    if (!stamp.isEmpty()) {
        p.save();
        p.setPen(QPen(QColor(0xc0, 0x39, 0x2b), 4));
        p.setFont(font(kTextFont, true));
        const QRect box(width - 220, y + 10, 200, kSubtitleHeight - 20);
        p.drawRect(box);
        p.drawText(box, Qt::AlignCenter, stamp);
        p.restore();
    }
    y += kSubtitleHeight;

    // Cells of label and text, a row holding `columns` of them.
    auto drawCells = [&](const QVector<Cell> &cells, int columns, int top) {
        p.setFont(font(kTextFont));
        const int columnWidth = width / columns;
        int used = columns, row = -1;
        for (const Cell &c : cells) {
            const int span = std::min(c.span, columns);
            if (used + span > columns)
                ++row, used = 0;
            const QRect r(used * columnWidth, top + row * kCellHeight, span * columnWidth - 20, kCellHeight);
            const QString text = c.label + QStringLiteral(": ") + c.text;
            p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, p.fontMetrics().elidedText(text, Qt::ElideRight, r.width()));
            used += span;
        }
    };
    drawCells(l.header, l.headerColumns, y);
    y += l.headerRows * kCellHeight + 20;

    if (!l.columns.isEmpty()) {
        const QVector<int> &xs = l.xs;
        auto cellRect = [&](int column, int top) {
            return QRect(xs[column], top, xs[column + 1] - xs[column], kRowHeight);
        };
        auto drawText = [&](const QRect &r, const QString &text, Qt::Alignment align) {
            p.drawRect(r);
            const QRect inner = r.adjusted(8, 0, -8, 0);
            p.drawText(inner, align | Qt::AlignVCenter, p.fontMetrics().elidedText(text, Qt::ElideRight, inner.width()));
        };
        p.setFont(font(kTableFont, true));
        p.fillRect(QRect(0, y, width, kRowHeight), QColor(0xee, 0xee, 0xee));
        for (int c = 0; c < l.columns.size(); ++c)
            drawText(cellRect(c, y), l.columns[c].title, Qt::AlignHCenter);
        y += kRowHeight;

        data::ClientDataSet *detail = detailSet();
        p.setFont(font(kTableFont));
        const int first = page * l.rowsPerPage;
        const int last = std::min(l.lineCount, first + l.rowsPerPage);
        for (int row = first; row < last; ++row, y += kRowHeight)
            for (int c = 0; c < l.columns.size(); ++c) {
                const Layout::Column &col = l.columns[c];
                if (col.index < 0) {
                    drawText(cellRect(c, y), QString::number(row + 1), Qt::AlignHCenter);
                    continue;
                }
                drawText(cellRect(c, y), cellText(l, c, detail->ValueAt(row, col.index)),
                         isNumber(col.type) ? Qt::AlignRight : Qt::AlignLeft);
            }
        if (page == l.pages - 1) {
            p.setFont(font(kTableFont, true));
            for (int c = 0; c < l.columns.size(); ++c) {
                const Layout::Column &col = l.columns[c];
                QString text = c == 0 ? QStringLiteral("合计") : QString();
                if (col.sum && col.index >= 0)
                    text = cellText(l, c, columnSum(l, c));
                drawText(cellRect(c, y), text, col.sum ? Qt::AlignRight : Qt::AlignHCenter);
            }
            y += kRowHeight;
        }
        y += 20;
    }
    if (page == l.pages - 1)
        drawCells(l.footer, l.footerColumns, y);

    QString number = m_template.value(QLatin1String("pageNumber")).toString();
    number.replace(QLatin1String("[Page]"), QString::number(page + 1));
    number.replace(QLatin1String("[Pages]"), QString::number(l.pages));
    p.setFont(font(kTableFont));
    p.drawText(QRect(0, height - kPageNoHeight, width, kPageNoHeight), Qt::AlignCenter, Expand(number));
    p.restore();
}

void TCorvanReportStyle::Render(QPrinter *printer) const
{
    const Layout l = layout();
    printer->setFullPage(true);
    printer->setPageSize(QPageSize(QPageSize::A4));
    printer->setPageOrientation(l.width > l.height ? QPageLayout::Landscape : QPageLayout::Portrait);
    QPainter p;
    if (!p.begin(printer))
        throw PubError(QStringLiteral("无法开始打印: ") + printer->outputFileName());
    p.setRenderHint(QPainter::Antialiasing);
    for (int page = 0; page < l.pages; ++page) {
        if (page > 0)
            printer->newPage();
        p.setViewport(0, 0, printer->width(), printer->height());
        p.setWindow(0, 0, l.width, l.height);
        paintPage(p, l, page);
    }
    p.end();
}

bool TCorvanReportStyle::PrintToPdf(const QString &fileName) const
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(fileName);
    try {
        Render(&printer);
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    return true;
}

bool TCorvanReportStyle::Print(const QString &documentName) const
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        // No printer installed: the pages go to a file the user names.
        const QString file = AskSaveFileName(QStringLiteral("打印到文件"), documentName + QStringLiteral(".pdf"),
                                             QStringLiteral("PDF 文件 (*.pdf)"));
        return !file.isEmpty() && PrintToPdf(file);
    }
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(documentName);
    try {
        Render(&printer);
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    return true;
}

void TCorvanReportStyle::Preview(const QString &documentName) const
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(documentName);
    QPrintPreviewDialog dialog(&printer);
    dialog.setObjectName(QStringLiteral("PrintPreview"));
    dialog.resize(960, 760);
    dialog.setWindowTitle(QStringLiteral("打印预览 - ") + documentName);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [this](QPrinter *p) {
        try {
            Render(p);
        } catch (const std::exception &e) {
            ShowError(e);
        }
    });
    ShowModal(&dialog);
}

QImage TCorvanReportStyle::PageImage(int page, int dpi) const
{
    const Layout l = layout();
    const double pixelsPerUnit = dpi / 254.0;
    QImage image(int(l.width * pixelsPerUnit), int(l.height * pixelsPerUnit), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setViewport(0, 0, image.width(), image.height());
    p.setWindow(0, 0, l.width, l.height);
    paintPage(p, l, std::clamp(page, 0, l.pages - 1));
    return image;
}
