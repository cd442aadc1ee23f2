// notehost: logs a user in to the books, loads the business package and shows
// the main window; with --script it runs an automation script instead of
// waiting for the user.

#include "HostApp.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("notehost"));
    notehost::HostOptions options;
    QString error;
    if (!notehost::parseOptions(app.arguments().mid(1), &options, &error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 2;
    }
    notehost::useChineseFont(app);
    return notehost::runHost(app, options);
}
