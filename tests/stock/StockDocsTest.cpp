// The stock documents on the shared stock-note base: a transfer at the cost it
// left at or, kind 2, at its in price with the difference booked (and back on
// un-audit); issues and losses at cost; the price change revaluing the stock;
// and the stock windows grabbed for checking by eye.

#include "AttaintForm.h"
#include "BadsthForm.h"
#include "BatchCheckForm.h"
#include "BrowForm.h"
#include "ChgPriceForm.h"
#include "IIOBuildingForm.h"
#include "IIOBuildingPlaceForm.h"
#include "SpecialInForm.h"
#include "StockFixture.h"

namespace {

using StockDocTest = stocktest::StockTest<TStockNoteForm>;

TEST_F(StockDocTest, ATransferMovesStockAtTheCostItLeftAtOrKind2AtItsPriceBookingTheDifference)
{
    // An empty store 4 gets 10 at 6 from store 3, which holds 20 at 6 after these two.
    clearStock("BG0005", {3, 4});
    receive("BG0005", 3, 10, 5);
    receive("BG0005", 3, 10, 7);
    start<TBadsthForm>(3);
    EXPECT_EQ(child<widgets::TRqLookupCombo>("cmbnoteKind")->ListFilter(), QStringLiteral("ID=1"));
    setMaster("INBUILDINGID", 3);
    EXPECT_EQ(child<QLabel>("lbOutOrg")->text(), QStringLiteral("调出机构:  总部"));
    addLine("BG0005", 10, 0);
    EXPECT_DOUBLE_EQ(line(0, "APRICE").toDouble(), 6) << "valued at the out store's cost";
    EXPECT_TRUE(refused(QStringLiteral("调出仓库不能和调入仓库相同!")));
    setMaster("INBUILDINGID", 4);
    EXPECT_EQ(master("NOTETO").toString(), QStringLiteral("上海市闵行区申富路90号"));
    qint64 id = saveAndAudit("Badsthith");
    EXPECT_DOUBLE_EQ(column("Badsthithdetail", id, "PRICE", 1).toDouble(), 6) << "a plain transfer comes in at cost";
    EXPECT_EQ(onHand("BG0005", {3, 4}), QStringLiteral("10/60 10/60"));
    EXPECT_EQ(flows(26, id), QStringLiteral("3:-1:10:6;4:1:10:6"));
    EXPECT_EQ(audit("Badsthith", id), 0) << err();
    EXPECT_EQ(onHand("BG0005", {3, 4}), QStringLiteral("20/120 0/0"));

    // Kind 2, where stores are kept apart and banded.
    setParam(QStringLiteral("IsDistinctStore"), QStringLiteral("1"));
    setParam(QStringLiteral("IsBand"), QStringLiteral("1"));
    start<TBadsthForm>(3);
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
    EXPECT_TRUE(refused(QStringLiteral("货品[订书机]的调出调入单价不能相等.")));
    setLine("PRICE", 7.5);
    EXPECT_DOUBLE_EQ(line(0, "DIFAMOUNT").toDouble(), 6);

    // Out at cost, in at the in price, the difference to account 9; all of it back on un-audit.
    id = saveAndAudit("Badsthith");
    const QString booked = QStringLiteral("select SUBJECTID, AMOUNT from subjectflowaath where NOTETYPE=26 and NOTEID=%1").arg(id);
    EXPECT_EQ(flows(26, id), QStringLiteral("3:-1:4:6;4:1:4:7.5"));
    EXPECT_EQ(onHand("BG0005", {3, 4}), QStringLiteral("16/96 4/30"));
    EXPECT_EQ(rows(booked), QStringLiteral("9:6"));
    ASSERT_EQ(audit("Badsthith", id), 0) << err();
    EXPECT_EQ(flows(26, id) + rows(booked), QString());
    EXPECT_EQ(onHand("BG0005", {3, 4}), QStringLiteral("20/120 0/0"));
}

TEST_F(StockDocTest, IssuesAndLossesLeaveAtCostAndALossLineShowsTheStoresStock)
{
    clearStock("BG0005", {3, 4});
    receive("BG0005", 4, 10, 8);
    start<TSpecialOutForm>(4);
    addLine("BG0005", 3, 0);
    setLine("PRICE", 99); // what a clerk might type; the issue keeps its cost
    qint64 id = saveAndAudit("OtherOutith");
    EXPECT_DOUBLE_EQ(column("OtherOutithdetail", id, "PRICE", 1).toDouble(), 8);
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("7/56"));
    EXPECT_EQ(flows(23, id), QStringLiteral("4:-1:3:8"));

