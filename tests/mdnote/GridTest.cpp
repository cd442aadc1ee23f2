// The window around the lines: component names, captions, the footer with
// its totals, the column settings kept per window, the line keys and the
// field-catalogue command of the remark.

#include "MDnoteFixture.h"

#include "data/ClientDataSet.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace mdnotetest;

class GridTest : public MDnoteTest {};

TEST_F(GridTest, ComponentsCarryTheirCaptionsAndKeys)
{
    TTestExpenseForm *f = openForm();
    EXPECT_EQ(f->findChild<QPushButton *>(QStringLiteral("btnPrev"))->text(), QStringLiteral("前翻"));
    EXPECT_EQ(f->findChild<QPushButton *>(QStringLiteral("btnNext"))->text(), QStringLiteral("后翻"));
    EXPECT_EQ(f->findChild<QLabel *>(QStringLiteral("lbledoperatename"))->text(), QStringLiteral("开单人"));
    auto *append = f->findChild<QAction *>(QStringLiteral("muAppendDetail"));
    EXPECT_EQ(append->text(), QStringLiteral("增加明细"));
    EXPECT_EQ(append->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    auto *remove = f->findChild<QAction *>(QStringLiteral("muDeleteDetail"));
    EXPECT_EQ(remove->text(), QStringLiteral("删除明细"));
    EXPECT_EQ(remove->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    EXPECT_EQ(f->findChild<QAction *>(QStringLiteral("muColumnsSetting"))->text(), QStringLiteral("设置列..."));
    auto *noteMenu = f->findChild<QMenu *>(QStringLiteral("noteMenu"));
    EXPECT_TRUE(noteMenu->actions().contains(f->findChild<QAction *>(QStringLiteral("muColumnsSetting"))));
    EXPECT_EQ(f->findChild<QAction *>(QStringLiteral("actDetailInsert"))->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    EXPECT_EQ(f->DetailTable(), QStringLiteral("expenseathdetail"));
    EXPECT_EQ(f->DetailDataSet()->CommandText(),
              QStringLiteral("select m.* from expenseathdetail m Where m.NOTEID=") + QString::number(TBasenoteForm::kNewNoteID));
    EXPECT_EQ(f->Grid()->EditButtonKey(), QKeySequence(Qt::Key_Insert));
}

TEST_F(GridTest, FooterShowsTotalCaptionAndSums)
{
    TTestExpenseForm *f = openForm();
    widgets::TRqDBGrid *grid = f->Grid();
    EXPECT_TRUE(grid->FooterVisible());
    EXPECT_EQ(grid->FooterText(0), QStringLiteral("合 计"));
    EXPECT_EQ(grid->FooterFont().family(), QStringLiteral("宋体"));
    ASSERT_EQ(f->AmountColumn(), 2);
    addLine(12.5);
    addLine(7.25);
    EXPECT_DOUBLE_EQ(grid->FooterValue(2), 19.75);
    EXPECT_EQ(grid->FooterText(2), QStringLiteral("19.75"));
    f->DetailDataSet()->First();
    f->DeleteDetailLine();
    EXPECT_DOUBLE_EQ(grid->FooterValue(2), 7.25);
}

TEST_F(GridTest, ColumnSettingsAreKeptAndReappliedWithTheCaptionOnTheFirstShownColumn)
{
    TTestExpenseForm *f = openForm();
    // The user hides the number column in the "设置列" dialog.
    m_modal.setHandler([](QWidget *w) {
        auto *list = w->findChild<QListWidget *>(QStringLiteral("ColumnList"));
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text() == QStringLiteral("序号"))
                list->item(i)->setCheckState(Qt::Unchecked);
        return int(QDialog::Accepted);
    });
    f->muColumnsSettingClick();
    ASSERT_EQ(m_modal.records().size(), 1);
    EXPECT_EQ(m_modal.records().first().title, QStringLiteral("设置列"));
    EXPECT_FALSE(f->Grid()->Column(0).Visible);
    EXPECT_EQ(f->Grid()->FooterText(1), QStringLiteral("合 计"));
    EXPECT_TRUE(f->Grid()->FooterText(0).isEmpty());

    // A new window of the kind opens with the saved columns.
    m_form.reset();
    m_modal.clear();
    f = openForm();
    EXPECT_FALSE(f->Grid()->Column(0).Visible);
    EXPECT_EQ(f->Grid()->FooterText(1), QStringLiteral("合 计"));
    EXPECT_EQ(f->Grid()->FooterText(2), QStringLiteral("0.00"));
}

TEST_F(GridTest, LineKeysWorkOnlyInAnEditableGrid)
{
    TTestExpenseForm *f = openForm();
    f->show();
    QApplication::setActiveWindow(f);
    f->findChild<QWidget *>(QStringLiteral("edCheckNo"))->setFocus();
    f->actDetailInsertExecute(); // the focus is not in the grid
    EXPECT_TRUE(f->DetailDataSet()->IsEmpty());
    f->Grid()->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(f->Grid()->hasFocus());
    f->actDetailInsertExecute();
    EXPECT_EQ(f->DetailDataSet()->State(), data::DataSetState::Insert);
    setLine(QStringLiteral("AMOUNT"), 3);
    f->actDetailInsertExecute();
    EXPECT_EQ(f->DetailDataSet()->RecordCount(), 2);
    f->DetailDataSet()->Cancel(); // the untouched second line goes
    f->Grid()->SetSelectedColumn(1);
    f->findChild<QAction *>(QStringLiteral("actDel"))->trigger();
    EXPECT_TRUE(f->DetailDataSet()->IsEmpty());
    f->hide();
}

TEST_F(GridTest, RemarkCommandFillsTheFieldCatalogueOnce)
{
    TTestExpenseForm *f = openForm();
    auto *remark = f->findChild<widgets::TRqDBEdit *>(QStringLiteral("edRemark"));
    ASSERT_NE(remark, nullptr);
    auto type = [&](const char *letters) {
        for (const char *c = letters; *c; ++c)
            QTest::keyClick(remark, Qt::Key(Qt::Key_A + (*c - 'A')), Qt::ControlModifier | Qt::ShiftModifier);
    };
    type("TBX"); // a wrong code does nothing
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from TableInfo")).toInt(), 0);
    type("TBL");
    EXPECT_EQ(shown(), QStringList{QStringLiteral("数据插入成功")});
    const int masterFields = scalar(QStringLiteral("select count(*) from pragma_table_info('expenseath')")).toInt();
    const int lineFields = scalar(QStringLiteral("select count(*) from pragma_table_info('expenseathdetail')")).toInt();
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from TableInfo where TableName='expenseath' and ID=1 and "
                                    "DisplayTableName='费用开支单主表'")).toInt(), masterFields);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from TableInfo where TableName='expenseathdetail' and "
                                    "DisplayTableName='费用开支单明细表'")).toInt(), lineFields);
    auto typeOf = [&](const char *table, const char *field) {
        return scalar(QStringLiteral("select FieldType from TableInfo where TableName='%1' and upper(FieldName)='%2'")
                          .arg(QLatin1String(table), QLatin1String(field))).toString();
    };
    EXPECT_EQ(typeOf("expenseath", "NOTEID"), QStringLiteral("整型"));
    EXPECT_EQ(typeOf("expenseath", "NOTEDATE"), QStringLiteral("时间型"));
    EXPECT_EQ(typeOf("expenseath", "CHECKNO"), QStringLiteral("字符类型"));
    EXPECT_EQ(typeOf("expenseathdetail", "AMOUNT"), QStringLiteral("数值型"));
    EXPECT_EQ(scalar(QStringLiteral("select DisplayFieldName from TableInfo where TableName='expenseathdetail' and "
                                    "upper(FieldName)='AMOUNT'")).toString(), QStringLiteral("金额"));
    // Tables already catalogued are left alone.
    m_messages.clear();
    type("TBL");
    EXPECT_EQ(shown(), QStringList{QStringLiteral("数据插入成功")});
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from TableInfo")).toInt(), masterFields + lineFields);
    EXPECT_TRUE(remark->text().isEmpty()) << "the command types nothing into the remark";
}

