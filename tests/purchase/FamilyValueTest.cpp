// The estimated-price receipt through its window: stores required, the
// system's reversal kind refused and protected, order lines turned in, the
// reversal made from the open lines, the "已冲回" mark and the init mode.

#include "PurchaseFixture.h"

#include "PBuyForm.h"
#include "PValueForm.h"

#include <QLabel>

namespace {

class FamilyValueTest : public purchasetest::PurchaseTest<TPValueForm> {
protected:
    int state(qint64 id) { return column("valuepth", id, "NOTESTATE").toInt(); }
    QString ioCaption() const { return grid()->Column(grid()->ColumnOfField(QStringLiteral("IOQTY"))).Title; }
};

TEST_F(FamilyValueTest, AReceiptNeedsItsStoresAndIsSavedAndAuditedAndTheInitFunctionOpensTheInitMode)
{
    const int before = count("valuepth");
    open();
    setMaster("PARTNERID", 2);
    addLine("DZ0003", 2, 600);
    addLine("DZ0004", 10, 30);
    // A stocked commodity without a store is refused by name.
    lines()->Edit();
    SetFieldValue(lines()->FieldByName(QStringLiteral("BUILDINGID")), QVariant());
    lines()->Post();
    EXPECT_TRUE(refused(QStringLiteral("货品[U盘]的仓库不能为空！")));
    EXPECT_EQ(count("valuepth"), before);
    setLine("STORECODE", QStringLiteral("02"));
    ASSERT_TRUE(save()) << err();
    const qint64 id = current();
    EXPECT_EQ(values("valuepthDetail", id, "PRICE*QUANTITY, BUILDINGID"), QStringLiteral("1200/1,300/2"));
    form()->CheckBtnClick();
    EXPECT_EQ(state(id), 1) << err();

    // The initialisation function opens the init mode.
    m_form.reset();
    auto *init = openInit<TPValueForm>("PVALUEFORM_INIT", "PValueForm");
    ASSERT_NE(init, nullptr);
    EXPECT_EQ(init->windowTitle(), QStringLiteral("预入库初始化"));
    setMaster("PARTNERID", 2);
    addLine("DZ0004", 4, 30);
    ASSERT_TRUE(save()) << err();
    EXPECT_LT(scalar(QStringLiteral("select min(NOTEID) from valuepth")).toLongLong(), 0)
        << "an opening note's key is negative";
}

TEST_F(FamilyValueTest, TheSystemsReversalKindIsNeitherEnteredNorUnauditedNorRestored)
{
    open();
    auto *kind = child<widgets::TRqLookupCombo>("cmbNoteKind");
    EXPECT_FALSE(kind->setKeyValue(3));
    EXPECT_EQ(lastError(), QStringLiteral("估价冲回(机制)类型不能作为开单使用！"));
    EXPECT_EQ(master("NOTEKIND").toInt(), 1);
    EXPECT_TRUE(kind->setKeyValue(2));
    EXPECT_EQ(ioCaption(), QStringLiteral("出库数量")) << "a reversal takes the goods out";
    EXPECT_TRUE(kind->setKeyValue(1));
    EXPECT_EQ(ioCaption(), QStringLiteral("入库数量"));

    const qint64 system = writeNote("valuepth", "YC-1", 1, 3, 2, {{"DZ0004", 5, 30}});
    open();
    ASSERT_TRUE(form()->LoadNote(int(system)));
    EXPECT_TRUE(auditRefused("valuepth", system, 1, QStringLiteral("机制估价冲回单不能反审核！")));
    sql(QStringLiteral("update valuepth set NOTESTATE=2 where NOTEID=%1").arg(system));
    form()->ReloadNote();
    form()->muAbateClick();
    EXPECT_EQ(lastError(), QStringLiteral("机制估价冲回单不能反作废！"));
    EXPECT_EQ(state(system), 2);
}

TEST_F(FamilyValueTest, TheReversalTakesTheOpenLinesAndAReversedReceiptIsMarked)
{
    const int before = count("valuepth");
    const qint64 id = writeNote("valuepth", "YR-4", 1, 1, 3,
                                {{"SP0001", 20, 18, 5, QStringLiteral("'B-0404'"), QStringLiteral("'2026-10-01'")},
                                 {"BG0001", 8, 18, 8, QStringLiteral("null"), QStringLiteral("null")}},
                                "REFERQTY, BCODE, PRODUCTDAY");
    sql(QStringLiteral("insert into noteflowaath (ID, NOTETYPE, NOTEID, ITEMSNO, NOTEDATE, BUILDINGID, COMMODITYID, "
                       "QUANTITY, IOFLAG) values (7701, 3, %1, 1, '2026-10-02', 1, %2, 20, 1)").arg(id)
            .arg(goods(QStringLiteral("SP0001"))));
    open();
    ASSERT_TRUE(form()->LoadNote(int(id)));
    EXPECT_FALSE(child("lbReversed")->isVisibleTo(form()));
    form()->muValueToClick();
    ASSERT_TRUE(errors().isEmpty()) << err();
    EXPECT_TRUE(form()->IsNewNote());
    EXPECT_EQ(masters("NOTEKIND,PARTNERID"), QStringLiteral("2/3"));
    ASSERT_EQ(lines()->RecordCount(), 1) << "the fully taken line stays behind";
    EXPECT_EQ(row(0, "QUANTITY,BCODE,BTURNNOTEID"), QStringLiteral("-15/B-0404/7701")) << "what is left, going out";
    EXPECT_EQ(refer(0), QStringLiteral("3/%1/1").arg(id));
    ASSERT_TRUE(save()) << err();
    const qint64 reversal = current();
    EXPECT_EQ(values("valuepthDetail", reversal, "BTURNNOTEID"), QStringLiteral("7701"));

    // The rest is settled by a purchase receipt of kind 3 made from the menu.
    ASSERT_TRUE(form()->LoadNote(int(id)));
    form()->muPurchaseClick();
    auto receipt = opened<TPBuyForm>("PBuyForm");
    ASSERT_NE(receipt, nullptr) << err();
    EXPECT_EQ(receipt->MasterValue(QStringLiteral("NOTEKIND")).toInt(), 3);
    ASSERT_EQ(receipt->DetailDataSet()->RecordCount(), 1);
    EXPECT_EQ(row(0, "REFERNOTETYPE,REFERNOTEID,REFERITEMSNO,QUANTITY", receipt.get()), QStringLiteral("3/%1/1/15").arg(id));
    receipt.reset();

    // Once nothing is open the receipt is marked and makes nothing more.
    sql(QStringLiteral("update valuepthDetail set REFERQTY=QUANTITY where NOTEID=%1").arg(id));
    ASSERT_TRUE(form()->LoadNote(int(id)));
    EXPECT_TRUE(child("lbReversed")->isVisibleTo(form()));
    form()->muValueToClick();
    EXPECT_EQ(m_messages.last().text, QStringLiteral("已经冲回"));
    form()->muPurchaseClick();
    EXPECT_EQ(m_messages.last().text, QStringLiteral("已经冲回不能再生成采购单"));
    sql(QStringLiteral("update valuepth set SHOPERATEID=1 where NOTEID=%1").arg(id));
    form()->ReloadNote();
    form()->muValueToClick();
    EXPECT_EQ(m_messages.last().text, QStringLiteral("分支的单据不能做此业务。"));
    EXPECT_EQ(count("valuepth"), before + 2) << "the receipt and one reversal";
}

TEST_F(FamilyValueTest, OrderLinesAreTurnedInAndAStoppedOrderLineStopsTheAudit)
{
    const qint64 order = writeNote("orderpth", "PO-2", 1, 1, 1, {{"BG0005", 12, 9.5, 5}}, "BUYQTY");
    open();
    setMaster("PARTNERID", 1);
    turnIn(order);
    ASSERT_TRUE(errors().isEmpty()) << err();
    ASSERT_EQ(lines()->RecordCount(), 1);
    EXPECT_EQ(row(0, "COMMODITYCODE,QUANTITY,PRICE"), QStringLiteral("BG0005/7/9.5")) << "ordered 12, received 5";
    EXPECT_EQ(refer(0), QStringLiteral("2/%1/1").arg(order));
    ASSERT_TRUE(save()) << err();
    const qint64 id = current();
    sql(QStringLiteral("update orderpthDetail set CLOSED=1 where NOTEID=%1").arg(order));
    EXPECT_TRUE(auditRefused("valuepth", id, 0, QStringLiteral("有采购订单记录已停止交易,不能审核收货！")));
    sql(QStringLiteral("update orderpthDetail set CLOSED=0 where NOTEID=%1").arg(order));
    form()->CheckBtnClick();
    EXPECT_EQ(state(id), 1) << err();
}

} // namespace
