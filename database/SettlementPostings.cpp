// Postings of the payment (61) and the receipt of money (62). Both kinds are
// declarations of one settlement: which table holds the notes they settle,
// and which way the money goes. An audit
//   - raises REFERAMT of each note on a line by the line's AMOUNT, refusing
//     a line that would settle more than the note has open (the check reads
//     REFERAMT inside the audit's own transaction, so of two payments
//     settling the same note the second one audited is refused);
//   - lowers the partner's balance (SCAMT) by what was settled: the lines'
//     total, or the AMOUNT of a prepayment, which stands as an advance;
//   - moves the account by FACTAMT and books AMOUNT - FACTAMT as discount.
// Leaving state 1 (un-audit, the delete of an audited note) undoes exactly
// what the posting log and the flow rows recorded.

#include "PostingShared.h"
#include "Procedures.h"

#include "Rounding.h"

#include <QSet>

#include <cmath>
#include <mutex>

namespace notedb {

using db::DbError;
using db::Params;
using namespace posting;

namespace {

constexpr double kEpsilon = 0.000001;

struct Settlement {
    int noteType;
    const char *master;      // lower case, as the posting queue names it
    const char *lines;
    int settledType;         // the note type its lines settle
    const char *settled;     // their master table
    const char *settledName; // how a refusal names such a note
    bool moneyIn;            // the account receives FACTAMT
};

const Settlement kSettlements[] = {
    {61, "payath", "payathdetail", 4, "purchasepth", "采购单", false},
    {62, "chargeath", "Chargeathdetail", 14, "salesth", "销售单", true},
};

QString amountText(double v) { return QString::number(v, 'f', 2); }

void log(db::Database &d, const Settlement &s, qint64 noteId, const QVariant &item, int kind, const QVariant &table,
         const QVariant &column, const QVariant &target, double quantity)
{
    d.exec(QStringLiteral("insert into notepostlogaath (NOTETYPE, NOTEID, ITEMSNO, KIND, TARGETTYPE, TARGETTABLE, "
                          "TARGETCOLUMN, TARGETID, QUANTITY) values (:t, :id, :item, :k, :tt, :tab, :col, :target, :q)"),
           {{QStringLiteral("t"), s.noteType},
            {QStringLiteral("id"), noteId},
            {QStringLiteral("item"), item},
            {QStringLiteral("k"), kind},
            {QStringLiteral("tt"), kind == 3 ? QVariant() : QVariant(s.settledType)},
            {QStringLiteral("tab"), table},
            {QStringLiteral("col"), column},
            {QStringLiteral("target"), target},
            {QStringLiteral("q"), quantity}});
}

void post(db::Database &d, const Settlement &s, qint64 noteId, const QString &action)
{
    const db::ResultSet m = d.select(QStringLiteral("select NOTECODE, NOTEDATE, NOTEKIND, PARTNERID, AMOUNT, FACTAMT, "
                                                    "ACCOUNTID, SUBID, CHKORID from %1 where NOTEID = :id")
                                         .arg(QLatin1String(s.master)),
                                     {{QStringLiteral("id"), noteId}});
    if (m.isEmpty())
        throw DbError(QStringLiteral("单据(类型 %1, ID %2)不存在,不能%3。").arg(s.noteType).arg(noteId).arg(action));
    const auto col = [&m](const char *name) { return m.value(0, QLatin1String(name)); };
    const QString code = col("NOTECODE").toString();
    const Params key{{QStringLiteral("t"), s.noteType}, {QStringLiteral("id"), noteId}};
    if (d.scalar(QStringLiteral("select (select count(*) from notepostlogaath where NOTETYPE = :t and NOTEID = :id) + "
                                "(select count(*) from accountflowaath where NOTETYPE = :t and NOTEID = :id)"),
                 key)
            .toInt() > 0)
        throw DbError(QStringLiteral("单据[%1]已经记帐,不能重复记帐。").arg(code));

    const int decimals = amountDecimals(d);
    const bool prepayment = col("NOTEKIND").toInt() == 1;
    const double amount = RoundToEx(col("AMOUNT").toDouble(), decimals);
    const double paid = RoundToEx(col("FACTAMT").toDouble(), decimals);
    if (!std::isfinite(amount) || !std::isfinite(paid))
        throw DbError(QStringLiteral("单据[%1]的金额无效,不能%2。").arg(code, action));
    const QVariant partner = col("PARTNERID");
    if (partner.isNull() || partner.toLongLong() == 0)
        throw DbError(QStringLiteral("单据[%1]没有指定往来单位,不能%2。").arg(code, action));
    if (d.scalar(QStringLiteral("select count(*) from partnerlth where PARTNERID = :p"), {{QStringLiteral("p"), partner}})
            .toInt() == 0)
        throw DbError(QStringLiteral("单据[%1]的往来单位不存在(ID %2),不能%3。").arg(code, partner.toString(), action));

    // The lines first: each settles its note, checked against what is still open.
    const db::ResultSet lines = d.select(
        QStringLiteral("select d.ITEMSNO, d.REFERNOTETYPE, d.REFERNOTEID, d.AMOUNT from %1 d where d.NOTEID = :id "
                       "order by d.ITEMSNO")
            .arg(QLatin1String(s.lines)),
        {{QStringLiteral("id"), noteId}});
    double settled = 0;
    QSet<qint64> referred;
    for (int i = 0; i < lines.rows.size(); ++i) {
        const QString item = lines.value(i, QStringLiteral("ITEMSNO")).toString();
        const double lineAmount = RoundToEx(lines.value(i, QStringLiteral("AMOUNT")).toDouble(), decimals);
        if (std::fabs(lineAmount) < kEpsilon)
            continue;
        if (lines.value(i, QStringLiteral("REFERNOTETYPE")).toInt() != s.settledType ||
            lines.value(i, QStringLiteral("REFERNOTEID")).isNull())
            throw DbError(QStringLiteral("单据[%1]第%2行没有引用%3,不能%4。")
                              .arg(code, item, QLatin1String(s.settledName), action));
        const qint64 target = lines.value(i, QStringLiteral("REFERNOTEID")).toLongLong();
        const Params t{{QStringLiteral("id"), target}};
        // Another client's payment may be settling the same note.
        lockOnServer(d, QStringLiteral("select 1 from %1 where NOTEID = ? for update").arg(QLatin1String(s.settled)), {target});
        const db::ResultSet note = d.select(
            QStringLiteral("select NOTECODE, NOTESTATE, PARTNERID, CPARTNERID, AMOUNT, REFERAMT from %1 where NOTEID = :id")
                .arg(QLatin1String(s.settled)),
            t);
        if (note.isEmpty())
            throw DbError(QStringLiteral("单据[%1]第%2行结算的%3(ID %4)不存在,不能%5。")
                              .arg(code, item, QLatin1String(s.settledName))
                              .arg(target)
                              .arg(action));
        const QString noteCode = note.value(0, QStringLiteral("NOTECODE")).toString();
        if (note.value(0, QStringLiteral("NOTESTATE")).toInt() != 1)
            throw DbError(QStringLiteral("%1[%2]没有审核或已经被作废,不能%3。")
                              .arg(QLatin1String(s.settledName), noteCode, action));
        const qint64 p = partner.toLongLong();
        if (note.value(0, QStringLiteral("PARTNERID")).toLongLong() != p &&
            note.value(0, QStringLiteral("CPARTNERID")).toLongLong() != p)
            throw DbError(QStringLiteral("%1[%2]不是单据[%3]的往来单位的单据,不能%4。")
                              .arg(QLatin1String(s.settledName), noteCode, code, action));
        const double total = note.value(0, QStringLiteral("AMOUNT")).toDouble();
        const double before = note.value(0, QStringLiteral("REFERAMT")).toDouble();
        const double after = RoundToEx(before + lineAmount, 6);
        // Settling moves towards the note's amount, never past it nor below nothing.
        if ((total >= 0 && (after > total + kEpsilon || after < -kEpsilon)) ||
            (total < 0 && (after < total - kEpsilon || after > kEpsilon)))
            throw DbError(QStringLiteral("%1[%2]未结算金额只有%3,单据[%4]第%5行本次结算%6,不能%7。")
                              .arg(QLatin1String(s.settledName), noteCode, amountText(total - before), code, item,
                                   amountText(lineAmount), action));
        d.exec(QStringLiteral("update %1 set REFERAMT = :a where NOTEID = :id").arg(QLatin1String(s.settled)),
               {{QStringLiteral("a"), after}, {QStringLiteral("id"), target}});
        log(d, s, noteId, item, 4, QLatin1String(s.settled), QStringLiteral("REFERAMT"), target, lineAmount);
        if (!referred.contains(target)) {
            // The note counts its settlements, so it is not un-audited under them.
            d.exec(QStringLiteral("update %1 set REFERCOUNT = coalesce(REFERCOUNT, 0) + 1 where NOTEID = :id")
                       .arg(QLatin1String(s.settled)),
                   t);
            log(d, s, noteId, QVariant(), 2, QLatin1String(s.settled), QVariant(), target, 0);
            referred.insert(target);
        }
        settled = RoundToEx(settled + lineAmount, decimals);
    }

    if (prepayment) {
        if (std::fabs(settled) > std::fabs(amount) + kEpsilon)
            throw DbError(QStringLiteral("单据[%1]的明细结算合计%2大于预付金额%3,不能%4。")
                              .arg(code, amountText(settled), amountText(amount), action));
        settled = amount;
    }
    if (std::fabs(settled) < kEpsilon && std::fabs(paid) < kEpsilon)
        throw DbError(QStringLiteral("单据[%1]没有结算金额,不能%2。").arg(code, action));
    if ((settled >= 0 ? paid < -kEpsilon || paid > settled + kEpsilon : paid > kEpsilon || paid < settled - kEpsilon))
        throw DbError(QStringLiteral("单据[%1]的实付金额%2大于结算金额%3,不能%4。")
                          .arg(code, amountText(paid), amountText(settled), action));

    const double discount = RoundToEx(settled - paid, decimals);
    if (std::fabs(paid) >= kEpsilon)
        checkAccount(d, code, QStringLiteral("结算帐户"), col("ACCOUNTID"), action);

    if (std::fabs(settled) >= kEpsilon) {
        d.exec(QStringLiteral("update partnerlth set SCAMT = round(SCAMT - :q, :n) where PARTNERID = :p"),
               {{QStringLiteral("q"), settled}, {QStringLiteral("n"), decimals}, {QStringLiteral("p"), partner}});
        log(d, s, noteId, QVariant(), 3, QStringLiteral("partnerlth"), QVariant(), partner, -settled);
    }
    if (std::fabs(paid) >= kEpsilon)
        postAccountFlow(d, col("ACCOUNTID").toLongLong(), s.noteType, noteId, code, col("NOTEDATE"),
                        s.moneyIn ? paid : 0, s.moneyIn ? 0 : paid, col("CHKORID"), decimals);
    if (std::fabs(discount) >= kEpsilon)
        d.exec(QStringLiteral("insert into discountflowaath (NOTETYPE, NOTEID, NOTECODE, NOTEDATE, PARTNERID, SUBID, "
                              "AMOUNT) values (:t, :id, :code, :date, :p, :sub, :a)"),
               {{QStringLiteral("t"), s.noteType},
                {QStringLiteral("id"), noteId},
                {QStringLiteral("code"), code},
                {QStringLiteral("date"), col("NOTEDATE")},
                {QStringLiteral("p"), partner},
                {QStringLiteral("sub"), col("SUBID")},
                {QStringLiteral("a"), discount}});
}

void reverse(db::Database &d, const Settlement &s, qint64 noteId, const QString &action)
{
    const Params key{{QStringLiteral("t"), s.noteType}, {QStringLiteral("id"), noteId}};
    const int decimals = amountDecimals(d);
    const db::ResultSet log = d.select(QStringLiteral("select KIND, TARGETTABLE, TARGETID, QUANTITY from notepostlogaath "
                                                      "where NOTETYPE = :t and NOTEID = :id"),
                                       key);
    for (const QVector<QVariant> &l : log.rows) {
        const Params p{{QStringLiteral("q"), l[3]}, {QStringLiteral("id"), l[2]}, {QStringLiteral("n"), decimals}};
        switch (l[0].toInt()) {
        case 2:
            d.exec(QStringLiteral("update %1 set REFERCOUNT = case when coalesce(REFERCOUNT, 0) > 1 then REFERCOUNT - 1 "
                                  "else 0 end where NOTEID = :id")
                       .arg(l[1].toString()),
                   p);
            break;
        case 3:
            d.exec(QStringLiteral("update partnerlth set SCAMT = round(SCAMT - :q, :n) where PARTNERID = :id"), p);
            break;
        case 4:
            d.exec(QStringLiteral("update %1 set REFERAMT = round(REFERAMT - :q, 6) where NOTEID = :id").arg(l[1].toString()),
                   p);
            break;
        default:
            break;
        }
    }
    d.exec(QStringLiteral("delete from notepostlogaath where NOTETYPE = :t and NOTEID = :id"), key);
    d.exec(QStringLiteral("delete from discountflowaath where NOTETYPE = :t and NOTEID = :id"), key);
    reverseAccountFlows(d, s.noteType, noteId, action);
}

void handle(db::Database &d, const Settlement &s, const db::PostingEvent &ev)
{
    const bool was = ev.oldState == 1, is = ev.newState == 1;
    if (was == is)
        return; // void and un-void of an entered note settle nothing
    if (is)
        post(d, s, ev.noteId, actionOf(ev.newState));
    else
        reverse(d, s, ev.noteId, actionOf(ev.newState));
}

} // namespace

void registerSettlementPostings()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (const Settlement &s : kSettlements)
            db::Registry::instance().addPosting(QLatin1String(s.master), [&s](db::Database &d, const db::PostingEvent &ev) {
                handle(d, s, ev);
            });
    });
}

} // namespace notedb
