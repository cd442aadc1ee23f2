// Large books for measuring: many generated commodities added to existing books.

#include "notedb.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QDate>
#include <QHash>
#include <QVector>

namespace notedb {

qint64 growCommodities(db::Database &database, int count)
{
    if (count <= 0)
        return 0;
    auto ids = [&](const QString &sql) {
        QVector<qint64> out;
        for (const QVector<QVariant> &row : database.select(sql).rows)
            out << row.value(0).toLongLong();
        return out;
    };
    const QVector<qint64> types = ids(QStringLiteral("select GDTYPESID from CommoditylthType order by LCODE"));
    const QVector<qint64> units = ids(QStringLiteral("select UNITSID from unitlth order by UNITSID"));
    const QVector<qint64> stores =
        ids(QStringLiteral("select BUILDINGID from storelth where (shoperateid is null or shoperateid=0) order by BUILDINGID"));
    static const char *const words[] = {"纸", "笔", "本", "夹", "盒", "线", "板", "灯", "杯", "袋", "箱", "瓶",
                                        "刀", "尺", "胶", "钉", "垫", "架", "柜", "椅"};
    static const char *const letters[] = {"Z", "B", "B", "J", "H", "X", "B", "D", "B", "D", "X", "P",
                                          "D", "C", "J", "D", "D", "J", "G", "Y"};
    static const char *const colours[] = {"红色", "蓝色", "黑色", "白色", "灰色"};
    static const char *const colourLetters[] = {"HS", "LS", "HS", "BS", "HS"};
    const int nw = int(std::size(words));

    // Books made before the picker's stock and partner-price lookups by commodity.
    for (const char *index : {"create index if not exists ix_onhandaath_commodity on onhandaath (COMMODITYID)",
                              "create index if not exists ix_partnerpriceaath_commodity on partnerpriceaath (COMMODITYID)"}) {
        QSqlQuery q(database.connection());
        if (!q.exec(QString::fromLatin1(index)))
            throw db::DbError(q.lastError().text());
    }
    database.beginTran();
    try {
        const qint64 first = database.scalar(QStringLiteral("select isnull(max(COMMODITYID), 0) from Commoditylth")).toLongLong() + 1;
        QSqlQuery goods = database.prepare(QStringLiteral(
            "insert into Commoditylth (COMMODITYID, CODE, NAME, SPEEDSYMBOL, SPEC, GDTYPESID, UNITSID, KIND, COSTTYPE, "
            "LPRICE1, LPRICE2, LPRICE3, APRICE, CUSTDEF1) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        QSqlQuery stock = database.prepare(QStringLiteral(
            "insert into onhandaath (BUILDINGID, COMMODITYID, QUANTITY, PRICE, AMOUNT, REALQTY) values (?, ?, ?, ?, ?, ?)"));
        for (int i = 0; i < count; ++i) {
            const qint64 id = first + i;
            const int a = i % nw, b = (i / nw) % nw, c = (i / 7) % 5;
            const QString name = QString::fromUtf8(colours[c]) + QString::fromUtf8(words[a]) + QString::fromUtf8(words[b])
                                 + QString::number(i / (nw * nw));
            const QString speed = QString::fromLatin1(colourLetters[c]) + QString::fromLatin1(letters[a])
                                  + QString::fromLatin1(letters[b]);
            // Mostly stocked goods; every tenth a service or expense, every fiftieth a discount item.
            const int kind = i % 50 == 49 ? 7 : i % 10 == 9 ? 4 + i % 3 : 1;
            const double price = 1 + (i % 997) * 0.37;
            const QVariant values[] = {id,
                                       QStringLiteral("G%1").arg(id, 7, 10, QLatin1Char('0')),
                                       name,
                                       speed,
                                       QStringLiteral("%1号 %2mm").arg(i % 12 + 1).arg(i % 90 + 10),
                                       types.isEmpty() ? QVariant() : QVariant(types[i % types.size()]),
                                       units.isEmpty() ? QVariant() : QVariant(units[i % units.size()]),
                                       kind,
                                       i % 17 == 0 ? 2 : 1,
                                       price * 1.5,
                                       price * 1.4,
                                       price * 1.3,
                                       price,
                                       QString::fromUtf8(i % 3 ? "国产" : "进口")};
            for (int k = 0; k < int(std::size(values)); ++k)
                goods.bindValue(k, values[k]);
            database.execPrepared(goods, true);
            // A third of the stocked goods have stock, in one or two stores.
            if (kind <= 3 && i % 3 == 0 && !stores.isEmpty()) {
                const int n = i % 2 ? 2 : 1;
                for (int s = 0; s < n && s < stores.size(); ++s) {
                    const double qty = (i % 40) - (s ? 5 : 0);
                    const QVariant row[] = {stores[(i / 3 + s) % stores.size()], id, qty, price, qty * price, qty};
                    for (int k = 0; k < 6; ++k)
                        stock.bindValue(k, row[k]);
                    database.execPrepared(stock, true);
                }
            }
        }
        ensureKey(database, QStringLiteral("Commoditylth"), first + count - 1);
        database.commitTran();
        return first;
    } catch (...) {
        database.rollbackTran();
        throw;
    }
}

qint64 growNotes(db::Database &database, int noteType, int count)
{
    static const QHash<int, const char *> tables = {{1, "purchasepthPlan"}, {2, "orderpth"}, {3, "valuepth"},
                                                    {4, "purchasepth"},     {11, "salesthPlan"}, {12, "ordersth"},
                                                    {13, "DeputeMarketsth"}, {14, "salesth"}, {15, "S_Price"},
                                                    {61, "payath"},          {62, "chargeath"}};
    const char *name = tables.value(noteType);
    if (!name)
        throw db::DbError(QStringLiteral("不能增加此类单据: %1").arg(noteType));
    if (count <= 0)
        return 0;
    const QString table = QString::fromLatin1(name);
    const db::ResultSet pattern =
        database.select(QStringLiteral("select * from %1 where NOTEID = (select max(NOTEID) from %1)").arg(table));
    if (pattern.isEmpty())
        throw db::DbError(QStringLiteral("帐套中没有可作样本的单据 (%1)").arg(table));
    auto ids = [&](const QString &sql) {
        QVector<QVariant> out;
        for (const QVector<QVariant> &row : database.select(sql).rows)
            out << row.value(0);
        return out;
    };
    const QVector<QVariant> partners = ids(QStringLiteral("select PARTNERID from partnerlth where PARTNERID > 0 order by PARTNERID"));
    const QVector<QVariant> employees = ids(QStringLiteral("select EMPID from employlth order by EMPID"));
    const QVector<QVariant> departments = ids(QStringLiteral("select DEPID from departmentlth order by DEPID"));

    const QStringList columns = pattern.columns;
    QStringList marks;
    for (int c = 0; c < columns.size(); ++c)
        marks << QStringLiteral("?");
    const QDate last = QDate::currentDate();
    database.beginTran();
    try {
        const qint64 first = database.scalar(QStringLiteral("select isnull(max(NOTEID), 0) from ") + table).toLongLong() + 1;
        QSqlQuery insert = database.prepare(QStringLiteral("insert into %1 (%2) values (%3)")
                                                .arg(table, columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))));
        for (int i = 0; i < count; ++i) {
            for (int c = 0; c < columns.size(); ++c) {
                const QString column = columns[c].toUpper();
                QVariant v = pattern.rows[0][c];
                auto turn = [i](const QVector<QVariant> &list, const QVariant &v) { return list.isEmpty() ? v : list[i % list.size()]; };
                if (column == QLatin1String("NOTEID"))
                    v = first + i;
                else if (column == QLatin1String("NOTECODE"))
                    v = QStringLiteral("G%1-%2").arg(noteType).arg(first + i, 8, 10, QLatin1Char('0'));
                else if (column == QLatin1String("NOTEDATE"))
                    v = db::Database::dateText(last.addDays(-(i % 365)));
                else if (column == QLatin1String("NOTESTATE") || column == QLatin1String("REFERCOUNT"))
                    v = 0;
                else if (column == QLatin1String("CHKORID"))
                    v = QVariant();
                else if (column == QLatin1String("PARTNERID"))
                    v = turn(partners, v);
                else if (column == QLatin1String("EMPID"))
                    v = turn(employees, v);
                else if (column == QLatin1String("DEPID"))
                    v = turn(departments, v);
                else if (column == QLatin1String("AMOUNT"))
                    v = 10 + (i % 9973) * 1.25;
                else if (column == QLatin1String("REMARK"))
                    v = QStringLiteral("批量%1").arg(i % 100);
                insert.bindValue(c, v);
            }
            database.execPrepared(insert, true);
        }
        ensureKey(database, table, first + count - 1);
        database.commitTran();
        return first;
    } catch (...) {
        database.rollbackTran();
        throw;
    }
}

} // namespace notedb
