// The purchase receipt through its window: a note keyed in, the checks before
// save in order with their texts, the whole-note discount, invoicing
// termination, the payment and audit refusals; and receipts made from other
// notes: order lines turned in once, estimated receipts settled whole or split
// by what was drawn from their batch, a return from a receipt's open lines.

#include "PBuyForm.h"
#include "PurchaseFixture.h"

#include <QLabel>
#include <QLineEdit>

namespace {

std::pair<int, qint64> s_located;
long recordLocate(const QString &, const QString &, QnParams *params)
{
    s_located = {params->GetValue(QStringLiteral("NOTETYPE")).toInt(), params->GetValue(QStringLiteral("NOTEID")).toInt64()};
    return 0;
}

class PBuyReceiptTest : public purchasetest::PurchaseTest<TPBuyForm> {
protected:
    // A new receipt of S001: 10 pens at 1.50 and 2 staplers at 12.
    void startReceipt()
    {
        open();
        setMaster("PARTNERID", 1);
        addLine("BG0003", 10, 1.5);
        addLine("BG0005", 2, 12);
    }
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
    int notes() { return count("purchasepth"); }
    int state(qint64 id) { return PurchaseTest::state("purchasepth", id); }
    qint64 savedNote() { return lastNote("purchasepth"); }
};
using PBuyTurnInTest = PBuyReceiptTest;

TEST_F(PBuyReceiptTest, AReceiptKeyedInIsSavedAndAudited)
{
    open();
    ASSERT_EQ(focus()->objectName(), QStringLiteral("cmbPartner")) << "the window opens on the supplier";
    enter(QStringLiteral("S002"));
    EXPECT_EQ(master("PARTNERID").toInt(), 2);
    EXPECT_EQ(child<QLineEdit>("edBalance")->text(), QString::asprintf("%.2f", owed(2)));
    // Enter walks the master fields into the grid.
    for (int i = 0; i < 20 && focus() != grid(); ++i)
        key(Qt::Key_Return);
    ASSERT_EQ(focus(), grid());
    // Code, the commodity's own store kept, quantity, price before discount.
    enter(QStringLiteral("DZ0001"));
    key(Qt::Key_Return);
    EXPECT_EQ(line(0, "BUILDINGID").toInt(), 1);
    enter(QStringLiteral("3"));
    enter(QStringLiteral("40"));
    EXPECT_EQ(row(0, "QUANTITY,COMMODITYAMT,AMOUNT"), QStringLiteral("3/120/135.6")) << "the VAT invoice's tax rate";
    key(Qt::Key_F7);
    ASSERT_TRUE(errors().isEmpty()) << err();
    const qint64 id = savedNote();
    EXPECT_EQ(values("purchasepth", id, "PARTNERID, AMOUNT, CLOSEFILL"), QStringLiteral("2/135.6/0"));
    EXPECT_DOUBLE_EQ(column("purchasepthDetail", id, "QUANTITY*PRICE").toDouble(), 120);
    // F9 audits (what the audit posts: the stock postings' test).
    key(Qt::Key_F9);
    EXPECT_EQ(state(id), 1) << err();
}

TEST_F(PBuyReceiptTest, TheChecksBeforeSaveComeInOrderWithTheirTextsAndACashPartnerPaysAll)
{
    const int existing = notes();
    open();
    auto *payType = child("cmbPayType");
    EXPECT_FALSE(payType->isEnabled()) << "nothing paid: the settlement controls wait";
    addLine("BG0003", 10, 1.5);
    EXPECT_TRUE(refused(QStringLiteral("供应商不能为空")));
    setMaster("PARTNERID", 3);
    setMaster("PAYAMT", QVariant());
    EXPECT_TRUE(refused(QStringLiteral("本次现付不能为空")));
    setMaster("PAYAMT", -5);
    EXPECT_TRUE(refused(QStringLiteral("本次现付必须大于0！")));
    setMaster("PAYAMT", 5.004);
    EXPECT_TRUE(payType->isEnabled());
    EXPECT_TRUE(child("lbCheckNo")->isEnabled());
    EXPECT_DOUBLE_EQ(master("PAYAMT").toDouble(), 5) << "rounded to the amount precision";
    EXPECT_TRUE(refused(QStringLiteral("请选择结算方式！")));
    setMaster("PAYTYPESID", 2);
    EXPECT_EQ(master("ACCOUNTID").toInt(), 2) << "the settlement method's account";
    setMaster("ACCOUNTID", QVariant());
    EXPECT_TRUE(refused(QStringLiteral("请选择结算帐户！")));
    setMaster("ACCOUNTID", 2);
    setMaster("TERMDAYS", -1);
    EXPECT_TRUE(refused(QStringLiteral("付款期限不能小于0")));
    setMaster("TERMDAYS", 10);
    EXPECT_EQ(master("PAYDAY").toDate(), master("NOTEDATE").toDate().addDays(10));
    // A return refunds: 5 paid on the spot is refused. A new kind takes none
    // of the old lines and clears the amounts.
    setMaster("NOTEKIND", 2);
    EXPECT_EQ(lines()->RecordCount(), 0);
    EXPECT_DOUBLE_EQ(master("PAYAMT").toDouble(), 0);
    EXPECT_TRUE(master("PAYTYPESID").isNull()) << "nothing paid: no settlement method";
    addLine("BG0003", -10, 1.5);
    setMaster("PAYAMT", 5);
    setMaster("PAYTYPESID", 2);
    EXPECT_TRUE(refused(QStringLiteral("本次现付必须小于0！")));
    EXPECT_EQ(notes(), existing);

    // A cash supplier pays all now: OK stops to correct, Cancel saves anyway.
    sql(QStringLiteral("update partnerlth set ISCASHPARTNER=1, CREDIT=5, SCAMT=0 where PARTNERID=3"));
    setMaster("PARTNERID", 1);
    setMaster("PARTNERID", 3);
    setMaster("NOTEKIND", 1);
    addLine("BG0003", 10, 1.5);
    setLine("TAXRATE", 0);
    setMaster("PAYAMT", 5);
    setMaster("PAYTYPESID", 2);
    m_messages.clear();
    m_messages.answer(AnswerOk);
    form()->OkBtnClick();
    ASSERT_EQ(m_messages.records().size(), 1);
    EXPECT_EQ(m_messages.last().caption, QStringLiteral("提示"));
    EXPECT_EQ(m_messages.last().text,
              QStringLiteral("你选的是现金往来单位，本次现付（收）金额要与货品金额和相等，是否修改？"));
    EXPECT_EQ(notes(), existing);
    // Cancel: saved; the 10 still owed exceeds the credit of 5, which is only told.
    m_messages.answer(AnswerCancel);
    EXPECT_TRUE(save()) << err();
    EXPECT_EQ(m_messages.texts(pub::MessageKind::Information).value(0),
              QStringLiteral("此供应商的欠款已经超出其信用额度：5.00"));
    EXPECT_EQ(notes(), existing + 1);

    // A cash return paid back in full passes silently.
    open();
    setMaster("PARTNERID", 3);
    setMaster("NOTEKIND", 2);
    form()->muAppendDetailClick();
    EXPECT_DOUBLE_EQ(line(0, "QUANTITY").toDouble(), -1) << "a return line starts going out";
    setLine("COMMODITYCODE", QStringLiteral("BG0003"));
    setLine("TAXRATE", 0);
    setLine("PRICE", 1);
    setMaster("PAYAMT", -1);
    setMaster("PAYTYPESID", 1);
    m_messages.clear();
    EXPECT_TRUE(save()) << err();
    EXPECT_TRUE(m_messages.records().isEmpty()) << err();
    EXPECT_DOUBLE_EQ(column("purchasepth", savedNote(), "AMOUNT").toDouble(), -1);
}

TEST_F(PBuyReceiptTest, TheWholeNoteDiscountIsCheckedAndAppliedToEveryLine)
{
    startReceipt();
    for (double bad : {0.0, 100.01}) {
        setMaster("DISC", bad);
        EXPECT_EQ(lastError(), QStringLiteral("折扣数值应该在大于0并且小于等于100之间"));
        EXPECT_DOUBLE_EQ(master("DISC").toDouble(), 100);
        EXPECT_DOUBLE_EQ(line(0, "PRICE").toDouble(), 1.5) << "a refused discount changes no line";
    }
    m_messages.clear();
    setMaster("DISC", 0.5);
    EXPECT_TRUE(errors().isEmpty());
    EXPECT_EQ(row(0, "DISC,ORIGPRICE,PRICE") + u' ' + row(1, "DISC,ORIGPRICE,PRICE,COMMODITYAMT"),
              QStringLiteral("0.5/1.5/0.0075 0.5/12/0.06/0.12"));
    setMaster("DISC", 100);
    EXPECT_DOUBLE_EQ(line(1, "PRICE").toDouble(), 12);
}

TEST_F(PBuyReceiptTest, InvoicingIsTerminatedAndRestoredButNeverWhenComplete)
{
    startReceipt();
    const qint64 id = saveAndAudit("purchasepth");
    // The books' flag, the mark on the note and the menu's text.
    auto fill = [&] {
        return QStringLiteral("%1/%2/%3").arg(column("purchasepth", id, "CLOSEFILL").toString(),
                                              child<QLabel>("lbFillMark")->text(), menu("mufill")->text());
    };
    EXPECT_EQ(fill(), QStringLiteral("0//终止开票..."));
    menu("mufill")->trigger();
    EXPECT_EQ(fill(), QStringLiteral("1/终止开票/反终止开票..."));
    form()->CheckBtnClick(); // un-audit
    EXPECT_EQ(lastError(), QStringLiteral("已经终止开票不能反审核！"));
    menu("mufill")->trigger();
    EXPECT_EQ(fill(), QStringLiteral("0//终止开票..."));
    sql(QStringLiteral("update purchasepth set CLOSEFILL=2 where NOTEID=%1").arg(id));
    form()->ReloadNote();
    menu("mufill")->trigger();
    EXPECT_EQ(lastError(), QStringLiteral("已完成开票！不允许再终止开票！"));
    EXPECT_EQ(fill().section(u'/', 0, 1), QStringLiteral("2/完成开票"));
}

TEST_F(PBuyReceiptTest, PaymentAuditUnauditAndVoidRefusals)
{
    // Payment: not audited, settled, a branch's note; then the payment window.
    startReceipt();
    ASSERT_TRUE(save());
    EXPECT_FALSE(menu("muPToPay")->isEnabled());
    form()->muPToPayClick();
    EXPECT_EQ(lastError(), QStringLiteral("采购单没有审核或已经被作废,无法生成付款单."));
    const qint64 id = saveAndAudit("purchasepth");

    const QString payRefusals[][2] = {{QStringLiteral("REFERAMT=AMOUNT"), QStringLiteral("采购单已结算完毕,无法生成付款单.")},
                                      {QStringLiteral("REFERAMT=0, SHOPERATEID=1"), QStringLiteral("分支的单据不能做此业务。")}};
    for (const auto &[set, text] : payRefusals) {
        sql(QStringLiteral("update purchasepth set %1 where NOTEID=%2").arg(set).arg(id));
        form()->ReloadNote();
        form()->muPToPayClick();
        EXPECT_EQ(m_messages.last().text, text);
    }
    // (An open audited receipt opens the payment window: the flow test.)
    sql(QStringLiteral("update purchasepth set SHOPERATEID=0 where NOTEID=%1").arg(id));
    form()->ReloadNote();

    // Un-audit: a line already received into stock or returned.
    for (const char *taken : {"IOQTY", "REFERQTY"}) {
        sql(QStringLiteral("update purchasepthDetail set %1=1 where NOTEID=%2 and ITEMSNO=1").arg(taken).arg(id));
        EXPECT_TRUE(auditRefused("purchasepth", id, 1, QStringLiteral("该单有记录已被引用,不能反审核!")));
        sql(QStringLiteral("update purchasepthDetail set %1=0 where NOTEID=%2").arg(taken).arg(id));
    }
    form()->CheckBtnClick();
    ASSERT_EQ(state(id), 0);
    // Void: an invoice covers the note.
    sql(QStringLiteral("insert into fillathD (NOTEID, ITEMSNO, REFERNOTETYPE, REFERNOTEID) values (1, 1, 4, %1)").arg(id));
    form()->muAbateClick();
    EXPECT_EQ(lastError(), QStringLiteral("此单已经开过票，不能作废！"));
    EXPECT_EQ(state(id), 0);
}

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
    startReceipt();
    const qint64 receipt = saveAndAudit("purchasepth");
    const QString code = master("NOTECODE").toString();
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
