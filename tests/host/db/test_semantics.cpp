// What a statement means on the original server, checked on the real books: each
// statement of the corpus is written beside the value SQL Server returns for it (or
// its error text, marked "!"), and run through the real layer on the demo company.

#include "TestSupport.h"

#include "db/Database.h"
#include "db/TsqlTranslator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using db::Database;
using db::DbError;

namespace {

struct Meaning {
    const char *tsql;
    const char *server; // the original server's result; "!text": its error starts with text
};

// Rows the corpus adds to the demo company: two departments whose names differ only in
// case and trailing blanks, two whose order depends on case, one with a NULL shop id.
const char *const kFixture =
    "insert into departmentlth (DEPID, CODE, NAME, SHOPERATEID) values "
    "(901, 'D901', 'Sales', 0), (902, 'D902', 'SALES  ', 0), (903, 'D903', 'a-x', 0), (904, 'D904', 'B-y', 0), "
    "(905, 'D905', 'N', NULL)";

const Meaning kCorpus[] = {
    // Text compares ignoring case and trailing blanks, in literals and in columns.
    {"select case when 'abc' = 'ABC' then 1 else 0 end", "1"},
    {"select case when 'abc' = 'abc   ' then 1 else 0 end", "1"},
    {"select case when 'abc' < 'ABD' then 1 else 0 end", "1"},
    {"select NAME from Commoditylth where CODE = 'bc0001'", "桌面板"},
    {"select count(*) from storelth where CODE in ('01 ', '02')", "2"},
    {"select count(distinct NAME) from departmentlth where DEPID in (901, 902)", "1"},
    {"select count(*) from (select NAME from departmentlth where DEPID in (901, 902) group by NAME) g", "1"},
    {"select top 1 NAME from departmentlth where DEPID in (903, 904) order by NAME", "a-x"},
    {"select count(*) from (select 'a' as x union select 'A') t", "1"},
    {"select charindex('DESK', 'my desk')", "4"},
    {"select left(NAME, 2) + right(NAME, 2) + '|' + right('ab', 5) + right('ab', 0) from storelth where BUILDINGID = 1", "总部仓库|ab"},
    {"select replicate('ab', 3) + space(2) + '|'", "ababab  |"},
    {"select upper('ab') + N'件'", "AB件"},
    {"select isnull(cast(null as varchar(5)), 'none')", "none"},
    {"select case when BUILDINGID > 1 then 'big' else 'small' end + '!' from storelth where BUILDINGID = 1", "small!"},
    // The leaf test: areas whose code starts no other area's code.
    {"select count(*) from arealth A where (select count(*) from arealth B where B.LCODE like A.LCODE + '%') = 1", "6"},
    // TOP limits its own select only: in a subquery, a derived table or one member of a union.
    {"select top 1 BUILDINGID from storelth order by BUILDINGID desc", "5"},
    {"select distinct top 1 EMPID from storelth order by EMPID desc", "10"},
    {"select count(*) from (select top 2 BUILDINGID from storelth order by BUILDINGID desc) t", "2"},
    {"select count(*) from storelth where BUILDINGID in (select top 2 BUILDINGID from storelth order by BUILDINGID)", "2"},
    {"select (select top 1 CODE from storelth where BUILDINGID > 3 order by BUILDINGID)", "04"},
    {"select count(*) from (select top 1 CODE from storelth union all select CODE from storelth) t", "6"},
    // Text compared with a number is converted to the number.
    {"select NAME from storelth where CODE = 1", "总部仓库"},
    {"select count(*) from storelth where 3 <= CODE", "3"},
    {"select count(*) from storelth where CODE in (1, 2, 7)", "2"},
    {"select count(*) from storelth where NAME = 1", "!在将 varchar 值 '总部仓库' 转换成数据类型 int 时失败。"},
    // Names that do not exist are errors, not string literals.
    {"select [nosuchcol] from storelth", "!no such column: nosuchcol"},
    {"select count(*) from storelth where [NAMEX] = 'NAMEX'", "!no such column: NAMEX"},
    {"select \"CODE\" from storelth where BUILDINGID = 1", "01"},
    {"select CODE '编号' from storelth where BUILDINGID = 1", "01"},
    // + concatenates text and adds numbers, by the operands' types.
    {"select CODE + NAME from storelth where BUILDINGID = 1", "01总部仓库"},
    {"declare @a varchar(10), @b varchar(10) select @a = '1', @b = '2' select @a + @b", "12"},
    {"declare @a int = 1, @b int = 2 select @a + @b", "3"},
    {"select '1' + 1", "2"},
    {"select 'a' + 1", "!在将 varchar 值 'a' 转换成数据类型 int 时失败。"},
    {"select BUILDINGID + CODE from storelth where BUILDINGID = 2", "4"},
    {"select NAME + 1 from storelth where BUILDINGID = 1", "!在将 varchar 值 '总部仓库' 转换成数据类型 int 时失败。"},
    {"select 'No.' + cast(BUILDINGID as varchar(5)) from storelth where BUILDINGID = 3", "No.3"},
    {"select x + 'a' from (select 1 as x) t", "!无法确定 x 的类型，不能判断 x + 'a' 中的 + 是字符串连接还是加法"},
    // Declared sizes and types hold.
    {"select cast('abcdef' as varchar(3))", "abc"},
    {"select convert(varchar(3), 'abcdef')", "abc"},
    {"declare @s varchar(3) = 'abcdef' select @s", "abc"},
    {"declare @s varchar = 'abc' select @s", "a"},
    {"select cast('ab' as char(4)) + '|'", "ab  |"},
    {"select cast(123456 as varchar(3))", "*"},
    {"select cast('a' as char(9000))", "!为类型 'char' 指定的大小(9000)超过了任意数据类型所允许的最大值(8000)。"},
    {"declare @i int = 2.7 select @i", "2"},
    {"declare @i int set @i = -2.7 select @i", "-2"},
    {"declare @i int = 'x' select @i", "!在将 varchar 值 'x' 转换成数据类型 int 时失败。"},
    {"select cast('abc' as int)", "!在将 varchar 值 'abc' 转换成数据类型 int 时失败。"},
    {"select cast(2.5 as decimal(10,0))", "3"},
    {"select cast(-2.5 as decimal(10,0))", "-3"},
    {"select cast('12' as int) + 1", "13"},
    {"select convert(int, CODE) from storelth where BUILDINGID = 3", "3"},
    {"select cast(1.5 as money)", "1.5000"},
    {"select cast(2.675 as decimal(10,2))", "2.68"},
    {"select cast(123.4 as decimal(3,1))", "!将 numeric 转换为数据类型 numeric 时出现算术溢出错误。"},
    {"select len('ab  ')", "2"},
    {"select len(NAME) from departmentlth where DEPID = 902", "5"},
    {"select round(1250, -2)", "1300"},
    {"select round(-1250, -2)", "-1300"},
    {"select round(9223372036854775807, -1)", "!将 expression 转换为数据类型 bigint 时出现算术溢出错误。"},
    {"select round(2.675, 2)", "2.680"},
    {"select round(2.675, 2, 1)", "2.670"},
    {"select 7 / 2", "3"},
    {"select BALANCE / 7 from accountacth where ACCOUNTID = 1", "2361.428571"},
    {"select 1/0", "!遇到以零作除数错误。"},
    {"select 5 % 0", "!遇到以零作除数错误。"},
    {"select isnull(SHOPERATEID, '') from departmentlth where DEPID = 905", "0"},
    {"select isnull(cast(null as int), '')", "0"},
    // Date functions on the stored 'YYYY-MM-DD [HH:MM:SS]' text.
    {"select convert(varchar(10), cast('2005-03-01 10:20:30' as datetime), 120)", "2005-03-01"},
    {"select convert(varchar(8), cast('2005-03-01 10:20:30' as datetime), 112)", "20050301"},
    {"select convert(varchar(8), cast('2005-03-01 10:20:30' as datetime), 108)", "10:20:30"},
    {"select case when convert(varchar(19), getdate(), 120) like '2___-__-__ __:__:__' then 1 else 0 end", "1"},
    {"select datediff(day, '2005-01-31', '2005-03-01')", "29"},
    {"select datediff(month, '2005-01-31', '2005-02-01')", "1"},
    {"select datediff(yy, '2004-12-31 23:59:59', '2005-01-01')", "1"},
    {"select datediff(hour, '2005-01-01 10:59:00', '2005-01-01 11:00:00')", "1"},
    {"select dateadd(month, 1, '2005-01-31')", "2005-02-28 00:00:00"},
    {"select dateadd(day, -1, '2004-03-01 08:30:00')", "2004-02-29 08:30:00"},
    {"select datepart(quarter, '2005-08-15') + year('2005-08-15') + month('2005-08-15')", "2016"},
    {"select datediff(week, '2005-01-01', '2005-02-01')", "!不支持日期部分 week。"},
    {"select datediff(day, 'soon', '2005-02-01')", "!从字符串转换日期和/或时间时，转换失败。"},
    // Assignment select takes the last row; @@ values.
    {"declare @s varchar(20) select @s = CODE from storelth order by CODE select @s", "05"},
    {"declare @s varchar(20) = 'x' select @s = CODE from storelth where 1 = 0 select @s", "x"},
    {"declare @s nvarchar(2), @n int select @s = NAME, @n = BUILDINGID from storelth where BUILDINGID = 3 select @s + ':' + cast(@n as varchar(3))",
     "成品:3"},
    {"declare @s varchar(20) = '' select @s = @s + CODE from storelth", "!不支持在赋值 SELECT 中读取被赋值的变量 @s。"},
    {"declare @s varchar(20) select CODE, @s = NAME from storelth", "!向变量赋值的 SELECT 语句不能与数据检索操作结合使用。"},
    {"select CODE from storelth select @@rowcount", "5"},
    {"declare @n int select @n = count(*) from storelth select @@rowcount", "1"},
    {"update departmentlth set REMARK = 'r' where DEPID >= 901 select @@rowcount", "5"},
    {"select @@trancount", "0"},
    {"begin tran select @@trancount commit tran", "1"},
    {"select @@error", "0"},
    {"select @@identity", "!不支持 @@identity"},
    // Input the layer refuses instead of half-running it.
    {"select 1 /* /* */", "!缺少注释结束标记 '*/'。"},
    {"select 'abc", "!字符串 'abc' 后的引号不完整。"},
    {"if 1 = 1 begin select 1 /* end", "!缺少注释结束标记 '*/'。"},
};

QString shown(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return QStringLiteral("NULL");
    return v.toString();
}

// Numbers compare by value to the decimals the original server shows (2.680 for a
// numeric(4,3), 2361.428571 for a division of numeric(19,6)).
bool sameValue(const QString &server, const QVariant &got)
{
    bool a = false, b = false;
    const double x = server.toDouble(&a);
    const double y = got.toString().toDouble(&b);
    if (a && b && (got.typeId() == QMetaType::Double || got.typeId() == QMetaType::LongLong || got.typeId() == QMetaType::Int)) {
        const qsizetype dot = server.indexOf(u'.');
        const int decimals = dot < 0 ? 0 : int(server.size() - dot - 1);
        return std::abs(x - y) <= (decimals == 0 ? 1e-9 : 0.49 * std::pow(10.0, -decimals));
    }
    return shown(got) == server;
}

class SemanticsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        d = testsupport::freshBooks(folder.file(QStringLiteral("books.db")), true);
        d->exec(QString::fromUtf8(kFixture));
    }

    testsupport::TempFolder folder;
    std::unique_ptr<Database> d;
};

