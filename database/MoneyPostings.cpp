// Postings of the money notes that stand on the document framework. An audit
// (NOTESTATE to 1) moves the note's AMOUNT between account balances and writes
// one account-flow row per account; leaving state 1 (un-audit, or deleting an
// audited note) reverses exactly what the flow rows recorded. Void and un-void
// of an entered note post nothing.
//
// Expense and other income post the master AMOUNT, not a sum of the lines: the
// window stores the line total into AMOUNT at every save, and a note inserted
// already audited is posted before its lines exist.

#include "Procedures.h"

#include "Rounding.h"
#include "data/Field.h"

#include <cmath>

#include <mutex>
#include <optional>

namespace notedb {

using db::DbError;
using db::Params;

namespace {

enum class Kind { Move, Expense, Income };

struct MoneyTable {
    const char *table; // lower case, as the posting queue names it
    int noteType;
    Kind kind;
};

const MoneyTable kTables[] = {
    {"movebth", 51, Kind::Move},
    {"expenseath", 52, Kind::Expense},
    {"incomebth", 53, Kind::Income},
};

// The action named in a refusal, after the state the note was moving to.
QString actionOf(int newState)
{
    switch (newState) {
    case 1: return QStringLiteral("审核");
    case 0: return QStringLiteral("反审核");
    case 2: return QStringLiteral("作废");
    default: return QStringLiteral("删除");
    }
}

struct Leg {
    QString role;      // how the refusal names the account
    QVariant accountId;
    double in = 0;
    double out = 0;
};

struct Account {
    QString name;
    bool closed = false;
};

// Null when the account does not exist.
std::optional<Account> findAccount(db::Database &d, qint64 id)
{
    const db::ResultSet rs = d.select(QStringLiteral("select NAME, CLOSED from accountacth where ACCOUNTID = :a"),
                                      {{QStringLiteral("a"), id}});
    if (rs.isEmpty())
        return std::nullopt;
    return Account{rs.value(0, QStringLiteral("NAME")).toString(), rs.value(0, QStringLiteral("CLOSED")).toInt() == 1};
}

void refuseClosed(const Account &a, const QString &action)
{
    if (a.closed)
        throw DbError(QStringLiteral("帐户[%1]已经被停用不能%2。").arg(a.name, action));
}

// The books' amount precision ("AmtDecimals", as FormatAmount uses it), read on
// the posting's own connection.
int amountDecimals(db::Database &d)
{
    bool ok = false;
    const int n = d.scalar(QStringLiteral("select DATAVALUE from sysparamamth where upper(PARAMNAME) = 'AMTDECIMALS'"))
                      .toString()
                      .trimmed()
                      .toInt(&ok);
    return ok && n >= 0 && n <= 10 ? n : 2;
}

// Moves `delta` into the account and returns its balance afterwards, both
// rounded to the amount precision so that sums stay exact in cents.
double addToBalance(db::Database &d, qint64 accountId, double delta, int decimals)
{
    const Params p{{QStringLiteral("a"), accountId}};
    const double balance = RoundToEx(
        d.scalar(QStringLiteral("select coalesce(BALANCE, 0) from accountacth where ACCOUNTID = :a"), p).toDouble() + delta,
        decimals);
    d.exec(QStringLiteral("update accountacth set BALANCE = :b where ACCOUNTID = :a"),
           {{QStringLiteral("a"), accountId}, {QStringLiteral("b"), balance}});
    return balance;
}

void post(db::Database &d, const MoneyTable &t, qint64 noteId, const QString &action)
{
    const db::ResultSet rs = d.select(QStringLiteral("select * from %1 where NOTEID = :id").arg(QLatin1String(t.table)),
                                      {{QStringLiteral("id"), noteId}});
    if (rs.isEmpty())
        throw DbError(QStringLiteral("单据(类型 %1, ID %2)不存在,不能%3。").arg(t.noteType).arg(noteId).arg(action));
    const QString code = rs.value(0, QStringLiteral("NOTECODE")).toString();
    const Params key{{QStringLiteral("t"), t.noteType}, {QStringLiteral("id"), noteId}};

    if (d.scalar(QStringLiteral("select count(*) from accountflowaath where NOTETYPE = :t and NOTEID = :id"), key).toInt() > 0)
        throw DbError(QStringLiteral("单据[%1]已经记帐,不能重复记帐。").arg(code));

    const QVariant amountValue = rs.value(0, QStringLiteral("AMOUNT"));
    const int decimals = amountDecimals(d);
    const double amount = RoundToEx(amountValue.toDouble(), decimals);
    if (!std::isfinite(amount) || std::fabs(amount) > data::kMaxFloatValue)
        throw DbError(QStringLiteral("单据[%1]的金额无效,不能%2。").arg(code, action));
    if (amountValue.isNull() || !(amount > 0))
        throw DbError(QStringLiteral("单据[%1]的金额必须大于零,不能%2。").arg(code, action));

    QVector<Leg> legs;
    switch (t.kind) {
    case Kind::Move:
        legs.push_back({QStringLiteral("付款帐户"), rs.value(0, QStringLiteral("OUTACCOUNTID")), 0, amount});
        legs.push_back({QStringLiteral("收款帐户"), rs.value(0, QStringLiteral("INACCOUNTID")), amount, 0});
        break;
    case Kind::Expense:
        legs.push_back({QStringLiteral("结算帐户"), rs.value(0, QStringLiteral("ACCOUNTID")), 0, amount});
        break;
    case Kind::Income:
        legs.push_back({QStringLiteral("结算帐户"), rs.value(0, QStringLiteral("ACCOUNTID")), amount, 0});
        break;
    }

    // Every account is checked before anything is written.
    for (const Leg &leg : std::as_const(legs)) {
        if (leg.accountId.isNull() || leg.accountId.toLongLong() == 0)
            throw DbError(QStringLiteral("单据[%1]没有指定%2,不能%3。").arg(code, leg.role, action));
        const std::optional<Account> a = findAccount(d, leg.accountId.toLongLong());
        if (!a)
            throw DbError(QStringLiteral("单据[%1]的%2不存在(帐户ID %3),不能%4。")
                              .arg(code, leg.role, leg.accountId.toString(), action));
        refuseClosed(*a, action);
    }
    if (t.kind == Kind::Move && legs[0].accountId.toLongLong() == legs[1].accountId.toLongLong())
        throw DbError(QStringLiteral("付款帐户不能和收款帐户一样."));

    for (const Leg &leg : std::as_const(legs)) {
        const qint64 account = leg.accountId.toLongLong();
        const double balance = addToBalance(d, account, leg.in - leg.out, decimals);
        const qint64 flowId =
            d.scalar(QStringLiteral("select coalesce(max(ID), 0) + 1 from accountflowaath")).toLongLong();
        d.exec(QStringLiteral("insert into accountflowaath (ID, ACCOUNTID, NOTETYPE, NOTEID, NOTECODE, NOTEDATE, "
                              "INAMT, OUTAMT, BALANCE, CHKORID) values (:f, :a, :t, :id, :code, :date, :in, :out, "
                              ":bal, :chk)"),
               {{QStringLiteral("f"), flowId},
                {QStringLiteral("a"), account},
                {QStringLiteral("t"), t.noteType},
                {QStringLiteral("id"), noteId},
                {QStringLiteral("code"), rs.value(0, QStringLiteral("NOTECODE"))},
                {QStringLiteral("date"), rs.value(0, QStringLiteral("NOTEDATE"))},
                {QStringLiteral("in"), leg.in},
                {QStringLiteral("out"), leg.out},
                {QStringLiteral("bal"), balance},
                {QStringLiteral("chk"), rs.value(0, QStringLiteral("CHKORID"))}});
    }
}

// Undoes the note's flow rows, newest first. Later rows of the same account
// have their running balance corrected so the chain stays whole.
void reverse(db::Database &d, const MoneyTable &t, qint64 noteId, const QString &action)
{
    const int decimals = amountDecimals(d);
    const Params key{{QStringLiteral("t"), t.noteType}, {QStringLiteral("id"), noteId}};
    const db::ResultSet flows = d.select(QStringLiteral("select ID, ACCOUNTID, INAMT, OUTAMT, NOTECODE from accountflowaath "
                                                        "where NOTETYPE = :t and NOTEID = :id order by ID desc"),
                                         key);
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

void handle(db::Database &d, const MoneyTable &t, const db::PostingEvent &ev)
{
    const bool was = ev.oldState == 1, is = ev.newState == 1;
    if (was == is)
        return;
    if (is)
        post(d, t, ev.noteId, actionOf(ev.newState));
    else
        reverse(d, t, ev.noteId, actionOf(ev.newState));
}

} // namespace

void registerMoneyPostings()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (const MoneyTable &t : kTables)
            db::Registry::instance().addPosting(QLatin1String(t.table), [&t](db::Database &d, const db::PostingEvent &ev) {
                handle(d, t, ev);
            });
    });
}

} // namespace notedb
