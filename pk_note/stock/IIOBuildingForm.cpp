#include "IIOBuildingForm.h"

#include "DataAccess.h"
#include "Lookup.h"
#include "Messages.h"
#include "NoteMessages.h"
#include "Notepublic.h"
#include "PackageWindows.h"
#include "Pk_note_itf.h"
#include "QnParams.h"
#include "Registry.h"
#include "Rounding.h"
#include "SysParams.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include <cmath>
#include <memory>

using basenote::Ctl;
using data::Field;

namespace {

constexpr int kKindLookup = 2101; // the record type of the kind list
constexpr int kPosDayEnd = 73;

const basenote::Resource master{
    .formName = "IIOBuildingForm",
    .caption = "出入库单",
    .noteType = 21,
    .masterSql = "select m.* from iostoreith m",
    .controls = {
        {"NOTEKIND", "单据类型", Ctl::Lookup, "cmbnoteKind", "dsIOStoreKind"},
        {"NOTETYPE", "开单类型", Ctl::Lookup, "cmbnoteType"},
        {"BUILDINGID", "仓库", Ctl::Lookup, "cmbBuilding", "dsStore", "(shoperateid is null or shoperateid=0)"},
        {"PARTNERID", "往来单位", Ctl::Lookup, "cmbPartner", "dspartner", nullptr, 2},
        {"NOTETO", "送货地址", Ctl::Edit, "edNoteTo", nullptr, nullptr, 2},
    },
    .lookups = {QStringLiteral("qryIOStoreKind"), QStringLiteral("qryPartner"), QStringLiteral("qryStore")},
    .columns = 3,
    .size = {1100, 660},
    .tableName = "iostoreith",
};

const mdnote::DetailResource lines{
    .detailSql =
        "select m.*, g.CODE as COMMODITYCODE, g.NAME as COMMODITYNAME, g.BARCODE, g.SPEC, g.CUSTDEF1, g.CUSTDEF2, "
        "g.CUSTDEF3, g.CUSTDEF4, g.CUSTDEF5, u.NAME as UNITNAME, "
        "dbo.sevengetnotecode(m.refernotetype, m.refernoteid) as RefernoteCode, '货位' as PlaceFlag "
        "from iostoreithDetail m left join Commoditylth g on g.Commodityid = m.Commodityid "
        "left join unitlth u on u.UNITSID = g.unitsid",
    .detailTable = "iostoreithDetail",
    .columns = {
        {"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"QUANTITY"}, {"PRICE"},
        {.field = "AMOUNT", .caption = "金额"}, {"BCODE"}, {"PRODUCTDAY"}, {"VALIDDAY"},
        {.field = "PLACEFLAG", .caption = "货位", .width = 50, .readOnly = true, .ellipsis = true},
        {.field = "REFERNOTECODE", .caption = "源单号", .width = 120, .readOnly = true},
        {"REMARK"},
    },
};

// The source types in the order the list shows them.
const struct {
    int type;
    const char *name;
} kSourceTypes[] = {
    {4, "采购开单"},   {3, "预入库"},         {14, "销售开单"},      {13, "委托代销"},  {22, "独立入仓单"},
    {23, "独立出仓单"}, {26, "调拨单"},        {27, "组装单"},        {28, "拆卸单"},    {29, "报损单"},
    {30, "盘点单"},     {25, "领/退料单"},     {47, "委外发/退料单"}, {48, "成品缴库单"}, {49, "委外缴库单"},
    {80, "报废/不良单"}, {kPosDayEnd, "Pos日结单"},
};

void defineKindLookup()
{
    for (const pub::LookupDefinition &d : pub::lookupDefinitions())
        if (d.recordType == kKindLookup)
            return;
    pub::registerLookup({kKindLookup, QStringLiteral("IOStoreKind"),
                         QStringLiteral("select 1 as ID, '正常出入库' as NAME union all select 2, '退货出入库'"),
                         QStringLiteral("ID")});
}

const basenote::Resource &declared()
{
    defineKindLookup();
    return master;
}

pk_note::FormClassRegistrar reg("TIIOBuildingForm",
                                [](QWidget *owner) { return CreateNoteForm<TIIOBuildingForm>(owner); });

qint64 asId(const QVariant &v) { return v.isNull() ? 0 : v.toLongLong(); }

const char *const kVendorFilter =
    "IsVendor = 1 and Closed=0 and partnerID>0  and (shoperateid is null or shoperateid=0)";
const char *const kClientFilter =
    "IsClient = 1 and Closed=0 and partnerID>0  and (shoperateid is null or shoperateid=0)";

} // namespace

TIIOBuildingForm::TIIOBuildingForm(QWidget *owner) : TStockNoteForm(declared(), lines, owner)
{
    m_usePlace = LookupSysParam(QStringLiteral("UsePlace")) == QLatin1String("1");

    cdsnoteType = new data::ClientDataSet(nullptr, this);
    cdsnoteType->setObjectName(QStringLiteral("cdsnoteType"));
    cdsnoteType->AddField(QStringLiteral("noteType"), data::FieldType::Integer);
    cdsnoteType->AddField(QStringLiteral("noteName"), data::FieldType::String, 40);
    cdsnoteType->CreateDataSet();
    for (const auto &t : kSourceTypes) {
        cdsnoteType->Append();
        cdsnoteType->FieldByName(QStringLiteral("noteType"))->SetValue(t.type);
        cdsnoteType->FieldByName(QStringLiteral("noteName"))->SetValue(QString::fromUtf8(t.name));
        cdsnoteType->Post();
    }
    cdsnoteType->MergeChangeLog();
    auto &types = RequireChild<widgets::TRqLookupCombo>(QStringLiteral("cmbnoteType"));
    types.SetListDataSet(cdsnoteType);
    types.SetKeyField(QStringLiteral("noteType"));
    types.SetListFields(QStringLiteral("noteName"));

    SetMasterCaption("lblcmbEmp", QStringLiteral("跟单人"));

    lbAuto = new QLabel(QStringLiteral("机制"), palTitle);
    lbAuto->setObjectName(QStringLiteral("lbAuto"));
    lbAuto->setStyleSheet(QStringLiteral("color: #c0392b; font-weight: bold;"));
    lbAuto->hide();
    auto *row = new QHBoxLayout;
    row->addWidget(lbAuto);
    row->addStretch(1);
    static_cast<QGridLayout *>(palTitle->layout())->addLayout(row, 1, 2);

    AddMasterRule(QStringLiteral("NOTETYPE"), [this](Field &) {
        applySourceType();
        RemoveReferredLines(false);
        SetFieldValue(MasterField(Columns.PartnerID), QVariant());
    });
    AddMasterRule(QStringLiteral("BUILDINGID"), [this](Field &) { RemoveReferredLines(false); });
    AddMasterRule(QStringLiteral("NOTEKIND"), [this](Field &) { SetFieldValue(MasterField(QStringLiteral("NOTETYPE")), QVariant()); });

    connect(ItemGrid, &QAbstractItemView::doubleClicked, this, [this] {
        try {
            ItemGridDblClick();
        } catch (const std::exception &e) {
            ShowError(e);
        }
    });
}

int TIIOBuildingForm::SourceType() const { return MasterValue(QStringLiteral("NOTETYPE"), 0).toInt(); }

bool TIIOBuildingForm::isAuto() const { return MasterValue(QStringLiteral("ISAUTO"), 0).toInt() == 1; }

void TIIOBuildingForm::InitNewNote(data::ClientDataSet &dataSet)
{
    TStockNoteForm::InitNewNote(dataSet);
    SetFieldValueSilent(dataSet.FindField(QStringLiteral("NOTETYPE")), 4);
    SetFieldValueSilent(dataSet.FindField(QStringLiteral("ISAUTO")), 0);
    SetFieldValueSilent(dataSet.FindField(QStringLiteral("NOTEKIND")), 1);
}

void TIIOBuildingForm::applySourceType()
{
    const int type = SourceType();
    const bool partner = IsPurchaseType(type) || IsSalesType(type);
    auto &combo = RequireChild<widgets::TRqLookupCombo>(QStringLiteral("cmbPartner"));
    combo.SetListFilter(QString::fromLatin1(IsSalesType(type) ? kClientFilter : kVendorFilter));
    combo.setVisible(partner);
    if (auto *label = findChild<QLabel *>(QStringLiteral("lbPartner")))
        label->setVisible(partner);
}

void TIIOBuildingForm::ShowNote()
{
    TStockNoteForm::ShowNote();
    lbAuto->setVisible(isAuto());
    applySourceType();
    // The POS day-end makes its own notes: an entered note cannot choose it.
    auto &types = RequireChild<widgets::TRqLookupCombo>(QStringLiteral("cmbnoteType"));
    types.SetListFilter(MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() == 1 ? QString()
                                                                                  : QStringLiteral(" noteType <> 73"));
    const int place = ItemGrid->ColumnOfField(QStringLiteral("PLACEFLAG"));
    if (place >= 0)
        ItemGrid->setColumnHidden(place, !m_usePlace);
}

// ============================================================ checks

bool TIIOBuildingForm::ValidateNote()
{
    const int type = SourceType();
    if ((IsPurchaseType(type) || IsSalesType(type)) && asId(MasterValue(Columns.PartnerID)) == 0) {
        ShowError(QStringLiteral("请选往来单位！"));
        return false;
    }
    if (asId(MasterValue(QStringLiteral("BUILDINGID"))) == 0) {
        ShowError(QStringLiteral("请选择仓库！"));
        return false;
    }
    if (asId(MasterValue(QStringLiteral("EMPID"))) == 0) {
        ShowError(QStringLiteral("请选择跟单人！"));
        return false;
    }
    return TStockNoteForm::ValidateNote();
}

bool TIIOBuildingForm::CanUncheckNote()
{
    if (isAuto()) {
        ShowError(QStringLiteral("机制出入库单不能反审核！"));
        return false;
    }
    return TStockNoteForm::CanUncheckNote();
}

bool TIIOBuildingForm::CanUnabateNote()
{
    if (isAuto()) {
        ShowError(QStringLiteral("机制出入库单不能反作废！"));
        return false;
    }
    return TStockNoteForm::CanUnabateNote();
}

bool TIIOBuildingForm::SetupDetailField(Field &field)
{
    const int type = SourceType();
    const bool referred = asId(DetailValue(QStringLiteral("REFERNOTEID"))) != 0;
    bool fixed = false;
    if (IsPurchaseType(type))
        fixed = LookupSysParam(QStringLiteral("IsPSequence")) == QLatin1String("1") || referred;
    else if (IsSalesType(type))
        fixed = LookupSysParam(QStringLiteral("IsSSequence")) == QLatin1String("1") || referred;
    else if (type >= 22)
        fixed = true;
    else
        return TStockNoteForm::SetupDetailField(field);
    // What the source decided: the goods, how many, at what price, which batch.
    static const QStringList locked{QStringLiteral("COMMODITYID"), QStringLiteral("COMMODITYCODE"),
                                    QStringLiteral("COMMODITYNAME"), QStringLiteral("QUANTITY"),
                                    QStringLiteral("PRICE"), QStringLiteral("AMOUNT"),
                                    QStringLiteral("BCODE"), QStringLiteral("PRODUCTDAY"),
                                    QStringLiteral("VALIDDAY"), QStringLiteral("BTURNNOTEID")};
    if (fixed && locked.contains(field.FieldName(), Qt::CaseInsensitive))
        return true;
    return TStockNoteForm::SetupDetailField(field);
}

// ============================================================ turn-in

void TIIOBuildingForm::SelectSourceNote()
{
    if (!CanEditNote())
        return;
    const int type = SourceType();
    const bool trade = IsPurchaseType(type) || IsSalesType(type);
    const qint64 partner = asId(MasterValue(Columns.PartnerID));
    const qint64 store = asId(MasterValue(QStringLiteral("BUILDINGID")));
    if (trade && partner == 0) {
        ShowError(QStringLiteral("请选择往来单位！"));
        return;
    }
    if (type == 0) {
        ShowError(QStringLiteral("请选择开单类型！"));
        return;
    }
    if (store == 0) {
        ShowError(QStringLiteral("请选择仓库！"));
        return;
    }
    std::unique_ptr<QWidget> window(pk_note::CreateFormClass(QStringLiteral("TnoteSelectorForm"), this));
    auto *selector = dynamic_cast<pk_note::INoteSelector *>(window.get());
    if (!selector) {
        ShowInformation(QString::fromUtf8(pk_note::kNotYetAvailable));
        return;
    }
    if (auto *all = window->findChild<QCheckBox *>(QStringLiteral("chkShowAll")))
        all->setText(QStringLiteral("显示已销售数量大于订单数量的记录"));
    const QString sequenceParam = IsSalesType(type) ? QStringLiteral("IsSSequence") : QStringLiteral("IsPSequence");
    const int sequence = LookupSysParam(sequenceParam) == QLatin1String("1") ? 1 : 0;
    const int kind = MasterValue(QStringLiteral("NOTEKIND"), 1).toInt();
    if (!selector->SetDocument(this) || !selector->OpenSelection({kind, sequence, type, trade ? partner : 0, store}))
        return;
    if (ShowModal(window.get()) != 1)
        return;
    data::ClientDataSet *rows = selector->SelectedLines();
    auto v = [rows](const char *name) {
        Field *f = rows->FindField(QString::fromLatin1(name));
        return f ? f->Value() : QVariant();
    };
    auto put = [this](const QString &name, const QVariant &value, bool fire = false) {
        SetFieldValue(cdsDetail->FindField(name), value, fire);
    };
    using commodity::Col;
    const auto &a = Columns.Amounts;
    const DetailUpdate update(*this);
    for (rows->First(); !rows->Eof(); rows->Next()) {
        if (v("Selected").toInt() != 1)
            continue;
        const QVariant sourceType = v("notetype"), sourceId = v("noteid"), item = v("ITEMSNO");
        if (cdsDetail->Locate(QStringLiteral("RefernoteID;Referitemsno;RefernoteType"), {sourceId, item, sourceType}))
            continue;
        cdsDetail->CheckBrowseMode();
        cdsDetail->Append();
        put(Columns.CommodityID, v("COMMODITYID"), true);
        put(a[size_t(Col::Disc)], v("DISC").isNull() ? QVariant(100) : v("DISC"));
        put(a[size_t(Col::TaxRate)], v("TaxRate").isNull() ? QVariant(0) : v("TaxRate"));
        put(a[size_t(Col::Quantity)], FormatQuantity(std::fabs(v("SumQty").toDouble())));
        put(a[size_t(Col::Price)], FormatPrice(v("price").toDouble()), true);
        put(Columns.APrice, FormatPrice(v("price").toDouble()));
        put(Columns.BCode, v("bcode"));
        put(Columns.ProductDay, v("productday"));
        put(Columns.ValidDay, v("validday"));
        put(Columns.BTurnNoteID, v("Bturnnoteid"));
        put(QStringLiteral("REFERNOTETYPE"), sourceType);
        put(QStringLiteral("REFERNOTEID"), sourceId);
        put(QStringLiteral("REFERITEMSNO"), item);
        put(QStringLiteral("REFERNOTECODE"), v("noteCode"));
        cdsDetail->Post();
    }
}

void TIIOBuildingForm::ItemGridDblClick()
{
    if (!cdsDetail->Active() || cdsDetail->IsEmpty() || asId(DetailValue(QStringLiteral("REFERNOTEID"))) == 0)
        return;
    QnParams params;
    params.AddValue(QStringLiteral("NOTEID"), asId(DetailValue(QStringLiteral("REFERNOTEID"))));
    params.AddValue(QStringLiteral("NOTETYPE"), DetailValue(QStringLiteral("REFERNOTETYPE"), 0).toInt());
    GlobalCall(QStringLiteral("LOCATENOTE"), QString(), &params);
}
