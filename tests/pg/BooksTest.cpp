// Books made by notectl init on the server: the same tables and columns as
// on SQLite, the server's SQL functions giving what the SQLite ones give,
// refused roles, and a failed build leaving nothing behind.

#include "PgFixture.h"

#include "notedb.h"

#include <QSet>
#include <QSqlQuery>

using db::Database;
using db::DbError;

namespace {

class Books : public ::testing::Test {
protected:
    void SetUp() override
    {
        PG_REQUIRED();
        notedb::install();
        m_scratch = std::make_unique<pgtest::ScratchDatabase>();
        m_lite = notedb::createBooks(m_folder.file("books.db"), false, false);
        notedb::createBooks(m_scratch->address(), false, false);
        m_pg = notedb::openBooks(m_scratch->address());
    }

    void expectSame(const QString &tsql) { pgtest::expectSame(*m_lite, *m_pg, tsql); }

    testsupport::TempFolder m_folder;
    std::unique_ptr<pgtest::ScratchDatabase> m_scratch;
    std::unique_ptr<Database> m_lite;
    std::unique_ptr<Database> m_pg;
};

TEST_F(Books, InitMakesTheSameTablesColumnsAndFunctionsAsOnSqlite)
{
    const auto columns = [](Database &d, const char *sql) {
        QSet<QString> names;
        for (const auto &row : d.select(sql).rows)
            names << row[0].toString();
        return names;
    };
    const QSet<QString> lite = columns(*m_lite, "select lower(m.name) || '.' || lower(p.name) from sqlite_master m join "
                                                "pragma_table_info(m.name) p where m.type = 'table' and m.name not like 'sqlite%'");
    const QSet<QString> pg = columns(*m_pg, "select c.table_name || '.' || c.column_name from information_schema.columns c join "
                                            "information_schema.tables t on t.table_schema = c.table_schema and t.table_name = "
                                            "c.table_name and t.table_type = 'BASE TABLE' where c.table_schema = current_schema()");
    EXPECT_GT(lite.size(), 500);
    QStringList onlyLite = QSet<QString>(lite).subtract(pg).values(), onlyPg = QSet<QString>(pg).subtract(lite).values();
    onlyLite.sort();
    onlyPg.sort();
    EXPECT_EQ(onlyLite.join(u' ').toStdString(), "") << "only on SQLite";
    EXPECT_EQ(onlyPg.join(u' ').toStdString(), "") << "only on the server";
    // (The columns' keys, defaults and sizes reach the client data sets of
    // every window test run on the server.)
    EXPECT_TRUE(m_pg->tableColumns("no_such_table").isEmpty());
    // The keys are seeded alike.
    expectSame("select TABLENAME, KEYVALUE from sys_keytable order by lower(TABLENAME)");
    // Scripts read rows by name: a column reads as its table spells it (some
    // names are spelt otherwise in other tables), an alias as written, alone
    // or in a batch, on both engines.
    for (const QString &t : m_lite->tableNames()) {
        const QString all = QStringLiteral("select * from %1 where 1 = 0").arg(t);
        EXPECT_EQ(m_pg->select(all).columns.join(u' ').toStdString(), m_lite->select(all).columns.join(u' ').toStdString());
    }
    for (const char *sql : {"select tablename, KeyValue as Next, len(TABLENAME) as [Len] from sys_keytable",
                            "declare @n int set @n = 0 select tablename, KeyValue as Next from sys_keytable where KEYVALUE >= @n",
                            "declare @n int set @n = 0 select buildingid, commodityid from CommodityDetail where COLORID >= @n"})
        EXPECT_EQ(m_pg->select(QString::fromUtf8(sql)).columns.mid(0, 2).join(u' ').toStdString(),
                  m_lite->select(QString::fromUtf8(sql)).columns.mid(0, 2).join(u' ').toStdString());
    EXPECT_EQ(m_pg->select("select KeyValue as Next from sys_keytable").columns.join(u' '), "Next");

    // Books made before the flows' goods index carried the flow id get it when opened.
    const QString goodsIndex = "select indexdef from pg_indexes where indexname = 'ix_noteflowaath_goods'";
    m_pg->exec("drop index ix_noteflowaath_goods");
    m_pg->exec("create index ix_noteflowaath_goods on noteflowaath (COMMODITYID, BUILDINGID)");
    m_pg.reset();
    m_pg = notedb::openBooks(m_scratch->address());
    EXPECT_TRUE(m_pg->scalar(goodsIndex).toString().endsWith("(commodityid, buildingid, id)"))
        << m_pg->scalar(goodsIndex).toString().toStdString();

    // The server's SQL functions give what the SQLite ones give, in the edge cases the numbering tests
    // (run on both engines) do not reach.
    const char *const calls[] = {
        "select funcdefCodeToSerialNo('PB-2024011A', 2)",
        "select funcdefCodeToSerialNo('PB0042', 19)",
        "select funcdefCodeToSerialNo('PB0042', ' 3 ')",
        "select funcdefDateComp('yyyymm', '2024-01-15', '2/1/2024')",
        "select funcdefDateComp('yyyy', '2024-01-15', null)",
        "select funcdefDateComp('yyyymm', '2024-01-15', '13/45/2024')",
        "select funcdefDateComp('week', '2024-01-15', '01/31/2024')",
        "select concat('a', null, 'b', 1)",
        "select sevengetnotecode(99, 1)",
    };
    for (const char *call : calls)
        expectSame(QString::fromUtf8(call));
}

TEST_F(Books, RolesWithoutRightsAreRefusedWithTheServersReason)
{
    const QString db = m_scratch->name();
    for (const QString &sql : {QString("CREATE ROLE pk_nobody LOGIN"), QString("CREATE ROLE pk_outsider LOGIN"),
                               QString("REVOKE CONNECT ON DATABASE %1 FROM PUBLIC").arg(db),
                               QString("GRANT CONNECT ON DATABASE %1 TO pk_nobody").arg(db)})
        QSqlQuery(m_pg->connection()).exec(sql);
    const auto refusal = [](const QString &address) { return testsupport::errorOf([&] { notedb::openBooks(address); }); };
    QString address = m_scratch->address();
    address.replace("//pk_note@", "//pk_outsider@");
    const QString outsider = refusal(address);
    EXPECT_TRUE(outsider.startsWith("无法连接数据库服务器")) << outsider.toStdString();
    EXPECT_TRUE(outsider.contains("permission denied")) << outsider.toStdString();
    // May connect, may not read the books.
    address.replace("//pk_outsider@", "//pk_nobody@");
    const QString nobody = refusal(address);
    EXPECT_TRUE(nobody.startsWith("没有访问帐套的权限")) << nobody.toStdString();
    for (const char *role : {"pk_nobody", "pk_outsider"}) {
        QSqlQuery(m_pg->connection()).exec(QStringLiteral("REVOKE ALL ON DATABASE %1 FROM %2").arg(db, QLatin1String(role)));
        QSqlQuery(m_pg->connection()).exec(QStringLiteral("DROP ROLE %1").arg(QLatin1String(role)));
    }
}

TEST_F(Books, InitRefusesABusyDatabaseAndAFailedBuildLeavesItEmpty)
{
    // Books already there are never built over, not even with force.
    const QString busy = testsupport::errorOf([&] { notedb::createBooks(m_scratch->address(), false, true); });
    EXPECT_TRUE(busy.contains("不是空的")) << busy.toStdString();
    EXPECT_TRUE(m_pg->isOurs());

    // A build that fails half-way (here in its last step) leaves the database as it was.
    pgtest::ScratchDatabase empty;
    EXPECT_THROW(notedb::createBooks(empty.address(), false, false, QDate::currentDate(),
                                     [](Database &d) { d.exec("select nosuchcolumn from purchasepth"); }),
                 DbError);
    auto after = Database::openPostgres(empty.address());
    EXPECT_EQ(after->scalar("select count(*) from information_schema.tables where table_schema = current_schema()").toInt(), 0);
    after.reset();
    // ... so it can be built again.
    EXPECT_NO_THROW(notedb::createBooks(empty.address(), false, false));
}

} // namespace
