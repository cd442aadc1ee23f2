// Demo sales notes: two customers' orders (one partly delivered), sales (one
// paid on the spot, one partly returned), consignments (one with a settling
// sale waiting for its audit), a quotation and a sales plan. Each is saved as
// the window saves it and audited with the window's statement, so the stock,
// the order quantities and the receivables come from the real postings.

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
    const char *goods; // commodity code
    double quantity, price;
    QVariant referType = {}, referId = {}, referItem = {};
};

class SalesDemo {
public:
    SalesDemo(db::Database &d, const QDate &today) : m_db(d), m_today(today), m_first(today.year(), today.month(), 1) {}

    void run()
    {
        const qint64 orderA = note(12, "ordersth", 8, 1, "C001", {{"BG0003", 200, 2.5}, {"DZ0002", 5, 299}},
                                   {{"REVDATE", day(12)}, {"CONTACTOR", u8("徐丽娟")}, {"CONTRACTNO", "LH-2024-0318"}},
                                   "门店补货");
        note(12, "ordersth", 9, 1, "C002", {{"DZ0001", 10, 69}, {"DZ0004", 20, 59}},
             {{"REVDATE", day(20)}, {"CONTACTOR", u8("高峰")}}, "电脑配件");
        // The first order is partly delivered: all the pens, 3 of the 5 keyboards.
        const qint64 sale = note(14, "salesth", 10, 1, "C001", {{"BG0003", 200, 2.5, 12, orderA, 1}, {"DZ0002", 3, 299, 12, orderA, 2}},
                                 {{"PAYAMT", 0}, {"TERMDAYS", 30}, {"PAYDAY", day(10).addDays(30)}, {"CONTRACTNO", "LH-2024-0318"}},
                                 "订单发货");
        // One keyboard comes back from that sale.
        note(14, "salesth", 11, 2, "C001", {{"DZ0002", -1, 299, 14, sale, 2}}, {{"PAYAMT", 0}}, "键盘故障退货");
        // A walk-in customer pays the whole amount on the spot.
        const Line paper{"BG0002", 10, 52};
        note(14, "salesth", 12, 1, "C006", {paper},
             {{"PAYAMT", RoundToEx(10 * 52 * 1.13, 2)}, {"PAYTYPESID", 2}, {"ACCOUNTID", 2}}, "门市零售");
        // Goods sent to a customer to sell on commission.
        note(13, "DeputeMarketsth", 13, 1, "C003", {{"DZ0001", 5, 69}}, {{"TERMDAYS", 45}}, "委托代销");
        // Another customer's consignment, part of it sold: the settling sale
        // is entered, for the user to audit.
        const qint64 consigned = note(13, "DeputeMarketsth", 14, 1, "C004", {{"DZ0004", 12, 59}, {"BG0002", 20, 52}},
                                      {{"TERMDAYS", 30}}, "商场代销");
        note(14, "salesth", 15, 3, "C004", {{"DZ0004", 8, 62, 13, consigned, 1}},
             {{"PAYAMT", 0}, {"TERMDAYS", 30}, {"PAYDAY", day(15).addDays(30)}}, "代销结算", false);
        // A quotation a sales order can take its lines from.
        note(15, "s_price", 16, 1, "C004", {{"DZ0001", 30, 66}, {"DZ0002", 10, 285}},
             {{"CONTACTOR", u8("梁嘉欣")}, {"CONTACTFAX", "020-85592889"}}, "节前报价");
        plan();
        cargoCard();
        packs();
    }

private:
    QDate day(int n) const { return std::min(m_first.addDays(n - 1), std::max(m_today, m_first)); }

