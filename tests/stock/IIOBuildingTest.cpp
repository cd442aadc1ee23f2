// The stock in/out note through its window: the master checks, what a change
// of source type, store or kind clears, notes audited into stock and back
// exactly, lines turned in from orders and receipts, a system note's refusals.

#include "IIOBuildingForm.h"
#include "StockFixture.h"

namespace {

class IIOBuildingTest : public stocktest::StockTest<TIIOBuildingForm> {
protected:
    void SetUp() override
    {
        StockTest::SetUp();
        setParam(QStringLiteral("IsPSequence"), QStringLiteral("0"));
        setParam(QStringLiteral("IsSSequence"), QStringLiteral("0"));
    }
    // A new note of the source type with its store and employee set.
    void start(int sourceType, int store, qint64 partner = 0)
    {
        open();
        setMaster("NOTETYPE", sourceType);
        if (partner)
            setMaster("PARTNERID", partner);
        setMaster("BUILDINGID", store);
        setMaster("EMPID", 5);
    }
};

TEST_F(IIOBuildingTest, TheMasterChecksRunInOrderAndTheSourceTypeSetsThePartnerList)
{
    open();
    EXPECT_EQ(masters("NOTETYPE,ISAUTO,NOTEKIND"), QStringLiteral("4/0/1"));
    auto *partner = child<widgets::TRqLookupCombo>("cmbPartner");
    EXPECT_TRUE(partner->ListFilter().startsWith(QStringLiteral("IsVendor = 1")));
    addLine("BG0003", 2, 1.5);
    EXPECT_TRUE(refused(QStringLiteral("请选往来单位！")));
    setMaster("PARTNERID", 1);
    EXPECT_TRUE(refused(QStringLiteral("请选择仓库！")));
    setMaster("BUILDINGID", 1);
    EXPECT_EQ(lines()->RecordCount(), 0) << "a change of store takes the lines";
    addLine("BG0003", 2, 1.5);
    setMaster("EMPID", QVariant()); // the supplier brought his own
    EXPECT_TRUE(refused(QStringLiteral("请选择跟单人！")));

    // A sales type lists customers; a change of type takes the lines and the partner.
    setMaster("NOTETYPE", 14);
    EXPECT_TRUE(partner->ListFilter().startsWith(QStringLiteral("IsClient = 1")));
    EXPECT_TRUE(master("PARTNERID").isNull());
    EXPECT_EQ(lines()->RecordCount(), 0);
    // Other types name no partner: the field goes and is not asked for.
    setMaster("NOTETYPE", 22);
    EXPECT_TRUE(partner->isHidden());
    setMaster("EMPID", 5);
    addLine("BG0003", 2, 1.5);
    // Lines of a stock document's source type keep what the source decided.
    EXPECT_FALSE(grid()->CanEditColumn(grid()->ColumnOfField(QStringLiteral("QUANTITY"))));
    EXPECT_TRUE(grid()->CanEditColumn(grid()->ColumnOfField(QStringLiteral("REMARK"))));
    EXPECT_TRUE(save()) << err();
    // A change of kind clears the source type.
    setMaster("NOTEKIND", 2);
    EXPECT_TRUE(master("NOTETYPE").isNull());
    m_messages.answer(AnswerNo); // the changes are not kept
    form()->CancelBtnClick();
    EXPECT_EQ(masters("NOTEKIND,NOTETYPE"), QStringLiteral("1/22"));

    // The POS day-end type is offered only on an audited note.
    auto *types = child<widgets::TRqLookupCombo>("cmbnoteType");
    EXPECT_EQ(types->ListFilter(), QStringLiteral(" noteType <> 73"));
    const qint64 id = lastNote("iostoreith");
    EXPECT_EQ(audit("iostoreith", id), 1) << err();
    form()->LoadNote(int(id));
    EXPECT_TRUE(types->ListFilter().isEmpty());
}

TEST_F(IIOBuildingTest, KeyedInNotesMoveStockOnAuditAndBackExactlyOnUnaudit)
{
    const QString before = onHand("BG0003", 2);
    ASSERT_EQ(before, QStringLiteral("0/0")) << "the demo keeps no pens in store 2";
    // Goods received for a purchase: into store 2 at the line's price.
    start(4, 2, 1);
    addLine("BG0003", 10, 2);
    const qint64 in = saveAndAudit("iostoreith");
    EXPECT_EQ(flows(21, in), QStringLiteral("2:1:10:2"));
    const QString received = onHand("BG0003", 2);
    EXPECT_EQ(received, QStringLiteral("10/20"));

    // Issued for a sale: out at the moving average; a return (kind 2) of a
    // sale comes back in.
    start(14, 2, 7); // 联华超市
    addLine("BG0003", 4, 9);
    const qint64 out = saveAndAudit("iostoreith");
    EXPECT_EQ(flows(21, out), QStringLiteral("2:-1:4:9"));
    EXPECT_EQ(onHand("BG0003", 2), QStringLiteral("6/12")) << "out at the average of 2";

    // Un-audit in reverse order gives back exactly what was there.
    EXPECT_EQ(audit("iostoreith", out), 0) << err();
    EXPECT_EQ(onHand("BG0003", 2), received);
    EXPECT_EQ(audit("iostoreith", in), 0) << err();
    EXPECT_EQ(onHand("BG0003", 2), before);
    EXPECT_EQ(flows(21, in), QString());

    // Kind 2 of a purchase type sends goods back out.
    const qint64 back = writeInOut(1, 2, 4, 2, 0, {{"BG0003", 3, 2}});
    EXPECT_EQ(flows(21, back), QStringLiteral("2:-1:3:2"));
}

TEST_F(IIOBuildingTest, OrderLinesAreTurnedInOnceAndReceiptsAreRecordedWithoutMovingStockTwice)
{
    const qint64 order = writeNote("orderpth", "PO-9", 1, 1, 1, {{"BG0003", 10, 1.5, 6}, {"BG0005", 5, 12, 0}}, "BUYQTY");
    open();
    setMaster("NOTETYPE", 4);
    form()->SelectSourceNote();
    EXPECT_EQ(lastError(), QStringLiteral("请选择往来单位！"));
    setMaster("NOTETYPE", QVariant());
    form()->SelectSourceNote();
    EXPECT_EQ(lastError(), QStringLiteral("请选择开单类型！"));
    setMaster("NOTETYPE", 4);
    setMaster("PARTNERID", 1);
    form()->SelectSourceNote();
    EXPECT_EQ(lastError(), QStringLiteral("请选择仓库！"));
    EXPECT_TRUE(m_modal.records().isEmpty()) << "no selector before the checks pass";

    setMaster("BUILDINGID", 1);
    setMaster("EMPID", 5);
    turnIn(order);
    ASSERT_EQ(lines()->RecordCount(), 2) << err();
    EXPECT_EQ(row(0, "QUANTITY,PRICE,REFERNOTECODE"), QStringLiteral("4/1.5/PO-9"));
    EXPECT_EQ(refer(1), QStringLiteral("2/%1/2").arg(order));
    turnIn(order);
    EXPECT_EQ(lines()->RecordCount(), 2) << "a source line is taken once";
    const QString before = onHand("BG0005", 1);
    saveAndAudit("iostoreith");
    EXPECT_EQ(column("orderpthDetail", order, "REFERQTY", 1).toDouble(), 4);
    EXPECT_NE(onHand("BG0005", 1), before);

    // With the sequence on, goods a receipt took in are recorded: the
    // receipt line counts them, the stock does not move again.
    setParam(QStringLiteral("IsPSequence"), QStringLiteral("1"));
    const qint64 receipt = writeNote("purchasepth", "CG-3", 1, 1, 2, {{"BG0005", 7, 12}});
    start(4, 1, 2);
    turnIn(receipt);
    ASSERT_EQ(lines()->RecordCount(), 1) << err();
    EXPECT_TRUE(form()->SetupDetailField(*lines()->FieldByName(QStringLiteral("QUANTITY")))) << "the receipt's quantity stays";
    EXPECT_FALSE(form()->SetupDetailField(*lines()->FieldByName(QStringLiteral("REMARK"))));
    const QString received = onHand("BG0005", 1);
    const qint64 recorded = saveAndAudit("iostoreith");
    EXPECT_EQ(onHand("BG0005", 1), received);
    EXPECT_EQ(column("purchasepthDetail", receipt, "IOQTY", 1).toDouble(), 7);
    toggleAudit(recorded);
    EXPECT_EQ(column("purchasepthDetail", receipt, "IOQTY", 1).toDouble(), 0);
}

TEST_F(IIOBuildingTest, ASystemNoteIsNeverUnauditedOrUnvoidedHere)
{
    const qint64 made = writeInOut(1, 1, 4, 1, 1, {{"BG0003", 2, 1.5}});
    const qint64 voided = writeInOut(2, 1, 4, 1, 1, {{"BG0003", 2, 1.5}});
    const qint64 byHand = writeInOut(1, 1, 22, 1, 0, {{"BG0003", 2, 1.5}});
    open();
    form()->LoadNote(int(made));
    EXPECT_TRUE(child<QLabel>("lbAuto")->isVisibleTo(form()));
    form()->UncheckNote();
    EXPECT_EQ(lastError(), QStringLiteral("机制出入库单不能反审核！"));
    EXPECT_EQ(state("iostoreith", made), 1);
    form()->LoadNote(int(voided));
    form()->UnabateNote();
    EXPECT_EQ(lastError(), QStringLiteral("机制出入库单不能反作废！"));
    EXPECT_EQ(state("iostoreith", voided), 2);
    form()->LoadNote(int(byHand));
    EXPECT_FALSE(child<QLabel>("lbAuto")->isVisibleTo(form()));
    EXPECT_TRUE(form()->UncheckNote()) << err();
    EXPECT_EQ(state("iostoreith", byHand), 0);
}

} // namespace
