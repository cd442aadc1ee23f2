// Lines of a note: defaults, temporary and stored numbers, the update bracket,
// deletion of referred lines and the removal of lines on kind and partner
// changes.

#include "MDnoteFixture.h"

#include "data/ClientDataSet.h"
#include "widgets/DBGrid.h"

using namespace mdnotetest;


class LinesTest : public MDnoteTest {};

TEST_F(LinesTest, NewLinesGetDefaultsAndTemporaryNumbersThenStoredOnes)
{
    TTestExpenseForm *f = openForm(Tables::Test);
    addLine(10);
    // Line defaults of a new line, key of the unsaved note.
    QStringList defaults;
    for (const char *name : {"NOTEID", "DISC", "QUANTITY", "PRICE", "CLOSED", "REFERCOUNT"})
        defaults << f->DetailValue(QString::fromLatin1(name)).toString();
    EXPECT_EQ(defaults.join(u'|'), QStringLiteral("-9999|100|0|0|0|0"));
    addLine(20);
    EXPECT_EQ(lineValues("ITEMSNO"), (QVariantList{-1, -2}));
    EXPECT_TRUE(f->DetailChanged());

    ASSERT_TRUE(f->SaveNote()) << shown().join('|').toStdString();
    const int id = f->CurrentNoteID();
    ASSERT_GT(id, 0);
    EXPECT_FALSE(f->DetailChanged());
    EXPECT_EQ(lineValues("ITEMSNO"), (QVariantList{1, 2}));
    EXPECT_EQ(lineValues("NOTEID"), (QVariantList{id, id}));
    const QString stored = QStringLiteral("select ITEMSNO, AMOUNT from testmdathdetail where NOTEID=%1 order by ITEMSNO").arg(id);
    EXPECT_EQ(rows(stored), QStringLiteral("1|10,2|20"));

    // A line added later continues after the highest stored number, even one
    // another writer stored meanwhile.
    sql(QStringLiteral("insert into testmdathdetail (NOTEID, ITEMSNO, AMOUNT) values (%1, 7, 5)").arg(id));
    ASSERT_TRUE(f->LoadNote(id));
    EXPECT_EQ(lineValues("ITEMSNO"), (QVariantList{1, 2, 7}));
    addLine(30);
    addLine(40);
    EXPECT_EQ(lineValues("ITEMSNO"), (QVariantList{1, 2, 7, -1, -2}));
    ASSERT_TRUE(f->SaveNote()) << shown().join('|').toStdString();
    EXPECT_EQ(lineValues("ITEMSNO"), (QVariantList{1, 2, 7, 8, 9}));
    EXPECT_EQ(rows(stored), QStringLiteral("1|10,2|20,7|5,8|30,9|40"));
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}

TEST_F(LinesTest, UpdateBracketDetachesHandlersAndGridAndReturnsToTheLine)
{
    TTestExpenseForm *f = openForm();
    addLine(1);
    addLine(2);
    addLine(3);
    data::ClientDataSet *ds = f->DetailDataSet();
    ds->SetRecNo(2);
    const int scrolls = f->scrolls;
    const bool changedBefore = f->DetailChanged();
    f->BeginDetailUpdate();
    f->BeginDetailUpdate(); // nested brackets restore once, at the outer end
    EXPECT_EQ(f->Grid()->DataSource(), nullptr);
    EXPECT_TRUE(ds->ControlsDisabled());
    for (ds->First(); !ds->Eof(); ds->Next()) {
        ds->Edit();
        ds->Post();
    }
    f->EndDetailUpdate();
    EXPECT_EQ(f->Grid()->DataSource(), nullptr) << "the inner end keeps the bracket";
    f->EndDetailUpdate();
    EXPECT_EQ(f->scrolls - scrolls, 1) << "only the return to the remembered line scrolls";
    EXPECT_EQ(f->DetailChanged(), changedBefore);
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_EQ(f->Grid()->DataSource(), f->DetailDataSource());
    EXPECT_FALSE(ds->ControlsDisabled());
    // Handlers are back: a post marks the detail changed and scrolling reaches the hook.
    ds->Next();
    EXPECT_EQ(f->scrolls - scrolls, 2);
}

