#include "Commoditynote.h"
#include "NoteReport.h"
#include "NoteMessages.h"

#include "BasenoteStockCheck.h"
#include "CommodityDialogs.h"
#include "DataAccess.h"
#include "Lookup.h"
#include "Messages.h"
#include "Notepublic.h"
#include "Privileges.h"
#include "Rounding.h"
#include "SysParams.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"
#include "ComboUtility.h"
#include "PackageWindows.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

using commodity::Col;
using data::Field;

namespace {

constexpr qint64 kUnsavedNoteID = -9999;

QString qtyText(double v)
{
    static const data::DisplayFormatSpec spec = data::parseDisplayFormat(QStringLiteral("#0.####"), data::FieldType::Float);
    return data::formatWith(spec, data::FieldType::Float, v);
}

qint64 asId(const QVariant &v) { return v.isNull() ? 0 : v.toLongLong(); }

// The breakdown tables whose rows move from TempDetail2 when the note is saved.
bool savesBreakdown(const QString &table)
{
    static const QStringList tables = {QStringLiteral("drawithdetail2"),     QStringLiteral("OtherOutithdetail2"),
                                       QStringLiteral("OtherInithdetail2"),  QStringLiteral("salesthdetail2"),
                                       QStringLiteral("ordersthdetail2"),    QStringLiteral("salesthplandetail2"),
                                       QStringLiteral("purchasepthdetail2"), QStringLiteral("orderpthdetail2")};
    return tables.contains(table, Qt::CaseInsensitive);
}

} // namespace

TCommoditynoteForm::LineColumnNames::LineColumnNames()
{
    for (int i = 0; i < commodity::kColCount; ++i)
        Amounts[size_t(i)] = QString::fromLatin1(commodity::DefaultColumnName(Col(i)));
}

TCommoditynoteForm::TCommoditynoteForm(const basenote::Resource &resource, const mdnote::DetailResource &detail,
                                       QWidget *owner)
    : TMDnoteForm(resource, detail, owner)
{
    TaxAmtLimit = LookupSysParam(QStringLiteral("TaxAmtLimit")).toDouble();
    CommodityAmtLimit = LookupSysParam(QStringLiteral("CommodityAmtLimit")).toDouble();
    CanEditPurchasePrice = GetUPrivilegeItem(551, 5);
    CanEditSalesPrice = GetUPrivilegeItem(552, 5);

    lbStock = new QLabel(this);
    lbStock->setObjectName(QStringLiteral("lbStock"));
    lbStock->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbStock->setMinimumHeight(lbStock->fontMetrics().height() * 2 + 4);
    CenterLayout()->addWidget(lbStock);

    btnPrice = new QPushButton(QStringLiteral("价格管理"), this);
    btnPrice->setObjectName(QStringLiteral("btnPrice"));
    btnPrice->hide();
    connect(btnPrice, &QPushButton::clicked, this, [this] {
        try {
            ShowPriceManager();
        } catch (const std::exception &e) {
            ShowError(e);
        }
    });

    muRefrshQuantity = new QAction(QStringLiteral("刷新库存数量"), DetailMenu);
    muRefrshQuantity->setObjectName(QStringLiteral("muRefrshQuantity"));
    muRefrshQuantity->setVisible(false);
    DetailMenu->addAction(muRefrshQuantity);
    actRefreshQuantity = new QAction(QStringLiteral("刷新库存数量"), this);
    actRefreshQuantity->setObjectName(QStringLiteral("actRefreshQuantity"));
    actRefreshQuantity->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    actRefreshQuantity->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(actRefreshQuantity);
    muFindCommodity = new QAction(QStringLiteral("货品查找..."), DetailMenu);
    muFindCommodity->setObjectName(QStringLiteral("muFindCommodity"));
    DetailMenu->addAction(muFindCommodity);
    muLoadDetail = new QAction(QStringLiteral("导入..."), DetailMenu);
    muLoadDetail->setObjectName(QStringLiteral("muLoadDetail"));
    muLoadDetail->setVisible(false);
    DetailMenu->addAction(muLoadDetail);
    connect(muLoadDetail, &QAction::triggered, this, &TCommoditynoteForm::muLoadDetailClick);
    connect(muRefrshQuantity, &QAction::triggered, this, &TCommoditynoteForm::muRefreshQuantityClick);
    connect(actRefreshQuantity, &QAction::triggered, this, &TCommoditynoteForm::muRefreshQuantityClick);
    connect(muFindCommodity, &QAction::triggered, this, &TCommoditynoteForm::muFindCommodityClick);

    cmbCommodity = commodityCombo(this, QStringLiteral("cmbCommodity"));
    cmbStore = storeCombo(this, QStringLiteral("cmbStore"));
    cmbCommodity->hide();
    cmbStore->hide();

    // "价格查询": the partners' agreed prices, on the note's partner when it has one.
    auto *enquiry = new QAction(QStringLiteral("价格查询"), noteMenu);
    enquiry->setObjectName(QStringLiteral("muGetPrice"));
    noteMenu->addSeparator();
    noteMenu->addAction(enquiry);
    connect(enquiry, &QAction::triggered, this, [this] {
        std::unique_ptr<QWidget> window(pk_note::CreateFormClass(QStringLiteral("TGetPriceForm"), this));
        auto *prices = dynamic_cast<pk_note::IPriceEnquiry *>(window.get());
        if (!prices)
            return;
        if (const qint64 partner = asId(MasterValue(Columns.PartnerID)); partner != 0)
            prices->ShowPartner(partner);
        ShowModal(window.get());
    });

    AddColumnButton(QStringLiteral("BCODE"), [this] { PickBatch(); });
    AddColumnButton(QStringLiteral("COMMODITYNAME"), [this] { PickCommodity(true); });
    AddColumnButton(QStringLiteral("BUILDINGNAME"), [this] {
        if (const qint64 store = ChooseStore(QString()); store > 0) {
            if (cdsDetail->State() == data::DataSetState::Browse)
                cdsDetail->Edit();
            SetFieldValue(line(Columns.BuildingID), store);
        }
    });
    for (const char *price : {"ORIGPRICE", "PRICE", "TAXPRICE", "ORIGTAXPRICE"})
        AddColumnButton(QString::fromLatin1(price), [this] { PickLinePrice(); });
    AddColumnButton(QStringLiteral("QUANTITY"), [this] {
        if (asId(DetailValue(Columns.CommodityID)) == 0) {
            ShowMessage(QStringLiteral("请选择货品"));
            return;
        }
        EditColorSize();
    });
}

// ============================================================ drop-downs

