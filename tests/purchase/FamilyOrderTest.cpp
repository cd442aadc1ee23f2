// The purchase order and the purchase requisition through their windows: a
// note keyed in, saved and audited by keyboard; the arrival date; stopping
// the whole note and single lines, before and after the audit; the un-audit
// refusals; turning requisition lines into the order; making a receipt.

#include "FamilyFixture.h"

#include "PBuyForm.h"
#include "PNOrderForm.h"
#include "RePurchaseForm.h"
#include "widgets/DBControls.h"

#include <QAction>
#include <QCheckBox>

using namespace familytest;

namespace {

class FamilyOrderTest : public FamilyTest {
protected:
    // An order of S001 with two lines, saved (and audited when asked).
    qint64 savedOrder(bool audit)
    {
        auto *order = open<TPNOrderForm>();
        setMaster("PARTNERID", supplier("S001"));
        setMaster("REVDATE", GetFirstDayOfPosMonth().addDays(20));
        typeLine(QStringLiteral("BG0001"), QStringLiteral("10"));
        typeLine(QStringLiteral("BG0003"), QStringLiteral("5"));
        order->OkBtnClick();
        EXPECT_TRUE(errors().isEmpty()) << errorText();
        const qint64 id = qint64(form()->CurrentNoteID());
        if (audit)
            order->CheckBtnClick(); // moves on to the next note
        EXPECT_TRUE(errors().isEmpty()) << errorText();
        EXPECT_TRUE(order->LoadNote(int(id)));
        return id;
    }
    void clickLineClosed(int row)
    {
        const QModelIndex cell = grid()->model()->index(row, grid()->ColumnOfField(QStringLiteral("LINECLOSED")));
        grid()->setCurrentIndex(cell);
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, grid()->visualRect(cell).center());
    }
};

TEST_F(FamilyOrderTest, AnOrderIsKeyedInSavedAndAuditedByKeyboard)
{
    const int before = count(QStringLiteral("orderpth"));
    auto *order = open<TPNOrderForm>();
    pick("cmbPartner", QStringLiteral("S001"));
    EXPECT_EQ(master("PARTNERID").toLongLong(), supplier("S001"));
    EXPECT_EQ(master("CONTACTOR").toString(), QStringLiteral("周敏")) << "the supplier's contact comes along";
    child<QWidget>("edContractNo")->setFocus();
    type(QStringLiteral("HT-2026-01"));
    key(Qt::Key_Return);
    typeLine(QStringLiteral("BG0001"), QStringLiteral("10"), QStringLiteral("20"));
    typeLine(QStringLiteral("DZ0001"), QStringLiteral("2"), QStringLiteral("40"));
    EXPECT_EQ(lineAt(0, "COMMODITYNAME").toString(), QStringLiteral("A4复印纸"));
    EXPECT_EQ(lineAt(0, "BUILDINGID").toInt(), 1);

    // No arrival date: refused, nothing written.
    key(Qt::Key_F7);
    EXPECT_EQ(errors().value(0), QStringLiteral("请选择到货时间！"));
    EXPECT_EQ(count(QStringLiteral("orderpth")), before);
    m_messages.clear();

    // The arrival date is keyed into its empty box.
    const QDate arrival = GetFirstDayOfPosMonth().addDays(14);
    child<QWidget>("edRevDate")->setFocus();
    type(arrival.toString(QStringLiteral("yyyy-MM-dd")));
    key(Qt::Key_Return);
    EXPECT_EQ(master("REVDATE").toDate(), arrival);
    grid()->setFocus();
    key(Qt::Key_F7);
    ASSERT_TRUE(errors().isEmpty()) << errorText();
    const qint64 id = qint64(form()->CurrentNoteID());
    EXPECT_EQ(scalar(QStringLiteral("select CONTRACTNO from orderpth where NOTEID=%1").arg(id)).toString(),
              QStringLiteral("HT-2026-01"));
    EXPECT_EQ(count(QStringLiteral("orderpthDetail"), QStringLiteral("NOTEID=%1").arg(id)), 2);
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select QUANTITY from orderpthDetail where NOTEID=%1 and ITEMSNO=1").arg(id))
                         .toDouble(),
                     10);
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select PRICE from orderpthDetail where NOTEID=%1 and ITEMSNO=2").arg(id))
                         .toDouble(),
                     40);
    key(Qt::Key_F9);
    EXPECT_TRUE(errors().isEmpty()) << errorText();
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from orderpth where NOTEID=%1").arg(id)).toInt(), 1);
    ASSERT_TRUE(order->LoadNote(int(id)));
    EXPECT_TRUE(order->findChild<QAction *>(QStringLiteral("muPurchase"))->isEnabled());
}

