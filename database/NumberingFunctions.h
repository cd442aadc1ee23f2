#pragma once
// SQL functions behind document numbering, usable inside statements as
// dbo.funcdefCodeToSerialNo(code, digits) and
// dbo.funcdefDateComp(periodFormat, noteDate, 'mm/dd/yyyy').

#include <QVariant>
#include <QVariantList>

namespace notedb {

// Registers both functions with the database layer; call before opening books
// (the layer installs registered functions on each connection it opens).
// Safe to call more than once.
void registerNumberingFunctions();

// The integer value of the last `digits` characters of `code` (the whole code
// when shorter) when they are all digits; null otherwise.
QVariant codeToSerialNo(const QVariant &code, const QVariant &digits);

// 1 when `noteDate` (stored "yyyy-MM-dd[ HH:mm:ss]") lies in the same period as
// `date` ("mm/dd/yyyy"; "yyyy-MM-dd" is accepted too) for the period format
// "yyyy", "yyyymm" or "yyyymmdd"; 0 otherwise or when a date is missing. An
// empty format makes every date one period. Throws db::DbError for any other
// format or an unreadable date argument.
QVariant dateComp(const QVariant &periodFormat, const QVariant &noteDate, const QVariant &date);

} // namespace notedb
