// The database side the purchase windows call:
//
//   dbo.sevengetnotecode(notetype, noteid)   the number of a note (SQL function)
//   EXECUTE FIRSTUPDATECERTAINFILL notetype, noteid
//   exec FIRSTUPDATEFILLFLAG @id             the same for every note invoice @id covers
//   exec PURCHASETOVALUE @VNOTEID, @VPARTNERID, @VNOTEDATE
//   exec salepurchasetoorder @notetype, @noteid
//
// What each computes is written down in README.md, "Stock postings".

#include "PostingShared.h"
#include "Procedures.h"
#include "Rounding.h"

#include <QHash>
#include <QMap>

#include <sqlite3.h>

#include <cmath>
#include <mutex>

namespace notedb {

using db::DbError;
using db::Params;
using db::ProcArg;
using namespace posting;

namespace {

// The master table of each note type that has a number.
const QHash<int, QByteArray> &noteTables()
{
    static const QHash<int, QByteArray> map = {
        {1, "purchasepthPlan"}, {2, "orderpth"},       {3, "valuepth"},        {4, "purchasepth"},
        {5, "RePurchase"},      {11, "salesthPlan"},   {12, "ordersth"},       {13, "DeputeMarketsth"},
        {14, "salesth"},        {15, "S_Price"},       {21, "iostoreith"},     {22, "OtherInith"},
        {23, "OtherOutith"},    {25, "drawith"},       {26, "Badsthith"},      {27, "Togetherith"},
        {28, "disTogetherith"}, {29, "Attaintith"},    {30, "BalItemith"},     {31, "ChgPriceith"},
        {32, "PlaceAdjustith"}, {41, "PrdCheckth"},    {42, "manuordermnfth"}, {43, "Manuplanmnfth"},
        {45, "OutMoneymnfth"},  {46, "OutManuOrderth"}, {47, "Outdrawith"},    {48, "PrdInStoreth"},
        {49, "OutPrdInStoreth"}, {50, "PrdToCheckth"}, {51, "movebth"},        {52, "expenseath"},
        {53, "InComebth"},      {61, "payath"},        {62, "chargeath"},      {63, "COUNTERACTATH"},
        {64, "fillath"},        {71, "saleposth"},     {72, "inoutcashposth"}, {73, "closeposth"},
        {74, "savingcardposth"}, {75, "adjpriceposth"}, {80, "BFPrdth"},       {81, "BackPrdth"},
        {88, "RepairPrdth"},
    };
    return map;
}

// sevengetnotecode runs on the connection of the statement that calls it; a
// note type without a table in these books gives null, as an unknown note does.
void sevenGetNoteCode(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto table = noteTables().constFind(sqlite3_value_int(argv[0]));
    if (table == noteTables().cend()) {
        sqlite3_result_null(ctx);
        return;
    }
    const QByteArray sql = "select NOTECODE from " + *table + " where NOTEID = ?";
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(sqlite3_context_db_handle(ctx), sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        sqlite3_result_null(ctx);
        return;
    }
    sqlite3_bind_int64(st, 1, sqlite3_value_int64(argv[1]));
    if (sqlite3_step(st) == SQLITE_ROW)
        sqlite3_result_value(ctx, sqlite3_column_value(st, 0));
    else
        sqlite3_result_null(ctx);
    sqlite3_finalize(st);
}

// Installed on every connection the process opens from now on.
int installNoteCodeFunction(sqlite3 *db, const char **, const struct sqlite3_api_routines *)
{
    return sqlite3_create_function_v2(db, "sevengetnotecode", 2, SQLITE_UTF8, nullptr, sevenGetNoteCode, nullptr,
                                      nullptr, nullptr);
}

qint64 wholeArg(const QVector<ProcArg> &args, int i, const QString &proc, const char *what)
{
    bool ok = false;
    const QVariant &v = args[i].value;
    const double d = v.toString().trimmed().toDouble(&ok);
    if (!ok || v.isNull() || d != double(qint64(d)))
        throw DbError(QStringLiteral("过程 %1 的参数 %2 必须是整数, 给出的是 '%3'。")
                          .arg(proc, QString::fromUtf8(what), v.isNull() ? QStringLiteral("null") : v.toString()));
    return qint64(d);
}

void needArgs(const QVector<ProcArg> &args, int count, const QString &proc, const char *names)
{
    if (args.size() != count)
        throw DbError(QStringLiteral("过程 %1 需要 %2 个参数(%3), 给出了 %4 个。")
                          .arg(proc)
                          .arg(count)
                          .arg(QString::fromUtf8(names))
                          .arg(args.size()));
}

bool tableExists(db::Database &d, const QString &table)
{
    return d.hasTable(table);
}

struct LineAmounts {
    double goods, tax, total;
};
LineAmounts amountsOf(double quantity, double price, double taxRate, int decimals)
{
    const double goods = RoundToEx(quantity * price, decimals);
    const double tax = RoundToEx(goods * taxRate / 100.0, decimals);
    return {goods, tax, RoundToEx(goods + tax, decimals)};
}

// ---------------------------------------------------------------- invoicing

db::ResultSet firstUpdateCertainFill(db::Database &d, QVector<ProcArg> &args)
{
    const QString proc = QStringLiteral("FIRSTUPDATECERTAINFILL");
    needArgs(args, 2, proc, "单据类型, 单据ID");
    const qint64 type = wholeArg(args, 0, proc, "单据类型");
    const qint64 id = wholeArg(args, 1, proc, "单据ID");
    QString master, lines;
    if (type == 4) {
        master = QStringLiteral("purchasepth");
        lines = QStringLiteral("purchasepthDetail");
    } else if (type == 14) {
        master = QStringLiteral("salesth");
        lines = QStringLiteral("salesthDetail");
        if (!tableExists(d, master))
            throw DbError(QStringLiteral("本帐套还没有销售开单(salesth),过程 FIRSTUPDATECERTAINFILL 不能处理单据类型 14。"));
    } else {
        throw DbError(QStringLiteral("过程 FIRSTUPDATECERTAINFILL 只处理采购开单(4)和销售开单(14), 给出的是 %1。").arg(type));
    }
    const int decimals = amountDecimals(d);
    const Params p{{QStringLiteral("t"), type}, {QStringLiteral("id"), id}, {QStringLiteral("n"), decimals}};
    // What invoices that are not void cover, per note and per line.
    const double filled = RoundToEx(
        d.scalar(QStringLiteral("select coalesce(sum(d.AMOUNT), 0) from fillathD d join fillath f on f.NOTEID = d.NOTEID "
                                "where f.NOTESTATE <> 2 and d.REFERNOTETYPE = :t and d.REFERNOTEID = :id"),
                 p)
            .toDouble(),
        decimals);
    Params q = p;
    q.insert(QStringLiteral("f"), filled);
    // Complete when the invoices reach the note's amount; a user's
    // termination (1) stays, a completion no longer true goes back to open.
    d.exec(QStringLiteral("update %1 set FILLAMT = :f, CLOSEFILL = case "
                          "when abs(coalesce(AMOUNT, 0)) > 0.000001 and round(abs(coalesce(AMOUNT, 0)) - abs(:f), :n) <= 0 then 2 "
                          "when CLOSEFILL = 2 then 0 else CLOSEFILL end where NOTEID = :id")
               .arg(master),
           q);
    if (d.lastRowsAffected() == 0)
        throw DbError(QStringLiteral("单据(类型 %1, ID %2)不存在。").arg(type).arg(id));
    d.exec(QStringLiteral("update %1 set "
                          "FILLQTY = (select coalesce(sum(x.QUANTITY), 0) from fillathDD x join fillath f on f.NOTEID = x.NOTEID "
                          "where f.NOTESTATE <> 2 and x.REFERNOTETYPE = :t and x.REFERNOTEID = :id and x.REFERNOTEITEMSNO = %1.ITEMSNO), "
                          "FILLAMT = (select round(coalesce(sum(x.AMOUNT), 0), :n) from fillathDD x join fillath f on f.NOTEID = x.NOTEID "
                          "where f.NOTESTATE <> 2 and x.REFERNOTETYPE = :t and x.REFERNOTEID = :id and x.REFERNOTEITEMSNO = %1.ITEMSNO) "
                          "where NOTEID = :id")
               .arg(lines),
           p);
    return {};
}

// The invoicing state of every note an invoice covers, after the invoice changed.
db::ResultSet firstUpdateFillFlag(db::Database &d, QVector<ProcArg> &args)
{
    const QString proc = QStringLiteral("FIRSTUPDATEFILLFLAG");
    needArgs(args, 1, proc, "开票单ID");
    const qint64 fillId = wholeArg(args, 0, proc, "开票单ID");
    const db::ResultSet covered = d.select(
        QStringLiteral("select distinct REFERNOTETYPE, REFERNOTEID from fillathD where NOTEID = :id and REFERNOTETYPE in (4, 14) "
                       "union select distinct REFERNOTETYPE, REFERNOTEID from fillathDD where NOTEID = :id and "
                       "REFERNOTETYPE in (4, 14)"),
        {{QStringLiteral("id"), fillId}});
    for (const QVector<QVariant> &row : covered.rows) {
        QVector<ProcArg> note(2);
        note[0].value = row[0];
        note[1].value = row[1];
        firstUpdateCertainFill(d, note);
    }
    return {};
}

// ---------------------------------------------------------------- settling estimated receipts

QDate dateArg(const QVariant &v)
{
    const QVariant date = db::Database::toDateValue(v);
    if (date.typeId() == QMetaType::QDateTime)
        return date.toDateTime().date();
    if (date.typeId() == QMetaType::QDate)
        return date.toDate();
    const QStringList parts = v.toString().trimmed().left(10).split(u'/');
    if (parts.size() == 3)
        return QDate(parts[2].toInt(), parts[0].toInt(), parts[1].toInt());
    return {};
}

db::ResultSet purchaseToValue(db::Database &d, QVector<ProcArg> &args)
{
    const QString proc = QStringLiteral("PURCHASETOVALUE");
    needArgs(args, 3, proc, "采购单ID, 供应商ID, 单据日期");
    const qint64 receiptId = wholeArg(args, 0, proc, "采购单ID");
    const QVariant partner = args[1].value;
    const QDate date = dateArg(args[2].value);
    if (!date.isValid())
        throw DbError(QStringLiteral("过程 PURCHASETOVALUE 的参数 单据日期 无效: '%1'。").arg(args[2].value.toString()));
    const Params rid{{QStringLiteral("id"), receiptId}};

    // What an earlier save made is reversed and removed first (deleting an
    // audited note queues its reversal).
    const db::ResultSet made = d.select(
        QStringLiteral("select NOTEID from valuepth where NOTEKIND = 3 and PURCHASENOTEID = :id order by NOTEID"), rid);
    for (const QVector<QVariant> &row : made.rows)
        d.exec(QStringLiteral("delete from valuepth where NOTEID = :v"), {{QStringLiteral("v"), row[0]}});

    const db::ResultSet receipt = d.select(
        QStringLiteral("select NOTECODE, NOTEKIND, EMPID, DEPID, OPERATEID from purchasepth where NOTEID = :id"), rid);
    if (receipt.isEmpty())
        throw DbError(QStringLiteral("采购单(ID %1)不存在,不能冲回估价入库。").arg(receiptId));
    db::ResultSet out;
    out.columns = QStringList{"NOTEID", "NOTECODE", "VALUENOTEID"};
    if (receipt.value(0, QStringLiteral("NOTEKIND")).toInt() != 3)
        return out;
    const QString receiptCode = receipt.value(0, QStringLiteral("NOTECODE")).toString();
    const int decimals = amountDecimals(d);

    const db::ResultSet lines = d.select(
        QStringLiteral("select ITEMSNO, QUANTITY, BTURNNOTEID, REFERNOTEID, REFERITEMSNO, SPLITNOTETYPE, SPLITNOTEID, "
                       "SPLITITEMSNO from purchasepthDetail where NOTEID = :id and REFERNOTETYPE = 3 and REFERNOTEID is not null "
                       "order by REFERNOTEID, ITEMSNO"),
        rid);
    QMap<qint64, QVector<int>> byValue;
    for (int i = 0; i < lines.rows.size(); ++i)
        byValue[lines.value(i, QStringLiteral("REFERNOTEID")).toLongLong()] << i;

    for (auto it = byValue.cbegin(); it != byValue.cend(); ++it) {
        const qint64 valueId = it.key();
        const db::ResultSet est = d.select(
            QStringLiteral("select NOTECODE, NOTEKIND, NOTESTATE, TAXRATE from valuepth where NOTEID = :v"),
            {{QStringLiteral("v"), valueId}});
        if (est.isEmpty())
            throw DbError(QStringLiteral("采购单[%1]引用的估价入库单(ID %2)不存在。").arg(receiptCode).arg(valueId));
        const QString estCode = est.value(0, QStringLiteral("NOTECODE")).toString();
        if (est.value(0, QStringLiteral("NOTEKIND")).toInt() != 1 || est.value(0, QStringLiteral("NOTESTATE")).toInt() != 1)
            throw DbError(QStringLiteral("估价入库单[%1]不是已审核的估价入库,不能冲回。").arg(estCode));

        const qint64 noteId = d.newKey(QStringLiteral("valuepth"));
        const QString code = newNoteCode(d, 3, QStringLiteral("valuepth"), date);
        d.exec(QStringLiteral("insert into valuepth (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, SHOPERATEID, EMPID, "
                              "DEPID, OPERATEID, REFERCOUNT, AMOUNT, UPFLAG, PARTNERID, TAXRATE, DISC, PURCHASENOTEID, "
                              "UPDATETIME, REMARK) values (:id, 3, 0, :code, :date, 0, :emp, :dep, :op, 0, 0, 0, :p, "
                              ":tax, 100, :r, :time, :remark)"),
               {{QStringLiteral("id"), noteId},
                {QStringLiteral("code"), code},
                {QStringLiteral("date"), date},
                {QStringLiteral("emp"), receipt.value(0, QStringLiteral("EMPID"))},
                {QStringLiteral("dep"), receipt.value(0, QStringLiteral("DEPID"))},
                {QStringLiteral("op"), receipt.value(0, QStringLiteral("OPERATEID"))},
                {QStringLiteral("p"), partner},
                {QStringLiteral("tax"), est.value(0, QStringLiteral("TAXRATE"))},
                {QStringLiteral("r"), receiptId},
                {QStringLiteral("time"), QDateTime::currentDateTime()},
                {QStringLiteral("remark"), QStringLiteral("采购单[%1]冲回估价入库单[%2]").arg(receiptCode, estCode)}});
        double total = 0;
        int itemNo = 0;
        for (int i : it.value()) {
            const QVariant item = lines.value(i, QStringLiteral("REFERITEMSNO"));
            const db::ResultSet src = d.select(QStringLiteral("select * from valuepthDetail where NOTEID = :v and ITEMSNO = :i"),
                                               {{QStringLiteral("v"), valueId}, {QStringLiteral("i"), item}});
            if (src.isEmpty())
                throw DbError(QStringLiteral("估价入库单[%1]没有第%2行,不能冲回。").arg(estCode, item.toString()));
            QVariant batch = lines.value(i, QStringLiteral("BTURNNOTEID"));
            if (batch.isNull() || batch.toLongLong() == 0)
                batch = d.scalar(QStringLiteral("select ID from noteflowaath where NOTETYPE = 3 and NOTEID = :v and "
                                                "ITEMSNO = :i and BTURNNOTEID is null"),
                                 {{QStringLiteral("v"), valueId}, {QStringLiteral("i"), item}});
            double quantity = std::fabs(lines.value(i, QStringLiteral("QUANTITY")).toDouble());
            // A line split out by an issuing note reverses that note's share.
            if (!lines.value(i, QStringLiteral("SPLITNOTEID")).isNull() && !batch.isNull()) {
                const QVariant split = d.scalar(
                    QStringLiteral("select QUANTITY from PcSplit where BTURNNOTEID = :b and NOTETYPE = :t and NOTEID = :n "
                                   "and ITEMSNO = :i"),
                    {{QStringLiteral("b"), batch},
                     {QStringLiteral("t"), lines.value(i, QStringLiteral("SPLITNOTETYPE"))},
                     {QStringLiteral("n"), lines.value(i, QStringLiteral("SPLITNOTEID"))},
                     {QStringLiteral("i"), lines.value(i, QStringLiteral("SPLITITEMSNO"))}});
                if (!split.isNull())
                    quantity = std::fabs(split.toDouble());
            }
            const double price = src.value(0, QStringLiteral("PRICE")).toDouble();
            const double taxRate = src.value(0, QStringLiteral("TAXRATE")).toDouble();
            const LineAmounts a = amountsOf(quantity, price, taxRate, decimals);
            total += a.total;
            d.exec(QStringLiteral("insert into valuepthDetail (NOTEID, ITEMSNO, BUILDINGID, COMMODITYID, APRICE, PRICE, "
                                  "QUANTITY, DISC, TAXRATE, AMOUNT, TAXAMT, COMMODITYAMT, BCODE, PRODUCTDAY, VALIDDAY, "
                                  "BTURNNOTEID, REFERCOUNT, REFERNOTETYPE, REFERNOTEID, REFERITEMSNO, REFERQTY, IOQTY) "
                                  "values (:id, :no, :store, :goods, :aprice, :price, :q, 100, :tax, :amt, :taxamt, :gamt, "
                                  ":bcode, :pday, :vday, :batch, 0, 3, :v, :i, 0, 0)"),
                   {{QStringLiteral("id"), noteId},
                    {QStringLiteral("no"), ++itemNo},
                    {QStringLiteral("store"), src.value(0, QStringLiteral("BUILDINGID"))},
                    {QStringLiteral("goods"), src.value(0, QStringLiteral("COMMODITYID"))},
                    {QStringLiteral("aprice"), src.value(0, QStringLiteral("APRICE"))},
                    {QStringLiteral("price"), price},
                    {QStringLiteral("q"), quantity},
                    {QStringLiteral("tax"), taxRate},
                    {QStringLiteral("amt"), a.total},
                    {QStringLiteral("taxamt"), a.tax},
                    {QStringLiteral("gamt"), a.goods},
                    {QStringLiteral("bcode"), src.value(0, QStringLiteral("BCODE"))},
                    {QStringLiteral("pday"), src.value(0, QStringLiteral("PRODUCTDAY"))},
                    {QStringLiteral("vday"), src.value(0, QStringLiteral("VALIDDAY"))},
                    {QStringLiteral("batch"), batch},
                    {QStringLiteral("v"), valueId},
                    {QStringLiteral("i"), item}});
        }
        // Audited at once: the estimated goods leave stock with this update.
        d.exec(QStringLiteral("update valuepth set AMOUNT = :a, NOTESTATE = 1, CHKORID = OPERATEID where NOTEID = :id"),
               {{QStringLiteral("a"), RoundToEx(total, decimals)}, {QStringLiteral("id"), noteId}});
        out.rows.append({noteId, code, valueId});
    }
    return out;
}

// ---------------------------------------------------------------- plan to orders

db::ResultSet planToOrder(db::Database &d, QVector<ProcArg> &args)
{
    const QString proc = QStringLiteral("salepurchasetoorder");
    needArgs(args, 2, proc, "单据类型, 单据ID");
    const qint64 type = wholeArg(args, 0, proc, "单据类型");
    const qint64 planId = wholeArg(args, 1, proc, "单据ID");
    if (type != 1 && type != 11)
        throw DbError(QStringLiteral("过程 salepurchasetoorder 只能用于采购计划(1)和销售计划(11), 给出的单据类型是 %1。").arg(type));
    // A purchase plan orders from each usual supplier, a sales plan for each
    // usual customer; the window takes the lines the other side would.
    const bool sales = type == 11;
    const QString planTable = sales ? QStringLiteral("salesthPlan") : QStringLiteral("purchasepthPlan");
    const QString orderTable = sales ? QStringLiteral("ordersth") : QStringLiteral("orderpth");
    const QString planName = sales ? QStringLiteral("销售计划") : QStringLiteral("采购计划");
    const QString orderName = sales ? QStringLiteral("销售订单") : QStringLiteral("采购订单");
    const Params pid{{QStringLiteral("id"), planId}};
    const db::ResultSet plan = d.select(
        QStringLiteral("select NOTECODE, NOTESTATE, EMPID, DEPID, OPERATEID, ENDDATE from %1 where NOTEID = :id").arg(planTable), pid);
    if (plan.isEmpty())
        throw DbError(QStringLiteral("%1(ID %2)不存在,不能生成%3。").arg(planName).arg(planId).arg(orderName));
    const QString planCode = plan.value(0, QStringLiteral("NOTECODE")).toString();
    if (plan.value(0, QStringLiteral("NOTESTATE")).toInt() == 2)
        throw DbError(QStringLiteral("%1[%2]已作废,不能生成%3。").arg(planName, planCode, orderName));

    // The lines the window does not take itself (it takes those without a
    // usual partner or whose partner is of the other side), still open and
    // not on an order yet.
    const db::ResultSet lines = d.select(
        QStringLiteral("select p.*, g.PARTNERID as VENDOR from %1Detail p "
                       "join Commoditylth g on g.COMMODITYID = p.COMMODITYID join partnerlth t on t.PARTNERID = g.PARTNERID "
                       "where p.NOTEID = :id and %3 "
                       "and abs(coalesce(p.QUANTITY, 0)) - abs(coalesce(p.REFERQTY, 0)) > 0.000001 "
                       "and not exists (select 1 from %2Detail od join %2 o on o.NOTEID = od.NOTEID "
                       "where od.REFERNOTETYPE = :t and od.REFERNOTEID = p.NOTEID and od.REFERITEMSNO = p.ITEMSNO "
                       "and o.NOTESTATE <> 2) order by g.PARTNERID, p.ITEMSNO")
            .arg(planTable, orderTable,
                 sales ? QStringLiteral("coalesce(t.ISVENDOR, 0) <> 1") : QStringLiteral("coalesce(t.ISCLIENT, 0) <> 1")),
        {{QStringLiteral("id"), planId}, {QStringLiteral("t"), type}});
    const int decimals = amountDecimals(d);
    const QDate today = QDate::currentDate();
    QVariant arrival = db::Database::toDateValue(plan.value(0, QStringLiteral("ENDDATE")));
    if (arrival.isNull() || arrival.toDate() < today)
        arrival = today;

    db::ResultSet out;
    out.columns = QStringList{"NOTEID", "NOTECODE", "PARTNERID"};
    qint64 orderId = 0, vendor = -1;
    int itemNo = 0;
    double total = 0;
    const auto closeOrder = [&] {
        if (orderId)
            d.exec(QStringLiteral("update %1 set AMOUNT = :a where NOTEID = :id").arg(orderTable),
                   {{QStringLiteral("a"), RoundToEx(total, decimals)}, {QStringLiteral("id"), orderId}});
    };
    for (int i = 0; i < lines.rows.size(); ++i) {
        const qint64 partner = lines.value(i, QStringLiteral("VENDOR")).toLongLong();
        if (partner != vendor) {
            closeOrder();
            vendor = partner;
            orderId = d.newKey(orderTable);
            itemNo = 0;
            total = 0;
            const QString code = newNoteCode(d, sales ? 12 : 2, orderTable, today);
            d.exec(QStringLiteral("insert into %1 (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, SHOPERATEID, EMPID, "
                                  "DEPID, OPERATEID, REFERCOUNT, AMOUNT, UPFLAG, PARTNERID, TAXRATE, DISC, TERMDAYS, "
                                  "REVDATE, CLOSED, UPDATETIME, REMARK) values (:id, 1, 0, :code, :date, 0, :emp, :dep, "
                                  ":op, 0, 0, 0, :p, 0, 100, 0, :rev, 0, :time, :remark)").arg(orderTable),
                   {{QStringLiteral("id"), orderId},
                    {QStringLiteral("code"), code},
                    {QStringLiteral("date"), today},
                    {QStringLiteral("emp"), plan.value(0, QStringLiteral("EMPID"))},
                    {QStringLiteral("dep"), plan.value(0, QStringLiteral("DEPID"))},
                    {QStringLiteral("op"), plan.value(0, QStringLiteral("OPERATEID"))},
                    {QStringLiteral("p"), partner},
                    {QStringLiteral("rev"), arrival},
                    {QStringLiteral("time"), QDateTime::currentDateTime()},
                    {QStringLiteral("remark"), QStringLiteral("由%1[%2]生成").arg(planName, planCode)}});
            out.rows.append({orderId, code, partner});
        }
        const double quantity = RoundToEx(std::fabs(lines.value(i, QStringLiteral("QUANTITY")).toDouble()) -
                                              std::fabs(lines.value(i, QStringLiteral("REFERQTY")).toDouble()),
                                          6);
        const double price = lines.value(i, QStringLiteral("PRICE")).toDouble();
        const double taxRate = lines.value(i, QStringLiteral("TAXRATE")).toDouble();
        const LineAmounts a = amountsOf(quantity, price, taxRate, decimals);
        total += a.total;
        // A sales order line counts deliveries in SALEQTY, a purchase order line in BUYQTY.
        d.exec(QStringLiteral("insert into %1Detail (NOTEID, ITEMSNO, BUILDINGID, COMMODITYID, APRICE, PRICE, QUANTITY, "
                              "DISC, TAXRATE, AMOUNT, TAXAMT, COMMODITYAMT, REFERCOUNT, REFERNOTETYPE, REFERNOTEID, "
                              "REFERITEMSNO, REFERQTY, REMARK, CLOSED, %2, IOQTY) values (:id, :no, :store, "
                              ":goods, :aprice, :price, :q, :disc, :tax, :amt, :taxamt, :gamt, 0, :t, :plan, :item, 0, "
                              ":remark, 0, %3, 0)")
                   .arg(orderTable, sales ? QStringLiteral("SALEQTY") : QStringLiteral("BUYQTY, FINISHED"),
                        sales ? QStringLiteral("0") : QStringLiteral("0, 0")),
               {{QStringLiteral("id"), orderId},
                {QStringLiteral("no"), ++itemNo},
                {QStringLiteral("store"), lines.value(i, QStringLiteral("BUILDINGID"))},
                {QStringLiteral("goods"), lines.value(i, QStringLiteral("COMMODITYID"))},
                {QStringLiteral("aprice"), lines.value(i, QStringLiteral("APRICE"))},
                {QStringLiteral("price"), price},
                {QStringLiteral("q"), quantity},
                {QStringLiteral("disc"), lines.value(i, QStringLiteral("DISC"))},
                {QStringLiteral("tax"), taxRate},
                {QStringLiteral("amt"), a.total},
                {QStringLiteral("taxamt"), a.tax},
                {QStringLiteral("gamt"), a.goods},
                {QStringLiteral("t"), type},
                {QStringLiteral("plan"), planId},
                {QStringLiteral("item"), lines.value(i, QStringLiteral("ITEMSNO"))},
                {QStringLiteral("remark"), lines.value(i, QStringLiteral("REMARK"))}});
    }
    closeOrder();
    return out;
}

} // namespace

void registerPurchaseProcedures()
{
    static std::once_flag once;
    std::call_once(once, [] {
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(installNoteCodeFunction));
        db::Registry &r = db::Registry::instance();
        r.addProcedure(QStringLiteral("FIRSTUPDATECERTAINFILL"), firstUpdateCertainFill);
        r.addProcedure(QStringLiteral("FIRSTUPDATEFILLFLAG"), firstUpdateFillFlag);
        r.addProcedure(QStringLiteral("PURCHASETOVALUE"), purchaseToValue);
        r.addProcedure(QStringLiteral("salepurchasetoorder"), planToOrder);
    });
}

} // namespace notedb
