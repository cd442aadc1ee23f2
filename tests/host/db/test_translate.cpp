// Tokenizer and T-SQL translation: the exact output of each rule and what is refused.
// What the translated statements compute on the real books is in test_semantics.cpp.

#include "TestSupport.h"

#include "db/TsqlTranslator.h"

#include <QRandomGenerator>
#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>

using db::Token;
using db::TsqlTranslator;

QT_BEGIN_NAMESPACE
// Readable failure messages.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

// ---------------------------------------------------------------------------------------
// Tokenizer

QString kinds(const QString &sql)
{
    static const char *names[] = {"W", "Q", "S", "N", "P", "V", "O", "_", "C"};
    QStringList out;
    for (const Token &t : db::tokenize(sql))
        out << QString::fromLatin1(names[t.kind]) + u':' + t.text;
    return out.join(u' ');
}

TEST(Tokenize, SplitsEveryKindOfTokenAndHidesTheContentOfCommentsStringsAndQuotedNames)
{
    EXPECT_EQ(kinds("select a.b,[x y],\"z\" from t"), "W:select _:  W:a O:. W:b O:, Q:[x y] O:, Q:\"z\" _:  W:from _:  W:t");
    EXPECT_EQ(kinds("x='it''s'+N'中文'"), "W:x O:= S:'it''s' O:+ S:N'中文'");
    EXPECT_EQ(kinds("12 3.5 .5 1e5 2E-3 0x1F"), "N:12 _:  N:3.5 _:  N:.5 _:  N:1e5 _:  N:2E-3 _:  N:0x1F");
    EXPECT_EQ(kinds("id=:noteID and @v=@@ROWCOUNT"), "W:id O:= P::noteID _:  W:and _:  V:@v O:= V:@@ROWCOUNT");
    EXPECT_EQ(kinds("a<>b<=c>=d!=e||f<g"), "W:a O:<> W:b O:<= W:c O:>= W:d O:!= W:e O:|| W:f O:< W:g");
    EXPECT_EQ(kinds("#tmp 货品 N"), "W:#tmp _:  W:货品 _:  W:N");
    // Comments, strings and quoted names hide their content. (Nested comments, glued numbers and
    // the refused unterminated forms are the translator's tests below; here what they cannot see.)
    EXPECT_EQ(kinds("a -- top 1 'x\nb"), "W:a _:  C:-- top 1 'x _:\n W:b");
    EXPECT_EQ(kinds("[a]]b] 'c--d' \"e\"\"f\""), "Q:[a]]b] _:  S:'c--d' _:  Q:\"e\"\"f\"");
    // Unterminated names run to the end rather than losing text.
    EXPECT_EQ(kinds("x [abc"), "W:x _:  Q:[abc");
}

TEST(Tokenize, JoinGivesBackTheExactText)
{
    // Line ends, odd numbers and characters outside the basic plane; the random text covers the rest.
    const QStringList samples = {
        "select top 1 * from t -- c\r\n where x = N'a''b' /* /* */ */ and [q]]] = \"w\"\"\"",
        "exec p :a, @b OUTPUT;\n\tselect 1.e5,.5e+,0x,@,@@,:,::x",
        "emoji 😀 and 𠀋 letters",
    };
    for (const QString &s : samples)
        EXPECT_EQ(db::joinTokens(db::tokenize(s)), s) << s.toStdString();

    // Random text over the characters that matter to the tokenizer.
    const QString alphabet = "ab N01.e+-*/[]\"'():@#,;<>=!|\n\t_中😀";
    QRandomGenerator rng(20240601);
    for (int round = 0; round < 3000; ++round) {
        QString s;
        const int len = int(rng.bounded(40));
        for (int i = 0; i < len; ++i) {
            const int at = int(rng.bounded(alphabet.size()));
            s += alphabet[at];
        }
        const QVector<Token> toks = db::tokenize(s);
        ASSERT_EQ(db::joinTokens(toks), s);
        for (const Token &t : toks)
            ASSERT_FALSE(t.text.isEmpty());
    }
}

// ---------------------------------------------------------------------------------------
// Exact output of the individual rules

// Column types the rules below see: t(a, b, code text; n integer; x numeric; d date).
const db::SchemaTypes *ruleSchema()
{
    static const db::SchemaTypes schema = {
        {"t", {{"a", db::SqlType::Text}, {"b", db::SqlType::Text}, {"code", db::SqlType::Text}, {"n", db::SqlType::Int},
               {"x", db::SqlType::Num}, {"d", db::SqlType::Date}}},
        {"u", {{"a", db::SqlType::Int}, {"c", db::SqlType::Text}}},
    };
    return &schema;
}

TsqlTranslator typedTranslator(TsqlTranslator::Dialect dialect = TsqlTranslator::Sqlite)
{
    TsqlTranslator tr(dialect);
    tr.setSchemaSource(ruleSchema);
    return tr;
}

