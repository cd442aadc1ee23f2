// notectl: the administrator's command-line tool for the books.
//   notectl init DB [--demo] [--force]   create books (schema, optionally the demo company)
//   notectl sql DB TEXT|-                 run T-SQL through the database layer
//   notectl call DB FUNCTION ARGUMENT [NAME=VALUE ...] [--user NAME] [--ok]
//                                         call a named function of the package
//   notectl grow DB --commodities N       add N generated commodities (large books for measuring)
//   notectl grow DB --notes N [--type T]  add N notes of a type (default 2, purchase orders)
//   notectl copy FROM TO [--force]        copy whole books to a new file or server database
// DB is a books file or a server address: postgresql://[user@]host[:port]/books.

#include "Pub.h"
#include "notedb.h"

#include <QAbstractButton>
#include <QDate>
#include <QDialog>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

void printErr(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stderr);
    std::fputs("\n", stderr);
}

int usage()
{
    printErr(QStringLiteral("usage:\n"
                            "  notectl init DB [--demo] [--force]\n"
                            "  notectl sql DB TEXT      (TEXT '-' reads standard input)\n"
                            "  notectl call DB FUNCTION ARGUMENT [NAME=VALUE ...] [--user NAME] [--ok]\n"
                            "  notectl grow DB --commodities N\n"
                            "  notectl grow DB --notes N [--type NOTETYPE]\n"
                            "  notectl copy FROM TO [--force]\n"
                            "DB: a books file, or books on a server: postgresql://[user@]host[:port]/books"));
    return 2;
}

QString cellText(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QStringLiteral("NULL");
    QString s = v.toString();
    s.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
    return s;
}

// The company's parameters, and the package gives every kind that has a
// window its standard print template, in books being made (older books get a
// kind's template when a window of the kind opens).
void writeStandardTemplates(db::Database &books)
{
    const QString file = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("libpk_note.so"));
    QLibrary library(file);
    if (!library.load())
        throw db::DbError(QStringLiteral("无法加载业务包 %1: %2").arg(file, library.errorString()));
    using LoadFn = void (*)();
    using TemplatesFn = int (*)();
    auto load = reinterpret_cast<LoadFn>(library.resolve("noteLoad"));
    auto templates = reinterpret_cast<TemplatesFn>(library.resolve("noteStandardTemplates"));
    if (!load || !templates)
        throw db::DbError(QStringLiteral("业务包 %1 缺少入口 noteStandardTemplates").arg(file));
    notedb::ensureCompanyParameters(books);
    const QVariant user = books.scalar(QStringLiteral("select min(OPERATEID) from operatormth"));
    SetStartupDB(&books);
    SetCurrentUser(user.isNull() ? 0 : user.toInt());
    pub::ScriptedMessageService messages;
    pub::ScriptedModalService modal;
    pub::setMessageService(&messages);
    pub::setModalService(&modal);
    load();
    const int kinds = templates();
    pub::setMessageService(nullptr);
    pub::setModalService(nullptr);
    SetStartupDB(nullptr);
    if (kinds == 0)
        throw db::DbError(QStringLiteral("未能写入标准打印样式"));
}

int cmdInit(const QStringList &args)
{
    QString path;
    bool demo = false, force = false;
    for (const QString &a : args) {
        if (a == QLatin1String("--demo"))
            demo = true;
        else if (a == QLatin1String("--force"))
            force = true;
        else if (a.startsWith(QLatin1String("--")))
            return usage();
        else if (path.isEmpty())
            path = a;
        else
            return usage();
    }
    if (path.isEmpty())
        return usage();
    if (force && db::Database::isServerAddress(path))
        throw db::DbError(QStringLiteral("--force 不能用于服务器上的帐套: 服务器上的帐套不会被覆盖。"));
    // Written inside the creating transaction: books the package could not
    // complete are not left behind.
    auto books = notedb::createBooks(path, demo, force, QDate::currentDate(), writeStandardTemplates);
    std::printf("%s\n", QStringLiteral("已创建帐套 %1%2").arg(path, demo ? QStringLiteral(" (演示数据)") : QString()).toUtf8().constData());
    return 0;
}

