// Demo payments: the first supplier's receipt partly paid by transfer, 200 in
// cash from the customer of the first open sale (联华超市 stays over its
// credit limit), and a payment to another supplier entered and waiting for
// its audit. Saved as
// the payment window saves them and audited with its statement, so what the
// notes have settled and the partners' balances come from the real postings.

#include "NotedbPrivate.h"
#include "PostingShared.h"
#include "Procedures.h"
#include "notedb.h"

#include "Rounding.h"

#include <algorithm>

namespace notedb {

namespace {

struct Settled {
    const char *table; // the settled note's master table
    int type;          // its note type
    qint64 note;
    double amount;
};

class PaymentDemo {
public:
    PaymentDemo(db::Database &d, const QDate &today) : m_db(d), m_today(today), m_first(today.year(), today.month(), 1) {}

    void run()
    {
        // Payments (61) go to suppliers for receipts, receipts of money (62)
        // come from customers for sales.
        const auto receipt = firstOpen("purchasepth", 1);
        if (receipt.note)
            money(61, "payath", 20, receipt.partner, 2, {{"purchasepth", 4, receipt.note, 1000}}, "部分货款");
        const auto sale = firstOpen("salesth", 1);
        if (sale.note)
            money(62, "chargeath", 21, sale.partner, 1, {{"salesth", 14, sale.note, std::min(200.0, sale.open)}},
                  "收回部分货款");
        const auto other = openOfAnotherPartner("purchasepth", receipt.partner);
        if (other.note)
            money(61, "payath", 22, other.partner, 3, {{"purchasepth", 4, other.note, other.open}}, "电汇货款", false);
    }

private:
    struct Open {
        qint64 note = 0, partner = 0;
        double open = 0;
    };
    QDate day(int n) const { return std::min(m_first.addDays(n - 1), std::max(m_today, m_first)); }

    Open read(const QString &sql)
    {
        const db::ResultSet rs = m_db.select(sql);
        if (rs.isEmpty())
            return {};
        return {rs.value(0, QStringLiteral("NOTEID")).toLongLong(), rs.value(0, QStringLiteral("PARTNERID")).toLongLong(),
                RoundToEx(rs.value(0, QStringLiteral("OPENAMT")).toDouble(), 2)};
    }
    static QString openNotes(const char *table, const QString &where)
    {
        return QStringLiteral("select NOTEID, PARTNERID, AMOUNT - isnull(REFERAMT, 0) as OPENAMT from %1 "
                              "where NOTESTATE = 1 and %2 order by NOTEID")
            .arg(QLatin1String(table), where);
    }
    Open firstOpen(const char *table, int kind)
    {
        return read(openNotes(table, QStringLiteral("NOTEKIND = %1 and AMOUNT - isnull(REFERAMT, 0) > 0").arg(kind)));
    }
    Open openOfAnotherPartner(const char *table, qint64 partner)
    {
        return read(openNotes(table, QStringLiteral("NOTEKIND = 1 and PARTNERID <> %1 and AMOUNT - isnull(REFERAMT, 0) > 0")
                                         .arg(partner)));
    }

    void money(int type, const char *table, int dayNo, qint64 partner, int payType, const QList<Settled> &lines,
               const char *remark, bool audited = true)
    {
        const QDate date = day(dayNo);
        const QString master = QLatin1String(table);
        const qint64 id = m_db.newKey(master);
        const QString code = posting::newNoteCode(m_db, type, master, date);
        double total = 0;
        for (const Settled &l : lines)
            total += l.amount;
        total = RoundToEx(total, 2);
        const QVariant account = m_db.scalar(QStringLiteral("select ACCOUNTID from paymethodlth where PAYTYPESID = %1").arg(payType));
        // Kind 2 settles notes (kind 1 would be a prepayment); paid in full, no discount.
        detail::insertRow(m_db, master,
                          {"NOTEID", "NOTEKIND", "NOTESTATE", "NOTECODE", "NOTEDATE", "SHOPERATEID", "EMPID", "DEPID",
                           "OPERATEID", "REFERCOUNT", "PARTNERID", "AMOUNT", "DISC", "FACTAMT", "PAYTYPESID", "ACCOUNTID",
                           "UPDATETIME", "REMARK", "UPFLAG"},
                          {id, 2, 0, code, date, 0, 3, 2, 1, 0, partner, total, 100, total, payType, account,
                           QDateTime(date, QTime(16, 0)), QString::fromUtf8(remark), 0});
        int item = 0;
        for (const Settled &l : lines)
            detail::insertRow(m_db, master + QStringLiteral("detail"),
                              {"NOTEID", "ITEMSNO", "REFERCOUNT", "REFERNOTETYPE", "REFERNOTEID", "AMOUNT"},
                              {id, ++item, 0, l.type, l.note, RoundToEx(l.amount, 2)});
        if (audited)
            m_db.exec(QStringLiteral("Update %1 Set noteState=1, chkorid=1 where noteState=0 and noteID=%2").arg(master).arg(id));
    }

    db::Database &m_db;
    QDate m_today;
    QDate m_first;
};

} // namespace

void createPaymentDemo(db::Database &database, const QDate &today) { PaymentDemo(database, today).run(); }

} // namespace notedb
