// The demo company's stock and the data its commodity lines price from:
// partner price levels and last prices, the work uniform sold by colour and
// size, and the opening stock. The opening is one note per store (NOTETYPE
// -999, NOTEID minus the store, code "期初") dated the day before the start
// of use. A batch-costed commodity opens with each batch as it was received
// (its own date) and what was taken from it before the start as rows drawing
// on the batch, so a batch's BREFERQTY is the sum of its drawing rows and the
// on-hand quantity of every store is the sum of its flows.

#include "PostingShared.h"
#include "Procedures.h"
#include "notedb.h"

#include <QMap>

#include <algorithm>
#include <cmath>

namespace notedb {

namespace {

QString u8(const char *text) { return QString::fromUtf8(text); }

constexpr int kOpeningType = -999;

double money(double amount) { return std::round(amount * 100) / 100; }

void insert(db::Database &d, const QString &table, const QStringList &columns, const QVariantList &values)
{
    QStringList marks;
    db::Params p;
    for (int i = 0; i < columns.size(); ++i) {
        marks << u':' + columns[i];
        p.insert(columns[i], values.value(i));
    }
    d.exec(QStringLiteral("insert into %1 (%2) values (%3)").arg(table, columns.join(u','), marks.join(u',')), p);
}

struct Flow {
    QDate date;
    int store = 0;
    qint64 commodity = 0;
    double quantity = 0;
    double price = 0;
    int ioFlag = 1;
    QString bcode;
    QVariant produced, valid;
    int batch = -1;      // index of the batch row this row draws on
    double drawn = 0;    // BREFERQTY of a batch row
    qint64 id = 0;
    int item = 0;
};

struct Key {
    qint64 commodity;
    int store;
    bool operator<(const Key &o) const { return commodity != o.commodity ? commodity < o.commodity : store < o.store; }
};

class StockDemo {
public:
    StockDemo(db::Database &d, const QDate &today) : m_db(d)
    {
        const QDate period(today.year(), today.month(), 1);
        m_period = period;
        m_start = period.addMonths(-3);
        m_opening = m_start.addDays(-1);
    }

    void run()
    {
        priceLevels();
        lastPrices();
        const qint64 uniform = workUniform();
        openingStock(uniform);
        places();
        stockDocuments();
    }

private:
    void priceLevels()
    {
        // Customers by partner id: the list price each is offered (none: the first).
        const int levels[][2] = {{7, 2}, {8, 3}, {10, 4}, {11, 2}};
        for (const auto &l : levels)
            m_db.exec(QStringLiteral("update partnerlth set PRICELEVEL = :l where PARTNERID = :p"),
                      {{QStringLiteral("l"), l[1]}, {QStringLiteral("p"), l[0]}});
    }

    void lastPrices()
    {
        // Purchases (type 4) from suppliers, sales (type 14) to customers; partner
        // 11 is both and last sold us staplers.
        const struct {
            int partner, commodity;
            double price;
            int noteType, day;
        } rows[] = {{1, 1, 17.5, 4, 5},  {1, 2, 37, 4, 5},    {2, 6, 33, 4, 12},  {3, 12, 51.5, 4, 20},
                    {11, 5, 10.2, 4, 26}, {7, 1, 23.5, 14, 8}, {8, 8, 849, 14, 15}, {10, 6, 66, 14, 30}};
        for (const auto &r : rows)
            insert(m_db, QStringLiteral("partnerpriceaath"), {"PARTNERID", "COMMODITYID", "PRICE", "NOTETYPE", "NOTEDATE"},
                   {r.partner, r.commodity, r.price, r.noteType, m_start.addDays(r.day)});
    }

