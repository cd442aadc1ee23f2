#include "WidgetFixture.h"

#include "widgets/DBGrid.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

using namespace widgets;

namespace widgettest {

class GridTest : public WidgetTest {
protected:
    void SetUp() override
    {
        WidgetTest::SetUp();
        // Note lines in memory.
        ds = std::make_unique<data::ClientDataSet>();
        ds->AddFieldDefs({{"CODE", data::FieldType::String, 20}, {"NAME", data::FieldType::String, 60},
                          {"QUANTITY", data::FieldType::Float}, {"PRICE", data::FieldType::Float},
                          {"AMOUNT", data::FieldType::Float}});
        ds->CreateDataSet();
        ds->FieldByName("CODE")->SetDisplayLabel("货品编号");
        ds->FieldByName("AMOUNT")->SetDisplayFormat("#0.00");
        addLine(*ds, "A01", "晨光中性笔", 10, 1.5);
        addLine(*ds, "A02", "华强耳机", 2, 99.9);
        addLine(*ds, "B01", "娃哈哈纯净水", 24, 1.2);
        ds->First();
        src = std::make_unique<data::DataSource>(ds.get());
        grid = std::make_unique<TRqDBGrid>(nullptr, "ItemGrid");
        grid->SetDataSource(src.get());
        grid->resize(600, 300);
    }
    void TearDown() override
    {
        grid.reset();
        src.reset();
        ds.reset();
        WidgetTest::TearDown();
    }
    QString cell(int row, int col) const { return grid->model()->index(row, col).data().toString(); }
    static void addLine(data::ClientDataSet &ds, const QString &code, const QString &name, double qty, double price)
    {
        ds.Append();
        const QVariantList values{code, name, qty, price, qty * price};
        for (int i = 0; i < values.size(); ++i)
            ds.FieldAt(i)->SetValue(values[i]);
        ds.Post();
    }

    std::unique_ptr<data::ClientDataSet> ds;
    std::unique_ptr<data::DataSource> src;
    std::unique_ptr<TRqDBGrid> grid;
};

TEST_F(GridTest, ColumnsCaptionsFormatsAndReadOnly)
{
    // Without defined columns: every visible field, captions from the display labels.
    ASSERT_EQ(grid->ColumnCount(), 5);
    EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal).toString(), "货品编号");
    EXPECT_EQ(cell(1, 4), "199.80");

    grid->AddColumn("NAME", "货品名称", 160);
    grid->AddColumn("QUANTITY", "数量");
    GridColumn &price = grid->AddColumn("PRICE", "单价");
    price.DisplayFormat = "#0.000";
    price.ReadOnly = true;
    grid->ColumnsChanged();
    ASSERT_EQ(grid->ColumnCount(), 3);
    EXPECT_EQ(grid->columnWidth(0), 160);
    EXPECT_EQ(grid->model()->headerData(2, Qt::Horizontal).toString() + u'|' + cell(0, 2), "单价|1.500");
    // A read-only column refuses the edit.
    EXPECT_FALSE(grid->model()->flags(grid->model()->index(0, 2)) & Qt::ItemIsEditable);
    EXPECT_FALSE(grid->model()->setData(grid->model()->index(0, 2), 3.0));
    EXPECT_DOUBLE_EQ(ds->FieldByName("PRICE")->AsFloat(), 1.5);

    // A field read-only in the data set, and a read-only grid.
    ds->FieldByName("NAME")->SetReadOnly(true);
    EXPECT_FALSE(grid->CanEditColumn(0));
    grid->SetReadOnly(true);
    EXPECT_FALSE(grid->CanEditColumn(1));
}

