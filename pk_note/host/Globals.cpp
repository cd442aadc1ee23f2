#include "Globals.h"

#include "PubError.h"
#include "db/Database.h"

#include <QCoreApplication>
#include <QDir>
#include <QVector>

int g_iUserID = 0;
QString g_asUserName;
QDate g_NewnoteTime = QDate::currentDate();
QString g_asTempDirectory = QDir::tempPath();
bool g_bForceCloseForm = false;

namespace {
db::Database *s_database = nullptr;
QString s_programFolder;
} // namespace

db::Database *StartupDB() { return s_database; }

namespace {
QVector<BooksChangedHandler> &booksChangedHandlers()
{
    static QVector<BooksChangedHandler> handlers;
    return handlers;
}
} // namespace

void OnBooksChanged(BooksChangedHandler handler) { booksChangedHandlers().append(handler); }

void SetStartupDB(db::Database *database)
{
    s_database = database;
    for (BooksChangedHandler handler : std::as_const(booksChangedHandlers()))
        handler();
}

db::Database &RequireDB()
{
    if (!s_database)
        throw PubError(QStringLiteral("没有打开的帐套"));
    return *s_database;
}

void SetCurrentUser(int operatorId)
{
    g_iUserID = operatorId;
    g_asUserName.clear();
    if (!s_database)
        return;
    g_asUserName = s_database
                       ->scalar(QStringLiteral("select OPERATENAME from operatormth where OPERATEID = :id"),
                                {{QStringLiteral("id"), operatorId}})
                       .toString();
}

QString ProgramFolder()
{
    if (!s_programFolder.isEmpty())
        return s_programFolder;
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

void SetProgramFolder(const QString &folder) { s_programFolder = folder; }

namespace {
bool s_formSizesKept = true;
}
bool FormSizesKept() { return s_formSizesKept; }
void SetFormSizesKept(bool kept) { s_formSizesKept = kept; }
