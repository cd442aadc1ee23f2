#include "PurchaseNote.h"

#include "DataAccess.h"
#include "QnParams.h"
#include "Registry.h"
#include "Privileges.h"
#include "Lookup.h"
#include "Messages.h"
#include "Notepublic.h"
#include "Rounding.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QScopeGuard>
#include <QLineEdit>
#include <QAction>
#include <QLabel>
#include <QHBoxLayout>

#include <cmath>

using data::Field;

namespace {

qint64 asId(const QVariant &v) { return v.isNull() ? 0 : v.toLongLong(); }

} // namespace

TPurchaseNoteForm::TPurchaseNoteForm(const basenote::Resource &resource, const mdnote::DetailResource &detail,
                                     QWidget *owner)
    : TCommoditynoteForm(resource, detail, owner)
{
    PriceClass = 1;
    // The rules read the switches when they run, so a kind may set them after
    // this constructor.
    AddMasterRule(QStringLiteral("NOTEKIND"), [this](Field &f) {
        if (!Rules.kindDirection && !Rules.kindResetsAmounts)
            return;
        ApplyKind(int(f.AsInteger()));
        if (Rules.kindResetsAmounts) {
            SetFieldValue(MasterField(QStringLiteral("AMOUNT")), 0, false);
            SetFieldValue(MasterField(QStringLiteral("PAYAMT")), 0);
        }
    });
    AddMasterRule(QStringLiteral("NOTETYPE"), [this](Field &f) {
        if (Rules.invoiceCaption)
            ApplyInvoiceType(f.Value());
    });
    AddMasterRule(QStringLiteral("DISC"), [this](Field &f) {
        if (Rules.wholeNoteDisc)
            ApplyWholeNoteDisc(f);
    });
    AddMasterRule(Columns.PartnerID, [this](Field &f) {
        if (Rules.supplierBalance)
            ReadSupplier(asId(f.Value()));
    });
}

bool TPurchaseNoteForm::InvoiceTypeIncludesTax(const QVariant &invoiceType)
{
    // The VAT invoice (type 3) is the one whose prices carry the tax.
    return invoiceType.toInt() == 3;
}

// ============================================================ master rules

void TPurchaseNoteForm::ApplyKind(int kind)
{
    m_stockDirection = ReturnKinds.contains(kind) ? -1 : 1;
    if (Rules.kindDirection)
        setColumnCaption(QStringLiteral("IOQTY"),
                         m_stockDirection < 0 ? QStringLiteral("出库数量") : QStringLiteral("入库数量"));
}

void TPurchaseNoteForm::ApplyInvoiceType(const QVariant &invoiceType)
{
    setColumnCaption(Columns.Amounts[size_t(commodity::Col::Amount)],
                     InvoiceTypeIncludesTax(invoiceType) ? QStringLiteral("价税合计") : QStringLiteral("金额"));
}

void TPurchaseNoteForm::setColumnCaption(const QString &field, const QString &caption)
{
    if (cdsDetail && cdsDetail->Active())
        if (Field *f = cdsDetail->FindField(field))
            f->SetDisplayLabel(caption);
    if (!ItemGrid)
        return;
    for (int i = 0; i < ItemGrid->ColumnCount(); ++i) {
        widgets::GridColumn &c = ItemGrid->Column(i);
        if (c.FieldName.compare(field, Qt::CaseInsensitive) == 0 && c.Title != caption) {
            c.Title = caption;
            // Only the header repaints: a reset of the grid would drop the line being typed.
            if (QAbstractItemModel *model = ItemGrid->model())
                emit model->headerDataChanged(Qt::Horizontal, i, i);
        }
    }
}

bool TPurchaseNoteForm::ApplyWholeNoteDisc(Field &disc)
{
    if (disc.IsNull())
        return true;
    const double value = disc.AsFloat();
    if (value > 100 || value <= 0) {
        ShowError(QStringLiteral("折扣数值应该在大于0并且小于等于100之间"));
        disc.SetValueSilent(100);
        return false;
    }
    if (!cdsDetail->Active() || cdsDetail->IsEmpty())
        return true;
    Field *lineDisc = cdsDetail->FindField(Columns.Amounts[size_t(commodity::Col::Disc)]);
    if (!lineDisc)
        return true;
    {
        const DetailUpdate update(*this);
        cdsDetail->CheckBrowseMode();
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
            cdsDetail->Edit();
            SetFieldValue(lineDisc, value); // the line's own rule recomputes it
            cdsDetail->Post();
        }
    }
    return true;
}

void TPurchaseNoteForm::ReadSupplier(qint64 partnerId)
{
    m_supplier = trade::ReadPartner(partnerId);
    if (BalanceBox)
        BalanceBox->setText(partnerId == 0 ? QStringLiteral("0.00") : trade::BalanceText(m_supplier.balance));
}