widgets::TRqLookupCombo *TCommoditynoteForm::commodityCombo(QWidget *parent, const QString &name)
{
    auto *combo = new widgets::TRqLookupCombo(parent, name);
    combo->SetDataSource(dsDetail);
    combo->SetDataField(Columns.CommodityID);
    combo->SetListSource(QStringLiteral("dsCommodity"));
    combo->SetListFields(QStringLiteral("CODE;NAME;SPEC"));
    combo->SetListFieldCaptions({QStringLiteral("编号"), QStringLiteral("名称"), QStringLiteral("规格")});
    combo->SetListField(QStringLiteral("CODE"));
    // The grid's editors offer what the window's drop-down offers (a kind may narrow it).
    combo->SetListFilter(cmbCommodity ? cmbCommodity->ListFilter() : QStringLiteral("closed=0"));
    combo->SetSearchFields(QStringLiteral("Code*;Name*;Name#;BARCODE*;SPEEDSYMBOL*"));
    combo->SetUtilityCommands({QStringLiteral("新增#"), QStringLiteral("编辑#"), QStringLiteral("查找")});
    combo->SetUtilityHandler([this](widgets::TRqLookupCombo *c, const QString &command) { runComboCommand(c, command); });
    return combo;
}

widgets::TRqLookupCombo *TCommoditynoteForm::storeCombo(QWidget *parent, const QString &name)
{
    auto *combo = new widgets::TRqLookupCombo(parent, name);
    combo->SetDataSource(dsDetail);
    combo->SetDataField(Columns.BuildingID);
    combo->SetListSource(QStringLiteral("dsStore"));
    combo->SetListFields(QStringLiteral("CODE;NAME"));
    combo->SetListField(QStringLiteral("CODE"));
    combo->SetListFilter(QStringLiteral("shoperateid is null or shoperateid=0"));
    combo->SetUtilityCommands({QStringLiteral("新增#"), QStringLiteral("置空")});
    combo->SetUtilityHandler([this](widgets::TRqLookupCombo *c, const QString &command) { runComboCommand(c, command); });
    return combo;
}

void TCommoditynoteForm::runComboCommand(widgets::TRqLookupCombo *combo, const QString &command)
{
    QString cmd = command.trimmed();
    if (cmd.endsWith(u'#'))
        cmd.chop(1);
    if (cmd == QStringLiteral("置空")) {
        combo->Clear();
    } else if (cmd == QStringLiteral("查找")) {
        PickCommodity(true);
    } else {
        const QVariant key = combo->KeyValue();
        if (cmd == QStringLiteral("编辑") && key.isNull())
            return;
        if (!ComboBoxUtilitys(combo, cmd, cmd == QStringLiteral("编辑") ? key.toInt() : 0))
            ShowInformation(QString::fromUtf8(pk_note::kNotYetAvailable));
    }
}

// ============================================================ column roles

void TCommoditynoteForm::resolveColumns()
{
    m_resolvedFor = cdsDetail;
    m_resolvedFields = cdsDetail->FieldCount();
    m_roleByIndex.fill(Role::Other, m_resolvedFields);
    m_colByIndex.fill(-1, m_resolvedFields);
    auto mark = [this](const QString &name, Role role) {
        if (Field *f = line(name))
            m_roleByIndex[f->Index()] = role;
    };
    mark(Columns.CommodityCode, Role::CommodityCode);
    mark(Columns.CommodityID, Role::CommodityId);
    mark(Columns.StoreCode, Role::StoreCode);
    mark(Columns.BuildingID, Role::StoreId);
    mark(Columns.ProductDay, Role::ProductDay);
    m_locksCells.fill(false, m_resolvedFields);
    for (const QString &name : {Columns.CommodityID, Columns.ReferQty, Columns.ReferCount, QStringLiteral("REFERNOTEID"),
                                QStringLiteral("IOQTY")})
        if (Field *f = line(name))
            m_locksCells[f->Index()] = true;
    m_lineStateValid = false;
    for (int i = 0; i < commodity::kColCount; ++i) {
        Field *f = line(Columns.Amounts[size_t(i)]);
        m_amount[size_t(i)] = f;
        if (f && commodity::RecomputesLine(Col(i))) {
            m_roleByIndex[f->Index()] = Role::Amount;
            m_colByIndex[f->Index()] = int8_t(i);
        }
    }
}

void TCommoditynoteForm::DetailAfterOpen(data::ClientDataSet &dataSet)
{
    TMDnoteForm::DetailAfterOpen(dataSet);
    resolveColumns();
    // Display formats of the line model.
    auto format = [this](const QString &name, const char *fmt) {
        if (Field *f = line(name))
            f->SetDisplayFormat(QString::fromLatin1(fmt));
    };
    const auto &a = Columns.Amounts;
    for (Col c : {Col::Quantity, Col::Disc})
        format(a[size_t(c)], "#0.####");
    format(Columns.ReferQty, "#0.####");
    for (Col c : {Col::OrigPrice, Col::Price, Col::OrigTaxPrice, Col::TaxRate, Col::TaxPrice})
        format(a[size_t(c)], "#0.########");
    format(Columns.APrice, "#0.########");
    for (Col c : {Col::TaxAmt, Col::CommodityAmt, Col::Amount})
        format(a[size_t(c)], "#0.00");
}

void TCommoditynoteForm::DetailFieldChange(Field &field)
{
    TMDnoteForm::DetailFieldChange(field);
    if (m_resolvedFor != field.DataSet() || m_resolvedFields != cdsDetail->FieldCount())
        resolveColumns();
    const int i = field.Index();
    if (i < m_locksCells.size() && m_locksCells[i])
        m_lineStateValid = false; // what locks the line's cells has changed
    switch (i < m_roleByIndex.size() ? m_roleByIndex[i] : Role::Other) {
    case Role::CommodityCode: {
        // A code that matches nothing changes nothing.
        const qint64 id = asId(LookupDataEx(pub::RecordCommodity, QStringLiteral("CODE"), field.Value(),
                                            QStringLiteral("COMMODITYID")));
        if (id > 0)
            SetFieldValue(line(Columns.CommodityID), id);
        break;
    }
    case Role::CommodityId: CommodityChanged(field); break;
    case Role::StoreCode: {
        if (field.IsNull() || field.AsString().trimmed().isEmpty())
            break;
        qint64 id = asId(LookupDataEx(pub::RecordStore, QStringLiteral("CODE"), field.Value(),
                                      QStringLiteral("BUILDINGID")));
        if (id <= 0)
            id = ChooseStore(field.AsString());
        if (id > 0)
            SetFieldValue(line(Columns.BuildingID), id);
        break;
    }
    case Role::StoreId: StoreChanged(field); break;
    case Role::Amount: LineAmountChanged(field); break;
    case Role::ProductDay: ProductDayChanged(field); break;
    case Role::Other: OtherDetailFieldChanged(field); break;
    }
}

// ============================================================ recomputation

