// Demo purchase notes: a requisition, a plan, two open orders (one partly
// received), an estimated receipt bringing in a batch, receipts (one paid on
// the spot to the cash supplier) and a partial return drawing on a batch. Each
// is saved as the window saves it and audited with the window's statement, so
// the stock, the order quantities and the payables come from the real postings.

#include "PostingShared.h"
#include "NotedbPrivate.h"
#include "Procedures.h"
#include "notedb.h"

#include "Rounding.h"

#include <algorithm>

namespace notedb {

using db::DbError;

namespace {

QString u8(const char *text) { return QString::fromUtf8(text); }

struct Line {
    int goods;
    int store;
    double quantity, price;
    QVariant referType = {}, referId = {}, referItem = {};
    QString bcode = {};
    QVariant batch = {};
};

class PurchaseDemo {
public:
    PurchaseDemo(db::Database &d, const QDate &today) : m_db(d), m_today(today), m_first(today.year(), today.month(), 1) {}

    void run()
    {
        // 常州钢管 sells for cash only: no credit, every receipt paid at once.
        m_db.exec(QStringLiteral("update partnerlth set ISCASHPARTNER = 1, CREDIT = 0, CREDITDAY = 0 where CODE = 'S004'"));
        const qint64 req = note(5, "RePurchase", 2, 1, {}, {{6, 1, 50, 35}, {9, 1, 40, 28}},
                                {{"REVDATE", day(9)}, {"CONTACTOR", u8("王建国")}}, "电脑配件月度申购");
        note(1, "purchasepthPlan", 2, 1, {}, {{15, 2, 40, 95}, {17, 2, 500, 0.6}, {19, 2, 400, 0.8}},
             {{"PLANTYPE", 3}, {"STARTDATE", m_first}, {"ENDDATE", m_first.addMonths(1).addDays(-1)}}, "本月原料采购计划");
        const qint64 orderA = note(2, "orderpth", 3, 1, 2, {{6, 1, 50, 35, 5, req, 1}, {9, 1, 40, 28, 5, req, 2}},
                                   {{"REVDATE", day(10)}, {"CONTACTOR", u8("林志强")}, {"CLOSED", 0}}, "按申购单订货");
        note(2, "orderpth", 3, 1, 4, {{16, 2, 300, 12.5}, {18, 2, 20, 25}},
             {{"REVDATE", day(15)}, {"CONTACTOR", u8("钱国平")}, {"CLOSED", 0}}, "桌架材料");
        const QDate produced = day(2).addDays(-10);
        note(3, "valuepth", 4, 1, 3, {{11, 4, 60, 18, {}, {}, {}, QStringLiteral("SP0001-") + produced.toString("yyMMdd")}},
             {}, "发票未到,暂估入库");
        // The order to 华强电子 is partly received: all the mice, 20 of the 40 USB sticks.
        receipt(5, 1, 2, {{6, 1, 50, 35, 2, orderA, 1}, {9, 1, 20, 28, 2, orderA, 2}}, 0, "订单到货");
        // The cash supplier is paid the whole amount on the spot.
        receipt(6, 1, 4, {{5, 1, 20, 9.5}}, RoundToEx(20 * 9.5 * 1.13, 2), "现款采购");
        const QDate milk = day(6).addDays(-3);
        const qint64 food = receipt(7, 1, 3, {{12, 4, 40, 52, {}, {}, {}, QStringLiteral("SP0002-") + milk.toString("yyMMdd")},
                                              {13, 4, 60, 9.8, {}, {}, {}, QStringLiteral("SP0003-") + milk.toString("yyMMdd")}},
                                    0, "食品采购");
        // Five cartons of the milk go back, drawn from the batch the receipt made.
        const QVariant batch = m_db.scalar(QStringLiteral("select ID from noteflowaath where NOTETYPE = 4 and NOTEID = :n "
                                                          "and ITEMSNO = 1"),
                                           {{QStringLiteral("n"), food}});
        Line back{12, 4, -5, 52, 4, food, 1, QStringLiteral("SP0002-") + milk.toString("yyMMdd"), batch};
        receipt(8, 2, 3, {back}, 0, "包装破损退货");
    }

private:
    QDate day(int n) const { return std::min(m_first.addDays(n - 1), std::max(m_today, m_first)); }