TEST_F(SemanticsTest, StatementsMeanWhatTheyMeantOnTheOriginalServer)
{
    for (const Meaning &m : kCorpus) {
        const QString tsql = QString::fromUtf8(m.tsql);
        const QString server = QString::fromUtf8(m.server);
        try {
            const QVariant got = d->scalar(tsql);
            EXPECT_FALSE(server.startsWith(u'!')) << m.tsql << " ran and gave " << shown(got).toStdString();
            if (!server.startsWith(u'!')) {
                EXPECT_TRUE(sameValue(server, got)) << m.tsql << " gave " << shown(got).toStdString();
            }
        } catch (const DbError &e) {
            EXPECT_TRUE(server.startsWith(u'!') && e.text().startsWith(server.mid(1)))
                << m.tsql << " failed: " << e.text().toStdString();
        }
        // A failed batch may leave nothing open behind it.
        EXPECT_FALSE(d->inTransaction()) << m.tsql;
    }
}

// Lookups by code still use the unique index: the collation is the column's own.
TEST_F(SemanticsTest, CodeLookupsUseTheIndex)
{
    const db::ResultSet plan = d->select(QStringLiteral("explain query plan select NAME from Commoditylth where CODE = 'bc0001'"));
    ASSERT_FALSE(plan.rows.isEmpty());
    EXPECT_TRUE(plan.rows.back().back().toString().contains(QStringLiteral("ix_commoditylth_code")))
        << plan.rows.back().back().toString().toStdString();
    // A code differing only in case is the same code for the unique index too.
    EXPECT_THROW(d->exec(QStringLiteral("update Commoditylth set CODE = 'bc0002' where CODE = 'BC0001'")), DbError);
}

