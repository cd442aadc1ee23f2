// The purchase receipt through its window on fresh demo books: a note keyed in
// with the keyboard, the checks before save in their order with their texts,
// the whole-note discount, invoicing termination, the payment and audit
// refusals, and a save the database refuses.

#include "PBuyForm.h"
#include "PurchaseFixture.h"

#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>

namespace {

class PBuyReceiptTest : public purchasetest::PurchaseTest<TPBuyForm> {
protected:
    QAction *menu(const char *name) { return m_form->findChild<QAction *>(QString::fromLatin1(name)); }
    // A saved and audited receipt of S001: 10 pens at 1.50 and 2 staplers at 12.
    qint64 auditedReceipt()
    {
        open();
        setMaster("PARTNERID", 1);
        addLine("BG0003", 10, 1.5);
        addLine("BG0005", 2, 12);
        EXPECT_TRUE(save()) << errors().join(u'|').toStdString();
        audit(savedNote());
        return savedNote();
    }
    // Audits the shown note and shows it again (the window moves on after an audit).
    void audit(qint64 id)
    {
        m_form->CheckBtnClick();
        EXPECT_EQ(state(id), 1) << errors().join(u'|').toStdString();
        m_form->LoadNote(int(id));
    }
    int notes() { return scalar(QStringLiteral("select count(*) from purchasepth")).toInt(); }
    int state(qint64 id) { return scalar(QStringLiteral("select NOTESTATE from purchasepth where NOTEID=%1").arg(id)).toInt(); }
};

TEST_F(PBuyReceiptTest, AReceiptKeyedInIsSavedAndAudited)
{
    open();
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    auto focus = [] { return QApplication::focusWidget(); };
    auto type = [&](const QString &text) {
        for (const QChar c : text) {
            if (c.unicode() < 128)
                QTest::keyClicks(focus(), QString(c));
            else
                QTest::sendKeyEvent(QTest::Click, focus(), Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
        QTest::keyClick(focus(), Qt::Key_Return);
    };
    ASSERT_EQ(focus()->objectName(), QStringLiteral("cmbPartner")) << "the window opens on the supplier";
    type(QStringLiteral("S002"));
    EXPECT_EQ(master("PARTNERID").toInt(), 2);
    EXPECT_EQ(m_form->findChild<QLineEdit *>(QStringLiteral("edBalance"))->text(),
              QString::asprintf("%.2f", scalar(QStringLiteral("select SCAMT from partnerlth where PARTNERID=2")).toDouble()));
    // Enter walks the master fields into the grid.
    for (int i = 0; i < 20 && focus() != m_form->Grid(); ++i)
        QTest::keyClick(focus(), Qt::Key_Return);
    ASSERT_EQ(focus(), m_form->Grid());
    // Code, the commodity's own store kept, quantity, price before discount.
    type(QStringLiteral("DZ0001"));
    EXPECT_EQ(line(0, "COMMODITYNAME").toString(), QStringLiteral("无线鼠标"));
    QTest::keyClick(focus(), Qt::Key_Return);
    EXPECT_EQ(line(0, "BUILDINGID").toInt(), 1);
    type(QStringLiteral("3"));
    type(QStringLiteral("40"));
    EXPECT_DOUBLE_EQ(line(0, "QUANTITY").toDouble(), 3);
    EXPECT_DOUBLE_EQ(line(0, "COMMODITYAMT").toDouble(), 120);
    EXPECT_DOUBLE_EQ(line(0, "AMOUNT").toDouble(), 135.6) << "the VAT invoice's tax rate on a new line";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F7);
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    const qint64 id = savedNote();
    EXPECT_EQ(scalar(QStringLiteral("select PARTNERID from purchasepth where NOTEID=%1").arg(id)).toInt(), 2);
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select AMOUNT from purchasepth where NOTEID=%1").arg(id)).toDouble(), 135.6);
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select QUANTITY*PRICE from purchasepthDetail where NOTEID=%1").arg(id))
                         .toDouble(), 120);
    EXPECT_EQ(scalar(QStringLiteral("select CLOSEFILL from purchasepth where NOTEID=%1").arg(id)).toInt(), 0);
    // F9 audits: the mice enter the store and the supplier is owed the
    // amount (nothing paid now); un-audit takes both back.
    auto stock = [this] {
        return scalar(QStringLiteral("select coalesce(sum(REALQTY),0) from onhandaath where COMMODITYID=6 and BUILDINGID=1"))
            .toDouble();
    };
    auto debt = [this] { return scalar(QStringLiteral("select SCAMT from partnerlth where PARTNERID=2")).toDouble(); };
    const double stockBefore = stock(), debtBefore = debt();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F9);
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    EXPECT_EQ(state(id), 1);
    EXPECT_DOUBLE_EQ(stock(), stockBefore + 3);
    EXPECT_NEAR(debt(), debtBefore + 135.6, 1e-9);
    m_form->LoadNote(int(id));
    EXPECT_EQ(m_form->findChild<QLineEdit *>(QStringLiteral("edBalance"))->text(),
              QString::asprintf("%.2f", debtBefore + 135.6));
    EXPECT_TRUE(menu("muPToPay")->isEnabled());
    EXPECT_TRUE(menu("muPToReturn")->isEnabled());
    m_form->CheckBtnClick();
    EXPECT_EQ(state(id), 0) << errors().join(u'|').toStdString();
    EXPECT_DOUBLE_EQ(stock(), stockBefore);
    EXPECT_NEAR(debt(), debtBefore, 1e-9);
}

