#include "WidgetFixture.h"

#include "widgets/DBControls.h"

#include <QTest>

using namespace widgets;

namespace widgettest {

class ControlsTest : public WidgetTest {};

TEST_F(ControlsTest, EditShowsWritesFollowsEditRulesAndRefusesBadValues)
{
    auto ds = query("select BUILDINGID, CODE, NAME, CLOSED, REMARK, EMPID from storelth order by BUILDINGID");
    data::DataSource src(ds.get());
    TRqDBEdit edit(nullptr, "edName");
    edit.SetDataSource(&src);
    edit.SetDataField("name"); // any case
    EXPECT_EQ(edit.text(), "总部仓库");
    ds->Next();
    EXPECT_EQ(edit.text(), "原料仓库");

    // Typing and Enter write through AutoEdit.
    edit.selectAll();
    typeText(&edit, "辅料仓库");
    EXPECT_EQ(ds->State(), data::DataSetState::Browse); // nothing written while typing
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "辅料仓库");
    ds->Post();

    // Esc gives the typed text up.
    edit.selectAll();
    typeText(&edit, "X");
    QTest::keyClick(&edit, Qt::Key_Escape);
    EXPECT_EQ(edit.text(), "辅料仓库");
    EXPECT_EQ(ds->State(), data::DataSetState::Browse);

    // A read-only field can't be written.
    ds->FieldByName("NAME")->SetReadOnly(true);
    src.SetEnabled(false);
    src.SetEnabled(true); // controls look at the rules again
    EXPECT_TRUE(edit.isReadOnly());
    EXPECT_FALSE(edit.DataLink()->Write("改不了"));
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "辅料仓库");
    ds->FieldByName("NAME")->SetReadOnly(false);

    // Without AutoEdit a browsing data set refuses; in edit state it accepts.
    src.SetAutoEdit(false);
    src.SetEnabled(false);
    src.SetEnabled(true);
    EXPECT_TRUE(edit.isReadOnly());
    ds->Edit();
    EXPECT_FALSE(edit.isReadOnly());
    ds->Cancel();

    // The control's own flag wins.
    src.SetAutoEdit(true);
    edit.SetReadOnly(true);
    EXPECT_TRUE(edit.isReadOnly());
    EXPECT_FALSE(edit.Editable());

    // A bad value is shown and not stored; an emptied edit writes null.
    ds->First();
    TRqDBEdit emp;
    emp.SetDataSource(&src);
    emp.SetDataField("EMPID");
    EXPECT_EQ(emp.text(), "5");
    emp.selectAll();
    typeText(&emp, "abc");
    QTest::keyClick(&emp, Qt::Key_Return);
    // The field is named as the schema spells it, on a server too.
    EXPECT_EQ(errors(), QStringList{"'abc' 不是字段 'EMPID' 有效的整数值"});
    EXPECT_EQ(ds->FieldByName("EMPID")->AsInteger(), 5);
    EXPECT_EQ(emp.text(), "5");
    emp.selectAll();
    QTest::keyClick(&emp, Qt::Key_Delete);
    QTest::keyClick(&emp, Qt::Key_Return);
    EXPECT_TRUE(ds->FieldByName("EMPID")->IsNull());

    // The text set as a property (as a script sets it) is written at once,
    // refused as typed when bad.
    EXPECT_TRUE(emp.setProperty("text", "7"));
    EXPECT_EQ(ds->FieldByName("EMPID")->AsInteger(), 7);
    emp.setProperty("text", "x");
    EXPECT_EQ(errors().last(), "'x' 不是字段 'EMPID' 有效的整数值");
    EXPECT_EQ(ds->FieldByName("EMPID")->AsInteger(), 7);
}

