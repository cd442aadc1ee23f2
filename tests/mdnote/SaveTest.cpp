// Saving a note with lines: the master amount from the lines, modification
// through a line, line validation, deletion. (Master and lines in one
// transaction: the fault-injection loop of the expense window.)

#include "MDnoteFixture.h"

#include "data/ClientDataSet.h"

#include <QPushButton>

using namespace mdnotetest;

class SaveTest : public MDnoteTest {};

TEST_F(SaveTest, MasterAmountIsTheSumOfRoundedLineAmounts)
{
    TTestExpenseForm *f = openForm();
    addLine(10.005); // each line rounded first: 10.01
    addLine(2.333);  // 2.33
    addLine(0.004);  // 0.00
    f->findChild<QPushButton *>(QStringLiteral("OkBtn"))->click();
    ASSERT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
    const int id = f->CurrentNoteID();
    EXPECT_DOUBLE_EQ(scalar(QStringLiteral("select AMOUNT from expenseath where NOTEID=%1").arg(id)).toDouble(), 12.34);
    EXPECT_DOUBLE_EQ(field("AMOUNT").toDouble(), 12.34);

    // Only a line changes: the note is modified and the amount follows.
    f->ReloadNote();
    EXPECT_FALSE(f->IsNoteModified());
    f->DetailDataSet()->Locate(QStringLiteral("ITEMSNO"), 2);
    setLine(QStringLiteral("AMOUNT"), 100); // the line stays in edit, unposted
    EXPECT_FALSE(f->MasterDataSet()->Modified());
    EXPECT_TRUE(f->IsNoteModified());
    EXPECT_EQ(f->DetailDataSet()->State(), data::DataSetState::Browse) << "the pending line edit was posted";
    ASSERT_TRUE(f->SaveNote()) << shown().join('|').toStdString();
    EXPECT_EQ(rows(QStringLiteral("select m.AMOUNT, d.AMOUNT from expenseath m join expenseathdetail d on d.NOTEID = m.NOTEID "
                                  "where m.NOTEID=%1 and d.ITEMSNO=2").arg(id)),
              QStringLiteral("110.01|100"));
    EXPECT_FALSE(f->IsNoteModified());

    // Lines come back in their numbered order, wherever the books keep the rows
    // (a server moves a changed row; here the numbers are turned round).
    sql(QStringLiteral("update expenseathdetail set ITEMSNO = ITEMSNO + 10 where NOTEID=%1").arg(id));
    sql(QStringLiteral("update expenseathdetail set ITEMSNO = 14 - ITEMSNO where NOTEID=%1").arg(id));
    f->ReloadNote();
    EXPECT_EQ(lineValues(QStringLiteral("ITEMSNO")), (QVariantList{1, 2, 3}));
    EXPECT_EQ(lineValues(QStringLiteral("AMOUNT")), (QVariantList{0.004, 100.0, 10.005}));
}

TEST_F(SaveTest, UnsavedLineEditIsAskedAboutAndDiscardedOnNo)
{
    TTestExpenseForm *f = openForm();
    addLine(5);
    ASSERT_TRUE(f->SaveNote());
    const int id = f->CurrentNoteID();
    addLine(7);
    m_messages.answer(AnswerNo);
    EXPECT_TRUE(f->QuerySaveChanges());
    EXPECT_EQ(shown(), QStringList{QStringLiteral("数据没有保存，保存数据？")});
    EXPECT_EQ(f->DetailDataSet()->RecordCount(), 1);
    EXPECT_FALSE(f->DetailChanged());
    EXPECT_FALSE(f->IsNoteModified());
    EXPECT_EQ(lineRows(id), 1);
}

TEST_F(SaveTest, LineValidationStopsAtTheFirstBadLine)
{
    TTestExpenseForm *f = openForm();
    addLine(1);
    addLine(2, QStringLiteral("bad"));
    addLine(3, QStringLiteral("bad"));
    addLine(4);
    const int masters = scalar(QStringLiteral("select count(*) from expenseath")).toInt();
    f->validated = 0;
    EXPECT_FALSE(f->SaveNote());
    EXPECT_EQ(f->validated, 2);
    EXPECT_EQ(errors(), QStringList{QStringLiteral("第2行明细有误")});
    EXPECT_EQ(f->DetailDataSet()->RecNo(), 2) << "the bad line is the current one";
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from expenseath")).toInt(), masters);
    EXPECT_TRUE(f->IsNewNote());
    EXPECT_EQ(lineValues(QStringLiteral("ITEMSNO")), (QVariantList{-1, -2, -3, -4})) << "no numbers before a save";
}

TEST_F(SaveTest, DeletingANoteLeavesItsLinesToTheDatabase)
{
    // Test tables: no trigger removes the lines.
    TTestExpenseForm *f = openForm(Tables::Test);
    addLine(1);
    addLine(2);
    ASSERT_TRUE(f->SaveNote());
    const int id = f->CurrentNoteID();
    m_messages.answer(AnswerYes);
    EXPECT_TRUE(f->DeleteNote());
    EXPECT_EQ(m_messages.records().first().text, QStringLiteral("是否确认删除数据？"));
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from testmdath where NOTEID=%1").arg(id)).toInt(), 0);
    EXPECT_EQ(lineRows(id), 2) << "the package writes only the master row's deletion";
    EXPECT_TRUE(f->IsNewNote()) << "the next note after the last is a blank one";
    EXPECT_TRUE(f->DetailDataSet()->IsEmpty());
    // (The expense tables' own trigger removing the lines: the money tests.)
}
