// The other-income window: income items only, the settlement method bringing
// its account, the money reaching that account on audit and leaving it on
// un-audit, and the refusals with their exact messages.

#include "MoneyFixture.h"

#include "data/ClientDataSet.h"
#include "widgets/DBGrid.h"

#include <QLabel>

using namespace moneytest;

namespace {

class InComeFormTest : public MoneyTest {
protected:
    int notes() { return scalar(QStringLiteral("select count(*) from InComebth")).toInt(); }
    void open()
    {
        show(QStringLiteral("InComeForm"));
        ASSERT_NE(m_window.data(), nullptr);
    }
};

TEST_F(InComeFormTest, OpensFromThePluginWithIncomeItemLines)
{
    open();
    EXPECT_STREQ(m_window->metaObject()->className(), "TInComeForm");
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("其他收入单"));
    EXPECT_EQ(child<QLabel>(QStringLiteral("lbShoperatename"))->text(), QStringLiteral("机构名称  总部"));
    EXPECT_EQ(child(QStringLiteral("cmbPartner")), nullptr); // income names no customer
    setMaster(QStringLiteral("PAYTYPESID"), 4);
    EXPECT_EQ(masterValue(QStringLiteral("ACCOUNTID")).toInt(), 3);
    addLine({{QStringLiteral("iename"), QStringLiteral("52")}});
    EXPECT_EQ(detail()->FieldByName(QStringLiteral("IETYPESID"))->AsInteger(), 22);
    addLine({{QStringLiteral("iename"), QStringLiteral("办公费")}});
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("收入项目[办公费]不存在.")});
}

TEST_F(InComeFormTest, WholeLifeOfAnIncomeFillsTheAccount)
{
    const double bank = balance(3);
    const int before = notes();
    open();
    setMaster(QStringLiteral("PAYTYPESID"), 4);
    addLine({{QStringLiteral("IETYPESID"), 21}, {QStringLiteral("AMOUNT"), 88.8}});
    addLine({{QStringLiteral("IETYPESID"), 23}, {QStringLiteral("AMOUNT"), 11.2}});
    click(QStringLiteral("OkBtn"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    const int id = masterValue(QStringLiteral("NOTEID")).toInt();
    EXPECT_EQ(notes(), before + 1);
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select AMOUNT from InComebth where NOTEID=%1").arg(id)).toDouble(), 100);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from InComebthdetail where NOTEID=%1").arg(id)).toInt(), 2);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from noteprintabth where NOTETYPE=53 and NOTEID=%1").arg(id)).toInt(), 1);

    click(QStringLiteral("CheckBtn"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from InComebth where NOTEID=%1").arg(id)).toInt(), 1);
    EXPECT_DOUBLE_EQ(balance(3), bank + 100);
    locate(53, id);
    click(QStringLiteral("CheckBtn"));
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from InComebth where NOTEID=%1").arg(id)).toInt(), 0);
    EXPECT_DOUBLE_EQ(balance(3), bank);
    invoke("muAbateClick");
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from InComebth where NOTEID=%1").arg(id)).toInt(), 2);
    invoke("muAbateClick");
    m_messages.answer(AnswerYes);
    invoke("muDeleteClick");
    EXPECT_EQ(notes(), before);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from InComebthdetail where NOTEID=%1").arg(id)).toInt(), 0);
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
}

TEST_F(InComeFormTest, RefusalsKeepTheNoteUnsavedOrUnaudited)
{
    const int before = notes();
    open();
    setMaster(QStringLiteral("PAYTYPESID"), 2);
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("单据没有发生业务,不能保存.")});
    addLine({{QStringLiteral("AMOUNT"), 10}});
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("请输入费用项目.")});
    detail()->Edit();
    detail()->FieldByName(QStringLiteral("IETYPESID"))->SetValue(21);
    detail()->FieldByName(QStringLiteral("AMOUNT"))->SetValue(0);
    detail()->Post();
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("金额必须大于零.")});
    EXPECT_EQ(notes(), before);
    detail()->Edit();
    detail()->FieldByName(QStringLiteral("AMOUNT"))->SetValue(10);
    detail()->Post();
    click(QStringLiteral("OkBtn"));
    ASSERT_TRUE(takeMessages().isEmpty());
    const int id = masterValue(QStringLiteral("NOTEID")).toInt();
    // The account was closed after the save: the audit is refused by the books.
    sql(QStringLiteral("update accountacth set CLOSED = 1 where ACCOUNTID = 2"));
    click(QStringLiteral("CheckBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("帐户[工商银行闵行支行]已经被停用不能审核。")});
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from InComebth where NOTEID=%1").arg(id)).toInt(), 0);
    EXPECT_EQ(masterValue(QStringLiteral("NOTESTATE")).toInt(), 0);
}

} // namespace
