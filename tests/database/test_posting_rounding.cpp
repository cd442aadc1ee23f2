// Money postings store amounts and balances rounded to the books' amount
// precision, and refuse an amount that is no number.

#include "TestSupport.h"

#include "Procedures.h"
#include "notedb.h"

#include <gtest/gtest.h>

namespace {

class PostingRounding : public ::testing::Test {
protected:
    void SetUp() override
    {
        notedb::registerMoneyPostings();
        books = testsupport::freshBooks(folder.file(QStringLiteral("books.db")));
        books->exec(QStringLiteral("insert into accountacth (ACCOUNTID, CODE, NAME, BALANCE, SHOPERATEID, CLOSED) values "
                                   "(1, '01', '现金', 1000, 0, 0)"));
    }
    // An expense note whose AMOUNT is written as the SQL literal given.
    void expense(qint64 id, const QString &amount)
    {
        books->exec(QStringLiteral("insert into expenseath (NOTEID, NOTECODE, NOTEDATE, NOTESTATE, OPERATEID, ACCOUNTID, AMOUNT) "
                                   "values (%1, 'FY-%1', '2024-02-11', 0, 1, 1, %2)")
                        .arg(id)
                        .arg(amount));
    }
    void setState(qint64 id, int from, int to)
    {
        books->exec(QStringLiteral("Update expenseath Set noteState=%1 where noteState=%2 and noteID=%3").arg(to).arg(from).arg(id));
    }
    QVariant value(const QString &sql) { return books->scalar(sql); }

    testsupport::TempFolder folder;
    std::unique_ptr<db::Database> books;
};

TEST_F(PostingRounding, AmountsAndBalancesAreStoredRounded)
{
    expense(1, QStringLiteral("0.1 + 0.2")); // 0.30000000000000004 as a double
    setState(1, 0, 1);
    EXPECT_EQ(value(QStringLiteral("select OUTAMT from accountflowaath where NOTEID=1")).toDouble(), 0.3);
    EXPECT_EQ(value(QStringLiteral("select BALANCE from accountacth where ACCOUNTID=1")).toDouble(), 999.7);

    // Half a cent rounds away from zero at the books' two decimals.
    expense(2, QStringLiteral("12.345"));
    setState(2, 0, 1);
    EXPECT_EQ(value(QStringLiteral("select OUTAMT from accountflowaath where NOTEID=2")).toDouble(), 12.35);
    EXPECT_EQ(value(QStringLiteral("select BALANCE from accountflowaath where NOTEID=2")).toDouble(), 987.35);

    // Un-auditing the first note corrects the later running balance exactly.
    setState(1, 1, 0);
    EXPECT_EQ(value(QStringLiteral("select BALANCE from accountflowaath where NOTEID=2")).toDouble(), 987.65);
    setState(2, 1, 0);
    EXPECT_EQ(value(QStringLiteral("select BALANCE from accountacth where ACCOUNTID=1")).toDouble(), 1000.0);
}

TEST_F(PostingRounding, AnAmountThatIsNoNumberIsRefused)
{
    expense(1, QStringLiteral("1e999")); // books written before numbers were checked
    try {
        setState(1, 0, 1);
        FAIL() << "audited";
    } catch (const db::DbError &e) {
        EXPECT_EQ(e.text(), QStringLiteral("单据[FY-1]的金额无效,不能审核。"));
    }
    EXPECT_EQ(value(QStringLiteral("select NOTESTATE from expenseath where NOTEID=1")).toInt(), 0);
    EXPECT_EQ(value(QStringLiteral("select BALANCE from accountacth where ACCOUNTID=1")).toDouble(), 1000.0);
}

} // namespace
