// GetCommodityMultiPrice: the prices a new commodity line starts from.
//
//   Exec GetCommodityMultiPrice class, commodity, partner, batch, store,
//        @DefaultPrice OutPut, @LastPrice OutPut, @LevPrice OutPut, @SpPrice OutPut
//
// class is 1 purchase, 2 sales, 3 stock and manufacturing, 0 none; partner,
// batch (noteflowaath.ID of a batch row) and store are 0 (or null) when not
// given. The rules are written down in README.md ("Prices of a new line").

#include "Procedures.h"

#include <algorithm>
#include <mutex>

namespace notedb {

using db::DbError;
using db::ProcArg;

namespace {

const char *const kName = "GetCommodityMultiPrice";

QString argText(const QVariant &v) { return v.isNull() ? QStringLiteral("null") : v.toString(); }

// A whole number; null counts as 0 (the layer's own tests pass null for "none").
qint64 wholeArg(const QVector<ProcArg> &args, int i, const char *what)
{
    const QVariant &v = args[i].value;
    if (v.isNull())
        return 0;
    bool ok = false;
    const double d = v.toString().trimmed().toDouble(&ok);
    if (!ok || d != double(qint64(d)))
        throw DbError(QStringLiteral("过程 GetCommodityMultiPrice 的参数 %1 必须是整数, 给出的是 '%2'。")
                          .arg(QString::fromUtf8(what), argText(v)));
    return qint64(d);
}

qint64 idArg(const QVector<ProcArg> &args, int i, const char *what)
{
    const qint64 id = wholeArg(args, i, what);
    if (id < 0)
        throw DbError(QStringLiteral("过程 GetCommodityMultiPrice 的参数 %1 不能为负数, 给出的是 %2。")
                          .arg(QString::fromUtf8(what))
                          .arg(id));
    return id;
}

QVariant positive(const QVariant &v) { return !v.isNull() && v.toDouble() > 0 ? v : QVariant(); }

db::ResultSet commodityMultiPrice(db::Database &d, QVector<ProcArg> &args)
{
    if (args.size() != 9)
        throw DbError(QStringLiteral("过程 GetCommodityMultiPrice 需要 9 个参数(价格类别, 货品ID, 往来单位ID, 批次ID, "
                                     "仓库ID 和 4 个 OUTPUT 价格), 给出了 %1 个。")
                          .arg(args.size()));
    for (int i = 5; i < 9; ++i)
        if (!args[i].output)
            throw DbError(QStringLiteral("过程 GetCommodityMultiPrice 的第 %1 个参数必须是 OUTPUT 变量。").arg(i + 1));

    const qint64 priceClass = wholeArg(args, 0, "价格类别");
    if (priceClass < 0 || priceClass > 3)
        throw DbError(QStringLiteral("过程 GetCommodityMultiPrice 的参数 价格类别 只能是 0(无)、1(采购)、2(销售) 或 "
                                     "3(库存), 给出的是 %1。")
                          .arg(priceClass));
    const qint64 commodity = idArg(args, 1, "货品ID");
    const qint64 partner = idArg(args, 2, "往来单位ID");
    const qint64 batch = idArg(args, 3, "批次ID");
    const qint64 store = idArg(args, 4, "仓库ID");

    const db::ResultSet goods = d.select(
        QStringLiteral("select NAME, KIND, APRICE, HIGHPRICE, LOWPRICE, LPRICE1, LPRICE2, LPRICE3, LPRICE4, LPRICE5 "
                       "from Commoditylth where COMMODITYID = :c"),
        {{QStringLiteral("c"), commodity}});
    if (goods.isEmpty())
        throw DbError(QStringLiteral("过程 GetCommodityMultiPrice: 货品ID %1 不存在。").arg(commodity));
    const QVector<QVariant> &g = goods.rows[0];
    const QString name = g[0].toString();
    const double cost = g[2].toDouble();
    const double highest = g[3].toDouble(); // highest purchase price
    const double lowest = g[4].toDouble();  // lowest sales price

    int level = 1;
    if (partner > 0) {
        const db::ResultSet p = d.select(QStringLiteral("select PRICELEVEL from partnerlth where PARTNERID = :p"),
                                         {{QStringLiteral("p"), partner}});
        if (p.isEmpty())
            throw DbError(QStringLiteral("过程 GetCommodityMultiPrice: 往来单位ID %1 不存在。").arg(partner));
        if (!p.rows[0][0].isNull())
            level = p.rows[0][0].toInt();
        if (level < 1 || level > 5)
            throw DbError(QStringLiteral("往来单位ID %1 的价格等级 %2 无效, 只能是 1 到 5。").arg(partner).arg(level));
    }
    if (store > 0 && d.scalar(QStringLiteral("select count(*) from storelth where BUILDINGID = :s"),
                              {{QStringLiteral("s"), store}})
                             .toInt() == 0)
        throw DbError(QStringLiteral("过程 GetCommodityMultiPrice: 仓库ID %1 不存在。").arg(store));

    QVariant batchPrice;
    if (batch > 0) {
        const db::ResultSet b = d.select(
            QStringLiteral("select COMMODITYID, BCODE, BTURNNOTEID, PRICE from noteflowaath where ID = :id"),
            {{QStringLiteral("id"), batch}});
        if (b.isEmpty())
            throw DbError(QStringLiteral("过程 GetCommodityMultiPrice: 批次ID %1 不存在。").arg(batch));
        if (b.rows[0][1].toString().trimmed().isEmpty() || !b.rows[0][2].isNull())
            throw DbError(QStringLiteral("过程 GetCommodityMultiPrice: 库存流水 %1 不是一个批次。").arg(batch));
        if (b.rows[0][0].toLongLong() != commodity)
            throw DbError(QStringLiteral("批次ID %1 不是货品[%2]的批次。").arg(batch).arg(name));
        batchPrice = b.rows[0][3].isNull() ? QVariant(0.0) : b.rows[0][3];
    }

    // The price agreed with the partner, even 0.
    QVariant special;
    if (partner > 0)
        special = d.scalar(QStringLiteral("select PRICE from partnerprice where PARTNERID = :p and COMMODITYID = :c"),
                           {{QStringLiteral("p"), partner}, {QStringLiteral("c"), commodity}});

    // The last price dealt with the partner on this side of the business; a row
    // whose note type is unknown counts for either side.
    QVariant last;
    if (partner > 0 && (priceClass == 1 || priceClass == 2)) {
        const int lo = priceClass == 1 ? 1 : 11;
        last = d.scalar(QStringLiteral("select PRICE from partnerpriceaath where PARTNERID = :p and COMMODITYID = :c "
                                       "and (NOTETYPE is null or NOTETYPE between :lo and :hi)"),
                        {{QStringLiteral("p"), partner},
                         {QStringLiteral("c"), commodity},
                         {QStringLiteral("lo"), lo},
                         {QStringLiteral("hi"), lo + 8}});
    }

    // The list price of the partner's level; a level without a price falls back to the first.
    QVariant levelPrice = positive(g[5 + level - 1]);
    if (levelPrice.isNull())
        levelPrice = positive(g[5]);

    double result = 0;
    switch (priceClass) {
    case 1:
        if (!batchPrice.isNull()) // a return to the supplier goes back at the batch's price
            result = batchPrice.toDouble();
        else if (!special.isNull())
            result = special.toDouble();
        else if (!last.isNull())
            result = last.toDouble();
        else
            result = highest > 0 ? std::min(cost, highest) : cost;
        break;
    case 2:
        if (!special.isNull())
            result = special.toDouble();
        else if (!last.isNull())
            result = last.toDouble();
        else if (!levelPrice.isNull())
            result = std::max(levelPrice.toDouble(), lowest);
        else
            result = lowest;
        break;
    case 3:
        if (!batchPrice.isNull()) {
            result = batchPrice.toDouble();
        } else {
            QVariant storeCost;
            if (store > 0)
                storeCost = positive(d.scalar(
                    QStringLiteral("select PRICE from onhandaath where BUILDINGID = :s and COMMODITYID = :c"),
                    {{QStringLiteral("s"), store}, {QStringLiteral("c"), commodity}}));
            result = storeCost.isNull() ? cost : storeCost.toDouble();
        }
        break;
    default:
        break; // no price class: no default
    }

    args[5].value = result;
    args[6].value = last.isNull() ? QVariant() : QVariant(last.toDouble());
    args[7].value = levelPrice.isNull() ? QVariant() : QVariant(levelPrice.toDouble());
    args[8].value = special.isNull() ? QVariant() : QVariant(special.toDouble());
    return {};
}

} // namespace

void registerCommodityPrices()
{
    static std::once_flag once;
    std::call_once(once, [] { db::Registry::instance().addProcedure(QLatin1String(kName), commodityMultiPrice); });
}

} // namespace notedb