TEST_F(FamilyOrderTest, StoppingTheWholeOrderStopsEveryLine)
{
    auto *order = open<TPNOrderForm>();
    setMaster("PARTNERID", supplier("S001"));
    setMaster("REVDATE", GetFirstDayOfPosMonth().addDays(20));
    typeLine(QStringLiteral("BG0001"), QStringLiteral("10"));
    typeLine(QStringLiteral("BG0003"), QStringLiteral("5"));
    auto *box = child<QCheckBox>("cbClosed");
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    EXPECT_EQ(master("CLOSED").toInt(), 1);
    for (int row = 0; row < lines()->RecordCount(); ++row) {
        EXPECT_EQ(lineAt(row, "CLOSED").toInt(), 1) << row;
        EXPECT_EQ(lineAt(row, "LINECLOSED").toString(), QStringLiteral("中止")) << row;
    }
    EXPECT_EQ(order->ClosedReportVariables().value(QStringLiteral("M.MClosed")).toString(), QStringLiteral("已中止"));
    order->OkBtnClick();
    ASSERT_TRUE(errors().isEmpty()) << errorText();
    const qint64 id = qint64(form()->CurrentNoteID());
    EXPECT_EQ(count(QStringLiteral("orderpthDetail"), QStringLiteral("NOTEID=%1 and CLOSED=1").arg(id)), 2);
    // Unticked again, every line trades again.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    order->OkBtnClick();
    ASSERT_TRUE(errors().isEmpty()) << errorText();
    EXPECT_EQ(count(QStringLiteral("orderpthDetail"), QStringLiteral("NOTEID=%1 and CLOSED=0").arg(id)), 2);
    EXPECT_EQ(scalar(QStringLiteral("select CLOSED from orderpth where NOTEID=%1").arg(id)).toInt(), 0);
    EXPECT_EQ(order->ClosedReportVariables().value(QStringLiteral("M.MClosed")).toString(), QStringLiteral("未中止"));
}

TEST_F(FamilyOrderTest, AStoppedOrReferredOrderIsNotUnaudited)
{
    const qint64 id = savedOrder(true);
    auto *order = static_cast<TPNOrderForm *>(form());
    // A click in the stop column of an audited order stops that line at once.
    clickLineClosed(1);
    EXPECT_EQ(scalar(QStringLiteral("select CLOSED from orderpthDetail where NOTEID=%1 and ITEMSNO=2").arg(id)).toInt(), 1);
    EXPECT_EQ(scalar(QStringLiteral("select CLOSED from orderpthDetail where NOTEID=%1 and ITEMSNO=1").arg(id)).toInt(), 0);
    EXPECT_EQ(lineAt(1, "LINECLOSED").toString(), QStringLiteral("中止"));
    order->CheckBtnClick();
    EXPECT_EQ(errors().value(0), QStringLiteral("有中止的单据不能反审核！"));
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from orderpth where NOTEID=%1").arg(id)).toInt(), 1);
    m_messages.clear();

    // Space on the stop column restarts it; goods received block the un-audit too.
    grid()->setFocus();
    grid()->setCurrentIndex(grid()->model()->index(1, grid()->ColumnOfField(QStringLiteral("LINECLOSED"))));
    key(Qt::Key_Space);
    EXPECT_EQ(scalar(QStringLiteral("select CLOSED from orderpthDetail where NOTEID=%1 and ITEMSNO=2").arg(id)).toInt(), 0);
    sql(QStringLiteral("update orderpthDetail set BUYQTY=3 where NOTEID=%1 and ITEMSNO=1").arg(id));
    order->CheckBtnClick();
    EXPECT_EQ(errors().value(0), QStringLiteral("单据已被引用过,不能反审核！"));
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from orderpth where NOTEID=%1").arg(id)).toInt(), 1);
    m_messages.clear();

    sql(QStringLiteral("update orderpthDetail set BUYQTY=0 where NOTEID=%1").arg(id));
    order->CheckBtnClick();
    EXPECT_TRUE(errors().isEmpty()) << errorText();
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from orderpth where NOTEID=%1").arg(id)).toInt(), 0);
}

