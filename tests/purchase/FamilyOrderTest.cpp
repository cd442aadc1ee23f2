// The purchase order and requisition through their windows: the arrival date,
// stopping the note or single lines before and after the audit, the un-audit
// refusals, requisition lines turned in, a receipt made from the order.

#include "PurchaseFixture.h"

#include "PBuyForm.h"
#include "PNOrderForm.h"
#include "RePurchaseForm.h"
#include "widgets/DBControls.h"

#include <QCheckBox>
#include <QLabel>

namespace {

class FamilyOrderTest : public purchasetest::PurchaseTest<> {
protected:
    TPNOrderForm *order() const { return static_cast<TPNOrderForm *>(form()); }
    // A new order of S001: 10 reams of paper and 5 pens, arriving in 20 days.
    void startOrder()
    {
        open<TPNOrderForm>();
        setMaster("PARTNERID", 1);
        setMaster("REVDATE", GetFirstDayOfPosMonth().addDays(20));
        addLine("BG0001", 10, 18);
        addLine("BG0003", 5, 1.2);
    }
    // That order saved, audited and shown again.
    qint64 auditedOrder()
    {
        startOrder();
        return saveAndAudit("orderpth");
    }
    void clickLineClosed(int row)
    {
        const QModelIndex cell = grid()->model()->index(row, grid()->ColumnOfField(QStringLiteral("LINECLOSED")));
        grid()->setCurrentIndex(cell);
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, grid()->visualRect(cell).center());
    }
    QCheckBox *clickStopBox()
    {
        auto *box = child<QCheckBox>("cbClosed");
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        return box;
    }
    QString closedMark() const
    {
        return static_cast<TClosableNoteForm *>(form())->ClosedReportVariables().value(QStringLiteral("M.MClosed")).toString();
    }
};

TEST_F(FamilyOrderTest, StoppingTheWholeOrderStopsEveryLineAndAStoppedOrReferredOrderIsNotUnaudited)
{
    startOrder();
    clickStopBox();
    EXPECT_EQ(closedMark(), QStringLiteral("已中止"));
    ASSERT_TRUE(save()) << err();
    const qint64 id = current();
    EXPECT_EQ(stops("orderpth", id), QStringLiteral("1/1,1"));
    // Unticked again, every line trades again.
    clickStopBox();
    EXPECT_EQ(saveAndAudit("orderpth"), id);
    EXPECT_EQ(stops("orderpth", id), QStringLiteral("0/0,0"));
    EXPECT_EQ(closedMark(), QStringLiteral("未中止"));

    // A click in the stop column of an audited order stops that line at once.
    clickLineClosed(1);
    EXPECT_EQ(stops("orderpth", id), QStringLiteral("0/0,1"));
    EXPECT_EQ(line(1, "LINECLOSED").toString(), QStringLiteral("中止"));
    EXPECT_TRUE(auditRefused("orderpth", id, 1, QStringLiteral("有中止的单据不能反审核！")));
    // Space on the stop column restarts it; goods received block the un-audit too.
    grid()->setFocus();
    grid()->setCurrentIndex(grid()->model()->index(1, grid()->ColumnOfField(QStringLiteral("LINECLOSED"))));
    key(Qt::Key_Space);
    EXPECT_EQ(stops("orderpth", id), QStringLiteral("0/0,0"));
    sql(QStringLiteral("update orderpthDetail set BUYQTY=3 where NOTEID=%1 and ITEMSNO=1").arg(id));
    EXPECT_TRUE(auditRefused("orderpth", id, 1, QStringLiteral("单据已被引用过,不能反审核！")));
    sql(QStringLiteral("update orderpthDetail set BUYQTY=0 where NOTEID=%1").arg(id));
    order()->CheckBtnClick();
    EXPECT_EQ(state("orderpth", id), 0) << err();
}

TEST_F(FamilyOrderTest, StoppingAnAuditedOrderNeedsTheEditRight)
{
    const qint64 id = auditedOrder();
    // A clerk who may only look at orders, other users' ones too.
    sql(QStringLiteral("delete from privilegemth where OPERATEID=2"));
    sql(QStringLiteral("insert into privilegemth (OPERATEID, PRIVILEGEID, ACTION) values (2, 2002, 1), (2, 2091, 5)"));
    SetCurrentUser(2);
    m_messages.clear();
    clickLineClosed(0);
    auto *box = clickStopBox();
    EXPECT_EQ(shown().size(), 2) << err();
    EXPECT_EQ(stops("orderpth", id), QStringLiteral("0/0,0"));
    EXPECT_FALSE(box->isChecked());
}

