#include "IIOBuildingPlaceForm.h"

#include "Messages.h"
#include "PackageWindows.h"
#include "Pub.h"
#include "Rounding.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

pk_note::FormClassRegistrar reg("TIIOBuildingPlaceForm", [](QWidget *owner) { return new TIIOBuildingPlaceForm(owner); });

// Leaf places of the store holding the commodity, with their stock, then the
// other leaf places of the store with none.
QString placeList(qint64 store, qint64 goods)
{
    const QString s = QString::number(store), g = QString::number(goods);
    return QStringLiteral(" select  A.PlaceID,A.Name,A.LCode,A.BuildingID,sum(C.Quantity) As Quantity from placelth A  "
                          "left join onhandaathPlace C on (A.BuildingID=C.BuildingID and A.PlaceID=C.PlaceID)  where "
                          "(select Count(*) from placelth B where B.Lcode  like A.LCode + '%'  )=1 and C.BuildingID=")
           + s + QStringLiteral(" and C.CommodityID=") + g
           + QStringLiteral(" group by A.PlaceID,A.Name,A.LCode,A.BuildingID  union all  select  "
                            "A.PlaceID,A.Name,A.LCode,A.BuildingID,0.0 As Quantity from placelth A  where (select "
                            "Count(*) from placelth B where B.Lcode  like A.LCode + '%'  )=1 and A.BuildingID=")
           + s + QStringLiteral(" and A.PlaceID not in  (select  PlaceID from  onhandaathPlace C where C.BuildingID=") + s
           + QStringLiteral(" and C.CommodityID=") + g + QStringLiteral(") ");
}

} // namespace

TIIOBuildingPlaceForm::TIIOBuildingPlaceForm(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("IIOBuildingPlaceForm"));
    setWindowTitle(QStringLiteral("货位录入"));

    cdsPlace = new data::ClientDataSet(nullptr, this);
    cdsPlace->setObjectName(QStringLiteral("cdsPlace"));
    cdsPlace->AddField(QStringLiteral("PLACEID"), data::FieldType::Integer);
    cdsPlace->AddField(QStringLiteral("NAME"), data::FieldType::String, 60)->SetDisplayLabel(QStringLiteral("货位"));
    cdsPlace->AddField(QStringLiteral("QUANTITY"), data::FieldType::Float)->SetDisplayLabel(QStringLiteral("数量"));
    cdsPlace->CreateDataSet();
    cdsPlace->FieldByName(QStringLiteral("QUANTITY"))->SetDisplayFormat(QStringLiteral("#0.####"));
    dsPlace = new data::DataSource(cdsPlace, this);
    qryPlaces = new data::ClientDataSet(StartupDB(), this);
    qryPlaces->setObjectName(QStringLiteral("qryPlaces"));

    lbCommodity = new QLabel(this);
    lbStore = new QLabel(this);
    lbQuantity = new QLabel(this);
    lbCommodity->setObjectName(QStringLiteral("lbCommodity"));
    lbStore->setObjectName(QStringLiteral("lbStore"));
    lbQuantity->setObjectName(QStringLiteral("lbQuantity"));

    cmbCommodityNo = new widgets::TRqLookupCombo(this, QStringLiteral("cmbCommodityNo"));
    cmbCommodityNo->SetDataSource(dsPlace);
    cmbCommodityNo->SetDataField(QStringLiteral("PLACEID"));
    PlaceGrid = new widgets::TRqDBGrid(this, QStringLiteral("PlaceGrid"));
    PlaceGrid->SetDataSource(dsPlace);
    PlaceGrid->AddColumn(QStringLiteral("NAME"), QStringLiteral("货位"), 160).ReadOnly = true;
    PlaceGrid->AddColumn(QStringLiteral("QUANTITY"), QStringLiteral("数量"), 90);
    PlaceGrid->ColumnsChanged();
    PlaceGrid->SetFooterVisible(true);
    PlaceGrid->SetFooterCaption(0, QStringLiteral("合 计"));
    PlaceGrid->SetFooterSum(1, QStringLiteral("#0.####"));

    cbUsePlace = new QCheckBox(QStringLiteral("只显示货位数量不等于0的货位"), this);
    cbUsePlace->setObjectName(QStringLiteral("cbUsePlace"));
    OkBtn = new QPushButton(QStringLiteral("确定"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    btDelete = new QPushButton(QStringLiteral("删除"), this);
    btDelete->setObjectName(QStringLiteral("btDelete"));
    CancelBtn = new QPushButton(QStringLiteral("退出"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));

    auto *head = new QHBoxLayout;
    head->addWidget(lbCommodity, 2);
    head->addWidget(lbStore, 1);
    head->addWidget(lbQuantity, 1);
    auto *pick = new QHBoxLayout;
    auto *placeLabel = new QLabel(QStringLiteral("货位："), this);
    placeLabel->setBuddy(cmbCommodityNo);
    pick->addWidget(placeLabel);
    pick->addWidget(cmbCommodityNo, 1);
    pick->addWidget(cbUsePlace);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btDelete);
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addLayout(pick);
    layout->addWidget(PlaceGrid, 1);
    layout->addLayout(buttons);
    resize(520, 380);

    cdsPlace->AfterPost = [this](data::ClientDataSet &) { afterPost(); };
    connect(OkBtn, &QPushButton::clicked, this, &TIIOBuildingPlaceForm::OkBtnClick);
    connect(btDelete, &QPushButton::clicked, this, &TIIOBuildingPlaceForm::btDeleteClick);
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(2); });
    connect(cbUsePlace, &QCheckBox::toggled, this, &TIIOBuildingPlaceForm::cbUsePlaceClick);
}