TEST_F(FamilyOrderTest, StoppingAnAuditedOrderNeedsTheEditRight)
{
    const qint64 id = savedOrder(true);
    // A clerk who may only look at orders, other users' ones too.
    sql(QStringLiteral("delete from privilegemth where OPERATEID=2"));
    sql(QStringLiteral("insert into privilegemth (OPERATEID, PRIVILEGEID, ACTION) values (2, 2002, 1), (2, 2091, 5)"));
    SetCurrentUser(2);
    clickLineClosed(0);
    auto *box = child<QCheckBox>("cbClosed");
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    EXPECT_EQ(shown().size(), 2) << shown().join(u'|').toStdString();
    EXPECT_EQ(count(QStringLiteral("orderpthDetail"), QStringLiteral("NOTEID=%1 and CLOSED=1").arg(id)), 0);
    EXPECT_EQ(scalar(QStringLiteral("select CLOSED from orderpth where NOTEID=%1").arg(id)).toInt(), 0);
    EXPECT_FALSE(box->isChecked());
}

TEST_F(FamilyOrderTest, AStoppedOrCompleteOrBranchOrderMakesNoReceipt)
{
    const qint64 id = savedOrder(true);
    auto *order = static_cast<TPNOrderForm *>(form());
    sql(QStringLiteral("update orderpth set SHOPERATEID=1 where NOTEID=%1").arg(id));
    order->ReloadNote();
    order->muPurchaseClick();
    EXPECT_EQ(shown().value(0), QStringLiteral("分支的单据不能做此业务。"));
    m_messages.clear();

    sql(QStringLiteral("update orderpth set SHOPERATEID=0, CLOSED=1 where NOTEID=%1").arg(id));
    order->ReloadNote();
    order->muPurchaseClick();
    EXPECT_EQ(shown().value(0), QStringLiteral("已经完成或者整单中止不能再生成采购单"));
    m_messages.clear();

    // Everything received (or the rest stopped) is complete.
    sql(QStringLiteral("update orderpth set CLOSED=0 where NOTEID=%1").arg(id));
    sql(QStringLiteral("update orderpthDetail set BUYQTY=QUANTITY, FINISHED=1 where NOTEID=%1 and ITEMSNO=1").arg(id));
    sql(QStringLiteral("update orderpthDetail set CLOSED=1 where NOTEID=%1 and ITEMSNO=2").arg(id));
    order->ReloadNote();
    EXPECT_EQ(lineAt(0, "LINEFINISHED").toString(), QStringLiteral("完成"));
    EXPECT_EQ(lineAt(1, "LINEFINISHED").toString(), QString());
    order->muPurchaseClick();
    EXPECT_EQ(shown().value(0), QStringLiteral("已经完成或者整单中止不能再生成采购单"));
    EXPECT_EQ(openWindow(QStringLiteral("PBuyForm")), nullptr);
}

