// The stock posting engine and the declarations of the purchase notes. The
// rules (directions, moving average, batches, references, reversal) are
// written down in README.md, "Stock postings".

#include "StockPostings.h"

#include "PostingShared.h"
#include "Procedures.h"
#include "Rounding.h"

#include <QHash>
#include <QSet>
#include <QSqlQuery>

#include <cmath>
#include <mutex>

namespace notedb::stock {

using db::DbError;
using db::Params;
using namespace posting;

namespace {

constexpr double kEpsilon = 0.000001;

struct Source {
    QString master, lines, finished;
};

QHash<int, Source> &sources()
{
    static QHash<int, Source> map;
    return map;
}

QHash<QString, StockNote> &notes()
{
    static QHash<QString, StockNote> map;
    return map;
}

double round6(double v) { return RoundToEx(v, 6); }

// Statements of one posting, prepared once and run for every line.
class Statements {
public:
    explicit Statements(db::Database &d) : m_db(d) {}
    QSqlQuery &get(const char *sql)
    {
        auto it = m_queries.find(sql);
        if (it == m_queries.end())
            it = m_queries.insert(sql, m_db.prepare(QString::fromLatin1(sql)));
        return it.value();
    }
    // Runs a prepared statement with `values`; a select is left on its rows.
    QSqlQuery &run(const char *sql, std::initializer_list<QVariant> values, bool write = true)
    {
        QSqlQuery &q = get(sql);
        int i = 0;
        for (const QVariant &v : values)
            q.bindValue(i++, v);
        m_db.execPrepared(q, write);
        return q;
    }

private:
    db::Database &m_db;
    QHash<const char *, QSqlQuery> m_queries;
};

struct OnHand {
    double quantity = 0, amount = 0, price = 0;
};

OnHand readOnHand(Statements &s, qint64 store, qint64 goods)
{
    QSqlQuery &q = s.run("select QUANTITY, AMOUNT, PRICE from onhandaath where BUILDINGID = ? and COMMODITYID = ?",
                         {store, goods}, false);
    OnHand o;
    if (q.next()) {
        o = {q.value(0).toDouble(), q.value(1).toDouble(), q.value(2).toDouble()};
        q.finish();
    } else {
        q.finish();
        s.run("insert into onhandaath (BUILDINGID, COMMODITYID, QUANTITY, PRICE, AMOUNT, REALQTY, USEDQTY, STATUS) "
              "values (?, ?, 0, 0, 0, 0, 0, 1)",
              {store, goods});
    }
    return o;
}

void writeOnHand(Statements &s, qint64 store, qint64 goods, const OnHand &o, double realDelta)
{
    s.run("update onhandaath set QUANTITY = ?, AMOUNT = ?, PRICE = ?, REALQTY = round(REALQTY + ?, 6), STATUS = 1 "
          "where BUILDINGID = ? and COMMODITYID = ?",
          {o.quantity, o.amount, o.price, realDelta, store, goods});
}

// Flow ids come from the key table in one block per note.
qint64 takeFlowIds(db::Database &d, int count)
{
    const qint64 key = d.scalar(QStringLiteral("select KEYVALUE from sys_keytable where TABLENAME = 'noteflowaath'")).toLongLong();
    const qint64 top = d.scalar(QStringLiteral("select coalesce(max(ID), 0) from noteflowaath")).toLongLong();
    const qint64 first = std::max(key, top) + 1;
    d.exec(QStringLiteral("update sys_keytable set KEYVALUE = :v where TABLENAME = 'noteflowaath'"),
           {{QStringLiteral("v"), first + count - 1}});
    return first;
}

QVariant column(const db::ResultSet &rs, int row, const char *name) { return rs.value(row, QLatin1String(name)); }

// ---------------------------------------------------------------- audit

void post(db::Database &d, const StockNote &n, qint64 noteId, const QString &action)
{
    const db::ResultSet m = d.select(QStringLiteral("select * from %1 where NOTEID = :id").arg(QLatin1String(n.master)),
                                     {{QStringLiteral("id"), noteId}});
    if (m.isEmpty())
        throw DbError(QStringLiteral("单据(类型 %1, ID %2)不存在,不能%3。").arg(n.noteType).arg(noteId).arg(action));
    const QString code = column(m, 0, "NOTECODE").toString();
    const QVariant noteDate = column(m, 0, "NOTEDATE");
    const int kind = column(m, 0, "NOTEKIND").toInt();
    const Params key{{QStringLiteral("t"), n.noteType}, {QStringLiteral("id"), noteId}};
    if (d.scalar(QStringLiteral("select (select count(*) from noteflowaath where NOTETYPE = :t and NOTEID = :id) + "
                                "(select count(*) from notepostlogaath where NOTETYPE = :t and NOTEID = :id) + "
                                "(select count(*) from accountflowaath where NOTETYPE = :t and NOTEID = :id)"),
                 key)
            .toInt() > 0)
        throw DbError(QStringLiteral("单据[%1]已经记帐,不能重复记帐。").arg(code));

    int direction = 0;
    for (const auto &[k, dir] : n.kinds)
        if (k == kind)
            direction = dir;
    const int decimals = amountDecimals(d);

    const db::ResultSet lines = d.select(
        QStringLiteral("select d.ITEMSNO, d.COMMODITYID, %1 as STOREID, d.%2 as QTY, d.%3 as PRICE, d.BCODE, "
                       "d.PRODUCTDAY, d.VALIDDAY, d.BTURNNOTEID, d.REFERNOTETYPE, d.REFERNOTEID, d.REFERITEMSNO, "
                       "c.COMMODITYID as GOODS, c.KIND, c.NAME from %4 d join %5 m on m.NOTEID = d.NOTEID "
                       "left join Commoditylth c on c.COMMODITYID = d.COMMODITYID where d.NOTEID = :id order by d.ITEMSNO")
            .arg(QLatin1String(n.store), QLatin1String(n.quantity), QLatin1String(n.price), QLatin1String(n.lines),
                 QLatin1String(n.master)),
        {{QStringLiteral("id"), noteId}});

    // Which lines move stock, checked before anything is written.
    QVector<int> moving;
    for (int i = 0; i < lines.rows.size(); ++i) {
        const QVariant goods = column(lines, i, "COMMODITYID");
        if (goods.isNull())
            continue;
        if (column(lines, i, "GOODS").isNull())
            throw DbError(QStringLiteral("单据[%1]第%2行的货品(ID %3)不存在,不能%4。")
                              .arg(code, column(lines, i, "ITEMSNO").toString(), goods.toString(), action));
        if (direction == 0 || column(lines, i, "KIND").toInt() > 3 ||
            movedByStockNote(column(lines, i, "REFERNOTETYPE").toInt()) ||
            std::fabs(column(lines, i, "QTY").toDouble()) < kEpsilon)
            continue;
        if (column(lines, i, "STOREID").toLongLong() <= 0)
            throw DbError(QStringLiteral("货品[%1]的仓库不能为空,不能%2。").arg(column(lines, i, "NAME").toString(), action));
        moving << i;
    }

    Statements s(d);
    qint64 flowId = moving.isEmpty() ? 0 : takeFlowIds(d, int(moving.size()));
    for (int i : std::as_const(moving)) {
        const qint64 goods = column(lines, i, "COMMODITYID").toLongLong();
        const qint64 store = column(lines, i, "STOREID").toLongLong();
        const QString name = column(lines, i, "NAME").toString();
        const double q = RoundToEx(std::fabs(column(lines, i, "QTY").toDouble()), 6);
        const double p = round6(column(lines, i, "PRICE").toDouble());
        const double lineAmount = RoundToEx(q * p, decimals);
        QVariant batch;
        if (direction < 0 && !column(lines, i, "BTURNNOTEID").isNull() && column(lines, i, "BTURNNOTEID").toLongLong() != 0) {
            batch = column(lines, i, "BTURNNOTEID");
            QSqlQuery &b = s.run("select COMMODITYID, BUILDINGID, QUANTITY * IOFLAG - BREFERQTY, BCODE, IOFLAG, "
                                 "BTURNNOTEID from noteflowaath where ID = ?",
                                 {batch}, false);
            if (!b.next() || b.value(4).toInt() != 1 || !b.value(5).isNull()) {
                b.finish();
                throw DbError(QStringLiteral("单据[%1]第%2行引用的批次(ID %3)不存在,不能%4。")
                                  .arg(code, column(lines, i, "ITEMSNO").toString(), batch.toString(), action));
            }
            const qint64 batchGoods = b.value(0).toLongLong(), batchStore = b.value(1).toLongLong();
            const double left = b.value(2).toDouble();
            const QString bcode = b.value(3).toString();
            b.finish();
            if (batchGoods != goods || batchStore != store)
                throw DbError(QStringLiteral("货品[%1]引用的批次[%2]不是该货品在该仓库的批次,不能%3。").arg(name, bcode, action));
            if (left + kEpsilon < q)
                throw DbError(QStringLiteral("货品[%1]的批次[%2]只剩%3,不够%4,不能%5。")
                                  .arg(name, bcode, QString::number(left), QString::number(q), action));
            s.run("update noteflowaath set BREFERQTY = round(BREFERQTY + ?, 6) where ID = ?", {q, batch});
            s.run("insert into PcSplit (ID, BTURNNOTEID, NOTETYPE, NOTEID, ITEMSNO, NOTESTATE, QUANTITY) "
                  "values (?, ?, ?, ?, ?, 1, ?)",
                  {d.newKey(QStringLiteral("PcSplit")), batch, n.noteType, noteId, column(lines, i, "ITEMSNO"), q});
        }

        OnHand o = readOnHand(s, store, goods);
        if (direction > 0) {
            o.quantity = RoundToEx(o.quantity + q, 6);
            o.amount = RoundToEx(o.amount + lineAmount, decimals);
            o.price = std::fabs(o.quantity) > kEpsilon ? round6(o.amount / o.quantity) : p;
        } else {
            // Out at the current average; stock that never had a cost goes out at the line's price.
            if (o.price == 0 && o.quantity <= kEpsilon)
                o.price = p;
            o.quantity = RoundToEx(o.quantity - q, 6);
            o.amount = RoundToEx(o.amount - RoundToEx(q * o.price, decimals), decimals);
        }
        writeOnHand(s, store, goods, o, direction * q);

        s.run("insert into noteflowaath (ID, NOTETYPE, NOTEID, ITEMSNO, NOTECODE, NOTEDATE, BUILDINGID, COMMODITYID, "
              "QUANTITY, PRICE, PPRICE, AMOUNT, BCODE, VALIDDAY, PRODUCEDDATE, IOFLAG, BTURNNOTEID, BREFERQTY, EQTY, "
              "STATUS) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, ?, 1)",
              {flowId++, n.noteType, noteId, column(lines, i, "ITEMSNO"), code, noteDate, store, goods, q, p, o.price,
               lineAmount, column(lines, i, "BCODE"), column(lines, i, "VALIDDAY"), column(lines, i, "PRODUCTDAY"),
               direction, batch, o.quantity});
    }

    // References: the source line's quantity and count, the source note's count.
    QSet<QPair<int, qint64>> referredNotes;
    for (int i = 0; i < lines.rows.size(); ++i) {
        const int type = column(lines, i, "REFERNOTETYPE").toInt();
        const qint64 sourceId = column(lines, i, "REFERNOTEID").toLongLong();
        const auto src = sources().constFind(type);
        if (src == sources().cend() || sourceId == 0 || column(lines, i, "REFERNOTEID").isNull())
            continue;
        QString raised = QStringLiteral("REFERQTY");
        for (const SourceColumn &c : n.sources)
            if (c.sourceType == type)
                raised = c.column ? QLatin1String(c.column) : QString();
        const double q = RoundToEx(std::fabs(column(lines, i, "QTY").toDouble()), 6);
        const QVariant item = column(lines, i, "REFERITEMSNO");
        const QString set = raised.isEmpty() ? QString()
                                             : QStringLiteral("%1 = round(coalesce(%1, 0) + :q, 6), ").arg(raised);
        d.exec(QStringLiteral("update %1 set %2REFERCOUNT = coalesce(REFERCOUNT, 0) + 1 where NOTEID = :id and ITEMSNO = :item")
                   .arg(src->lines, set),
               {{QStringLiteral("q"), q}, {QStringLiteral("id"), sourceId}, {QStringLiteral("item"), item}});
        if (d.lastRowsAffected() == 0)
            throw DbError(QStringLiteral("单据[%1]第%2行引用的来源单据明细(类型 %3, ID %4, 行 %5)不存在,不能%6。")
                              .arg(code, column(lines, i, "ITEMSNO").toString())
                              .arg(type)
                              .arg(sourceId)
                              .arg(item.toString(), action));
        if (!src->finished.isEmpty())
            d.exec(QStringLiteral("update %1 set FINISHED = %2 where NOTEID = :id and ITEMSNO = :item").arg(src->lines, src->finished),
                   {{QStringLiteral("id"), sourceId}, {QStringLiteral("item"), item}});
        s.run("insert into notepostlogaath (NOTETYPE, NOTEID, ITEMSNO, KIND, TARGETTYPE, TARGETTABLE, TARGETCOLUMN, "
              "TARGETID, TARGETITEMSNO, QUANTITY) values (?, ?, ?, 1, ?, ?, ?, ?, ?, ?)",
              {n.noteType, noteId, column(lines, i, "ITEMSNO"), type, src->lines,
               raised.isEmpty() ? QVariant() : QVariant(raised), sourceId, item, raised.isEmpty() ? 0.0 : q});
        referredNotes.insert({type, sourceId});
    }
    for (const auto &[type, sourceId] : std::as_const(referredNotes)) {
        const Source &src = sources()[type];
        d.exec(QStringLiteral("update %1 set REFERCOUNT = coalesce(REFERCOUNT, 0) + 1 where NOTEID = :id").arg(src.master),
               {{QStringLiteral("id"), sourceId}});
        s.run("insert into notepostlogaath (NOTETYPE, NOTEID, KIND, TARGETTYPE, TARGETTABLE, TARGETID, QUANTITY) "
              "values (?, ?, 2, ?, ?, ?, 0)",
              {n.noteType, noteId, type, src.master, sourceId});
    }

    if (!n.payable)
        return;
    // Money: what is not paid now is owed to the partner; a return (out of
    // stock) turns both round.
    const int moneySign = direction < 0 ? -1 : 1;
    const double amount = RoundToEx(std::fabs(column(m, 0, "AMOUNT").toDouble()), decimals);
    const double paid = RoundToEx(std::fabs(column(m, 0, "PAYAMT").toDouble()), decimals);
    const double owed = RoundToEx(moneySign * (amount - paid), decimals);
    QVariant partner = column(m, 0, "CPARTNERID");
    if (partner.isNull() || partner.toLongLong() == 0)
        partner = column(m, 0, "PARTNERID");
    if (paid != 0)
        checkAccount(d, code, QStringLiteral("付款帐户"), column(m, 0, "ACCOUNTID"), action);
    if (owed != 0) {
        if (partner.isNull() || partner.toLongLong() == 0)
            throw DbError(QStringLiteral("单据[%1]没有指定往来单位,不能%2。").arg(code, action));
        d.exec(QStringLiteral("update partnerlth set SCAMT = round(SCAMT + :v, :n) where PARTNERID = :p"),
               {{QStringLiteral("v"), owed}, {QStringLiteral("n"), decimals}, {QStringLiteral("p"), partner}});
        if (d.lastRowsAffected() == 0)
            throw DbError(QStringLiteral("单据[%1]的往来单位不存在(ID %2),不能%3。").arg(code, partner.toString(), action));
        s.run("insert into notepostlogaath (NOTETYPE, NOTEID, KIND, TARGETTABLE, TARGETID, QUANTITY) "
              "values (?, ?, 3, 'partnerlth', ?, ?)",
              {n.noteType, noteId, partner, owed});
    }
    if (paid != 0)
        postAccountFlow(d, column(m, 0, "ACCOUNTID").toLongLong(), n.noteType, noteId, code, noteDate,
                        moneySign < 0 ? paid : 0, moneySign > 0 ? paid : 0, column(m, 0, "CHKORID"), decimals);
}

// ---------------------------------------------------------------- reversal

void reverse(db::Database &d, const StockNote &n, qint64 noteId, const QString &action)
{
    const Params key{{QStringLiteral("t"), n.noteType}, {QStringLiteral("id"), noteId}};
    const db::ResultSet drawn = d.select(
        QStringLiteral("select BCODE from noteflowaath where NOTETYPE = :t and NOTEID = :id and IOFLAG = 1 and "
                       "BTURNNOTEID is null and BREFERQTY > 0.000001 order by ID"),
        key);
    if (!drawn.isEmpty())
        throw DbError(QStringLiteral("批次[%1]已被其他单据引用,不能%2。").arg(drawn.rows[0][0].toString(), action));

    const int decimals = amountDecimals(d);
    Statements s(d);
    const db::ResultSet flows = d.select(
        QStringLiteral("select ID, BUILDINGID, COMMODITYID, QUANTITY, PPRICE, AMOUNT, IOFLAG, BTURNNOTEID "
                       "from noteflowaath where NOTETYPE = :t and NOTEID = :id order by ID desc"),
        key);
    for (const QVector<QVariant> &f : flows.rows) {
        const qint64 id = f[0].toLongLong(), store = f[1].toLongLong(), goods = f[2].toLongLong();
        const double q = f[3].toDouble();
        const int io = f[6].toInt();
        OnHand o = readOnHand(s, store, goods);
        o.quantity = RoundToEx(o.quantity - io * q, 6);
        if (io > 0)
            o.amount = RoundToEx(o.amount - f[5].toDouble(), decimals);
        else
            o.amount = RoundToEx(o.amount + RoundToEx(q * f[4].toDouble(), decimals), decimals);
        if (std::fabs(o.quantity) > kEpsilon)
            o.price = round6(o.amount / o.quantity);
        writeOnHand(s, store, goods, o, -io * q);
        s.run("update noteflowaath set EQTY = round(EQTY - ?, 6) where COMMODITYID = ? and BUILDINGID = ? and ID > ?",
              {io * q, goods, store, id});
        if (io < 0 && !f[7].isNull())
            s.run("update noteflowaath set BREFERQTY = round(BREFERQTY - ?, 6) where ID = ?", {q, f[7]});
        s.run("delete from noteflowaath where ID = ?", {id});
    }
    d.exec(QStringLiteral("delete from PcSplit where NOTETYPE = :t and NOTEID = :id"), key);

    const db::ResultSet log = d.select(
        QStringLiteral("select KIND, TARGETTYPE, TARGETTABLE, TARGETCOLUMN, TARGETID, TARGETITEMSNO, QUANTITY "
                       "from notepostlogaath where NOTETYPE = :t and NOTEID = :id"),
        key);
    for (const QVector<QVariant> &l : log.rows) {
        const int kind = l[0].toInt();
        const QString table = l[2].toString();
        const Params p{{QStringLiteral("q"), l[6]}, {QStringLiteral("id"), l[4]}, {QStringLiteral("item"), l[5]},
                       {QStringLiteral("n"), decimals}};
        if (kind == 1) {
            const QString set = l[3].isNull() ? QString()
                                              : QStringLiteral("%1 = round(%1 - :q, 6), ").arg(l[3].toString());
            d.exec(QStringLiteral("update %1 set %2REFERCOUNT = max(coalesce(REFERCOUNT, 0) - 1, 0) "
                                  "where NOTEID = :id and ITEMSNO = :item")
                       .arg(table, set),
                   p);
            const Source src = sources().value(l[1].toInt());
            if (!src.finished.isEmpty())
                d.exec(QStringLiteral("update %1 set FINISHED = %2 where NOTEID = :id and ITEMSNO = :item").arg(src.lines, src.finished), p);
        } else if (kind == 2) {
            d.exec(QStringLiteral("update %1 set REFERCOUNT = max(coalesce(REFERCOUNT, 0) - 1, 0) where NOTEID = :id").arg(table), p);
        } else if (kind == 3) {
            d.exec(QStringLiteral("update partnerlth set SCAMT = round(SCAMT - :q, :n) where PARTNERID = :id"), p);
        }
    }
    d.exec(QStringLiteral("delete from notepostlogaath where NOTETYPE = :t and NOTEID = :id"), key);
    reverseAccountFlows(d, n.noteType, noteId, action);
}

void handle(db::Database &d, const StockNote &n, const db::PostingEvent &ev)
{
    const bool was = ev.oldState == 1, is = ev.newState == 1;
    if (was == is)
        return; // void or un-void of an entered note posts nothing
    if (is)
        post(d, n, ev.noteId, actionOf(ev.newState));
    else
        reverse(d, n, ev.noteId, actionOf(ev.newState));
}

} // namespace

void declareSource(int noteType, const char *master, const char *lines, const char *finished)
{
    sources()[noteType] = Source{QLatin1String(master), QLatin1String(lines),
                                 finished ? QLatin1String(finished) : QString()};
}

void declare(const StockNote &note)
{
    const QString table = QString::fromLatin1(note.master).toLower();
    const bool fresh = !notes().contains(table);
    notes()[table] = note;
    if (fresh)
        db::Registry::instance().addPosting(table, [table](db::Database &d, const db::PostingEvent &ev) {
            handle(d, notes()[table], ev);
        });
}

bool movedByStockNote(int referNoteType) { return referNoteType == 21 || referNoteType == 22; }

} // namespace notedb::stock

