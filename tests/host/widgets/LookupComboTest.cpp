#include "WidgetFixture.h"

#include "widgets/LookupCombo.h"

#include <QTableView>
#include <QTest>
#include <QToolButton>

using namespace widgets;

namespace widgettest {

class LookupComboTest : public WidgetTest {
protected:
    void SetUp() override
    {
        WidgetTest::SetUp();
        master = std::make_unique<data::ClientDataSet>(m_db.get());
        master->AddField("BUILDINGID", data::FieldType::Integer);
        master->CreateDataSet();
        master->Append();
        master->FieldByName("BUILDINGID")->SetValue(2);
        master->Post();
        src = std::make_unique<data::DataSource>(master.get());
        combo = std::make_unique<TRqLookupCombo>(nullptr, "cmbBuildingID");
        combo->SetDataSource(src.get());
        combo->SetDataField("BUILDINGID");
        combo->SetListSource("dsStore");
        combo->SetListFields("CODE;NAME");
        combo->resize(200, 24);
    }
    void TearDown() override
    {
        combo.reset();
        src.reset();
        master.reset();
        WidgetTest::TearDown();
    }
    QVariant key() const { return master->FieldByName("BUILDINGID")->Value(); }

    std::unique_ptr<data::ClientDataSet> master;
    std::unique_ptr<data::DataSource> src;
    std::unique_ptr<TRqLookupCombo> combo;
};

TEST_F(LookupComboTest, ShowsNameOfKeyAndFiltersList)
{
    EXPECT_EQ(combo->text(), "原料仓库");
    EXPECT_EQ(combo->TextOfKey(4), "食品冷藏库");

    combo->DropDown();
    ASSERT_TRUE(combo->ListVisible());
    EXPECT_EQ(combo->ListRowCount(), 5);
    EXPECT_EQ(combo->Popup()->View()->model()->columnCount(), 2);
    EXPECT_EQ(combo->ListDisplayText(0, 0), "01");
    EXPECT_EQ(combo->CurrentListRow(), 1); // opens on the current key
    QTest::keyClick(combo.get(), Qt::Key_Escape);

    // Head-office lists leave the shops' stores out; a filtered-out key still shows its name.
    combo->SetListFilter("shoperateid is null or shoperateid=0");
    master->Edit();
    master->FieldByName("BUILDINGID")->SetValue(5);
    EXPECT_EQ(combo->text(), "南京东路门店仓");
    combo->DropDown();
    EXPECT_EQ(combo->ListRowCount(), 4);
    for (int r = 0; r < combo->ListRowCount(); ++r)
        EXPECT_NE(combo->ListValue(r, "BUILDINGID").toInt(), 5);
    combo->CloseUp(false);

    // A key or a text set as a property (as a script sets it) is a pick from
    // the list: one the list does not offer is refused and changes nothing.
    EXPECT_TRUE(combo->setProperty("keyValue", 3));
    EXPECT_EQ(key().toInt(), 3);
    combo->setProperty("keyValue", 5);
    combo->setProperty("keyValue", 99);
    EXPECT_EQ(errors().size(), 2);
    EXPECT_TRUE(errors().first().startsWith("'5' 不是 '"));
    EXPECT_EQ(key().toInt(), 3);
    EXPECT_EQ(combo->text(), "成品仓库");
    combo->setProperty("text", "04");
    EXPECT_EQ(key().toInt(), 4);

    // A predicate instead of an expression.
    combo->SetListFilterFunction([](data::ClientDataSet &row) {
        return row.FieldByName("CODE")->AsString() >= "03";
    });
    EXPECT_EQ(combo->Search(QString()), 3);
}

TEST_F(LookupComboTest, IncrementalSearchWritesKey)
{
    // By code: F4 opens, typing narrows, arrows move, Enter takes the row.
    QTest::keyClick(combo.get(), Qt::Key_F4);
    ASSERT_TRUE(combo->ListVisible());
    combo->selectAll();
    typeText(combo.get(), "03");
    EXPECT_EQ(combo->ListRowCount(), 1);
    QTest::keyClick(combo.get(), Qt::Key_Return);
    EXPECT_FALSE(combo->ListVisible());
    EXPECT_EQ(key().toInt(), 3);
    EXPECT_EQ(combo->text(), "成品仓库");
    master->Post();

    // By a part of the name, opened by typing; Down moves to the next match.
    combo->selectAll();
    typeText(combo.get(), "仓库");
    ASSERT_TRUE(combo->ListVisible());
    EXPECT_EQ(combo->ListRowCount(), 3); // not 食品冷藏库 nor 门店仓
    QTest::keyClick(combo.get(), Qt::Key_Down);
    QTest::keyClick(combo.get(), Qt::Key_Return);
    EXPECT_EQ(key().toInt(), 2);

    combo->selectAll();
    typeText(combo.get(), "冷藏");
    EXPECT_EQ(combo->ListRowCount(), 1);
    QTest::keyClick(combo.get(), Qt::Key_Enter);
    EXPECT_EQ(key().toInt(), 4);

    // Prefix matches come before others; nothing found leaves the key alone.
    combo->SetSearchFields("NAME*");
    EXPECT_EQ(combo->Search("冷藏"), 0);
    EXPECT_EQ(combo->Search("食品"), 1);
    combo->selectAll();
    typeText(combo.get(), "无此仓");
    QTest::keyClick(combo.get(), Qt::Key_Return);
    EXPECT_EQ(key().toInt(), 4);
    EXPECT_EQ(combo->text(), "食品冷藏库");

    // Alt+Down opens, Esc closes without a change.
    QTest::keyClick(combo.get(), Qt::Key_Down, Qt::AltModifier);
    EXPECT_TRUE(combo->ListVisible());
    QTest::keyClick(combo.get(), Qt::Key_Down);
    QTest::keyClick(combo.get(), Qt::Key_Escape);
    EXPECT_EQ(key().toInt(), 4);

    // Delete clears the key.
    QTest::keyClick(combo.get(), Qt::Key_Delete);
    EXPECT_TRUE(key().isNull());
    EXPECT_TRUE(combo->text().isEmpty());
}

TEST_F(LookupComboTest, WithoutChosenColumnsShowsCodeAndNameFindsTheSpeedSymbolReadOnlyAndUnbound)
{
    m_db->exec("update Commoditylth set CLOSED=1 where CODE='BG0001'");
    RefreshLookupDataSet("qryCommodity");
    TRqLookupCombo goods(nullptr, "cmbCommodity");
    goods.SetListSource("dsCommodity");
    goods.SetListFields(QString());
    goods.DropDown();
    ASSERT_TRUE(goods.ListVisible());
    EXPECT_EQ(goods.ListFields(), QStringList({"CODE", "NAME"}));
    // The speed symbol finds a row; a closed row is found by nothing typed.
    EXPECT_EQ(goods.Search("a4"), 0); // A4复印纸 is closed
    m_db->exec("update Commoditylth set CLOSED=0 where CODE='BG0001'");
    RefreshLookupDataSet("qryCommodity");
    EXPECT_EQ(goods.Search("a4fy"), 1);
    EXPECT_EQ(goods.ListDisplayText(0, 1), "A4复印纸");
    QTest::keyClick(&goods, Qt::Key_Return);
    EXPECT_EQ(goods.text(), "A4复印纸");

    // Read-only: neither F4 nor Delete do anything.
    master->FieldByName("BUILDINGID")->SetReadOnly(true);
    combo->SetReadOnly(true);
    QTest::keyClick(combo.get(), Qt::Key_F4);
    EXPECT_FALSE(combo->ListVisible());
    QTest::keyClick(combo.get(), Qt::Key_Delete);
    EXPECT_EQ(key().toInt(), 2);

    // Unbound: the combo keeps its own key; a client data set as the list.
    auto partners = query("select PARTNERID, CODE, NAME from partnerlth where ISVENDOR = 1 order by CODE");
    TRqLookupCombo own(nullptr, "cmbPartner");
    own.SetListDataSet(partners.get());
    own.SetKeyField("PARTNERID");
    own.SetListFields("CODE;NAME");
    EXPECT_TRUE(own.KeyValue().isNull());
    own.selectAll();
    typeText(&own, "s002");
    QTest::keyClick(&own, Qt::Key_Return);
    EXPECT_EQ(own.text(), "华强电子");
    const QVariant k = own.KeyValue();
    EXPECT_EQ(partners->Lookup("PARTNERID", {k}, "CODE").toString(), "S002");
}

TEST_F(LookupComboTest, UtilityCommandsReachHandler)
{
    QStringList seen;
    QVariant keyAtCall;
    combo->SetUtilityCommands({"新增#", "编辑#", "刷新"});
    combo->SetUtilityHandler([&](TRqLookupCombo *c, const QString &command) {
        seen << command;
        keyAtCall = c->KeyValue();
    });
    combo->RunUtility("新增#");
    EXPECT_EQ(seen, QStringList{"新增"});

    // The buttons of the drop-down.
    combo->DropDown();
    auto *edit = combo->Popup()->findChild<QToolButton *>("btnUtility1");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), "编辑");
    edit->click();
    EXPECT_EQ(seen.last(), "编辑");
    EXPECT_EQ(keyAtCall.toInt(), 2);
    EXPECT_FALSE(combo->ListVisible());

    // Default: the host's ComboBoxUtilitys (LookupTest) opens the source's window for the key.
    combo->SetUtilityHandler(nullptr);
    QVariant editedKey = "none";
    RegisterLookupEditor("dsStore", [&](QWidget *, const QVariant &k) {
        editedKey = k;
        return new QWidget;
    });
    combo->RunUtility("编辑");
    EXPECT_EQ(editedKey.toInt(), 2) << editedKey.toString().toStdString();
}

} // namespace widgettest