TEST_F(FamilyOrderTest, TheOrderMakesAReceiptOfItsOpenLines)
{
    const qint64 id = savedOrder(true);
    auto *order = static_cast<TPNOrderForm *>(form());
    sql(QStringLiteral("update orderpthDetail set BUYQTY=4 where NOTEID=%1 and ITEMSNO=1").arg(id));
    clickLineClosed(1); // the second line stops trading
    order->findChild<QAction *>(QStringLiteral("muPurchase"))->trigger();
    ASSERT_TRUE(errors().isEmpty()) << errorText();
    auto *receipt = dynamic_cast<TPBuyForm *>(openWindow(QStringLiteral("PBuyForm")));
    ASSERT_NE(receipt, nullptr);
    std::unique_ptr<QWidget> owned(receipt);
    EXPECT_TRUE(receipt->IsNewNote());
    EXPECT_EQ(receipt->MasterValue(QStringLiteral("PARTNERID")).toLongLong(), supplier("S001"));
    EXPECT_EQ(receipt->MasterValue(QStringLiteral("NOTEKIND")).toInt(), 1);
    data::ClientDataSet *d = receipt->DetailDataSet();
    ASSERT_EQ(d->RecordCount(), 1) << "the stopped line stays behind";
    d->First();
    EXPECT_EQ(receipt->DetailValue(QStringLiteral("COMMODITYID")).toLongLong(), goods("BG0001"));
    EXPECT_DOUBLE_EQ(receipt->DetailValue(QStringLiteral("QUANTITY")).toDouble(), 6) << "ordered 10, received 4";
    EXPECT_EQ(receipt->DetailValue(QStringLiteral("REFERNOTETYPE")).toInt(), 2);
    EXPECT_EQ(receipt->DetailValue(QStringLiteral("REFERNOTEID")).toLongLong(), id);
}

TEST_F(FamilyOrderTest, RequisitionLinesAreTurnedIntoTheOrder)
{
    const qint64 s1 = supplier("S001");
    insertNote(QStringLiteral("RePurchase"), 9501, 1, 1, s1, 0);
    insertLine(QStringLiteral("RepurchaseDetail"), 9501, 1, goods("BG0001"), 12, 19, QStringLiteral("REFERQTY"),
               QStringLiteral("4"));
    insertLine(QStringLiteral("RepurchaseDetail"), 9501, 2, goods("BG0004"), 30, 3);
    auto *order = open<TPNOrderForm>();
    order->SelectSourceNote();
    EXPECT_EQ(errors().value(0), QStringLiteral("请选择供应商！"));
    m_messages.clear();

    setMaster("PARTNERID", s1);
    // The user ticks the requisition in the selector and presses OK.
    m_modal.setHandler([](QWidget *w) {
        auto *selector = dynamic_cast<pk_note::INoteSelector *>(w);
        if (!selector)
            return 2;
        data::ClientDataSet *d = selector->SelectedLines();
        for (d->First(); !d->Eof(); d->Next()) {
            d->Edit();
            d->FieldByName(QStringLiteral("SELECTED"))->SetValue(1);
            d->Post();
        }
        return 1;
    });
    order->SelectSourceNote();
    ASSERT_TRUE(errors().isEmpty()) << errorText();
    ASSERT_EQ(lines()->RecordCount(), 2);
    EXPECT_EQ(lineAt(0, "COMMODITYID").toLongLong(), goods("BG0001"));
    EXPECT_DOUBLE_EQ(lineAt(0, "QUANTITY").toDouble(), 8) << "what is left of the requisition line";
    EXPECT_DOUBLE_EQ(lineAt(0, "PRICE").toDouble(), 19);
    EXPECT_EQ(lineAt(0, "REFERNOTETYPE").toInt(), 5);
    EXPECT_EQ(lineAt(0, "REFERNOTEID").toLongLong(), 9501);
    EXPECT_EQ(lineAt(1, "REFERITEMSNO").toInt(), 2);
    // Turned in again: no line twice.
    order->SelectSourceNote();
    EXPECT_EQ(lines()->RecordCount(), 2);
    setMaster("REVDATE", GetFirstDayOfPosMonth().addDays(3));
    order->OkBtnClick();
    ASSERT_TRUE(errors().isEmpty()) << errorText();
    EXPECT_EQ(count(QStringLiteral("orderpthDetail"), QStringLiteral("REFERNOTETYPE=5 and REFERNOTEID=9501")), 2);
}

