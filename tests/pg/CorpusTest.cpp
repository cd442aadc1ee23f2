// The package's T-SQL run on both engines against the same rows: what the
// translator makes of each statement must give the same answer on SQLite and
// on PostgreSQL.

#include "PgFixture.h"

using db::Database;
using pgtest::TwoEngines;

namespace {

class Corpus : public TwoEngines {
protected:
    void SetUp() override
    {
        TwoEngines::SetUp();
        if (IsSkipped())
            return;
        both(QStringLiteral(
            "create table Goodslth (GOODSID INTEGER NOT NULL PRIMARY KEY, CODE VARCHAR(20) COLLATE TSQL NOT NULL, "
            "NAME VARCHAR(40) COLLATE TSQL, UNITNAME VARCHAR(10) COLLATE TSQL, QTY NUMERIC(19,6), "
            "PRICE NUMERIC(19,6), MADEDATE DATE, UPDATETIME TIMESTAMP, REMARK VARCHAR(100) COLLATE TSQL)"));
        both(QStringLiteral(
            "insert into Goodslth (GOODSID, CODE, NAME, UNITNAME, QTY, PRICE, MADEDATE, UPDATETIME, REMARK) values "
            "(1, 'A01', N'Desk', N'件', 10, 12.345, '2024-01-15', '2024-01-15 08:30:00', NULL), "
            "(2, 'a02', N'DESK lamp', N'个', 2.5, 3.125, '2024-02-01', '2024-02-01 12:00:00', 'o''clock'), "
            "(3, 'B01', N'椅子', N'把', 0, 99.995, '2023-12-31', '2023-12-31 23:59:59', N'备注'), "
            "(4, 'b02', N'chair', NULL, -4, 0.5, NULL, NULL, '')"));
    }
};

TEST_F(Corpus, SelectsGiveTheSameRowsOnBothEngines)
{
    const char *const statements[] = {
        // top N, inside a subquery too
        "select top 2 CODE from Goodslth order by GOODSID desc",
        "select count(*) from (select top 3 GOODSID from Goodslth order by GOODSID) t",
        "select CODE from Goodslth where GOODSID in (select top 1 GOODSID from Goodslth order by PRICE desc)",
        // names in any case, quoted with brackets
        "select [Name], [code] from GOODSLTH where [GoodsId] = 1",
        "select g.name from goodslth g where g.GOODSID = 3",
        // text compares with case ignored, in = and in LIKE
        "select GOODSID from Goodslth where CODE = 'a01'",
        "select GOODSID from Goodslth where NAME = 'desk' order by GOODSID",
        "select GOODSID from Goodslth where NAME like 'desk%' order by GOODSID",
        "select GOODSID from Goodslth where CODE like 'B%' order by GOODSID",
        "select GOODSID from Goodslth where NAME like N'椅%'",
        "select GOODSID from Goodslth where CODE in ('A02', 'b01') order by GOODSID",
        "select count(distinct UPPER(CODE)) from Goodslth",
        "select GOODSID from Goodslth where CODE + '-' + NAME = 'A01-DESK'",
        "select case when 'abc' = 'ABC' then 1 else 0 end, case when N'Ab' <> 'aB' then 1 else 0 end",
        "select GOODSID from Goodslth where isnull(UNITNAME, 'x') = 'X' order by GOODSID",
        "select GOODSID from Goodslth where CODE = 'a01  ' or NAME = 'chair ' order by GOODSID",
        "select GOODSID from Goodslth g where g.CODE = 'a01  ' or g.NAME = 'chair ' order by GOODSID",
        // isnull, len, string +
        "select isnull(UNITNAME, '-') from Goodslth order by GOODSID",
        "select isnull(REMARK, 'none') from Goodslth order by GOODSID",
        "select len(NAME) from Goodslth order by GOODSID",
        "select CODE + '-' + NAME from Goodslth order by GOODSID",
        "select CODE + N'·' + isnull(UNITNAME, '') from Goodslth where GOODSID < 3 order by GOODSID",
        // numbers: arithmetic, round, sums, the text of a number
        "select QTY * PRICE from Goodslth order by GOODSID",
        "select round(PRICE, 2) from Goodslth order by GOODSID",
        "select round(PRICE, 0), round(QTY / 3, 3) from Goodslth order by GOODSID",
        "select sum(QTY), max(PRICE), min(CODE) from Goodslth",
        "select count(*), sum(case when QTY > 0 then 1 else 0 end) from Goodslth",
        "select cast(GOODSID as varchar(10)) + '#' from Goodslth order by GOODSID",
        // dates: literals, comparisons, ordering
        "select GOODSID from Goodslth where MADEDATE >= '2024-01-01' order by GOODSID",
        "select GOODSID from Goodslth where MADEDATE between '2024-01-01' and '2024-01-31'",
        "select GOODSID from Goodslth where UPDATETIME < '2024-01-15 09:00:00' order by GOODSID",
        "select max(MADEDATE), min(UPDATETIME) from Goodslth",
        "select convert(varchar(10), UPDATETIME, 120) from Goodslth where GOODSID = 2",
        "select datediff(day, MADEDATE, '2024-03-01'), datediff(month, MADEDATE, '2024-03-01') from Goodslth order by GOODSID",
        "select datediff(yy, '2023-12-31 23:59:59', UPDATETIME), datediff(hh, '2024-01-15 07:59:59', UPDATETIME) "
        "from Goodslth order by GOODSID",
        "select datediff(minute, '2024-01-15 08:00:30', '2024-01-15 08:30:00'), datediff(ss, '2024-01-15', '2024-01-15 00:01:00')",
        "select dateadd(month, 1, '2024-01-31'), dateadd(day, -1, MADEDATE), dateadd(qq, 1, '2023-11-30') "
        "from Goodslth where GOODSID = 1",
        "select year(MADEDATE), month(MADEDATE), day(MADEDATE), datepart(quarter, MADEDATE), datepart(hour, UPDATETIME) "
        "from Goodslth order by GOODSID",
        "select count(*) from Goodslth where datediff(day, MADEDATE, getdate()) > 0",
        // quotes inside literals, NULL handling
        "select GOODSID from Goodslth where REMARK = 'o''clock'",
        "select count(*) from Goodslth where REMARK is null",
        "select GOODSID from Goodslth where isnull(REMARK, '') = '' order by GOODSID",
        // grouping and ordering by text
        "select UNITNAME, count(*) from Goodslth where UNITNAME is not null group by UNITNAME order by UNITNAME",
        "select CODE from Goodslth where GOODSID <> 3 order by CODE",
        // string aliases, also after an expression or a CASE
        "select CODE 'Code', QTY N'数量', (QTY * 2) '两倍', case when QTY > 0 then 'in' else 'out' end '状态' from Goodslth order by GOODSID",
        "select top 1 'x' from Goodslth",
        // parameters bound by name
        "select NAME from Goodslth where CODE = :code and QTY >= :qty",
    };
    const db::Params params{{"code", "A02"}, {"qty", 1}};
    for (const char *statement : statements)
        expectSame(QString::fromUtf8(statement), params);
}

TEST_F(Corpus, RefusalsBatchesAndWritesAreAlikeOnBothEngines)
{
    // A duplicate key, a missing column and a missing table fail on both; the
    // PostgreSQL text is the server's own. (First: a text names the first row as stored.)
    const char *const bad[] = {
        "insert into Goodslth (GOODSID, CODE) values (1, 'X')",
        "select NOSUCHCOLUMN from Goodslth",
        "select * from nosuchtable",
        "select 'unterminated",
    };
    for (const char *b : bad) {
        EXPECT_THROW(m_lite->exec(QString::fromUtf8(b)), db::DbError) << b;
        EXPECT_THROW(m_pg->exec(QString::fromUtf8(b)), db::DbError) << b;
    }
    const QString duplicate = testsupport::errorOf([&] { m_pg->exec("insert into Goodslth (GOODSID, CODE) values (1, 'X')"); });
    EXPECT_TRUE(duplicate.contains("duplicate key")) << duplicate.toStdString();
    // Division by zero and a text that is no number say so as the original server did.
    for (Database *d : {m_lite.get(), m_pg.get()}) {
        EXPECT_EQ(testsupport::errorOf([&] { d->scalar("select QTY / 0 from Goodslth where GOODSID = 1"); }), "遇到以零作除数错误。");
        EXPECT_EQ(testsupport::errorOf([&] { d->scalar("select count(*) from Goodslth where NAME = 1"); }),
                  "在将 varchar 值 'Desk' 转换成数据类型 int 时失败。");
    }
    // The rows are what they were.
    expectSame("select count(*) from Goodslth");

    const char *const batches[] = {
        "declare @n int select @n = count(*) from Goodslth where QTY > 0 select @n as N",
        "declare @c varchar(20) set @c = 'A0' select @c + '1' as C, NAME from Goodslth where CODE = @c + '1'",
        "if exists (select 1 from Goodslth where CODE = 'b01') begin select 'yes' as A end else begin select 'no' as A end",
        "if not exists (select 1 from Goodslth where CODE = 'zz') select 1 as A else select 2 as A",
        "SET XACT_ABORT ON BEGIN TRAN update Goodslth set QTY = QTY * 2 where GOODSID = 1 COMMIT TRAN "
        "SET XACT_ABORT OFF select QTY from Goodslth where GOODSID = 1",
        "begin tran update Goodslth set QTY = 0 rollback tran select sum(QTY) as S, @@trancount as T from Goodslth",
    };
    for (const char *batch : batches)
        expectSame(QString::fromUtf8(batch));
    EXPECT_FALSE(m_lite->inTransaction());
    EXPECT_FALSE(m_pg->inTransaction());

    // Writes change the same rows on both engines.
    const char *const writes[] = {
        "update Goodslth set QTY = QTY + 1 where CODE like 'a%'",
        "update Goodslth set NAME = NAME + ' (old)' where MADEDATE < '2024-01-01'",
        "delete from Goodslth where CODE = 'B02'",
        "insert into Goodslth (GOODSID, CODE, NAME, QTY, PRICE, MADEDATE) values (5, 'C01', N'柜子', 1, 2, '2024-03-01')",
    };
    for (const char *w : writes) {
        m_lite->exec(QString::fromUtf8(w));
        const int liteRows = m_lite->lastRowsAffected();
        m_pg->exec(QString::fromUtf8(w));
        EXPECT_EQ(liteRows, m_pg->lastRowsAffected()) << w;
    }
    EXPECT_EQ(m_pg->lastRowsAffected(), 1);
    expectSame("select GOODSID, CODE, NAME, QTY, PRICE, MADEDATE from Goodslth order by GOODSID");
}

} // namespace