TEST_F(LinesTest, ReferredLineCannotBeDeleted)
{
    TTestExpenseForm *f = openForm();
    addLine(1);
    addLine(2, {}, 0, 1); // referred by another note
    ASSERT_TRUE(f->SaveNote());
    f->DetailDataSet()->Last();
    EXPECT_FALSE(f->DeleteDetailLine());
    EXPECT_EQ(errors(), QStringList{QStringLiteral("本明细记录已经被其他单据引用,不能删除.")});
    EXPECT_EQ(f->DetailDataSet()->RecordCount(), 2);
    EXPECT_FALSE(f->IsNoteModified());
    f->DetailDataSet()->First();
    f->muDeleteDetailClick();
    EXPECT_EQ(f->DetailDataSet()->RecordCount(), 1);
    EXPECT_TRUE(f->DetailChanged());
    ASSERT_TRUE(f->SaveNote());
    EXPECT_EQ(lineRows(f->CurrentNoteID()), 1);
    EXPECT_EQ(scalar(QStringLiteral("select ITEMSNO from expenseathdetail where NOTEID=%1").arg(f->CurrentNoteID())).toInt(), 2);
    // An empty line list: nothing to delete, nothing refused.
    f->DetailDataSet()->First();
    sql(QStringLiteral("update expenseathdetail set REFERCOUNT=0"));
    f->ReloadNote();
    EXPECT_TRUE(f->DeleteDetailLine());
    EXPECT_TRUE(f->DeleteDetailLine());
    EXPECT_TRUE(f->DetailDataSet()->IsEmpty());
}

TEST_F(LinesTest, PartnerChangeRemovesTakenLinesKindChangeRemovesAll)
{
    TTestExpenseForm *f = openForm();
    setField("PARTNERID", 1);
    addLine(1);
    addLine(2, {}, 900); // taken from a source note
    addLine(3);
    addLine(4, {}, 901);
    ASSERT_TRUE(f->SaveNote());
    const int id = f->CurrentNoteID();

    setField("PARTNERID", 2);
    EXPECT_EQ(lineValues("ITEMSNO"), (QVariantList{1, 3}));
    EXPECT_TRUE(f->IsNoteModified());
    ASSERT_TRUE(f->SaveNote());
    EXPECT_EQ(rows(QStringLiteral("select ITEMSNO from expenseathdetail where NOTEID=%1 order by ITEMSNO").arg(id)),
              QStringLiteral("1,3"));

    f->Grid()->SetSelectedColumn(3);
    setField("NOTEKIND", 2);
    EXPECT_TRUE(f->DetailDataSet()->IsEmpty());
    EXPECT_LE(f->Grid()->SelectedColumn(), 0) << "the selected column is reset";
    ASSERT_TRUE(f->SaveNote());
    EXPECT_EQ(lineRows(id), 0);
    EXPECT_EQ(scalar(QStringLiteral("select AMOUNT from expenseath where NOTEID=%1").arg(id)).toDouble(), 0.0);
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}

TEST_F(LinesTest, RemovalStopsAtALineOtherNotesReferTo)
{
    TTestExpenseForm *f = openForm();
    addLine(1, {}, 900);
    addLine(2, {}, 901, 2); // taken and referred by a later note
    addLine(3, {}, 902);
    ASSERT_TRUE(f->SaveNote());
    setField("PARTNERID", 3);
    EXPECT_EQ(errors(), QStringList{QStringLiteral("本明细记录已经被其他单据引用,不能删除.")});
    EXPECT_EQ(lineValues("ITEMSNO"), (QVariantList{2, 3})) << "the walk stops at the referred line";
    m_messages.clear();
    setField("NOTEKIND", 3);
    EXPECT_EQ(errors(), QStringList{QStringLiteral("本明细记录已经被其他单据引用,不能删除.")});
    EXPECT_EQ(lineValues("ITEMSNO"), (QVariantList{2, 3}));
}

TEST_F(LinesTest, LineFieldChangesReachTheHookAndTheLineMenusFollowTheState)
{
    TTestExpenseForm *f = openForm(Tables::Test);
    addLine(12.5, QStringLiteral("差旅"));
    EXPECT_TRUE(f->changedFields.contains(QStringLiteral("AMOUNT")));
    EXPECT_TRUE(f->changedFields.contains(QStringLiteral("REMARK")));
    EXPECT_FALSE(f->changedFields.contains(QStringLiteral("ITEMSNO"))) << "defaults are written silently";
    auto *append = f->findChild<QAction *>(QStringLiteral("muAppendDetail"));
    auto *remove = f->findChild<QAction *>(QStringLiteral("muDeleteDetail"));
    ASSERT_TRUE(append && remove);
    EXPECT_TRUE(append->isEnabled());
    ASSERT_TRUE(f->SaveNote());
    sql(QStringLiteral("update testmdath set NOTESTATE=1 where NOTEID=%1").arg(f->CurrentNoteID()));
    f->ReloadNote();
    EXPECT_FALSE(append->isEnabled());
    EXPECT_FALSE(remove->isEnabled());
    EXPECT_TRUE(f->Grid()->ReadOnly());
    f->muAppendDetailClick(); // read-only: no line appears
    EXPECT_EQ(f->DetailDataSet()->RecordCount(), 1);
    EXPECT_EQ(f->DetailDataSet()->State(), data::DataSetState::Browse);
}
