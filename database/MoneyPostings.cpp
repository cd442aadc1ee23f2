// Postings of the money notes that stand on the document framework. An audit
// (NOTESTATE to 1) moves the note's AMOUNT between account balances and writes
// one account-flow row per account; leaving state 1 (un-audit, or deleting an
// audited note) reverses exactly what the flow rows recorded. Void and un-void
// of an entered note post nothing.
//
// Expense and other income post the master AMOUNT, not a sum of the lines: the
// window stores the line total into AMOUNT at every save, and a note inserted
// already audited is posted before its lines exist.

#include "PostingShared.h"
#include "Procedures.h"

#include "Rounding.h"
#include "data/Field.h"

#include <cmath>

#include <mutex>
#include <optional>

namespace notedb {

using db::DbError;
using db::Params;
using namespace posting;

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

struct Leg {
    QString role;      // how the refusal names the account
    QVariant accountId;
    double in = 0;
    double out = 0;
};

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
    for (const Leg &leg : std::as_const(legs))
        checkAccount(d, code, leg.role, leg.accountId, action);
    if (t.kind == Kind::Move && legs[0].accountId.toLongLong() == legs[1].accountId.toLongLong())
        throw DbError(QStringLiteral("付款帐户不能和收款帐户一样."));

    for (const Leg &leg : std::as_const(legs))
        postAccountFlow(d, leg.accountId.toLongLong(), t.noteType, noteId, rs.value(0, QStringLiteral("NOTECODE")),
                        rs.value(0, QStringLiteral("NOTEDATE")), leg.in, leg.out, rs.value(0, QStringLiteral("CHKORID")),
                        decimals);
}

void handle(db::Database &d, const MoneyTable &t, const db::PostingEvent &ev)
{
    const bool was = ev.oldState == 1, is = ev.newState == 1;
    if (was == is)
        return;
    if (is)
        post(d, t, ev.noteId, actionOf(ev.newState));
    else
        reverseAccountFlows(d, t.noteType, ev.noteId, actionOf(ev.newState));
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