void TCommoditynoteForm::LineAmountChanged(Field &field)
{
    const int ci = field.Index() < m_colByIndex.size() ? m_colByIndex[field.Index()] : -1;
    if (ci < 0)
        return;
    const Col edited = Col(ci);
    commodity::LineValues values;
    for (int i = 0; i < commodity::kColCount; ++i) {
        if (Field *f = m_amount[size_t(i)]) {
            values.SetPresent(Col(i), true);
            values.Load(Col(i), f->IsNull() ? 0 : f->AsFloat(), f->IsNull());
        }
    }
    m_context.previousTaxAmtNull = edited == Col::TaxAmt && field.PriorValue().isNull();
    const commodity::RecomputeResult result = commodity::Recompute(values, edited, m_context);
    if (edited == Col::TaxAmt && !result.ok()) {
        field.SetValueSilent(field.PriorValue());
        ShowError(result.error);
        return;
    }
    // Silent writes first, then the writes whose events the rules fire.
    for (int i = 0; i < commodity::kColCount; ++i)
        if (values.Changed(Col(i)) && !values.Fires(Col(i)))
            m_amount[size_t(i)]->SetValueSilent(values.Get(Col(i)));
    if (!result.ok())
        ShowError(result.error);
    for (int i = 0; i < commodity::kColCount; ++i)
        if (values.Fires(Col(i)))
            m_amount[size_t(i)]->SetValue(values.Get(Col(i)));
}

void TCommoditynoteForm::OtherDetailFieldChanged(Field &) {}

// ============================================================ commodity and store

void TCommoditynoteForm::CommodityChanged(Field &field)
{
    const qint64 id = asId(field.Value());
    if (id <= 0)
        return;
    auto goods = [id](const char *column) {
        return LookupData(pub::RecordCommodity, id, QString::fromLatin1(column));
    };
    auto unitName = [&goods](const char *column) {
        const QVariant unit = goods(column);
        return unit.isNull() ? QVariant() : LookupData(pub::RecordUnit, unit, QStringLiteral("NAME"));
    };
    SetFieldValue(line(Columns.CommodityCode), goods("CODE"), false);
    SetFieldValue(line(Columns.CommodityName), goods("NAME"), false);
    SetFieldValue(line(Columns.Barcode), goods("BARCODE"), false);
    SetFieldValue(line(Columns.UnitName), unitName("UNITSID"), false);
    SetFieldValue(line(Columns.UnitSecName), unitName("UNITSECID"), false);
    SetFieldValue(line(Columns.UnitNamePak1), unitName("UNITSIDPAK1"), false);
    SetFieldValue(line(Columns.UnitNamePak2), unitName("UNITSIDPAK2"), false);
    SetFieldValue(m_amount[size_t(Col::TimeSec)], goods("TIMESEC"));
    SetFieldValue(m_amount[size_t(Col::TimePak1)], goods("TIMEPAK1"), false);
    SetFieldValue(m_amount[size_t(Col::TimePak2)], goods("TIMEPAK2"), false);
    SetFieldValue(line(Columns.Spec), goods("SPEC"), false);

    if (goods("KIND").toInt() <= 3) {
        const qint64 store = asId(goods("BUILDINGID"));
        QVariant own;
        if (store > 0
            && GetValueOfSql(QStringLiteral("select BuildingID from storelth  where (shoperateid is null or "
                                            "shoperateid=0) and BuildingID=")
                                 + QString::number(store),
                             own)
            && asId(own) == store)
            DefaultStore = store;
        if (asId(DetailValue(Columns.BuildingID)) == 0 && asId(DefaultStore) > 0)
            SetFieldValue(line(Columns.BuildingID), DefaultStore);
    }
    if (StockStoreOfLine() > 0)
        muRefreshQuantityClick();

    const double masterDisc = MasterValue(QStringLiteral("DISC"), 0).toDouble();
    if (masterDisc > 0)
        DefaultDisc = masterDisc;
    SetFieldValue(m_amount[size_t(Col::Disc)], DefaultDisc);
    if (DefaultTaxRate > 0)
        SetFieldValue(m_amount[size_t(Col::TaxRate)], DefaultTaxRate);

    const qint64 partner = asId(MasterValue(Columns.PartnerID));
    double price = PartnerPrice(partner, id);
    if (price < 0)
        price = DefaultPrice(NoteType(), id, partner, asId(DetailValue(Columns.BTurnNoteID)),
                             asId(MasterValue(QStringLiteral("BUILDINGID"))));
    SetFieldValue(m_amount[size_t(Col::Price)], FormatPrice(price));

    if (cdsDetail->FindField(QStringLiteral("CUSTDEF1"))) {
        AutoQuery q = CreateAutoQuery(
            QStringLiteral("select CUSTDEF1, CUSTDEF2, CUSTDEF3, CUSTDEF4, CUSTDEF5 from Commoditylth where Commodityid=")
            + QString::number(id));
        if (!q->IsEmpty())
            for (const char *c : {"CUSTDEF1", "CUSTDEF2", "CUSTDEF3", "CUSTDEF4", "CUSTDEF5"})
                SetFieldValue(line(QString::fromLatin1(c)), q->FieldByName(QString::fromLatin1(c)).Value(), false);
    }
}

qint64 TCommoditynoteForm::ChooseStore(const QString &typed)
{
    std::unique_ptr<QWidget> picker(pk_note::CreateFormClass(QStringLiteral("TPickBuildingForm"), this));
    auto *pick = dynamic_cast<pk_note::IStorePicker *>(picker.get());
    if (!pick)
        return 0; // no store picker in this build: the typed code is left as it is
    pick->SetFilterText(typed);
    return ShowModal(picker.get()) == 1 ? pick->SelectedStore() : 0;
}

void TCommoditynoteForm::StoreChanged(Field &field)
{
    const QVariant store = field.Value();
    SetFieldValue(line(Columns.StoreCode),
                  store.isNull() ? QVariant() : LookupData(pub::RecordStore, store, QStringLiteral("CODE")), false);
    SetFieldValue(line(Columns.BuildingName),
                  store.isNull() ? QVariant() : LookupData(pub::RecordStore, store, QStringLiteral("NAME")), false);
    // A batch belongs to one store.
    if (asId(DetailValue(Columns.BTurnNoteID)) > 0)
        clearBatch(true);
    if (asId(store) > 0)
        muRefreshQuantityClick();
}

void TCommoditynoteForm::clearBatch(bool fire)
{
    for (const QString *name : {&Columns.BTurnNoteID, &Columns.BCode, &Columns.ValidDay, &Columns.ProductDay})
        SetFieldValue(line(*name), QVariant(), fire);
}

bool TCommoditynoteForm::lineHasBatch() const { return asId(DetailValue(Columns.BTurnNoteID)) > 0; }

void TCommoditynoteForm::ProductDayChanged(Field &field)
{
    Field *valid = line(Columns.ValidDay);
    if (field.IsNull() || field.AsString().trimmed().isEmpty()) {
        SetFieldValue(valid, QVariant());
        return;
    }
    QVariant days;
    GetValueOfSql(QStringLiteral("select validdays from Commoditylth where CommodityID=")
                      + QString::number(asId(DetailValue(Columns.CommodityID))),
                  days);
    SetFieldValue(valid, field.AsDate().addDays(days.toInt()));
}

qint64 TCommoditynoteForm::StockStoreOfLine()
{
    const int t = NoteType();
    const QVariant store = (t >= 1 && t <= 19) ? DetailValue(Columns.BuildingID) : MasterValue(QStringLiteral("BUILDINGID"));
    return std::max<qint64>(0, asId(store));
}

