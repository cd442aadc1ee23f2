// notectl driven from the outside for what finding and printing need of the
// books: new books hold every kind's standard print template with its system
// copy, and grown books hold many more notes of a type to measure lists on.

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

TEST_F(BooksToolTest, NewBooksHoldEveryKindsStandardTemplateAndItsSystemCopy)
{
    const QString books = folder.file(QStringLiteral("plain.db"));
    const testsupport::RunResult r = ctl({QStringLiteral("init"), books});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const int kinds = value(books, QStringLiteral("select count(*) from printtemplatelth where PRINTTEMPLATEID>0")).toInt();
    EXPECT_GT(kinds, 20);
    // Every one is its type's standard, with an identical copy under the negative id.
    EXPECT_EQ(value(books, QStringLiteral("select count(*) from printtemplatelth a join printtemplatelth c on "
                                          "c.PRINTTEMPLATEID=-a.PRINTTEMPLATEID and c.DATA=a.DATA "
                                          "where a.PRINTTEMPLATEID=a.TYPESID and a.TYPESID between 6001 and 6099"))
                  .toInt(),
              kinds);
    EXPECT_EQ(value(books, QStringLiteral("select count(*) from printtemplatelth where PRINTTEMPLATEID in (6002, -6002, 6014, 6061)"))
                  .toInt(),
              4);
}

} // namespace
