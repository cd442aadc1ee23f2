// The estimated-price receipt through its window: a receipt keyed in, saved
// and audited by keyboard, stores required, the system's reversal kind
// refused and protected, a stopped order line stopping the audit, the
// reversal made from the open lines, the "已冲回" mark and the init mode.

#include "FamilyFixture.h"

#include "PBuyForm.h"
#include "PValueForm.h"

#include <QAction>
#include <QLabel>

using namespace familytest;

namespace {

class FamilyValueTest : public FamilyTest {
protected:
    TPValueForm *value() const { return static_cast<TPValueForm *>(form()); }
    int state(qint64 id) { return scalar(QStringLiteral("select NOTESTATE from valuepth where NOTEID=%1").arg(id)).toInt(); }
    QString ioCaption() const { return grid()->Column(grid()->ColumnOfField(QStringLiteral("IOQTY"))).Title; }
};

TEST_F(FamilyValueTest, AReceiptIsKeyedInSavedAndAuditedByKeyboard)
{
    const int before = count(QStringLiteral("valuepth"));
    open<TPValueForm>();
    EXPECT_EQ(master("NOTEKIND").toInt(), 1);
    EXPECT_EQ(ioCaption(), QStringLiteral("入库数量"));
    pick("cmbPartner", QStringLiteral("S002"));
    typeLine(QStringLiteral("DZ0003"), QStringLiteral("2"), QStringLiteral("600"));
    typeLine(QStringLiteral("DZ0004"), QStringLiteral("10"), QStringLiteral("30"));
    // A stocked commodity without a store is refused by name.
    grid()->setCurrentIndex(grid()->model()->index(1, grid()->ColumnOfField(QStringLiteral("STORECODE"))));
    lines()->Edit();
    SetFieldValue(lines()->FieldByName(QStringLiteral("BUILDINGID")), QVariant());
    lines()->Post();
    key(Qt::Key_F7);
    EXPECT_EQ(errors().value(0), QStringLiteral("货品[U盘]的仓库不能为空！"));
    EXPECT_EQ(count(QStringLiteral("valuepth")), before);
    m_messages.clear();
    grid()->setCurrentIndex(grid()->model()->index(1, grid()->ColumnOfField(QStringLiteral("STORECODE"))));
    type(QStringLiteral("02"));
    key(Qt::Key_Return);
    key(Qt::Key_F7);
    ASSERT_TRUE(errors().isEmpty()) << errorText();
    const qint64 id = qint64(form()->CurrentNoteID());
    EXPECT_EQ(scalar(QStringLiteral("select BUILDINGID from valuepthDetail where NOTEID=%1 and ITEMSNO=2").arg(id)).toInt(), 2);
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select AMOUNT from valuepth where NOTEID=%1").arg(id)).toDouble(),
                     scalar(QStringLiteral("select sum(AMOUNT) from valuepthDetail where NOTEID=%1").arg(id)).toDouble());
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select PRICE*QUANTITY from valuepthDetail where NOTEID=%1 and ITEMSNO=1")
                                .arg(id))
                         .toDouble(),
                     1200);
    key(Qt::Key_F9);
    EXPECT_TRUE(errors().isEmpty()) << errorText();
    EXPECT_EQ(state(id), 1);
    ASSERT_TRUE(value()->LoadNote(int(id)));
    EXPECT_TRUE(child<QAction>("muValueTo")->isEnabled());
    EXPECT_FALSE(child<QLabel>("lbReversed")->isVisible());
}