TEST_F(PBuyReceiptTest, TheChecksBeforeSaveComeInOrderWithTheirTexts)
{
    const int existing = notes();
    open();
    auto *payType = m_form->findChild<QWidget *>(QStringLiteral("cmbPayType"));
    EXPECT_FALSE(payType->isEnabled()) << "nothing paid: the settlement controls wait";
    addLine("BG0003", 10, 1.5);
    EXPECT_FALSE(save());
    EXPECT_EQ(lastError(), QStringLiteral("供应商不能为空"));
    setMaster("PARTNERID", 3);
    setMaster("PAYAMT", QVariant());
    EXPECT_FALSE(save());
    EXPECT_EQ(lastError(), QStringLiteral("本次现付不能为空"));
    setMaster("PAYAMT", -5);
    EXPECT_FALSE(save());
    EXPECT_EQ(lastError(), QStringLiteral("本次现付必须大于0！"));
    setMaster("PAYAMT", 5.004);
    EXPECT_TRUE(payType->isEnabled());
    EXPECT_TRUE(m_form->findChild<QWidget *>(QStringLiteral("lbCheckNo"))->isEnabled());
    EXPECT_DOUBLE_EQ(master("PAYAMT").toDouble(), 5) << "rounded to the amount precision";
    EXPECT_FALSE(save());
    EXPECT_EQ(lastError(), QStringLiteral("请选择结算方式！"));
    setMaster("PAYTYPESID", 2);
    EXPECT_EQ(master("ACCOUNTID").toInt(), 2) << "the settlement method's account";
    setMaster("ACCOUNTID", QVariant());
    EXPECT_FALSE(save());
    EXPECT_EQ(lastError(), QStringLiteral("请选择结算帐户！"));
    setMaster("ACCOUNTID", 2);
    setMaster("TERMDAYS", -1);
    EXPECT_FALSE(save());
    EXPECT_EQ(lastError(), QStringLiteral("付款期限不能小于0"));
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
    EXPECT_FALSE(save());
    EXPECT_EQ(lastError(), QStringLiteral("本次现付必须小于0！"));
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
    m_form->OkBtnClick();
    ASSERT_EQ(m_messages.records().size(), 1);
    EXPECT_EQ(m_messages.last().caption, QStringLiteral("提示"));
    EXPECT_EQ(m_messages.last().text,
              QStringLiteral("你选的是现金往来单位，本次现付（收）金额要与货品金额和相等，是否修改？"));
    EXPECT_EQ(notes(), existing);
    // Cancel: saved; the 10 still owed exceeds the credit of 5, which is only told.
    m_messages.answer(AnswerCancel);
    EXPECT_TRUE(save()) << errors().join(u'|').toStdString();
    EXPECT_EQ(m_messages.texts(pub::MessageKind::Information).value(0),
              QStringLiteral("此供应商的欠款已经超出其信用额度：5.00"));
    EXPECT_EQ(notes(), existing + 1);
}

TEST_F(PBuyReceiptTest, ACashReturnPaidInFullPassesSilently)
{
    sql(QStringLiteral("update partnerlth set ISCASHPARTNER=1 where PARTNERID=3"));
    open();
    setMaster("PARTNERID", 3);
    setMaster("NOTEKIND", 2);
    m_form->muAppendDetailClick();
    EXPECT_DOUBLE_EQ(line(0, "QUANTITY").toDouble(), -1) << "a return line starts going out";
    setLine("COMMODITYCODE", QStringLiteral("BG0003"));
    setLine("TAXRATE", 0);
    setLine("PRICE", 1);
    setMaster("PAYAMT", -1);
    setMaster("PAYTYPESID", 1);
    m_messages.clear();
    EXPECT_TRUE(save()) << errors().join(u'|').toStdString();
    EXPECT_TRUE(m_messages.records().isEmpty()) << m_messages.texts().join(u'|').toStdString();
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select AMOUNT from purchasepth where NOTEID=%1").arg(savedNote())).toDouble(), -1);
}

