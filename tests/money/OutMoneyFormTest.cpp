// The expense window: opened through the plug-in, lines of expense items,
// the settlement method bringing its account, the customer bringing its
// employee, save/audit/un-audit/void/delete against the account balance, and
// every refusal with its exact message.

#include "MoneyFixture.h"

#include "data/ClientDataSet.h"
#include "widgets/DBGrid.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTableWidget>

using namespace moneytest;

namespace {

class OutMoneyFormTest : public MoneyTest {
protected:
    int notes() { return scalar(QStringLiteral("select count(*) from expenseath")).toInt(); }
    int lines() { return scalar(QStringLiteral("select count(*) from expenseathdetail")).toInt(); }
    void open()
    {
        show(QStringLiteral("OutMoneyForm"));
        ASSERT_NE(m_window.data(), nullptr);
    }
    // Cash (method 1, account 1) paying office costs and a trip.
    void enter()
    {
        open();
        setMaster(QStringLiteral("PAYTYPESID"), 1);
        addLine({{QStringLiteral("iename"), QStringLiteral("01")}, {QStringLiteral("AMOUNT"), 120.5},
                 {QStringLiteral("REMARK"), QStringLiteral("墨盒")}});
        addLine({{QStringLiteral("IETYPESID"), 2}, {QStringLiteral("AMOUNT"), 300}});
    }
    QVariant lineValue(const QString &field) { return detail()->FieldByName(field)->Value(); }
};

TEST_F(OutMoneyFormTest, OpensFromThePluginWithItsLinesAndOrganisation)
{
    open();
    EXPECT_STREQ(m_window->metaObject()->className(), "TOutMoneyForm");
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("费用开支单"));
    EXPECT_EQ(masterValue(QStringLiteral("NOTEID")).toInt(), -9999);
    EXPECT_FALSE(masterValue(QStringLiteral("NOTECODE")).toString().isEmpty());
    EXPECT_EQ(child<QLabel>(QStringLiteral("lbShoperatename"))->text(), QStringLiteral("机构名称  总部"));
    auto *grid = child<widgets::TRqDBGrid>(QStringLiteral("ItemGrid"));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->FooterText(0), QStringLiteral("合 计"));
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
}

TEST_F(OutMoneyFormTest, SettlementMethodAndCustomerFillTheirFields)
{
    open();
    setMaster(QStringLiteral("PAYTYPESID"), 3); // wire transfer, from the ICBC account
    EXPECT_EQ(masterValue(QStringLiteral("ACCOUNTID")).toInt(), 2);
    setMaster(QStringLiteral("PAYTYPESID"), 4);
    EXPECT_EQ(masterValue(QStringLiteral("ACCOUNTID")).toInt(), 3);
    setMaster(QStringLiteral("PARTNERID"), 8); // 国美电器: salesman 刘洋, sales department
    EXPECT_EQ(masterValue(QStringLiteral("EMPID")).toInt(), 4);
    EXPECT_EQ(masterValue(QStringLiteral("DEPID")).toInt(), 3);
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
}

TEST_F(OutMoneyFormTest, LineItemsAreFoundByCodeOrNameAmongExpenseItemsOnly)
{
    open();
    addLine({{QStringLiteral("iename"), QStringLiteral("02")}, {QStringLiteral("AMOUNT"), 12.345}});
    EXPECT_EQ(lineValue(QStringLiteral("IETYPESID")).toInt(), 2);
    EXPECT_EQ(lineValue(QStringLiteral("iename")).toString(), QStringLiteral("差旅费"));
    EXPECT_DOUBLE_EQ(lineValue(QStringLiteral("AMOUNT")).toDouble(), 12.35);
    EXPECT_LT(lineValue(QStringLiteral("ITEMSNO")).toInt(), 0);
    addLine({{QStringLiteral("iename"), QStringLiteral("房租")}});
    EXPECT_EQ(lineValue(QStringLiteral("IETYPESID")).toInt(), 5);
    addLine({{QStringLiteral("IETYPESID"), 6}});
    EXPECT_EQ(lineValue(QStringLiteral("iename")).toString(), QStringLiteral("业务招待费"));
    EXPECT_TRUE(takeMessages().isEmpty());
    // An income item is no expense item.
    addLine({{QStringLiteral("iename"), QStringLiteral("利息收入")}});
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("费用项目[利息收入]不存在.")});
    EXPECT_TRUE(lineValue(QStringLiteral("IETYPESID")).isNull());
}

TEST_F(OutMoneyFormTest, TheItemCellsButtonListsExpenseItemsAndTakesTheChoice)
{
    open();
    QStringList listed;
    m_modal.setHandler([&](QWidget *w) {
        auto *table = w->findChild<QTableWidget *>(QStringLiteral("ItemList"));
        if (!table)
            return 2;
        for (int r = 0; r < table->rowCount(); ++r)
            listed << table->item(r, 1)->text();
        table->selectRow(3); // 水电费
        return 1;
    });
    auto *grid = child<widgets::TRqDBGrid>(QStringLiteral("ItemGrid"));
    grid->ClickEditButton(0);
    EXPECT_EQ(listed, (QStringList{QStringLiteral("办公费"), QStringLiteral("差旅费"), QStringLiteral("运输费"),
                                   QStringLiteral("水电费"), QStringLiteral("房租"), QStringLiteral("业务招待费"),
                                   QStringLiteral("银行手续费")}));
    EXPECT_EQ(lineValue(QStringLiteral("IETYPESID")).toInt(), 4);
    EXPECT_EQ(lineValue(QStringLiteral("iename")).toString(), QStringLiteral("水电费"));
    // Cancelled: the line keeps its item.
    m_modal.setHandler([](QWidget *) { return 2; });
    grid->ClickEditButton(0);
    EXPECT_EQ(lineValue(QStringLiteral("IETYPESID")).toInt(), 4);
}

