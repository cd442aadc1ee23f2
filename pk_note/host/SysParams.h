#pragma once
// System parameters (sysparamamth), server time and the business month.

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>

// DATAVALUE of the parameter named `name` (any case); empty when absent or
// when no books are open. Read from the database each time, but once in a
// batch (SteadyReads).
QString LookupSysParam(const QString &name);

// Several parameters in one read, keyed by their upper-cased names; absent
// ones are missing from the result. One statement instead of one each keeps
// a check of several rules to one round trip on a server.
QHash<QString, QString> LookupSysParams(std::initializer_list<const char *> names);

// The server's time, to the second (the embedded engine runs on this machine).
QDateTime GetSystemTime();

// Bounds of the business month: parameters PosYear (PARAMID 3002) and PosMonth
// (PARAMID 3003). When they are missing or invalid, the month of the working
// date g_NewnoteTime is used.
QDate GetFirstDayOfPosMonth();
QDate GetLastDayOfPosMonth();