    // paidNow: paid on the spot by cheque from the bank account.
    qint64 receipt(int dayNo, int kind, int partner, const QList<Line> &lines, double paidNow, const char *remark)
    {
        QList<std::pair<const char *, QVariant>> extra = {{"CPARTNERID", partner}, {"TERMDAYS", 30},
                                                          {"PAYDAY", day(dayNo).addDays(30)}, {"NOTETYPE", 1}};
        if (paidNow != 0)
            extra << std::pair<const char *, QVariant>{"PAYAMT", paidNow} << std::pair<const char *, QVariant>{"PAYTYPESID", 2}
                  << std::pair<const char *, QVariant>{"ACCOUNTID", 2} << std::pair<const char *, QVariant>{"CHECKNO", "ZP3390012"};
        else
            extra << std::pair<const char *, QVariant>{"PAYAMT", 0};
        const qint64 id = note(4, "purchasepth", dayNo, kind, partner, lines, extra, remark);
        return id;
    }

    qint64 note(int type, const char *table, int dayNo, int kind, const QVariant &partner, const QList<Line> &lines,
                const QList<std::pair<const char *, QVariant>> &extra, const char *remark)
    {
        const QDate date = day(dayNo);
        const QString master = QLatin1String(table);
        const qint64 id = m_db.newKey(master);
        const QString code = posting::newNoteCode(m_db, type, master, date);
        const bool priced = type != 5 && type != 1;
        double total = 0;
        for (const Line &l : lines)
            total += RoundToEx(l.quantity * l.price * 1.13, 2);

        QStringList cols{"NOTEID", "NOTEKIND", "NOTESTATE", "NOTECODE", "NOTEDATE", "SHOPERATEID", "EMPID", "DEPID",
                         "OPERATEID", "REFERCOUNT", "AMOUNT", "UPFLAG", "UPDATETIME", "REMARK"};
        QVariantList values{id, kind, 0, code, date, 0, 3, 2, 1, 0, RoundToEx(total, 2), 0, QDateTime(date, QTime(10, 0)),
                            u8(remark)};
        if (!partner.isNull()) {
            cols << "PARTNERID";
            values << partner;
        }
        if (priced) {
            cols << "TAXRATE" << "DISC";
            values << 13 << 100;
        }
        for (const auto &[name, value] : extra) {
            cols << QLatin1String(name);
            values << value;
        }
        insert(master, cols, values);

        const QString detail = master == QLatin1String("RePurchase") ? QStringLiteral("RepurchaseDetail") : master + QStringLiteral("Detail");
        int item = 0;
        for (const Line &l : lines) {
            const double goodsAmount = RoundToEx(l.quantity * l.price, 2);
            const double tax = RoundToEx(goodsAmount * 0.13, 2);
            QStringList dc{"NOTEID", "ITEMSNO", "BUILDINGID", "COMMODITYID", "APRICE", "PRICE", "QUANTITY", "DISC",
                           "TAXRATE", "AMOUNT", "TAXAMT", "COMMODITYAMT", "BCODE", "PRODUCTDAY", "VALIDDAY",
                           "BTURNNOTEID", "REFERCOUNT", "REFERNOTETYPE", "REFERNOTEID", "REFERITEMSNO", "REFERQTY"};
            QVariant produced, valid;
            if (!l.bcode.isEmpty()) {
                produced = QDate::fromString(QStringLiteral("20") + l.bcode.right(6), QStringLiteral("yyyyMMdd"));
                const int shelf = m_db.scalar(QStringLiteral("select VALIDDAYS from Commoditylth where COMMODITYID = :c"),
                                              {{QStringLiteral("c"), l.goods}})
                                      .toInt();
                valid = produced.toDate().addDays(shelf);
            }
            insert(detail, dc,
                   {id, ++item, l.store, l.goods, l.price, l.price, l.quantity, 100, 13, goodsAmount + tax, tax, goodsAmount,
                    l.bcode.isEmpty() ? QVariant() : QVariant(l.bcode), produced, valid, l.batch, 0, l.referType, l.referId,
                    l.referItem, 0});
        }
        // Saved as the window saves (the invoicing state of a receipt), then
        // audited with the window's statement.
        if (type == 4)
            m_db.run(QStringLiteral("EXECUTE  FIRSTUPDATECERTAINFILL 4,%1").arg(id));
        m_db.exec(QStringLiteral("Update %1 Set noteState=1, chkorid=1 where noteState=0 and noteID=%2").arg(master).arg(id));
        return id;
    }

    void insert(const QString &table, const QStringList &cols, const QVariantList &values)
    {
        detail::insertRow(m_db, table, cols, values);
    }

    db::Database &m_db;
    QDate m_today;
    QDate m_first;
};

} // namespace

void createPurchaseDemo(db::Database &database, const QDate &today)
{
    if (!today.isValid())
        throw DbError(QStringLiteral("演示数据需要有效的当前日期"));
    registerFrameworkProcedures();
    registerStockPostings();
    registerPurchaseProcedures();
    detail::inTransaction(database, [&] { PurchaseDemo(database, today).run(); });
}

} // namespace notedb