int cmdGrow(const QStringList &args)
{
    if (args.size() != 3 && !(args.size() == 5 && args[1] == QLatin1String("--notes") && args[3] == QLatin1String("--type")))
        return usage();
    bool ok = false;
    const int count = args[2].toInt(&ok);
    if (!ok || count <= 0)
        return usage();
    if (args[1] == QLatin1String("--commodities")) {
        auto books = notedb::openBooks(args[0]);
        const qint64 first = notedb::growCommodities(*books, count);
        std::printf("%s\n", QStringLiteral("已添加货品 %1 个 (编号 %2 起)").arg(count).arg(first).toUtf8().constData());
        return 0;
    }
    if (args[1] != QLatin1String("--notes"))
        return usage();
    const int type = args.size() == 5 ? args[4].toInt(&ok) : 2;
    if (!ok)
        return usage();
    auto books = notedb::openBooks(args[0]);
    const qint64 first = notedb::growNotes(*books, type, count);
    std::printf("%s\n", QStringLiteral("已添加单据 %1 张 (类型 %2, NOTEID %3 起)").arg(count).arg(type).arg(first).toUtf8().constData());
    return 0;
}

int cmdCopy(const QStringList &args)
{
    QStringList positional;
    bool force = false;
    for (const QString &a : args) {
        if (a == QLatin1String("--force"))
            force = true;
        else if (a.startsWith(QLatin1String("--")))
            return usage();
        else
            positional << a;
    }
    if (positional.size() != 2)
        return usage();
    if (force && db::Database::isServerAddress(positional[1]))
        throw db::DbError(QStringLiteral("--force 不能用于服务器上的帐套: 服务器上的帐套不会被覆盖。"));
    auto from = notedb::openBooks(positional[0]);
    auto to = notedb::copyBooks(*from, positional[1], force);
    std::printf("%s\n", QStringLiteral("已复制帐套 %1 到 %2").arg(positional[0], positional[1]).toUtf8().constData());
    return 0;
}

int cmdSql(const QStringList &args)
{
    if (args.size() != 2)
        return usage();
    QString text = args[1];
    if (text == QLatin1String("-")) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly))
            throw db::DbError(QStringLiteral("无法读取标准输入"));
        text = QString::fromUtf8(in.readAll());
    }
    auto books = notedb::openBooks(args[0]);
    const db::ResultSet rs = books->run(text);
    QTextStream out(stdout);
    out.setEncoding(QStringConverter::Utf8);
    if (!rs.columns.isEmpty()) {
        out << rs.columns.join(u'\t') << '\n';
        for (const auto &row : rs.rows) {
            QStringList cells;
            cells.reserve(row.size());
            for (const QVariant &v : row)
                cells << cellText(v);
            out << cells.join(u'\t') << '\n';
        }
    }
    return 0;
}

QString messageKind(pub::MessageKind kind)
{
    switch (kind) {
    case pub::MessageKind::Error: return QStringLiteral("error");
    case pub::MessageKind::Warning: return QStringLiteral("warning");
    case pub::MessageKind::Information: return QStringLiteral("information");
    case pub::MessageKind::Message: return QStringLiteral("message");
    case pub::MessageKind::YesNo:
    case pub::MessageKind::YesNoCancel:
    case pub::MessageKind::OkCancel: return QStringLiteral("question");
    }
    return QStringLiteral("message");
}

QString paramText(const QnVariant &v)
{
    if (v.type() == QnVariant::Type::Object)
        return v.toPointer() ? QStringLiteral("<object>") : QStringLiteral("<null>");
    return v.toString();
}

