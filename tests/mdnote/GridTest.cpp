// The window around the lines: the column settings kept per window (the
// footer's caption following them), the line keys, the field-catalogue command of the
// remark and the partner variables of the printed note.

#include "MDnoteFixture.h"

#include "data/ClientDataSet.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"

#include <QAction>
#include <QListWidget>
#include <QTest>

using namespace mdnotetest;

class GridTest : public MDnoteTest {};

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
    const int masterFields = int(database().tableColumns(QStringLiteral("expenseath")).size());
    const int lineFields = int(database().tableColumns(QStringLiteral("expenseathdetail")).size());
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from TableInfo where TableName='expenseath' and ID=1 and "
                                    "DisplayTableName='费用开支单主表'")).toInt(), masterFields);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from TableInfo where TableName='expenseathdetail' and "
                                    "DisplayTableName='费用开支单明细表'")).toInt(), lineFields);
    // Each column type has its own name; a line column carries its grid caption.
    EXPECT_EQ(rows(QStringLiteral("select FieldType from TableInfo where TableName='expenseath' and "
                                  "upper(FieldName) in ('NOTEID', 'NOTEDATE', 'CHECKNO') order by upper(FieldName)")),
              QStringLiteral("字符类型,时间型,整型"));
    EXPECT_EQ(rows(QStringLiteral("select FieldType, DisplayFieldName from TableInfo where TableName='expenseathdetail' "
                                  "and upper(FieldName)='AMOUNT'")), QStringLiteral("数值型|金额"));
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
    EXPECT_TRUE(vars.value(QStringLiteral("partnerName")).toString().isEmpty()) << "no partner, empty variables";
    setField("PARTNERID", 2);
    vars = f->PartnerReportVariables();
    QStringList shown;
    for (const char *var : {"partnerName", "partnerFullName", "partnerTel", "partnerBankaccno"})
        shown << vars.value(QString::fromLatin1(var)).toString();
    EXPECT_EQ(shown.join(u'|'), rows(QStringLiteral("select NAME, FULLNAME, TEL1, BANKACCNO from partnerlth where PARTNERID=2")));
    EXPECT_FALSE(shown.first().isEmpty());
}
