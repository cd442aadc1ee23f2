// notectl driven from the outside, as an administrator uses it.

#include "TestSupport.h"

#include <QProcess>
#include <QDir>
#include <QDate>
#include <QFileInfo>

#include <gtest/gtest.h>

using testsupport::runProgram;

namespace {

class NotectlTest : public ::testing::Test {
protected:
    testsupport::RunResult ctl(const QStringList &args, const QByteArray &input = {})
    {
        return runProgram(QStringLiteral("notectl"), args, input);
    }
    testsupport::TempFolder folder;
};

TEST_F(NotectlTest, InitRefusesToOverwriteUnlessForced)
{
    const QString books = folder.file(QStringLiteral("a.db"));
    auto r = ctl({QStringLiteral("init"), books});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(books));

    // Mark the books so we can tell whether they were replaced.
    r = ctl({QStringLiteral("sql"), books, QStringLiteral("insert into sys_keytable values ('marker', 7)")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    r = ctl({QStringLiteral("init"), books, QStringLiteral("--demo")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(books)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("--force"))) << r.err.toStdString();
    r = ctl({QStringLiteral("sql"), books, QStringLiteral("select KEYVALUE from sys_keytable where TABLENAME='marker'")});
    EXPECT_EQ(r.out, QStringLiteral("KEYVALUE\n7\n"));

    r = ctl({QStringLiteral("init"), books, QStringLiteral("--demo"), QStringLiteral("--force")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = ctl({QStringLiteral("sql"), books, QStringLiteral("select count(*) as N from sys_keytable where TABLENAME='marker'")});
    EXPECT_EQ(r.out, QStringLiteral("N\n0\n"));
    r = ctl({QStringLiteral("sql"), books, QStringLiteral("select count(*) as N from storelth")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_GE(r.out.split(u'\n')[1].toInt(), 3);

    EXPECT_EQ(ctl({QStringLiteral("init")}).exitCode, 2);
    EXPECT_EQ(ctl({QStringLiteral("frobnicate"), books}).exitCode, 2);
}

TEST_F(NotectlTest, SqlPrintsTabSeparatedRowsWithNullAndFailsWithTheDatabaseText)
{
    const QString books = folder.file(QStringLiteral("b.db"));
    ASSERT_EQ(ctl({QStringLiteral("init"), books}).exitCode, 0);
    auto r = ctl({QStringLiteral("sql"), books,
                  QStringLiteral("select top 2 X, Y, NAME from (select 1 as X, null as Y, '货品' + 'A' as NAME "
                                 "union all select 2, 2.5, 'B' union all select 3, 0, 'C') order by X")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("X\tY\tNAME\n1\tNULL\t货品A\n2\t2.5\tB\n"));

    // A write prints nothing; a batch from standard input runs whole.
    r = ctl({QStringLiteral("sql"), books, QStringLiteral("-")},
            QByteArray("insert into sys_keytable values ('t1', 5)\n"
                       "if exists(select 1 from sys_keytable where TABLENAME='t1') "
                       "begin update sys_keytable set KEYVALUE = KEYVALUE * 2 where TABLENAME='t1' end\n"
                       "declare @k int set @k = 3 select KEYVALUE + @k as K from sys_keytable where TABLENAME='t1'"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("K\n13\n"));

    // Failures exit with the database's text.
    r = ctl({QStringLiteral("sql"), books, QStringLiteral("select * from nosuchtable")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no such table: nosuchtable"))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());

    // Books that are not there are named, never created. (What opening tells
    // of other files that are no books, and a failing batch rolled back: the
    // books' and the layer's own tests.)
    const QString missing = folder.file(QStringLiteral("missing.db"));
    r = ctl({QStringLiteral("sql"), missing, QStringLiteral("select 1")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(missing)) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(missing));

    EXPECT_EQ(ctl({QStringLiteral("sql"), books}).exitCode, 2);
}

// Two clerks audit receipts of the same commodity into the same store at the
// same time, each note in its own transaction: every audit is posted once, the
// on-hand quantity and amount are the sums, and the stock after each flow row
// follows the rows in order.
TEST_F(NotectlTest, TwoClerksAuditReceiptsIntoOneStoreAtOnce)
{
    const QString books = folder.file(QStringLiteral("b.db"));
    ASSERT_EQ(ctl({QStringLiteral("init"), books, QStringLiteral("--demo")}).exitCode, 0);
    const QString goods = QStringLiteral("(select COMMODITYID from Commoditylth where CODE = 'BG0003')");
    const QString before = ctl({QStringLiteral("sql"), books,
                                QStringLiteral("select QUANTITY from onhandaath where BUILDINGID = 1 and COMMODITYID = ") + goods})
                               .out.section(u'\n', 1, 1);
    const double owedBefore =
        ctl({QStringLiteral("sql"), books, QStringLiteral("select SCAMT from partnerlth where PARTNERID = 1")})
            .out.section(u'\n', 1, 1)
            .toDouble();
    constexpr int Notes = 40;
    QByteArray make;
    for (int i = 1; i <= Notes; ++i)
        make += QStringLiteral("insert into purchasepth (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, PARTNERID, "
                               "AMOUNT, PAYAMT, UPFLAG) values (%1, 1, 0, 'T-%1', '%2', 1, %3, 0, 0)\n"
                               "insert into purchasepthDetail (NOTEID, ITEMSNO, BUILDINGID, COMMODITYID, QUANTITY, PRICE, "
                               "AMOUNT) values (%1, 1, 1, %4, %5, 2, %3)\n")
                    .arg(9000 + i)
                    .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")))
                    .arg(2 * i)
                    .arg(goods)
                    .arg(i)
                    .toUtf8();
    ASSERT_EQ(ctl({QStringLiteral("sql"), books, QStringLiteral("-")}, make).exitCode, 0);

    QByteArray odd, even;
    for (int i = 1; i <= Notes; ++i)
        (i % 2 ? odd : even) += QStringLiteral("update purchasepth set NOTESTATE = 1, CHKORID = 1 where NOTEID = %1\n")
                                    .arg(9000 + i)
                                    .toUtf8();
    QProcess a, b;
    for (auto [p, text] : {std::pair{&a, &odd}, std::pair{&b, &even}}) {
        p->start(QDir(testsupport::binDir()).filePath(QStringLiteral("notectl")),
                 {QStringLiteral("sql"), books, QStringLiteral("-")});
        ASSERT_TRUE(p->waitForStarted());
        p->write(*text);
        p->closeWriteChannel();
    }
    for (QProcess *p : {&a, &b}) {
        ASSERT_TRUE(p->waitForFinished(60000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }

    const auto value = [&](const QString &sql) {
        return ctl({QStringLiteral("sql"), books, sql}).out.section(u'\n', 1, 1);
    };
    EXPECT_EQ(value(QStringLiteral("select count(*) from noteflowaath where NOTETYPE = 4 and NOTEID > 9000")),
              QString::number(Notes));
    EXPECT_EQ(value(QStringLiteral("select QUANTITY - ") + before + QStringLiteral(" from onhandaath where BUILDINGID = 1 and "
                                                                                    "COMMODITYID = ") + goods),
              QString::number(Notes * (Notes + 1) / 2));
    // Every row's stock is the previous row's plus its own quantity.
    EXPECT_EQ(value(QStringLiteral("select count(*) from noteflowaath f where f.BUILDINGID = 1 and f.COMMODITYID = ") + goods
                    + QStringLiteral(" and f.ID > (select min(ID) from noteflowaath where BUILDINGID = 1 and COMMODITYID = ")
                    + goods + QStringLiteral(") and abs(f.EQTY - f.QUANTITY * f.IOFLAG - (select p.EQTY from noteflowaath p "
                                             "where p.BUILDINGID = 1 and p.COMMODITYID = f.COMMODITYID and p.ID < f.ID "
                                             "order by p.ID desc limit 1)) > 0.000001")),
              QStringLiteral("0"));
    EXPECT_DOUBLE_EQ(value(QStringLiteral("select SCAMT from partnerlth where PARTNERID = 1")).toDouble() - owedBefore,
                     double(Notes * (Notes + 1)));
}

} // namespace
