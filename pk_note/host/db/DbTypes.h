#pragma once
// The plain types of the database layer that callers above it see: errors,
// result sets, parameters and quoting. No engine or driver header comes with
// them, so the package cannot reach the connection by accident.

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <stdexcept>

namespace db {

// An error raised by the database or by the layer; what() is the text shown to
// the user. For an engine failure that is a Chinese sentence saying what
// happened (disk full, read-only books, books busy...) followed by the engine's
// own text; code() is then the engine's primary result code (SQLITE_FULL...),
// 0 for the layer's own refusals.
class DbError : public std::runtime_error {
public:
    explicit DbError(const QString &text, int code = 0, const QString &engineText = {});
    QString text() const { return m_text; }
    int code() const { return m_code; }
    QString engineText() const { return m_engineText; }

private:
    QString m_text;
    int m_code = 0;
    QString m_engineText;
};

// A guarded write (one carrying the original values it depends on) touched no
// row: another client changed or deleted the record since it was read. The
// caller rolls the whole action back and shows the record as it now stands.
class ConcurrencyError : public DbError {
public:
    explicit ConcurrencyError(const QString &text = defaultText()) : DbError(text) {}
    static QString defaultText();
};

// The text a user reads for an engine failure: the sentence for the code (when
// the code has one) followed by the engine's text.
QString engineErrorText(int code, const QString &engineText);

// A failure the layer injects on purpose, so that tests of every layer can see
// what a failing disk does to them. The nth statement from now (counting the
// statements run through exec/execPrepared; only those whose text contains
// `match` when it is given, and then also the "BEGIN IMMEDIATE" and "COMMIT"
// of transactions) fails with
// the engine's text and code `code`. When `endsTransaction`, the open
// transaction is really rolled back first, as the engine does itself on a full
// disk or an I/O error.
struct Fault {
    int nth = 1;
    int code = 13; // SQLITE_FULL
    QString match;
    bool endsTransaction = true;
};

// A materialised result set (used by the batch runner, procedures and notectl).
struct ResultSet {
    QStringList columns;
    QVector<QVector<QVariant>> rows;
    bool isEmpty() const { return rows.isEmpty(); }
    int columnIndex(const QString &name) const; // case-insensitive, -1 when absent
    QVariant value(int row, const QString &column) const;
};

// Named parameters bound to ":name" placeholders (names without the colon, any case).
using Params = QHash<QString, QVariant>;

// One argument of a procedure call. An OUTPUT argument names the batch variable
// that receives `value` after the call.
struct ProcArg {
    QVariant value;
    bool output = false;
    QString variable; // "@v" for OUTPUT arguments, empty otherwise
};

// Quotes text for SQL: doubles single quotes and wraps it in quotes.
QString QuotedStr(const QString &text);

} // namespace db
