// Postings that run through the layer (the money notes) on the server: the
// same audits on the demo books in SQLite and on the server leave the same
// balances and flow rows, and a refused posting leaves the note unaudited.

#include "PgFixture.h"

#include "notedb.h"

using db::Database;
using db::DbError;

namespace {

QString table(Database &d, const QString &sql)
{
    QStringList lines = pgtest::canonical(d.select(sql)).split(u'\n', Qt::SkipEmptyParts);
    lines.sort();
    return lines.join(u'\n');
}

TEST(ServerPostings, MoneyNotesAuditedOnTheServerPostAsOnSqlite)
{
    PG_REQUIRED();
    notedb::install();
    testsupport::TempFolder folder;
    pgtest::ScratchDatabase server;
    auto lite = testsupport::freshBooks(folder.file(QStringLiteral("demo.db")), true);
    auto pg = notedb::copyBooks(*lite, server.address());
    int audits = 0;
    for (const char *t : {"expenseath", "incomebth", "movebth"}) {
        const QString master = QString::fromLatin1(t);
        const db::ResultSet notes = lite->select(QStringLiteral("select NOTEID, NOTESTATE from %1 order by NOTEID").arg(master));
        for (const auto &row : notes.rows) {
            // Entered notes are audited, audited ones un-audited, both ways on both books.
            const int to = row[1].toInt() == 0 ? 1 : 0;
            const QString sql = QStringLiteral("update %1 set NOTESTATE = %2, CHKORID = 1 where NOTEID = %3")
                                    .arg(master)
                                    .arg(to)
                                    .arg(row[0].toLongLong());
            lite->exec(sql);
            pg->exec(sql);
            EXPECT_EQ(pg->lastRowsAffected(), 1);
            ++audits;
        }
    }
    EXPECT_GE(audits, 6);
    EXPECT_EQ(table(*pg, QStringLiteral("select ACCOUNTID, BALANCE from accountacth")),
              table(*lite, QStringLiteral("select ACCOUNTID, BALANCE from accountacth")));
    const QString flows = QStringLiteral("select NOTETYPE, NOTEID, ACCOUNTID from accountflowaath");
    EXPECT_EQ(table(*pg, flows), table(*lite, flows));
    EXPECT_EQ(pg->scalar(QStringLiteral("select count(*) from sys_postqueue")).toInt(), 0);

    // A note whose posting is refused stays as it was, on the server as on SQLite.
    for (Database *d : {lite.get(), pg.get()}) {
        const qint64 id = d->scalar(QStringLiteral("select max(NOTEID) from expenseath where NOTESTATE = 0")).toLongLong();
        if (id == 0)
            continue;
        d->exec(QStringLiteral("update expenseath set ACCOUNTID = -77 where NOTEID = :id"), {{QStringLiteral("id"), id}});
        try {
            d->exec(QStringLiteral("update expenseath set NOTESTATE = 1 where NOTEID = :id"), {{QStringLiteral("id"), id}});
            ADD_FAILURE() << "a note was audited onto an account that does not exist";
        } catch (const DbError &e) {
            EXPECT_TRUE(e.text().contains(QStringLiteral("结算帐户不存在(帐户ID -77)"))) << e.text().toStdString();
        }
        EXPECT_EQ(d->scalar(QStringLiteral("select NOTESTATE from expenseath where NOTEID = :id"), {{QStringLiteral("id"), id}}).toInt(), 0);
    }
}

} // namespace