TEST_F(GridTest, FooterTotalsFollowLines)
{
    grid->SetFooterCaption(0, "合 计");
    grid->SetFooterSum(2);
    grid->SetFooterSum(4);
    grid->show();
    QApplication::processEvents();
    const QStringList footer = {grid->FooterText(0), grid->FooterText(1), grid->FooterText(2), grid->FooterText(4)};
    EXPECT_EQ(footer.join(u'|'), "合 计||36.00|243.60");

    // A changed line, while still being edited.
    ds->First();
    ds->Edit();
    ds->FieldByName("AMOUNT")->SetValue(20.0);
    EXPECT_EQ(grid->FooterText(4), "248.60");
    ds->Post();
    addLine(*ds, "C01", "钢管", 1, 100);
    EXPECT_EQ(grid->FooterText(2) + u'|' + grid->FooterText(4), "37.00|348.60");
    ds->Delete();
    EXPECT_EQ(grid->FooterText(4), "248.60");

    // The footer sits under the rows, as wide as the viewport.
    const QRect vp = grid->viewport()->geometry();
    EXPECT_EQ(grid->Footer()->geometry().top(), vp.bottom() + 1);
    EXPECT_EQ(grid->Footer()->geometry().right(), vp.right());
}

TEST_F(GridTest, EllipsisButtonAndKeys)
{
    QList<int> clicked;
    grid->Column(1).EllipsisButton = true;
    grid->SetEditButtonHandler([&](TRqDBGrid *, int column) { clicked << column; });
    grid->show();
    QApplication::processEvents();
    grid->setCurrentIndex(grid->model()->index(1, 1));
    const QRect button = grid->EllipsisRect(grid->currentIndex());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, button.center());
    EXPECT_EQ(clicked, QList<int>{1});
    // A click elsewhere in the cell is no button click.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->currentIndex()).topLeft() + QPoint(3, 3));
    EXPECT_EQ(clicked.size(), 1);
    // Ctrl+Enter is the button's key, on its column only.
    QTest::keyClick(grid.get(), Qt::Key_Return, Qt::ControlModifier);
    grid->setCurrentIndex(grid->model()->index(1, 0));
    QTest::keyClick(grid.get(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(clicked, (QList<int>{1, 1}));

    // Typing into a text cell stops at the field's size.
    grid->setCurrentIndex(grid->model()->index(0, 0));
    QTest::keyClick(grid.get(), Qt::Key_F2);
    auto *editor = grid->viewport()->findChild<QLineEdit *>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QString(25, u'x'));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(cell(0, 0), QString(20, u'x'));

    // Enter moves to the next editable cell, skipping read-only ones.
    grid->Column(2).ReadOnly = true;
    grid->setCurrentIndex(grid->model()->index(0, 1));
    QTest::keyClick(grid.get(), Qt::Key_Return);
    EXPECT_EQ(grid->currentIndex().column(), 3);
    grid->setCurrentIndex(grid->model()->index(0, 4));
    QTest::keyClick(grid.get(), Qt::Key_Return);
    EXPECT_EQ(grid->currentIndex(), grid->model()->index(1, 0));

    // Appending needs the flag; an untouched new line is not followed by another.
    grid->setCurrentIndex(grid->model()->index(2, 0));
    QTest::keyClick(grid.get(), Qt::Key_Down);
    EXPECT_EQ(ds->RecordCount(), 3);
    grid->SetAllowAppend(true);
    QTest::keyClick(grid.get(), Qt::Key_Down);
    EXPECT_EQ(ds->State(), data::DataSetState::Insert);
    QTest::keyClick(grid.get(), Qt::Key_Insert);
    EXPECT_EQ(ds->RecordCount(), 4);
    ds->Cancel();

    // Delete asks first when told to.
    grid->SetAllowDelete(true);
    grid->setCurrentIndex(grid->model()->index(0, 0));
    m_messages.answer(AnswerNo);
    QTest::keyClick(grid.get(), Qt::Key_Delete);
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(m_messages.texts(pub::MessageKind::YesNo), QStringList{"确认删除当前记录吗？"});
    m_messages.answer(AnswerYes);
    QTest::keyClick(grid.get(), Qt::Key_Delete);
    EXPECT_EQ(ds->RecordCount(), 2);
    EXPECT_EQ(ds->FieldByName("CODE")->AsString(), "A02");
}

