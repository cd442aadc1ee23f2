// The payment and the receipt of money through their windows on fresh demo
// books: the turn-in of open notes, the automatic allocation, the master
// field rules, the checks before save in order with their texts, the load
// for a source note with its refusals, and what the audit settles.

#include "../purchase/PurchaseFixture.h"
#include "PayForm.h"
#include "UnPayorUnChangeForm.h"

#include <QLineEdit>
#include <QPushButton>

namespace {

class PayFormTest : public purchasetest::PurchaseTest<TMoneynoteForm> {
protected:
    // A note without lines written into the books, audited unless `state` says
    // otherwise: the posting makes the partner owe its amount.
    qint64 openNote(const char *table, qint64 id, qint64 who, double amount, int state = 1, int kind = 1, int shop = 0)
    {
        sql(QStringLiteral("insert into %1 (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, PARTNERID, AMOUNT, "
                           "SHOPERATEID) values (%2, %3, %4, 'R-%2', '%5', %6, %7, %8)")
                .arg(QLatin1String(table))
                .arg(id)
                .arg(kind)
                .arg(state)
                .arg(GetFirstDayOfPosMonth().toString(Qt::ISODate))
                .arg(who)
                .arg(amount)
                .arg(shop));
        return id;
    }
    // Ticks every note the turn-in lists (the opening balances only when
    // `opening`) and takes them.
    void turnInAll(bool opening = true)
    {
        m_modal.setHandler([this, opening](QWidget *w) {
            auto *picker = qobject_cast<TUnPayorUnChangeForm *>(w);
            if (!picker)
                return 0;
            listed.clear();
            data::ClientDataSet *rows = picker->Notes();
            for (rows->First(); !rows->Eof(); rows->Next())
                listed << rows->FieldByName(QStringLiteral("notename"))->AsString() + u':' +
                              rows->FieldByName(QStringLiteral("noteCode"))->AsString() + u':' +
                              rows->FieldByName(QStringLiteral("Totalunpaid"))->AsString();
            picker->SelectAll(true);
            if (!opening && rows->Locate(QStringLiteral("notename"), QStringLiteral("期初")))
                picker->ToggleCurrent();
            picker->OkBtnClick();
            return picker->result();
        });
        form()->SelectSourceNote();
    }
    QString amounts()
    {
        QStringList a;
        for (int r = 0; r < lines()->RecordCount(); ++r)
            a << line(r, "AMOUNT").toString() + u'/' + line(r, "PAYNOW").toString();
        return a.join(u' ');
    }
    QPushButton *autoApply() { return child<QPushButton>("AutoApplyBtn"); }
    // Types into a master edit and leaves it with Enter, as the user does.
    void typeInto(const char *edit, const QString &text)
    {
        auto *e = child<QLineEdit>(edit);
        e->setFocus();
        e->selectAll();
        enter(text);
    }