    qint64 workUniform()
    {
        const QStringList colorColumns{"ColorID", "CODE", "NAME", "ColorValue", "FontColor"};
        insert(m_db, QStringLiteral("Color"), colorColumns, {1, "01", u8("藏青"), 0x1F2A44, 0xFFFFFF});
        insert(m_db, QStringLiteral("Color"), colorColumns, {2, "02", u8("橙色"), 0xF28C28, 0x000000});
        insert(m_db, QStringLiteral("Color"), colorColumns, {3, "03", u8("浅灰"), 0xC8C8C8, 0x202020});
        insert(m_db, QStringLiteral("Color"), colorColumns, {4, "04", u8("白色"), 0xFFFFFF, 0x000000}); // no commodity uses it
        const char *sizes[] = {"165/S", "170/M", "175/L", "180/XL", "185/XXL"};
        const char *codes[] = {"S", "M", "L", "XL", "XXL"};
        for (int i = 0; i < 5; ++i)
            insert(m_db, QStringLiteral("Size"), {"SizeID", "CODE", "NAME", "SORTNO"},
                   {i + 1, QString::fromLatin1(codes[i]), QString::fromLatin1(sizes[i]), i + 1});

        insert(m_db, QStringLiteral("CommoditylthType"), {"GDTYPESID", "LCODE", "NAME", "TAXRATE", "ISDEFAULTTAXRATE"},
               {12, "0103", u8("劳保服装"), 13, 1});
        const qint64 id = m_db.scalar(QStringLiteral("select max(COMMODITYID) from Commoditylth")).toLongLong() + 1;
        insert(m_db, QStringLiteral("Commoditylth"),
               {"COMMODITYID", "CODE", "NAME", "SHORTNAME", "SPEEDSYMBOL", "BARCODE", "SPEC", "GDTYPESID", "UNITSID",
                "UNITSIDPAK1", "TIMEPAK1", "BUILDINGID", "KIND", "COSTTYPE", "TAXRATE", "APRICE", "HIGHPRICE",
                "LOWPRICE", "LPRICE1", "LPRICE2", "LPRICE3", "LPRICE4", "LPRICE5", "PARTNERID", "CUSTDEF1", "CUSTDEF2"},
               {id, "FZ0001", u8("工作服"), u8("工作服"), "GZF", "6966789000015", u8("涤棉 春秋款 分颜色尺码"), 12,
                14 /* 件 */, 2 /* 箱 */, 20, 1, 1, 1, 13, 45, 52, 60, 88, 85, 82, 78, 75, 1, u8("华信"), u8("上海")});
        for (int c = 1; c <= 3; ++c)
            insert(m_db, QStringLiteral("commoditycolor"), {"CommodityID", "ColorID"}, {id, c});
        for (int s = 1; s <= 4; ++s)
            insert(m_db, QStringLiteral("CommoditySize"), {"CommodityID", "SizeID"}, {id, s});
        // An agreed group price for one customer.
        insert(m_db, QStringLiteral("partnerprice"), {"PARTNERID", "COMMODITYID", "PRICE", "REMARK"},
               {8, id, 80, u8("团购价")});
        insert(m_db, QStringLiteral("partnerpriceaath"), {"PARTNERID", "COMMODITYID", "PRICE", "NOTETYPE", "NOTEDATE"},
               {7, id, 84, 14, m_start.addDays(40)});
        return id;
    }

    // Opening quantity of one commodity in one store at its moving-average cost.
    void plain(qint64 commodity, int store, double quantity, double price, double reserved)
    {
        Flow f;
        f.date = m_opening;
        f.store = store;
        f.commodity = commodity;
        f.quantity = quantity;
        f.price = price;
        m_flows << f;
        m_reserved[{commodity, store}] = reserved;
    }

    struct Batch {
        int receivedDaysBefore; // before the opening
        double quantity, price, drawn;
    };