TEST_F(GridTest, ColumnSettingsHideReorderAndPersist)
{
    grid->SetSettingsSection("PBuyForm.ItemGrid");
    // The user hides "NAME" and moves "AMOUNT" to the front.
    m_modal.setHandler([](QWidget *w) {
        auto *dlg = qobject_cast<ColumnSettingsDialog *>(w);
        EXPECT_NE(dlg, nullptr);
        if (!dlg)
            return 0;
        QListWidget *list = dlg->List();
        list->item(1)->setCheckState(Qt::Unchecked);
        list->setCurrentRow(4);
        for (int i = 0; i < 4; ++i)
            dlg->findChild<QPushButton *>("btnUp")->click();
        return int(QDialog::Accepted);
    });
    ASSERT_TRUE(grid->ShowColumnSettings());
    EXPECT_EQ(grid->ColumnOfField("NAME"), 2);
    EXPECT_TRUE(grid->isColumnHidden(2));
    EXPECT_EQ(cell(0, 0), "15.00"); // AMOUNT first
    EXPECT_TRUE(ReadIni("System.ini", "PBuyForm.ItemGrid", "COLUMNS").startsWith("AMOUNT:1:"));

    // Cancel changes nothing.
    m_modal.setHandler([](QWidget *) { return int(QDialog::Rejected); });
    EXPECT_FALSE(grid->ShowColumnSettings());
    EXPECT_EQ(grid->Column(0).FieldName, "AMOUNT");

    // A new grid over the same lines reads the settings back.
    TRqDBGrid again(nullptr, "ItemGrid");
    again.SetDataSource(src.get());
    again.SetSettingsSection("PBuyForm.ItemGrid");
    EXPECT_EQ(again.Column(0).FieldName, "CODE");
    ASSERT_TRUE(again.LoadColumnSettings());
    EXPECT_EQ(again.ColumnsState(), grid->ColumnsState());

    // A hook replaces the settings file.
    QString kept;
    again.SetSettingsHook([&](TRqDBGrid *, QString &state, bool save) {
        if (save)
            kept = state;
        else
            state = "PRICE:1:90;CODE:0:0";
    });
    again.SaveColumnSettings();
    EXPECT_EQ(kept, again.ColumnsState());
    ASSERT_TRUE(again.LoadColumnSettings());
    EXPECT_EQ(again.Column(0).FieldName, "PRICE");
    EXPECT_EQ(again.columnWidth(0), 90);
    EXPECT_TRUE(again.isColumnHidden(1));
}

TEST_F(GridTest, FindMovesCursor)
{
    // The grid follows the data set's cursor (and moves it: the keys' test deletes the row it is on).
    EXPECT_TRUE(grid->FindNext("纯净水"));
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_EQ(grid->currentIndex().row(), 2);
    // Wraps round; a column limits the search.
    EXPECT_TRUE(grid->FindNext("a0", 0));
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_TRUE(grid->FindNext("a0", 0));
    EXPECT_EQ(ds->RecNo(), 2);
    EXPECT_FALSE(grid->FindNext("a0", 0, true));
    EXPECT_FALSE(grid->FindNext("纯净水", 0));
    EXPECT_EQ(ds->RecNo(), 2);

    // Ctrl+F opens the dialog; "查找下一个" finds.
    grid->show();
    grid->setCurrentIndex(grid->model()->index(0, 1));
    QTest::keyClick(grid.get(), Qt::Key_F, Qt::ControlModifier);
    auto *dlg = grid->findChild<FindDialog *>("FindDialog");
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->windowTitle(), "查找");
    EXPECT_EQ(dlg->ColumnBox()->currentData().toInt(), 1);
    dlg->TextEdit()->setText("耳机");
    dlg->findChild<QPushButton *>("btnFindNext")->click();
    EXPECT_EQ(ds->RecNo(), 2);
    dlg->TextEdit()->setText("没有的货品");
    EXPECT_FALSE(dlg->FindNext());
    EXPECT_TRUE(m_messages.last().text.contains("没有的货品"));
    dlg->close();
}

} // namespace widgettest