    QStringList listed;
};

TEST_F(PayFormTest, TurnInListsTheOpenNotesOnceAndTheAllocationFillsThemInOrder)
{
    const qint64 s5 = partnerId("S005"), s6 = partnerId("S006");
    openNote("purchasepth", 9001, s5, 600);
    openNote("purchasepth", 9002, s5, 300);
    openNote("purchasepth", 9003, s5, 500);
    // Not offered: entered, another supplier's, settled, a branch's, an opening return.
    openNote("purchasepth", 9004, s5, 70, 0);
    openNote("purchasepth", 9005, s6, 80);
    openNote("purchasepth", 9006, s5, 90);
    sql(QStringLiteral("update purchasepth set REFERAMT=90 where NOTEID=9006"));
    openNote("purchasepth", 9007, s5, 40, 1, 1, 1);
    openNote("purchasepth", -7, s5, -30, 1, 2);
    openNote("purchasepth", -8, s5, 20);
    open<TPayForm>();
    form()->SelectSourceNote();
    EXPECT_EQ(lastError(), QStringLiteral("请先选择往来单位."));

    pick("cmbPartner", QStringLiteral("S005"));
    EXPECT_EQ(child<QLineEdit>("edBalance")->text(), QString::asprintf("%.2f", owed(s5)));
    turnInAll(false);
    EXPECT_EQ(listed.join(u' '), QStringLiteral("期初:R--8:20 采购开单:R-9001:600 采购开单:R-9002:300 采购开单:R-9003:500"));

    // 1000 over 600, 300, 500; a second press clears.
    EXPECT_EQ(autoApply()->text(), QStringLiteral("自动付款"));
    typeInto("edAmount", QStringLiteral("1000"));
    autoApply()->click();
    EXPECT_EQ(amounts(), QStringLiteral("600/1 300/1 100/1"));
    EXPECT_EQ(autoApply()->text(), QStringLiteral("全部清除"));
    EXPECT_EQ(masters("AMOUNT,FACTAMT,DISC"), QStringLiteral("1000/1000/100"));
    autoApply()->click();
    EXPECT_EQ(amounts(), QStringLiteral("0/0 0/0 0/0"));

    // Turned in again, only the opening balance is new; with no amount all is paid.
    turnInAll();
    EXPECT_EQ(row(3, "NOTECODE,TOTAL,SHOULDPAYAMT"), QStringLiteral("期初应付/20/20"));
    typeInto("edAmount", QStringLiteral("0"));
    autoApply()->click();
    EXPECT_EQ(amounts(), QStringLiteral("600/1 300/1 500/1 20/1"));
    EXPECT_EQ(masters("AMOUNT,FACTAMT"), QStringLiteral("1420/1420"));
    // The line's box: a paid line goes to 0, an unpaid one takes what is open.
    lines()->First();
    form()->PayNowClick();
    form()->PayNowClick();
    EXPECT_EQ(amounts(), QStringLiteral("600/1 300/1 500/1 20/1"));
    form()->PayNowClick();
    EXPECT_EQ(amounts(), QStringLiteral("0/0 300/1 500/1 20/1"));
    EXPECT_EQ(masters("AMOUNT,FACTAMT"), QStringLiteral("1420/820"));

    // Saved with the line amounts (what the audit settles: the settlement test).
    pick("cmbPayType", QStringLiteral("01"));
    ASSERT_TRUE(save()) << err();
    const qint64 id = lastNote("payath");
    EXPECT_EQ(values("payath", id, "AMOUNT, FACTAMT, ACCOUNTID"), QStringLiteral("1420/820/1"));
    EXPECT_EQ(values("payathdetail", id, "REFERNOTEID, AMOUNT"), QStringLiteral("9001/0,9002/300,9003/500,-8/20"));
    // Shown again, the lines say what is open for this payment, and the
    // master the voucher the finance package posted it to.
    sql(QStringLiteral("insert into kredtypealth (ID, NAME) values (1, '记')"));
    sql(QStringLiteral("insert into kredaath (CREDID, CREDTYPEID, CREDNO) values (77, 1, '0012')"));
    sql(QStringLiteral("update payath set CREDID = 77 where NOTEID = %1").arg(id));
    form()->LoadNote(int(id));
    EXPECT_EQ(row(1, "REFERAMT,SHOULDPAYAMT,AMOUNT"), QStringLiteral("0/300/300"));
    EXPECT_EQ(master("CREDCODE").toString(), QStringLiteral("记 0012"));
    // The printed note names its partner, kind, settlement method and account.
    const QHash<QString, QVariant> v = form()->ReportVariables();
    EXPECT_EQ(v.value(QStringLiteral("M.MNOTEKIND")).toString(), QStringLiteral("结算单据"));
    QStringList printed;
    for (const char *name : {"M.MPARTNERID", "M.MPAYTYPESID", "M.MACCOUNTID"})
        printed << v.value(QLatin1String(name)).toString();
    EXPECT_EQ(printed.join(u':'), testsupport::rowsOf(database(), QStringLiteral("select p.NAME, m.NAME, a.NAME from partnerlth p, paymethodlth m, "
                                                                         "accountacth a where p.PARTNERID=%1 and m.CODE='01' and "
                                                                         "a.ACCOUNTID=1").arg(s5)));
}

TEST_F(PayFormTest, APaymentKeyedInAndSavedWithTheKeyboard)
{
    const qint64 s5 = partnerId("S005");
    openNote("purchasepth", 9001, s5, 600);
    open<TPayForm>();
    ASSERT_EQ(focus()->objectName(), QStringLiteral("cmbPartner")) << "the window opens on the partner";
    enter(QStringLiteral("S005"));
    EXPECT_EQ(master("PARTNERID").toLongLong(), s5);
    turnInAll();
    ASSERT_EQ(lines()->RecordCount(), 1);
    // The amount paid on the note typed into its cell.
    grid()->setFocus();
    grid()->setCurrentIndex(grid()->model()->index(0, grid()->ColumnOfField(QStringLiteral("AMOUNT"))));
    enter(QStringLiteral("250"));
    EXPECT_EQ(masters("AMOUNT,FACTAMT,DISC"), QStringLiteral("250/250/100"));
    pick("cmbPayType", QStringLiteral("02"));
    EXPECT_EQ(master("ACCOUNTID").toInt(), 2);
    key(Qt::Key_F7);
    ASSERT_TRUE(errors().isEmpty()) << err();
    EXPECT_EQ(values("payathdetail", master("NOTEID").toLongLong(), "REFERNOTETYPE, REFERNOTEID, AMOUNT"), QStringLiteral("4/9001/250"));
}

TEST_F(PayFormTest, MasterRulesKeepDiscountAndPaidAmountTogether)
{
    open<TPayForm>();
    typeInto("edAmount", QStringLiteral("1000.004"));
    EXPECT_EQ(masters("AMOUNT,FACTAMT,DISC"), QStringLiteral("1000/1000/100"));
    // Discount and paid amount follow each other; a refused discount typed goes back to 100%.
    const struct {
        const char *edit, *typed, *after, *error;
    } steps[] = {{"edDisc", "90", "90/900", nullptr},           {"edDisc", "120", "100/1000", "折扣不能大于100%."},
                 {"edDisc", "-5", "100/1000", "折扣不能小于0%."}, {"edFactAmt", "800", "80/800", nullptr},
                 {"edFactAmt", "1200", "80/800", "折扣不能大于100%."}};
    for (const auto &step : steps) {
        SCOPED_TRACE(std::string(step.edit) + " " + step.typed);
        const auto shownBefore = errors().size();
        typeInto(step.edit, QString::fromLatin1(step.typed));
        EXPECT_EQ(masters("DISC,FACTAMT"), QString::fromLatin1(step.after));
        EXPECT_EQ(errors().size(), shownBefore + (step.error ? 1 : 0));
        if (step.error) {
            EXPECT_EQ(lastError(), QString::fromUtf8(step.error));
        }
    }

    setMaster("PAYTYPESID", 3);
    EXPECT_EQ(master("ACCOUNTID").toInt(), 2) << "the settlement method's account";
    setMaster("SUBCODE", QStringLiteral("6603"));
    EXPECT_EQ(lastError(), QStringLiteral("输入的科目不存在或不是明细科目."));
    EXPECT_TRUE(master("SUBID").isNull());
    setMaster("SUBCODE", QStringLiteral("660301"));
    EXPECT_EQ(master("SUBID").toInt(), 13);
    setMaster("SUBID", 7);
    EXPECT_EQ(master("SUBCODE").toString(), QStringLiteral("2202"));
}

TEST_F(PayFormTest, ChecksBeforeSaveInOrderWithTheirTexts)
{
    const qint64 s5 = partnerId("S005");
    openNote("purchasepth", 9001, s5, 600);
    openNote("purchasepth", 9002, s5, -50, 1, 2);
    open<TPayForm>();
    setMaster("PARTNERID", s5);
    setMaster("NOTEKIND", 1);
    EXPECT_TRUE(refused(QStringLiteral("预付金额不能等于零.")));
    setMaster("NOTEKIND", 2);
    EXPECT_TRUE(refused(QStringLiteral("请选择结算方式.")));
    setMaster("PAYTYPESID", 1);
    setMaster("ACCOUNTID", QVariant());
    EXPECT_TRUE(refused(QStringLiteral("请选择结算帐户.")));
    setMaster("ACCOUNTID", 1);
    setParam(QStringLiteral("IsBand"), QStringLiteral("1"));
    setMaster("AMOUNT", 100);
    setMaster("DISC", 90);
    EXPECT_TRUE(refused(QStringLiteral("字段:[折扣科目]不能为空.")));
    setMaster("SUBID", 13);
    EXPECT_TRUE(refused(QStringLiteral("单据没有发生业务,不能保存.")));
    turnInAll();
    EXPECT_TRUE(refused(QStringLiteral("单据没有发生业务,不能保存."))) << "every line at 0";
    lines()->First();
    setLine("AMOUNT", -10);
    EXPECT_TRUE(refused(QStringLiteral("单据[R-9001]的本次收付款不能小于零.")));
    setLine("AMOUNT", 600);
    lines()->Next();
    setLine("AMOUNT", 50);
    EXPECT_TRUE(refused(QStringLiteral("单据[R-9002]的本次收付款不能大于零.")));
    setLine("AMOUNT", -50);
    ASSERT_TRUE(save()) << err();
    EXPECT_EQ(values("payathdetail", lastNote("payath"), "REFERNOTEID, AMOUNT"), QStringLiteral("9001/600,9002/-50"));

    // A prepayment without lines saves (its audit: the settlement test).
    form()->muAppendClick();
    setMaster("PARTNERID", s5);
    setMaster("NOTEKIND", 1);
    setMaster("PAYTYPESID", 1);
    setMaster("AMOUNT", 250);
    ASSERT_TRUE(save()) << err();
    const qint64 id = lastNote("payath");
    EXPECT_DOUBLE_EQ(column("payath", id, "AMOUNT").toDouble(), 250) << "the amount is not the lines' total";
}

TEST_F(PayFormTest, LoadForASourceNoteAndItsRefusals)
{
    const qint64 s5 = partnerId("S005");
    openNote("purchasepth", 9001, s5, 600);
    openNote("purchasepth", 9002, s5, 300, 0);
    sql(QStringLiteral("update purchasepth set REFERAMT=100 where NOTEID=9001"));
    open<TPayForm>();
    EXPECT_FALSE(form()->LoadForSource(4, 9999));
    EXPECT_EQ(lastError(), QStringLiteral("无法定位采购单(原因:单据不存在和已结算完毕)."));
    EXPECT_FALSE(form()->LoadForSource(4, 9002));
    EXPECT_EQ(lastError(), QStringLiteral("采购单没有审核或已经被作废,无法生成收付款单."));
    ASSERT_TRUE(form()->LoadForSource(4, 9001)) << err();
    EXPECT_EQ(masters("PARTNERID,NOTEKIND,AMOUNT,FACTAMT"), QStringLiteral("%1/2/500/500").arg(s5));
    EXPECT_EQ(row(0, "REFERNOTETYPE,REFERNOTEID,NOTECODE,TOTAL,REFERAMT,SHOULDPAYAMT,AMOUNT"),
              QStringLiteral("4/9001/R-9001/600/100/500/500"));

    // The receipt of money reads sales.
    auto *receipt = open<TGetMoneyForm>();
    EXPECT_EQ(autoApply()->text(), QStringLiteral("自动收款"));
    EXPECT_FALSE(receipt->LoadForSource(14, 9001));
    EXPECT_EQ(lastError(), QStringLiteral("无法定位销售单(原因:单据不存在和已结算完毕)."));
    const qint64 c4 = partnerId("C004");
    openNote("salesth", 9101, c4, 800);
    setMaster("PARTNERID", c4);
    turnInAll();
    EXPECT_EQ(listed.join(u' '), QStringLiteral("销售开单:R-9101:800"));
    EXPECT_EQ(row(0, "REFERNOTETYPE,REFERNOTEID,SHOULDPAYAMT"), QStringLiteral("14/9101/800"));
    TUnPayorUnChangeForm picker;
    EXPECT_FALSE(picker.OpenNotes(61, c4));
    EXPECT_EQ(lastError(), QStringLiteral("无法辨识的单据类型."));
}

} // namespace
