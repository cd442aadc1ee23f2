#pragma once
// The host's start-up sequence: books, login, package, main window, and either
// the event loop or an automation script.

#include <QString>
#include <QStringList>

class QApplication;

namespace notehost {

struct HostOptions {
    QString books;
    QString user;
    QString password;
    bool hasPassword = false;
    QString script;
    QString package; // default: libpk_note.so beside the program
    int busyTimeout = -1; // seconds to wait for another client's lock; -1: System.ini [Database] BusyTimeout, else 10
};

// Parses the command line (without the program name). On a usage error returns
// false with the text in `error`.
bool parseOptions(const QStringList &args, HostOptions *options, QString *error);

// Uses "WenQuanYi Zen Hei" for the whole application when it is installed, so
// Chinese renders on machines without another CJK font.
void useChineseFont(QApplication &app);

// Runs the host; returns the process exit code.
int runHost(QApplication &app, const HostOptions &options);

} // namespace notehost
