#pragma once
// The host's log: one row of syslogmth per entry, stamped with the server time
// and the current user (g_iUserID).

#include <QChar>
#include <QString>

// Appends an entry. Logging never breaks the caller: without books or on a
// database error the entry is dropped (with a warning on stderr). Texts longer
// than the columns (200) are cut.
void WriteLog(QChar category, int code, QChar kind, const QString &text1, const QString &text2, int number1,
              int number2);