namespace notedb {

void registerStockPostings()
{
    static std::once_flag once;
    std::call_once(once, [] {
        using namespace stock;
        // A purchase order line is done when receipts and other notes took all of it.
        declareSource(1, "purchasepthPlan", "purchasepthPlanDetail");
        declareSource(2, "orderpth", "orderpthDetail",
                      "case when abs(coalesce(BUYQTY, 0) + coalesce(REFERQTY, 0)) >= abs(coalesce(QUANTITY, 0)) - 0.000001 "
                      "then 1 else 0 end");
        declareSource(3, "valuepth", "valuepthDetail");
        declareSource(4, "purchasepth", "purchasepthDetail");
        declareSource(5, "RePurchase", "RepurchaseDetail");
        declareSource(21, "iostoreith", "iostoreithDetail");
        declareSource(22, "iostoreith", "iostoreithDetail");

        // The order takes requisition and plan lines; it moves no stock.
        StockNote order;
        order.noteType = 2;
        order.master = "orderpth";
        order.lines = "orderpthDetail";
        declare(order);

        // Estimated receipt: kind 1 brings goods in at the estimated price,
        // reversals (2 by hand, 3 made by the system) take them out again.
        StockNote value;
        value.noteType = 3;
        value.master = "valuepth";
        value.lines = "valuepthDetail";
        value.kinds = {{1, 1}, {2, -1}, {3, -1}};
        declare(value);

        // Receipt: purchase and settlement of estimated receipts in, return
        // out. Order lines count as received (BUYQTY); an estimated-receipt
        // line was already taken by the system reversal made at save.
        StockNote receipt;
        receipt.noteType = 4;
        receipt.master = "purchasepth";
        receipt.lines = "purchasepthDetail";
        receipt.kinds = {{1, 1}, {3, 1}, {2, -1}};
        receipt.sources = {{2, "BUYQTY"}, {3, nullptr}};
        receipt.payable = true;
        declare(receipt);
    });
}

} // namespace notedb
