#pragma once
// What PostgreSQL needs beyond the translator: the schema's DDL written for
// SQLite turned into the server's (text columns that compare as the original
// server does become citext, integers bigint, triggers plpgsql functions), the
// keys of named locks, and the server's error states read as the layer's codes.

#include <QString>
#include <QStringList>

namespace db {

// The statements that do on PostgreSQL what one translated DDL statement does
// on SQLite (usually just that statement).
QStringList pgAdaptDdl(const QString &sql);

// The advisory-lock key of a named lock: the same for every client of the books.
qint64 pgLockKey(const QString &name);

// The SQLite result code that means the same as a PostgreSQL SQLSTATE (0 when
// the state says the connection is gone), and the sentence a user reads.
int pgResultCode(const QString &sqlState, bool connectionError);
QString pgErrorText(int code, bool connectionLost, const QString &serverText);

} // namespace db
