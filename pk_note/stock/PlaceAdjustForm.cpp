#include "PlaceAdjustForm.h"

#include "Messages.h"
#include "NoteMessages.h"
#include "Notepublic.h"
#include "PackageWindows.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "data/Field.h"
#include "widgets/LookupCombo.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

using basenote::Ctl;
using data::Field;

namespace {

const basenote::Resource master{
    .formName = "PlaceAdjustForm",
    .caption = "货位调整单",
    .noteType = 32,
    .masterSql = "select m.* from PlaceAdjustith m",
    .controls = {
        {"BUILDINGID", "仓库", Ctl::Lookup, "cmbBuilding", "dsStore", "(shoperateid is null or shoperateid=0)"},
    },
    .lookups = {QStringLiteral("qryStore")},
    .tableName = "PlaceAdjustith",
};

const mdnote::DetailResource lines{
    .detailSql = "select m.*, g.CODE as COMMODITYCODE, g.NAME as COMMODITYNAME, g.BARCODE, g.SPEC, u.NAME as UNITNAME, "
                 "o.NAME as OutPlaceName, i.NAME as InPlaceName from PlaceAdjustithDetail m "
                 "left join Commoditylth g on g.Commodityid = m.Commodityid left join unitlth u on u.UNITSID = g.unitsid "
                 "left join placelth o on o.PLACEID = m.OUTPLACEID left join placelth i on i.PLACEID = m.INPLACEID",
    .detailTable = "PlaceAdjustithDetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"QUANTITY"},
                {.field = "OUTPLACENAME", .caption = "调前货位", .width = 120, .readOnly = true},
                {.field = "INPLACENAME", .caption = "调后货位", .width = 120, .readOnly = true},
                {"REMARK"}},
};

pk_note::FormClassRegistrar reg("TPlaceAdjustForm", [](QWidget *owner) { return CreateNoteForm<TPlaceAdjustForm>(owner); });

const char *const kLeafTest = "(select Count(*) from placelth B where B.Lcode  like A.LCode + '%'  )=1";

} // namespace

TPlaceAdjustForm::TPlaceAdjustForm(QWidget *owner) : TStockNoteForm(master, lines, owner)
{
    auto places = [this](const char *name) {
        auto *ds = new data::ClientDataSet(StartupDB(), this);
        ds->setObjectName(QString::fromLatin1(name));
        return ds;
    };
    qryOutPlaces = places("qryOutPlaces");
    qryInPlaces = places("qryInPlaces");
    auto combo = [this](const char *name, const char *field) {
        auto *c = new widgets::TRqLookupCombo(this, QString::fromLatin1(name));
        c->SetDataSource(DetailDataSource());
        c->SetDataField(QString::fromLatin1(field));
        return c;
    };
    cmbOutPlace = combo("cmbOutPlace", "OUTPLACEID");
    cmbInPlace = combo("cmbInPlace", "INPLACEID");
    auto *row = new QHBoxLayout;
    row->setContentsMargins(12, 0, 12, 0);
    for (auto [caption, box] : {std::pair{"调前货位", cmbOutPlace}, {"调后货位", cmbInPlace}}) {
        auto *label = new QLabel(QString::fromUtf8(caption), this);
        label->setBuddy(box);
        row->addWidget(label);
        row->addWidget(box, 1);
    }
    CenterLayout()->addLayout(row);

    AddMasterRule(QStringLiteral("BUILDINGID"), [this](Field &) { readPlaces(); });
    AddDetailRule(QStringLiteral("COMMODITYID"), [this](Field &) { filterOutPlaces(); });
    for (const char *field : {"OUTPLACEID", "INPLACEID"})
        AddDetailRule(QString::fromLatin1(field), [this, field](Field &f) {
            QVariant name;
            if (!f.IsNull())
                GetValueOfSql(QStringLiteral("select Name from placelth where PlaceID=") + QString::number(f.AsInteger()), name);
            SetFieldValue(cdsDetail->FindField(QString::fromLatin1(qstrcmp(field, "OUTPLACEID") == 0 ? "OUTPLACENAME" : "INPLACENAME")),
                          name, false);
        });
}

long TPlaceAdjustForm::noteMessage(int message, qlonglong wParam, qlonglong lParam)
{
    if ((message == pk_note::NM_NOTEOPEN || message == pk_note::NM_NOTELOCATE)
        && LookupSysParam(QStringLiteral("UsePlace")) != QLatin1String("1")) {
        ShowError(QStringLiteral("没有使用货位管理功能。"));
        return pk_note::E_FAIL;
    }
    return TStockNoteForm::noteMessage(message, wParam, lParam);
}

void TPlaceAdjustForm::readPlaces()
{
    const QString store = QString::number(MasterValue(QStringLiteral("BUILDINGID"), 0).toLongLong());
    const QString leaves = QStringLiteral(" from placelth A where ") + QLatin1String(kLeafTest)
                           + QStringLiteral(" and len(A.LCODE)>2 and A.BuildingID=") + store;
    qryOutPlaces->Close();
    qryOutPlaces->SetCommandText(QStringLiteral("select A.PlaceID, A.Name, A.Code, C.CommodityID, C.Quantity from placelth A "
                                                "join onhandaathPlace C on C.BuildingID=A.BuildingID and C.PlaceID=A.PlaceID where ")
                                 + QLatin1String(kLeafTest) + QStringLiteral(" and len(A.LCODE)>2 and A.BuildingID=") + store);
    qryOutPlaces->Open();
    qryInPlaces->Close();
    qryInPlaces->SetCommandText(QStringLiteral("select A.PlaceID, A.Name, A.Code") + leaves);
    qryInPlaces->Open();
    for (auto [box, list] : {std::pair{cmbOutPlace, qryOutPlaces}, {cmbInPlace, qryInPlaces}}) {
        box->SetListDataSet(list);
        box->SetKeyField(QStringLiteral("PlaceID"));
        box->SetListFields(list == qryOutPlaces ? QStringLiteral("Code;Name;Quantity") : QStringLiteral("Code;Name"));
    }
    filterOutPlaces();
}

void TPlaceAdjustForm::filterOutPlaces()
{
    const qint64 goods = cdsDetail && cdsDetail->Active() ? DetailValue(Columns.CommodityID, 0).toLongLong() : 0;
    cmbOutPlace->SetListFilter(QStringLiteral("CommodityID = ") + QString::number(goods) + QStringLiteral(" And Quantity > 0"));
}

void TPlaceAdjustForm::ShowNote()
{
    TStockNoteForm::ShowNote();
    readPlaces();
}

void TPlaceAdjustForm::DetailAfterScroll(data::ClientDataSet &dataSet)
{
    TStockNoteForm::DetailAfterScroll(dataSet);
    filterOutPlaces();
}

bool TPlaceAdjustForm::ValidateDetailLine()
{
    const QVariant out = DetailValue(QStringLiteral("OUTPLACEID")), in = DetailValue(QStringLiteral("INPLACEID"));
    if (out.isNull() || in.isNull()) {
        ShowError(QStringLiteral("调前货位或调后货位为空,不能保存."));
        return false;
    }
    if (out.toLongLong() == in.toLongLong()) {
        ShowError(QStringLiteral("调前货位与调后货位相同,不能保存."));
        return false;
    }
    return TStockNoteForm::ValidateDetailLine();
}