void TPurchaseNoteForm::MasterFieldChange(Field &field) { TCommoditynoteForm::MasterFieldChange(field); }

void TPurchaseNoteForm::InitNewNote(data::ClientDataSet &dataSet)
{
    TCommoditynoteForm::InitNewNote(dataSet);
    m_stockDirection = 1;
    m_supplier = {};
}

// ============================================================ display

void TPurchaseNoteForm::DetailAfterOpen(data::ClientDataSet &dataSet)
{
    TCommoditynoteForm::DetailAfterOpen(dataSet);
    // Captions that follow the master, once the lines' fields exist.
    const int kind = MasterValue(QStringLiteral("NOTEKIND"), 1).toInt();
    m_stockDirection = ReturnKinds.contains(kind) ? -1 : 1;
}

void TPurchaseNoteForm::ShowNote()
{
    TCommoditynoteForm::ShowNote();
    ApplyKind(MasterValue(QStringLiteral("NOTEKIND"), 1).toInt());
    if (Rules.invoiceCaption)
        ApplyInvoiceType(MasterValue(QStringLiteral("NOTETYPE")));
    if (Rules.supplierBalance)
        ReadSupplier(asId(MasterValue(Columns.PartnerID)));
    if (Rules.pickerBySequence && cmbCommodity)
        cmbCommodity->SetListFilter(trade::CommodityFilter(trade::kSupplierSide));
}

TPurchaseNoteForm::~TPurchaseNoteForm()
{
    // The controls clear their text while the window's children go.
    if (auto *pay = findChild<QLineEdit *>(QStringLiteral("edPayAmt")))
        disconnect(pay, nullptr, this, nullptr);
}

void TPurchaseNoteForm::BuildTradeParts(const QString &debtCaption)
{
    AddMasterRule(QStringLiteral("PAYAMT"), [this](Field &f) { trade::PayAmtChanged(f, *cdsMaster); });
    AddMasterRule(QStringLiteral("PAYDAY"), [this](Field &f) { trade::PayDayChanged(f, *cdsMaster); });
    AddMasterRule(QStringLiteral("TERMDAYS"), [this](Field &f) { trade::TermDaysChanged(f, *cdsMaster); });
    AddMasterRule(QStringLiteral("NOTEDATE"), [this](Field &f) { trade::NoteDateChanged(f, *cdsMaster); });
    if (cmbEmp)
        cmbEmp->SetListFilter(QStringLiteral("CLOSED=0 "));
    if (auto *partner = findChild<widgets::TRqLookupCombo *>(QStringLiteral("cmbPartner"))) {
        partner->SetListFields(QStringLiteral("CODE;NAME"));
        partner->SetSearchFields(QStringLiteral("CODE*;NAME*;NAME#"));
    }
    if (auto *pay = findChild<QLineEdit *>(QStringLiteral("edPayAmt")))
        connect(pay, &QLineEdit::textChanged, this, &TPurchaseNoteForm::edPayAmtChange);

    auto *strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("palBalance"));
    auto *row = new QHBoxLayout(strip);
    row->setContentsMargins(12, 0, 12, 0);
    auto *label = new QLabel(debtCaption, strip);
    label->setObjectName(QStringLiteral("lbBalance"));
    BalanceBox = new QLineEdit(QStringLiteral("0.00"), strip);
    BalanceBox->setObjectName(QStringLiteral("edBalance"));
    BalanceBox->setReadOnly(true);
    BalanceBox->setFocusPolicy(Qt::NoFocus);
    BalanceBox->setAlignment(Qt::AlignRight);
    BalanceBox->setMaximumWidth(160);
    label->setBuddy(BalanceBox);
    lbFillMark = new QLabel(strip);
    lbFillMark->setObjectName(QStringLiteral("lbFillMark"));
    lbFillMark->setStyleSheet(QStringLiteral("color: #b00020; font-weight: bold;"));
    row->addWidget(label);
    row->addWidget(BalanceBox);
    row->addStretch(1);
    row->addWidget(lbFillMark);
    CenterLayout()->insertWidget(0, strip);
    const bool seesDebt = GetUPrivilegeItem(550, 1);
    label->setVisible(seesDebt);
    BalanceBox->setVisible(seesDebt);

    connect(ItemGrid, &QAbstractItemView::doubleClicked, this, [this] {
        try {
            OpenSourceNote();
        } catch (const std::exception &e) {
            ShowError(e);
        }
    });
}

void TPurchaseNoteForm::ShowTradeParts(QAction *fillMenu)
{
    const int closeFill = MasterValue(QStringLiteral("CLOSEFILL"), 0).toInt();
    lbFillMark->setText(trade::CloseFillMark(closeFill));
    lbFillMark->setVisible(closeFill == 1 || closeFill == 2);
    fillMenu->setText(trade::CloseFillMenuCaption(closeFill));
}