TEST_F(GridTest, PartnerVariablesOfThePrintedNote)
{
    TTestExpenseForm *f = openForm();
    auto vars = f->PartnerReportVariables();
    EXPECT_EQ(vars.size(), 9);
    EXPECT_TRUE(vars.value(QStringLiteral("partnerName")).toString().isEmpty()) << "no partner, empty variables";
    setField("PARTNERID", 2);
    vars = f->PartnerReportVariables();
    const db::ResultSet p = m_db->select(QStringLiteral("select NAME, FULLNAME, TEL1, BANKACCNO from partnerlth where PARTNERID=2"));
    ASSERT_EQ(p.rows.size(), 1);
    EXPECT_EQ(vars.value(QStringLiteral("partnerName")).toString(), p.value(0, "NAME").toString());
    EXPECT_EQ(vars.value(QStringLiteral("partnerFullName")).toString(), p.value(0, "FULLNAME").toString());
    EXPECT_EQ(vars.value(QStringLiteral("partnerTel")).toString(), p.value(0, "TEL1").toString());
    EXPECT_EQ(vars.value(QStringLiteral("partnerBankaccno")).toString(), p.value(0, "BANKACCNO").toString());
    EXPECT_FALSE(vars.value(QStringLiteral("partnerName")).toString().isEmpty());
}