void TCommoditynoteForm::muRefreshQuantityClick()
{
    if (!lbStock || lbStock->isHidden() || !cdsDetail->Active())
        return;
    if (cdsDetail->IsEmpty() && cdsDetail->State() == data::DataSetState::Browse) {
        lbStock->clear();
        return;
    }
    const qint64 goods = asId(DetailValue(Columns.CommodityID));
    if (goods <= 0) {
        lbStock->setText(QStringLiteral("没有指定货品"));
        return;
    }
    const qint64 store = StockStoreOfLine();
    if (store <= 0) {
        lbStock->setText(QStringLiteral("没有指定仓库"));
        return;
    }
    // The line names its store on trade notes; a stock note's store is the
    // master's, and its lines carry no store name.
    const bool lineStore = NoteType() >= 1 && NoteType() <= 19;
    QString storeName = lineStore ? DetailValue(Columns.BuildingName).toString() : QString();
    if (storeName.isEmpty()) {
        QVariant name;
        GetValueOfSql(QStringLiteral("select Name from storelth where BuildingID=") + QString::number(store), name);
        storeName = name.toString();
    }
    const QString head = QStringLiteral("货品[") + DetailValue(Columns.CommodityName).toString()
                         + QStringLiteral("]在仓库[") + storeName;
    AutoQuery q = CreateAutoQuery(QStringLiteral("select USEDQTY, REALQTY, REALQTY-USEDQTY as VALIDQTY from onhandaath  "
                                                 "where Commodityid=")
                                  + QString::number(goods) + QStringLiteral(" and BuildingID=") + QString::number(store));
    if (q->IsEmpty()) {
        lbStock->setText(head + QStringLiteral("]中的实际库存为:0 已占用数量为:0, 可用数量为:0, "));
        return;
    }
    auto num = [&q](const char *c) { return qtyText(q->FieldByName(QString::fromLatin1(c)).AsFloat()); };
    lbStock->setText(head + QStringLiteral("]中的实际库存为:") + num("REALQTY") + QStringLiteral("\n已占用数量为:") + num("USEDQTY")
                     + QStringLiteral(", 可用数量为:") + num("VALIDQTY"));
}

void TCommoditynoteForm::muLoadDetailClick()
{
    if (StockStoreOfLine() <= 0) {
        ShowError(QStringLiteral("请先选择仓库."));
        return;
    }
    ShowInformation(QString::fromUtf8(pk_note::kNotYetAvailable));
}

void TCommoditynoteForm::muFindCommodityClick()
{
    for (int i = 0; i < ItemGrid->ColumnCount(); ++i)
        if (ItemGrid->Column(i).Visible && !ItemGrid->Column(i).ReadOnly) {
            ItemGrid->SetSelectedColumn(i);
            break;
        }
    ItemGrid->setFocus();
    ItemGrid->ShowFindDialog(QStringLiteral("查找"));
}

// ============================================================ master fields

void TCommoditynoteForm::MasterFieldChange(Field &field)
{
    TMDnoteForm::MasterFieldChange(field);
    if (field.FieldName().compare(Columns.PartnerID, Qt::CaseInsensitive) == 0)
        PartnerChanged(field);
    else if (field.FieldName().compare(QLatin1String("PAYTYPESID"), Qt::CaseInsensitive) == 0) {
        if (field.IsNull())
            return;
        AutoQuery q = CreateAutoQuery(QStringLiteral("select * from paymethodlth where PAYTYPESID=")
                                      + QString::number(field.AsInteger()));
        if (!q->IsEmpty())
            SetFieldValue(MasterField(QStringLiteral("AccountID")), q->FieldByName(QStringLiteral("AccountID")).Value());
    } else if (field.FieldName().compare(QLatin1String("BUILDINGID"), Qt::CaseInsensitive) == 0)
        MasterStoreChanged(field);
}

void TCommoditynoteForm::PartnerChanged(Field &field)
{
    if (field.IsNull())
        return;
    AutoQuery q = CreateAutoQuery(QStringLiteral("select Translateto, TranslateType, scamt, EMPID, DEPID, CONTACTOR, "
                                                 "PHONE, CREDITDAY,TEL1,Fax  from partnerlth where partnerid=")
                                  + QString::number(field.AsInteger()));
    if (q->IsEmpty())
        return;
    static const char *const map[][2] = {{"NOTETO", "Translateto"},   {"TRANSLATETYPE", "Translatetype"},
                                         {"SCAMT", "scamt"},          {"EMPID", "EMPID"},
                                         {"DEPID", "DEPID"},          {"CONTACTOR", "Contactor"},
                                         {"CONTACTPHONE", "PHONE"},   {"TEL1", "TEL1"},
                                         {"CONTACTFAX", "Fax"},       {"TERMDAYS", "CREDITDAY"}};
    for (const auto &m : map)
        if (Field *f = MasterField(QString::fromLatin1(m[0])))
            SetFieldValue(f, q->FieldByName(QString::fromLatin1(m[1])).Value());
}

void TCommoditynoteForm::MasterStoreChanged(Field &field)
{
    if (!cdsDetail->Active())
        return;
    if (LookupSysParam(QStringLiteral("IsDistinctStore")) == QLatin1String("0")) {
        // Lines follow the master's store: a batch of the old store no longer fits.
        const qint64 store = asId(field.Value());
        const qint64 partner = asId(MasterValue(Columns.PartnerID));
        {
            const DetailUpdate update(*this);
            for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
                if (!lineHasBatch() || !mayEditLine())
                    continue;
                cdsDetail->Edit();
                clearBatch(false);
                SetFieldValue(m_amount[size_t(Col::Price)],
                              DefaultPrice(NoteType(), asId(DetailValue(Columns.CommodityID)), partner, 0, store));
                cdsDetail->Post();
            }
        }
    }
    if (!cdsDetail->IsEmpty())
        muRefreshQuantityClick();
}

bool TCommoditynoteForm::mayEditLine() const
{
    return asId(DetailValue(QStringLiteral("REFERNOTEID"))) == 0 || asId(DetailValue(Columns.ReferCount)) == 0;
}

void TCommoditynoteForm::InitNewNote(data::ClientDataSet &dataSet)
{
    TMDnoteForm::InitNewNote(dataSet);
    if (Field *f = dataSet.FindField(QStringLiteral("NOTETYPE")))
        SetFieldValue(f, LookupSysParam(QStringLiteral("TaxKind")) == QLatin1String("1") ? 3 : 2, false);
}

// ============================================================ checks

int TCommoditynoteForm::CommodityKind(qint64 commodityId)
{
    return LookupData(pub::RecordCommodity, commodityId, QStringLiteral("KIND"), 0).toInt();
}

int TCommoditynoteForm::CommodityCostType(qint64 commodityId)
{
    return LookupData(pub::RecordCommodity, commodityId, QStringLiteral("COSTTYPE"), 0).toInt();
}

