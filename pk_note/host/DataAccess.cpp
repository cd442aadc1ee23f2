#include "db/Database.h"
#include "DataAccess.h"

#include "Globals.h"
#include "PubError.h"
#include "Rounding.h"

#include <QElapsedTimer>
#include <QThread>

namespace {
int s_lockWaitMs = 3000;
} // namespace

int QueryField::AsInteger() const { return int(AsLargeInt()); }

qint64 QueryField::AsLargeInt() const
{
    if (m_value.isNull())
        return 0;
    bool ok = false;
    const qint64 v = m_value.toLongLong(&ok);
    if (ok)
        return v;
    const double d = m_value.toDouble(&ok);
    if (ok)
        return qint64(d);
    throw PubError(QStringLiteral("字段 %1 的值 \"%2\" 不是整数").arg(m_name, m_value.toString()));
}

double QueryField::AsFloat() const
{
    if (m_value.isNull())
        return 0;
    bool ok = false;
    const double d = m_value.toDouble(&ok);
    if (!ok)
        throw PubError(QStringLiteral("字段 %1 的值 \"%2\" 不是数值").arg(m_name, m_value.toString()));
    return d;
}

bool QueryField::AsBoolean() const
{
    if (m_value.isNull())
        return false;
    if (m_value.typeId() == QMetaType::QString) {
        const QString t = m_value.toString().trimmed().toLower();
        if (t == QLatin1String("true"))
            return true;
        if (t == QLatin1String("false") || t.isEmpty())
            return false;
    }
    return AsFloat() != 0;
}

QDateTime QueryField::AsDateTime() const
{
    if (m_value.isNull())
        return {};
    const QVariant v = db::Database::toDateValue(m_value);
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime();
    if (v.typeId() == QMetaType::QDate)
        return v.toDate().startOfDay();
    throw PubError(QStringLiteral("字段 %1 的值 \"%2\" 不是日期").arg(m_name, m_value.toString()));
}

HostQuery::HostQuery(db::Database &database, const QString &sql) : m_db(database), m_sql(sql) {}

void HostQuery::SetSql(const QString &sql)
{
    Close();
    m_sql = sql;
}

void HostQuery::Open()
{
    m_result = m_db.select(m_sql, m_params);
    m_row = 0;
    m_active = true;
}

void HostQuery::Close()
{
    m_result = {};
    m_row = 0;
    m_active = false;
}

void HostQuery::Next()
{
    if (m_row < m_result.rows.size())
        ++m_row;
}

void HostQuery::Prior()
{
    if (m_row > 0)
        --m_row;
}

QVariant HostQuery::valueAt(int column) const
{
    if (!m_active)
        throw PubError(QStringLiteral("查询未打开"));
    if (m_row >= m_result.rows.size())
        throw PubError(QStringLiteral("查询没有当前记录"));
    return m_result.rows[m_row].value(column);
}

QueryField HostQuery::FieldByName(const QString &name) const
{
    const int i = m_result.columnIndex(name);
    if (i < 0)
        throw PubError(QStringLiteral("字段 %1 不存在").arg(name));
    return QueryField(m_result.columns[i], valueAt(i));
}

QueryField HostQuery::Fields(int index) const
{
    if (index < 0 || index >= m_result.columns.size())
        throw PubError(QStringLiteral("字段序号 %1 超出范围").arg(index));
    return QueryField(m_result.columns[index], valueAt(index));
}

AutoQuery CreateAutoQuery(const QString &sql, bool open)
{
    auto q = std::make_unique<HostQuery>(RequireDB(), sql);
    if (open)
        q->Open();
    return AutoQuery(std::move(q));
}

bool GetValueOfSql(const QString &sql, QVariant &value)
{
    const db::ResultSet rs = RequireDB().select(sql);
    if (rs.rows.isEmpty() || rs.rows[0].isEmpty()) {
        value = QVariant();
        return false;
    }
    value = rs.rows[0][0];
    return true;
}