TEST(TranslateSqlite, Rules)
{
    TsqlTranslator tr = typedTranslator();
    const std::pair<const char *, const char *> cases[] = {
        // Nothing changes inside strings, comments and quoted names.
        {"select 'select top 1 isnull(x) + dbo.f len(' as [top 1 + 'a'], x -- isnull( dbo.g top 5\n"
         "/* getdate() + 'x' */ from t where a = 'it''s' + b",
         "select 'select top 1 isnull(x) + dbo.f len(' COLLATE TSQL as \"top 1 + 'a'\", x -- isnull( dbo.g top 5\n"
         "/* getdate() + 'x' */ from t where a = 'it''s' COLLATE TSQL || b"},
        // What the semantics table cannot show: parameters, passed-through forms, quoting.
        {"select top (:n+1) a from t", "select a from t LIMIT (:n+1)"},
        {"select top 10 percent a from t", "select top 10 percent a from t"},
        // isnull / is null; the replacement takes the first argument's type
        {"select isnull (a, 0) from t where b is null and c isnull", "select ifnull (a, cast(0 as text)) from t where b is null and c isnull"},
        {"select ISNULL(n, ''), isnull(x, '1.5'), isnull(a, 'b') from t",
         "select ifnull(n, tsql_int('' COLLATE TSQL)), ifnull(x, tsql_num('1.5' COLLATE TSQL)), ifnull(a, 'b' COLLATE TSQL) from t"},
        // dbo prefixes
        {"select dbo.sevengetnotecode(m.refernotetype, m.refernoteid) as RefernoteCode from [dbo].t m",
         "select sevengetnotecode(m.refernotetype, m.refernoteid) as RefernoteCode from t m"},
        {"select a.dbo from dbo", "select a.dbo from dbo"},
        {"select :__vt_s + :__vt_t, :__vi_k + '1' from t", "select :__vt_s || :__vt_t, :__vi_k + tsql_int('1' COLLATE TSQL) from t"},
        {"select cast(a as int), cast(a as bigint), cast(a as varchar), cast(a as varchar(max)), cast(a as float), cast(n as bit) from t",
         "select tsql_int(a), tsql_int(a,64), tsql_varchar(a,30), cast(a as text), cast(tsql_num(a) as real), (tsql_num(n)<>0) from t"},
        {"select convert(varchar(10), d, 999) from t", "select convert(varchar(10), d, 999) from t"},
        // quoting and literals; stored values and aliases need no collation
        {"select [Name], [a]]b], [say \"x\"] from [Order Lines] where c = N'中'",
         "select \"Name\", \"a]b\", \"say \"\"x\"\"\" from \"Order Lines\" where c = '中' COLLATE TSQL"},
        {"insert into t (a, b) values ('x', N'y')", "insert into t (a, b) values ('x', 'y')"},
        {"create table z (a varchar(2) default 'x')", "create table z (a varchar(2) default 'x')"},
        {"select a from t where a != 1 and b <> 2 and c = :param", "select a from t where tsql_int(a) != 1 and tsql_int(b) <> 2 and c = :param"},
        {"select /* a /* b */ c */ 1", "select /* a / * b * / c */ 1"},
        {"where id=3and x=4.5or y=1e3and z", "where id=3 and x=4.5 or y=1e3 and z"},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(tr.translateUncached(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
}

// What cannot be translated faithfully is refused with a text that says why; deep and long input is not.
TEST(TranslateSqlite, RefusalsAndDeepAndLongInputs)
{
    TsqlTranslator tr = typedTranslator();
    const std::pair<const char *, const char *> cases[] = {
        {"select a + q from t", "无法确定 q 的类型，不能判断 a + q 中的 + 是字符串连接还是加法；请用 cast 或 convert 写明类型。"},
        {"select zz + 'x' from t", "无法确定 zz 的类型"},
        {"select a - b from t", "操作数数据类型 varchar 对于 subtract 运算符无效。"},
        {"select d + 1 from t", "不支持日期值的 + 运算: d + 1"},
        {"select 1 /* /* */", "缺少注释结束标记 '*/'。"},
        {"select 'abc", "字符串 'abc' 后的引号不完整。"},
        {"select @s", "必须声明标量变量 \"@s\"。"},
        {"select @@version", "不支持全局变量 @@version。"},
    };
    for (const auto &[in, says] : cases) {
        const QString error = testsupport::errorOf([&] { tr.translate(QString::fromUtf8(in)); });
        EXPECT_TRUE(error.startsWith(QString::fromUtf8(says))) << in << ": " << error.toStdString();
    }
    // A refused statement is not cached: the next call refuses again.
    EXPECT_EQ(tr.cacheSize(), 0);

    // Nesting up to the limit translates, and translation stays linear in the length of the statement.
    // Beyond the limit is refused: see the semantics tests, which go through the whole layer.
    const int ok = db::MaxNesting / 2;
    EXPECT_EQ(tr.translateUncached("select " + QString(ok, u'(') + u'1' + QString(ok, u')')),
              "select " + QString(ok, u'(') + u'1' + QString(ok, u')'));
    // 20,000 case expressions side by side and a chain of 20,000 terms.
    const QString wide = "select " + QString("case when n = 1 then a else b end + ").repeated(20000) + "'x' from t";
    EXPECT_EQ(tr.translateUncached(wide).count("||"), 20000);
}

TEST(TranslatePostgres, Rules)
{
    TsqlTranslator tr = typedTranslator(TsqlTranslator::Postgres);
    const std::pair<const char *, const char *> cases[] = {
        {"select top 1 noteid, notecode, notedate from closeposth order by noteid desc",
         "select noteid, notecode, notedate from closeposth order by noteid desc LIMIT 1"},
        {"select a from t where b = (select top (2) c from u)", "select a from t where b = (select c from u LIMIT 2)"},
        {"Select * From Commoditylth Where isnull(Buildingid,0)<>0", "Select * From Commoditylth Where coalesce(Buildingid,0)<>0"},
        {"select gdtypesid from Commoditylthtype where len(lcode)=2", "select gdtypesid from Commoditylthtype where length(rtrim(lcode))=2"},
        {"select Max(dbo.funcdefCodeToSerialNo(noteCode,4)) as SerialNo From salesth Where Dbo.funcdefDateComp('yyyymm',noteDate,'03/05/2005')>0",
         "select Max(funcdefCodeToSerialNo(noteCode,4)) as SerialNo From salesth Where funcdefDateComp('yyyymm',noteDate,'03/05/2005')>0"},
        {"select Round(p.Price*(1+p.TaxRate/100.0),8) price, round(amount,2)-round(fillamt,2) UnfillAmt from t",
         "select round((p.Price*(1+p.TaxRate/100.0))::numeric, 8) price, round((amount)::numeric, 2)-round((fillamt)::numeric, 2) UnfillAmt from t"},
        {"select getdate(), charindex('-', code) from t", "select localtimestamp(0), strpos(lower(code),lower('-')) from t"},
        {"select count(*) from t B, u where B.a  like u.c + '%'",
         "select count(*) from t B, u where B.a  ilike u.c || '%'"},
        {"select 0 as dataid, cast('<全部>' as varchar(64)) as dataname  union  select DEPID, cast(name as nvarchar(64)) from departmentlth",
         "select 0 as dataid, cast('<全部>' as varchar(64)) as dataname  union  select DEPID, cast(name as varchar(64)) from departmentlth"},
        {"select cast(a as datetime), cast(b as money), cast(c as float), cast(d as tinyint), cast(e as int)",
         "select cast(a as timestamp), cast(b as numeric(19,4)), cast(c as double precision), cast(d as smallint), tsql_int(e)"},
        {"select convert(varchar(10), d, 120), convert(varchar(8), d, 112)",
         "select substr(cast(d as text),1,10), to_char(cast(d as timestamp),'YYYYMMDD')"},
        {"select [Name], N'x' from t where id=12and k = 1", "select \"name\", 'x' from t where id=12 and k = 1"},
        {"select 'select top 1 isnull(' + a from t", "select 'select top 1 isnull(' || a from t"},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(tr.translateUncached(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
}

// ---------------------------------------------------------------------------------------
// Cache

TEST(TranslateCache, RepeatedStatementsComeFromTheCacheUntilItIsFull)
{
    TsqlTranslator tr;
    const QString a = "select top 1 noteid from closeposth order by noteid desc";
    EXPECT_EQ(tr.translate(a), tr.translateUncached(a));
    EXPECT_EQ(tr.translate(a), tr.translateUncached(a));
    EXPECT_EQ(tr.cacheSize(), 1);
    // The key is the exact text.
    tr.translate(a + u' ');
    EXPECT_EQ(tr.cacheSize(), 2);
    tr.clearCache();
    EXPECT_EQ(tr.cacheSize(), 0);

    // Each dialect has its own cache.
    const QString b = "select isnull(a,0) from t";
    EXPECT_EQ(tr.translate(b), "select ifnull(a,0) from t");
    EXPECT_EQ(TsqlTranslator(TsqlTranslator::Postgres).translate(b), "select coalesce(a,0) from t");

    tr.clearCache();
    for (int i = 0; i < TsqlTranslator::MaxCacheEntries; ++i)
        tr.translate("select a from t where id=" + QString::number(i));
    EXPECT_EQ(tr.cacheSize(), TsqlTranslator::MaxCacheEntries);
    EXPECT_EQ(tr.translate("select top 1 a from t"), "select a from t LIMIT 1");
    EXPECT_EQ(tr.cacheSize(), 1);
}

} // namespace