bool TCommoditynoteForm::ValidateDetailLine()
{
    const QVariant goodsValue = DetailValue(Columns.CommodityID);
    if (goodsValue.isNull()) {
        ShowError(QStringLiteral("请选择货品."));
        return false;
    }
    const qint64 goods = asId(goodsValue);
    const QString name = DetailValue(Columns.CommodityName).toString();
    const int kind = CommodityKind(goods);
    const double price = DetailValue(Columns.Amounts[size_t(Col::Price)], 0).toDouble();
    if (CheckPriceSign) {
        if (kind < 7 && price < 0) {
            ShowError(QStringLiteral("货品[") + name + QStringLiteral("]的单价必须大于或等于零."));
            return false;
        }
        if (kind == 7 && price > 0) {
            ShowError(QStringLiteral("货品[") + name + QStringLiteral("]为折扣项目, 其单价必须小于或等于零."));
            return false;
        }
    }
    if (kind > 3 && asId(DetailValue(Columns.BuildingID)) > 0) {
        // A service or expense keeps no stock, so it has no store.
        cdsDetail->Edit();
        SetFieldValue(line(Columns.BuildingID), QVariant(), false);
        SetFieldValue(line(Columns.StoreCode), QVariant(), false);
        SetFieldValue(line(Columns.BuildingName), QVariant(), false);
        cdsDetail->Post();
    }
    const double quantity = DetailValue(Columns.Amounts[size_t(Col::Quantity)], 0).toDouble();
    if (QuantitySign > 0 && quantity <= 0) {
        ShowError(QStringLiteral("货品[") + name + QStringLiteral("]的数量必须大于零."));
        return false;
    }
    if (QuantitySign < 0 && quantity >= 0) {
        ShowError(QStringLiteral("货品[") + name + QStringLiteral("]的数量必须小于零."));
        return false;
    }
    if (line(Columns.BCode) && !CheckBatchLines())
        return false;
    if (PriceClass == 1) {
        const double high = LookupData(pub::RecordCommodity, goods, QStringLiteral("HighPrice"), 0).toDouble();
        if (high > 0 && price > high
            && ShowYesNoQuestion(QStringLiteral("货品[") + name + QStringLiteral("]的单价大于最高进价，是否继续？"))
                   != AnswerYes)
            return false;
    } else if (PriceClass == 2) {
        const double low = LookupData(pub::RecordCommodity, goods, QStringLiteral("LowPrice"), 0).toDouble();
        if (low > 0 && price < low
            && ShowYesNoQuestion(QStringLiteral("货品[") + name + QStringLiteral("]的单价小于最低销售价，是否继续？"))
                   != AnswerYes)
            return false;
    }
    return true;
}

bool TCommoditynoteForm::CheckBatchLines()
{
    const qint64 goods = asId(DetailValue(Columns.CommodityID));
    const QString name = DetailValue(Columns.CommodityName).toString();
    const QString code = DetailValue(Columns.BCode).toString().trimmed();
    const int t = NoteType();
    if (CommodityCostType(goods) != 2) {
        if (!code.isEmpty()) {
            ShowError(QStringLiteral("非批次成本核算货品:") + name + QStringLiteral("的不能有批号！"));
            return false;
        }
        return true;
    }
    if (t == 31) {
        ShowError(QStringLiteral("该单据不能录入批次成本核算货品!"));
        return false;
    }
    if (t == 21)
        return true;
    if (code.isEmpty() && t != 1 && t != 2 && t != 11 && t != 12 && t != 42) {
        ShowError(QStringLiteral("批次成本核算货品:") + name + QStringLiteral("的批号不能为空！"));
        return false;
    }
    const int kind = MasterValue(QStringLiteral("NOTEKIND"), 0).toInt();
    const bool specific = ((t == 3 || t == 4) && kind == 2) || (t == 13 && kind == 1 && !ConsignmentWithoutBatch)
                          || ((t == 14 || t == 25) && kind == 1) || t == 23 || t == 26 || t == 27 || t == 29
                          || (t == 30 && DetailValue(Columns.Amounts[size_t(Col::Quantity)], 0).toDouble() < 0);
    if (specific && asId(DetailValue(Columns.BTurnNoteID)) == 0) {
        ShowError(QStringLiteral("批次成本核算货品:") + name + QStringLiteral("没有指定具体批次！"));
        return false;
    }
    return true;
}

bool TCommoditynoteForm::CanSaveNote()
{
    if (!AllowEmptyNote && cdsDetail->Active() && cdsDetail->IsEmpty()) {
        ShowError(QStringLiteral("单据没有发生业务,不能保存."));
        return false;
    }
    return TMDnoteForm::CanSaveNote();
}

namespace {

// The refusals of audit and un-audit: the in/out type, the single commodity
// of the master and the closed commodities of the lines.
bool closedReferencesAllow(TCommoditynoteForm &form, const QString &detailTable, bool audit)
{
    const QVariant ioType = form.MasterValue(QStringLiteral("IOTYPESID"));
    QVariant closed;
    if (!ioType.isNull()
        && GetValueOfSql(QStringLiteral("select Closed from iotypelth  where IOTYPESID=") + ioType.toString(), closed)
        && closed.toInt() == 1) {
        ShowError(audit ? QStringLiteral("此单的出入库类型已经被停用不能审核。")
                        : QStringLiteral("此单的出入库类型已经被停用不能反审核。"));
        return false;
    }
    const QVariant goods = form.MasterValue(QStringLiteral("CommodityID"));
    if (!goods.isNull()
        && GetValueOfSql(QStringLiteral("select Closed from Commoditylth where CommodityID=") + goods.toString(), closed)
        && closed.toInt() == 1) {
        ShowError(QStringLiteral("此货品:") + form.MasterValue(QStringLiteral("CommodityName")).toString()
                  + (audit ? QStringLiteral(" 已经被停用不能审核。") : QStringLiteral(" 已经被停用不能反审核。")));
        return false;
    }
    if (detailTable.isEmpty())
        return true;
    // The note as a value: one statement for every note, prepared once.
    AutoQuery q = CreateAutoQuery(QStringLiteral("select G.Name from ") + detailTable
                                      + QStringLiteral(" P ,Commoditylth G where p.CommodityID=G.CommodityID and "
                                                       "G.Closed=1 and P.noteID=:id Group by G.Name"),
                                  false);
    q->Parameters().insert(QStringLiteral("id"), form.MasterValue(QStringLiteral("noteID"), 0));
    q->Open();
    if (q->IsEmpty())
        return true;
    QStringList names;
    for (q->First(); !q->Eof(); q->Next())
        names << q->FieldByName(QStringLiteral("Name")).AsString();
    ShowError(QStringLiteral("此单中的货品：") + names.join(QStringLiteral("、"))
              + (audit ? QStringLiteral(" 已经停用不能审核！") : QStringLiteral(" 已经停用不能反审核！")));
    return false;
}

} // namespace

bool TCommoditynoteForm::CanCheckNote()
{
    if (!TMDnoteForm::CanCheckNote())
        return false;
    if (!ConfirmStockCheck(NoteType(), CurrentNoteID(), 1))
        return false;
    return closedReferencesAllow(*this, DetailTable(), true);
}

