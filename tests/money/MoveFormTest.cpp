// The bank deposit and withdrawal window: opened through the plug-in, a note
// entered, saved, audited (balances move), un-audited, voided and deleted,
// with the accounts' organisations and the rules' exact messages.

#include "MoneyFixture.h"

#include "data/ClientDataSet.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>

using namespace moneytest;

namespace {

class MoveFormTest : public MoneyTest {
protected:
    int rows() { return scalar(QStringLiteral("select count(*) from movebth")).toInt(); }
    // Opens the window and enters a transfer between the two accounts.
    void enter(int out, int in, double amount)
    {
        show(QStringLiteral("MoveForm"));
        ASSERT_NE(m_window.data(), nullptr);
        setMaster(QStringLiteral("OUTACCOUNTID"), out);
        setMaster(QStringLiteral("INACCOUNTID"), in);
        setMaster(QStringLiteral("AMOUNT"), amount);
        setMaster(QStringLiteral("PURPOSE"), QStringLiteral("补充分店备用金"));
    }
    QString label(const char *name) { return child<QLabel>(QString::fromLatin1(name))->text(); }
};

TEST_F(MoveFormTest, OpensFromThePluginAsABlankNumberedNote)
{
    QWidget *w = show(QStringLiteral("MoveForm"));
    ASSERT_NE(w, nullptr);
    EXPECT_STREQ(w->metaObject()->className(), "TMoveForm");
    EXPECT_EQ(w->windowTitle(), QStringLiteral("银行存取款单"));
    EXPECT_EQ(masterValue(QStringLiteral("NOTEID")).toInt(), -9999);
    EXPECT_FALSE(masterValue(QStringLiteral("NOTECODE")).toString().isEmpty());
    EXPECT_EQ(label("lbOutShop"), QStringLiteral("调出机构:  总部"));
    EXPECT_EQ(label("lbInShop"), QStringLiteral("调入机构:  总部"));
    // A second menu call reuses the window.
    EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QStringLiteral("MoveForm")), 0);
    int open = 0;
    for (QWidget *t : QApplication::topLevelWidgets())
        open += t->objectName() == QLatin1String("MoveForm");
    EXPECT_EQ(open, 1);
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
}

