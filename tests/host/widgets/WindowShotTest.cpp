#include "WidgetFixture.h"

#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QApplication>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

using namespace widgets;

namespace widgettest {

class WindowShotTest : public WidgetTest {};

// A small note-like window, checked by eye from the saved picture.
TEST_F(WindowShotTest, TestWindowScreenshot)
{
    data::ClientDataSet master;
    master.AddField(QStringLiteral("NOTECODE"), data::FieldType::String, 20);
    master.AddField(QStringLiteral("NOTEDATE"), data::FieldType::Date);
    master.AddField(QStringLiteral("BUILDINGID"), data::FieldType::Integer);
    master.AddField(QStringLiteral("REMARK"), data::FieldType::String, 200);
    master.CreateDataSet();
    master.Append();
    master.FieldByName(QStringLiteral("NOTECODE"))->SetValue(QStringLiteral("PB20240315001"));
    master.FieldByName(QStringLiteral("NOTEDATE"))->SetValue(QDate(2024, 3, 15));
    master.FieldByName(QStringLiteral("BUILDINGID"))->SetValue(1);
    master.FieldByName(QStringLiteral("REMARK"))->SetValue(QStringLiteral("三月份文具采购"));
    master.Post();
    data::DataSource masterSource(&master);

    auto detail = lines();
    detail->FieldByName(QStringLiteral("CODE"))->SetDisplayLabel(QStringLiteral("货品编号"));
    detail->FieldByName(QStringLiteral("NAME"))->SetDisplayLabel(QStringLiteral("货品名称"));
    detail->FieldByName(QStringLiteral("QUANTITY"))->SetDisplayLabel(QStringLiteral("数量"));
    detail->FieldByName(QStringLiteral("PRICE"))->SetDisplayLabel(QStringLiteral("单价"));
    detail->FieldByName(QStringLiteral("AMOUNT"))->SetDisplayLabel(QStringLiteral("金额"));
    detail->FieldByName(QStringLiteral("AMOUNT"))->SetDisplayFormat(QStringLiteral("#,##0.00"));
    addLine(*detail, QStringLiteral("A01"), QStringLiteral("晨光中性笔0.5mm黑"), 100, 1.5);
    addLine(*detail, QStringLiteral("A02"), QStringLiteral("晨光笔记本A5"), 40, 6.8);
    addLine(*detail, QStringLiteral("B01"), QStringLiteral("娃哈哈纯净水550ml"), 24, 1.2);
    addLine(*detail, QStringLiteral("C01"), QStringLiteral("华强蓝牙耳机"), 2, 599);
    detail->First();
    data::DataSource detailSource(detail.get());

    QWidget window;
    window.setObjectName(QStringLiteral("PBuyForm"));
    window.setWindowTitle(QStringLiteral("采购入库单"));
    auto *title = new QLabel(QStringLiteral("采购入库单"), &window);
    title->setObjectName(QStringLiteral("lblTitle"));
    QFont big = title->font();
    big.setPointSize(16);
    big.setBold(true);
    title->setFont(big);
    title->setAlignment(Qt::AlignCenter);

    auto *code = new TRqDBEdit(&window, QStringLiteral("edNoteCode"));
    code->SetDataSource(&masterSource);
    code->SetDataField(QStringLiteral("NOTECODE"));
    auto *date = new TRqDBDateEdit(&window);
    date->SetDataSource(&masterSource);
    date->SetDataField(QStringLiteral("NOTEDATE"));
    auto *store = new TRqLookupCombo(&window, QStringLiteral("cmbBuildingID"));
    store->SetDataSource(&masterSource);
    store->SetDataField(QStringLiteral("BUILDINGID"));
    store->SetListSource(QStringLiteral("dsStore"));
    store->SetListFields(QStringLiteral("CODE;NAME;LOCATION"));
    store->SetListFieldCaptions({QStringLiteral("编号"), QStringLiteral("仓库名称"), QStringLiteral("地址")});
    store->SetUtilityCommands({QStringLiteral("新增#"), QStringLiteral("编辑#"), QStringLiteral("刷新")});
    auto *remark = new TRqDBEdit(&window, QStringLiteral("edRemark"));
    remark->SetDataSource(&masterSource);
    remark->SetDataField(QStringLiteral("REMARK"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("单据编号:"), code);
    form->addRow(QStringLiteral("日期:"), date);
    form->addRow(QStringLiteral("仓库:"), store);
    form->addRow(QStringLiteral("备注:"), remark);

    auto *grid = new TRqDBGrid(&window, QStringLiteral("ItemGrid"));
    grid->SetDataSource(&detailSource);
    grid->Column(1).Width = 200;
    grid->Column(1).EllipsisButton = true;
    grid->ColumnsChanged();
    grid->SetFooterCaption(0, QStringLiteral("合 计"));
    grid->SetFooterSum(2, QStringLiteral("#0.##"));
    grid->SetFooterSum(4);
    grid->setCurrentIndex(grid->model()->index(0, 1));

    auto *lay = new QVBoxLayout(&window);
    lay->addWidget(title);
    auto *top = new QHBoxLayout;
    top->addLayout(form);
    top->addStretch();
    lay->addLayout(top);
    lay->addSpacing(150); // room for the dropped-down list
    lay->addWidget(grid, 1);
    window.resize(720, 520);
    window.show();
    QApplication::processEvents();

    store->DropDown();
    QApplication::processEvents();
    ASSERT_TRUE(store->ListVisible());
    EXPECT_EQ(store->ListRowCount(), 5);
    EXPECT_EQ(grid->FooterText(4), QStringLiteral("1,648.80"));

    // The popup is a window of its own: paint it onto the window's picture.
    QImage shot = window.grab().toImage();
    {
        QPainter p(&shot);
        const QPoint at = store->Popup()->mapToGlobal(QPoint(0, 0)) - window.mapToGlobal(QPoint(0, 0));
        p.drawPixmap(at, store->Popup()->grab());
    }
    QString dir = qEnvironmentVariable("PK_NOTE_SHOT_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../shots"); // the build folder
    QDir().mkpath(dir);
    const QString path = QDir(dir).absoluteFilePath(QStringLiteral("widgets_test_window.png"));
    ASSERT_TRUE(shot.save(path));
    EXPECT_GT(QImage(path).width(), 600);
    store->CloseUp(false);
}

} // namespace widgettest
