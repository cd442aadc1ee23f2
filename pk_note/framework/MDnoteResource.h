#pragma once
// The line part of a master-detail kind's resource block: the qryDetail select
// text (the line table aliased m, like the master), the line table and the
// ItemGrid columns. TMDnoteForm builds the grid, its footer and the detail
// data set from it.

#include <QVector>

namespace mdnote {

struct DetailColumn {
    const char *field = "";
    const char *caption = "";           // column title and the field's display label
    int width = -1;                     // -1: sized to the title
    const char *displayFormat = nullptr; // "#0.00", "#0.####", ...
    bool readOnly = false;
    bool total = false;                 // the footer shows the column's sum
    bool ellipsis = false;              // the cell has an edit button (Ins)
    bool visible = true;
    bool required = false;
};

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