TEST_F(FamilyValueTest, TheSystemsReversalKindIsNeitherEnteredNorUnauditedNorRestored)
{
    open<TPValueForm>();
    auto *kind = child<widgets::TRqLookupCombo>("cmbNoteKind");
    EXPECT_FALSE(kind->setKeyValue(3));
    EXPECT_EQ(errors().value(0), QStringLiteral("估价冲回(机制)类型不能作为开单使用！"));
    EXPECT_EQ(master("NOTEKIND").toInt(), 1);
    EXPECT_TRUE(kind->setKeyValue(2));
    EXPECT_EQ(ioCaption(), QStringLiteral("出库数量")) << "a reversal takes the goods out";
    EXPECT_TRUE(kind->setKeyValue(1));
    EXPECT_EQ(ioCaption(), QStringLiteral("入库数量"));
    m_messages.clear();

    const qint64 s2 = supplier("S002");
    insertNote(QStringLiteral("valuepth"), 9401, 1, 3, s2);
    insertLine(QStringLiteral("valuepthDetail"), 9401, 1, goods("DZ0004"), 5, 30);
    open<TPValueForm>();
    ASSERT_TRUE(value()->LoadNote(9401));
    EXPECT_EQ(ioCaption(), QStringLiteral("出库数量"));
    value()->CheckBtnClick();
    EXPECT_EQ(errors().value(0), QStringLiteral("机制估价冲回单不能反审核！"));
    EXPECT_EQ(state(9401), 1);
    m_messages.clear();
    sql(QStringLiteral("update valuepth set NOTESTATE=2 where NOTEID=9401"));
    value()->ReloadNote();
    value()->muAbateClick();
    EXPECT_EQ(errors().value(0), QStringLiteral("机制估价冲回单不能反作废！"));
    EXPECT_EQ(state(9401), 2);
    m_messages.clear();

    // A receipt whose lines later notes took is not un-audited.
    insertNote(QStringLiteral("valuepth"), 9402, 1, 1, s2);
    insertLine(QStringLiteral("valuepthDetail"), 9402, 1, goods("DZ0004"), 5, 30, QStringLiteral("REFERQTY"),
               QStringLiteral("2"));
    ASSERT_TRUE(value()->LoadNote(9402));
    value()->CheckBtnClick();
    EXPECT_EQ(errors().value(0), QStringLiteral("该单有记录已被引用,不能反审核!"));
    EXPECT_EQ(state(9402), 1);
}

TEST_F(FamilyValueTest, AStoppedOrderLineStopsTheAudit)
{
    const qint64 s1 = supplier("S001");
    insertNote(QStringLiteral("orderpth"), 9601, 1, 1, s1, 0);
    insertLine(QStringLiteral("orderpthDetail"), 9601, 1, goods("BG0001"), 10, 18, QStringLiteral("CLOSED"),
               QStringLiteral("1"));
    insertNote(QStringLiteral("valuepth"), 9403, 0, 1, s1);
    insertLine(QStringLiteral("valuepthDetail"), 9403, 1, goods("BG0001"), 10, 18,
               QStringLiteral("REFERNOTETYPE, REFERNOTEID, REFERITEMSNO"), QStringLiteral("2, 9601, 1"));
    open<TPValueForm>();
    ASSERT_TRUE(value()->LoadNote(9403));
    value()->CheckBtnClick();
    EXPECT_EQ(errors().value(0), QStringLiteral("有采购订单记录已停止交易,不能审核收货！"));
    EXPECT_EQ(state(9403), 0);
    m_messages.clear();
    sql(QStringLiteral("update orderpthDetail set CLOSED=0 where NOTEID=9601"));
    value()->CheckBtnClick();
    EXPECT_TRUE(errors().isEmpty()) << errorText();
    EXPECT_EQ(state(9403), 1);
}

