// The grid model and the data source over a data set: headers, display formats,
// edits through the data set, precise notifications and DisableControls.

#include "DataSetFixture.h"

#include "data/DataSetModel.h"
#include "data/DataSource.h"

#include <QSignalSpy>

using namespace data;

TEST_F(DataSetTest, DisplayFormatsAndTheModelShowingVisibleFieldsAndWritingThroughTheDataSet)
{
    struct Case {
        FieldType type;
        const char *format;
        QVariant value;
        const char *expected;
    } cases[] = {
        {FieldType::Float, "#0.####", 2.5, "2.5"},
        {FieldType::Float, "#0.####", 2.0, "2"},
        {FieldType::Float, "#0.####", 1.234567, "1.2346"},
        {FieldType::Float, "#0.00", 2.0, "2.00"},
        {FieldType::Float, "#0.00", 2.675, "2.68"},
        {FieldType::Float, "#0.00", -0.001, "0.00"},
        {FieldType::Float, "#,##0.00", 1234567.891, "1,234,567.89"},
        {FieldType::Float, "#,##0.00", -1234.5, "-1,234.50"},
        {FieldType::Float, "0.0%", 12.34, "12.3%"},
        {FieldType::Float, "", 0.1, "0.1"},
        {FieldType::Integer, "#0.00", qint64(3), "3.00"},
        {FieldType::Integer, "", qint64(42), "42"},
        {FieldType::Date, "yyyy-mm-dd", QDate(2024, 3, 1), "2024-03-01"},
        {FieldType::Date, "yyyy年m月d日", QDate(2024, 3, 1), "2024年3月1日"},
        {FieldType::DateTime, "yyyy-mm-dd hh:nn:ss", QDateTime(QDate(2024, 3, 1), QTime(8, 5, 9)), "2024-03-01 08:05:09"},
        {FieldType::DateTime, "", QDateTime(QDate(2024, 3, 1), QTime(8, 5, 9)), "2024-03-01 08:05:09"},
        {FieldType::Boolean, "是;否", true, "是"},
        {FieldType::Boolean, "是;否", false, "否"},
        {FieldType::Float, "#0.00", QVariant(), ""},
    };
    for (const Case &c : cases) {
        const DisplayFormatSpec spec = parseDisplayFormat(QString::fromUtf8(c.format), c.type);
        EXPECT_EQ(formatWith(spec, c.type, c.value), QString::fromUtf8(c.expected)) << c.format;
    }

    // The model shows the visible fields as formatted and writes through the data set.
    auto ds = openMaster();
    ds->FieldByName("UPDATETIME")->SetVisible(false);
    ds->FieldByName("AMOUNT")->SetDisplayLabel("金额");
    ds->FieldByName("AMOUNT")->SetDisplayFormat("#0.00");
    EXPECT_EQ(ds->FieldByName("AMOUNT")->DisplayText() + u'|' + ds->FieldByName("AMOUNT")->AsString(), "120.50|120.5");
    ds->FieldByName("NOTEDATE")->SetDisplayFormat("yyyy/mm/dd");
    DataSetModel model(ds.get());
    ASSERT_EQ(model.rowCount(), 3);
    ASSERT_EQ(model.columnCount(), 7);
    const int amountCol = model.ColumnOfField(ds->FieldByName("AMOUNT"));
    EXPECT_EQ(amountCol, 4); // the hidden UPDATETIME takes no column
    EXPECT_EQ(model.headerData(amountCol, Qt::Horizontal).toString(), "金额");
    EXPECT_EQ(model.index(0, amountCol).data().toString(), "120.50");
    EXPECT_EQ(model.index(2, amountCol).data().toString(), "99.13");
    EXPECT_EQ(model.index(0, 2).data().toString(), "2024/03/01");
    EXPECT_EQ(model.index(0, 2).data(Qt::EditRole), QVariant(QDate(2024, 3, 1)));
    EXPECT_EQ(model.CurrentRow(), 0);

    // an edit moves the cursor to its row, puts the data set into edit and sets the value
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy current(&model, &DataSetModel::currentRowChanged);
    ASSERT_TRUE(model.setData(model.index(1, amountCol), "3.456"));
    EXPECT_EQ(ds->State(), DataSetState::Edit);
    EXPECT_EQ(model.CurrentRow(), 1);
    EXPECT_EQ(current.count(), 1);
    ASSERT_GE(changed.count(), 1); // exactly the one cell
    EXPECT_EQ(changed.first().at(0).toModelIndex(), model.index(1, amountCol));
    EXPECT_EQ(changed.first().at(1).toModelIndex(), model.index(1, amountCol));
    EXPECT_EQ(model.index(1, amountCol).data().toString(), "3.46");

    // a refused value leaves the data set as it was and reports the text
    EXPECT_FALSE(model.setData(model.index(1, 0), "abc"));
    EXPECT_EQ(model.LastError(), "'abc' 不是字段 'NOTEID' 有效的整数值");
    ds->FieldByName("REMARK")->SetReadOnly(true);
    EXPECT_FALSE(model.flags(model.index(0, 6)) & Qt::ItemIsEditable);

    // editing another row posts the pending edit first (client data set rule)
    ASSERT_TRUE(model.setData(model.index(0, 1), "PB-1000"));
    EXPECT_EQ(ds->ChangeCount(), 1);
    ds->Post();
    EXPECT_EQ(ds->ChangeCount(), 2);

    // appending and deleting rows reach the model as row inserts and removals
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    ds->Append();
    ds->Cancel();
    ds->SetFilter("PARTNERID = 7");
    ds->SetFiltered(true);
    EXPECT_EQ(QList<int>({int(inserted.count()), int(removed.count()), int(reset.count()), model.rowCount()}),
              QList<int>({1, 1, 1, 2}));
}