void TIIOBuildingPlaceForm::SetLine(const Line &line)
{
    m_noteType = line.noteType;
    lbCommodity->setText(QStringLiteral("货品：") + line.commodityName);
    lbStore->setText(QStringLiteral("仓库：") + line.storeName);
    lbQuantity->setText(QStringLiteral("总数量：") + QString::number(FormatQuantity(line.quantity)));
    qryPlaces->Close();
    qryPlaces->SetCommandText(placeList(line.storeId, line.commodityId));
    qryPlaces->Open();
    cmbCommodityNo->SetListDataSet(qryPlaces);
    cmbCommodityNo->SetKeyField(QStringLiteral("PlaceID"));
    cmbCommodityNo->SetListFields(QStringLiteral("Name;Quantity"));
    m_posting = true;
    cdsPlace->CreateDataSet();
    for (const QVariantList &r : line.rows) {
        cdsPlace->Append();
        cdsPlace->FieldByName(QStringLiteral("PLACEID"))->SetValue(r.value(0));
        cdsPlace->FieldByName(QStringLiteral("QUANTITY"))->SetValue(r.value(1));
        cdsPlace->FieldByName(QStringLiteral("NAME"))->SetValue(r.value(2));
        cdsPlace->Post();
    }
    m_posting = false;
    cdsPlace->First();
}

void TIIOBuildingPlaceForm::afterPost()
{
    if (m_posting)
        return;
    data::Field *place = cdsPlace->FieldByName(QStringLiteral("PLACEID"));
    data::Field *name = cdsPlace->FieldByName(QStringLiteral("NAME"));
    if (!place->IsNull() && qryPlaces->Active()
        && qryPlaces->Locate(QStringLiteral("PlaceID"), place->Value())) {
        const QVariant shown = qryPlaces->FieldByName(QStringLiteral("Name"))->Value();
        if (name->Value() != shown) {
            m_posting = true;
            cdsPlace->Edit();
            name->SetValue(shown);
            cdsPlace->Post();
            m_posting = false;
        }
    }
    // A place already held by another row of the line is refused at once.
    const int current = cdsPlace->RecNo();
    for (int r = 0; r < cdsPlace->RecordCount(); ++r)
        if (r + 1 != current && !place->IsNull()
            && cdsPlace->ValueAt(r, place->Index()).toLongLong() == place->AsInteger()) {
            ShowMessage(QStringLiteral("货位不能重复！"));
            m_posting = true;
            cdsPlace->Delete();
            m_posting = false;
            return;
        }
}

double TIIOBuildingPlaceForm::Total() const
{
    double sum = 0;
    const int q = cdsPlace->FieldByName(QStringLiteral("QUANTITY"))->Index();
    for (int r = 0; r < cdsPlace->RecordCount(); ++r)
        sum += cdsPlace->ValueAt(r, q).toDouble();
    return std::max(0.0, FormatQuantity(sum));
}

QVector<QVariantList> TIIOBuildingPlaceForm::Rows() const
{
    QVector<QVariantList> rows;
    const int p = cdsPlace->FieldByName(QStringLiteral("PLACEID"))->Index();
    const int q = cdsPlace->FieldByName(QStringLiteral("QUANTITY"))->Index();
    const int n = cdsPlace->FieldByName(QStringLiteral("NAME"))->Index();
    for (int r = 0; r < cdsPlace->RecordCount(); ++r)
        rows.append({cdsPlace->ValueAt(r, p), cdsPlace->ValueAt(r, q), cdsPlace->ValueAt(r, n)});
    return rows;
}

void TIIOBuildingPlaceForm::OkBtnClick()
{
    cdsPlace->CheckBrowseMode();
    const int p = cdsPlace->FieldByName(QStringLiteral("PLACEID"))->Index();
    const int q = cdsPlace->FieldByName(QStringLiteral("QUANTITY"))->Index();
    for (int r = 0; r < cdsPlace->RecordCount(); ++r) {
        const QString row = QString::number(r + 1);
        if (cdsPlace->ValueAt(r, p).isNull()) {
            ShowMessage(QStringLiteral("第[") + row + QStringLiteral("]记录的货位为空！不能确定"));
            return;
        }
        // A stocktaking's places may come out negative.
        if (m_noteType != 30 && cdsPlace->ValueAt(r, q).toDouble() < 0) {
            ShowMessage(QStringLiteral("第[") + row + QStringLiteral("]记录的数量不能小于0！不能确定"));
            return;
        }
    }
    done(1);
}

void TIIOBuildingPlaceForm::btDeleteClick()
{
    if (!cdsPlace->IsEmpty())
        cdsPlace->Delete();
}

void TIIOBuildingPlaceForm::cbUsePlaceClick()
{
    if (!qryPlaces->Active())
        return;
    qryPlaces->SetFilter(QStringLiteral("Quantity<>0"));
    qryPlaces->SetFiltered(cbUsePlace->isChecked());
}
