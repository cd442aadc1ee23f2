// Receipts made from other notes: order lines turned in through the selector
// (open quantity, never a line twice), estimated receipts settled whole or
// split by what issuing notes drew from their batch, a return made from the
// open lines of a receipt, and a receipt made from an order by its menu.

#include "PBuyForm.h"
#include "PurchaseFixture.h"


namespace {

std::pair<int, qint64> s_located;
long recordLocate(const QString &, const QString &, QnParams *params)
{
    s_located = {params->GetValue(QStringLiteral("NOTETYPE")).toInt(), params->GetValue(QStringLiteral("NOTEID")).toInt64()};
    return 0;
}

class PBuyTurnInTest : public purchasetest::PurchaseTest<TPBuyForm> {
protected:
    // An audited estimated receipt of S003: 10 bottles of water in batch B1,
    // with its batch flow record; returns {note id, flow id}.
    std::pair<qint64, qint64> estimatedReceipt()
    {
        const qint64 note = writeNote("valuepth", "YR-1", 1, 1, 3, {{"SP0001", 10, 18, QStringLiteral("'B1'")}}, "BCODE");
        const qint64 flow = scalar(QStringLiteral("select max(ID) from noteflowaath")).toLongLong() + 1000;
        sql(QStringLiteral("insert into noteflowaath (ID, NOTETYPE, NOTEID, ITEMSNO, NOTEDATE, BUILDINGID, COMMODITYID, "
                           "QUANTITY, PRICE, BCODE, IOFLAG) values (%1, 3, %2, 1, '%3', 1, %4, 10, 18, 'B1', 1)")
                .arg(flow).arg(note).arg(GetFirstDayOfPosMonth().toString(Qt::ISODate))
                .arg(goods(QStringLiteral("SP0001"))));
        return {note, flow};
    }
    int state(qint64 id) { return column("purchasepth", id, "NOTESTATE").toInt(); }
    qint64 savedNote() { return lastNote("purchasepth"); }
};

TEST_F(PBuyTurnInTest, OpenOrderLinesAreTurnedInOnceWithWhatIsLeft)
{
    // Ordered 10, 6 received: 4 left. The other line is wholly open.
    const qint64 order = writeNote("orderpth", "PO-7", 1, 1, 1, {{"BG0003", 10, 1.5, 6}, {"BG0005", 5, 12, 0}}, "BUYQTY");
    open();
    form()->SelectSourceNote();
    EXPECT_EQ(lastError(), QStringLiteral("请选择供应商！"));
    EXPECT_TRUE(m_modal.records().isEmpty()) << "no selector without a supplier";
    setMaster("PARTNERID", 1);
    turnIn(order);
    ASSERT_EQ(lines()->RecordCount(), 2) << err();
    for (int r : {0, 1})
        EXPECT_EQ(row(r, "QUANTITY,PRICE,REFERNOTECODE") + u'/' + refer(r),
                  QStringLiteral("%1/PO-7/2/%2/%3").arg(r ? "5/12" : "4/1.5").arg(order).arg(r + 1));
    turnIn(order);
    EXPECT_EQ(lines()->RecordCount(), 2) << "a source line is taken once";
    ASSERT_TRUE(save()) << err();
    // Shown again, the source number comes from the books; a double-click
    // on the line asks the package to open that order.
    form()->LoadNote(int(savedNote()));
    EXPECT_EQ(line(0, "REFERNOTECODE").toString(), QStringLiteral("PO-7"));
    RegistFunction(QStringLiteral("LOCATENOTE"), &recordLocate);
    const QModelIndex source = grid()->model()->index(0, grid()->ColumnOfField(QStringLiteral("REFERNOTECODE")));
    grid()->setCurrentIndex(source);
    emit grid()->doubleClicked(source);
    EXPECT_EQ(s_located, std::make_pair(2, order));
}

TEST_F(PBuyTurnInTest, AnEstimatedBatchIsSettledWholeOrSplitByWhatWasDrawn)
{
    const auto [note, flow] = estimatedReceipt();
    sql(QStringLiteral("insert into PcSplit (ID, BTURNNOTEID, NOTETYPE, NOTEID, ITEMSNO, NOTESTATE, QUANTITY) values "
                       "(9001, %1, 14, 301, 2, 1, 4), (9002, %1, 23, 302, 1, 0, 3), (9003, %1, 14, 303, 1, 2, 9)")
            .arg(flow));
    const QString question = QStringLiteral("估价入库的批次货品已经被出库类单据引用，\r\n "
                                            "选择“是”整单冲回，选择“否”根据被引用的批次数量拆分冲回");
    auto start = [this] {
        open();
        setMaster("NOTEKIND", 3);
        setMaster("PARTNERID", 3);
    };
    // No: one line per split still standing (the void one is left out).
    start();
    m_messages.answer(AnswerNo);
    turnIn(note);
    EXPECT_EQ(m_messages.last().text, question);
    ASSERT_EQ(lines()->RecordCount(), 2);
    const char *split = "QUANTITY,SPLITNOTETYPE,SPLITNOTEID,SPLITITEMSNO,BTURNNOTEID,REMARK";
    EXPECT_EQ(row(0, split), QStringLiteral("4/14/301/2/%1/YR-1单拆分出来。").arg(flow));
    EXPECT_EQ(row(1, split), QStringLiteral("3/23/302/1/%1/YR-1单拆分出来。").arg(flow));
    // Split by the selector's own box: nobody is asked.
    start();
    m_messages.clear();
    turnIn(note, true);
    EXPECT_EQ(lines()->RecordCount(), 2);
    EXPECT_TRUE(m_messages.records().isEmpty());

    // Yes: the whole batch on one line; the save reverses the estimated receipt.
    start();
    m_messages.answer(AnswerYes);
    turnIn(note);
    ASSERT_EQ(lines()->RecordCount(), 1);
    EXPECT_EQ(row(0, "QUANTITY,BTURNNOTEID,BCODE,REFERNOTETYPE"), QStringLiteral("10/%1/B1/3").arg(flow));
    ASSERT_TRUE(save()) << err();
    // Audit wants the whole batch reversed: what the books hold against it
    // must equal what was received.
    const qint64 id = savedNote();
    const QString booked = QStringLiteral("update noteflowaath set QUANTITY=%1 where NOTETYPE=3 and BTURNNOTEID=%2");
    sql(booked.arg(7).arg(flow));
    EXPECT_TRUE(auditRefused("purchasepth", id, 0, QStringLiteral("批次整批冲回时，冲回数量和原始数量不想等！")));
    sql(booked.arg(10).arg(flow));
    form()->CheckBtnClick();
    EXPECT_EQ(state(id), 1) << err();
}

TEST_F(PBuyTurnInTest, AReturnIsMadeFromTheOpenLinesOnly)
{
    open();
    setMaster("PARTNERID", 1);
    addLine("BG0003", 10, 1.5);
    addLine("BG0005", 2, 12);
    ASSERT_TRUE(save());
    const qint64 receipt = savedNote();
    const QString code = master("NOTECODE").toString();
    form()->CheckBtnClick();
    form()->LoadNote(int(receipt));
    // Three pens already went back; the staplers all went back.
    sql(QStringLiteral("update purchasepthDetail set REFERQTY=case ITEMSNO when 1 then -3 else 2 end where NOTEID=%1")
            .arg(receipt));
    form()->muPToReturnClick();
    EXPECT_EQ(masters("NOTEKIND,PARTNERID,NOTESTATE"), QStringLiteral("2/1/0"));
    ASSERT_EQ(lines()->RecordCount(), 1);
    EXPECT_EQ(row(0, "QUANTITY,PRICE,REFERNOTECODE"), QStringLiteral("-7/1.5/") + code) << "a return goes out of stock";
    EXPECT_EQ(refer(0), QStringLiteral("4/%1/1").arg(receipt));
    ASSERT_TRUE(save()) << err();
    EXPECT_EQ(column("purchasepth", savedNote(), "NOTEKIND").toInt(), 2);

    sql(QStringLiteral("update purchasepthDetail set REFERQTY=QUANTITY where NOTEID=%1").arg(receipt));
    form()->LoadNote(int(receipt));
    form()->muPToReturnClick();
    EXPECT_EQ(lastError(), QStringLiteral("此单已经完全退货！"));
    EXPECT_EQ(form()->CurrentNoteID(), receipt) << "nothing new is started";
}

TEST_F(PBuyTurnInTest, AReceiptMadeFromAnOrderTakesItsOpenLines)
{
    const qint64 order = writeNote("orderpth", "PO-9", 1, 1, 2, {{"DZ0001", 10, 40, 0, 0}, {"DZ0002", 3, 200, 1, 0},
                                   {"DZ0003", 2, 650, 0, 2}}, "CLOSED, BUYQTY");
    sql(QStringLiteral("update orderpth set PAYTYPESID=3 where NOTEID=%1").arg(order));
    sql(QStringLiteral("update orderpthDetail set DISC=80 where ITEMSNO=1"));
    open();
    pk_note::ISourceNoteLoader *loader = form();
    ASSERT_TRUE(loader->LoadForSource(2, order)) << err();
    EXPECT_EQ(masters("NOTEKIND,PARTNERID,PAYTYPESID,REMARK"), QStringLiteral("1/2/3/from PO-9"));
    // The stopped line and the fully received one stay behind.
    ASSERT_EQ(lines()->RecordCount(), 1);
    EXPECT_EQ(row(0, "QUANTITY,DISC,PRICE,ORIGPRICE,REFERNOTECODE"), QStringLiteral("10/80/40/50/PO-9"));
    sql(QStringLiteral("update orderpthDetail set CLOSED=1 where ITEMSNO=1"));
    EXPECT_FALSE(loader->LoadForSource(2, order));
    EXPECT_EQ(lastError(), QStringLiteral("此单没有可以生成的记录！"));
}

} // namespace
