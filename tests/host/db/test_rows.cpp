// Rows read straight from the engine must be what the Qt driver gives for the
// same statement: the data sets, lookups and scalars read through them.

#include "TestSupport.h"

#include "db/Database.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <gtest/gtest.h>

using db::Database;
using db::DbError;
using db::Params;
using db::Rows;

namespace {

class RowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        d = testsupport::bareDatabase(folder.file("books.db"));
        d->exec(QStringLiteral("create table t_kind (ID integer primary key, QTY numeric(19,6), RATE real, PRICE float, "
                               "NAME varchar(20), DAY datetime, PIC blob, OK boolean, ANY_)"));
        d->exec("insert into t_kind values (1, 5, 0.25, 2.5, '费用明细', '2026-12-06', x'00ff', 1, 7), "
                "(2, 12.75, 3, null, '', '2026-12-06 10:11:12', x'', 0, 'text'), (3, null, null, 1e300, null, null, null, null, null)");
    }

    // The driver's columns and values for the statement, against read().
    void expectSameAsDriver(const QString &sql, const Params &params = {})
    {
        SCOPED_TRACE(sql.toStdString());
        QSqlQuery q(d->connection());
        q.setForwardOnly(true);
        ASSERT_TRUE(q.prepare(d->translate(sql))) << q.lastError().text().toStdString();
        for (auto it = params.begin(); it != params.end(); ++it)
            q.bindValue(u':' + it.key(), it.value());
        ASSERT_TRUE(q.exec());
        Rows rows = d->read(sql, params);
        const QSqlRecord rec = q.record();
        ASSERT_EQ(rows.columnCount(), rec.count());
        for (int c = 0; c < rec.count(); ++c) {
            EXPECT_EQ(rows.columns()[c], rec.fieldName(c));
            EXPECT_EQ(rows.metaTypes()[c].id(), rec.field(c).metaType().id()) << rec.fieldName(c).toStdString();
        }
        int n = 0;
        while (q.next()) {
            ASSERT_TRUE(rows.next());
            for (int c = 0; c < rec.count(); ++c) {
                const QVariant a = q.value(c), b = rows.value(c);
                EXPECT_EQ(a.typeId(), b.typeId()) << "row " << n << " column " << c;
                EXPECT_EQ(a.isNull(), b.isNull()) << "row " << n << " column " << c;
                EXPECT_EQ(a, b) << "row " << n << " column " << c;
            }
            ++n;
        }
        EXPECT_FALSE(rows.next());
        EXPECT_FALSE(rows.next());
    }

    testsupport::TempFolder folder;
    std::unique_ptr<Database> d;
};

TEST_F(RowsTest, ValuesAndColumnTypesAreTheDriversOwn)
{
    expectSameAsDriver("select * from t_kind order by ID");
    // Expressions take their type from the first row; an empty result has none.
    expectSameAsDriver(QStringLiteral("select ID + 1 as NEXTID, QTY * 2 as [QTY2], 'a' + NAME as \"TAG\", null as EMPTYCOL, "
                                      "isnull(RATE, 0) as R, count(*) over () as N from t_kind order by ID desc"));
    expectSameAsDriver("select ID, ID * 1.5 as X, NAME from t_kind where 1 = 0");
    expectSameAsDriver("select ID, NAME from t_kind where ID = :id or NAME = :name or QTY = :qty", {{"id", 2}, {"name", "费用明细"}, {"qty", 12.75}});
    expectSameAsDriver("select ID from t_kind where NAME = :name or :none is null", {{"name", QString()}, {"none", QVariant()}});
    // select and scalar read the same way.
    EXPECT_EQ(d->scalar("select NAME from t_kind where ID = 1").toString(), "费用明细");
    EXPECT_TRUE(d->scalar("select NAME from t_kind where ID = 3").isNull());
    EXPECT_FALSE(d->scalar("select NAME from t_kind where ID = 9").isValid());
    const db::ResultSet rs = d->select("select ID, QTY from t_kind where ID < :n order by ID", {{"n", 3}});
    EXPECT_EQ(rs.columns, QStringList({"ID", "QTY"}));
    EXPECT_EQ(testsupport::rowsText(rs), "1:5;2:12.75");
}