TEST_F(OutMoneyFormTest, WholeLifeOfAnExpensePaysFromTheAccount)
{
    const double cash = balance(1);
    const int before = notes(), beforeLines = lines();
    enter();
    click(QStringLiteral("OkBtn"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    const int id = masterValue(QStringLiteral("NOTEID")).toInt();
    ASSERT_GT(id, 0);
    EXPECT_EQ(notes(), before + 1);
    EXPECT_EQ(lines(), beforeLines + 2);
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select AMOUNT from expenseath where NOTEID=%1").arg(id)).toDouble(), 420.5);
    EXPECT_EQ(scalar(QStringLiteral("select ACCOUNTID from expenseath where NOTEID=%1").arg(id)).toInt(), 1);
    EXPECT_EQ(scalar(QStringLiteral("select group_concat(ITEMSNO || ':' || IETYPESID, ',') from "
                                    "(select * from expenseathdetail where NOTEID=%1 order by ITEMSNO)").arg(id)).toString(),
              QStringLiteral("1:1,2:2"));
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from noteprintabth where NOTETYPE=52 and NOTEID=%1").arg(id)).toInt(), 1);
    EXPECT_DOUBLE_EQ(balance(1), cash);

    click(QStringLiteral("CheckBtn"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from expenseath where NOTEID=%1").arg(id)).toInt(), 1);
    EXPECT_DOUBLE_EQ(balance(1), cash - 420.5);

    locate(52, id);
    EXPECT_EQ(detail()->RecordCount(), 2);
    click(QStringLiteral("CheckBtn"));
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from expenseath where NOTEID=%1").arg(id)).toInt(), 0);
    EXPECT_DOUBLE_EQ(balance(1), cash);

    invoke("muAbateClick");
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from expenseath where NOTEID=%1").arg(id)).toInt(), 2);
    invoke("muAbateClick");
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from expenseath where NOTEID=%1").arg(id)).toInt(), 0);

    m_messages.answer(AnswerYes);
    invoke("muDeleteClick");
    EXPECT_EQ(notes(), before);
    EXPECT_EQ(lines(), beforeLines);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from noteprintabth where NOTETYPE=52 and NOTEID=%1").arg(id)).toInt(), 0);
    EXPECT_DOUBLE_EQ(balance(1), cash);
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
}

TEST_F(OutMoneyFormTest, RulesRefuseTheSaveWithTheirMessages)
{
    const int before = notes();
    open();
    setMaster(QStringLiteral("PAYTYPESID"), 1);
    setMaster(QStringLiteral("REMARK"), QStringLiteral("无明细"));
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("单据没有发生业务,不能保存.")});

    addLine({{QStringLiteral("AMOUNT"), 50}});
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("请输入费用项目.")});

    detail()->Edit();
    detail()->FieldByName(QStringLiteral("IETYPESID"))->SetValue(3);
    detail()->FieldByName(QStringLiteral("AMOUNT"))->SetValue(0);
    detail()->Post();
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("金额必须大于零.")});
    detail()->Edit();
    detail()->FieldByName(QStringLiteral("AMOUNT"))->SetValue(-5);
    detail()->Post();
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("金额必须大于零.")});
    detail()->Edit();
    detail()->FieldByName(QStringLiteral("AMOUNT"))->SetValue(5);
    detail()->Post();

    setMaster(QStringLiteral("ACCOUNTID"), QVariant());
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("请选择结算帐户.")});
    setMaster(QStringLiteral("PAYTYPESID"), QVariant());
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("请选择结算方式.")});
    // A shop's account may not be used by head office.
    setMaster(QStringLiteral("PAYTYPESID"), 1);
    setMaster(QStringLiteral("ACCOUNTID"), 4);
    click(QStringLiteral("OkBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("不能引用分支机构的帐户")});
    EXPECT_EQ(notes(), before);

    setMaster(QStringLiteral("ACCOUNTID"), 1);
    click(QStringLiteral("OkBtn"));
    EXPECT_TRUE(takeMessages().isEmpty());
    EXPECT_EQ(notes(), before + 1);
}

TEST_F(OutMoneyFormTest, ClosedAccountRefusesTheAuditAndKeepsTheNoteUnaudited)
{
    enter();
    click(QStringLiteral("OkBtn"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    const int id = masterValue(QStringLiteral("NOTEID")).toInt();
    const double cash = balance(1);
    sql(QStringLiteral("update accountacth set CLOSED = 1 where ACCOUNTID = 1"));
    takeMessages();
    click(QStringLiteral("CheckBtn"));
    EXPECT_EQ(takeMessages(), QStringList{QStringLiteral("帐户[现金]已经被停用不能审核。")});
    EXPECT_EQ(scalar(QStringLiteral("select NOTESTATE from expenseath where NOTEID=%1").arg(id)).toInt(), 0);
    EXPECT_EQ(masterValue(QStringLiteral("NOTEID")).toInt(), id);
    EXPECT_EQ(masterValue(QStringLiteral("NOTESTATE")).toInt(), 0);
    EXPECT_EQ(detail()->RecordCount(), 2);
    EXPECT_DOUBLE_EQ(balance(1), cash);
}

} // namespace
