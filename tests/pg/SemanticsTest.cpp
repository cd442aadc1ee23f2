// The corpus of what statements meant on the original server, run on the demo
// company copied to the server: every statement gives what it gives on SQLite,
// or fails where the original server fails (with the server's own text), except
// the differences listed below, which the README names as not done yet.

#include "PgFixture.h"

#include "../host/db/SemanticsCorpus.h"
#include "notedb.h"

#include <QSet>

using db::Database;
using db::DbError;

namespace {

// Trailing blanks, text literals meeting in a union or a search, and
// the char/varchar conversions of numbers still follow the server's own rules.
const QSet<QString> kNotYetAlike = {
    QStringLiteral("select count(*) from (select 'a' as x union select 'A') t"),
    QStringLiteral("select charindex('DESK', 'my desk')"),
    QStringLiteral("select count(*) from storelth where CODE in ('01 ', '02')"),
    QStringLiteral("select count(distinct NAME) from departmentlth where DEPID in (901, 902)"),
    QStringLiteral("select count(*) from (select NAME from departmentlth where DEPID in (901, 902) group by NAME) g"),
    QStringLiteral("select cast('ab' as char(4)) + '|'"),
    QStringLiteral("select cast(123456 as varchar(3))"),
    QStringLiteral("select cast('a' as char(9000))"),
    QStringLiteral("select round(9223372036854775807, -1)"),
};

QString outcome(Database &d, const QString &tsql, bool &failed)
{
    failed = false;
    try {
        return pgtest::canonical(d.scalar(tsql));
    } catch (const DbError &e) {
        failed = true;
        return e.text();
    }
}

class Semantics : public pgtest::DemoOnBoth {};

TEST_F(Semantics, TheCorpusGivesOnTheServerWhatItGivesOnSqlite)
{
    Database *lite = m_lite.get(), *pg = m_pg.get();
    for (Database *d : {lite, pg})
        d->exec(QString::fromUtf8(semantics::kFixture));
    int compared = 0;
    for (const semantics::Meaning &m : semantics::kCorpus) {
        const QString tsql = QString::fromUtf8(m.tsql);
        if (kNotYetAlike.contains(tsql))
            continue;
        ++compared;
        bool liteFailed = false, pgFailed = false;
        const QString a = outcome(*lite, tsql, liteFailed);
        const QString b = outcome(*pg, tsql, pgFailed);
        if (m.server[0] == '!') {
            EXPECT_TRUE(pgFailed) << m.tsql << " ran on the server and gave " << b.toStdString();
        } else {
            EXPECT_FALSE(pgFailed) << m.tsql << " failed on the server: " << b.toStdString();
            EXPECT_EQ(a.toStdString(), b.toStdString()) << m.tsql;
        }
        EXPECT_FALSE(pg->inTransaction()) << m.tsql;
    }
    EXPECT_GT(compared, 80);
}

} // namespace