    qint64 note(int type, const char *table, int dayNo, int kind, const char *customer, const QList<Line> &lines,
                const QList<std::pair<const char *, QVariant>> &extra, const char *remark, bool audited = true)
    {
        const QDate date = day(dayNo);
        const QString master = QLatin1String(table);
        const qint64 id = m_db.newKey(master);
        const QString code = posting::newNoteCode(m_db, type, master, date);
        const QVariant partner = m_db.scalar(QStringLiteral("select PARTNERID from partnerlth where CODE = :c"),
                                             {{QStringLiteral("c"), QLatin1String(customer)}});
        if (partner.isNull())
            throw DbError(QStringLiteral("演示数据缺少客户 %1").arg(QLatin1String(customer)));
        double total = 0;
        for (const Line &l : lines)
            total += RoundToEx(l.quantity * l.price * 1.13, 2);

        QStringList cols{"NOTEID", "NOTEKIND", "NOTESTATE", "NOTECODE", "NOTEDATE", "SHOPERATEID", "EMPID", "DEPID",
                         "OPERATEID", "REFERCOUNT", "AMOUNT", "UPFLAG", "UPDATETIME", "REMARK", "PARTNERID", "TAXRATE", "DISC"};
        QVariantList values{id, kind, 0, code, date, 0, 3, 2, 1, 0, RoundToEx(total, 2), 0, QDateTime(date, QTime(15, 0)),
                            u8(remark), partner, 13, 100};
        for (const auto &[name, value] : extra) {
            cols << QLatin1String(name);
            values << value;
        }
        insert(master, cols, values);

        int item = 0;
        for (const Line &l : lines) {
            // The goods leave from the store that holds most of them; the cost
            // price is what they stand at there.
            const QVariant goods = m_db.scalar(QStringLiteral("select COMMODITYID from Commoditylth where CODE = :c"),
                                               {{QStringLiteral("c"), QLatin1String(l.goods)}});
            const db::ResultSet stock = m_db.select(
                QStringLiteral("select BUILDINGID, PRICE from onhandaath where COMMODITYID = :g order by QUANTITY desc, BUILDINGID"),
                {{QStringLiteral("g"), goods}});
            if (goods.isNull() || stock.isEmpty())
                throw DbError(QStringLiteral("演示数据缺少货品 %1 的库存").arg(QLatin1String(l.goods)));
            const double goodsAmount = RoundToEx(l.quantity * l.price, 2);
            const double tax = RoundToEx(goodsAmount * 0.13, 2);
            QStringList lineCols{"NOTEID", "ITEMSNO", "BUILDINGID", "COMMODITYID", "APRICE", "PRICE", "QUANTITY", "DISC",
                                 "TAXRATE", "AMOUNT", "TAXAMT", "COMMODITYAMT", "REFERCOUNT", "REFERNOTETYPE",
                                 "REFERNOTEID", "REFERITEMSNO", "REFERQTY"};
            QVariantList lineValues{id, ++item, stock.value(0, QStringLiteral("BUILDINGID")), goods,
                                    stock.value(0, QStringLiteral("PRICE")), l.price, l.quantity, 100, 13,
                                    goodsAmount + tax, tax, goodsAmount, 0, l.referType, l.referId, l.referItem, 0};
            // A settling sale keeps the difference to the consigned price, as the window computes it.
            if (l.referType.toInt() == 13) {
                const db::ResultSet sent = m_db.select(
                    QStringLiteral("select BUILDINGID, APRICE, PRICE, TAXRATE from DeputeMarketsthDetail where NOTEID = :n "
                                   "and ITEMSNO = :i"),
                    {{QStringLiteral("n"), l.referId}, {QStringLiteral("i"), l.referItem}});
                const auto v = [&sent](const char *name) { return sent.value(0, QLatin1String(name)); };
                lineValues[2] = v("BUILDINGID");
                lineValues[4] = v("APRICE");
                lineCols << QStringLiteral("MARGIN");
                lineValues << RoundToEx((v("PRICE").toDouble() - l.price) * (1 + v("TAXRATE").toDouble() / 100) * l.quantity, 2);
            }
            insert(master + QStringLiteral("Detail"), lineCols, lineValues);
        }
        // Saved as the window saves (the invoicing state of a sale), then
        // audited with the window's statement.
        if (type == 14)
            m_db.run(QStringLiteral("EXECUTE  FIRSTUPDATECERTAINFILL 14,%1").arg(id));
        if (!audited)
            return id;
        m_db.exec(QStringLiteral("Update %1 Set noteState=1, chkorid=1 where noteState=0 and noteID=%2").arg(master).arg(id));
        return id;
    }