// Loads the package as the host does, calls note_Call once and prints the
// result, the parameters after the call and every message shown. Questions are
// answered Yes; modal windows are closed with Cancel, or with their OK button
// under --ok (a picker then takes the row it shows). The exit code is 0 also
// when the package refused (the result says so).
int cmdCall(const QStringList &args)
{
    QStringList positional;
    QString login = QStringLiteral("admin");
    bool ok = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--user")) {
            if (i + 1 >= args.size())
                return usage();
            login = args[++i];
        } else if (args[i] == QLatin1String("--ok")) {
            ok = true;
        } else {
            positional << args[i];
        }
    }
    if (positional.size() < 3)
        return usage();
    QnParams params;
    for (const QString &pair : positional.mid(3)) {
        const int eq = pair.indexOf(u'=');
        if (eq <= 0) {
            printErr(QStringLiteral("参数格式应为 NAME=VALUE: %1").arg(pair));
            return 2;
        }
        const QString value = pair.mid(eq + 1);
        bool isInt = false;
        const int number = value.toInt(&isInt);
        params.AddValue(pair.left(eq), isInt ? QnVariant(number) : QnVariant(value));
    }

    auto books = notedb::openBooks(positional[0]);
    const QVariant userId = books->scalar(QStringLiteral("select OPERATEID from operatormth where LOGINNAME = :l"),
                                          {{QStringLiteral("l"), login}});
    if (userId.isNull()) {
        printErr(QStringLiteral("没有此用户: %1").arg(login));
        return 1;
    }
    SetStartupDB(books.get());
    SetCurrentUser(userId.toInt());
    pub::ScriptedMessageService messages;
    pub::ScriptedModalService modal;
    if (ok) {
        modal.setHandler([](QWidget *window) {
            auto *button = window->findChild<QAbstractButton *>(QStringLiteral("OkBtn"));
            if (!button)
                return 2;
            button->click();
            // A window that refused its OK stays open: that is a cancel.
            const QVariant result = window->property("modalResult");
            if (auto *dialog = qobject_cast<QDialog *>(window); dialog && !result.isValid())
                return dialog->result();
            return result.isValid() ? result.toInt() : 2;
        });
    }
    pub::setMessageService(&messages);
    pub::setModalService(&modal);

    const QString file = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("libpk_note.so"));
    QLibrary library(file);
    if (!library.load()) {
        printErr(QStringLiteral("无法加载业务包 %1: %2").arg(file, library.errorString()));
        return 1;
    }
    using LoadFn = void (*)();
    auto load = reinterpret_cast<LoadFn>(library.resolve("noteLoad"));
    auto call = reinterpret_cast<GlobalFunction>(library.resolve("note_Call"));
    if (!load || !call) {
        printErr(QStringLiteral("业务包 %1 缺少入口 %2").arg(file, !load ? QStringLiteral("noteLoad")
                                                                             : QStringLiteral("note_Call")));
        return 1;
    }
    load();
    const long result = call(positional[1], positional[2], &params);

    QTextStream out(stdout);
    out.setEncoding(QStringConverter::Utf8);
    out << QStringLiteral("result=0x%1").arg(quint32(result), 8, 16, QLatin1Char('0')) << '\n';
    for (const QnParams::Entry &e : params)
        out << e.name << '=' << paramText(e.value) << '\n';
    for (const pub::MessageRecord &m : messages.records()) {
        QString text = m.text;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\\n")).replace(u'\n', QStringLiteral("\\n"));
        out << "message: " << messageKind(m.kind) << ": " << text << '\n';
    }
    out.flush();
    pub::setMessageService(nullptr);
    pub::setModalService(nullptr);
    SetStartupDB(nullptr);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // "call" and "init" load the package's windows, so they need a widgets application;
    // without a display it runs offscreen.
    const bool widgets = argc > 1 && (qstrcmp(argv[1], "call") == 0 || qstrcmp(argv[1], "init") == 0);
    if (widgets && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> application;
    if (widgets)
        application = std::make_unique<QApplication>(argc, argv);
    else
        application = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication &app = *application;
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString cmd = args.takeFirst();
    try {
        notedb::install();
        if (cmd == QLatin1String("init"))
            return cmdInit(args);
        if (cmd == QLatin1String("sql"))
            return cmdSql(args);
        if (cmd == QLatin1String("call"))
            return cmdCall(args);
        if (cmd == QLatin1String("copy"))
            return cmdCopy(args);
        if (cmd == QLatin1String("grow"))
            return cmdGrow(args);
    } catch (const std::exception &e) {
        printErr(QString::fromUtf8(e.what()));
        return 1;
    }
    return usage();
}
