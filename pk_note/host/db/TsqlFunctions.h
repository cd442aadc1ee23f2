#pragma once
// What SQLite needs to compute as the original server does: the TSQL collation
// (case-insensitive for ASCII letters, trailing blanks ignored, everything else by
// code point) and the checked conversions, rounding and division the translator
// writes into statements (tsql_int, tsql_num, tsql_dec, tsql_varchar, tsql_char,
// tsql_round, tsql_nz). Each raises the original server's error text.

struct sqlite3;

namespace db {

// Registers the collation and the functions on one connection; false on failure.
bool installTsqlSupport(sqlite3 *handle);

// The collation's comparison, for tests and for ordering done outside the engine.
int compareTsql(const char *a, int na, const char *b, int nb);

} // namespace db
