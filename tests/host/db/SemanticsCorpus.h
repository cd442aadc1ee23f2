#pragma once
// What statements mean on the original server: each statement of the corpus is
// written beside the value SQL Server returns for it (or its error text, marked
// "!"), to run on the demo company with the fixture rows below, on either engine.

namespace semantics {

// Where the layer on PostgreSQL still follows the server's own rules (the README
// lists them), or refuses in the server's English.
enum OnPostgres { Same, NotYet, OwnText };

struct Meaning {
    const char *tsql;
    const char *server; // the original server's result; "!text": its error starts with text
    OnPostgres onPostgres = Same;
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
    {"select count(*) from storelth where CODE in ('01 ', '02')", "2", NotYet},
    {"select count(distinct NAME) from departmentlth where DEPID in (901, 902)", "1", NotYet},
    {"select count(*) from (select NAME from departmentlth where DEPID in (901, 902) group by NAME) g", "1", NotYet},
    {"select top 1 NAME from departmentlth where DEPID in (903, 904) order by NAME", "a-x"},
    {"select count(*) from (select 'a' as x union select 'A') t", "1", NotYet},
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
    {"select [nosuchcol] from storelth", "!no such column: nosuchcol", OwnText},
    {"select count(*) from storelth where [NAMEX] = 'NAMEX'", "!no such column: NAMEX", OwnText},
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
    {"select cast('ab' as char(4)) + '|'", "ab  |", NotYet},
    {"select cast(123456 as varchar(3))", "*", NotYet},
    {"select cast('a' as char(9000))", "!为类型 'char' 指定的大小(9000)超过了任意数据类型所允许的最大值(8000)。", NotYet},
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
    {"select cast(123.4 as decimal(3,1))", "!将 numeric 转换为数据类型 numeric 时出现算术溢出错误。", OwnText},
    {"select len('ab  ')", "2"},
    {"select len(NAME) from departmentlth where DEPID = 902", "5"},
    {"select round(1250, -2)", "1300"},
    {"select round(-1250, -2)", "-1300"},
    {"select round(9223372036854775807, -1)", "!将 expression 转换为数据类型 bigint 时出现算术溢出错误。", NotYet},
    {"select round(2.675, 2)", "2.680"},
    {"select round(2.675, 2, 1)", "2.670"},
    {"select 7 / 2", "3"},
    {"select BALANCE / 7 from accountacth where ACCOUNTID = 3", "42857.142857"},
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
    {"select datediff(day, 'soon', '2005-02-01')", "!从字符串转换日期和/或时间时，转换失败。", OwnText},
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

} // namespace semantics