    // The next quarter's sales plan of the sales department, audited.
    void plan()
    {
        const QDate date = day(3);
        const QDate next = QDate(m_today.year(), ((m_today.month() - 1) / 3) * 3 + 1, 1).addMonths(3);
        const qint64 id = m_db.newKey(QStringLiteral("salesthPlan"));
        const int quarter = (next.month() - 1) / 3 + 1;
        insert(QStringLiteral("salesthPlan"),
               {"NOTEID", "NOTEKIND", "NOTESTATE", "NOTECODE", "NOTEDATE", "SHOPERATEID", "EMPID", "DEPID", "OPERATEID",
                "CHKORID", "REFERCOUNT", "AMOUNT", "UPFLAG", "UPDATETIME", "REMARK", "PLANTYPE", "STARTDATE", "ENDDATE",
                "LASTUPDATEDATE"},
               {id, 1, 1, posting::newNoteCode(m_db, 11, QStringLiteral("salesthPlan"), date), date, 0, 3, 2, 1, 1, 0,
                RoundToEx((100 * 66 + 40 * 285) * 1.13, 2), 0, QDateTime(date, QTime(10, 0)), u8("下季度销售计划"),
                quarter, next, next.addMonths(3).addDays(-1), date});
        int item = 0;
        for (const Line &l : {Line{"DZ0001", 100, 66}, Line{"DZ0002", 40, 285}}) {
            const double goodsAmount = RoundToEx(l.quantity * l.price, 2), tax = RoundToEx(goodsAmount * 0.13, 2);
            insert(QStringLiteral("salesthPlanDetail"),
                   {"NOTEID", "ITEMSNO", "COMMODITYID", "PRICE", "QUANTITY", "DISC", "TAXRATE", "AMOUNT", "TAXAMT",
                    "COMMODITYAMT", "REFERCOUNT", "REFERQTY"},
                   {id, ++item, m_db.scalar(QStringLiteral("select COMMODITYID from Commoditylth where CODE = :c"),
                                            {{QStringLiteral("c"), QLatin1String(l.goods)}}),
                    l.price, l.quantity, 100, 13, goodsAmount + tax, tax, goodsAmount, 0, 0});
        }
    }

    // The charge items of cargo cards and one card of an export shipment, entered.
    void cargoCard()
    {
        const struct {
            const char *code, *name;
        } items[] = {{"HYF", "海运费"}, {"BGF", "报关费"}, {"TCF", "拖车费"}, {"THC", "码头操作费"}};
        int n = 0;
        for (const auto &i : items)
            insert(QStringLiteral("ShipMoneyItem"), {"ID", "CODE", "MONEYITEM", "CLOSED"},
                   {++n, QLatin1String(i.code), u8(i.name), 0});
        const QDate date = day(18);
        const qint64 id = m_db.newKey(QStringLiteral("ShipBill"));
        const QVariant customer = m_db.scalar(QStringLiteral("select PARTNERID from partnerlth where CODE = 'C002'"));
        insert(QStringLiteral("ShipBill"),
               {"NOTEID", "NOTEKIND", "NOTESTATE", "NOTECODE", "NOTEDATE", "SHOPERATEID", "EMPID", "DEPID", "OPERATEID",
                "REFERCOUNT", "AMOUNT", "UPFLAG", "UPDATETIME", "PARTNERID", "BILLNO", "SHIPPER", "LOADPORT", "DESTPORT",
                "SHIPCOMPANY", "VESSEL", "SAILDATE", "PIECES", "WEIGHT", "VOLUME", "CON20", "CON40", "CON40HQ", "BROKER",
                "TRUCKING", "PROFIT"},
               {id, 1, 0, posting::newNoteCode(m_db, 99, QStringLiteral("ShipBill"), date), date, 0, 3, 2, 1, 0, 9300, 0,
                QDateTime(date, QTime(11, 0)), customer, "COSU6182736450", u8("北京国美电器有限公司"), u8("上海"),
                u8("汉堡"), "COSCO", "COSCO HAMBURG 062W", date.addDays(6), 320, 5800, 28.5, 1, 0, 0,
                u8("上海外联报关行"), u8("浦东集卡车队"), 1950});
        const struct {
            int item;
            double get, pay;
        } charges[] = {{1, 7800, 6500}, {2, 600, 450}, {3, 900, 400}};
        int item = 0;
        for (const auto &c : charges)
            insert(QStringLiteral("shipbilldetail"), {"NOTEID", "ITEMSNO", "MONEYITEMID", "GETAMOUNT", "PAYAMOUNT"},
                   {id, ++item, c.item, c.get, c.pay});
    }

    // Packaging formats a sale line can be packed in.
    void packs()
    {
        const struct {
            const char *name;
            double perPackage, charge;
        } packs[] = {{"纸箱(12)", 12, 0.5}, {"托盘(48)", 48, 0.2}, {"散装", 0, 0}};
        int n = 0;
        for (const auto &p : packs)
            insert(QStringLiteral("packlist"), {"ID", "NAME", "PACKVALUE", "DISAMOUNT"},
                   {++n, u8(p.name), p.perPackage, p.charge});
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

void createSalesDemo(db::Database &database, const QDate &today)
{
    if (!today.isValid())
        throw DbError(QStringLiteral("演示数据需要有效的当前日期"));
    registerFrameworkProcedures();
    registerStockPostings();
    registerPurchaseProcedures();
    detail::inTransaction(database, [&] { SalesDemo(database, today).run(); });
}

} // namespace notedb