TEST_F(PBuyReceiptTest, TheWholeNoteDiscountIsCheckedAndAppliedToEveryLine)
{
    open();
    setMaster("PARTNERID", 1);
    addLine("BG0003", 10, 2);
    addLine("BG0005", 1, 12);
    for (double bad : {0.0, 100.01}) {
        setMaster("DISC", bad);
        EXPECT_EQ(lastError(), QStringLiteral("折扣数值应该在大于0并且小于等于100之间"));
        EXPECT_DOUBLE_EQ(master("DISC").toDouble(), 100);
        EXPECT_DOUBLE_EQ(line(0, "PRICE").toDouble(), 2) << "a refused discount changes no line";
    }
    m_messages.clear();
    setMaster("DISC", 0.5);
    EXPECT_TRUE(errors().isEmpty());
    for (int row : {0, 1}) {
        EXPECT_DOUBLE_EQ(line(row, "DISC").toDouble(), 0.5);
        EXPECT_DOUBLE_EQ(line(row, "PRICE").toDouble(), line(row, "ORIGPRICE").toDouble() * 0.005);
    }
    EXPECT_DOUBLE_EQ(line(0, "COMMODITYAMT").toDouble(), 0.1);
    setMaster("DISC", 100);
    EXPECT_DOUBLE_EQ(line(1, "PRICE").toDouble(), 12);
}

TEST_F(PBuyReceiptTest, InvoicingIsTerminatedAndRestoredButNeverWhenComplete)
{
    const qint64 id = auditedReceipt();
    auto closeFill = [&] {
        return scalar(QStringLiteral("select CLOSEFILL from purchasepth where NOTEID=%1").arg(id)).toInt();
    };
    auto *mark = m_form->findChild<QLabel *>(QStringLiteral("lbFillMark"));
    EXPECT_EQ(menu("mufill")->text(), QStringLiteral("终止开票..."));
    menu("mufill")->trigger();
    EXPECT_EQ(closeFill(), 1);
    EXPECT_EQ(mark->text(), QStringLiteral("终止开票"));
    EXPECT_EQ(menu("mufill")->text(), QStringLiteral("反终止开票..."));
    m_form->CheckBtnClick(); // un-audit
    EXPECT_EQ(lastError(), QStringLiteral("已经终止开票不能反审核！"));
    menu("mufill")->trigger();
    EXPECT_EQ(closeFill(), 0);
    EXPECT_TRUE(mark->text().isEmpty());
    EXPECT_EQ(menu("mufill")->text(), QStringLiteral("终止开票..."));
    sql(QStringLiteral("update purchasepth set CLOSEFILL=2 where NOTEID=%1").arg(id));
    m_form->ReloadNote();
    EXPECT_EQ(mark->text(), QStringLiteral("完成开票"));
    menu("mufill")->trigger();
    EXPECT_EQ(lastError(), QStringLiteral("已完成开票！不允许再终止开票！"));
    EXPECT_EQ(closeFill(), 2);
}

TEST_F(PBuyReceiptTest, PaymentAuditUnauditAndVoidRefusals)
{
    // Payment: not audited, settled, a branch's note; then not yet available.
    open();
    setMaster("PARTNERID", 1);
    addLine("BG0003", 10, 1.5);
    ASSERT_TRUE(save());
    EXPECT_FALSE(menu("muPToPay")->isEnabled());
    m_form->muPToPayClick();
    EXPECT_EQ(lastError(), QStringLiteral("采购单没有审核或已经被作废,无法生成付款单."));
    // A line from a stopped purchase-order line keeps the receipt from audit.
    const qint64 order = sourceNote(QStringLiteral("orderpth"), 1, 1, QStringLiteral("PO-1"), {{3, 1, 10, 1.5, 1}},
                                    QStringLiteral("CLOSED"));
    const qint64 id = savedNote();
    sql(QStringLiteral("update purchasepthDetail set REFERNOTETYPE=2, REFERNOTEID=%1, REFERITEMSNO=1 where NOTEID=%2")
            .arg(order).arg(id));
    m_form->ReloadNote();
    m_form->CheckBtnClick();
    EXPECT_EQ(lastError(), QStringLiteral("有采购订单记录已停止交易,不能审核收货！"));
    EXPECT_EQ(state(id), 0);
    sql(QStringLiteral("update orderpthDetail set CLOSED=0"));
    audit(id);

    sql(QStringLiteral("update purchasepth set REFERAMT=AMOUNT where NOTEID=%1").arg(id));
    m_form->ReloadNote();
    m_form->muPToPayClick();
    EXPECT_EQ(lastError(), QStringLiteral("采购单已结算完毕,无法生成付款单."));
    sql(QStringLiteral("update purchasepth set REFERAMT=0, SHOPERATEID=1 where NOTEID=%1").arg(id));
    m_form->ReloadNote();
    m_form->muPToPayClick();
    EXPECT_EQ(m_messages.last().text, QStringLiteral("分支的单据不能做此业务。"));
    sql(QStringLiteral("update purchasepth set SHOPERATEID=0 where NOTEID=%1").arg(id));
    m_form->ReloadNote();
    m_form->muPToPayClick();
    EXPECT_EQ(m_messages.last().text, QStringLiteral("尚未提供此功能。"));

    // Un-audit: a line already received into stock or returned.
    for (const char *column : {"IOQTY", "REFERQTY"}) {
        sql(QStringLiteral("update purchasepthDetail set %1=1 where NOTEID=%2 and ITEMSNO=1").arg(column).arg(id));
        m_form->CheckBtnClick();
        EXPECT_EQ(lastError(), QStringLiteral("该单有记录已被引用,不能反审核!"));
        EXPECT_EQ(state(id), 1);
        sql(QStringLiteral("update purchasepthDetail set %1=0 where NOTEID=%2").arg(column).arg(id));
    }
    m_form->CheckBtnClick();
    ASSERT_EQ(state(id), 0);
    // Void: an invoice covers the note.
    sql(QStringLiteral("insert into fillathD (NOTEID, ITEMSNO, REFERNOTETYPE, REFERNOTEID) values (1, 1, 4, %1)").arg(id));
    m_form->muAbateClick();
    EXPECT_EQ(lastError(), QStringLiteral("此单已经开过票，不能作废！"));
    EXPECT_EQ(state(id), 0);
}