qint64 GetNewKeyValue(const QString &table) { return RequireDB().newKey(table); }

int SqlExecute(const QString &sql, const db::Params &params)
{
    db::Database &d = RequireDB();
    if (db::Database::isBatch(sql)) {
        d.run(sql, params);
        return d.lastRowsAffected();
    }
    return d.execWrite(sql, params);
}

void SqlExecuteGuarded(const QString &sql, const db::Params &params)
{
    if (SqlExecute(sql, params) < 1)
        throw db::ConcurrencyError();
}

int SqlExecuteRows(const QString &sql, const QVector<QVariantList> &rows)
{
    if (rows.isEmpty())
        return 0;
    db::Database &d = RequireDB();
    QSqlQuery q = d.prepare(sql);
    int touched = 0;
    for (const QVariantList &row : rows) {
        for (int i = 0; i < row.size(); ++i)
            q.bindValue(i, row[i]);
        d.execPrepared(q, true);
        touched += d.lastRowsAffected();
    }
    return touched;
}

void SqlExecuteNoTran(const QString &sql) { SqlExecute(sql); }

double StoredLineTotal(const QString &detailTable, const QString &keyField, qint64 id, const QString &column)
{
    QVariant v;
    GetValueOfSql(QStringLiteral("select sum(") + column + QStringLiteral(") from ") + detailTable
                      + QStringLiteral(" where ") + keyField + QStringLiteral("=") + QString::number(id),
                  v);
    return FormatAmount(v.toDouble());
}

double StoreMasterTotal(const QString &masterTable, const QString &detailTable, const QString &keyField, qint64 id,
                        const QString &column)
{
    const double total = StoredLineTotal(detailTable, keyField, id, column);
    SqlExecute(QStringLiteral("update ") + masterTable + QStringLiteral(" set ") + column + QStringLiteral("=")
               + QString::number(total, 'f', AmountDecimals()) + QStringLiteral(" where ") + keyField
               + QStringLiteral("=") + QString::number(id));
    return total;
}

QString ClientId() { return RequireDB().clientId(); }
bool ClientAlive(const QString &id) { return RequireDB().clientAlive(id); }
bool BooksReadOnly() { return RequireDB().isReadOnly(); }

void BeginTran() { RequireDB().beginTran(); }
void CommitTran() { RequireDB().commitTran(); }
void RollbackTran() { RequireDB().rollbackTran(); }
bool InTransaction() { return StartupDB() && StartupDB()->inTransaction(); }

NamedLockGuard::~NamedLockGuard()
{
    if (!m_held)
        return;
    try {
        SetLock(m_name, false, false);
    } catch (const std::exception &) {
        // The lock is a file lock the process drops anyway; nothing to report.
    }
}

void TransactionGuard::Commit()
{
    CommitTran();
    m_done = true;
}

TransactionGuard::~TransactionGuard()
{
    if (m_done)
        return;
    try {
        if (InTransaction())
            RollbackTran();
    } catch (const std::exception &) {
        // The engine may have ended the transaction itself (a full disk): the
        // error that brought us here is the one the user must read.
    }
}

bool SetLock(const QString &name, bool take, bool wait)
{
    db::Database &d = RequireDB();
    if (!take)
        return d.setLock(name, false);
    if (d.setLock(name, true))
        return true;
    if (!wait)
        return false;
    QElapsedTimer timer;
    timer.start();
    db::Database::announceBusy(true); // another client holds it: the user sees the wait
    bool taken = false;
    while (!taken && timer.elapsed() < s_lockWaitMs) {
        QThread::msleep(50);
        taken = d.setLock(name, true);
    }
    db::Database::announceBusy(false);
    return taken;
}

int LockWaitMilliseconds() { return s_lockWaitMs; }
void SetLockWaitMilliseconds(int ms) { s_lockWaitMs = qMax(0, ms); }