// Where the layer departs from the original server, as the README says: Chinese text
// orders by code point (北 U+5317 before 安 U+5B89; pinyin would put 安 first), and
// ASCII letters fold while full-width ones do not.
TEST_F(SemanticsTest, ChineseTextOrdersByCodePoint)
{
    d->exec(QStringLiteral("insert into departmentlth (DEPID, CODE, NAME) values (911, 'D911', '安'), (912, 'D912', '北')"));
    const db::ResultSet rs = d->select(QStringLiteral("select NAME from departmentlth where DEPID in (911, 912) order by NAME"));
    ASSERT_EQ(rs.rows.size(), 2);
    EXPECT_EQ(rs.rows[0][0].toString(), QStringLiteral("北"));
    EXPECT_EQ(d->scalar(QStringLiteral("select case when N'ＡＢ' = N'ａｂ' then 1 else 0 end")).toInt(), 0);
    EXPECT_EQ(d->scalar(QStringLiteral("select case when 'Ab 中 ' = 'aB 中' then 1 else 0 end")).toInt(), 1);
}

// Nesting the runner and the translator would follow down the stack is refused.
TEST_F(SemanticsTest, DeepNestingIsRefusedWithTheServerText)
{
    const int n = 30000;
    const QString inputs[] = {
        QStringLiteral("select ") + QString(n, u'(') + u'1' + QString(n, u')'),
        QStringLiteral("if 1 = 1 ").repeated(n) + QStringLiteral("select 1"),
        QStringLiteral("begin ").repeated(n) + QStringLiteral("select 1") + QStringLiteral(" end").repeated(n),
        QStringLiteral("select ") + QStringLiteral("case when 1 = 1 then ").repeated(n) + u'1' + QStringLiteral(" end").repeated(n),
    };
    for (const QString &sql : inputs) {
        try {
            d->select(sql);
            ADD_FAILURE() << sql.left(40).toStdString() << "... ran";
        } catch (const DbError &e) {
            EXPECT_EQ(e.text(), db::tooDeeplyNestedText()) << sql.left(40).toStdString();
        }
    }
    // A batch nested well within the limit still runs.
    EXPECT_EQ(d->scalar(QStringLiteral("begin ").repeated(20) + QStringLiteral("select 7") + QStringLiteral(" end").repeated(20)).toInt(), 7);
}

