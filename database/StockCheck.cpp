// NOTEBOOKZERO: the stock check before a note is audited (purpose 1) or
// un-audited (purpose -1). It lists every stock commodity and store whose
// stock the state change would take below zero: ERRTYPE 10 when the book
// stock would go negative (blocking unless negative stock is allowed), 1 when
// only the available stock (physical less reserved) would. Which lines move
// stock, from which store and in which direction is read from
// notestocklinemth, so a note type with stock lines only adds rows there.
// As the postings do, a line moves its quantity's size in its note's direction
// (a return may be keyed negative), and a line taken from a stock in/out note
// moves nothing: that note moved the goods.

#include "Procedures.h"

#include <QMap>
#include <QRegularExpression>

#include <mutex>

namespace notedb {

using db::DbError;
using db::ProcArg;

namespace {

const char *const kName = "NOTEBOOKZERO";

qint64 wholeArg(const QVector<ProcArg> &args, int i, const char *what)
{
    bool ok = false;
    const QVariant &v = args[i].value;
    const double d = v.toString().trimmed().toDouble(&ok);
    if (!ok || v.isNull() || d != double(qint64(d)))
        throw DbError(QStringLiteral("过程 NOTEBOOKZERO 的参数 %1 必须是整数, 给出的是 '%2'。")
                          .arg(QString::fromUtf8(what), v.isNull() ? QStringLiteral("null") : v.toString()));
    return qint64(d);
}

// Declared names go into the statement text, so only plain names pass.
QString checkedName(const QVariant &v, bool qualified)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    static const QRegularExpression aliased(QStringLiteral("^[md]\\.[A-Za-z_][A-Za-z0-9_]*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString name = v.toString().trimmed();
    if (!(qualified ? aliased : plain).match(name).hasMatch())
        throw DbError(QStringLiteral("库存检查的声明中有无效的名称: '%1'。").arg(name));
    return name;
}

struct Key {
    qint64 commodity, store;
    bool operator<(const Key &o) const { return commodity != o.commodity ? commodity < o.commodity : store < o.store; }
};

db::ResultSet notebookZero(db::Database &d, QVector<ProcArg> &args)
{
    if (args.size() != 3)
        throw DbError(QStringLiteral("过程 NOTEBOOKZERO 需要 3 个参数(单据类型, 单据ID, 用途), 给出了 %1 个。")
                          .arg(args.size()));
    const qint64 type = wholeArg(args, 0, "单据类型");
    const qint64 id = wholeArg(args, 1, "单据ID");
    const qint64 purpose = wholeArg(args, 2, "用途");
    if (purpose != 1 && purpose != -1)
        throw DbError(QStringLiteral("过程 NOTEBOOKZERO 的参数 用途 只能是 1(审核) 或 -1(反审核), 给出的是 %1。").arg(purpose));

    db::ResultSet out;
    out.columns = QStringList{"COMMODITYID", "BUILDINGID", "COMMODITYNAME", "BUILDINGNAME",
                              "ONHAND",      "QUANTITY",   "ERRTYPE",       "ERRCODE"};

    // The change per commodity and store over every declared movement, read
    // with the names and stock it is checked against, in one statement.
    struct Moved {
        double change = 0;
        bool stock = false; // a stock commodity (services and discounts hold none)
        QVariant commodityName, storeName, onhand, available;
    };
    QMap<Key, Moved> change;
    // The declarations hold still through an audit centre's run.
    const db::ResultSet declared = d.steadySelect(
        QStringLiteral("select MASTERTABLE, LINETABLE, STOREFIELD, QUANTITYFIELD, DIRECTION, REVERSEKIND "
                       "from notestocklinemth where NOTETYPE = :t"),
        {{QStringLiteral("t"), type}});
    QStringList movements;
    for (const QVector<QVariant> &row : declared.rows) {
        const QString master = checkedName(row[0], false);
        const QString lines = checkedName(row[1], false);
        const QString store = checkedName(row[2], true);
        const QString quantity = checkedName(row[3], false);
        const qint64 direction = row[4].toLongLong() * purpose;
        const QString sign = row[5].isNull()
                                 ? QStringLiteral("1")
                                 : QStringLiteral("case when m.NOTEKIND = %1 then -1 else 1 end").arg(row[5].toLongLong());
        // Each group meets at most one commodity, store and stock row (their
        // keys), so max() only carries that row's values through the grouping.
        movements << QStringLiteral("select d.COMMODITYID, coalesce(%1, 0), sum(abs(coalesce(d.%2, 0)) * %3) * %6, "
                                    "max(c.COMMODITYID), max(c.NAME), max(s.NAME), max(o.QUANTITY), "
                                    "max(o.REALQTY - o.USEDQTY) "
                                    "from %4 d join %5 m on m.NOTEID = d.NOTEID "
                                    "left join Commoditylth c on c.COMMODITYID = d.COMMODITYID and c.KIND <= 3 "
                                    "left join storelth s on s.BUILDINGID = coalesce(%1, 0) "
                                    "left join onhandaath o on o.COMMODITYID = d.COMMODITYID "
                                    "and o.BUILDINGID = coalesce(%1, 0) "
                                    "where d.NOTEID = :id and d.COMMODITYID is not null "
                                    "and coalesce(d.REFERNOTETYPE, 0) not in (21, 22) "
                                    "group by d.COMMODITYID, coalesce(%1, 0)")
                         .arg(store, quantity, sign, lines, master)
                         .arg(direction);
    }
    const db::ResultSet moved =
        movements.isEmpty() ? db::ResultSet()
                            : d.select(movements.join(QLatin1String(" union all ")), {{QStringLiteral("id"), id}});
    for (const QVector<QVariant> &m : moved.rows) {
        Moved &to = change[{m[0].toLongLong(), m[1].toLongLong()}];
        to.change += m[2].toDouble();
        to.stock = !m[3].isNull();
        to.commodityName = m[4];
        to.storeName = m[5];
        to.onhand = m[6];
        to.available = m[7];
    }

    for (auto it = change.cbegin(); it != change.cend(); ++it) {
        // Stock that only grows cannot run short; a line without a store is
        // for the line checks of the window to refuse.
        const Moved &m = it.value();
        const double delta = m.change;
        if (delta > -1e-9 || it.key().store <= 0 || !m.stock)
            continue;
        const double onhand = m.onhand.toDouble();
        const double available = m.available.isNull() ? onhand : m.available.toDouble();
        int errType = 0;
        QString errCode;
        if (onhand + delta < -1e-9) {
            errType = 10;
            errCode = QStringLiteral("库存不足");
        } else if (available + delta < -1e-9) {
            errType = 1;
            errCode = QStringLiteral("可用库存不足");
        } else {
            continue;
        }
        out.rows.append({it.key().commodity, it.key().store, m.commodityName, m.storeName, onhand, delta, errType,
                         errCode});
    }
    return out;
}

} // namespace

void registerStockCheck()
{
    static std::once_flag once;
    std::call_once(once, [] { db::Registry::instance().addReadingProcedure(QLatin1String(kName), notebookZero); });
}

} // namespace notedb
