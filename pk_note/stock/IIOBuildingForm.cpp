#include "IIOBuildingForm.h"
#include "IIOBuildingPlaceForm.h"

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
#include <QHash>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include <cmath>
#include <memory>

using basenote::Ctl;
using data::Field;

namespace {

constexpr int kKindLookup = 2101;   // the record types of the kind list
constexpr int kSourceLookup = 2102; // and of the source types (the window lists them in its own order)
constexpr int kPosDayEnd = 73;

const basenote::Resource master{
    .formName = "IIOBuildingForm",
    .caption = "出入库单",
    .noteType = 21,
    .masterSql = "select m.* from iostoreith m",
    .controls = {
        {"NOTEKIND", "单据类型", Ctl::Lookup, "cmbnoteKind", "dsIOStoreKind"},
        {"NOTETYPE", "开单类型", Ctl::Lookup, "cmbnoteType", "dsIOSourceType"},
        {"BUILDINGID", "仓库", Ctl::Lookup, "cmbBuilding", "dsStore", "(shoperateid is null or shoperateid=0)"},
        {"PARTNERID", "往来单位", Ctl::Lookup, "cmbPartner", "dspartner", nullptr, 2},
        {"NOTETO", "送货地址", Ctl::Edit, "edNoteTo", nullptr, nullptr, 2},
    },
    .lookups = {QStringLiteral("qryIOStoreKind"), QStringLiteral("qryIOSourceType"), QStringLiteral("qryPartner"),
                QStringLiteral("qryStore")},
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
        {.field = "PLACEFLAG", .caption = "货位", .width = 72, .readOnly = true, .ellipsis = true},
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

// The source types as a host lookup too, so their names resolve anywhere.
void defineSourceLookup()
{
    for (const pub::LookupDefinition &d : pub::lookupDefinitions())
        if (d.recordType == kSourceLookup)
            return;
    QStringList rows;
    for (const auto &t : kSourceTypes)
        rows << QStringLiteral("select %1 as ID, '%2' as NAME").arg(t.type).arg(QString::fromUtf8(t.name));
    pub::registerLookup({kSourceLookup, QStringLiteral("IOSourceType"), rows.join(QStringLiteral(" union all ")),
                         QStringLiteral("ID")});
}

const basenote::Resource &declared()
{
    defineKindLookup();
    defineSourceLookup();
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
    // Lines of a sequence or of a stock document's source type are locked
    // whether or not they came from a source.
    m_kindLocksCells = true;

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

    cdsUsePlace = new data::ClientDataSet(nullptr, this);
    cdsUsePlace->setObjectName(QStringLiteral("cdsUsePlace"));
    cdsUsePlace->AddField(QStringLiteral("NOTEID"), data::FieldType::Integer);
    cdsUsePlace->AddField(QStringLiteral("ITEMSNO"), data::FieldType::Integer);
    cdsUsePlace->AddField(QStringLiteral("PLACEID"), data::FieldType::Integer);
    cdsUsePlace->AddField(QStringLiteral("QUANTITY"), data::FieldType::Float);
    cdsUsePlace->AddField(QStringLiteral("NAME"), data::FieldType::String, 60);
    cdsUsePlace->AddField(QStringLiteral("CODE"), data::FieldType::String, 20);
    cdsUsePlace->CreateDataSet();
    // A line's quantity puts all of it on its default place again.
    AddDetailRule(QStringLiteral("QUANTITY"), [this](Field &) { defaultPlace(); });
    AddColumnButton(QStringLiteral("PLACEFLAG"), [this] { ItemGridEditButtonClick(); });

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
    loadPlaces();
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
        defaultPlace();
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

// ============================================================ places

namespace {

const char *const kLeafTest = "(select Count(*) from placelth B where B.Lcode  like A.LCode + '%'  )=1";

} // namespace

void TIIOBuildingForm::loadPlaces()
{
    cdsUsePlace->CreateDataSet();
    m_placesChanged = false;
    if (!m_usePlace || IsNewNote() || CurrentNoteID() == kNewNoteID)
        return;
    AutoQuery q = CreateAutoQuery(QStringLiteral("select A.*,B.Name,B.Code from iostoreithPLACE A\n"
                                                 "left join placelth B on A.PlaceID=B.PlaceID\n"
                                                 "where A.noteID=")
                                  + QString::number(CurrentNoteID()));
    // The fields once, not per row: a long note has a place row per line.
    QVector<std::pair<data::Field *, int>> fields;
    for (const char *f : {"NOTEID", "ITEMSNO", "PLACEID", "QUANTITY", "NAME", "CODE"})
        fields.append({cdsUsePlace->FieldByName(QString::fromLatin1(f)), q->Result().columnIndex(QString::fromLatin1(f))});
    for (q->First(); !q->Eof(); q->Next()) {
        cdsUsePlace->Append();
        for (const auto &[field, column] : fields)
            field->SetValue(q->Fields(column).Value());
        cdsUsePlace->Post();
    }
    cdsUsePlace->MergeChangeLog();
}

QVector<QVariantList> TIIOBuildingForm::LinePlaces(const QVariant &itemsNo) const
{
    QVector<QVariantList> rows;
    const int item = cdsUsePlace->FieldByName(QStringLiteral("ITEMSNO"))->Index();
    const int place = cdsUsePlace->FieldByName(QStringLiteral("PLACEID"))->Index();
    const int quantity = cdsUsePlace->FieldByName(QStringLiteral("QUANTITY"))->Index();
    const int name = cdsUsePlace->FieldByName(QStringLiteral("NAME"))->Index();
    for (int r = 0; r < cdsUsePlace->RecordCount(); ++r)
        if (cdsUsePlace->ValueAt(r, item).toLongLong() == itemsNo.toLongLong())
            rows.append({cdsUsePlace->ValueAt(r, place), cdsUsePlace->ValueAt(r, quantity), cdsUsePlace->ValueAt(r, name)});
    return rows;
}

void TIIOBuildingForm::SetLinePlaces(const QVariant &itemsNo, const QVector<QVariantList> &rows)
{
    // The fields once, not per row: a quantity typed on a long note walks every place row.
    data::Field *note = cdsUsePlace->FieldByName(QStringLiteral("NOTEID")),
                *item = cdsUsePlace->FieldByName(QStringLiteral("ITEMSNO")),
                *place = cdsUsePlace->FieldByName(QStringLiteral("PLACEID")),
                *quantity = cdsUsePlace->FieldByName(QStringLiteral("QUANTITY")),
                *name = cdsUsePlace->FieldByName(QStringLiteral("NAME"));
    const qint64 line = itemsNo.toLongLong();
    for (int r = cdsUsePlace->RecordCount() - 1; r >= 0; --r)
        if (cdsUsePlace->ValueAt(r, item->Index()).toLongLong() == line) {
            cdsUsePlace->MoveTo(r);
            cdsUsePlace->Delete();
        }
    for (const QVariantList &r : rows) {
        cdsUsePlace->Append();
        note->SetValue(MasterValue(m_asKeyField));
        item->SetValue(itemsNo);
        place->SetValue(r.value(0));
        quantity->SetValue(r.value(1));
        name->SetValue(r.value(2));
        cdsUsePlace->Post();
    }
    m_placesChanged = true;
}

void TIIOBuildingForm::defaultPlace()
{
    if (!m_usePlace)
        return;
    const QVariant item = DetailValue(QStringLiteral("ITEMSNO"));
    const qint64 goods = asId(DetailValue(Columns.CommodityID));
    const qint64 store = asId(MasterValue(QStringLiteral("BUILDINGID")));
    if (goods <= 0 || store <= 0) {
        SetLinePlaces(item, {});
        return;
    }
    QVariant place;
    GetValueOfSql(QStringLiteral("select PlaceID from Commoditylth where CommodityID=") + QString::number(goods)
                      + QStringLiteral(" and BuildingID=") + QString::number(store),
                  place);
    if (asId(place) == 0)
        GetValueOfSql(QStringLiteral("select Min(A.PlaceID) from placelth A where  (select Count(*) from placelth B where "
                                     "B.Lcode like A.LCode + '%'  )=1  and BuildingID=")
                          + QString::number(store),
                      place);
    if (asId(place) == 0) {
        SetLinePlaces(item, {});
        return;
    }
    QVariant name;
    GetValueOfSql(QStringLiteral("select Name from placelth where PlaceID=") + QString::number(asId(place)), name);
    SetLinePlaces(item, {{place, DetailValue(QStringLiteral("QUANTITY"), 0).toDouble(), name}});
}

bool TIIOBuildingForm::ValidateDetailLines()
{
    if (m_usePlace && cdsDetail->Active()) {
        const qint64 store = asId(MasterValue(QStringLiteral("BUILDINGID")));
        cdsDetail->CheckBrowseMode();
        const DetailUpdate update(*this);
        // The place rows by line, and each place asked about once: the answer
        // is the same for every line that uses it.
        QHash<qint64, QVector<qint64>> placesOf;
        const int item = cdsUsePlace->FieldByName(QStringLiteral("ITEMSNO"))->Index();
        const int placeColumn = cdsUsePlace->FieldByName(QStringLiteral("PLACEID"))->Index();
        for (int r = 0; r < cdsUsePlace->RecordCount(); ++r)
            placesOf[cdsUsePlace->ValueAt(r, item).toLongLong()] << asId(cdsUsePlace->ValueAt(r, placeColumn));
        QHash<qint64, bool> isLeaf;
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
            if (asId(DetailValue(Columns.CommodityID)) <= 0)
                continue;
            const QVector<qint64> places = placesOf.value(asId(DetailValue(QStringLiteral("ITEMSNO"))));
            if (places.isEmpty()) {
                ShowError(QStringLiteral("货品[") + DetailValue(Columns.CommodityName).toString()
                          + QStringLiteral("]没有输入货位"));
                return false;
            }
            for (const qint64 place : places) {
                auto known = isLeaf.constFind(place);
                if (known == isLeaf.constEnd()) {
                    QVariant leaf;
                    known = isLeaf.insert(place, GetValueOfSql(QStringLiteral(" select A.PlaceID,A.Name,A.LCode,A.BuildingID from placelth A  where ")
                                                                   + QLatin1String(kLeafTest) + QStringLiteral(" and  A.BuildingID=")
                                                                   + QString::number(store) + QStringLiteral(" and A.PlaceID=")
                                                                   + QString::number(place),
                                                               leaf));
                }
                if (!*known) {
                    ShowError(QStringLiteral("当前记录的货位资料已经发生改变，请重新选择货位！"));
                    return false;
                }
            }
        }
    }
    return TStockNoteForm::ValidateDetailLines();
}

void TIIOBuildingForm::AssignNoteKey()
{
    // New lines get their final numbers here; their place rows follow them.
    QVector<qint64> before;
    if (cdsDetail->Active()) {
        cdsDetail->CheckBrowseMode();
        const int item = cdsDetail->FieldByName(QStringLiteral("ITEMSNO"))->Index();
        for (int r = 0; r < cdsDetail->RecordCount(); ++r)
            before << cdsDetail->ValueAt(r, item).toLongLong();
    }
    TStockNoteForm::AssignNoteKey();
    QHash<qint64, qint64> renumbered;
    if (cdsDetail->Active()) {
        const int item = cdsDetail->FieldByName(QStringLiteral("ITEMSNO"))->Index();
        for (int r = 0; r < cdsDetail->RecordCount() && r < before.size(); ++r)
            renumbered.insert(before[r], cdsDetail->ValueAt(r, item).toLongLong());
    }
    const QVariant key = MasterValue(m_asKeyField);
    data::Field *note = cdsUsePlace->FieldByName(QStringLiteral("NOTEID")), *line = cdsUsePlace->FieldByName(QStringLiteral("ITEMSNO"));
    for (cdsUsePlace->First(); !cdsUsePlace->Eof(); cdsUsePlace->Next()) {
        cdsUsePlace->Edit();
        note->SetValue(key);
        const qint64 item = line->AsInteger();
        line->SetValue(renumbered.value(item, item));
        cdsUsePlace->Post();
    }
}

bool TIIOBuildingForm::DeleteDetailLine()
{
    const QVariant item = cdsDetail->Active() && !cdsDetail->IsEmpty() ? DetailValue(QStringLiteral("ITEMSNO")) : QVariant();
    if (!TStockNoteForm::DeleteDetailLine())
        return false;
    if (!item.isNull())
        SetLinePlaces(item, {});
    return true;
}

void TIIOBuildingForm::ApplyChangeLogs(int action)
{
    TStockNoteForm::ApplyChangeLogs(action);
    if (!m_usePlace || action == 2)
        return;
    // The place rows are written whole with the note, inside its transaction,
    // through one prepared statement; the numbers are the window's own.
    SqlExecute(QStringLiteral("delete from iostoreithPLACE where NOTEID=") + QString::number(m_iApplyNoteID));
    const int item = cdsUsePlace->FieldByName(QStringLiteral("ITEMSNO"))->Index();
    const int place = cdsUsePlace->FieldByName(QStringLiteral("PLACEID"))->Index();
    const int quantity = cdsUsePlace->FieldByName(QStringLiteral("QUANTITY"))->Index();
    QVector<QVariantList> rows;
    rows.reserve(cdsUsePlace->RecordCount());
    for (int r = 0; r < cdsUsePlace->RecordCount(); ++r)
        rows.append({m_iApplyNoteID, asId(cdsUsePlace->ValueAt(r, item)), asId(cdsUsePlace->ValueAt(r, place)),
                     FormatQuantity(cdsUsePlace->ValueAt(r, quantity).toDouble())});
    SqlExecuteRows(QStringLiteral("insert into iostoreithPLACE (NOTEID, ITEMSNO, PLACEID, QUANTITY) values (?, ?, ?, ?)"),
                   rows);
}

void TIIOBuildingForm::MergeChangeLogs(int action)
{
    TStockNoteForm::MergeChangeLogs(action);
    cdsUsePlace->MergeChangeLog();
    m_placesChanged = false;
}

bool TIIOBuildingForm::IsNoteModified() { return TStockNoteForm::IsNoteModified() || m_placesChanged; }

void TIIOBuildingForm::CancelNote()
{
    TStockNoteForm::CancelNote();
    loadPlaces();
}

void TIIOBuildingForm::ItemGridEditButtonClick()
{
    if (!m_usePlace || !cdsDetail->Active() || cdsDetail->IsEmpty())
        return;
    TIIOBuildingPlaceForm dialog(this);
    const QVariant item = DetailValue(QStringLiteral("ITEMSNO"));
    const qint64 store = asId(MasterValue(QStringLiteral("BUILDINGID")));
    QVariant storeName;
    GetValueOfSql(QStringLiteral("select Name from storelth where BuildingID=") + QString::number(store), storeName);
    dialog.SetLine({SourceType(), asId(DetailValue(Columns.CommodityID)), DetailValue(Columns.CommodityName).toString(),
                     MasterValue(QStringLiteral("NOTEKIND"), 1).toInt(), store, storeName.toString(),
                     DetailValue(QStringLiteral("QUANTITY"), 0).toDouble(), LinePlaces(item)});
    if (ShowModal(&dialog) != 1)
        return;
    SetLinePlaces(item, dialog.Rows());
}
