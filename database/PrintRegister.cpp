// The print register: one row per saved note with its code, date, maker and
// the number of times it was printed.

#include "Procedures.h"

#include <mutex>

namespace notedb {

using db::DbError;
using db::ProcArg;

namespace {

const char *const kInsert = "usrprocnoteprintabth_insert";
const char *const kDelete = "usrprocnoteprintabth_delete";
const char *const kUpdate = "usrprocnoteprintabth_update";

QString shown(const QVariant &v) { return v.isNull() ? QStringLiteral("null") : v.toString(); }

void checkCount(const char *proc, const QVector<ProcArg> &args, int least, int most, const char *names)
{
    if (args.size() < least || args.size() > most)
        throw DbError(QStringLiteral("过程 %1 需要 %2 个参数(%3), 给出了 %4 个。")
                          .arg(QLatin1String(proc))
                          .arg(most)
                          .arg(QString::fromUtf8(names))
                          .arg(args.size()));
}

// Whole numbers arrive as numbers, or as text when the caller quoted them.
qint64 intArg(const char *proc, const char *what, const QVariant &v)
{
    bool ok = false;
    qint64 n = 0;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        n = v.toLongLong(&ok);
        break;
    case QMetaType::Double: {
        const double d = v.toDouble();
        ok = d == double(qint64(d));
        n = qint64(d);
        break;
    }
    case QMetaType::QString:
        n = v.toString().trimmed().toLongLong(&ok);
        break;
    default:
        break;
    }
    if (!ok)
        throw DbError(QStringLiteral("过程 %1 的参数 %2 必须是整数, 给出的是 '%3'。")
                          .arg(QLatin1String(proc), QString::fromUtf8(what), shown(v)));
    return n;
}

// The caller writes the date as text; an empty text means no date.
QVariant dateArg(const char *proc, const QVariant &v)
{
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDate)
        return db::Database::dateText(v.toDate());
    if (v.typeId() == QMetaType::QDateTime)
        return db::Database::dateText(v.toDateTime().date());
    const QString text = v.toString().trimmed();
    if (text.isEmpty())
        return {};
    for (const char *format : {"yyyy-MM-dd", "yyyy-M-d", "yyyy/M/d", "yyyyMMdd"}) {
        const QDate d = QDate::fromString(text.left(10).trimmed(), QLatin1String(format));
        if (d.isValid() && (text.size() <= 10 || text[10].isSpace() || text[10] == u'T'))
            return db::Database::dateText(d);
    }
    throw DbError(QStringLiteral("过程 %1 的参数 单据日期 不是有效的日期: '%2'。").arg(QLatin1String(proc), text));
}

db::Params noteKey(qint64 type, qint64 id)
{
    return {{QStringLiteral("t"), type}, {QStringLiteral("id"), id}};
}

// After every save: the row is created or its code, date and maker refreshed;
// the print count stays.
db::ResultSet insertRow(db::Database &d, QVector<ProcArg> &args)
{
    // An empty maker leaves nothing after the last comma of the call text.
    checkCount(kInsert, args, 4, 5, "单据类型, 单据ID, 单据号, 单据日期, 制单人");
    const qint64 type = intArg(kInsert, "单据类型", args[0].value);
    const qint64 id = intArg(kInsert, "单据ID", args[1].value);
    const QVariant code = args[2].value.isNull() ? QVariant() : QVariant(args[2].value.toString());
    const QVariant date = dateArg(kInsert, args[3].value);
    QVariant maker;
    if (args.size() == 5 && !args[4].value.isNull() && !args[4].value.toString().trimmed().isEmpty())
        maker = intArg(kInsert, "制单人", args[4].value);

    db::Params p = noteKey(type, id);
    p.insert(QStringLiteral("code"), code);
    p.insert(QStringLiteral("date"), date);
    p.insert(QStringLiteral("op"), maker);
    const QSqlQuery u = d.exec(QStringLiteral("update noteprintabth set NOTECODE = :code, NOTEDATE = :date, "
                                              "OPERATEID = :op where NOTETYPE = :t and NOTEID = :id"),
                               p);
    if (u.numRowsAffected() <= 0)
        d.exec(QStringLiteral("insert into noteprintabth (NOTETYPE, NOTEID, NOTECODE, NOTEDATE, OPERATEID, PRINTED) "
                              "values (:t, :id, :code, :date, :op, 0)"),
               p);
    return {};
}

db::ResultSet deleteRow(db::Database &d, QVector<ProcArg> &args)
{
    checkCount(kDelete, args, 2, 2, "单据类型, 单据ID");
    const qint64 type = intArg(kDelete, "单据类型", args[0].value);
    const qint64 id = intArg(kDelete, "单据ID", args[1].value);
    d.exec(QStringLiteral("delete from noteprintabth where NOTETYPE = :t and NOTEID = :id"), noteKey(type, id));
    return {};
}

// After a real print. A note saved before the register existed gets its row here.
db::ResultSet countPrint(db::Database &d, QVector<ProcArg> &args)
{
    checkCount(kUpdate, args, 2, 2, "单据类型, 单据ID");
    const qint64 type = intArg(kUpdate, "单据类型", args[0].value);
    const qint64 id = intArg(kUpdate, "单据ID", args[1].value);
    const db::Params p = noteKey(type, id);
    const QSqlQuery u = d.exec(
        QStringLiteral("update noteprintabth set PRINTED = coalesce(PRINTED, 0) + 1 where NOTETYPE = :t and NOTEID = :id"),
        p);
    if (u.numRowsAffected() <= 0)
        d.exec(QStringLiteral("insert into noteprintabth (NOTETYPE, NOTEID, PRINTED) values (:t, :id, 1)"), p);
    return {};
}

} // namespace

void registerFrameworkProcedures()
{
    static std::once_flag once;
    std::call_once(once, [] {
        db::Registry &r = db::Registry::instance();
        r.addProcedure(QLatin1String(kInsert), insertRow);
        r.addProcedure(QLatin1String(kDelete), deleteRow);
        r.addProcedure(QLatin1String(kUpdate), countPrint);
    });
}

} // namespace notedb
