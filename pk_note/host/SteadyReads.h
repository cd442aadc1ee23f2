#pragma once
// The rules a batch asks of every note (rights, parameters, whether a
// partner, department or employee is closed) do not change within one user
// action. While a SteadyReads lives, such a read goes to the books once per
// statement and values; at other times every read goes to the books, so a
// change made by any window is seen at once.

#include "db/DbTypes.h"

namespace db {
class Database;
}

class SteadyReads {
public:
    SteadyReads();
    ~SteadyReads();
    SteadyReads(const SteadyReads &) = delete;
    SteadyReads &operator=(const SteadyReads &) = delete;

private:
    db::Database *m_books; // the start-up books, which outlive one user action
};

// The rows of `sql` on the start-up books; empty when none are open.
db::ResultSet SteadySelect(const QString &sql, const db::Params &params = {});
// The first column of the first row, or a null value.
QVariant SteadyScalar(const QString &sql, const db::Params &params = {});