    start<TAttaintForm>(4);
    addLine("BG0005", 2, 0);
    EXPECT_DOUBLE_EQ(line(0, "QRYCOMMODITY").toDouble(), 7);
    setMaster("BUILDINGID", 3);
    EXPECT_TRUE(line(0, "QRYCOMMODITY").isNull()) << "store 3 holds none";
    setMaster("BUILDINGID", 4);
    id = saveAndAudit("Attaintith");
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("5/40"));
    EXPECT_EQ(flows(29, id), QStringLiteral("4:-1:2:8"));
}

using ChgPriceTest = stocktest::StockTest<TChgPriceForm>;

TEST_F(ChgPriceTest, ARateRevaluesTheStoresStockAndUnauditGivesItBack)
{
    // A line as a clerk starts it: the price after is the price before.
    const auto addGoods = [this](const char *code) {
        form()->muAppendDetailClick();
        setLine("COMMODITYCODE", QString::fromLatin1(code));
    };
    ASSERT_EQ(onHand("BG0001", 1), QStringLiteral("200/3660")) << "the demo's paper in the head-office store";
    start(1);
    addGoods("BG0001");
    EXPECT_DOUBLE_EQ(line(0, "APRICE").toDouble(), 18.3);
    EXPECT_DOUBLE_EQ(line(0, "SQUANTITY").toDouble(), 200);
    EXPECT_TRUE(refused(QStringLiteral("调价科目为空或者不是末级科目,不能保存!")));
    setMaster("SUBCODE", QStringLiteral("1405"));
    EXPECT_TRUE(refused(QStringLiteral("第[1]条货品的调后单价不能等于调前单价！")));
    setLine("ADJUSTRATE", 0);
    EXPECT_EQ(lastError(), QStringLiteral("对不起,调价比率超出范围,请重新输入."));
    EXPECT_DOUBLE_EQ(line(0, "ADJUSTRATE").toDouble(), 100);
    setLine("ADJUSTRATE", 110);
    EXPECT_DOUBLE_EQ(line(0, "PRICE").toDouble(), 20.13);
    EXPECT_DOUBLE_EQ(line(0, "PASPRICE").toDouble(), 1.83);
    // Batch-costed water keeps its batches' prices.
    addGoods("SP0001");
    setLine("ADJUSTRATE", 90);
    EXPECT_TRUE(refused(QStringLiteral("第[2]条货品是批次货品不可以调整单价！")));
    form()->muDeleteDetailClick();
    const qint64 id = saveAndAudit("ChgPriceith");
    EXPECT_EQ(onHand("BG0001", 1), QStringLiteral("200/4026"));
    EXPECT_EQ(rows(QStringLiteral("select PRICE from onhandaath where BUILDINGID=1 and COMMODITYID=%1")
                       .arg(goods(QStringLiteral("BG0001")))), QStringLiteral("20.13"));
    ASSERT_EQ(audit("ChgPriceith", id), 0) << err();
    EXPECT_EQ(onHand("BG0001", 1), QStringLiteral("200/3660"));
    EXPECT_EQ(flows(31, id), QString());
}

class StockScreenshotTest : public stocktest::StockTest<TMDnoteForm> {
protected:
    void grab(QWidget *w, const char *name)
    {
        w->show();
        EXPECT_TRUE(testsupport::saveShot(w, QLatin1String(name))) << name;
    }
};

TEST_F(StockScreenshotTest, TheStockWindowsOnDemoNotesAndTheAuditCentre)
{
    setParam(QStringLiteral("UsePlace"), QStringLiteral("1"));
    auto *inOut = open<TIIOBuildingForm>();
    inOut->LoadNote(2); // the system-made note: "机制" shows
    grab(inOut, "IIOBuildingForm");
    {
        // The pens' shelf in head office split over two shelves.
        TIIOBuildingPlaceForm dialog(inOut);
        dialog.SetLine({22, goods(QStringLiteral("BG0003")), QStringLiteral("中性笔"), 1, 1, QStringLiteral("总部仓库"), 5,
                        {{3, 3.0, QStringLiteral("A区2号货架")}, {2, 2.0, QStringLiteral("A区1号货架")}}});
        grab(&dialog, "IIOBuildingPlaceForm");
    }

    auto *transfer = open<TBadsthForm>();
    transfer->LoadNote(1);
    EXPECT_EQ(child<QLabel>("lbInOrg")->text(), QStringLiteral("调入机构:  总部"));
    grab(transfer, "BadsthForm");
    auto *lending = open<TBrowOutForm>();
    lending->LoadNote(int(scalar(QStringLiteral("select min(NOTEID) from BrowOut")).toLongLong()));
    EXPECT_EQ(child<QLabel>("lbLent")->text(), QStringLiteral("累计借出  10.0000")) << "eight and five lent, three back";
    grab(lending, "BrowOutForm");
    TBatchCheckForm center;
    center.btnQueryClick();
    EXPECT_GT(center.cdsNotes->RecordCount(), 5) << "the demo's waiting notes";
    grab(&center, "BatchCheckForm");
}

} // namespace