bool TCommoditynoteForm::CanUncheckNote()
{
    if (!TMDnoteForm::CanUncheckNote())
        return false;
    if (!ConfirmStockCheck(NoteType(), CurrentNoteID(), -1))
        return false;
    return closedReferencesAllow(*this, DetailTable(), false);
}

// ============================================================ display

void TCommoditynoteForm::ShowNote()
{
    DefaultStore.clear();
    DefaultDisc = 100;
    DefaultTaxRate = 0;
    TMDnoteForm::ShowNote();
    UpdateColumnButtons();
    muRefreshQuantityClick();
}

void TCommoditynoteForm::SetupDetailColumn(int column)
{
    TMDnoteForm::SetupDetailColumn(column);
    widgets::GridColumn &col = ItemGrid->Column(column);
    if (col.FieldName.compare(Columns.CommodityCode, Qt::CaseInsensitive) == 0 && !col.Editor) {
        // Typing in the code cell searches codes, names, barcodes and speed symbols.
        col.Editor = [this](QWidget *parent) { return commodityCombo(parent, QStringLiteral("cmbCommodityEditor")); };
        col.EditorCommit = [](QWidget *editor) {
            static_cast<widgets::TRqLookupCombo *>(editor)->TakeTyped(true);
            return true; // a text that matches nothing changes nothing
        };
    } else if (col.FieldName.compare(Columns.StoreCode, Qt::CaseInsensitive) == 0 && !col.Editor) {
        col.Editor = [this](QWidget *parent) { return storeCombo(parent, QStringLiteral("cmbStoreEditor")); };
        col.EditorCommit = [this](QWidget *editor) {
            auto *combo = static_cast<widgets::TRqLookupCombo *>(editor);
            const QString typed = combo->text().trimmed();
            if (!combo->TakeTyped(true) && !typed.isEmpty())
                if (const qint64 store = ChooseStore(typed); store > 0)
                    SetFieldValue(line(Columns.BuildingID), store);
            return true;
        };
    }
    const bool locked = (PriceClass == 1 && !CanEditPurchasePrice) || (PriceClass == 2 && !CanEditSalesPrice);
    if (locked) {
        const QString field = ItemGrid->Column(column).FieldName;
        const auto &a = Columns.Amounts;
        for (Col c : {Col::Price, Col::OrigPrice, Col::OrigTaxPrice, Col::TaxPrice, Col::Amount, Col::TaxAmt,
                      Col::CommodityAmt})
            if (field.compare(a[size_t(c)], Qt::CaseInsensitive) == 0)
                ItemGrid->Column(column).ReadOnly = true;
    }
}

void TCommoditynoteForm::Totals()
{
    SumQuantity = SumCommodityAmt = SumTaxAmt = SumDiscAmt = SumAmount = 0;
    if (!cdsDetail->Active())
        return;
    double q = 0, c = 0, t = 0, d = 0, a = 0;
    auto value = [this](Col col) { return DetailValue(Columns.Amounts[size_t(col)], 0).toDouble(); };
    BeginDetailUpdate();
    try {
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
            q += FormatQuantity(value(Col::Quantity));
            c += FormatAmount(value(Col::CommodityAmt));
            t += FormatAmount(value(Col::TaxAmt));
            d += FormatAmount(value(Col::DiscAmt));
            a += FormatAmount(value(Col::Amount));
        }
    } catch (const std::exception &e) {
        ShowError(e);
    }
    EndDetailUpdate();
    SumQuantity = FormatQuantity(q);
    SumCommodityAmt = FormatAmount(c);
    SumTaxAmt = FormatAmount(t);
    SumDiscAmt = FormatAmount(d);
    SumAmount = FormatAmount(a);
}

QHash<QString, QVariant> TCommoditynoteForm::CommodityReportVariables()
{
    Totals();
    const double fixed = std::round(SumAmount * 10000.0) / 10000.0;
    return {{QStringLiteral("SumofQuantity"), QString::number(SumQuantity)},
            {QStringLiteral("SumofCommodityAmt"), QString::number(SumCommodityAmt)},
            {QStringLiteral("SumofTaxAmt"), QString::number(SumTaxAmt)},
            {QStringLiteral("SumofDiscAmt"), QString::number(SumDiscAmt)},
            {QStringLiteral("SumofAmount"), QString::number(SumAmount)},
            {QStringLiteral("Daxie"), AmountInWords(fixed)},
            {QStringLiteral("UpperCaseAmount"), AmountInBoxes(fixed)},
            {QStringLiteral("Xiaoxie"), QString::number(SumAmount)}};
}

void TCommoditynoteForm::SetReportVariables(TCorvanReportStyle *report)
{
    TMDnoteForm::SetReportVariables(report);
    report->SetVariables(CommodityReportVariables());
}

// ============================================================ seams filled by later kinds

// ============================================================ lines taken from a source