TEST_F(DataSetTest, DisableControlsSilencesSourcesAndModelsUntilEnabled)
{
    auto ds = openMaster();
    DataSource source(ds.get());
    DataSetModel model(ds.get());
    QSignalSpy sourceData(&source, &DataSource::dataChanged);
    QSignalSpy sourceScroll(&source, &DataSource::scrolled);
    QSignalSpy sourceState(&source, &DataSource::stateChanged);
    QSignalSpy modelData(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy modelInserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy modelReset(&model, &QAbstractItemModel::modelReset);

    // one field write: one precise notification naming the field
    ds->Edit();
    ds->FieldByName("REMARK")->SetValue("x");
    ASSERT_EQ(sourceData.count(), 1);
    EXPECT_EQ(sourceData.first().at(0).value<Field *>(), ds->FieldByName("REMARK"));
    EXPECT_EQ(sourceState.count(), 1);
    ds->Post();
    sourceData.clear();
    sourceState.clear();
    modelData.clear();

    ds->DisableControls();
    ds->DisableControls();
    for (ds->First(); !ds->Eof(); ds->Next()) {
        edit(*ds, {{"AMOUNT", 1}});
    }
    append(*ds, {{"NOTEID", 8}, {"NOTECODE", "PB-0008"}});
    ds->EnableControls();
    EXPECT_TRUE(ds->ControlsDisabled()); // nested
    EXPECT_EQ(sourceData.count() + sourceScroll.count() + sourceState.count(), 0);
    EXPECT_EQ(modelData.count() + modelInserted.count() + modelReset.count(), 0);
    EXPECT_EQ(model.rowCount(), 3); // the grid still shows what it showed
    ds->EnableControls();
    EXPECT_EQ(modelReset.count(), 1); // enabled again, refreshed once
    EXPECT_EQ(model.CurrentRow(), 3);
    EXPECT_EQ(sourceData.count(), 1);
    EXPECT_EQ(sourceData.first().at(0).value<Field *>(), nullptr);

    // nothing happened while disabled: nothing to refresh
    ds->DisableControls();
    ds->EnableControls();
    EXPECT_EQ(modelReset.count(), 1);

    // a disabled source stays quiet; AutoEdit decides whether a control may start an edit
    source.SetEnabled(false);
    sourceData.clear();
    ds->First();
    EXPECT_EQ(sourceData.count(), 0);
    source.SetEnabled(true);
    EXPECT_EQ(sourceData.count(), 1);
    source.SetAutoEdit(false);
    EXPECT_THROW(source.SetFieldValue(ds->FieldByName("REMARK"), "y"), DataSetError);
    EXPECT_EQ(ds->State(), DataSetState::Browse);
    source.SetAutoEdit(true);
    source.SetFieldValue(ds->FieldByName("REMARK"), "y");
    EXPECT_EQ(ds->FieldByName("REMARK")->AsString(), "y");
}
