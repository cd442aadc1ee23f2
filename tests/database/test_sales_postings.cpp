// The postings of the sales notes (stock out and back, batches drawn, order
// and consignment quantities, the customer's receivable, reversal, rollback)
// and the sales side of the procedures, on fresh books.

#include "PostingFixture.h"

#include "notedb.h"

namespace {

struct SL {
    int goods;
    int store;
    double quantity, price;
    double cost = 0;
    QVariant batch = {};
    QVariant referType = {}, referId = {}, referItem = {};
};

class SalesPostings : public postingtest::PostingTest {
protected:
    void SetUp() override
    {
        PostingTest::SetUp();
        sql("insert into storelth (BUILDINGID, CODE, NAME) values (1, '01', '总仓')");
        sql("insert into partnerlth (PARTNERID, CODE, NAME, ISVENDOR, ISCLIENT) values (1, 'S1', '晨光', 1, 0), "
            "(3, 'C1', '联华', 0, 1), (4, 'C2', '华联', 0, 1)");
        // 1 goods, 2 by batch, 3 a service (no stock); 4 and 5 usually sold to a customer.
        sql("insert into Commoditylth (COMMODITYID, CODE, NAME, KIND, COSTTYPE, PARTNERID) values "
            "(1, 'G1', '复印纸', 1, 1, 1), (2, 'G2', '纯牛奶', 1, 2, 1), (3, 'F1', '安装费', 5, 1, null), "
            "(4, 'G4', '办公桌', 1, 1, 3), (5, 'G5', '订书机', 1, 1, 4)");
        sql("insert into accountacth (ACCOUNTID, CODE, NAME, BALANCE, CLOSED) values (1, '01', '现金', 1000, 0)");
        // Stock to sell: 10 of goods 1 at 5, a batch of 10 of goods 2 at 8.
        note("purchasepth", 1, 1, 1, {{1, 1, 10, 5}, {2, 1, 10, 8}});
        books->exec("update purchasepthDetail set BCODE = 'B1' where COMMODITYID = 2");
        audit("purchasepth", 1);
        batch = one("select ID from noteflowaath where BCODE = 'B1'").toLongLong();
    }

    void note(const QString &table, qint64 id, int kind, int partner, const QList<SL> &lines, double paid = 0)
    {
        double amount = 0;
        for (const SL &l : lines)
            amount += l.quantity * l.price;
        const bool money = table == QLatin1String("salesth") || table == QLatin1String("purchasepth");
        const bool plan = table == QLatin1String("salesthPlan"); // a plan has no customer
        books->exec(QString("insert into %1 (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, OPERATEID, AMOUNT%2%3) "
                            "values (:id, :kind, 0, :code, '2024-03-05', 1, :amt%4%5)")
                        .arg(table, plan ? QString() : ", PARTNERID", money ? ", PAYAMT, ACCOUNTID" : QString(),
                             plan ? QString() : ", :p", money ? ", :paid, 1" : QString()),
                    {{"id", id}, {"kind", kind}, {"code", QString("N-%1").arg(id)}, {"amt", amount}, {"p", partner}, {"paid", paid}});
        int item = 0;
        for (const SL &l : lines)
            books->exec(QString("insert into %1Detail (NOTEID, ITEMSNO, BUILDINGID, COMMODITYID, APRICE, PRICE, QUANTITY, AMOUNT, "
                                "BTURNNOTEID, REFERNOTETYPE, REFERNOTEID, REFERITEMSNO) values (:id, :no, :store, :goods, :cost, "
                                ":price, :q, :amt, :batch, :rt, :rid, :ritem)").arg(table),
                        {{"id", id}, {"no", ++item}, {"store", l.store ? QVariant(l.store) : QVariant()}, {"goods", l.goods},
                         {"cost", l.cost}, {"price", l.price}, {"q", l.quantity}, {"amt", l.quantity * l.price},
                         {"batch", l.batch}, {"rt", l.referType}, {"rid", l.referId}, {"ritem", l.referItem}});
    }
    QString stockOf(int goods) { return rows(QString("select QUANTITY, AMOUNT from onhandaath where COMMODITYID = %1").arg(goods)); }
    QString booksState()
    {
        return PostingTest::booksState("select NOTEID, ITEMSNO, SALEQTY, REFERQTY, REFERCOUNT from ordersthDetail order by NOTEID, ITEMSNO",
                                       "select NOTEID, NOTESTATE from salesth order by NOTEID");
    }

