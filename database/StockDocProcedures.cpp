// The database side of the stock documents:
//
//   exec Store_SelectM :inoteKind, :sequence, :SelectType, :partnerID, :BuildingID
//   exec Store_SelectD (the same parameters)
//
// the source documents (M) and their open lines (D) a stock in/out note may
// take in, and the posting declarations of the other stock documents. What
// each source list holds is written down in README.md, "Stock documents".

#include "Procedures.h"
#include "StockPostings.h"

#include <mutex>

namespace notedb {

using db::DbError;
using db::ProcArg;

namespace {

// One kind of source a stock in/out note takes lines from.
struct Source {
    int noteType;
    const char *master, *lines;
    QString noteCondition; // on m
    QString open;          // the line's remaining quantity, on b
    QString store;         // the store of a line
};

qint64 whole(const QVector<ProcArg> &args, int i)
{
    const QVariant &v = args[i].value;
    bool ok = false;
    const double d = v.toString().trimmed().toDouble(&ok);
    return (v.isNull() || !ok) ? 0 : qint64(d);
}

// The sources offered for the parameters: with the business sequence on, the
// audited receipts or sales of the source type (the note then records goods
// that note moved); otherwise the open orders for kind 1 and the stock notes
// of kind 1 being sent back for kind 2. Other source types take nothing.
QVector<Source> sourcesFor(qint64 kind, bool sequence, qint64 selectType)
{
    const bool purchase = selectType == 3 || selectType == 4;
    const bool sales = selectType == 13 || selectType == 14;
    if (!purchase && !sales)
        return {};
    const QString back = kind == 2 ? QStringLiteral("m.NOTEKIND=2") : QStringLiteral("coalesce(m.NOTEKIND,1)<>2");
    if (sequence) {
        static const QHash<qint64, std::pair<const char *, const char *>> tables{
            {3, {"valuepth", "valuepthDetail"}},
            {4, {"purchasepth", "purchasepthDetail"}},
            {13, {"DeputeMarketsth", "DeputeMarketsthDetail"}},
            {14, {"salesth", "salesthDetail"}}};
        const auto t = tables.value(selectType);
        // An estimated receipt's reversals are not goods that come in.
        const QString cond = selectType == 3 ? (kind == 2 ? QStringLiteral("1=0") : QStringLiteral("m.NOTEKIND=1")) : back;
        return {{int(selectType), t.first, t.second, cond, QStringLiteral("abs(b.QUANTITY)-abs(b.IOQTY)"),
                 QStringLiteral("b.BUILDINGID")}};
    }
    if (kind == 2)
        return {{21, "iostoreith", "iostoreithDetail",
                 QStringLiteral("m.NOTEKIND=1 and m.NOTETYPE in (%1)").arg(purchase ? QStringLiteral("3,4") : QStringLiteral("13,14")),
                 QStringLiteral("abs(b.QUANTITY)-abs(b.REFERQTY)"), QStringLiteral("m.BUILDINGID")}};
    if (purchase)
        return {{2, "orderpth", "orderpthDetail", QStringLiteral("coalesce(m.CLOSED,0)=0 and coalesce(b.CLOSED,0)=0"),
                 QStringLiteral("b.QUANTITY-b.REFERQTY-b.BUYQTY"), QStringLiteral("b.BUILDINGID")}};
    return {{12, "ordersth", "ordersthDetail", QStringLiteral("coalesce(m.CLOSED,0)=0 and coalesce(b.CLOSED,0)=0"),
             QStringLiteral("b.QUANTITY-b.REFERQTY-b.SALEQTY"), QStringLiteral("b.BUILDINGID")}};
}

// Audited head-office notes of the partner (0: any), lines of the store (or
// of none) with something left.
QString conditions(const Source &s)
{
    return QStringLiteral(" where m.NOTESTATE=1 and (m.SHOPERATEID is null or m.SHOPERATEID=0)"
                          " and (:partner=0 or m.PARTNERID=:partner) and (%1) and coalesce(%2,:store)=:store and (%3)>0.000001")
        .arg(s.noteCondition, s.store, s.open);
}

db::ResultSet storeSelect(db::Database &d, QVector<ProcArg> &args, bool lines)
{
    const char *name = lines ? "Store_SelectD" : "Store_SelectM";
    if (args.size() != 5)
        throw DbError(QStringLiteral("过程 %1 需要 5 个参数(单据类型, 流程, 开单类型, 往来单位, 仓库), 给出了 %2 个。")
                          .arg(QLatin1String(name))
                          .arg(args.size()));
    const qint64 kind = whole(args, 0), sequence = whole(args, 1), selectType = whole(args, 2);
    const db::Params p{{QStringLiteral("partner"), whole(args, 3)}, {QStringLiteral("store"), whole(args, 4)}};
    QStringList parts;
    for (const Source &s : sourcesFor(kind, sequence == 1, selectType)) {
        const QString type = QString::number(s.noteType);
        const QString from = QStringLiteral(" from %1 b join %2 m on m.NOTEID=b.NOTEID").arg(QLatin1String(s.lines), QLatin1String(s.master));
        if (lines)
            parts << QStringLiteral("select 0 as Selected, %1 as notetype, b.NOTEID as noteid, b.ITEMSNO, %2 as BUILDINGID, "
                                    "b.COMMODITYID, b.QUANTITY as quantity, b.REFERQTY as ReferQty, "
                                    "round(b.PRICE*(1+coalesce(b.TAXRATE,0)/100.0),8) as TaxPrice, b.PRICE as price, b.AMOUNT, "
                                    "b.DISC, b.TAXRATE as TaxRate, g.NAME as Commodityname, g.SPEC as Spec, "
                                    "s.NAME as BuildingName, m.NOTECODE as noteCode, b.BTURNNOTEID as Bturnnoteid, "
                                    "b.BCODE as bcode, b.PRODUCTDAY as productday, b.VALIDDAY as validday, "
                                    "%3 as SumQty, b.REFERNOTEID as RefernoteID")
                         .arg(type, s.store, s.open)
                     + from
                     + QStringLiteral(" left join Commoditylth g on g.COMMODITYID=b.COMMODITYID "
                                      "left join storelth s on s.BUILDINGID=coalesce(%1,:store)")
                           .arg(s.store)
                     + conditions(s);
        else
            parts << QStringLiteral("select 0 as Selected, %1 as notetype, m.NOTEID as noteid, m.NOTECODE as notecode, "
                                    "m.NOTEDATE as notedate, m.AMOUNT as amount, m.REMARK as remark from %2 m "
                                    "where m.NOTEID in (select b.NOTEID")
                         .arg(type, QLatin1String(s.master))
                     + from + conditions(s) + QStringLiteral(")");
    }
    if (parts.isEmpty()) {
        // Nothing to offer: the columns alone, so the lists still show their headings.
        db::ResultSet none;
        none.columns = lines ? QStringList{"Selected", "notetype", "noteid", "ITEMSNO", "BUILDINGID", "COMMODITYID",
                                           "quantity", "ReferQty", "TaxPrice", "price", "AMOUNT", "DISC", "TaxRate",
                                           "Commodityname", "Spec", "BuildingName", "noteCode", "Bturnnoteid", "bcode",
                                           "productday", "validday", "SumQty", "RefernoteID"}
                             : QStringList{"Selected", "notetype", "noteid", "notecode", "notedate", "amount", "remark"};
        return none;
    }
    return d.select(parts.join(QStringLiteral(" union all ")) +
                        (lines ? QStringLiteral(" order by notetype, noteid, ITEMSNO") : QStringLiteral(" order by notetype, noteid")),
                    p);
}

} // namespace

namespace stock {

// Each moves the goods of its master's store; issues go out at the current
// average cost, the independent stock-in comes in at its line price.
void declareStockDocuments()
{
    auto note = [](int type, const char *master, const char *lines, int direction) {
        StockNote n;
        n.noteType = type;
        n.master = master;
        n.lines = lines;
        n.store = "m.BUILDINGID";
        n.kinds = {{1, direction}};
        return n;
    };
    declare(note(22, "OtherInith", "OtherInithdetail", 1));
    StockNote out = note(23, "OtherOutith", "OtherOutithdetail", -1);
    out.price = "APRICE";
    declare(out);
    // Goods lent to a customer leave at cost; their return brings them back
    // at the line's price (the cost they left at).
    StockNote lent = note(23, "BrowOut", "BrowOutdetail", -1);
    lent.price = "APRICE";
    declare(lent);
    declare(note(22, "BrowIn", "BrowIndetail", 1));
    StockNote loss = note(29, "Attaintith", "Attaintithdetail", -1);
    loss.price = "APRICE";
    declare(loss);
    // A transfer takes the goods out of the master's store and brings them
    // into INBUILDINGID at the cost they left at; kind 2 brings them in at
    // the line's PRICE, the difference booked to the master's SUBID.
    StockNote transfer = note(26, "Badsthith", "Badsthithdetail", -1);
    transfer.kinds = {{1, -1}, {2, -1}};
    transfer.targetStore = "m.INBUILDINGID";
    transfer.price = "APRICE";
    transfer.inPricedKinds = {2};
    transfer.inPrice = "PRICE";
    transfer.differenceAccount = "m.SUBID";
    declare(transfer);
    // A price change sets the cost of the master's store (of every store when
    // it names none) to each line's price.
    StockNote change = note(31, "ChgPriceith", "ChgPriceithDetail", 0);
    change.kinds = {};
    change.revalue = true;
    declare(change);
    // A place move shifts stock between places of the master's store.
    StockNote places = note(32, "PlaceAdjustith", "PlaceAdjustithDetail", 0);
    places.kinds = {};
    places.placeMove = true;
    declare(places);
}

} // namespace stock

namespace {

// Every kind of note and the master table it lives in; types 22 and 23 each
// keep two kinds in tables of their own.
struct NoteTable {
    int type;
    const char *table, *form;
};
constexpr NoteTable kNoteTables[] = {
    {1, "purchasepthPlan", "PBuyPlanForm"},   {2, "orderpth", "PNOrderForm"},
    {3, "valuepth", "PValueForm"},            {4, "purchasepth", "PBuyForm"},
    {11, "salesthPlan", "SalePlanForm"},      {12, "ordersth", "SNOrderForm"},
    {13, "DeputeMarketsth", "DeputeMarketForm"}, {14, "salesth", "SaleForm"},
    {15, "S_Price", "SPriceForm"},            {21, "iostoreith", "IIOBuildingForm"},
    {22, "OtherInith", "SpecialInForm"},      {22, "BrowIn", "BrowInForm"},
    {23, "OtherOutith", "SpecialOutForm"},    {23, "BrowOut", "BrowOutForm"},
    {25, "drawith", "DrawItemForm"},          {26, "Badsthith", "BadsthForm"},
    {27, "Togetherith", "TogetherForm"},      {28, "disTogetherith", "DisTogetherForm"},
    {29, "Attaintith", "AttaintForm"},        {30, "BalItemith", "BalItemForm"},
    {31, "ChgPriceith", "ChgPriceForm"},      {32, "PlaceAdjustith", "PlaceAdjustForm"},
    {41, "PrdCheckth", "PrdCheckForm"},       {42, "manuordermnfth", "MnfManuNOrderForm"},
    {43, "Manuplanmnfth", "ManuWilldoForm"},  {45, "OutMoneymnfth", "MnfOutMoneyAppForm"},
    {46, "OutManuOrderth", "MnfOutManuOrderForm"}, {47, "Outdrawith", "OutDrawItemForm"},
    {48, "PrdInStoreth", "PrdInStoreForm"},   {49, "OutPrdInStoreth", "OutPrdInStoreForm"},
    {50, "PrdToCheckth", "PrdToCheckForm"},   {51, "movebth", "MoveForm"},
    {52, "expenseath", "OutMoneyForm"},       {53, "InComebth", "InComeForm"},
    {61, "payath", "PayForm"},                {62, "chargeath", "GetMoneyForm"},
    {63, "COUNTERACTATH", "CounteractForm"},  {64, "fillath", "fillForm"},
    {71, "saleposth", "saleposthForm"},       {72, "inoutcashposth", "inoutcashposthForm"},
    {73, "closeposth", "closeposthForm"},     {74, "savingcardposth", "savingcardposthForm"},
    {75, "adjpriceposth", "adjpriceposthForm"}, {80, "BFPrdth", "BFPrdForm"},
    {81, "BackPrdth", "BackPrdForm"},         {88, "RepairPrdth", "RepairPrdForm"},
};

} // namespace

void createAllNoteView(db::Database &d)
{
    static const char *const kColumns[] = {"OPERATEID", "CHKORID", "NOTEKIND", "EMPID", "DEPID", "SHOPERATEID", "AMOUNT", "REMARK"};
    QStringList parts;
    for (const NoteTable &t : kNoteTables) {
        const QString table = QLatin1String(t.table);
        if (!d.hasTable(table) || !d.hasColumn(table, QStringLiteral("NOTESTATE")) || !d.hasColumn(table, QStringLiteral("NOTEDATE")))
            continue;
        QString part = QStringLiteral("select %1 as NOTETYPE, NOTEID, NOTECODE, NOTEDATE, NOTESTATE").arg(t.type);
        for (const char *c : kColumns) {
            const QString column = QLatin1String(c);
            const char *type = column == QLatin1String("REMARK")   ? "varchar(255)"
                               : column == QLatin1String("AMOUNT") ? "numeric(19,6)"
                                                                   : "integer";
            part += d.hasColumn(table, column) ? QStringLiteral(", ") + column
                                               : QStringLiteral(", cast(null as %1) as %2").arg(QLatin1String(type), column);
        }
        parts << part + QStringLiteral(", cast('%1' as varchar(64)) as MASTERTABLE, cast('%2' as varchar(64)) as FORMNAME from %1")
                            .arg(table, QLatin1String(t.form));
    }
    d.exec(QStringLiteral("drop view if exists allnote"));
    if (!parts.isEmpty())
        d.exec(QStringLiteral("create view allnote as ") + parts.join(QStringLiteral(" union all ")));
}

void registerStockDocProcedures()
{
    static std::once_flag once;
    std::call_once(once, [] {
        db::Registry &r = db::Registry::instance();
        r.addProcedure(QStringLiteral("Store_SelectM"),
                       [](db::Database &d, QVector<ProcArg> &args) { return storeSelect(d, args, false); });
        r.addProcedure(QStringLiteral("Store_SelectD"),
                       [](db::Database &d, QVector<ProcArg> &args) { return storeSelect(d, args, true); });
    });
}

} // namespace notedb