TEST_F(FamilyOrderTest, ARequisitionIsKeyedInAndStoppedAsTheOrder)
{
    auto *req = open<TRePurchaseForm>();
    EXPECT_EQ(child<QLabel>("lbRevDate")->text(), QStringLiteral("采购时间"));
    pick("cmbPartner", QStringLiteral("S002"));
    typeLine(QStringLiteral("DZ0002"), QStringLiteral("3"), QStringLiteral("200"));
    key(Qt::Key_F7);
    EXPECT_EQ(errors().value(0), QStringLiteral("请选择到货时间！"));
    m_messages.clear();
    ASSERT_TRUE(child<widgets::TRqDBDateEdit>("edRevDate")->SetDateValue(GetFirstDayOfPosMonth().addDays(9)));
    grid()->setFocus();
    key(Qt::Key_F7);
    ASSERT_TRUE(errors().isEmpty()) << errorText();
    const qint64 id = qint64(form()->CurrentNoteID());
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select AMOUNT from RePurchase where NOTEID=%1").arg(id)).toDouble(),
                     scalar(QStringLiteral("select 600*(1+TAXRATE/100.0) from RepurchaseDetail where NOTEID=%1").arg(id))
                         .toDouble());
    key(Qt::Key_F9);
    ASSERT_EQ(scalar(QStringLiteral("select NOTESTATE from RePurchase where NOTEID=%1").arg(id)).toInt(), 1) << errorText();
    ASSERT_TRUE(req->LoadNote(int(id)));
    // Stopped whole after the audit: written at once, nothing asked, no un-audit.
    m_messages.clear();
    auto *box = child<QCheckBox>("cbClosed");
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    EXPECT_TRUE(shown().isEmpty()) << shown().join(u'|').toStdString();
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(scalar(QStringLiteral("select CLOSED from RePurchase where NOTEID=%1").arg(id)).toInt(), 1);
    EXPECT_EQ(count(QStringLiteral("RepurchaseDetail"), QStringLiteral("NOTEID=%1 and CLOSED=1").arg(id)), 1);
    EXPECT_EQ(req->ClosedReportVariables().value(QStringLiteral("M.MClosed")).toString(), QStringLiteral("已中止"));
    req->CheckBtnClick();
    EXPECT_EQ(errors().value(0), QStringLiteral("有中止的单据不能反审核！"));
    m_messages.clear();
    // The note menu restarts it, as the keyboard reaches it.
    ASSERT_TRUE(child<QAction>("muClosed")->isChecked());
    child<QAction>("muClosed")->trigger();
    EXPECT_EQ(scalar(QStringLiteral("select CLOSED from RePurchase where NOTEID=%1").arg(id)).toInt(), 0);
    EXPECT_EQ(count(QStringLiteral("RepurchaseDetail"), QStringLiteral("NOTEID=%1 and CLOSED=0").arg(id)), 1);
    sql(QStringLiteral("update RepurchaseDetail set REFERQTY=1 where NOTEID=%1").arg(id));
    req->CheckBtnClick();
    EXPECT_EQ(errors().value(0), QStringLiteral("单据已被引用过,不能反审核！"));
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from RePurchase where NOTEID=%1").arg(id)).toInt(), 1);
}

} // namespace