    void batches(qint64 commodity, int store, std::initializer_list<Batch> list, double reserved)
    {
        const db::ResultSet g = m_db.select(QStringLiteral("select CODE, VALIDDAYS from Commoditylth where COMMODITYID = :c"),
                                            {{QStringLiteral("c"), commodity}});
        const QString code = g.rows[0][0].toString();
        const int shelfLife = g.rows[0][1].toInt();
        for (const Batch &b : list) {
            Flow f;
            f.date = m_opening.addDays(-b.receivedDaysBefore);
            f.store = store;
            f.commodity = commodity;
            f.quantity = b.quantity;
            f.price = b.price;
            const QDate produced = f.date.addDays(-6);
            f.produced = produced;
            f.valid = produced.addDays(shelfLife);
            f.bcode = code + u'-' + produced.toString(QStringLiteral("yyMMdd"));
            f.drawn = b.drawn;
            m_flows << f;
            if (b.drawn > 0) {
                Flow out = f;
                out.date = std::min(f.date.addDays(7), m_opening);
                out.quantity = b.drawn;
                out.ioFlag = -1;
                out.drawn = 0;
                out.batch = int(m_flows.size()) - 1;
                m_flows << out;
            }
        }
        m_reserved[{commodity, store}] = reserved;
    }

    void openingStock(qint64 uniform)
    {
        // Head office: paper, pens, computer goods and the uniform.
        plain(1, 1, 200, 18.3, 30);
        plain(2, 1, 80, 38, 0);
        plain(3, 1, 1200, 1.2, 0);
        plain(6, 1, 150, 35.4, 20);
        plain(7, 1, 40, 180, 0);
        plain(8, 1, 25, 620, 5);
        plain(uniform, 1, 60, 44.5, 6);
        // Materials for the desks and the finished desks.
        plain(15, 2, 100, 95, 0);
        plain(16, 2, 500, 12.5, 40);
        plain(19, 2, 400, 0.8, 0);
        plain(22, 3, 12, 230, 2);
        plain(23, 3, 20, 190, 0);
        plain(uniform, 3, 24, 46.2, 0);
        // Food by batch: the cold store holds most, head office a little.
        batches(11, 4, {{75, 100, 17.5, 60}, {40, 120, 18, 0}, {12, 80, 18.6, 0}}, 24);
        batches(11, 1, {{40, 30, 18, 10}, {12, 24, 18.6, 0}}, 0);
        batches(12, 4, {{70, 50, 51, 50}, {35, 60, 52, 15}, {8, 40, 53.5, 0}}, 10);
        batches(12, 1, {{35, 20, 52.5, 5}}, 0);
        batches(13, 4, {{60, 200, 9.6, 80}, {20, 150, 9.9, 0}}, 0);
        batches(13, 1, {{60, 48, 9.6, 12}, {20, 36, 9.9, 0}}, 6);
        batches(14, 4, {{90, 30, 44, 10}, {25, 40, 45.5, 0}}, 0);
        batches(14, 1, {{25, 12, 45, 2}}, 0);

        // Ids in date order; a drawing row comes after its batch.
        QVector<int> order(m_flows.size());
        for (int i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return m_flows[a].date < m_flows[b].date; });
        const qint64 firstId = m_db.scalar(QStringLiteral("select coalesce(max(ID), 0) from noteflowaath")).toLongLong() + 1;
        QMap<int, int> items;
        for (int i = 0; i < order.size(); ++i) {
            Flow &f = m_flows[order[i]];
            f.id = firstId + i;
            f.item = ++items[f.store];
        }

        QMap<Key, double> balance, value;
        for (int index : order) {
            const Flow &f = m_flows[index];
            const Key key{f.commodity, f.store};
            balance[key] += f.quantity * f.ioFlag;
            value[key] += f.quantity * f.ioFlag * f.price;
            const QVariant batchId = f.batch >= 0 ? QVariant(m_flows[f.batch].id) : QVariant();
            insert(m_db, QStringLiteral("noteflowaath"),
                   {"ID", "NOTETYPE", "NOTEID", "ITEMSNO", "NOTECODE", "NOTEDATE", "BUILDINGID", "COMMODITYID",
                    "QUANTITY", "PRICE", "PPRICE", "AMOUNT", "BCODE", "VALIDDAY", "PRODUCEDDATE", "IOFLAG",
                    "BTURNNOTEID", "BREFERQTY", "EQTY"},
                   {f.id, kOpeningType, -f.store, f.item, u8("期初"), f.date, f.store, f.commodity, f.quantity, f.price,
                    f.price, money(f.quantity * f.price), f.bcode.isEmpty() ? QVariant() : QVariant(f.bcode), f.valid,
                    f.produced, f.ioFlag, batchId, f.drawn, balance[key]});
        }

