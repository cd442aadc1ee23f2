#pragma once
// The report component of the document windows. A print template is a file
// in a format of our own (JSON, ".Rpt"): the page, a title, the master cells
// in rows of label and text, the columns of the lines with their sums, the
// cells under the lines and the page number. Texts hold placeholders:
// [Name] is a report variable, [M.FIELD] the shown text of a master field,
// a line column names its detail field. A cell or column whose master field,
// detail field or variable ("needs") is missing is left out, so one standard
// template fits every kind.
//
// Every template is stored in the books (printtemplatelth). The standard one
// of a note type (id 6000 + note type) is made from the kind's declaration in
// a built-in frame: its master fields, its lines as the grid shows them with
// their sums, the amount in words, maker and auditor.

#include <QHash>
#include <QImage>
#include <QJsonObject>
#include <QString>
#include <QVariant>
#include <QVector>

class QPainter;
class QPrinter;
class TBasenoteForm;

namespace data {
class DataSource;
class ClientDataSet;
} // namespace data

class TCorvanReportStyle {
public:
    // The master source is required; a master-detail window also gives its lines.
    explicit TCorvanReportStyle(data::DataSource *master, data::DataSource *detail = nullptr);
    ~TCorvanReportStyle();

    // Reads a template file; false (and the reason shown) when it is missing
    // or not a template.
    bool LoadFromFile(const QString &fileName);
    bool Loaded() const { return !m_template.isEmpty(); }
    const QJsonObject &Template() const { return m_template; }

    void SetVariable(const QString &name, const QVariant &value) { m_variables.insert(name, value); }
    void SetVariables(const QHash<QString, QVariant> &values);
    QVariant Variable(const QString &name) const { return m_variables.value(name); }
    const QHash<QString, QVariant> &Variables() const { return m_variables; }
    // A text with its placeholders filled in.
    QString Expand(const QString &text) const;

    int PageCount() const;
    // Draws the pages on a printer (or a PDF writer set up as one).
    void Render(QPrinter *printer) const;
    // Prints on the default printer; without one installed the pages go to a
    // PDF file the user names. False when nothing was printed.
    bool Print(const QString &documentName) const;
    bool PrintToPdf(const QString &fileName) const;
    // The preview window, shown modally.
    void Preview(const QString &documentName) const;
    // One page as a picture (A4 at `dpi`), to look at a template.
    QImage PageImage(int page, int dpi = 96) const;

    // What a kind's standard template is made of.
    struct StandardParts {
        struct Item {
            QString field, caption;
        };
        struct Line {
            QString field, title, format;
            int width = 80; // the grid's, in pixels; the page shares its width out in proportion
            bool sum = false;
        };
        QVector<Item> header;
        QVector<Line> lines;
    };
    // The standard template of a kind as stored (UTF-8 JSON).
    static QByteArray StandardTemplate(const StandardParts &parts);

private:
    struct Layout;
    Layout layout() const;
    void paintPage(QPainter &p, const Layout &l, int page) const;
    QVector<int> columnEdges(const Layout &l, int width) const;
    QString cellText(const Layout &l, int column, const QVariant &value) const;
    double columnSum(const Layout &l, int column) const;
    bool cellShown(const QJsonObject &cell) const;
    data::ClientDataSet *masterSet() const;
    data::ClientDataSet *detailSet() const;

    data::DataSource *m_master;
    data::DataSource *m_detail;
    QJsonObject m_template;
    QHash<QString, QVariant> m_variables;
};

// The standard template of a window's kind, made from its declaration.
QByteArray StandardTemplateOf(const TBasenoteForm *form);
// Writes the kind's standard template (id and type 6000 + note type) and its
// system copy (the negative id, for restoring) when the books lack them.
// False when the books could not take them (the reason is not shown: a
// window still opens on read-only books).
bool EnsureStandardTemplate(const TBasenoteForm *form);