namespace {

bool nameIn(const QString &name, std::initializer_list<const QString *> names)
{
    for (const QString *n : names)
        if (name.compare(*n, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

bool TCommoditynoteForm::LockReferredLine()
{
    if (CommodityCostType(asId(DetailValue(Columns.CommodityID))) != 2)
        return false;
    // Later notes draw on this line's batch (a receipt) or it draws on one
    // that others follow: its quantity, store and batch must stay.
    const bool drawnOn = DetailValue(Columns.ReferCount, 0).toInt() > 0
                         || DetailValue(Columns.ReferQty, 0).toDouble() != 0;
    return drawnOn && MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() != 0;
}

void TCommoditynoteForm::readLineFacts()
{
    m_facts.closed = MasterValue(QStringLiteral("CLOSED"), 0).toInt() == 1;
    m_facts.fromSource = asId(DetailValue(QStringLiteral("REFERNOTEID"))) != 0;
    m_facts.turnedOn = DetailValue(Columns.ReferQty, 0).toDouble() != 0
                       || DetailValue(QStringLiteral("IOQTY"), 0).toDouble() != 0;
    m_facts.locked = LockReferredLine();
}

bool TCommoditynoteForm::SetupDetailField(Field &field)
{
    if (!m_factsFresh)
        readLineFacts();
    const LineFacts &l = m_facts;
    if (l.closed)
        return true;
    if (!l.fromSource && !l.turnedOn && !l.locked)
        return false; // most lines: nothing taken, nothing drawn on
    const QString &name = field.FieldName();
    const auto &c = Columns;
    // What identifies the goods never changes on a line taken from a source
    // or already taken further.
    if ((l.fromSource || l.turnedOn)
        && nameIn(name, {&c.CommodityID, &c.CommodityCode, &c.CommodityName, &c.Barcode, &c.Spec, &c.UnitName}))
        return true;
    // The batch came with the source line.
    if (l.fromSource && nameIn(name, {&c.BTurnNoteID, &c.BCode, &c.ProductDay, &c.ValidDay}))
        return true;
    if (l.locked
        && nameIn(name, {&c.Amounts[size_t(Col::Quantity)], &c.BuildingID, &c.StoreCode, &c.BuildingName, &c.BCode,
                         &c.BTurnNoteID, &c.ProductDay, &c.ValidDay}))
        return true;
    return false;
}

void TCommoditynoteForm::UpdateColumnButtons()
{
    // Asked per cell of the current line; answered from the line's state,
    // worked out once per line (the grid asks on every paint and edit).
    m_lineStateValid = false;
    ItemGrid->SetCellReadOnlyHook([this](int column) {
        ensureLineState();
        return column < m_cellLocked.size() && m_cellLocked[column];
    });
    ItemGrid->SetCellButtonHook([this](int column) {
        ensureLineState();
        return column >= m_cellButton.size() || m_cellButton[column];
    });
}

void TCommoditynoteForm::ensureLineState()
{
    const int row = cdsDetail->Active() ? cdsDetail->CurrentRow() : -1;
    if (m_lineStateValid && row == m_lineStateRow && m_cellLocked.size() == ItemGrid->ColumnCount())
        return;
    m_lineStateValid = true;
    m_lineStateRow = row;
    const int n = ItemGrid->ColumnCount();
    m_cellLocked.fill(0, n);
    m_cellButton.fill(1, n);
    if (!cdsDetail->Active() || cdsDetail->IsEmpty())
        return;
    readLineFacts();
    const LineFacts &l = m_facts;
    if (!l.closed && !l.fromSource && !l.turnedOn && !l.locked && !m_kindLocksCells)
        return; // most lines: every cell as declared
    m_factsFresh = true; // the answers below share one reading of the line
    const bool fromSource = m_facts.fromSource;
    for (int i = 0; i < n; ++i) {
        Field *f = ItemGrid->FieldOfColumn(i);
        m_cellLocked[i] = f && SetupDetailField(*f);
        const QString &name = ItemGrid->Column(i).FieldName;
        // A line from a source keeps its goods; a locked cell has no picker,
        // except the quantity's colour/size matrix, which then only shows.
        if (fromSource && nameIn(name, {&Columns.CommodityCode, &Columns.CommodityName}))
            m_cellButton[i] = 0;
        else if (m_cellLocked[i] && !nameIn(name, {&Columns.Amounts[size_t(Col::Quantity)]}))
            m_cellButton[i] = 0;
    }
    m_factsFresh = false;
}

void TCommoditynoteForm::ClearTurnNote() { SetFieldValue(line(Columns.BTurnNoteID), QVariant()); }

void TCommoditynoteForm::ShowPriceManager()
{
    ShowInformation(QString::fromUtf8(pk_note::kNotYetAvailable));
}

// ============================================================ batch, price, colour and size

void TCommoditynoteForm::PickBatch()
{
    const qint64 goods = asId(DetailValue(Columns.CommodityID));
    if (goods <= 0) {
        ShowMessage(QStringLiteral("请选择货品"));
        return;
    }
    const std::optional<commodity::BatchChoice> batch = commodity::PickBatch({goods, StockStoreOfLine()}, this);
    if (!batch)
        return;
    if (cdsDetail->State() == data::DataSetState::Browse)
        cdsDetail->Edit();
    SetFieldValue(line(Columns.BCode), batch->bcode, false);
    SetFieldValue(line(Columns.ProductDay), batch->productDay, false);
    SetFieldValue(line(Columns.ValidDay), batch->validDay, false);
    SetFieldValue(line(Columns.BTurnNoteID), batch->flowId, false);
    // Notes that take stock out of the batch's store take the store; stock
    // documents value the line at the batch's cost, the others price it.
    const int t = NoteType();
    const int kind = MasterValue(QStringLiteral("NOTEKIND"), 1).toInt();
    const bool outOfStore = t > 19 || ((t >= 11 && t <= 19) && kind == 1) || ((t >= 1 && t <= 9) && kind == 2);
    if (outOfStore && batch->storeId > 0 && line(Columns.BuildingID)) {
        SetFieldValue(line(Columns.BuildingID), batch->storeId, false);
        SetFieldValue(line(Columns.StoreCode), batch->storeCode, false);
        SetFieldValue(line(Columns.BuildingName), batch->storeName, false);
    }
    if (PriceClass == 3 && line(Columns.APrice))
        SetFieldValue(line(Columns.APrice), FormatPrice(batch->price), false);
    else if ((t >= 1 && t <= 9) && kind == 2)
        SetFieldValue(m_amount[size_t(Col::Price)], FormatPrice(batch->price));
    muRefreshQuantityClick();
}

void TCommoditynoteForm::PickLinePrice()
{
    const int t = NoteType();
    if (PriceClass == 3 || t == 1 || t == 3 || t == 11)
        return;
    const qint64 goods = asId(DetailValue(Columns.CommodityID));
    if (goods <= 0) {
        ShowMessage(QStringLiteral("请选择货品"));
        return;
    }
    commodity::PriceRequest request;
    request.noteType = t;
    request.commodityId = goods;
    request.partnerId = asId(MasterValue(Columns.PartnerID));
    request.storeId = StockStoreOfLine();
    request.commodityName = DetailValue(Columns.CommodityName).toString();
    request.unitName = DetailValue(Columns.UnitName).toString();
    for (Col c : {Col::Quantity, Col::TaxRate, Col::OrigPrice, Col::OrigTaxPrice, Col::Disc, Col::Price, Col::TaxPrice,
                  Col::TaxAmt, Col::CommodityAmt, Col::DiscAmt, Col::Amount}) {
        request.line.SetPresent(c, true);
        const QVariant v = DetailValue(Columns.Amounts[size_t(c)]);
        request.line.Load(c, v.toDouble(), v.isNull());
    }
    const std::optional<commodity::LineValues> chosen = commodity::SetLinePrice(request, this);
    if (!chosen)
        return;
    if (cdsDetail->State() == data::DataSetState::Browse)
        cdsDetail->Edit();
    for (Col c : {Col::OrigPrice, Col::OrigTaxPrice, Col::Disc, Col::Price, Col::TaxPrice, Col::TaxAmt,
                  Col::CommodityAmt, Col::DiscAmt, Col::Amount}) {
        double v = chosen->Get(c);
        if (c == Col::OrigTaxPrice)
            v = FormatPrice(v);
        SetFieldValue(m_amount[size_t(c)], v, false);
    }
    m_context.lastCommodityAmt = chosen->Get(Col::CommodityAmt);
    m_context.lastTaxAmt = chosen->Get(Col::TaxAmt);
}

bool TCommoditynoteForm::ColorSizeDetailEmpty(int noteType, qint64 noteId, int noteKind)
{
    const QString table = commodity::BreakdownTable(noteType);
    if (table.isEmpty())
        return true;
    QVariant count;
    GetValueOfSql(QStringLiteral("Select Count(0) as Quantity from ") + table + QStringLiteral(" where noteType = ")
                      + QString::number(noteType) + QStringLiteral(" And noteID = ") + QString::number(noteId)
                      + QStringLiteral("and noteKind = ") + QString::number(noteKind),
                  count);
    return count.toLongLong() == 0;
}

void TCommoditynoteForm::prepareBreakdown(const QString &table, int kind)
{
    // The first edit of a saved note's breakdown copies all of it, so the
    // save can put back the whole note from TempDetail2.
    const qint64 id = IsNewNote() ? kUnsavedNoteID : CurrentNoteID();
    const QString where = QStringLiteral(" where noteType =") + QString::number(NoteType())
                          + QStringLiteral(" and noteid = ") + QString::number(id) + QStringLiteral(" and notekind = ")
                          + QString::number(kind);
    QVariant count;
    GetValueOfSql(QStringLiteral("select count(*) from TempDetail2") + where, count);
    if (count.toLongLong() == 0 && id != kUnsavedNoteID)
        SqlExecute(QStringLiteral("insert into TempDetail2 Select * from ") + table + where);
}

void TCommoditynoteForm::EditColorSize()
{
    const QString table = commodity::BreakdownTable(NoteType());
    if (table.isEmpty())
        return;
    const bool editable = !ReadOnly() && MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() == 0;
    const int kind = MasterValue(QStringLiteral("NOTEKIND"), 1).toInt();
    const bool opening = NoteType() == -999 || NoteType() == -99;
    commodity::ColorSizeKey own;
    own.noteType = NoteType();
    own.noteId = IsNewNote() ? kUnsavedNoteID : CurrentNoteID();
    own.noteKind = kind;
    own.item = DetailValue(QStringLiteral("ITEMSNO"), 0).toInt();
    own.commodityId = asId(DetailValue(Columns.CommodityID));
    own.storeId = asId(DetailValue(Columns.BuildingID));
    if (own.storeId <= 0)
        own.storeId = asId(MasterValue(QStringLiteral("BUILDINGID")));
    own.openingStock = opening;
    if (!opening && editable)
        prepareBreakdown(table, kind);
    own.table = opening ? QStringLiteral("CommodityDetail") : QStringLiteral("TempDetail2");
    if (!opening && !editable)
        own.table = table;
    commodity::ColorSizeKey source = own;
    const int referType = DetailValue(QStringLiteral("REFERNOTETYPE"), 0).toInt();
    const qint64 referId = asId(DetailValue(QStringLiteral("REFERNOTEID")));
    if (referId > 0 && !ColorSizeDetailEmpty(referType, referId, kind)) {
        source.table = commodity::BreakdownTable(referType);
        source.noteType = referType;
        source.noteId = referId;
        source.item = DetailValue(QStringLiteral("REFERITEMSNO"), 0).toInt();
    }
    const std::optional<double> total = commodity::EditColorSize(source, own, editable, this);
    if (!total || !editable)
        return;
    if (cdsDetail->State() == data::DataSetState::Browse)
        cdsDetail->Edit();
    SetFieldValue(m_amount[size_t(Col::Quantity)], std::trunc(*total));
}

void TCommoditynoteForm::AssignNoteKey()
{
    const DetailUpdate update(*this);
    // Remember the temporary line numbers so the breakdown follows the lines.
    m_renumbered.clear();
    const bool keep = savesBreakdown(commodity::BreakdownTable(NoteType())) && cdsDetail->Active();
    QVector<qint64> before;
    if (keep) {
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next())
            before << DetailValue(QStringLiteral("ITEMSNO"), 0).toLongLong();
    }
    TMDnoteForm::AssignNoteKey();
    if (!keep)
        return;
    int i = 0;
    m_finalItems.clear();
    for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next(), ++i) {
        const qint64 now = DetailValue(QStringLiteral("ITEMSNO"), 0).toLongLong();
        m_finalItems << QString::number(now);
        if (i < before.size() && now != before[i])
            m_renumbered.insert(before[i], now);
    }
}

void TCommoditynoteForm::ApplyChangeLogs(int action)
{
    TMDnoteForm::ApplyChangeLogs(action);
    const QString table = commodity::BreakdownTable(NoteType());
    if (!savesBreakdown(table))
        return;
    const QString t = QString::number(NoteType());
    const QString k = MasterValue(QStringLiteral("NOTEKIND"), 1).toString();
    const QString id = MasterValue(m_asKeyField).toString();
    // Only a note whose breakdown was edited has rows waiting.
    QVariant waiting;
    GetValueOfSql(QStringLiteral("select count(*) from TempDetail2 where noteType =") + t
                      + QStringLiteral(" and notekind = ") + k + QStringLiteral(" and (noteid = -9999 or noteid = ")
                      + id + QStringLiteral(")"),
                  waiting);
    if (waiting.toLongLong() == 0)
        return;
    SqlExecute(QStringLiteral("Update TempDetail2 Set noteid =") + id + QStringLiteral(" where noteType =") + t
               + QStringLiteral(" and noteid = -9999 and notekind = ") + k);
    for (auto it = m_renumbered.cbegin(); it != m_renumbered.cend(); ++it)
        SqlExecute(QStringLiteral("Update TempDetail2 Set Item = :new where noteType = :t and noteID = :id and "
                                  "noteKind = :k and Item = :old"),
                   {{QStringLiteral("new"), it.value()},
                    {QStringLiteral("t"), NoteType()},
                    {QStringLiteral("id"), id.toLongLong()},
                    {QStringLiteral("k"), k.toInt()},
                    {QStringLiteral("old"), it.key()}});
    const QString where = QStringLiteral(" where noteType =") + t + QStringLiteral(" and noteID =") + id
                          + QStringLiteral(" and noteKind = ") + k;
    // The breakdown of a line deleted before the save goes with it.
    SqlExecute(QStringLiteral("delete from TempDetail2") + where
               + (m_finalItems.isEmpty() ? QString()
                                         : QStringLiteral(" and Item not in (") + m_finalItems.join(u',') + u')'));
    SqlExecute(QStringLiteral("SET XACT_ABORT ON BEGIN TRAN ") + QStringLiteral("delete from ") + table + where
               + QStringLiteral(" insert into ") + table + QStringLiteral(" Select * from TempDetail2 ") + where
               + QStringLiteral("COMMIT TRAN SET XACT_ABORT OFF"));
    SqlExecute(QStringLiteral("delete from TempDetail2 where noteType = :noteType and noteID = :noteID and "
                              "noteKind =:noteKind "),
               {{QStringLiteral("noteType"), NoteType()},
                {QStringLiteral("noteID"), id.toLongLong()},
                {QStringLiteral("noteKind"), k.toInt()}});
}

void TCommoditynoteForm::dropTempBreakdown()
{
    if (!savesBreakdown(commodity::BreakdownTable(NoteType())))
        return;
    const qint64 id = IsNewNote() ? kUnsavedNoteID : CurrentNoteID();
    try {
        SqlExecute(QStringLiteral("delete from TempDetail2 where noteType = :noteType and noteID = :noteID"),
                   {{QStringLiteral("noteType"), NoteType()}, {QStringLiteral("noteID"), id}});
    } catch (const std::exception &e) {
        ShowError(e);
    }
}

void TCommoditynoteForm::CancelNote()
{
    dropTempBreakdown();
    TMDnoteForm::CancelNote();
}