        for (auto it = balance.cbegin(); it != balance.cend(); ++it) {
            const double quantity = it.value();
            const double amount = value[it.key()];
            insert(m_db, QStringLiteral("onhandaath"),
                   {"BUILDINGID", "COMMODITYID", "QUANTITY", "PRICE", "AMOUNT", "REALQTY", "USEDQTY"},
                   {it.key().store, it.key().commodity, quantity, std::round(amount / quantity * 1e6) / 1e6, money(amount),
                    quantity, m_reserved.value(it.key())});
        }

        // The uniform's opening per colour (rows) and size (columns).
        const struct {
            int store, color;
            int bySize[4];
        } cells[] = {{1, 1, {5, 10, 10, 5}}, {1, 2, {3, 6, 6, 3}}, {1, 3, {2, 4, 4, 2}},
                     {3, 1, {2, 3, 3, 2}},   {3, 2, {1, 2, 2, 1}}, {3, 3, {1, 3, 3, 1}}};
        for (const auto &c : cells)
            for (int s = 0; s < 4; ++s)
                insert(m_db, QStringLiteral("CommodityDetail"),
                       {"BuildingID", "CommodityID", "ColorID", "SizeID", "Quantity", "StartQty"},
                       {c.store, uniform, c.color, s + 1, c.bySize[s], c.bySize[s]});
    }

    db::Database &m_db;
    // Storage places of the head-office store (two zones of shelves) and of
    // the cold store (one zone of two cabinets); the zones are parents and
    // hold no stock. The opening stock of each commodity lies on its place.
    // Place management stays off (UsePlace) until the books turn it on.
    void places()
    {
        const struct {
            int id;
            const char *code, *name, *lcode;
            int store;
        } list[] = {{1, "A", "A区", "01", 1},        {2, "A1", "A区1号货架", "0101", 1}, {3, "A2", "A区2号货架", "0102", 1},
                    {4, "B", "B区", "02", 1},        {5, "B1", "B区1号货架", "0201", 1}, {6, "C", "C区", "03", 4},
                    {7, "C1", "C区1号冷柜", "0301", 4}, {8, "C2", "C区2号冷柜", "0302", 4}};
        for (const auto &p : list)
            insert(m_db, QStringLiteral("placelth"), {"PLACEID", "CODE", "NAME", "LCODE", "BUILDINGID"},
                   {p.id, p.code, u8(p.name), p.lcode, p.store});
        m_db.exec(QStringLiteral("update Commoditylth set PLACEID = 2 where CODE in ('BG0001', 'BG0002')"));
        m_db.exec(QStringLiteral("update Commoditylth set PLACEID = 3 where CODE in ('BG0003', 'BG0004', 'BG0005')"));
        m_db.exec(QStringLiteral("update Commoditylth set PLACEID = 7 where CODE in ('SP0001', 'SP0002')"));
        m_db.exec(QStringLiteral("update Commoditylth set PLACEID = 8 where CODE in ('SP0003', 'SP0004')"));
        m_db.exec(QStringLiteral("insert into onhandaathPlace (BUILDINGID, PLACEID, COMMODITYID, QUANTITY) "
                                 "select o.BUILDINGID, c.PLACEID, o.COMMODITYID, o.QUANTITY from onhandaath o "
                                 "join Commoditylth c on c.COMMODITYID = o.COMMODITYID and c.BUILDINGID = o.BUILDINGID "
                                 "where c.PLACEID is not null and o.QUANTITY > 0"));
    }

    qint64 goods(const char *code)
    {
        return m_db.scalar(QStringLiteral("select COMMODITYID from Commoditylth where CODE = :c"), {{QStringLiteral("c"), code}})
            .toLongLong();
    }

