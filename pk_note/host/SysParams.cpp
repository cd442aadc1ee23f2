#include "SysParams.h"

#include "Globals.h"
#include "SteadyReads.h"
#include "db/Database.h"

namespace {

// By id first (the numbering the books use), else by name.
int periodParam(int id, const QString &name)
{
    if (!StartupDB())
        return 0;
    const db::ResultSet rs = SteadySelect(
        QStringLiteral("select PARAMID, DATAVALUE from sysparamamth where PARAMID = :id or upper(PARAMNAME) = :name"),
        {{QStringLiteral("id"), id}, {QStringLiteral("name"), name.toUpper()}});
    QString text;
    for (const auto &row : rs.rows) {
        if (row[0].toInt() == id || text.isEmpty())
            text = row[1].toString();
    }
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? v : 0;
}

} // namespace

QString LookupSysParam(const QString &name)
{
    if (!StartupDB())
        return {};
    return SteadyScalar(QStringLiteral("select DATAVALUE from sysparamamth where upper(PARAMNAME) = :name"),
                        {{QStringLiteral("name"), name.toUpper()}})
        .toString();
}

QHash<QString, QString> LookupSysParams(std::initializer_list<const char *> names)
{
    QHash<QString, QString> out;
    if (!StartupDB() || names.size() == 0)
        return out;
    QStringList quoted;
    for (const char *name : names)
        quoted << db::QuotedStr(QString::fromLatin1(name).toUpper());
    const db::ResultSet rs = SteadySelect(
        QStringLiteral("select upper(PARAMNAME), DATAVALUE from sysparamamth where upper(PARAMNAME) in (%1)")
            .arg(quoted.join(u',')));
    for (const auto &row : rs.rows)
        out.insert(row[0].toString(), row[1].toString());
    return out;
}

QDateTime GetSystemTime()
{
    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    return now;
}

QDate GetFirstDayOfPosMonth()
{
    const int year = periodParam(3002, QStringLiteral("PosYear"));
    const int month = periodParam(3003, QStringLiteral("PosMonth"));
    const QDate first(year, month, 1);
    if (year > 0 && first.isValid())
        return first;
    const QDate w = g_NewnoteTime.isValid() ? g_NewnoteTime : QDate::currentDate();
    return QDate(w.year(), w.month(), 1);
}

QDate GetLastDayOfPosMonth() { return GetFirstDayOfPosMonth().addMonths(1).addDays(-1); }
