// The demo company's purchases and sales agree with what their postings made:
// order, requisition and estimated receipt quantities, payables and
// receivables, the amounts paid on the spot, the batch drawn by the return.

#include "TestSupport.h"

#include "notedb.h"

#include <gtest/gtest.h>

namespace {

class TradeDemo : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new testsupport::TempFolder;
        books = testsupport::freshBooks(folder->file("demo.db"), true).release();
    }
    static void TearDownTestSuite()
    {
        delete books;
        delete folder;
    }
    static double num(const QString &sql) { return books->scalar(sql).toDouble(); }

    static inline testsupport::TempFolder *folder = nullptr;
    static inline db::Database *books = nullptr;
};

TEST_F(TradeDemo, NotesOfEveryTradeTypeAreAuditedThroughThePostings)
{
    for (const char *table :
         {"RePurchase", "purchasepthPlan", "orderpth", "valuepth", "purchasepth", "ordersth", "DeputeMarketsth", "salesth"})
        EXPECT_GE(num(QString("select count(*) from %1 where NOTESTATE = 1").arg(table)), 1)
            << table;
    // Two open orders, one partly received (a line finished, a line half open), the other untouched.
    EXPECT_EQ(num("select count(*) from orderpth where NOTESTATE = 1 and CLOSED = 0"), 2);
    EXPECT_EQ(num("select count(*) from orderpthDetail where FINISHED = 1 and BUYQTY = QUANTITY"), 1);
    EXPECT_EQ(num("select count(*) from orderpthDetail where BUYQTY > 0 and BUYQTY < QUANTITY and FINISHED = 0"), 1);
    EXPECT_EQ(num("select count(*) from RepurchaseDetail where REFERQTY = QUANTITY and REFERCOUNT = 1"), 2);
    // The partial return drew on the batch its receipt made, and raised the receipt line.
    EXPECT_EQ(num("select count(*) from PcSplit p join noteflowaath b on b.ID = p.BTURNNOTEID "
                  "where p.NOTETYPE = 4 and b.BREFERQTY = p.QUANTITY and b.NOTETYPE = 4"),
              1);
    EXPECT_EQ(num("select count(*) from purchasepthDetail where REFERQTY > 0 and REFERQTY < QUANTITY"), 1);
    // Payables are what the audited receipts left unsettled, paid on the spot
    // or by the demo's payment; the paid part left the bank. (Customers'
    // receivables share the column; the sales demo checks those.)
    EXPECT_NEAR(num("select sum(SCAMT) from partnerlth where ISCLIENT = 0"),
                num("select sum(AMOUNT - REFERAMT) from purchasepth where NOTESTATE = 1"), 0.001);
    EXPECT_NEAR(num("select sum(REFERAMT - PAYAMT) from purchasepth where NOTESTATE = 1"),
                num("select sum(d.AMOUNT) from payathdetail d join payath p on p.NOTEID = d.NOTEID where p.NOTESTATE = 1"),
                0.001);
    EXPECT_GT(num("select SCAMT from partnerlth where CODE = 'S002'"), 0);
    EXPECT_EQ(num("select count(*) from accountflowaath f join purchasepth p on p.NOTEID = f.NOTEID and f.NOTETYPE = 4 "
                  "where f.OUTAMT = p.PAYAMT and f.ACCOUNTID = p.ACCOUNTID"),
              1);
    // Each stock line of an audited receipt or estimated receipt has its flow row.
    EXPECT_EQ(num("select count(*) from noteflowaath where NOTETYPE in (3, 4)"),
              num("select count(*) from purchasepthDetail d join purchasepth m on m.NOTEID = d.NOTEID where m.NOTESTATE = 1") +
                  num("select count(*) from valuepthDetail d join valuepth m on m.NOTEID = d.NOTEID where m.NOTESTATE = 1"));
}

// Orders, sales and consignment are audited through the postings as well.
TEST_F(TradeDemo, OrdersSalesAndConsignmentAreAuditedThroughThePostings)
{
    // One order partly delivered (a line done, a line open), the other untouched.
    EXPECT_EQ(num("select count(*) from ordersthDetail where SALEQTY = QUANTITY"), 1);
    EXPECT_EQ(num("select count(*) from ordersthDetail where SALEQTY > 0 and SALEQTY < QUANTITY"), 1);
    EXPECT_EQ(num("select count(*) from ordersthDetail where SALEQTY = 0"), 2);
    // The return took part of a sale line.
    EXPECT_EQ(num("select count(*) from salesthDetail where REFERQTY > 0 and REFERQTY < QUANTITY"), 1);
    // Receivables are what the audited sales left unsettled (paid on the spot
    // or by the demo's receipt of money); the walk-in sale's money came into the bank.
    EXPECT_NEAR(num("select sum(SCAMT) from partnerlth where ISVENDOR = 0"),
                num("select sum(AMOUNT - REFERAMT) from salesth where NOTESTATE = 1"), 0.001);
    EXPECT_GT(num("select SCAMT from partnerlth where CODE = 'C001'"), num("select CREDIT from partnerlth where CODE = 'C001'"))
        << "联华超市 stays over its credit limit";
    EXPECT_EQ(num("select SCAMT from partnerlth where CODE = 'C003'"), 0); // consigned, not sold yet
    EXPECT_EQ(num("select count(*) from accountflowaath f join salesth s on s.NOTEID = f.NOTEID and f.NOTETYPE = 14 "
                  "where f.INAMT = s.PAYAMT and f.ACCOUNTID = s.ACCOUNTID and s.PAYAMT > 0"),
              1);
    // Each stock line of an audited sale or consignment has its flow row.
    EXPECT_EQ(num("select count(*) from noteflowaath where NOTETYPE in (13, 14)"),
              num("select count(*) from salesthDetail d join salesth m on m.NOTEID = d.NOTEID where m.NOTESTATE = 1") +
                  num("select count(*) from DeputeMarketsthDetail d join DeputeMarketsth m on m.NOTEID = d.NOTEID "
                      "where m.NOTESTATE = 1"));
}

} // namespace
