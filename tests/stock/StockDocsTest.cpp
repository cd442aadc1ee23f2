// The stock documents on the shared stock-note base: a transfer moving stock
// between stores at the cost it left at or, kind 2, at its in price with the
// difference booked to its account (and back on un-audit), its checks,
// issues stored at cost, and the loss report's on-hand column.

#include "AttaintForm.h"
#include "BadsthForm.h"
#include "SpecialInForm.h"
#include "StockFixture.h"

namespace {

template <class Form>
class StockDocTest : public stocktest::StockTest<Form> {
protected:
    using Base = stocktest::StockTest<Form>;
    // A new note of the window on store `store` with employee 5.
    void start(int store)
    {
        this->open();
        this->setMaster("BUILDINGID", store);
        this->setMaster("EMPID", 5);
    }
    qint64 saved(const char *table)
    {
        return this->scalar(QStringLiteral("select max(NOTEID) from %1").arg(QLatin1String(table))).toLongLong();
    }
    // Stock of a commodity received into a store through an independent stock-in.
    void receive(const char *code, int store, double quantity, double price)
    {
        const qint64 id = this->scalar(QStringLiteral("select coalesce(max(NOTEID),0)+901 from OtherInith")).toLongLong();
        this->sql(QStringLiteral("insert into OtherInithdetail (NOTEID, ITEMSNO, COMMODITYID, QUANTITY, PRICE, AMOUNT) values "
                                 "(%1, 1, (select COMMODITYID from Commoditylth where CODE='%2'), %3, %4, %5)")
                      .arg(id).arg(QLatin1String(code)).arg(quantity).arg(price).arg(quantity * price));
        this->sql(QStringLiteral("insert into OtherInith (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, BUILDINGID, OPERATEID) "
                                 "values (%1, 1, 1, 'RK-%1', '%2', %3, 1)")
                      .arg(id).arg(GetFirstDayOfPosMonth().toString(Qt::ISODate)).arg(store));
    }
};

using TransferTest = StockDocTest<TBadsthForm>;

TEST_F(TransferTest, ATransferMovesStockBetweenStoresAtTheCostItLeftAt)
{
    // An empty store 4 gets 10 at 6 from store 3, which holds 20 at 6 after these two.
    sql(QStringLiteral("delete from onhandaath where BUILDINGID in (3, 4) and COMMODITYID=(select COMMODITYID from Commoditylth where CODE='BG0005')"));
    receive("BG0005", 3, 10, 5);
    receive("BG0005", 3, 10, 7);
    ASSERT_EQ(onHand("BG0005", 3), QStringLiteral("20/120"));
    start(3);
    setMaster("INBUILDINGID", 3);
    EXPECT_EQ(child<QLabel>("lbOutOrg")->text(), QStringLiteral("调出机构:  总部"));
    addLine("BG0005", 10, 0);
    EXPECT_DOUBLE_EQ(line(0, "APRICE").toDouble(), 6) << "valued at the out store's cost";
    EXPECT_TRUE(refused(QStringLiteral("调出仓库不能和调入仓库相同!")));
    setMaster("INBUILDINGID", 4);
    EXPECT_EQ(master("NOTETO").toString(), QStringLiteral("上海市闵行区申富路90号"));
    ASSERT_TRUE(save()) << err();
    const qint64 id = saved("Badsthith");
    EXPECT_DOUBLE_EQ(column("Badsthithdetail", id, "PRICE", 1).toDouble(), 6) << "a plain transfer comes in at cost";
    toggleAudit(id);
    ASSERT_EQ(state("Badsthith", id), 1) << err();
    EXPECT_EQ(onHand("BG0005", 3), QStringLiteral("10/60"));
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("10/60"));
    EXPECT_EQ(flows(26, id), QStringLiteral("3:-1:10:6;4:1:10:6"));
    toggleAudit(id);
    EXPECT_EQ(state("Badsthith", id), 0) << err();
    EXPECT_EQ(onHand("BG0005", 3), QStringLiteral("20/120"));
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("0/0"));
}