    double cost(qint64 commodity, int store)
    {
        return m_db.scalar(QStringLiteral("select coalesce(PRICE, 0) from onhandaath where COMMODITYID = :c and BUILDINGID = :s"),
                           {{QStringLiteral("c"), commodity}, {QStringLiteral("s"), store}})
            .toDouble();
    }

    struct DocLine {
        const char *code;
        double quantity, price; // price < 0: the store's cost
    };

    // One stock document entered, then audited through the postings when
    // `audited`; `extra` are further master columns.
    qint64 document(int type, const char *master, const char *lines, int day, int store, bool audited,
                  const QStringList &extraColumns, const QVariantList &extra, const QVector<DocLine> &rows)
    {
        const qint64 id = m_db.newKey(QLatin1String(master));
        const QDate date = m_period.addDays(day - 1);
        QStringList columns{"NOTEID", "NOTEKIND", "NOTESTATE", "NOTECODE", "NOTEDATE", "BUILDINGID", "SHOPERATEID",
                            "EMPID", "OPERATEID", "DEPID", "REMARK"};
        QVariantList values{id, 1, 0, posting::newNoteCode(m_db, type, QLatin1String(master), date), date, store, 0, 5, 1, 4,
                            u8("演示")};
        for (int i = 0; i < extraColumns.size(); ++i) {
            const int at = int(columns.indexOf(extraColumns[i]));
            if (at >= 0)
                values[at] = extra[i];
            else
                columns << extraColumns[i], values << extra[i];
        }
        double total = 0;
        int item = 0;
        for (const DocLine &l : rows) {
            const qint64 c = goods(l.code);
            const double price = l.price < 0 ? cost(c, store) : l.price;
            const double amount = money(l.quantity * price);
            total += amount;
            insert(m_db, QLatin1String(lines),
                   {"NOTEID", "ITEMSNO", "COMMODITYID", "APRICE", "PRICE", "QUANTITY", "AMOUNT", "COMMODITYAMT", "DISC", "TAXRATE"},
                   {id, ++item, c, l.price < 0 ? price : (type == 26 || type == 31 ? cost(c, store) : price), price, l.quantity, amount, amount,
                    100, 0});
        }
        columns << "AMOUNT";
        values << money(total);
        insert(m_db, QLatin1String(master), columns, values);
        if (audited)
            m_db.exec(QStringLiteral("update %1 set NOTESTATE = 1, CHKORID = 1 where NOTEID = :id").arg(QLatin1String(master)),
                      {{QStringLiteral("id"), id}});
        return id;
    }

