// The stock posting engine on the purchase notes (stock, batches, references,
// payables, reversal, rollback) and the purchase procedures, driven by the
// statements the framework sends, on fresh books.

#include "PostingFixture.h"

#include "Procedures.h"
#include "StockPostings.h"
#include "notedb.h"

namespace {

struct L {
    int goods;
    int store;
    double quantity, price;
    QString bcode = {};
    QVariant batch = {};
    QVariant referType = {}, referId = {}, referItem = {};
    QVariant split = {}; // PcSplit (note type, note id, line) as "t,id,item"
};

class StockPostings : public postingtest::PostingTest {
protected:
    void SetUp() override
    {
        PostingTest::SetUp();
        sql("insert into storelth (BUILDINGID, CODE, NAME) values (1, '01', '总仓'), (2, '02', '分仓')");
        sql("insert into partnerlth (PARTNERID, CODE, NAME, ISVENDOR, ISCLIENT) values (1, 'S1', '晨光', 1, 0), "
            "(2, 'S2', '华强', 1, 0), (3, 'C1', '联华', 0, 1)");
        // 1 goods, 2 by batch, 3 an expense (no stock), 4 bought from a customer, 5 no usual supplier.
        sql("insert into Commoditylth (COMMODITYID, CODE, NAME, KIND, COSTTYPE, PARTNERID) values "
            "(1, 'G1', '复印纸', 1, 1, 1), (2, 'G2', '纯牛奶', 1, 2, 2), (3, 'F1', '运输费', 5, 1, null), "
            "(4, 'G4', '办公桌', 1, 1, 3), (5, 'G5', '订书机', 1, 1, null)");
        sql("insert into accountacth (ACCOUNTID, CODE, NAME, BALANCE, CLOSED) values (1, '01', '现金', 1000, 0), "
            "(2, '02', '旧帐户', 0, 1)");
    }

