#pragma once
// The host's globals: current user, working date, temporary folder, forced
// close, the start-up connection, and the folder beside the program that
// holds the settings files.

#include <QDate>
#include <QString>

namespace db {
class Database;
}

extern int g_iUserID;            // current operator (operatormth.OPERATEID)
extern QString g_asUserName;     // its name
extern QDate g_NewnoteTime;      // working date for new notes; today at start-up
extern QString g_asTempDirectory; // where report files are unpacked
extern bool g_bForceCloseForm;   // windows close without asking to save

// The host's default connection; null until the host (or a test) sets it.
db::Database *StartupDB();
// Sets the connection and drops every cache read from the previous one
// (lookup tables, precisions). Ownership stays with the caller.
void SetStartupDB(db::Database *database);
// Caches of the books' data (lookups, rounding) subscribe here and are told
// after SetStartupDB changes the books, so this unit needs none of them.
using BooksChangedHandler = void (*)();
void OnBooksChanged(BooksChangedHandler handler);
// StartupDB(), or PubError "没有打开的帐套" when none is set.
db::Database &RequireDB();

// Makes `operatorId` the current user: sets g_iUserID and g_asUserName from
// operatormth (the name stays empty when the operator is unknown).
void SetCurrentUser(int operatorId);

// The program's folder, where "System.ini" and "PrintName.ini" live. Defaults
// to the executable's folder; the host's tests point it elsewhere.
QString ProgramFolder();
void SetProgramFolder(const QString &folder);
// Whether closing a window keeps its size and place for the next time; off
// while a script drives the host, whose screen is not the user's.
bool FormSizesKept();
void SetFormSizesKept(bool kept);