    // The stock documents of this month, to try every stock window: in/out
    // notes (one hand-made received for a purchase, one the system made for a
    // sale, one return waiting), an independent stock-in and stock-out, a
    // transfer waiting to be audited, an audited loss report, a lending
    // partly returned, and a few notes of other kinds waiting.
    void stockDocuments()
    {
        document(21, "iostoreith", "iostoreithDetail", 2, 2, true, {"NOTETYPE", "PARTNERID", "NOTETO"},
                 {4, 1, u8("上海市闵行区申富路88号2号库")}, {{"BG0001", 20, 18}, {"BG0004", 50, 2.8}});
        document(21, "iostoreith", "iostoreithDetail", 3, 1, true, {"NOTETYPE", "PARTNERID", "ISAUTO"}, {14, 7, 1},
                 {{"BG0003", 12, -1}});
        document(21, "iostoreith", "iostoreithDetail", 5, 2, false, {"NOTEKIND", "NOTETYPE", "PARTNERID"}, {2, 4, 1},
                 {{"BG0001", 2, 18}});
        document(22, "OtherInith", "OtherInithdetail", 4, 1, true, {"IOTYPESID"}, {3}, {{"BG0003", 24, 1.0}});
        document(23, "OtherOutith", "OtherOutithdetail", 6, 1, false, {"IOTYPESID"}, {5}, {{"DZ0001", 1, -1}});
        document(26, "Badsthith", "Badsthithdetail", 6, 1, false, {"INBUILDINGID", "TRANSLATETYPE", "NOTETO"},
                 {3, 1, u8("上海市闵行区申富路88号3号库")}, {{"BG0001", 5, -1}, {"BG0003", 10, -1}});
        document(29, "Attaintith", "Attaintithdetail", 7, 1, true, {"IOTYPESID"}, {4}, {{"BG0002", 3, -1}});
        // Eight lent to 联华超市, three of them back.
        document(23, "BrowOut", "BrowOutdetail", 7, 1, true, {"PARTNERID", "IOTYPESID", "ISSALE"}, {7, 4, 0},
                 {{"BG0003", 8, -1}});
        document(22, "BrowIn", "BrowIndetail", 7, 1, true, {"PARTNERID", "IOTYPESID"}, {7, 1}, {{"BG0003", 3, -1}});

        // Waiting for the audit centre: a stock-in of a new batch of milk into
        // the cold store, a loss drawing on its oldest water batch, more pens
        // lent, a price change of A4 paper and pens moved to another shelf.
        const qint64 in = document(22, "OtherInith", "OtherInithdetail", 8, 4, false, {"IOTYPESID"}, {3}, {{"SP0002", 24, 52}});
        m_db.exec(QStringLiteral("update OtherInithdetail set BCODE = :b, PRODUCTDAY = :p, VALIDDAY = :v where NOTEID = :id"),
                  {{QStringLiteral("b"), QStringLiteral("SP0002-%1").arg(m_period.addDays(7).toString(QStringLiteral("yyMMdd")))},
                   {QStringLiteral("p"), m_period.addDays(7)}, {QStringLiteral("v"), m_period.addDays(7 + 45)},
                   {QStringLiteral("id"), in}});
        const qint64 loss = document(29, "Attaintith", "Attaintithdetail", 8, 4, false, {"IOTYPESID"}, {4}, {{"SP0001", 2, -1}});
        const db::ResultSet batch = m_db.select(
            QStringLiteral("select ID, BCODE, PRODUCEDDATE, VALIDDAY from noteflowaath where COMMODITYID = :c and BUILDINGID = 4 "
                           "and BCODE is not null and BTURNNOTEID is null and QUANTITY * IOFLAG - BREFERQTY >= 2 "
                           "order by NOTEDATE, ID"),
            {{QStringLiteral("c"), goods("SP0001")}});
        if (!batch.isEmpty())
            m_db.exec(QStringLiteral("update Attaintithdetail set BTURNNOTEID = :b, BCODE = :code, PRODUCTDAY = :p, VALIDDAY = :v "
                                     "where NOTEID = :id"),
                      {{QStringLiteral("b"), batch.rows[0][0]}, {QStringLiteral("code"), batch.rows[0][1]},
                       {QStringLiteral("p"), batch.rows[0][2]}, {QStringLiteral("v"), batch.rows[0][3]},
                       {QStringLiteral("id"), loss}});
        document(23, "BrowOut", "BrowOutdetail", 8, 1, false, {"PARTNERID", "IOTYPESID", "ISSALE"}, {7, 4, 0}, {{"BG0003", 5, -1}});
        const qint64 change = document(31, "ChgPriceith", "ChgPriceithDetail", 9, 1, false, {"SUBID", "SUBCODE"}, {9, "6401"},
                                       {{"BG0001", 0, 19}});
        m_db.exec(QStringLiteral("update ChgPriceithDetail set ADJUSTRATE = round(PRICE * 100 / APRICE, 2) where NOTEID = :id"),
                  {{QStringLiteral("id"), change}});
        const qint64 move = document(32, "PlaceAdjustith", "PlaceAdjustithDetail", 9, 1, false, {}, {}, {{"BG0003", 100, -1}});
        m_db.exec(QStringLiteral("update PlaceAdjustithDetail set OUTPLACEID = 3, INPLACEID = 5 where NOTEID = :id"),
                  {{QStringLiteral("id"), move}});
    }

    QDate m_start, m_opening, m_period;
    QVector<Flow> m_flows;
    QMap<Key, double> m_reserved;
};

} // namespace

void createStockDemo(db::Database &database, const QDate &today) { StockDemo(database, today).run(); }

} // namespace notedb