TEST_F(FamilyOrderTest, TheOrderMakesAReceiptOfItsOpenLinesUnlessStoppedCompleteOrABranchs)
{
    const qint64 id = auditedOrder();
    sql(QStringLiteral("update orderpthDetail set BUYQTY=4 where NOTEID=%1 and ITEMSNO=1").arg(id));
    clickLineClosed(1); // the second line stops trading
    menu("muPurchase")->trigger();
    auto receipt = opened<TPBuyForm>("PBuyForm");
    ASSERT_NE(receipt, nullptr) << err();
    EXPECT_EQ(receipt->MasterValue(QStringLiteral("PARTNERID")).toInt(), 1);
    ASSERT_EQ(receipt->DetailDataSet()->RecordCount(), 1) << "the stopped line stays behind";
    EXPECT_EQ(row(0, "COMMODITYCODE,QUANTITY", receipt.get()), QStringLiteral("BG0001/6")) << "ordered 10, received 4";
    EXPECT_EQ(refer(0, receipt.get()), QStringLiteral("2/%1/1").arg(id));
    receipt.reset();

    const QString noMore = QStringLiteral("已经完成或者整单中止不能再生成采购单");
    const QString refusals[][2] = {{QStringLiteral("SHOPERATEID=1"), QStringLiteral("分支的单据不能做此业务。")},
                                   {QStringLiteral("SHOPERATEID=0, CLOSED=1"), noMore}};
    for (const auto &[set, text] : refusals) {
        sql(QStringLiteral("update orderpth set %1 where NOTEID=%2").arg(set).arg(id));
        order()->ReloadNote();
        order()->muPurchaseClick();
        EXPECT_EQ(m_messages.last().text, text);
    }
    // Everything received (or the rest stopped) is complete.
    sql(QStringLiteral("update orderpth set CLOSED=0 where NOTEID=%1").arg(id));
    sql(QStringLiteral("update orderpthDetail set BUYQTY=QUANTITY, FINISHED=1 where NOTEID=%1 and ITEMSNO=1").arg(id));
    order()->ReloadNote();
    m_messages.clear();
    order()->muPurchaseClick();
    EXPECT_EQ(shown(), QStringList{noMore});
    EXPECT_EQ(opened<TPBuyForm>("PBuyForm"), nullptr);
}

TEST_F(FamilyOrderTest, RequisitionLinesAreTurnedIntoTheOrder)
{
    const qint64 req = writeNote("RePurchase", "QG-1", 1, 1, 1, {{"BG0001", 12, 19, 4}, {"BG0004", 30, 3, 0}}, "REFERQTY");
    open<TPNOrderForm>();
    setMaster("PARTNERID", 1);
    turnIn(req);
    ASSERT_TRUE(errors().isEmpty()) << err();
    ASSERT_EQ(lines()->RecordCount(), 2);
    EXPECT_EQ(row(0, "COMMODITYCODE,QUANTITY,PRICE"), QStringLiteral("BG0001/8/19")) << "what is left of 12";
    EXPECT_EQ(refer(0), QStringLiteral("5/%1/1").arg(req));
    setMaster("REVDATE", GetFirstDayOfPosMonth().addDays(3));
    ASSERT_TRUE(save()) << err();
    EXPECT_EQ(count("orderpthDetail", QStringLiteral("REFERNOTETYPE=5 and REFERNOTEID=%1").arg(req)), 2);
}

TEST_F(FamilyOrderTest, ARequisitionNeedsItsDateAndIsStoppedAsTheOrder)
{
    auto *req = open<TRePurchaseForm>();
    EXPECT_EQ(child<QLabel>("lbRevDate")->text(), QStringLiteral("采购时间"));
    setMaster("PARTNERID", 2);
    addLine("DZ0002", 3, 200);
    EXPECT_TRUE(refused(QStringLiteral("请选择到货时间！")));
    ASSERT_TRUE(child<widgets::TRqDBDateEdit>("edRevDate")->SetDateValue(GetFirstDayOfPosMonth().addDays(9)));
    ASSERT_TRUE(save()) << err();
    const qint64 id = current();
    req->CheckBtnClick();
    ASSERT_EQ(state("RePurchase", id), 1) << err();
    ASSERT_TRUE(req->LoadNote(int(id)));
    // Stopped whole after the audit: written at once, nothing asked.
    m_messages.clear();
    EXPECT_TRUE(clickStopBox()->isChecked());
    EXPECT_TRUE(shown().isEmpty()) << err();
    EXPECT_EQ(stops("RePurchase", id), QStringLiteral("1/1"));
    // The note menu restarts it, as the keyboard reaches it.
    ASSERT_TRUE(menu("muClosed")->isChecked());
    menu("muClosed")->trigger();
    EXPECT_EQ(stops("RePurchase", id), QStringLiteral("0/0"));
    sql(QStringLiteral("update RepurchaseDetail set REFERQTY=1 where NOTEID=%1").arg(id));
    EXPECT_TRUE(auditRefused("RePurchase", id, 1, QStringLiteral("单据已被引用过,不能反审核！")));
}

} // namespace