TEST_F(FamilyValueTest, TheReversalTakesTheOpenLinesAndAReversedReceiptIsMarked)
{
    const qint64 s3 = supplier("S003");
    const int before = count(QStringLiteral("valuepth"));
    insertNote(QStringLiteral("valuepth"), 9404, 1, 1, s3);
    insertLine(QStringLiteral("valuepthDetail"), 9404, 1, goods("SP0001"), 20, 18,
               QStringLiteral("REFERQTY, BCODE, PRODUCTDAY"), QStringLiteral("5, 'B-0404', '2026-10-01'"));
    insertLine(QStringLiteral("valuepthDetail"), 9404, 2, goods("BG0001"), 8, 18, QStringLiteral("REFERQTY"),
               QStringLiteral("8"));
    sql(QStringLiteral("insert into noteflowaath (ID, NOTETYPE, NOTEID, ITEMSNO, NOTEDATE, BUILDINGID, COMMODITYID, "
                       "QUANTITY, IOFLAG) values (7701, 3, 9404, 1, '2026-10-02', 1, %1, 20, 1)")
            .arg(goods("SP0001")));
    open<TPValueForm>();
    ASSERT_TRUE(value()->LoadNote(9404));
    EXPECT_FALSE(child<QLabel>("lbReversed")->isVisibleTo(value()));
    value()->muValueToClick();
    ASSERT_TRUE(errors().isEmpty()) << errorText();
    EXPECT_TRUE(value()->IsNewNote());
    EXPECT_EQ(master("NOTEKIND").toInt(), 2);
    EXPECT_EQ(master("PARTNERID").toLongLong(), s3);
    ASSERT_EQ(lines()->RecordCount(), 1) << "the fully taken line stays behind";
    EXPECT_DOUBLE_EQ(lineAt(0, "QUANTITY").toDouble(), -15) << "what is left, going out";
    EXPECT_EQ(lineAt(0, "BCODE").toString(), QStringLiteral("B-0404"));
    EXPECT_EQ(lineAt(0, "BTURNNOTEID").toLongLong(), 7701);
    EXPECT_EQ(lineAt(0, "REFERNOTETYPE").toInt(), 3);
    EXPECT_EQ(lineAt(0, "REFERNOTEID").toLongLong(), 9404);
    EXPECT_EQ(lineAt(0, "REFERITEMSNO").toInt(), 1);
    value()->OkBtnClick();
    ASSERT_TRUE(errors().isEmpty()) << errorText();
    const qint64 reversal = value()->CurrentNoteID();
    EXPECT_EQ(scalar(QStringLiteral("select PARTNERID from valuepth where NOTEID=%1").arg(reversal)).toLongLong(), s3);
    EXPECT_EQ(count(QStringLiteral("valuepthDetail"), QStringLiteral("NOTEID=%1 and BTURNNOTEID=7701").arg(reversal)), 1);

    // The rest is settled by a purchase receipt of kind 3 made from the menu.
    ASSERT_TRUE(value()->LoadNote(9404));
    value()->muPurchaseClick();
    ASSERT_TRUE(errors().isEmpty()) << errorText();
    auto *receipt = dynamic_cast<TPBuyForm *>(openWindow(QStringLiteral("PBuyForm")));
    ASSERT_NE(receipt, nullptr);
    std::unique_ptr<QWidget> owned(receipt);
    EXPECT_EQ(receipt->MasterValue(QStringLiteral("NOTEKIND")).toInt(), 3);
    EXPECT_EQ(receipt->MasterValue(QStringLiteral("PARTNERID")).toLongLong(), s3);
    ASSERT_EQ(receipt->DetailDataSet()->RecordCount(), 1);
    EXPECT_EQ(receipt->DetailValue(QStringLiteral("REFERNOTETYPE")).toInt(), 3);
    EXPECT_EQ(receipt->DetailValue(QStringLiteral("REFERNOTEID")).toLongLong(), 9404);
    EXPECT_DOUBLE_EQ(receipt->DetailValue(QStringLiteral("QUANTITY")).toDouble(), 15);
    owned.reset();

    // Once nothing is open the receipt is marked and makes nothing more.
    sql(QStringLiteral("update valuepthDetail set REFERQTY=QUANTITY where NOTEID=9404"));
    ASSERT_TRUE(value()->LoadNote(9404));
    EXPECT_TRUE(child<QLabel>("lbReversed")->isVisibleTo(value()));
    value()->muValueToClick();
    EXPECT_EQ(shown().value(0), QStringLiteral("已经冲回"));
    value()->muPurchaseClick();
    EXPECT_EQ(shown().value(1), QStringLiteral("已经冲回不能再生成采购单"));
    sql(QStringLiteral("update valuepth set SHOPERATEID=1 where NOTEID=9404"));
    value()->ReloadNote();
    value()->muValueToClick();
    EXPECT_EQ(shown().value(2), QStringLiteral("分支的单据不能做此业务。"));
    EXPECT_EQ(count(QStringLiteral("valuepth")), before + 2) << "the receipt and one reversal";
}