TEST_F(RowsTest, FailuresAreTheLayersOwn)
{
    // A statement the engine refuses: the same error as the driver's way.
    const QString viaExec = testsupport::errorOf([&] { d->exec("select NOSUCH from t_kind"); });
    EXPECT_TRUE(viaExec.contains("NOSUCH")) << viaExec.toStdString();
    EXPECT_EQ(testsupport::errorOf([&] { d->read("select NOSUCH from t_kind"); }), viaExec);
    EXPECT_THROW(d->read("select ID from t_kind where ID = :id"), DbError); // unbound

    // An injected fault counts reads too, with the engine's code.
    d->injectFault({1, 13, {}, true});
    try {
        d->read("select ID from t_kind");
        ADD_FAILURE() << "no fault";
    } catch (const DbError &e) {
        EXPECT_EQ(e.code(), 13);
    }

    // A function failing on a later row stops the read instead of cutting it short.
    db::Registry::instance().addFunction("rows_test_fail3", 1, [](const QVariantList &a) -> QVariant {
        if (a.value(0).toInt() == 3)
            throw std::runtime_error("row three refused");
        return a.value(0);
    });
    auto again = testsupport::bareDatabase(folder.file("books.db"));
    Rows rows = again->read("select rows_test_fail3(ID) from t_kind order by ID");
    EXPECT_TRUE(rows.next());
    EXPECT_TRUE(rows.next());
    const QString third = testsupport::errorOf([&] { rows.next(); });
    EXPECT_TRUE(third.contains("row three refused")) << third.toStdString();

    // Writes and batches still run the usual way and hand out their rows.
    EXPECT_FALSE(d->read("insert into t_kind(ID, NAME) values (4, 'x')").next());
    Rows batch = d->read(QStringLiteral("declare @n int set @n = 4\n" "select NAME from t_kind where ID = @n"));
    ASSERT_TRUE(batch.next());
    EXPECT_EQ(batch.value(0).toString(), "x");
}

TEST_F(RowsTest, KeptStatementsStayOutOfTheWay)
{
    // The same text read twice at once, each from its own start.
    const QString sql = "select ID from t_kind order by ID";
    Rows outer = d->read(sql);
    ASSERT_TRUE(outer.next());
    ASSERT_TRUE(outer.next());
    Rows inner = d->read(sql);
    ASSERT_TRUE(inner.next());
    EXPECT_EQ(inner.value(0).toInt(), 1);
    EXPECT_EQ(outer.value(0).toInt(), 2);

    // A statement left half read holds no lock once it is given back: the
    // table can be written, altered and dropped, and a kept statement follows
    // the new schema.
    { Rows half = d->read(sql); ASSERT_TRUE(half.next()); }
    outer = Rows();
    inner = Rows();
    EXPECT_EQ(d->read("select * from t_kind order by ID").columnCount(), 9);
    d->exec("alter table t_kind add column EXTRA integer default 9");
    EXPECT_EQ(d->read("select * from t_kind order by ID").columns().last(), "EXTRA");
    d->exec("delete from t_kind where ID = 3");
    EXPECT_EQ(d->scalar("select count(*) from t_kind").toInt(), 2);
    d->exec("drop table t_kind");
    EXPECT_THROW(d->scalar("select count(*) from t_kind"), DbError);

    // The connection closes cleanly with statements kept: the file opens again.
    d.reset();
    d = Database::openSqlite(folder.file("books.db"));
    EXPECT_EQ(d->scalar("select count(*) from sqlite_master where name = 't_kind'").toInt(), 0);
}

} // namespace