void TPurchaseNoteForm::edPayAmtChange(const QString &text) { trade::EnablePayControls(this, text); }

bool TPurchaseNoteForm::OpenSourceNote()
{
    if (!cdsDetail->Active() || cdsDetail->IsEmpty()
        || DetailValue(QStringLiteral("REFERNOTECODE")).toString().trimmed().isEmpty())
        return false;
    QnParams params;
    params.AddValue(QStringLiteral("NOTEID"), asId(DetailValue(QStringLiteral("REFERNOTEID"))));
    params.AddValue(QStringLiteral("NOTETYPE"), DetailValue(QStringLiteral("REFERNOTETYPE"), 0).toInt());
    GlobalCall(QStringLiteral("LOCATENOTE"), QString(), &params);
    return true;
}

// ============================================================ checks

bool TPurchaseNoteForm::ValidateDetailLines()
{
    if (Rules.storeRequired && cdsDetail->Active()) {
        cdsDetail->CheckBrowseMode();
        // The grid does not follow the walk; it shows the line refused, if any.
        cdsDetail->DisableControls();
        const auto show = qScopeGuard([this] { cdsDetail->EnableControls(); });
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
            const qint64 goods = asId(DetailValue(Columns.CommodityID));
            if (goods > 0 && CommodityKind(goods) <= 3 && asId(DetailValue(Columns.BuildingID)) == 0) {
                ShowError(QStringLiteral("货品[") + DetailValue(Columns.CommodityName).toString()
                          + QStringLiteral("]的仓库不能为空！"));
                return false;
            }
        }
    }
    return TCommoditynoteForm::ValidateDetailLines();
}

bool TPurchaseNoteForm::OrderLinesOpen()
{
    if (!cdsDetail->Active())
        return true;
    cdsDetail->CheckBrowseMode();
    cdsDetail->DisableControls();
    const auto show = qScopeGuard([this] { cdsDetail->EnableControls(); });
    for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
        if (DetailValue(QStringLiteral("REFERNOTETYPE"), 0).toInt() != 2)
            continue;
        QVariant closed;
        if (GetValueOfSql(QStringLiteral("Select 1 From orderpthDetail Where Closed=1 AND NOTEID = ")
                              + QString::number(asId(DetailValue(QStringLiteral("REFERNOTEID"))))
                              + QStringLiteral(" AND ITEMSNO = ")
                              + QString::number(asId(DetailValue(QStringLiteral("REFERITEMSNO")))),
                          closed)) {
            ShowError(QStringLiteral("有采购订单记录已停止交易,不能审核收货！"));
            return false;
        }
    }
    return true;
}

bool TPurchaseNoteForm::CheckNote()
{
    if (Rules.closedOrderLines && !IsNoteModified() && !IsNewNote()) {
        try {
            if (!OrderLinesOpen())
                return false;
        } catch (const std::exception &e) {
            ShowError(e);
            return false;
        }
    }
    return TCommoditynoteForm::CheckNote();
}

bool TPurchaseNoteForm::CanUncheckNote()
{
    if (Rules.referredLinesBlockUncheck) {
        // As the books hold it now: later notes write these on the lines.
        const bool hasIoQty = cdsDetail->FindField(QStringLiteral("IOQTY")) != nullptr;
        QVariant referred;
        GetValueOfSql(QStringLiteral("select count(*) from ") + DetailTable() + QStringLiteral(" where ")
                          + m_asKeyField + QStringLiteral("=") + QString::number(CurrentNoteID())
                          + (hasIoQty ? QStringLiteral(" and (IOQTY<>0 or REFERQTY<>0)")
                                      : QStringLiteral(" and REFERQTY<>0")),
                      referred);
        if (referred.toLongLong() > 0) {
            ShowError(QStringLiteral("该单有记录已被引用,不能反审核!"));
            return false;
        }
    }
    return TCommoditynoteForm::CanUncheckNote();
}

// ============================================================ lines from a source

bool TPurchaseNoteForm::HasSourceLine(qint64 referNoteId, qint64 referItemsNo) const
{
    if (!cdsDetail->Active())
        return false;
    Field *id = cdsDetail->FindField(QStringLiteral("REFERNOTEID"));
    Field *item = cdsDetail->FindField(QStringLiteral("REFERITEMSNO"));
    if (!id || !item)
        return false;
    for (int row = 0; row < cdsDetail->RecordCount(); ++row)
        if (asId(cdsDetail->ValueAt(row, id->Index())) == referNoteId
            && asId(cdsDetail->ValueAt(row, item->Index())) == referItemsNo)
            return true;
    return false;
}

