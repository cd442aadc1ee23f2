// notectl: the administrator's command-line tool for the books.
//   notectl init DB [--demo] [--force]   create books (schema, optionally the demo company)
//   notectl sql DB TEXT|-                 run T-SQL through the database layer

#include "notedb.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

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
                            "  notectl sql DB TEXT      (TEXT '-' reads standard input)"));
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
    auto books = notedb::createBooks(path, demo, force);
    std::printf("%s\n", QStringLiteral("已创建帐套 %1%2").arg(path, demo ? QStringLiteral(" (演示数据)") : QString()).toUtf8().constData());
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
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
    } catch (const std::exception &e) {
        printErr(QString::fromUtf8(e.what()));
        return 1;
    }
    return usage();
}
