// notectl from the outside: new books hold the standard print templates and
// the company's parameters; grown books hold many more notes of a type.

#include "TestSupport.h"

#include <gtest/gtest.h>

using testsupport::runProgram;

namespace {

class BooksToolTest : public ::testing::Test {
protected:
    // notectl with `args`; its exit code, and its error text when it fails.
    int ctl(const QStringList &args)
    {
        m_last = runProgram(QStringLiteral("notectl"), args);
        return m_last.exitCode;
    }
    // The single value a query prints under its header.
    int value(const QString &books, const QString &sql)
    {
        EXPECT_EQ(ctl({QStringLiteral("sql"), books, sql}), 0) << m_last.err.toStdString();
        return m_last.out.split(u'\n').value(1).toInt();
    }
    int grow(const QString &books, const char *notes, const char *type = nullptr)
    {
        QStringList args{QStringLiteral("grow"), books, QStringLiteral("--notes"), QLatin1String(notes)};
        if (type)
            args << QStringLiteral("--type") << QLatin1String(type);
        return ctl(args);
    }
    testsupport::TempFolder folder;
    testsupport::RunResult m_last;
};

TEST_F(BooksToolTest, NewBooksHoldTheStandardTemplatesAndGrowingAddsUnauditedNotesOfAType)
{
    const QString plain = folder.file(QStringLiteral("plain.db"));
    ASSERT_EQ(ctl({QStringLiteral("init"), plain}), 0) << m_last.err.toStdString();
    // The plug-in wrote them (what each holds: test_finder's PrintTest).
    EXPECT_GT(value(plain, QStringLiteral("select count(*) from printtemplatelth where PRINTTEMPLATEID>0")), 20);
    // The company's parameters the printed notes show, there to be filled in.
    EXPECT_EQ(value(plain, QStringLiteral("select count(*) from sysparamamth where DATAVALUE = '' and PARAMNAME in "
                                          "('CompanyName', 'TaxNo', 'Address', 'Tel', 'Bank', 'BankNo')")),
              6);
    // Books without a note to copy grow nothing.
    EXPECT_EQ(grow(plain, "5"), 1);
    EXPECT_TRUE(m_last.err.contains(QStringLiteral("orderpth"))) << m_last.err.toStdString();
    EXPECT_EQ(value(plain, QStringLiteral("select count(*) from orderpth")), 0);

    const QString books = folder.file(QStringLiteral("demo.db"));
    ASSERT_EQ(ctl({QStringLiteral("init"), books, QStringLiteral("--demo")}), 0);
    const int orders = value(books, QStringLiteral("select count(*) from orderpth"));
    const int receipts = value(books, QStringLiteral("select count(*) from purchasepth"));
    ASSERT_EQ(grow(books, "300"), 0) << m_last.err.toStdString();
    ASSERT_EQ(grow(books, "40", "4"), 0) << m_last.err.toStdString();
    EXPECT_EQ(value(books, QStringLiteral("select count(*) from orderpth")), orders + 300);
    EXPECT_EQ(value(books, QStringLiteral("select count(*) from purchasepth")), receipts + 40);
    // New keys and numbers, unaudited, spread over the partners; nothing posted.
    EXPECT_EQ(value(books, QStringLiteral("select count(distinct NOTECODE) from orderpth")), orders + 300);
    EXPECT_EQ(value(books, QStringLiteral("select count(*) from orderpth where NOTECODE like 'G2-%' and NOTESTATE=0 "
                                          "and CHKORID is null")), 300);
    EXPECT_GT(value(books, QStringLiteral("select count(distinct PARTNERID) from orderpth where NOTECODE like 'G2-%'")), 2);
    EXPECT_EQ(value(books, QStringLiteral("select count(*) from sys_postqueue")), 0);
    // A note saved afterwards takes a key above them.
    EXPECT_GE(value(books, QStringLiteral("select KEYVALUE from sys_keytable where TABLENAME='orderpth'")),
              value(books, QStringLiteral("select max(NOTEID) from orderpth")));

    // A type it cannot grow and a bad count: refused, nothing added.
    EXPECT_EQ(grow(books, "5", "99"), 1);
    EXPECT_TRUE(m_last.err.contains(QStringLiteral("不能增加此类单据: 99"))) << m_last.err.toStdString();
    EXPECT_EQ(grow(books, "-3"), 2);
    EXPECT_EQ(value(books, QStringLiteral("select count(*) from orderpth")), orders + 300);
}

} // namespace
