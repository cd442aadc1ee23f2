#pragma once
// Database helpers of the host on the start-up connection: temporary queries,
// single values, keys, statements, transactions and named locks.

#include "db/DbTypes.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>

namespace db {
class Database;
}

using db::QuotedStr;

// One column of the current row of a HostQuery.
class QueryField {
public:
    QueryField(const QString &name, const QVariant &value) : m_name(name), m_value(value) {}
    QString FieldName() const { return m_name; }
    QVariant Value() const { return m_value; }
    bool IsNull() const { return m_value.isNull(); }
    QString AsString() const { return m_value.isNull() ? QString() : m_value.toString(); }
    int AsInteger() const;
    qint64 AsLargeInt() const;
    double AsFloat() const;
    bool AsBoolean() const;
    // Date columns come back as text "yyyy-MM-dd[ HH:mm:ss]"; this parses them.
    QDateTime AsDateTime() const;
    QDate AsDate() const { return AsDateTime().date(); }

private:
    QString m_name;
    QVariant m_value;
};

// A small read-only query: the whole result is read when opened, then walked
// with a cursor. Column names are case-insensitive.
class HostQuery {
public:
    explicit HostQuery(db::Database &database, const QString &sql = {});

    QString Sql() const { return m_sql; }
    void SetSql(const QString &sql);
    db::Params &Parameters() { return m_params; }

    void Open();
    void Close();
    bool Active() const { return m_active; }

    bool Eof() const { return !m_active || m_row >= m_result.rows.size(); }
    bool Bof() const { return !m_active || m_row <= 0; }
    bool IsEmpty() const { return m_result.rows.isEmpty(); }
    int RecordCount() const { return int(m_result.rows.size()); }
    int RecNo() const { return m_row + 1; }
    void First() { m_row = 0; }
    void Next();
    void Prior();
    void Last() { m_row = m_result.rows.isEmpty() ? 0 : int(m_result.rows.size()) - 1; }

    int FieldCount() const { return int(m_result.columns.size()); }
    QStringList FieldNames() const { return m_result.columns; }
    // Throws PubError for an unknown column or when there is no current row.
    QueryField FieldByName(const QString &name) const;
    QueryField Fields(int index) const;
    bool HasField(const QString &name) const { return m_result.columnIndex(name) >= 0; }

    const db::ResultSet &Result() const { return m_result; }

private:
    QVariant valueAt(int column) const;

    db::Database &m_db;
    QString m_sql;
    db::Params m_params;
    db::ResultSet m_result;
    int m_row = 0;
    bool m_active = false;
};

// The holder returned by CreateAutoQuery: it owns the query and frees it.
class AutoQuery {
public:
    explicit AutoQuery(std::unique_ptr<HostQuery> q) : m_query(std::move(q)) {}
    AutoQuery(AutoQuery &&) = default;
    AutoQuery &operator=(AutoQuery &&) = default;
    HostQuery *operator->() const { return m_query.get(); }
    HostQuery &operator*() const { return *m_query; }
    HostQuery *query() const { return m_query.get(); }

private:
    std::unique_ptr<HostQuery> m_query;
};

// A query over the start-up connection, opened at once when `open`.
AutoQuery CreateAutoQuery(const QString &sql, bool open = true);
// First column of the first row into `value` (null when there is no row);
// returns whether a row was found.
bool GetValueOfSql(const QString &sql, QVariant &value);
// Next integer key of `table`.
qint64 GetNewKeyValue(const QString &table);

// Runs a statement or T-SQL batch inside the open transaction (or one of its
// own when none is open), with ":name" parameters bound from `params`; throws
// db::DbError with the database's text. Returns the rows the (last) write
// statement touched itself, postings not counted.
int SqlExecute(const QString &sql, const db::Params &params = {});
// The same for a guarded write, one whose WHERE carries the original values it
// depends on ("... where NOTEID=5 and NOTESTATE=0 and UPDATETIME='...'"):
// touching no row means another client changed or deleted the record, and
// db::ConcurrencyError is thrown (the caller rolls back and reloads).
void SqlExecuteGuarded(const QString &sql, const db::Params &params = {});
// Runs one write statement once for each row of `rows`, its "?" marks bound in
// order: prepared and translated once, so a long list of rows costs one parse.
// Returns the rows touched in all.
int SqlExecuteRows(const QString &sql, const QVector<QVariantList> &rows);

// The total of `column` over a note's lines as stored, rounded by FormatAmount
// ("select sum(column) from detailTable where keyField = id").
double StoredLineTotal(const QString &detailTable, const QString &keyField, qint64 id,
                       const QString &column = QStringLiteral("AMOUNT"));
// Writes that total into the master's `column` and returns it; run inside the
// save's transaction after the lines are written, so the master always equals
// its lines as stored.
double StoreMasterTotal(const QString &masterTable, const QString &detailTable, const QString &keyField, qint64 id,
                        const QString &column = QStringLiteral("AMOUNT"));

// This client's id on the start-up connection (see db::Database::clientId) and
// whether the client with a given id still runs.
QString ClientId();
bool ClientAlive(const QString &id);
// True when the books on the start-up connection cannot be written.
bool BooksReadOnly();
// Runs a statement alone. On the embedded engine a second writer cannot run
// beside an open write transaction, so while one is open the statement joins
// it; otherwise it runs in a transaction of its own.
void SqlExecuteNoTran(const QString &sql);

void BeginTran();
void CommitTran();
void RollbackTran();
bool InTransaction();

// Named lock across processes. SetLock(name, true, wait) takes it and returns
// false when another holder keeps it; with `wait` it keeps trying for up to
// LockWaitMilliseconds() first. SetLock(name, false, ...) releases it and
// returns whether it was held.
bool SetLock(const QString &name, bool take, bool wait);

// Takes a named lock (waiting as SetLock does) and releases it when it goes
// out of scope, on every path.
class NamedLockGuard {
public:
    explicit NamedLockGuard(const QString &name) : m_name(name), m_held(SetLock(name, true, true)) {}
    ~NamedLockGuard();
    NamedLockGuard(const NamedLockGuard &) = delete;
    NamedLockGuard &operator=(const NamedLockGuard &) = delete;
    bool Held() const { return m_held; }

private:
    QString m_name;
    bool m_held;
};

// Begins a transaction on the start-up connection and rolls it back when it
// goes out of scope uncommitted (an exception, an early return).
class TransactionGuard {
public:
    TransactionGuard() { BeginTran(); }
    ~TransactionGuard();
    TransactionGuard(const TransactionGuard &) = delete;
    TransactionGuard &operator=(const TransactionGuard &) = delete;
    void Commit();

private:
    bool m_done = false;
};
int LockWaitMilliseconds();
void SetLockWaitMilliseconds(int ms);