TEST_F(FamilyValueTest, OrderLinesAreTurnedIntoAReceipt)
{
    const qint64 s1 = supplier("S001");
    insertNote(QStringLiteral("orderpth"), 9602, 1, 1, s1, 0);
    insertLine(QStringLiteral("orderpthDetail"), 9602, 1, goods("BG0005"), 12, 9.5, QStringLiteral("BUYQTY"),
               QStringLiteral("5"));
    open<TPValueForm>();
    value()->SelectSourceNote();
    EXPECT_EQ(errors().value(0), QStringLiteral("请选择供应商！"));
    m_messages.clear();
    setMaster("PARTNERID", s1);
    // The user ticks the lines of order 9602 and presses OK.
    m_modal.setHandler([](QWidget *w) {
        auto *selector = dynamic_cast<pk_note::INoteSelector *>(w);
        if (!selector)
            return 2;
        data::ClientDataSet *d = selector->SelectedLines();
        for (d->First(); !d->Eof(); d->Next()) {
            if (d->FieldByName(QStringLiteral("NOTEID"))->AsInteger() != 9602)
                continue;
            d->Edit();
            d->FieldByName(QStringLiteral("SELECTED"))->SetValue(1);
            d->Post();
        }
        return 1;
    });
    value()->SelectSourceNote();
    ASSERT_TRUE(errors().isEmpty()) << errorText();
    ASSERT_EQ(lines()->RecordCount(), 1);
    EXPECT_EQ(lineAt(0, "COMMODITYID").toLongLong(), goods("BG0005"));
    EXPECT_DOUBLE_EQ(lineAt(0, "QUANTITY").toDouble(), 7) << "ordered 12, received 5";
    EXPECT_DOUBLE_EQ(lineAt(0, "PRICE").toDouble(), 9.5);
    EXPECT_EQ(lineAt(0, "REFERNOTETYPE").toInt(), 2);
    EXPECT_EQ(lineAt(0, "REFERNOTEID").toLongLong(), 9602);
}

TEST_F(FamilyValueTest, TheInitialisationFunctionOpensTheInitMode)
{
    // Opening notes are entered in the first period, before the books are in use.
    setParam(QStringLiteral("IsStartUse"), QStringLiteral("0"));
    sql(QStringLiteral("update sysparamamth set DATAVALUE=(select DATAVALUE from sysparamamth where PARAMNAME='PosYear') "
                       "where PARAMNAME='StartYear'"));
    sql(QStringLiteral("update sysparamamth set DATAVALUE=(select DATAVALUE from sysparamamth where PARAMNAME='PosMonth') "
                       "where PARAMNAME='StartMonth'"));
    EXPECT_EQ(note_Call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("PVALUEFORM_INIT"), nullptr), 0);
    QWidget *w = openWindow(QStringLiteral("PValueForm"));
    ASSERT_NE(w, nullptr) << errorText();
    auto *form = dynamic_cast<TPValueForm *>(w);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->InitMode());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("预入库初始化"));
    m_form.reset(form);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    setMaster("PARTNERID", supplier("S002"));
    typeLine(QStringLiteral("DZ0004"), QStringLiteral("4"), QStringLiteral("30"));
    form->OkBtnClick();
    ASSERT_TRUE(errors().isEmpty()) << errorText();
    EXPECT_LT(scalar(QStringLiteral("select min(NOTEID) from valuepth")).toLongLong(), 0)
        << "an opening note's key is negative";
}

} // namespace
