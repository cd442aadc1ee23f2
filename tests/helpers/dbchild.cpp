// A second process for the cross-process tests of the database layer. DB is
// a books file or a server's address (postgresql://...).
//   dbchild lock DB NAME      take the named lock, print "taken" or "busy", hold it until stdin closes
//   dbchild keys DB TABLE N   take N keys and print them one per line
//   dbchild reserve DB TYPE CODE   reserve a note number as a client would, print
//                             "reserved", live until stdin closes (or until killed)
#include "db/Database.h"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

std::unique_ptr<db::Database> open(const QString &address)
{
    return address.startsWith(QLatin1String("postgresql:")) ? db::Database::openPostgres(address)
                                                            : db::Database::openSqlite(address);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    try {
        if (a.size() == 4 && a[1] == QLatin1String("lock")) {
            auto d = open(a[2]);
            std::printf("%s\n", d->setLock(a[3], true) ? "taken" : "busy");
            std::fflush(stdout);
            std::string line;
            std::getline(std::cin, line);
            return 0;
        }
        if (a.size() == 5 && a[1] == QLatin1String("reserve")) {
            auto d = open(a[2]);
            d->exec(QStringLiteral("insert into notecodereserveth (NOTETYPE, NOTECODE, OPERATEID, CLIENTID) "
                                   "values (:t, :c, 1, :id)"),
                    {{QStringLiteral("t"), a[3].toInt()}, {QStringLiteral("c"), a[4]}, {QStringLiteral("id"), d->clientId()}});
            std::printf("reserved\n");
            std::fflush(stdout);
            std::string line;
            std::getline(std::cin, line);
            return 0;
        }
        if (a.size() == 5 && a[1] == QLatin1String("keys")) {
            auto d = open(a[2]);
            const int n = a[4].toInt();
            for (int i = 0; i < n; ++i)
                std::printf("%lld\n", static_cast<long long>(d->newKey(a[3])));
            return 0;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 2;
}