    qint64 batch = 0;
};

TEST_F(SalesPostings, SaleTakesStockAndABatchTheCustomerOwesWhatWasNotPaidAndTheStockCheckSeesIt)
{
    const QString before = booksState();
    // 4 of goods 1 at 9, 3 from the batch at 12, the service; 20 paid on the spot.
    note("salesth", 10, 1, 3, {{1, 1, 4, 9}, {2, 1, 3, 12, 0, batch}, {3, 0, 1, 6}}, 20);
    audit("salesth", 10);
    EXPECT_EQ(stockOf(1), "6:30");
    EXPECT_EQ(stockOf(2), "7:56");
    EXPECT_DOUBLE_EQ(num("select BREFERQTY from noteflowaath where BCODE = 'B1' and NOTETYPE = 4"), 3);
    EXPECT_EQ(one("select QUANTITY from PcSplit where NOTETYPE = 14 and NOTEID = 10").toDouble(), 3);
    // Lines without a cost price go out at what the stock cost, and keep it until un-audit.
    EXPECT_EQ(rows("select IOFLAG, QUANTITY, PPRICE, EQTY, PRICE, AMOUNT from noteflowaath where NOTETYPE = 14 order by ID"),
              "-1:4:5:6:5:20;-1:3:8:7:8:24");
    EXPECT_EQ(rows("select APRICE from salesthDetail where NOTEID = 10 order by ITEMSNO"), "5;8;0");
    // 36 + 36 + 6 sold, 20 received into cash: the customer owes 58, the supplier still 130.
    EXPECT_EQ(rows("select PARTNERID, SCAMT from partnerlth where SCAMT <> 0 order by PARTNERID"), "1:130;3:58");
    EXPECT_DOUBLE_EQ(num("select BALANCE from accountacth"), 1020);
    EXPECT_EQ(rows("select INAMT, OUTAMT from accountflowaath where NOTETYPE = 14"), "20:0");
    EXPECT_DOUBLE_EQ(num("select REFERAMT from salesth where NOTEID = 10"), 20) << "what was received now is settled";

    // Un-audit gives all of it back; so does the delete of an audited sale.
    setState("salesth", 10, 1, 0);
    EXPECT_EQ(booksState().section(u'|', 0, 7), before.section(u'|', 0, 7));
    EXPECT_EQ(rows("select APRICE from salesthDetail where NOTEID = 10"), "0;0;0");
    EXPECT_DOUBLE_EQ(num("select REFERAMT from salesth where NOTEID = 10"), 0);
    audit("salesth", 10);
    sql("delete from salesth where NOTEID = 10");
    EXPECT_EQ(booksState(), before);
    EXPECT_EQ(num("select count(*) from salesthDetail"), 0);

    // The stock check before an audit sees what a sale would take out, and a
    // return (keyed negative) as stock coming back.
    note("salesth", 10, 1, 3, {{1, 1, 12, 9}});
    const db::ResultSet rs = books->run("exec NOTEBOOKZERO 14, 10, 1");
    ASSERT_EQ(rs.rows.size(), 1);
    EXPECT_EQ(rs.value(0, "QUANTITY").toDouble(), -12.0);
    EXPECT_EQ(rs.value(0, "ERRTYPE").toInt(), 10);
    note("salesth", 11, 2, 3, {{1, 1, -3, 9}});
    EXPECT_TRUE(books->run("exec NOTEBOOKZERO 14, 11, 1").isEmpty());
}

TEST_F(SalesPostings, ReturnComesBackAtItsCostAndTheCustomerOwesLess)
{
    note("salesth", 10, 1, 3, {{1, 1, 4, 9}});
    audit("salesth", 10);
    // Returned lines carry negative quantities; the cost price is what they come back at.
    note("salesth", 11, 2, 3, {{1, 1, -3, 9, 6, {}, 14, 10, 1}}, -7);
    audit("salesth", 11);
    EXPECT_EQ(stockOf(1), "9:48");
    EXPECT_EQ(rows("select REFERQTY, REFERCOUNT from salesthDetail where NOTEID = 10"), "3:1");
    EXPECT_DOUBLE_EQ(num("select SCAMT from partnerlth where PARTNERID = 3"), 36 - 20);
    EXPECT_EQ(rows("select INAMT, OUTAMT from accountflowaath where NOTETYPE = 14"), "0:7");
    EXPECT_DOUBLE_EQ(num("select BALANCE from accountacth"), 993);

    setState("salesth", 11, 1, 0);
    EXPECT_EQ(stockOf(1), "6:30");
    EXPECT_EQ(rows("select REFERQTY, REFERCOUNT from salesthDetail where NOTEID = 10"), "0:0");
    EXPECT_DOUBLE_EQ(num("select SCAMT from partnerlth where PARTNERID = 3"), 36);
    EXPECT_DOUBLE_EQ(num("select BALANCE from accountacth"), 1000);
}

TEST_F(SalesPostings, OrderConsignmentAndSettlementRaiseTheirSourceQuantities)
{
    // The order takes a quotation line and moves no stock.
    note("s_price", 19, 1, 3, {{1, 1, 10, 9}});
    audit("s_price", 19);
    note("ordersth", 20, 1, 3, {{1, 1, 8, 9, 0, {}, 15, 19, 1}, {2, 1, 5, 12}});
    audit("ordersth", 20);
    EXPECT_EQ(num("select count(*) from noteflowaath where NOTETYPE = 12"), 0);
    EXPECT_EQ(rows("select REFERQTY, REFERCOUNT from S_PriceDetail"), "8:1");
    note("salesth", 21, 1, 3, {{1, 1, 3, 9, 0, {}, 12, 20, 1}});
    note("DeputeMarketsth", 22, 1, 3, {{2, 1, 5, 12, 8, batch, 12, 20, 2}});
    audit("salesth", 21);
    audit("DeputeMarketsth", 22);
    EXPECT_EQ(rows("select ITEMSNO, SALEQTY, REFERQTY, REFERCOUNT from ordersthDetail order by ITEMSNO"), "1:3:0:1;2:5:0:1");
    EXPECT_DOUBLE_EQ(num("select REFERCOUNT from ordersth"), 2);
    // The consignment takes the goods out of stock; the customer owes nothing yet.
    EXPECT_EQ(stockOf(2), "5:40");
    EXPECT_DOUBLE_EQ(num("select SCAMT from partnerlth where PARTNERID = 3"), 27);

    // Settling 4 of the consigned goods moves no stock; the customer owes for them.
    note("salesth", 23, 3, 3, {{2, 1, 4, 12, 8, {}, 13, 22, 1}});
    audit("salesth", 23);
    EXPECT_EQ(stockOf(2), "5:40");
    EXPECT_EQ(rows("select BALQTY, REFERQTY from DeputeMarketsthDetail"), "4:0");
    EXPECT_DOUBLE_EQ(num("select SCAMT from partnerlth where PARTNERID = 3"), 27 + 48);

    // Goods sent back on a consignment return come into stock again.
    note("DeputeMarketsth", 24, 2, 3, {{2, 1, -1, 12, 8, {}, 13, 22, 1}});
    audit("DeputeMarketsth", 24);
    EXPECT_EQ(stockOf(2), "6:48");
    EXPECT_EQ(rows("select BALQTY, REFERQTY from DeputeMarketsthDetail where NOTEID = 22"), "4:1");

    setState("salesth", 23, 1, 0);
    setState("salesth", 21, 1, 0);
    EXPECT_EQ(rows("select ITEMSNO, SALEQTY, REFERCOUNT from ordersthDetail order by ITEMSNO"), "1:0:0;2:5:1");
    EXPECT_EQ(one("select BALQTY from DeputeMarketsthDetail where NOTEID = 22").toDouble(), 0);
    EXPECT_DOUBLE_EQ(num("select SCAMT from partnerlth where PARTNERID = 3"), 0);
}

TEST_F(SalesPostings, RefusedSaleLeavesTheBooksAsTheyWere)
{
    const QString before = booksState();
    note("salesth", 30, 1, 3, {{1, 1, 2, 9}, {2, 1, 11, 12, 0, batch}});
    EXPECT_EQ(refusal([&] { audit("salesth", 30); }), "货品[纯牛奶]的批次[B1]只剩10,不够11,不能审核。");
    // Two lines of one note drawing on one batch: the second sees what the first took.
    note("salesth", 34, 1, 3, {{2, 1, 6, 12, 0, batch}, {2, 1, 6, 12, 0, batch}});
    EXPECT_EQ(refusal([&] { audit("salesth", 34); }), "货品[纯牛奶]的批次[B1]只剩4,不够6,不能审核。");
    note("salesth", 33, 1, 0, {{1, 1, 2, 9}});
    EXPECT_EQ(refusal([&] { audit("salesth", 33); }), "单据[N-33]没有指定往来单位,不能审核。");
    EXPECT_EQ(booksState().section(u'|', 0, 7), before.section(u'|', 0, 7));
    EXPECT_EQ(num("select count(*) from salesth where NOTESTATE <> 0"), 0);
}

TEST_F(SalesPostings, SalesPlanMakesOneOrderPerUsualCustomerAndInvoicingStateOfASale)
{
    note("salesthPlan", 40, 1, 0, {{4, 1, 2, 300}, {5, 1, 6, 10}, {4, 1, 1, 300}, {1, 1, 5, 9}});
    audit("salesthPlan", 40);
    const db::ResultSet made = books->run("exec salepurchasetoorder 11, 40");
    ASSERT_EQ(made.rows.size(), 2);
    EXPECT_EQ(rows("select PARTNERID, NOTESTATE, AMOUNT from ordersth order by NOTEID"), "3:0:900;4:0:60");
    EXPECT_EQ(rows("select COMMODITYID, QUANTITY, REFERNOTETYPE, REFERITEMSNO from ordersthDetail order by NOTEID, ITEMSNO"),
              "4:2:11:1;4:1:11:3;5:6:11:2");
    // Goods bought from a supplier stay for the window; nothing is ordered twice.
    EXPECT_EQ(books->run("exec salepurchasetoorder 11, 40").rows.size(), 0);
    EXPECT_EQ(refusal([&] { books->run("exec salepurchasetoorder 12, 40"); }),
              "过程 salepurchasetoorder 只能用于采购计划(1)和销售计划(11), 给出的单据类型是 12。");

    note("salesth", 41, 1, 3, {{1, 1, 10, 10}});
    sql("insert into fillath (NOTEID, NOTESTATE, AMOUNT) values (1, 1, 100)");
    sql("insert into fillathD (NOTEID, ITEMSNO, REFERNOTETYPE, REFERNOTEID, AMOUNT) values (1, 1, 14, 41, 100)");
    sql("insert into fillathDD (NOTEID, ITEMSNO, REFERNOTETYPE, REFERNOTEID, REFERNOTEITEMSNO, QUANTITY, AMOUNT) "
        "values (1, 1, 14, 41, 1, 10, 100)");
    books->run("EXECUTE  FIRSTUPDATECERTAINFILL 14,41");
    EXPECT_EQ(rows("select FILLAMT, CLOSEFILL from salesth"), "100:2");
    EXPECT_EQ(rows("select FILLQTY, FILLAMT from salesthDetail"), "10:100");
    EXPECT_EQ(one("select dbo.sevengetnotecode(14, 41)").toString(), "N-41");
}

} // namespace
