// notectl driven from the outside for what finding and printing need of the
// books: new books hold every kind's standard print template with its system
// copy and the company's parameters, and grown books hold many more notes of a type to measure lists on.

#include "TestSupport.h"

#include <gtest/gtest.h>

using testsupport::runProgram;

namespace {

class BooksToolTest : public ::testing::Test {
protected:
    testsupport::RunResult ctl(const QStringList &args) { return runProgram(QStringLiteral("notectl"), args); }
    // The single value a query prints under its header.
    QString value(const QString &books, const QString &sql)
    {
        const testsupport::RunResult r = ctl({QStringLiteral("sql"), books, sql});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return r.out.split(u'\n').value(1);
    }
    testsupport::TempFolder folder;
};

TEST_F(BooksToolTest, NewBooksHoldEveryKindsStandardTemplateAndTheCompanysParameters)
{
    const QString books = folder.file(QStringLiteral("plain.db"));
    const testsupport::RunResult r = ctl({QStringLiteral("init"), books});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const int kinds = value(books, QStringLiteral("select count(*) from printtemplatelth where PRINTTEMPLATEID>0")).toInt();
    EXPECT_GT(kinds, 20);
    // Each its type's standard, with its copy under the negative id.
    EXPECT_EQ(value(books, QStringLiteral("select count(*) from printtemplatelth a join printtemplatelth c on "
                                          "c.PRINTTEMPLATEID=-a.PRINTTEMPLATEID and c.DATA=a.DATA "
                                          "where a.PRINTTEMPLATEID=a.TYPESID and a.TYPESID between 6001 and 6099"))
                  .toInt(),
              kinds);
    // The company's parameters the printed notes show, there to be filled in.
    EXPECT_EQ(value(books, QStringLiteral("select count(*) from sysparamamth where DATAVALUE = '' and PARAMNAME in "
                                          "('CompanyName', 'TaxNo', 'Address', 'Tel', 'Bank', 'BankNo')"))
                  .toInt(),
              6);
}

TEST_F(BooksToolTest, GrowingAddsUnauditedNotesOfATypeAndRefusesWhatItCannotCopy)
{
    const QString books = folder.file(QStringLiteral("demo.db"));
    ASSERT_EQ(ctl({QStringLiteral("init"), books, QStringLiteral("--demo")}).exitCode, 0);
    const int orders = value(books, QStringLiteral("select count(*) from orderpth")).toInt();
    const int receipts = value(books, QStringLiteral("select count(*) from purchasepth")).toInt();
    const QString stock = QStringLiteral("select count(*) from sys_postqueue");

    testsupport::RunResult r = ctl({QStringLiteral("grow"), books, QStringLiteral("--notes"), QStringLiteral("300")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = ctl({QStringLiteral("grow"), books, QStringLiteral("--notes"), QStringLiteral("40"), QStringLiteral("--type"),
             QStringLiteral("4")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(value(books, QStringLiteral("select count(*) from orderpth")).toInt(), orders + 300);
    EXPECT_EQ(value(books, QStringLiteral("select count(*) from purchasepth")).toInt(), receipts + 40);
    // New keys and numbers, unaudited, spread over the partners; nothing posted.
    EXPECT_EQ(value(books, QStringLiteral("select count(distinct NOTECODE) from orderpth")).toInt(), orders + 300);
    EXPECT_EQ(value(books, QStringLiteral("select count(*) from orderpth where NOTECODE like 'G2-%' and NOTESTATE=0 "
                                          "and CHKORID is null")).toInt(),
              300);
    EXPECT_GT(value(books, QStringLiteral("select count(distinct PARTNERID) from orderpth where NOTECODE like 'G2-%'")).toInt(), 2);
    EXPECT_EQ(value(books, stock).toInt(), 0);
    // A note saved afterwards takes a key above them.
    EXPECT_GE(value(books, QStringLiteral("select KEYVALUE from sys_keytable where TABLENAME='orderpth'")).toLongLong(),
              value(books, QStringLiteral("select max(NOTEID) from orderpth")).toLongLong());

    // A type it cannot grow, books without a note to copy, a bad count: refused, nothing added.
    r = ctl({QStringLiteral("grow"), books, QStringLiteral("--notes"), QStringLiteral("5"), QStringLiteral("--type"),
             QStringLiteral("99")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("不能增加此类单据: 99"))) << r.err.toStdString();
    const QString plain = folder.file(QStringLiteral("plain.db"));
    ASSERT_EQ(ctl({QStringLiteral("init"), plain}).exitCode, 0);
    r = ctl({QStringLiteral("grow"), plain, QStringLiteral("--notes"), QStringLiteral("5")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("orderpth"))) << r.err.toStdString();
    EXPECT_EQ(value(plain, QStringLiteral("select count(*) from orderpth")).toInt(), 0);
    EXPECT_EQ(ctl({QStringLiteral("grow"), books, QStringLiteral("--notes"), QStringLiteral("-3")}).exitCode, 2);
    EXPECT_EQ(value(books, QStringLiteral("select count(*) from orderpth")).toInt(), orders + 300);
}

} // namespace
