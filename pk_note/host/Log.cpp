#include "Log.h"

#include "Globals.h"
#include "SysParams.h"
#include "db/Database.h"

#include <QtGlobal>

void WriteLog(QChar category, int code, QChar kind, const QString &text1, const QString &text2, int number1,
              int number2)
{
    db::Database *d = StartupDB();
    if (!d)
        return;
    try {
        d->exec(QStringLiteral("insert into syslogmth (LOGTIME, OPERATEID, CATEGORY, LOGCODE, LOGKIND, TEXT1, TEXT2, "
                               "NUM1, NUM2) values (:t, :u, :c, :code, :k, :t1, :t2, :n1, :n2)"),
                {{QStringLiteral("t"), db::Database::dateTimeText(GetSystemTime())},
                 {QStringLiteral("u"), g_iUserID},
                 {QStringLiteral("c"), QString(category)},
                 {QStringLiteral("code"), code},
                 {QStringLiteral("k"), QString(kind)},
                 {QStringLiteral("t1"), text1.left(200)},
                 {QStringLiteral("t2"), text2.left(200)},
                 {QStringLiteral("n1"), number1},
                 {QStringLiteral("n2"), number2}});
    } catch (const std::exception &e) {
        qWarning("WriteLog: %s", e.what());
    }
}
