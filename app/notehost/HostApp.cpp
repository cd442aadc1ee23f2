#include "HostApp.h"

#include "HostFunctions.h"
#include "LoginDialog.h"
#include "MainWindow.h"
#include "PackageLoader.h"
#include "ScriptHost.h"

#include "Globals.h"
#include "Messages.h"
#include "Settings.h"
#include "notedb.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMessageBox>

#include <cstdio>
#include <memory>

namespace notehost {

namespace {

const char *kUsage = "usage: notehost --db FILE [--user NAME [--password TEXT]] [--script FILE.js] [--package FILE]"
                     " [--busy-timeout SECONDS]";

// No box can be answered offscreen or while a script runs: the text goes to stderr only.
bool canShowBoxes(const HostOptions &o)
{
    const QString platform = QGuiApplication::platformName();
    return o.script.isEmpty() && platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

int fail(const HostOptions &o, const QString &text)
{
    std::fprintf(stderr, "notehost: %s\n", text.toUtf8().constData());
    if (canShowBoxes(o))
        QMessageBox::critical(nullptr, QStringLiteral("notehost"), text);
    return 1;
}

} // namespace

bool parseOptions(const QStringList &args, HostOptions *o, QString *error)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&](QString *target) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("%1 needs a value\n%2").arg(a, QString::fromLatin1(kUsage));
                return false;
            }
            *target = args[++i];
            return true;
        };
        bool ok = true;
        if (a == QLatin1String("--db"))
            ok = value(&o->books);
        else if (a == QLatin1String("--user"))
            ok = value(&o->user);
        else if (a == QLatin1String("--password"))
            ok = (o->hasPassword = value(&o->password));
        else if (a == QLatin1String("--script"))
            ok = value(&o->script);
        else if (a == QLatin1String("--package"))
            ok = value(&o->package);
        else if (a == QLatin1String("--busy-timeout")) {
            QString text;
            ok = value(&text);
            bool number = false;
            o->busyTimeout = text.toInt(&number);
            if (ok && (!number || o->busyTimeout < 0)) {
                *error = QStringLiteral("--busy-timeout needs a number of seconds\n%1").arg(QString::fromLatin1(kUsage));
                return false;
            }
        }
        else {
            *error = QStringLiteral("unknown argument %1\n%2").arg(a, QString::fromLatin1(kUsage));
            return false;
        }
        if (!ok)
            return false;
    }
    if (o->books.isEmpty()) {
        *error = QString::fromLatin1(kUsage);
        return false;
    }
    if (!o->script.isEmpty() && o->user.isEmpty()) {
        *error = QStringLiteral("--script needs --user (no login dialog while a script runs)");
        return false;
    }
    return true;
}

void useChineseFont(QApplication &app)
{
    const QString family = QStringLiteral("WenQuanYi Zen Hei");
    if (QFontDatabase::families().contains(family)) {
        QFont f = app.font();
        f.setFamily(family);
        app.setFont(f);
    }
}

// Seconds a statement waits for another client's lock: the command line, else
// System.ini [Database] BusyTimeout, else 10.
int busyTimeoutSeconds(const HostOptions &o)
{
    if (o.busyTimeout >= 0)
        return o.busyTimeout;
    const int fromIni = ReadIniInt(QStringLiteral("System.ini"), QStringLiteral("Database"), QStringLiteral("BusyTimeout"), 10);
    return fromIni >= 0 ? fromIni : 10;
}

// While a statement waits for another client's lock the user sees a wait
// cursor; the message follows when the wait times out.
void showBusyWaits()
{
    db::Database::setBusyHook([](bool waiting) {
        if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
            return;
        if (waiting)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
}

int runHost(QApplication &app, const HostOptions &o)
{
    notedb::install();
    db::Database::setDefaultBusyTimeout(busyTimeoutSeconds(o) * 1000);
    showBusyWaits();
    std::unique_ptr<db::Database> books;
    try {
        books = notedb::openBooks(o.books);
    } catch (const std::exception &e) {
        QString text = ExceptionText(e);
        // A folder is no books to create: the user meant a file in it.
        if (QFileInfo(o.books).isDir())
            return fail(o, text + QStringLiteral("\n请用 --db 指定帐套文件，而不是文件夹。"));
        if (!text.contains(QLatin1String("notectl init")))
            text += QStringLiteral("\n请先用 notectl init 创建帐套");
        return fail(o, text + QStringLiteral("\n例如: notectl init %1 --demo").arg(o.books));
    }
    if (books->isReadOnly()) {
        // Said once at opening, rather than as a refusal at every save.
        const QString text = QStringLiteral("帐套文件是只读的，只能查看数据，不能保存任何修改。\n%1").arg(books->path());
        std::fprintf(stderr, "notehost: %s\n", text.toUtf8().constData());
        if (canShowBoxes(o))
            QMessageBox::warning(nullptr, QStringLiteral("notehost"), text);
    }
    SetStartupDB(books.get());
    // Whatever happens below, the connection goes before the books object.
    struct Detach {
        ~Detach() { SetStartupDB(nullptr); }
    } detach;

    int userId = 0;
    if (!o.user.isEmpty()) {
        userId = operatorByLogin(*books, o.user);
        if (!userId)
            return fail(o, QStringLiteral("用户[%1]不存在或已停用").arg(o.user));
        if (o.hasPassword && notedb::checkPassword(*books, o.user, o.password) != userId)
            return fail(o, QStringLiteral("用户[%1]的密码不对").arg(o.user));
    } else {
        if (!canShowBoxes(o))
            return fail(o, QStringLiteral("没有显示器时请用 --user 指定用户"));
        LoginDialog login(*books);
        if (login.exec() != QDialog::Accepted)
            return 1;
        userId = login.operatorId();
    }
    SetCurrentUser(userId);

    // Scripts get scripted messages before the package shows anything.
    std::unique_ptr<MainWindow> main;
    std::unique_ptr<ScriptHost> script;
    if (!o.script.isEmpty())
        script = std::make_unique<ScriptHost>(nullptr);

    registerHostFunctions();
    PackageLoader package;
    QString error;
    const QString path = o.package.isEmpty() ? PackageLoader::defaultPath(QCoreApplication::applicationDirPath())
                                             : o.package;
    if (!package.load(path, &error))
        return fail(o, error);
    try {
        package.callLoad();
    } catch (const std::exception &e) {
        return fail(o, QStringLiteral("业务包 %1 加载失败: %2").arg(path, ExceptionText(e)));
    }

    MainWindow::setWindowClassCheck([&package](const QString &cls) { return package.hasWindowClass(cls); });
    main = std::make_unique<MainWindow>(books->path());
    main->show();
    int rc = 0;
    if (script) {
        script->setMainWindow(main.get());
        QCoreApplication::processEvents();
        rc = script->runFile(o.script);
        // Windows close without asking to save once the script is done.
        g_bForceCloseForm = true;
    } else {
        rc = app.exec();
    }
    main->mdi()->closeAllSubWindows();
    main.reset();
    MainWindow::setWindowClassCheck({});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    package.callUnload();
    script.reset();
    return rc;
}

} // namespace notehost