TEST_F(MoveFormTest, AccountsShowAndStoreTheOrganisationOwningThem)
{
    enter(2, 4, 800.456);
    EXPECT_DOUBLE_EQ(masterValue(QStringLiteral("AMOUNT")).toDouble(), 800.46); // brought to the amount precision
    // Account 4 belongs to the shop; its organisation is named.
    EXPECT_EQ(masterValue(QStringLiteral("OUTSHOPERATEID")).toInt(), 0);
    EXPECT_EQ(masterValue(QStringLiteral("INSHOPERATEID")).toInt(), 1);
    EXPECT_EQ(label("lbOutShop"), QStringLiteral("调出机构:  总部"));
    EXPECT_EQ(label("lbInShop"), QStringLiteral("调入机构:  南京东路分店"));
    setMaster(QStringLiteral("OUTACCOUNTID"), 4);
    setMaster(QStringLiteral("INACCOUNTID"), 3);
    EXPECT_EQ(label("lbOutShop"), QStringLiteral("调出机构:  南京东路分店"));
    EXPECT_EQ(label("lbInShop"), QStringLiteral("调入机构:  总部"));
    click(QStringLiteral("OkBtn"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    const int id = masterValue(QStringLiteral("NOTEID")).toInt();
    EXPECT_EQ(scalar(QStringLiteral("select OUTSHOPERATEID from movebth where NOTEID=%1").arg(id)).toInt(), 1);
    EXPECT_EQ(scalar(QStringLiteral("select INSHOPERATEID from movebth where NOTEID=%1").arg(id)).toInt(), 0);
    // A loaded note shows its stored organisations.
    show(QStringLiteral("MoveForm"));
    EXPECT_EQ(label("lbOutShop"), QStringLiteral("调出机构:  总部"));
    locate(51, id);
    EXPECT_EQ(label("lbOutShop"), QStringLiteral("调出机构:  南京东路分店"));
    EXPECT_EQ(label("lbInShop"), QStringLiteral("调入机构:  总部"));
}

TEST_F(MoveFormTest, WholeLifeOfATransferMovesTheBalances)
{
    const double cashBefore = balance(1), bankBefore = balance(2);
    const int before = rows();
    enter(2, 1, 1500.5);
    setMaster(QStringLiteral("CHECKNO"), QStringLiteral("XJ0099"));
    click(QStringLiteral("OkBtn"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    const int id = masterValue(QStringLiteral("NOTEID")).toInt();
    ASSERT_GT(id, 0);
    EXPECT_EQ(rows(), before + 1);
    const QString code = masterValue(QStringLiteral("NOTECODE")).toString();
    EXPECT_EQ(scalar(QStringLiteral("select NOTECODE from noteprintabth where NOTETYPE=51 and NOTEID=%1").arg(id)).toString(),
              code);
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select AMOUNT from movebth where NOTEID=%1").arg(id)).toDouble(), 1500.5);
    EXPECT_EQ(scalar(QStringLiteral("select CHECKNO from movebth where NOTEID=%1").arg(id)).toString(), QStringLiteral("XJ0099"));
    EXPECT_DOUBLE_EQ(balance(2), bankBefore); // saving posts nothing

    // Audit: money leaves the bank and reaches the cash box.
    click(QStringLiteral("CheckBtn"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from movebth where NOTEID=%1").arg(id)).toInt(), 1);
    EXPECT_EQ(scalar(QStringLiteral("select CHKORID from movebth where NOTEID=%1").arg(id)).toInt(), kAdmin);
    EXPECT_DOUBLE_EQ(balance(2), bankBefore - 1500.5);
    EXPECT_DOUBLE_EQ(balance(1), cashBefore + 1500.5);

    // Un-audit from the located note reverses it.
    locate(51, id);
    EXPECT_EQ(child<QAbstractButton>(QStringLiteral("CheckBtn"))->text(), QStringLiteral("反审核(&O)"));
    click(QStringLiteral("CheckBtn"));
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from movebth where NOTEID=%1").arg(id)).toInt(), 0);
    EXPECT_DOUBLE_EQ(balance(2), bankBefore);
    EXPECT_DOUBLE_EQ(balance(1), cashBefore);

    // Void and un-void post nothing.
    invoke("muAbateClick");
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from movebth where NOTEID=%1").arg(id)).toInt(), 2);
    EXPECT_EQ(masterValue(QStringLiteral("NOTESTATE")).toInt(), 2);
    EXPECT_DOUBLE_EQ(balance(2), bankBefore);
    invoke("muAbateClick");
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from movebth where NOTEID=%1").arg(id)).toInt(), 0);

    // Delete after the question: the row and its print-register row go.
    m_messages.answer(AnswerYes);
    invoke("muDeleteClick");
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from noteprintabth where NOTETYPE=51 and NOTEID=%1").arg(id)).toInt(), 0);
    EXPECT_TRUE(m_messages.texts().contains(QStringLiteral("是否确认删除数据？")));
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
}

TEST_F(MoveFormTest, RulesRefuseTheSaveWithTheirMessages)
{
    const int before = rows();
    enter(2, 2, 100);
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("付款帐户不能和收款帐户一样.")});
    EXPECT_EQ(masterValue(QStringLiteral("NOTEID")).toInt(), -9999);

    setMaster(QStringLiteral("INACCOUNTID"), 3);
    setMaster(QStringLiteral("AMOUNT"), 0);
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("金额必须大于零.")});

    setMaster(QStringLiteral("AMOUNT"), 10);
    setMaster(QStringLiteral("OUTACCOUNTID"), QVariant());
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("字段:[付款帐户]不能为空.")});
    EXPECT_EQ(rows(), before);
    // The edits stay on screen and save once corrected.
    EXPECT_EQ(masterValue(QStringLiteral("PURPOSE")).toString(), QStringLiteral("补充分店备用金"));
    setMaster(QStringLiteral("OUTACCOUNTID"), 1);
    click(QStringLiteral("OkBtn"));
    EXPECT_TRUE(takeMessages().isEmpty());
    EXPECT_EQ(rows(), before + 1);
}

TEST_F(MoveFormTest, ClosedAccountRefusesTheAuditAndKeepsTheNoteUnaudited)
{
    enter(3, 1, 250);
    click(QStringLiteral("OkBtn"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    const int id = masterValue(QStringLiteral("NOTEID")).toInt();
    const double bank = balance(3), cash = balance(1);
    sql(QStringLiteral("update accountacth set CLOSED = 1 where ACCOUNTID = 3"));
    takeMessages();
    click(QStringLiteral("CheckBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("帐户[建设银行上海分行]已经被停用不能审核。")});
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from movebth where NOTEID=%1").arg(id)).toInt(), 0);
    EXPECT_EQ(masterValue(QStringLiteral("NOTESTATE")).toInt(), 0);
    EXPECT_EQ(masterValue(QStringLiteral("NOTEID")).toInt(), id);
    EXPECT_EQ(child<QAbstractButton>(QStringLiteral("CheckBtn"))->text(), QStringLiteral("审核(&O)"));
    EXPECT_DOUBLE_EQ(balance(3), bank);
    EXPECT_DOUBLE_EQ(balance(1), cash);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from accountflowaath where NOTETYPE=51 and NOTEID=%1").arg(id)).toInt(), 0);
}

} // namespace
