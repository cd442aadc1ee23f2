#pragma once
// Helpers shared by the files of libnotedb, not part of its interface.

#include "db/Database.h"

#include <QString>
#include <QVector>

namespace notedb::detail {

// A table whose new rows take their id from the key table.
struct KeyTable {
    const char *table;
    const char *idColumn; // empty for document tables created by later areas
};
const QVector<KeyTable> &keyTables();

// Raises every key-table row to the highest id present in its table.
void raiseKeysToData(db::Database &database);

} // namespace notedb::detail
