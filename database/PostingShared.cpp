#include "PostingShared.h"

#include "Rounding.h"


namespace notedb::posting {

using db::DbError;
using db::Params;

namespace {
// The advisory lock taken while an account-flow id is chosen.
constexpr qint64 kAccountFlowLock = 0x706b5f6e6f746501;
} // namespace

QString actionOf(int newState)
{
    switch (newState) {
    case 1: return QStringLiteral("审核");
    case 0: return QStringLiteral("反审核");
    case 2: return QStringLiteral("作废");
    default: return QStringLiteral("删除");
    }
}

void lockOnServer(db::Database &d, const QString &sql, const QVariantList &values)
{
    if (!d.isPostgres())
        return;
    db::PgStatement &q = d.keptStatement(sql);
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values[i]);
    q.exec();
    q.finish();
}

db::ResultSet postingRead(db::Database &d, const QString &sql, const Params &params)
{
    if (d.isPostgres())
        return d.runKept(sql, params);
    db::Rows rows = d.read(sql, params);
    db::ResultSet rs;
    rs.columns = rows.columns();
    const int n = rows.columnCount();
    while (rows.next()) {
        QVector<QVariant> row(n);
        for (int c = 0; c < n; ++c)
            row[c] = rows.value(c);
        rs.rows.append(std::move(row));
    }
    return rs;
}

QVariant postingScalar(db::Database &d, const QString &sql, const Params &params)
{
    if (d.isPostgres()) {
        const db::ResultSet rs = d.runKept(sql, params);
        return rs.rows.isEmpty() || rs.rows[0].isEmpty() ? QVariant() : rs.rows[0][0];
    }
    db::Rows rows = d.read(sql, params);
    return rows.next() ? rows.value(0) : QVariant();
}

int postingWrite(db::Database &d, const QString &sql, const Params &params)
{
    if (d.isPostgres()) {
        int rows = 0;
        d.runKept(sql, params, &rows);
        return rows;
    }
    d.exec(sql, params);
    return d.lastRowsAffected();
}

int amountDecimals(db::Database &d)
{
    return amountDecimalsOf(postingScalar(d, QString::fromLatin1(kAmountDecimals)));
}

int amountDecimalsOf(const QVariant &value)
{
    bool ok = false;
    const int n = value.toString().trimmed().toInt(&ok);
    return ok && n >= 0 && n <= 10 ? n : 2;
}

std::optional<Account> findAccount(db::Database &d, qint64 id)
{
    const QString sql = QStringLiteral("select NAME, CLOSED from accountacth where ACCOUNTID = :a");
    const Params p{{QStringLiteral("a"), id}};
    const db::ResultSet rs = d.isPostgres() ? d.runKept(sql, p) : d.select(sql, p);
    if (rs.isEmpty())
        return std::nullopt;
    return Account{rs.value(0, QStringLiteral("NAME")).toString(), rs.value(0, QStringLiteral("CLOSED")).toInt() == 1};
}

void refuseClosed(const Account &a, const QString &action)
{
    if (a.closed)
        throw DbError(QStringLiteral("帐户[%1]已经被停用不能%2。").arg(a.name, action));
}

void checkAccount(db::Database &d, const QString &noteCode, const QString &role, const QVariant &accountId,
                  const QString &action)
{
    if (accountId.isNull() || accountId.toLongLong() == 0)
        throw DbError(QStringLiteral("单据[%1]没有指定%2,不能%3。").arg(noteCode, role, action));
    const std::optional<Account> a = findAccount(d, accountId.toLongLong());
    if (!a)
        throw DbError(QStringLiteral("单据[%1]的%2不存在(帐户ID %3),不能%4。")
                          .arg(noteCode, role, accountId.toString(), action));
    refuseClosed(*a, action);
}

double addToBalance(db::Database &d, qint64 accountId, double delta, int decimals)
{
    const Params p{{QStringLiteral("a"), accountId}};
    lockOnServer(d, QStringLiteral("select 1 from accountacth where ACCOUNTID = ? for update"), {accountId});
    const double before =
        postingScalar(d, QStringLiteral("select coalesce(BALANCE, 0) from accountacth where ACCOUNTID = :a"), p).toDouble();
    const double balance = RoundToEx(before + delta, decimals);
    postingWrite(d, QStringLiteral("update accountacth set BALANCE = :b where ACCOUNTID = :a"),
                 {{QStringLiteral("a"), accountId}, {QStringLiteral("b"), balance}});
    return balance;
}