TEST_F(ControlsTest, CheckBoxMemoAndLabel)
{
    auto ds = query("select BUILDINGID, NAME, CLOSED, REMARK from storelth order by BUILDINGID");
    data::DataSource src(ds.get());
    TRqDBCheckBox check(nullptr, "cbClosed");
    check.SetDataSource(&src);
    check.SetDataField("CLOSED");
    TRqDBMemo memo(nullptr, "edRemark");
    memo.SetDataSource(&src);
    memo.SetDataField("REMARK");
    TRqDBText label(nullptr, "lblName");
    label.SetDataSource(&src);
    label.SetDataField("NAME");

    EXPECT_FALSE(check.isChecked());
    EXPECT_EQ(label.text(), "总部仓库");
    check.click();
    EXPECT_EQ(ds->FieldByName("CLOSED")->AsInteger(), 1);

    memo.setPlainText("第一行\n第二行");
    EXPECT_TRUE(memo.UpdateRecord());
    EXPECT_EQ(ds->FieldByName("REMARK")->AsString(), "第一行\n第二行");
    ds->Post();

    ds->Next();
    EXPECT_FALSE(check.isChecked());
    EXPECT_EQ(memo.toPlainText(), QString());
    EXPECT_EQ(label.text(), "原料仓库");
    ds->Prior();

    // Read-only: a click changes neither the box nor the field.
    check.SetReadOnly(true);
    check.click();
    EXPECT_TRUE(check.isChecked());
    EXPECT_EQ(ds->FieldByName("CLOSED")->AsInteger(), 1);
    EXPECT_EQ(ds->State(), data::DataSetState::Browse);

    // Text values.
    TRqDBCheckBox flag;
    flag.SetDataSource(&src);
    flag.SetDataField("REMARK");
    flag.SetValues("Y", "N");
    EXPECT_FALSE(flag.isChecked());
    flag.click();
    EXPECT_EQ(ds->FieldByName("REMARK")->AsString(), "Y");

    // Set as properties, as a script sets them: written as a click and as typed.
    flag.setProperty("checked", false);
    EXPECT_EQ(ds->FieldByName("REMARK")->AsString(), "N");
    memo.setProperty("plainText", "脚本写入");
    EXPECT_EQ(ds->FieldByName("REMARK")->AsString(), "脚本写入");
    check.setProperty("checked", false); // read-only still
    EXPECT_EQ(ds->FieldByName("CLOSED")->AsInteger(), 1);
}

TEST_F(ControlsTest, DateEditWithNullDate)
{
    data::ClientDataSet ds;
    ds.AddField("NOTEID", data::FieldType::Integer);
    ds.AddField("NOTEDATE", data::FieldType::Date);
    ds.CreateDataSet();
    ds.Append();
    ds.FieldByName("NOTEID")->SetValue(1);
    ds.FieldByName("NOTEDATE")->SetValue(QDate(2024, 3, 15));
    ds.Post();
    ds.Append(); // the second note has no date yet
    ds.FieldByName("NOTEID")->SetValue(2);
    ds.Post();
    ds.First();

    data::DataSource src(&ds);
    TRqDBDateEdit edit;
    edit.SetDataSource(&src);
    edit.SetDataField("NOTEDATE");
    EXPECT_EQ(edit.Date(), QDate(2024, 3, 15));
    EXPECT_EQ(edit.text(), "2024-03-15");

    ds.Next();
    EXPECT_TRUE(edit.IsNull());
    EXPECT_FALSE(edit.Date().isValid());
    EXPECT_TRUE(edit.SetDateValue(QDate(2024, 4, 1)));
    EXPECT_EQ(ds.FieldByName("NOTEDATE")->AsDate(), QDate(2024, 4, 1));
    ds.Post();

    // Delete writes null; a date is keyed into the empty box and written when the edit ends.
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_TRUE(ds.FieldByName("NOTEDATE")->IsNull());
    ASSERT_TRUE(edit.IsNull());
    QTest::keyClicks(&edit, "2025-02-07");
    EXPECT_EQ(edit.text(), "2025-02-07");
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(ds.FieldByName("NOTEDATE")->AsDate(), QDate(2025, 2, 7));
    // Short parts end at their separator.
    QTest::keyClick(&edit, Qt::Key_Delete);
    QTest::keyClicks(&edit, "2025-1-9");
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(ds.FieldByName("NOTEDATE")->AsDate(), QDate(2025, 1, 9));
    ds.Cancel();

    ds.FieldByName("NOTEDATE")->SetReadOnly(true);
    EXPECT_FALSE(edit.SetDateValue(QDate(2025, 1, 1)));
    EXPECT_EQ(ds.FieldByName("NOTEDATE")->AsDate(), QDate(2024, 4, 1));
}

} // namespace widgettest