TEST_F(TransferTest, ThePriceChangingTransferComesInAtItsPriceAndBooksTheDifferenceToItsAccount)
{
    open();
    EXPECT_EQ(child<widgets::TRqLookupCombo>("cmbnoteKind")->ListFilter(), QStringLiteral("ID=1"));
    setParam(QStringLiteral("IsDistinctStore"), QStringLiteral("1"));
    setParam(QStringLiteral("IsBand"), QStringLiteral("1"));
    sql(QStringLiteral("delete from onhandaath where BUILDINGID in (3, 4) and COMMODITYID=(select COMMODITYID from Commoditylth where CODE='BG0005')"));
    receive("BG0005", 3, 10, 6);
    start(3);
    EXPECT_TRUE(child<widgets::TRqLookupCombo>("cmbnoteKind")->ListFilter().isEmpty());
    setMaster("INBUILDINGID", 4);
    setMaster("NOTEKIND", 2);
    addLine("BG0005", 4, 0);
    setLine("PRICE", line(0, "APRICE"));
    EXPECT_TRUE(refused(QStringLiteral("调价科目不能为空或不是末级科目,不能保存!")));
    // A typed account code must name a detail account.
    const auto before = errors().size();
    setMaster("SUBCODE", QStringLiteral("1002"));
    EXPECT_EQ(errors().size(), before + 1);
    EXPECT_EQ(lastError(), QStringLiteral("输入的科目不存在或不是明细科目."));
    setMaster("SUBCODE", QStringLiteral("6401"));
    EXPECT_EQ(master("SUBID").toInt(), 9);
    EXPECT_TRUE(refused(QStringLiteral("货品[") + line(0, "COMMODITYNAME").toString() + QStringLiteral("]的调出调入单价不能相等.")));
    setLine("PRICE", 7.5);
    EXPECT_DOUBLE_EQ(line(0, "DIFAMOUNT").toDouble(), 6);
    ASSERT_TRUE(save()) << err();
    const qint64 id = saved("Badsthith");

    // Out at cost, in at the in price, the difference to account 9; all of it back on un-audit.
    const QString booked = QStringLiteral("select coalesce(group_concat(SUBJECTID || ':' || round(AMOUNT,2)), '') "
                                          "from subjectflowaath where NOTETYPE=26 and NOTEID=%1").arg(id);
    toggleAudit(id);
    ASSERT_EQ(state("Badsthith", id), 1) << err();
    EXPECT_EQ(flows(26, id), QStringLiteral("3:-1:4:6;4:1:4:7.5"));
    EXPECT_EQ(onHand("BG0005", 3), QStringLiteral("6/36"));
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("4/30"));
    EXPECT_EQ(scalar(booked).toString(), QStringLiteral("9:6"));
    toggleAudit(id);
    ASSERT_EQ(state("Badsthith", id), 0) << err();
    EXPECT_EQ(flows(26, id), QString());
    EXPECT_EQ(onHand("BG0005", 3), QStringLiteral("10/60"));
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("0/0"));
    EXPECT_EQ(scalar(booked).toString(), QString());
}

using SpecialOutTest = StockDocTest<TSpecialOutForm>;

TEST_F(SpecialOutTest, AnIssueIsStoredAndPostedAtCost)
{
    sql(QStringLiteral("delete from onhandaath where BUILDINGID=4 and COMMODITYID=(select COMMODITYID from Commoditylth where CODE='BG0005')"));
    receive("BG0005", 4, 10, 8);
    start(4);
    EXPECT_EQ(child<QLabel>("lbIOType")->text(), QStringLiteral("出库类型"));
    addLine("BG0005", 3, 0);
    setLine("PRICE", 99); // what a clerk might type; the issue keeps its cost
    ASSERT_TRUE(save()) << err();
    const qint64 id = saved("OtherOutith");
    EXPECT_DOUBLE_EQ(column("OtherOutithdetail", id, "PRICE", 1).toDouble(), 8);
    form()->CheckBtnClick();
    ASSERT_EQ(state("OtherOutith", id), 1) << err();
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("7/56"));
    EXPECT_EQ(flows(23, id), QStringLiteral("4:-1:3:8"));
}

using LossTest = StockDocTest<TAttaintForm>;

TEST_F(LossTest, LinesShowTheStoresStockAndTheLossLeavesIt)
{
    sql(QStringLiteral("delete from onhandaath where BUILDINGID in (3, 4) and COMMODITYID=(select COMMODITYID from Commoditylth where CODE='BG0005')"));
    receive("BG0005", 4, 5, 10);
    start(4);
    addLine("BG0005", 2, 0);
    EXPECT_DOUBLE_EQ(line(0, "QRYCOMMODITY").toDouble(), 5);
    setMaster("BUILDINGID", 3);
    EXPECT_TRUE(line(0, "QRYCOMMODITY").isNull()) << "store 3 holds none";
    setMaster("BUILDINGID", 4);
    ASSERT_TRUE(save()) << err();
    form()->CheckBtnClick();
    ASSERT_EQ(state("Attaintith", saved("Attaintith")), 1) << err();
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("3/30"));
}

} // namespace
