// notectl copy: the demo books copied from SQLite to the server and back, every
// table equal, nothing posted twice, keys going on where they were.

#include "PgFixture.h"

#include "notedb.h"

using db::Database;

namespace {

// Every row of a table, one canonical line each, sorted (the engines may order
// rows that differ only in case differently).
QStringList dump(Database &d, const QString &table)
{
    QStringList columns;
    for (const auto &c : d.tableColumns(table))
        columns << c.name.toLower();
    columns.sort();
    QStringList lines = pgtest::canonical(d.select(QStringLiteral("select %1 from %2").arg(columns.join(u", "), table)))
                            .split(u'\n', Qt::SkipEmptyParts);
    lines.sort();
    return lines;
}

class CopyBooks : public pgtest::DemoOnBoth {};

TEST_F(CopyBooks, DemoBooksGoToTheServerAndBackWithEveryTableEqual)
{
    Database *lite = m_lite.get(), *pg = m_pg.get();
    const QStringList tables = lite->tableNames();
    auto back = notedb::copyBooks(*pg, m_folder.file("back.db"));
    EXPECT_EQ(pg->tableNames(), tables);
    int rows = 0;
    for (const QString &t : tables) {
        const QStringList original = dump(*lite, t);
        rows += int(original.size());
        EXPECT_EQ(dump(*pg, t), original) << t.toStdString();
        EXPECT_EQ(dump(*back, t), original) << t.toStdString();
    }
    EXPECT_GT(rows, 500);
    EXPECT_EQ(pg->scalar("select count(*) from sys_postqueue").toInt(), 0);
    // The copy is books of ours, and its keys go on after the original's.
    EXPECT_TRUE(pg->isOurs());
    const qint64 last = lite->scalar("select KEYVALUE from sys_keytable where TABLENAME = 'purchasepth'").toLongLong();
    EXPECT_EQ(pg->newKey("purchasepth"), last + 1);
    EXPECT_EQ(back->newKey("purchasepth"), last + 1);

    // A target that is not empty is refused, the source untouched.
    EXPECT_THROW(notedb::copyBooks(*lite, m_server->address()), db::DbError);
    EXPECT_THROW(notedb::copyBooks(*pg, m_folder.file("back.db")), db::DbError);
}

} // namespace
