// notectl driven from the outside, as an administrator uses it.

#include "TestSupport.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

class NotectlTest : public ::testing::Test {
protected:
    testsupport::RunResult ctl(const QStringList &args, const QByteArray &input = {})
    {
        return testsupport::runProgram("notectl", args, input);
    }
    // The first value `sql` prints.
    QString value(const QString &sql) { return ctl({"sql", books, sql}).out.section(u'\n', 1, 1); }

    testsupport::TempFolder folder;
    const QString books = folder.file("a.db");
};

TEST_F(NotectlTest, InitRefusesToOverwriteUnlessForcedAndSqlPrintsRowsOrTheDatabaseText)
{
    auto r = ctl({"init", books});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(books));

    // Mark the books so we can tell whether they were replaced.
    ASSERT_EQ(ctl({"sql", books, "insert into sys_keytable values ('marker', 7)"}).exitCode, 0);
    r = ctl({"init", books, "--demo"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(books) && r.err.contains("--force")) << r.err.toStdString();
    EXPECT_EQ(ctl({"sql", books, "select KEYVALUE from sys_keytable where TABLENAME='marker'"}).out, "KEYVALUE\n7\n");

    r = ctl({"init", books, "--demo", "--force"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(ctl({"sql", books, "select count(*) as N from sys_keytable where TABLENAME='marker'"}).out, "N\n0\n");
    EXPECT_GE(value("select count(*) as N from storelth").toInt(), 3);
    EXPECT_EQ(ctl({"init"}).exitCode, 2);
    EXPECT_EQ(ctl({"frobnicate", books}).exitCode, 2);

    // Tab-separated rows with NULL.
    r = ctl({"sql", books,
             "select top 2 X, Y, NAME from (select 1 as X, null as Y, '货品' + 'A' as NAME "
             "union all select 2, 2.5, 'B' union all select 3, 0, 'C') order by X"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "X\tY\tNAME\n1\tNULL\t货品A\n2\t2.5\tB\n");

    // A write prints nothing; a batch from standard input runs whole.
    r = ctl({"sql", books, "-"},
            QByteArray("insert into sys_keytable values ('t1', 5)\n"
                       "if exists(select 1 from sys_keytable where TABLENAME='t1') "
                       "begin update sys_keytable set KEYVALUE = KEYVALUE * 2 where TABLENAME='t1' end\n"
                       "declare @k int set @k = 3 select KEYVALUE + @k as K from sys_keytable where TABLENAME='t1'"));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "K\n13\n");

    // Failures exit with the database's text.
    r = ctl({"sql", books, "select * from nosuchtable"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("no such table: nosuchtable")) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());

    // Books that are not there are named, never created. (What opening tells
    // of other files that are no books, and a failing batch rolled back: the
    // books' and the layer's own tests.)
    const QString missing = folder.file("missing.db");
    r = ctl({"sql", missing, "select 1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(missing)) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_EQ(ctl({"sql", books}).exitCode, 2);
}

// Two clerks audit receipts of the same commodity into the same store at the
// same time, each note in its own transaction: every audit is posted once, the
// on-hand quantity and amount are the sums, and the stock after each flow row
// follows the rows in order.
TEST_F(NotectlTest, TwoClerksAuditReceiptsIntoOneStoreAtOnce)
{
    ASSERT_EQ(ctl({"init", books, "--demo"}).exitCode, 0);
    const QString goods = "(select COMMODITYID from Commoditylth where CODE = 'BG0003')";
    const QString before = value("select QUANTITY from onhandaath where BUILDINGID = 1 and COMMODITYID = " + goods);
    const double owedBefore = value("select SCAMT from partnerlth where PARTNERID = 1").toDouble();
    constexpr int Notes = 40;
    QByteArray make, odd, even;
    for (int i = 1; i <= Notes; ++i) {
        make += QString("insert into purchasepth (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, PARTNERID, AMOUNT, PAYAMT, "
                        "UPFLAG) values (%1, 1, 0, 'T-%1', '%2', 1, %3, 0, 0)\ninsert into purchasepthDetail (NOTEID, ITEMSNO, "
                        "BUILDINGID, COMMODITYID, QUANTITY, PRICE, AMOUNT) values (%1, 1, 1, %4, %5, 2, %3)\n")
                    .arg(9000 + i).arg(QDate::currentDate().toString("yyyy-MM-dd")).arg(2 * i).arg(goods).arg(i).toUtf8();
        (i % 2 ? odd : even) += QString("update purchasepth set NOTESTATE = 1, CHKORID = 1 where NOTEID = %1\n").arg(9000 + i).toUtf8();
    }
    ASSERT_EQ(ctl({"sql", books, "-"}, make).exitCode, 0);

    QProcess a, b;
    for (auto [p, text] : {std::pair{&a, &odd}, std::pair{&b, &even}}) {
        p->start(QDir(testsupport::binDir()).filePath("notectl"), {"sql", books, "-"});
        ASSERT_TRUE(p->waitForStarted());
        p->write(*text);
        p->closeWriteChannel();
    }
    for (QProcess *p : {&a, &b}) {
        ASSERT_TRUE(p->waitForFinished(60000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }

    EXPECT_EQ(value("select count(*) from noteflowaath where NOTETYPE = 4 and NOTEID > 9000"), QString::number(Notes));
    EXPECT_EQ(value("select QUANTITY - " + before + " from onhandaath where BUILDINGID = 1 and COMMODITYID = " + goods),
              QString::number(Notes * (Notes + 1) / 2));
    // Every row's stock is the previous row's plus its own quantity.
    EXPECT_EQ(value("select count(*) from noteflowaath f where f.BUILDINGID = 1 and f.COMMODITYID = " + goods
                    + " and f.ID > (select min(ID) from noteflowaath where BUILDINGID = 1 and COMMODITYID = " + goods
                    + ") and abs(f.EQTY - f.QUANTITY * f.IOFLAG - (select p.EQTY from noteflowaath p where p.BUILDINGID = 1 "
                      "and p.COMMODITYID = f.COMMODITYID and p.ID < f.ID order by p.ID desc limit 1)) > 0.000001"),
              "0");
    EXPECT_DOUBLE_EQ(value("select SCAMT from partnerlth where PARTNERID = 1").toDouble() - owedBefore, double(Notes * (Notes + 1)));
}

} // namespace
