#pragma once
// The line part of a master-detail kind's resource block: the qryDetail select
// text (the line table aliased m, like the master), the line table and the
// ItemGrid columns. TMDnoteForm builds the grid, its footer and the detail
// data set from it.

#include <QString>
#include <QVector>

#include <optional>

namespace mdnote {

// A grid column as a kind declares it. Most columns are the shared line
// columns of LineColumn (commodity lines, user-defined fields, references):
// a kind names them and sets only what differs.
struct DetailColumn {
    const char *field = "";
    const char *caption = nullptr;       // column title and display label; null: the shared one
    int width = 0;                       // 0: the shared width; -1: sized to the title
    const char *displayFormat = nullptr; // "#0.00", "#0.####", ...; null: the shared one
    std::optional<bool> readOnly {};
    std::optional<bool> total {};           // the footer shows the column's sum
    std::optional<bool> ellipsis {};        // the cell has an edit button (Ins)
    std::optional<bool> visible {};
    std::optional<bool> required {};
};

// A declared column with the shared definition filled in.
struct ResolvedColumn {
    QString field;
    QString caption;
    int width = -1;
    QString displayFormat;
    bool readOnly = false;
    bool total = false;
    bool ellipsis = false;
    bool visible = true;
    bool required = false;
};

// The shared definition of a line column, null for a column of the kind's own.
const DetailColumn *LineColumn(const QString &field);
ResolvedColumn ResolveColumn(const DetailColumn &declared);

struct DetailResource {
    // The qryDetail SQL: "select m.* from <line table> m [joins]"; the where
    // text " Where m.<key>=<id>" is appended to it.
    const char *detailSql = "";
    // The line table (m_asDetailTable); default: the first FROM table of detailSql.
    const char *detailTable = nullptr;
    QVector<DetailColumn> columns;
    int gridMinimumHeight = 180;
};

} // namespace mdnote
