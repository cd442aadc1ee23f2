#pragma once
// Helpers shared by the files of libnotedb, not part of its interface.

#include "db/Database.h"

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
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

// Inserts one row: values bound to the columns in order.
void insertRow(db::Database &database, const QString &table, const QStringList &columns, const QVariantList &values);

// Runs `step` in a transaction of its own, rolled back when it throws.
void inTransaction(db::Database &database, const std::function<void()> &step);

} // namespace notedb::detail
