// What a statement means on the original server, checked on the real books: each
// statement of the corpus is written beside the value SQL Server returns for it (or
// its error text, marked "!"), and run through the real layer on the demo company.

#include "TestSupport.h"

#include "db/Database.h"
#include "db/TsqlTranslator.h"

#include "SemanticsCorpus.h"

#include <gtest/gtest.h>

#include <QSqlQuery>

#include <cmath>
#include <random>

using db::Database;
using db::DbError;
using semantics::kCorpus;
using semantics::kFixture;
using semantics::Meaning;

namespace {

QString shown(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return "NULL";
    if (v.typeId() == QMetaType::QDateTime) // a server's timestamp, shown as SQLite's text is
        return v.toDateTime().toString("yyyy-MM-dd HH:mm:ss");
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
        d = testsupport::freshBooks(folder.file("books.db"), true);
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
        if (d->isPostgres() && m.onPostgres == semantics::NotYet)
            continue;
        try {
            const QVariant got = d->scalar(tsql);
            EXPECT_TRUE(!server.startsWith(u'!') && sameValue(server, got)) << m.tsql << " gave " << shown(got).toStdString();
        } catch (const DbError &e) {
            const bool ownText = d->isPostgres() && m.onPostgres == semantics::OwnText;
            EXPECT_TRUE(server.startsWith(u'!') && (ownText || e.text().startsWith(server.mid(1))))
                << m.tsql << " failed: " << e.text().toStdString();
        }
        // A failed batch may leave nothing open behind it.
        EXPECT_FALSE(d->inTransaction()) << m.tsql;
    }
    // Columns are named as the schema and the statement's aliases spell them,
    // also by a server that folds unquoted names to lower case.
    EXPECT_EQ(d->select("select c.*, NAME as ColourName from Color c").columns,
              (QStringList{"ColorID", "CODE", "NAME", "ColorValue", "FontColor", "ColourName"}));
}

// Lookups by code still use the unique index: the collation is the column's own
// (case, trailing blanks and aliases included).
TEST_F(SemanticsTest, CodeLookupsUseTheIndexAndChineseTextOrdersByCodePoint)
{
    // On a server the few demo rows would be read whole: the plan is asked with scans priced out.
    if (d->isPostgres())
        QSqlQuery("set enable_seqscan = off", d->connection());
    for (const char *lookup :
         {"select NAME from Commoditylth where CODE = 'bc0001'", "select NAME from Commoditylth where CODE = 'BC0001  '",
          "select c.NAME from Commoditylth c where c.CODE = N'bc0001'"}) {
        const QString sql = QString::fromUtf8(lookup);
        const QString plan = testsupport::rowsText(d->select((d->isPostgres() ? "explain " : "explain query plan ") + sql));
        EXPECT_TRUE(plan.contains("ix_commoditylth_code")) << lookup << "\n" << plan.toStdString();
    }
    // A code differing only in case is the same code for the unique index too.
    EXPECT_THROW(d->exec("update Commoditylth set CODE = 'bc0002' where CODE = 'BC0001'"), DbError);

    // Where the layer departs from the original server, as the README says: Chinese text
    // orders by code point (北 U+5317 before 安 U+5B89; pinyin would put 安 first), and
    // ASCII letters fold while full-width ones do not.
    d->exec("insert into departmentlth (DEPID, CODE, NAME) values (911, 'D911', '安'), (912, 'D912', '北')");
    EXPECT_EQ(testsupport::rowsText(*d, "select NAME from departmentlth where DEPID in (911, 912) order by NAME"), "北,安");
    EXPECT_EQ(d->scalar("select case when N'ＡＢ' = N'ａｂ' then 1 else 0 end").toInt(), 0);
    EXPECT_EQ(d->scalar("select case when 'Ab 中 ' = 'aB 中' then 1 else 0 end").toInt(), 1);
}

// Nesting the runner and the translator would follow down the stack is refused.
TEST_F(SemanticsTest, DeepNestingIsRefusedWithTheServerText)
{
    const int n = 30000;
    const QString inputs[] = {
        "select " + QString(n, u'(') + u'1' + QString(n, u')'),
        QString("if 1 = 1 ").repeated(n) + "select 1",
        QString("begin ").repeated(n) + "select 1" + QString(" end").repeated(n),
        "select " + QString("case when 1 = 1 then ").repeated(n) + u'1' + QString(" end").repeated(n),
    };
    for (const QString &sql : inputs)
        EXPECT_EQ(testsupport::errorOf([&] { d->select(sql); }), db::tooDeeplyNestedText()) << sql.left(40).toStdString();
    // A batch nested well within the limit still runs.
    EXPECT_EQ(d->scalar(QString("begin ").repeated(20) + "select 7" + QString(" end").repeated(20)).toInt(), 7);
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
    seeds << "select top 1 noteid, notecode from movebth order by noteid desc"
          << "select A.LCODE from arealth A where (select count(*) from arealth B where B.LCODE like A.LCODE + '%') = 1"
          << "if exists(select 1 from storelth where CODE = '01') begin select 1 end else begin select 2 end";
    // Pieces separated by '|'; the first twelve also open deep wrappings.
    const QStringList pieces = QStringLiteral("(|)|'|/*|*/|--|[|\"| case | end | begin | if "
                                              "| else | + | / 0 | @s | @@rowcount | N'中' | select |,| 1e999 "
                                              "| cast(| as varchar(2))| top |;| declare @s int | = | null ")
                                   .split(u'|');
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
            ASSERT_FALSE(e.text().contains("not an error")) << sql.toStdString();
        }
        if (d->inTransaction())
            d->rollbackTran();
    }
    // Both outcomes occur: the mutations are neither all harmless nor all broken.
    EXPECT_GT(ran, 100);
    EXPECT_GT(refused, 100);
}

} // namespace