void postAccountFlow(db::Database &d, qint64 accountId, int noteType, qint64 noteId, const QVariant &noteCode,
                     const QVariant &noteDate, double in, double out, const QVariant &checker, int decimals)
{
    const double balance = addToBalance(d, accountId, in - out, decimals);
    // The next id is the highest plus one: on the server one posting at a time
    // takes it, until its transaction ends.
    lockOnServer(d, QStringLiteral("select pg_advisory_xact_lock(%1)").arg(kAccountFlowLock));
    const qint64 flowId = postingScalar(d, QStringLiteral("select coalesce(max(ID), 0) + 1 from accountflowaath")).toLongLong();
    postingWrite(d,
                 QStringLiteral("insert into accountflowaath (ID, ACCOUNTID, NOTETYPE, NOTEID, NOTECODE, NOTEDATE, "
                                "INAMT, OUTAMT, BALANCE, CHKORID) values (:f, :a, :t, :id, :code, :date, :in, :out, "
                                ":bal, :chk)"),
                 {{QStringLiteral("f"), flowId},
                  {QStringLiteral("a"), accountId},
                  {QStringLiteral("t"), noteType},
                  {QStringLiteral("id"), noteId},
                  {QStringLiteral("code"), noteCode},
                  {QStringLiteral("date"), noteDate},
                  {QStringLiteral("in"), in},
                  {QStringLiteral("out"), out},
                  {QStringLiteral("bal"), balance},
                  {QStringLiteral("chk"), checker}});
}

void reverseAccountFlows(db::Database &d, int noteType, qint64 noteId, const QString &action)
{
    const Params key{{QStringLiteral("t"), noteType}, {QStringLiteral("id"), noteId}};
    // The places of an amount come with the flows: one read, not two.
    const db::ResultSet flows = d.select(QStringLiteral("select ID, ACCOUNTID, INAMT, OUTAMT, NOTECODE, (%1) as AMTDECIMALS "
                                                        "from accountflowaath where NOTETYPE = :t and NOTEID = :id "
                                                        "order by ID desc")
                                             .arg(QLatin1String(kAmountDecimals)),
                                         key);
    if (flows.isEmpty())
        return;
    const int decimals = amountDecimalsOf(flows.value(0, QStringLiteral("AMTDECIMALS")));
    // Every account is checked before anything is undone.
    for (int i = 0; i < flows.rows.size(); ++i) {
        const qint64 account = flows.value(i, QStringLiteral("ACCOUNTID")).toLongLong();
        const std::optional<Account> a = findAccount(d, account);
        if (!a)
            throw DbError(QStringLiteral("单据[%1]的帐户不存在(帐户ID %2),不能%3。")
                              .arg(flows.value(i, QStringLiteral("NOTECODE")).toString())
                              .arg(account)
                              .arg(action));
        refuseClosed(*a, action);
    }
    for (int i = 0; i < flows.rows.size(); ++i) {
        const qint64 flowId = flows.value(i, QStringLiteral("ID")).toLongLong();
        const qint64 account = flows.value(i, QStringLiteral("ACCOUNTID")).toLongLong();
        const double delta = flows.value(i, QStringLiteral("INAMT")).toDouble() -
                             flows.value(i, QStringLiteral("OUTAMT")).toDouble();
        addToBalance(d, account, -delta, decimals);
        const Params p{{QStringLiteral("a"), account}, {QStringLiteral("f"), flowId}, {QStringLiteral("d"), delta},
                       {QStringLiteral("n"), decimals}};
        d.exec(QStringLiteral("update accountflowaath set BALANCE = round(BALANCE - :d, :n) where ACCOUNTID = :a and ID > :f"), p);
        d.exec(QStringLiteral("delete from accountflowaath where ID = :f"), p);
    }
}

QString newNoteCode(db::Database &d, int noteType, const QString &table, const QDate &date)
{
    const db::ResultSet rule = d.select(QStringLiteral("select HEAD, SEPA from notetypelth where ID = :t"),
                                        {{QStringLiteral("t"), noteType}});
    QString prefix;
    if (rule.isEmpty()) {
        prefix = QStringLiteral("%1-%2-").arg(noteType).arg(date.toString(QStringLiteral("yyyyMM")));
    } else {
        const QString head = rule.value(0, QStringLiteral("HEAD")).toString();
        const QString sepa = rule.value(0, QStringLiteral("SEPA")).toString();
        prefix = head + sepa + date.toString(QStringLiteral("yyyy")) + sepa + date.toString(QStringLiteral("MM")) + sepa;
    }
    // The highest serial in use, so a deleted note never lets a number repeat.
    const qint64 last = d.scalar(QStringLiteral("select max(funcdefCodeToSerialNo(NOTECODE, 4)) from %1 "
                                                "where NOTECODE like :p")
                                     .arg(table),
                                 {{QStringLiteral("p"), prefix + u'%'}})
                            .toLongLong();
    return prefix + QStringLiteral("%1").arg(last + 1, 4, 10, QLatin1Char('0'));
}

} // namespace notedb::posting