// Thousands of generated and mutated statements: each runs or fails with a real
// message; none brings the layer down.
TEST_F(SemanticsTest, FuzzedStatementsNeverBringTheLayerDown)
{
    std::mt19937 rng(20061206u);
    auto pick = [&rng](int n) { return int(rng() % unsigned(n)); };
    QStringList seeds;
    for (const Meaning &m : kCorpus)
        seeds << QString::fromUtf8(m.tsql);
    seeds << QStringLiteral("select top 1 noteid, notecode from movebth order by noteid desc")
          << QStringLiteral("select A.LCODE from arealth A where (select count(*) from arealth B where B.LCODE like A.LCODE + '%') = 1")
          << QStringLiteral("if exists(select 1 from storelth where CODE = '01') begin select 1 end else begin select 2 end");
    const QStringList pieces = {
        QStringLiteral("("),     QStringLiteral(")"),        QStringLiteral("'"),      QStringLiteral("/*"),
        QStringLiteral("*/"),    QStringLiteral("--"),       QStringLiteral("["),      QStringLiteral("\""),
        QStringLiteral(" case "), QStringLiteral(" end "),   QStringLiteral(" begin "), QStringLiteral(" if "),
        QStringLiteral(" else "), QStringLiteral(" + "),     QStringLiteral(" / 0 "),  QStringLiteral(" @s "),
        QStringLiteral(" @@rowcount "), QStringLiteral(" N'中' "), QStringLiteral(" select "), QStringLiteral(","),
        QStringLiteral(" 1e999 "), QStringLiteral(" cast("), QStringLiteral(" as varchar(2))"), QStringLiteral(" top "),
        QStringLiteral(";"),     QStringLiteral(" declare @s int "), QStringLiteral(" = "), QStringLiteral(" null "),
    };
    const db::TsqlTranslator postgres(db::TsqlTranslator::Postgres);
    int ran = 0, refused = 0;
    for (int round = 0; round < 3000; ++round) {
        QString sql = seeds[pick(int(seeds.size()))];
        const int edits = 1 + pick(4);
        for (int e = 0; e < edits; ++e) {
            const int at = sql.isEmpty() ? 0 : pick(int(sql.size()) + 1);
            switch (pick(4)) {
            case 0: sql.insert(at, pieces[pick(int(pieces.size()))]); break;
            case 1: sql.remove(at, 1 + pick(8)); break;
            case 2: sql.insert(at, sql.mid(pick(int(sql.size()) + 1), 1 + pick(20))); break;
            default: {
                // Deep wrapping, now and then beyond the limit.
                const int depth = pick(10) == 0 ? 300 + pick(3000) : 1 + pick(5);
                const QString open = pieces[pick(12)];
                sql = open.repeated(depth) + sql;
            }
            }
        }
        // The second dialect shares the tokenizer and the limits: it translates or refuses.
        try {
            postgres.translateUncached(sql);
        } catch (const db::TranslateError &e) {
            ASSERT_FALSE(e.text().trimmed().isEmpty()) << sql.toStdString();
        }
        try {
            d->select(sql);
            ++ran;
        } catch (const DbError &e) {
            ++refused;
            ASSERT_FALSE(e.text().trimmed().isEmpty()) << sql.toStdString();
            ASSERT_FALSE(e.text().contains(QStringLiteral("not an error"))) << sql.toStdString();
        }
        if (d->inTransaction())
            d->rollbackTran();
    }
    // Both outcomes occur: the mutations are neither all harmless nor all broken.
    EXPECT_GT(ran, 100);
    EXPECT_GT(refused, 100);
}

} // namespace