TEST_F(PBuyReceiptTest, ASaveTheDatabaseRefusesLeavesTheNoteOnScreenUnsaved)
{
    sql(QStringLiteral("create trigger refuse_big before insert on purchasepthDetail when new.QUANTITY > 999 "
                       "begin select raise(abort, 'quantity too large'); end"));
    const int existing = notes();
    const int lineRows = scalar(QStringLiteral("select count(*) from purchasepthDetail")).toInt();
    open();
    setMaster("PARTNERID", 1);
    addLine("BG0003", 10, 1.5);
    addLine("BG0005", 1000, 12);
    EXPECT_FALSE(save());
    EXPECT_TRUE(lastError().contains(QStringLiteral("quantity too large"))) << lastError().toStdString();
    EXPECT_EQ(notes(), existing);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from purchasepthDetail")).toInt(), lineRows);
    EXPECT_EQ(lines()->RecordCount(), 2) << "the lines stay as typed";
    EXPECT_TRUE(m_form->IsNoteModified());
    EXPECT_EQ(master("NOTESTATE").toInt(), 0);
    // Corrected, the same note saves.
    lines()->Last();
    setLine("QUANTITY", 100);
    EXPECT_TRUE(save()) << errors().join(u'|').toStdString();
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from purchasepthDetail")).toInt(), lineRows + 2);
}

} // namespace

namespace {

// The postings refuse the audit (the settlement account was closed after the
// save): the database's text is shown and nothing of the audit remains, on
// screen or in the books.
TEST_F(PBuyReceiptTest, AnAuditThePostingsRefuseChangesNothing)
{
    open();
    setMaster("PARTNERID", 1);
    addLine("BG0003", 10, 1.5);
    setMaster("PAYAMT", 5);
    setMaster("PAYTYPESID", 1);
    ASSERT_FALSE(master("ACCOUNTID").isNull()) << "the settlement method brings its account";
    ASSERT_TRUE(save()) << errors().join(u'|').toStdString();
    const qint64 id = savedNote();
    const QString figures = QStringLiteral(
        "select (select count(*) from noteflowaath) || '/' || (select sum(QUANTITY) from onhandaath) || '/' || "
        "(select SCAMT from partnerlth where PARTNERID=1) || '/' || (select count(*) from accountflowaath) || '/' || "
        "(select sum(BALANCE) from accountacth)");
    const QString before = scalar(figures).toString();
    sql(QStringLiteral("update accountacth set CLOSED=1 where ACCOUNTID=%1").arg(master("ACCOUNTID").toLongLong()));

    m_form->CheckBtnClick();
    EXPECT_TRUE(lastError().contains(QStringLiteral("已经被停用不能审核"))) << lastError().toStdString();
    EXPECT_EQ(state(id), 0);
    EXPECT_EQ(master("NOTESTATE").toInt(), 0);
    EXPECT_EQ(scalar(figures).toString(), before);

    // Opened again, the account lets the same note through.
    sql(QStringLiteral("update accountacth set CLOSED=0"));
    m_form->CheckBtnClick();
    EXPECT_EQ(state(id), 1) << errors().join(u'|').toStdString();
    EXPECT_NE(scalar(figures).toString(), before);
}

} // namespace