    // A note of `table` with its lines, entered; AMOUNT is the sum of the lines.
    void note(const QString &table, qint64 id, int kind, const QList<L> &lines, const QString &extraCols = {},
              const QString &extraValues = {})
    {
        double amount = 0;
        for (const L &l : lines)
            amount += l.quantity * l.price;
        const bool withPartner = table != QLatin1String("RePurchase") && table != QLatin1String("purchasepthPlan");
        books->exec(QString("insert into %1 (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, OPERATEID, AMOUNT%2%3) "
                            "values (%4, %5, 0, 'N-%4', '2024-03-05', 1, %6%7%8)")
                        .arg(table, withPartner ? ", PARTNERID" : QString(), extraCols).arg(id).arg(kind).arg(amount)
                        .arg(withPartner ? ", 1" : QString(), extraValues));
        const QString detail = table == QLatin1String("RePurchase") ? "RepurchaseDetail" : table + "Detail";
        int item = 0;
        for (const L &l : lines) {
            const QStringList split = l.split.toString().split(u',');
            books->exec(QString("insert into %1 (NOTEID, ITEMSNO, BUILDINGID, COMMODITYID, PRICE, QUANTITY, AMOUNT, BCODE, BTURNNOTEID, "
                                "REFERNOTETYPE, REFERNOTEID, REFERITEMSNO%2) values (:id, :no, :store, :goods, :price, :q, :amt, "
                                ":bcode, :batch, :rt, :rid, :ritem%3)")
                            .arg(detail, l.split.isNull() ? QString() : ", SPLITNOTETYPE, SPLITNOTEID, SPLITITEMSNO",
                                 l.split.isNull() ? QString() : ", :st, :sid, :sitem"),
                        {{"id", id}, {"no", ++item}, {"store", l.store ? QVariant(l.store) : QVariant()}, {"goods", l.goods},
                         {"price", l.price}, {"q", l.quantity}, {"amt", l.quantity * l.price},
                         {"bcode", l.bcode.isEmpty() ? QVariant() : QVariant(l.bcode)}, {"batch", l.batch},
                         {"rt", l.referType}, {"rid", l.referId}, {"ritem", l.referItem}, {"st", split.value(0)},
                         {"sid", split.value(1)}, {"sitem", split.value(2)}});
        }
    }
    void receipt(qint64 id, int kind, const QList<L> &lines, double paid = 0, int account = 0)
    {
        note("purchasepth", id, kind, lines, ", PAYAMT, ACCOUNTID", QString(", %1, %2").arg(paid).arg(account ? QString::number(account) : "null"));
    }
    QString booksState()
    {
        return PostingTest::booksState("select NOTEID, ITEMSNO, BUYQTY, REFERQTY, REFERCOUNT, FINISHED from orderpthDetail order by "
                                       "NOTEID, ITEMSNO", "select NOTEID, NOTESTATE from purchasepth order by NOTEID");
    }
};

TEST_F(StockPostings, UnauditOfAnOlderNoteMovesTheLaterBalanceByEachOfItsLines)
{
    receipt(1, 1, {{1, 1, 10, 5}, {1, 1, 4, 5}, {1, 2, 3, 5}});
    receipt(2, 1, {{1, 1, 10, 7}, {1, 2, 1, 7}});
    audit("purchasepth", 1);
    audit("purchasepth", 2);
    EXPECT_EQ(rows("select NOTEID, EQTY from noteflowaath order by ID"), "1:10;1:14;1:3;2:24;2:4");
    setState("purchasepth", 1, 1, 0);
    EXPECT_EQ(rows("select NOTEID, EQTY from noteflowaath order by ID"), "2:10;2:1");
}

TEST_F(StockPostings, ReceiptsMoveStockAtTheMovingAverageAndUnauditReversesExactly)
{
    receipt(1, 1, {{1, 1, 10, 5}, {3, 1, 1, 20}}); // the expense line moves no stock
    receipt(2, 1, {{1, 1, 10, 7}}, 30, 1);
    audit("purchasepth", 1);
    audit("purchasepth", 2);
    EXPECT_EQ(rows("select QUANTITY, AMOUNT, PRICE, REALQTY, STATUS from onhandaath"), "20:120:6:20:1");
    EXPECT_EQ(rows("select NOTEID, IOFLAG, QUANTITY, PRICE, PPRICE, EQTY, STATUS, NOTECODE from noteflowaath order by ID"),
              "1:1:10:5:5:10:1:N-1;2:1:10:7:6:20:1:N-2");
    // Owed: 70 + 70 - 30 paid from cash.
    EXPECT_DOUBLE_EQ(num("select SCAMT from partnerlth where PARTNERID = 1"), 110);
    EXPECT_DOUBLE_EQ(num("select BALANCE from accountacth where ACCOUNTID = 1"), 970);
    EXPECT_EQ(rows("select NOTETYPE, NOTEID, OUTAMT, BALANCE from accountflowaath"), "4:2:30:970");

    // Un-audit of the older receipt: the later row's stock after it drops with it.
    setState("purchasepth", 1, 1, 0);
    EXPECT_EQ(rows("select QUANTITY, AMOUNT, PRICE from onhandaath"), "10:70:7");
    EXPECT_EQ(rows("select NOTEID, EQTY from noteflowaath"), "2:10");
    EXPECT_DOUBLE_EQ(num("select SCAMT from partnerlth where PARTNERID = 1"), 40);
    // Deleting the audited receipt reverses it as well, the payment included.
    books->exec("delete from purchasepth where NOTEID = 2");
    EXPECT_EQ(rows("select QUANTITY, AMOUNT from onhandaath"), "0:0");
    EXPECT_EQ(num("select count(*) from noteflowaath") + num("select count(*) from accountflowaath") +
                  num("select count(*) from notepostlogaath"),
              0);
    EXPECT_DOUBLE_EQ(num("select SCAMT from partnerlth where PARTNERID = 1"), 0);
    EXPECT_DOUBLE_EQ(num("select BALANCE from accountacth where ACCOUNTID = 1"), 1000);
    // Void and un-void of an entered note post nothing.
    receipt(3, 1, {{1, 1, 4, 5}});
    setState("purchasepth", 3, 0, 2);
    setState("purchasepth", 3, 2, 0);
    EXPECT_EQ(num("select count(*) from noteflowaath"), 0);
}

TEST_F(StockPostings, ReferencesRaiseSourceLinesAndFallBackOnUnaudit)
{
    note("RePurchase", 7, 1, {{1, 1, 10, 5}});
    audit("RePurchase", 7);
    note("orderpth", 8, 1, {{1, 1, 10, 5, {}, {}, 5, 7, 1}, {5, 1, 5, 9}});
    audit("orderpth", 8);
    EXPECT_EQ(rows("select REFERQTY, REFERCOUNT from RepurchaseDetail"), "10:1");
    EXPECT_EQ(num("select REFERCOUNT from RePurchase"), 1);
    EXPECT_EQ(num("select count(*) from noteflowaath"), 0); // an order moves no stock

    receipt(1, 1, {{1, 1, 6, 5, {}, {}, 2, 8, 1}, {5, 1, 5, 9, {}, {}, 2, 8, 2}});
    audit("purchasepth", 1);
    EXPECT_EQ(rows("select BUYQTY, REFERQTY, REFERCOUNT, FINISHED from orderpthDetail order by ITEMSNO"), "6:0:1:0;5:0:1:1");
    EXPECT_EQ(num("select REFERCOUNT from orderpth"), 1);
    // A return against the receipt raises the receipt line's returned quantity.
    receipt(2, 2, {{1, 1, -2, 5, {}, {}, 4, 1, 1}});
    audit("purchasepth", 2);
    EXPECT_DOUBLE_EQ(num("select REFERQTY from purchasepthDetail where NOTEID = 1 and ITEMSNO = 1"), 2);
    EXPECT_DOUBLE_EQ(num("select QUANTITY from onhandaath where COMMODITYID = 1"), 4);
    EXPECT_DOUBLE_EQ(num("select SCAMT from partnerlth where PARTNERID = 1"), 30 + 45 - 10);

    setState("purchasepth", 2, 1, 0);
    setState("purchasepth", 1, 1, 0);
    EXPECT_EQ(rows("select BUYQTY, REFERCOUNT, FINISHED from orderpthDetail order by ITEMSNO"), "0:0:0;0:0:0");
    EXPECT_EQ(num("select REFERCOUNT from orderpth") + num("select REFERQTY from purchasepthDetail where NOTEID = 1 and ITEMSNO = 1"), 0);

    // A line taken from a stock-in note moves no stock again; the stock note's line counts it.
    sql("insert into iostoreith (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, BUILDINGID, NOTETYPE) "
        "values (60, 1, 1, 'CRK-60', '2024-03-04', 1, 4)");
    sql("insert into iostoreithDetail (NOTEID, ITEMSNO, COMMODITYID, QUANTITY) values (60, 1, 5, 7)");
    receipt(4, 1, {{5, 1, 7, 9, {}, {}, 21, 60, 1}});
    audit("purchasepth", 4);
    EXPECT_EQ(num("select count(*) from noteflowaath where NOTEID = 4"), 0);
    EXPECT_EQ(rows("select REFERQTY, REFERCOUNT from iostoreithDetail"), "7:1");

    // A line whose source line is gone is refused.
    receipt(3, 1, {{1, 1, 1, 5, {}, {}, 2, 8, 9}});
    EXPECT_EQ(refusal([&] { audit("purchasepth", 3); }),
              "单据[N-3]第1行引用的来源单据明细(类型 2, ID 8, 行 9)不存在,不能审核。");
}

TEST_F(StockPostings, BatchesAreCreatedDrawnOnAndProtected)
{
    receipt(1, 1, {{2, 1, 10, 50, "B1"}});
    audit("purchasepth", 1);
    const QVariant batch = one("select ID from noteflowaath where NOTEID = 1");

    // Drawing more than is left, or another store's batch, is refused (the
    // text names the batch the receipt made).
    receipt(2, 2, {{2, 1, -11, 50, "B1", batch, 4, 1, 1}});
    EXPECT_EQ(refusal([&] { audit("purchasepth", 2); }), "货品[纯牛奶]的批次[B1]只剩10,不够11,不能审核。");
    receipt(3, 2, {{2, 2, -1, 50, "B1", batch}});
    EXPECT_EQ(refusal([&] { audit("purchasepth", 3); }), "货品[纯牛奶]引用的批次[B1]不是该货品在该仓库的批次,不能审核。");

    receipt(4, 2, {{2, 1, -3, 60, "B1", batch, 4, 1, 1}});
    audit("purchasepth", 4);
    EXPECT_DOUBLE_EQ(num("select BREFERQTY from noteflowaath where ID = " + batch.toString()), 3);
    EXPECT_EQ(rows("select BTURNNOTEID, NOTETYPE, NOTEID, ITEMSNO, QUANTITY, NOTESTATE from PcSplit"), batch.toString() + ":4:4:1:3:1");
    // Out at the average (50), whatever the return's price.
    EXPECT_EQ(rows("select QUANTITY, AMOUNT, PRICE from onhandaath"), "7:350:50");
    EXPECT_EQ(rows("select IOFLAG, BTURNNOTEID, PPRICE, EQTY from noteflowaath where NOTEID = 4"), "-1:" + batch.toString() + ":50:7");

    EXPECT_EQ(refusal([&] { setState("purchasepth", 1, 1, 0); }), "批次[B1]已被其他单据引用,不能反审核。");
    EXPECT_EQ(refusal([&] { books->exec("delete from purchasepth where NOTEID = 1"); }),
              "批次[B1]已被其他单据引用,不能删除。");
    EXPECT_EQ(num("select NOTESTATE from purchasepth where NOTEID = 1"), 1);

    setState("purchasepth", 4, 1, 0);
    EXPECT_DOUBLE_EQ(num("select BREFERQTY from noteflowaath where ID = " + batch.toString()), 0);
    EXPECT_EQ(num("select count(*) from PcSplit"), 0);
    EXPECT_EQ(rows("select QUANTITY, AMOUNT from onhandaath"), "10:500");
    setState("purchasepth", 1, 1, 0);
    EXPECT_EQ(num("select count(*) from noteflowaath"), 0);
}

TEST_F(StockPostings, AFailingPostingLeavesEveryTableAsItWas)
{
    note("orderpth", 8, 1, {{1, 1, 10, 5}});
    audit("orderpth", 8);
    receipt(1, 1, {{1, 1, 10, 5}});
    audit("purchasepth", 1);

    // Stock, the order and the payable are written before the closed account is met.
    receipt(2, 1, {{1, 1, 4, 5, {}, {}, 2, 8, 1}, {2, 1, 1, 50, "B9"}}, 20, 2);
    const QString before = booksState();
    EXPECT_EQ(refusal([&] { audit("purchasepth", 2); }), "帐户[旧帐户]已经被停用不能审核。");
    EXPECT_EQ(booksState(), before);
    receipt(3, 1, {{1, 1, 4, 5, {}, {}, 2, 8, 1}, {99, 1, 1, 5}});
    EXPECT_EQ(refusal([&] { audit("purchasepth", 3); }), "单据[N-3]第2行的货品(ID 99)不存在,不能审核。");
    receipt(4, 1, {{1, 0, 4, 5}});
    EXPECT_EQ(refusal([&] { audit("purchasepth", 4); }), "货品[复印纸]的仓库不能为空,不能审核。");
    // The payable is the posting's last write, checked once the server has run them all.
    receipt(6, 1, {{1, 1, 2, 5}});
    sql("update purchasepth set PARTNERID = 77 where NOTEID = 6");
    const QString unknownPartner = booksState();
    EXPECT_EQ(refusal([&] { audit("purchasepth", 6); }), "单据[N-6]的往来单位不存在(ID 77),不能审核。");
    EXPECT_EQ(booksState(), unknownPartner);
    // A disk failing in the middle of the posting (the stock is written, the order not yet) leaves nothing either.
    receipt(5, 1, {{1, 1, 4, 5, {}, {}, 2, 8, 1}});
    const QString entered = booksState();
    books->injectFault(db::Fault{1, 13, "update orderpthDetail", false});
    EXPECT_FALSE(refusal([&] { audit("purchasepth", 5); }).isEmpty());
    books->clearFault();
    EXPECT_EQ(booksState(), entered);
}

// A stock kind of its own is a declaration: here a transfer between the stores of its master.
TEST_F(StockPostings, ADeclaredTransferMovesAtTheCostItLeftAt)
{
    sql("create table testmoveith (NOTEID integer primary key, NOTEKIND integer, NOTESTATE integer, NOTECODE varchar(30), "
        "NOTEDATE date, BUILDINGID integer, INBUILDINGID integer)");
    sql("create table testmoveithDetail (NOTEID integer, ITEMSNO integer, COMMODITYID integer, PRICE numeric(19,6), "
        "QUANTITY numeric(19,6), BCODE varchar(30), PRODUCTDAY date, VALIDDAY date, BTURNNOTEID integer, "
        "REFERNOTETYPE integer, REFERNOTEID integer, REFERITEMSNO integer)");
    books->addStateTrigger("testmoveith");
    notedb::stock::StockNote move;
    move.noteType = 97;
    move.master = "testmoveith";
    move.lines = "testmoveithDetail";
    move.store = "m.BUILDINGID";
    move.targetStore = "m.INBUILDINGID";
    move.kinds = {{1, -1}};
    notedb::stock::declare(move);

    receipt(1, 1, {{1, 1, 10, 5}});
    receipt(2, 1, {{1, 1, 10, 7}});
    audit("purchasepth", 1);
    audit("purchasepth", 2);
    sql("insert into testmoveith values (5, 1, 0, 'DB-5', '2024-03-07', 1, 2)");
    sql("insert into testmoveithDetail (NOTEID, ITEMSNO, COMMODITYID, PRICE, QUANTITY) values (5, 1, 1, 99, 4)");
    audit("testmoveith", 5);
    EXPECT_EQ(rows("select BUILDINGID, QUANTITY, AMOUNT, PRICE from onhandaath order by BUILDINGID"), "1:16:96:6;2:4:24:6");
    EXPECT_EQ(rows("select BUILDINGID, IOFLAG, PRICE, EQTY from noteflowaath where NOTETYPE = 97 order by ID"), "1:-1:99:16;2:1:6:4");
    setState("testmoveith", 5, 1, 0);
    EXPECT_EQ(rows("select BUILDINGID, QUANTITY, AMOUNT from onhandaath order by BUILDINGID"), "1:20:120;2:0:0");
}

TEST_F(StockPostings, ReceiptAgainstEstimatedReceiptsReversesThemOnceAndGoesWithTheReceipt)
{
    note("valuepth", 30, 1, {{2, 1, 10, 4, "E1"}, {1, 1, 8, 3}});
    audit("valuepth", 30);
    const QVariant batch = one("select ID from noteflowaath where NOTETYPE = 3 and ITEMSNO = 1");
    const auto made = [&] { return num("select count(*) from valuepth where NOTEKIND = 3 and NOTESTATE = 1 and PURCHASENOTEID = 40"); };
    const auto reversed = [&] {
        return num("select Sum(Quantity) from noteflowaath where noteType=3 and Bturnnoteid=" + batch.toString());
    };
    receipt(40, 3, {{2, 1, 10, 5, "E1", batch, 3, 30, 1}, {1, 1, 8, 3.5, {}, {}, 3, 30, 2}});
    for (int save = 0; save < 2; ++save) {
        // As the receipt window calls it, the date as the window holds it.
        books->run("exec PURCHASETOVALUE @VNOTEID=:VNOTEID, @VPARTNERID=:VPARTNERID, @VNOTEDATE=:VNOTEDATE",
                   {{"VNOTEID", 40}, {"VPARTNERID", 1},
                    {"VNOTEDATE", QDateTime(QDate(2024, 3, 6), QTime(0, 0))}});
        EXPECT_EQ(made(), 1);
        EXPECT_DOUBLE_EQ(reversed(), 10);
        EXPECT_EQ(rows("select REFERQTY from valuepthDetail where NOTEID = 30 order by ITEMSNO"), "10;8");
    }
    EXPECT_EQ(rows("select NOTEDATE, PARTNERID, case when NOTECODE like '3-202403-%' then 1 else 0 end from valuepth "
                   "where NOTEKIND = 3"),
              "2024-03-06:1:1");
    // The estimated stock left; the receipt's own audit brings the real one and only counts the reference.
    EXPECT_DOUBLE_EQ(num("select QUANTITY from onhandaath where COMMODITYID = 2"), 0);
    audit("purchasepth", 40);
    EXPECT_DOUBLE_EQ(num("select QUANTITY from onhandaath where COMMODITYID = 2"), 10);
    EXPECT_EQ(rows("select REFERQTY, REFERCOUNT from valuepthDetail where NOTEID = 30 and ITEMSNO = 1"), "10:2");
    // The estimated receipt can no longer be un-audited: its batch was reversed.
    EXPECT_EQ(refusal([&] { setState("valuepth", 30, 1, 0); }), "批次[E1]已被其他单据引用,不能反审核。");

    setState("purchasepth", 40, 1, 0);
    // Saved again as a plain purchase, the receipt settles nothing.
    books->exec("update purchasepth set NOTEKIND = 1 where NOTEID = 40");
    EXPECT_EQ(made(), 0);
    EXPECT_DOUBLE_EQ(reversed(), 0);
    books->exec("update purchasepth set NOTEKIND = 3 where NOTEID = 40");
    books->run("exec PURCHASETOVALUE 40, 1, '2024-03-06'");
    EXPECT_EQ(made(), 1);
    books->exec("delete from purchasepth where NOTEID = 40");
    EXPECT_EQ(num("select count(*) from valuepth where NOTEKIND = 3"), 0);
    EXPECT_EQ(num("select count(*) from valuepthDetail where NOTEID <> 30"), 0);
    EXPECT_EQ(rows("select REFERQTY from valuepthDetail where NOTEID = 30"), "0;0");
    EXPECT_EQ(one("select sum(QUANTITY) from onhandaath").toDouble(), 18);
}

TEST_F(StockPostings, SplitLinesReverseTheSplitQuantity)
{
    note("valuepth", 30, 1, {{2, 1, 10, 4, "E1"}});
    audit("valuepth", 30);
    const QVariant batch = one("select ID from noteflowaath where NOTETYPE = 3");
    // A return drew 4 from the estimated batch: that is the split.
    receipt(9, 2, {{2, 1, -4, 4, "E1", batch}});
    audit("purchasepth", 9);
    receipt(40, 3, {{2, 1, 4, 5, "E1", batch, 3, 30, 1, "4,9,1"}});
    books->run("exec PURCHASETOVALUE 40, 1, '2024-03-06'");
    EXPECT_EQ(rows("select d.QUANTITY, d.BTURNNOTEID from valuepthDetail d join valuepth m on m.NOTEID = d.NOTEID "
                   "where m.NOTEKIND = 3"),
              "4:" + batch.toString());
    EXPECT_DOUBLE_EQ(num("select BREFERQTY from noteflowaath where ID = " + batch.toString()), 8);
    EXPECT_EQ(refusal([&] { books->run("exec PURCHASETOVALUE 77, 1, '2024-03-06'"); }),
              "采购单(ID 77)不存在,不能冲回估价入库。");
}

TEST_F(StockPostings, PlanMakesOneEnteredOrderPerUsualSupplier)
{
    note("purchasepthPlan", 50, 1, {{1, 1, 10, 5}, {2, 1, 4, 50}, {5, 1, 3, 9}, {4, 1, 2, 300}, {1, 2, 6, 5}});
    audit("purchasepthPlan", 50);
    const db::ResultSet made = books->run("exec salepurchasetoorder 1, 50");
    ASSERT_EQ(made.rows.size(), 2);
    EXPECT_EQ(rows("select PARTNERID, NOTESTATE, AMOUNT from orderpth order by NOTEID"), "1:0:80;2:0:200");
    EXPECT_EQ(rows("select COMMODITYID, BUILDINGID, QUANTITY, REFERNOTETYPE, REFERNOTEID, REFERITEMSNO from orderpthDetail "
                   "order by NOTEID, ITEMSNO"),
              "1:1:10:1:50:1;1:2:6:1:50:5;2:1:4:1:50:2");
    // The lines of the window (no usual supplier, or a customer) stay; a second run makes nothing new.
    EXPECT_EQ(books->run("exec salepurchasetoorder 1, 50").rows.size(), 0);
    EXPECT_EQ(num("select count(*) from orderpth"), 2);
    EXPECT_EQ(refusal([&] { books->run("exec salepurchasetoorder 11, 50"); }),
              "销售计划(ID 50)不存在,不能生成销售订单。");
}

TEST_F(StockPostings, NoteCodeFunctionAndInvoicingState)
{
    receipt(1, 1, {{1, 1, 10, 11.3}});
    note("orderpth", 8, 1, {{1, 1, 1, 1}});
    EXPECT_EQ(one("select dbo.sevengetnotecode(4, 1)").toString(), "N-1");
    EXPECT_EQ(one("select dbo.sevengetnotecode(m.REFERNOTETYPE, m.REFERNOTEID) from (select 2 as REFERNOTETYPE, 8 as REFERNOTEID) m").toString(), "N-8");
    EXPECT_TRUE(one("select dbo.sevengetnotecode(4, 99)").isNull());
    EXPECT_TRUE(one("select dbo.sevengetnotecode(14, 1)").isNull()); // no such sale
    EXPECT_TRUE(one("select dbo.sevengetnotecode(null, 1)").isNull());
    // Every connection has it, not only the one that made the books.
    const auto other = testsupport::openAgain(*books);
    EXPECT_EQ(other->scalar("select dbo.sevengetnotecode(2, 8)").toString(), "N-8");

    const auto fill = [&] { books->run("EXECUTE  FIRSTUPDATECERTAINFILL 4,1"); };
    const auto state = [&] { return rows("select FILLAMT, CLOSEFILL from purchasepth where NOTEID = 1"); };
    sql("insert into fillath (NOTEID, NOTESTATE, AMOUNT) values (1, 1, 50), (2, 1, 63), (3, 2, 500)");
    sql("insert into fillathD (NOTEID, ITEMSNO, REFERNOTETYPE, REFERNOTEID, AMOUNT) values (1, 1, 4, 1, 50), (3, 1, 4, 1, 500)");
    sql("insert into fillathDD (NOTEID, ITEMSNO, REFERNOTETYPE, REFERNOTEID, REFERNOTEITEMSNO, QUANTITY, AMOUNT) "
        "values (1, 1, 4, 1, 1, 4, 50)");
    fill();
    EXPECT_EQ(state(), "50:0");
    EXPECT_EQ(rows("select FILLQTY, FILLAMT from purchasepthDetail"), "4:50");
    sql("update purchasepth set CLOSEFILL = 1");
    fill();
    EXPECT_EQ(state(), "50:1"); // the user's termination stays
    sql("insert into fillathD (NOTEID, ITEMSNO, REFERNOTETYPE, REFERNOTEID, AMOUNT) values (2, 1, 4, 1, 63)");
    fill();
    EXPECT_EQ(state(), "113:2");
    sql("update fillath set NOTESTATE = 2 where NOTEID = 2");
    fill();
    EXPECT_EQ(state(), "50:0");
    // The invoice's own call brings every note it covers up to date.
    sql("update fillath set NOTESTATE = 1 where NOTEID = 2");
    books->run("exec FIRSTUPDATEFILLFLAG 2");
    EXPECT_EQ(state(), "113:2");
    EXPECT_EQ(refusal([&] { books->run("EXECUTE  FIRSTUPDATECERTAINFILL 14,1"); }), "单据(类型 14, ID 1)不存在。");
}

// Books made before the postings get what the postings need when they are opened.
TEST_F(StockPostings, OlderBooksGetThePostingTablesOnOpening)
{
    if (books->isPostgres())
        GTEST_SKIP() << "books older than the postings are SQLite files: books on the server are made with them";
    sql("drop trigger trg_purchasepth_values");
    sql("drop trigger trg_purchasepth_kind");
    sql("drop index ix_valuepth_purchase");
    sql("alter table valuepth drop column PURCHASENOTEID");
    sql("drop table notepostlogaath");
    sql("drop table subjectflowaath");
    sql("delete from sys_keytable where TABLENAME in ('PcSplit', 'RePurchase', 'subjectflowaath')");
    books.reset();
    books = notedb::openBooks(folder.file("books.db"));
    EXPECT_EQ(num("select count(*) from sqlite_master where name in ('notepostlogaath', 'trg_purchasepth_values', "
                  "'trg_purchasepth_kind', 'ix_valuepth_purchase', 'subjectflowaath')"),
              5);
    EXPECT_EQ(num("select count(*) from pragma_table_info('valuepth') where upper(name) = 'PURCHASENOTEID'"), 1);
    EXPECT_EQ(num("select count(*) from sys_keytable where TABLENAME in ('PcSplit', 'RePurchase', 'subjectflowaath')"), 3);
    receipt(1, 1, {{1, 1, 2, 5}});
    audit("purchasepth", 1);
    EXPECT_EQ(num("select count(*) from notepostlogaath"), 1);
}

} // namespace