void TPurchaseNoteForm::AppendSourceLine(const SourceLine &s)
{
    using commodity::Col;
    auto put = [this](const QString &name, const QVariant &v, bool fire = false) {
        SetFieldValue(cdsDetail->FindField(name), v, fire);
    };
    const auto &a = Columns.Amounts;
    cdsDetail->CheckBrowseMode();
    cdsDetail->Append();
    put(Columns.CommodityID, s.commodityId, true);
    // The store before the batch: a store change lets a batch go.
    if (!s.storeId.isNull())
        put(Columns.BuildingID, s.storeId, true);
    put(a[size_t(Col::Disc)], s.disc.isNull() ? QVariant(100) : s.disc);
    put(a[size_t(Col::TaxRate)], s.taxRate.isNull() ? QVariant(0) : s.taxRate);
    // The line takes the stock direction of the note: a return's lines go out.
    const double quantity = FormatQuantity(std::fabs(s.quantity.toDouble()) * m_stockDirection);
    put(a[size_t(Col::Quantity)], quantity);
    // A typed price counts as before discount, so the source's price goes in
    // as the price before its discount.
    const double disc = s.disc.isNull() ? 100 : s.disc.toDouble();
    if (cdsDetail->FindField(a[size_t(Col::OrigPrice)])) {
        const double orig = !s.origPrice.isNull() ? s.origPrice.toDouble()
                            : disc != 0           ? s.price.toDouble() / (disc / 100)
                                                  : s.price.toDouble();
        put(a[size_t(Col::OrigPrice)], FormatPrice(orig), true);
    } else {
        put(a[size_t(Col::Price)], FormatPrice(s.price.toDouble()), true);
    }
    put(Columns.BCode, s.bcode);
    put(Columns.ProductDay, s.productDay);
    put(Columns.ValidDay, s.validDay);
    QVariant batch = s.batchFlowId;
    if (batch.isNull() && s.findBatch && s.referNoteId != 0)
        batch = trade::BatchFlowId(s.referNoteType, s.referNoteId, s.referItemsNo);
    put(Columns.BTurnNoteID, batch);
    if (!s.remark.isNull())
        put(QStringLiteral("REMARK"), s.remark);
    put(QStringLiteral("REFERNOTETYPE"), s.referNoteType);
    put(QStringLiteral("REFERNOTEID"), s.referNoteId);
    put(QStringLiteral("REFERITEMSNO"), s.referItemsNo);
    put(QStringLiteral("REFERNOTECODE"), s.referNoteCode);
    put(QStringLiteral("SPLITNOTETYPE"), s.splitNoteType);
    put(QStringLiteral("SPLITNOTEID"), s.splitNoteId);
    put(QStringLiteral("SPLITITEMSNO"), s.splitItemsNo);
    cdsDetail->Post();
}

// ============================================================ the receipt's and the sale's menus

void TPurchaseNoteForm::ToggleCloseFillOfShownNote(const trade::SideNames &names)
{
    if (MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() != 1)
        return;
    const int id = CurrentNoteID();
    // As the books hold it: the database recomputes it after every save.
    QVariant closeFill;
    GetValueOfSql(QStringLiteral("select CLOSEFILL from %1 where noteID=%2")
                      .arg(QLatin1String(names.masterTable)).arg(id),
                  closeFill);
    if (trade::ToggleCloseFill(names, id, closeFill.toInt()))
        LoadNote(id);
}

void TPurchaseNoteForm::MakeReturnOfShownNote(const trade::SideNames &names)
{
    const std::optional<trade::ReturnSource> source = trade::ReadReturnSource(names, CurrentNoteID());
    if (!source || !AppendBlankNote())
        return;
    SetFieldValue(MasterField(Columns.PartnerID), source->partnerId);
    SetFieldValue(MasterField(QStringLiteral("NOTEKIND")), trade::kReturnKind);
    SetFieldValueSilent(MasterField(QStringLiteral("NOTESTATE")), 0);
    SetFieldValueSilent(MasterField(QStringLiteral("UPFLAG")), 0);
    const DetailUpdate update(*this);
    for (const trade::ReturnLine &l : source->lines) {
        SourceLine s;
        s.referNoteType = names.noteType;
        s.referNoteId = source->noteId;
        s.referItemsNo = l.itemsNo;
        s.referNoteCode = source->noteCode;
        s.commodityId = l.commodityId;
        s.storeId = l.storeId;
        s.taxRate = l.taxRate;
        s.disc = l.disc;
        s.price = l.price;
        s.quantity = l.quantity;
        s.bcode = l.bcode;
        s.productDay = l.productDay;
        s.validDay = l.validDay;
        s.batchFlowId = l.batchFlowId;
        s.findBatch = false;
        AppendSourceLine(s);
    }
}
