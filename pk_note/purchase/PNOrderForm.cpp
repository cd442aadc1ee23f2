#include "PNOrderForm.h"
#include "NoteReport.h"
#include "NoteMessages.h"

#include "Notepublic.h"
#include "Pk_note_itf.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>

#include <memory>

using basenote::Ctl;
using data::Field;

namespace {

const basenote::Resource master{
    .formName = "PNOrderForm",
    .caption = "采购订单",
    .noteType = 2,
    .masterSql = "select m.* from orderpth m",
    .controls = {
        {"PARTNERID", "供应商", Ctl::Lookup, "cmbPartner", "dspartner", "IsVendor=1 and Closed=0 and partnerID>0"},
        {"CONTRACTNO", "合同号", Ctl::Edit, "edContractNo"},
        {"REVDATE", "到货时间", Ctl::Date, "edRevDate"},
        {"CONTACTOR", "联系人", Ctl::Edit, "edContactor"},
        {"CONTACTPHONE", "联系电话", Ctl::Edit, "edContactPhone"},
        {"TEL1", "电话", Ctl::Edit, "edTel1"},
        {"NOTETO", "到货地点", Ctl::Edit, "edNoteTo", nullptr, nullptr, 2},
        {"CLOSED", "整单中止", Ctl::Check, "cbClosed"},
    },
    .lookups = {QStringLiteral("qryPartner")},
    .size = {1100, 640},
    .tableName = "orderpth",
};

const mdnote::DetailResource lines{
    .detailSql = PURCHASE_FAMILY_LINE_SQL("orderpthDetail"),
    .detailTable = "orderpthDetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"STORECODE"}, {"BUILDINGNAME"},
                {"QUANTITY"}, {"ORIGPRICE"}, {"DISC"}, {"PRICE"}, {"TAXRATE"}, {"TAXPRICE"}, {"COMMODITYAMT"},
                {"TAXAMT"}, {"AMOUNT"},
                {.field = "BUYQTY", .caption = "已收货数量", .width = 80, .displayFormat = "#0.####", .readOnly = true},
                {"REFERQTY"},
                {.field = "LINECLOSED", .caption = "中止", .width = 44, .readOnly = true},
                {.field = "LINEFINISHED", .caption = "完成", .width = 44, .readOnly = true},
                {"REMARK"}},
};

pk_note::FormClassRegistrar reg("TPNOrderForm", [](QWidget *owner) { return CreateNoteForm<TPNOrderForm>(owner); });

qint64 asId(const QVariant &v) { return v.isNull() ? 0 : v.toLongLong(); }

bool isEditing(data::ClientDataSet *ds)
{
    return ds->State() == data::DataSetState::Edit || ds->State() == data::DataSetState::Insert;
}

} // namespace

const OrderSide kPurchaseOrder{
    .trade = trade::kSupplierSide,
    .master = master,
    .lines = lines,
    .referredLines = "isnull(REFERQTY,0)<>0 or isnull(BUYQTY,0)<>0",
    .dateMissing = "请选择到货时间！",
    .deliveredColumn = "BUYQTY",
    .finishedColumn = "FINISHED",
    .makeAction = "muPurchase",
    .makeCaption = "生成采购收货单...",
    .makeForm = "PBuyForm",
    .makeRefused = "已经完成或者整单中止不能再生成采购单",
    .planType = 1,
    .planLines = "purchasepthplandetail",
    .planOtherSide = "isclient",
    .turnInType = 5,
    .priceClass = 1,
};

void AppendSelectedLines(TPurchaseNoteForm &form, data::ClientDataSet *chosen)
{
    auto value = [chosen](int row, const char *name) {
        const Field *f = chosen->FindField(QString::fromLatin1(name));
        return f ? chosen->ValueAt(row, f->Index()) : QVariant();
    };
    for (int row = 0; row < chosen->RecordCount(); ++row) {
        if (value(row, "SELECTED").toInt() != 1)
            continue;
        TPurchaseNoteForm::SourceLine line;
        line.referNoteType = value(row, "NOTETYPE").toInt();
        line.referNoteId = value(row, "NOTEID").toLongLong();
        line.referItemsNo = value(row, "ITEMSNO").toLongLong();
        // A line already taken into this note is not taken twice.
        if (form.HasSourceLine(line.referNoteId, line.referItemsNo))
            continue;
        line.referNoteCode = value(row, "NOTECODE").toString();
        line.commodityId = value(row, "COMMODITYID");
        line.storeId = value(row, "BUILDINGID");
        line.price = value(row, "PRICE");
        line.disc = value(row, "DISC");
        line.taxRate = value(row, "TAXRATE");
        line.quantity = value(row, "SUMQTY").isNull() ? value(row, "QUANTITY") : value(row, "SUMQTY");
        line.bcode = value(row, "BCODE");
        line.productDay = value(row, "PRODUCTDAY");
        line.validDay = value(row, "VALIDDAY");
        line.batchFlowId = value(row, "BTURNNOTEID");
        form.AppendSourceLine(line);
        // Sales sources bring the cost price the goods left at.
        if (const QVariant cost = value(row, "APRICE"); !cost.isNull())
            if (Field *f = form.DetailDataSet()->FindField(QStringLiteral("APRICE"))) {
                form.DetailDataSet()->Edit();
                SetFieldValueSilent(f, cost);
                form.DetailDataSet()->Post();
            }
    }
}

// ============================================================ stoppable notes

TClosableNoteForm::TClosableNoteForm(const basenote::Resource &resource, const mdnote::DetailResource &detail,
                                     const char *referredLines, QWidget *owner)
    : TPurchaseNoteForm(resource, detail, owner), m_referredLines(QString::fromLatin1(referredLines))
{
    cdsDetail->AddCalcField(QStringLiteral("LINECLOSED"), data::FieldType::String, 8);
    cbClosed = &RequireChild<widgets::TRqDBCheckBox>(QStringLiteral("cbClosed"));
    connect(cbClosed, &QCheckBox::clicked, this, &TClosableNoteForm::cbClosedClick);
    muClosed = new QAction(QStringLiteral("整单中止"), noteMenu);
    muClosed->setObjectName(QStringLiteral("muClosed"));
    muClosed->setCheckable(true);
    noteMenu->addSeparator();
    noteMenu->addAction(muClosed);
    connect(muClosed, &QAction::triggered, this,
            [this] { SetAllLinesClosed(MasterValue(QStringLiteral("CLOSED"), 0).toInt() != 1); });
    connect(ItemGrid, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        if (index.column() == ItemGrid->ColumnOfField(QStringLiteral("LINECLOSED")))
            ToggleLineClosed();
    });
    ItemGrid->installEventFilter(this);
}

bool TClosableNoteForm::closedColumnIsCurrent() const
{
    return ItemGrid->currentIndex().isValid()
           && ItemGrid->currentIndex().column() == ItemGrid->ColumnOfField(QStringLiteral("LINECLOSED"));
}

bool TClosableNoteForm::eventFilter(QObject *watched, QEvent *e)
{
    // Space on the stop column flips it, as a click does.
    if (watched == ItemGrid && e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == Qt::Key_Space
        && closedColumnIsCurrent()) {
        ToggleLineClosed();
        return true;
    }
    return TPurchaseNoteForm::eventFilter(watched, e);
}

void TClosableNoteForm::DetailCalcFields(data::ClientDataSet &dataSet)
{
    TPurchaseNoteForm::DetailCalcFields(dataSet);
    Field *closed = dataSet.FindField(QStringLiteral("CLOSED"));
    if (Field *mark = dataSet.FindField(QStringLiteral("LINECLOSED")))
        mark->SetValue(closed && !closed->IsNull() && closed->AsInteger() == 1 ? QStringLiteral("中止") : QString());
}

bool TClosableNoteForm::ValidateNote()
{
    if (!DateMissing.isEmpty() && MasterValue(QStringLiteral("REVDATE")).isNull()) {
        ShowError(DateMissing);
        if (QWidget *w = findChild<QWidget *>(QStringLiteral("edRevDate")))
            w->setFocus();
        return false;
    }
    return TPurchaseNoteForm::ValidateNote();
}

bool TClosableNoteForm::CanUncheckNote()
{
    const QString id = QString::number(CurrentNoteID());
    QVariant found;
    if (MasterValue(QStringLiteral("CLOSED"), 0).toInt() == 1
        || GetValueOfSql(QStringLiteral("select 1 from ") + DetailTable() + QStringLiteral(" where Closed=1 and NOTEID=")
                             + id,
                         found)) {
        ShowError(QStringLiteral("有中止的单据不能反审核！"));
        return false;
    }
    if (MasterValue(QStringLiteral("REFERCOUNT"), 0).toInt() > 0
        || GetValueOfSql(QStringLiteral("select 1 from ") + DetailTable() + QStringLiteral(" where (") + m_referredLines
                             + QStringLiteral(") and NOTEID=") + id,
                         found)) {
        ShowError(QStringLiteral("单据已被引用过,不能反审核！"));
        return false;
    }
    return TPurchaseNoteForm::CanUncheckNote();
}

void TClosableNoteForm::ShowNote()
{
    TPurchaseNoteForm::ShowNote();
    // Only an entered or audited note can be stopped.
    const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
    cbClosed->setEnabled(state == 1 || (state == 0 && !ReadOnly()));
    muClosed->setEnabled(cbClosed->isEnabled());
    muClosed->setChecked(MasterValue(QStringLiteral("CLOSED"), 0).toInt() == 1);
}

void TClosableNoteForm::cbClosedClick()
{
    // An audited note's box is read-only and keeps its tick: the click asks
    // for the other state, written to the books at once.
    if (MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() == 1)
        SetAllLinesClosed(MasterValue(QStringLiteral("CLOSED"), 0).toInt() != 1);
    else
        SetAllLinesClosed(cbClosed->isChecked());
}

void TClosableNoteForm::writeAuditedMarks(const QString &lineWhere, bool closed, bool wholeNote)
{
    const QString id = QString::number(CurrentNoteID());
    const QString flag = closed ? QStringLiteral("1") : QStringLiteral("0");
    // The box wrote into the shown note: the database takes the marks, the
    // reload shows them.
    for (data::ClientDataSet *ds : {cdsMaster, cdsDetail}) {
        if (isEditing(ds))
            ds->Cancel();
        ds->CancelUpdates();
    }
    // Stopping trade changes the note: the edit right is needed.
    if (!HasPrivilege(2, true)) {
        ReloadNote();
        return;
    }
    try {
        TransactionGuard transaction;
        // Against the note as shown: another client's change is not overwritten.
        QString head = QStringLiteral("Update ") + TableName() + QStringLiteral(" Set UPDATETIME=:now");
        if (wholeNote)
            head += QStringLiteral(", CLOSED=") + flag;
        db::Params params{{QStringLiteral("now"), GetSystemTime()}};
        QString where = QStringLiteral(" where NOTESTATE=1 and NOTEID=") + id;
        const QVariant shown = MasterValue(QStringLiteral("UPDATETIME"));
        if (shown.isNull()) {
            where += QStringLiteral(" and UPDATETIME is null");
        } else {
            where += QStringLiteral(" and UPDATETIME=:old");
            params.insert(QStringLiteral("old"), shown);
        }
        SqlExecuteGuarded(head + where, params);
        SqlExecute(QStringLiteral("Update ") + DetailTable() + QStringLiteral(" Set CLOSED=") + flag
                   + QStringLiteral(" where NOTEID=") + id + lineWhere);
        transaction.Commit();
    } catch (const std::exception &e) {
        ShowError(e);
    }
    ReloadNote();
}

void TClosableNoteForm::SetAllLinesClosed(bool closed)
{
    const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
    if (state == 1) {
        writeAuditedMarks(QString(), closed, true);
        return;
    }
    if (state != 0 || ReadOnly()) {
        ShowNote();
        return;
    }
    if (MasterValue(QStringLiteral("CLOSED"), 0).toInt() != int(closed)) {
        if (!isEditing(cdsMaster))
            cdsMaster->Edit();
        SetFieldValue(MasterField(QStringLiteral("CLOSED")), closed ? 1 : 0);
    }
    if (!cdsDetail->Active() || cdsDetail->IsEmpty())
        return;
    cdsDetail->CheckBrowseMode();
    {
        const DetailUpdate update(*this);
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
            cdsDetail->Edit();
            SetFieldValueSilent(DetailField(QStringLiteral("CLOSED")), closed ? 1 : 0);
            cdsDetail->Post();
        }
    }
    m_bDetailChanged = true;
}

void TClosableNoteForm::ToggleLineClosed()
{
    if (!cdsDetail->Active() || cdsDetail->IsEmpty())
        return;
    const bool closed = DetailValue(QStringLiteral("CLOSED"), 0).toInt() != 1;
    const int state = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt();
    if (state == 1) {
        const QVariant item = DetailValue(QStringLiteral("ITEMSNO"));
        writeAuditedMarks(QStringLiteral(" and ITEMSNO=") + QString::number(item.toLongLong()), closed, false);
        cdsDetail->Locate(QStringLiteral("ITEMSNO"), item);
        return;
    }
    if (state != 0 || ReadOnly())
        return;
    if (!isEditing(cdsDetail))
        cdsDetail->Edit();
    SetFieldValueSilent(DetailField(QStringLiteral("CLOSED")), closed ? 1 : 0);
    cdsDetail->Post();
}

QHash<QString, QVariant> TClosableNoteForm::ClosedReportVariables() const
{
    return {{QStringLiteral("M.MClosed"), MasterValue(QStringLiteral("CLOSED"), 0).toInt() == 1
                                              ? QStringLiteral("已中止")
                                              : QStringLiteral("未中止")}};
}

void TClosableNoteForm::SetReportVariables(TCorvanReportStyle *report)
{
    TPurchaseNoteForm::SetReportVariables(report);
    report->SetVariables(ClosedReportVariables());
}

// ============================================================ the order of either side

TPNOrderForm::TPNOrderForm(QWidget *owner) : TPNOrderForm(kPurchaseOrder, owner) {}

TPNOrderForm::TPNOrderForm(const OrderSide &side, QWidget *owner)
    : TClosableNoteForm(side.master, side.lines, side.referredLines, owner), m_side(side)
{
    PriceClass = side.priceClass;
    BusinessSide = side.trade.side;
    DateMissing = QString::fromUtf8(side.dateMissing);
    // The commodity list follows the side's sequence parameter (in ShowNote).
    Rules.pickerBySequence = false;
    cdsDetail->AddCalcField(QStringLiteral("LINEFINISHED"), data::FieldType::String, 8);
    muMake = new QAction(QString::fromUtf8(side.makeCaption), noteMenu);
    muMake->setObjectName(QString::fromLatin1(side.makeAction));
    noteMenu->addSeparator();
    noteMenu->addAction(muMake);
    connect(muMake, &QAction::triggered, this, &TPNOrderForm::MakeNextNote);
}

void TPNOrderForm::DetailCalcFields(data::ClientDataSet &dataSet)
{
    TClosableNoteForm::DetailCalcFields(dataSet);
    Field *mark = dataSet.FindField(QStringLiteral("LINEFINISHED"));
    if (!mark)
        return;
    bool finished = false;
    if (m_side.finishedColumn) {
        // The books mark a line finished when nothing is left to receive.
        Field *f = dataSet.FindField(QString::fromLatin1(m_side.finishedColumn));
        finished = f && !f->IsNull() && f->AsInteger() == 1;
    } else {
        // Finished when deliveries and later notes took the whole quantity.
        auto value = [&dataSet](const QString &name) {
            Field *f = dataSet.FindField(name);
            return f && !f->IsNull() ? f->AsFloat() : 0.0;
        };
        const double quantity = value(QStringLiteral("QUANTITY"));
        finished = quantity > 0
                   && quantity - value(QStringLiteral("REFERQTY")) - value(QString::fromLatin1(m_side.deliveredColumn))
                          <= 0.000001;
    }
    mark->SetValue(finished ? QStringLiteral("完成") : QString());
}

void TPNOrderForm::ShowNote()
{
    TClosableNoteForm::ShowNote();
    if (cmbCommodity)
        cmbCommodity->SetListFilter(trade::CommodityFilter(m_side.trade));
    muMake->setEnabled(MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() == 1);
}

bool TPNOrderForm::IsComplete()
{
    QVariant open;
    const QString finished = m_side.finishedColumn
                                 ? QStringLiteral("isnull(") + QString::fromLatin1(m_side.finishedColumn)
                                       + QStringLiteral(",0)=0 and ")
                                 : QString();
    return !GetValueOfSql(QStringLiteral("select 1 from ") + DetailTable() + QStringLiteral(" where isnull(Closed,0)=0 and ")
                              + finished + QStringLiteral("Quantity-isnull(ReferQty,0)-isnull(")
                              + QString::fromLatin1(m_side.deliveredColumn) + QStringLiteral(",0)>0.000001 and NOTEID=")
                              + QString::number(CurrentNoteID()),
                          open);
}

void TPNOrderForm::MakeNextNote()
{
    if (MasterValue(QStringLiteral("SHOPERATEID"), 0).toInt() != 0) {
        ShowWarning(QStringLiteral("分支的单据不能做此业务。"));
        return;
    }
    if (MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() != 1 || IsNewNote())
        return;
    if (MasterValue(QStringLiteral("CLOSED"), 0).toInt() == 1 || IsComplete()) {
        ShowWarning(QString::fromUtf8(m_side.makeRefused));
        return;
    }
    pk_note::OpenNoteFromSource(QString::fromLatin1(m_side.makeForm), NoteType(), CurrentNoteID());
}

QString TPNOrderForm::PlanLinesLeftSql(qint64 planId, const OrderSide &side)
{
    return QStringLiteral("select p.* from ") + QString::fromLatin1(side.planLines)
           + QStringLiteral(" p left join Commoditylth g on p.Commodityid=g.Commodityid left join partnerlth t on "
                            "g.partnerid=t.partnerid  where p.noteid=")
           + QString::number(planId) + QStringLiteral(" and (g.partnerid is null or t.") + QString::fromLatin1(side.planOtherSide)
           + QStringLiteral("=1)");
}

bool TPNOrderForm::loadFromSalesOrder(qint64 orderId)
{
    // What a sales order still has to deliver is bought in: the lines carry
    // no reference, since a purchase takes nothing from the sales order.
    AutoQuery head = CreateAutoQuery(QStringLiteral("select NOTECODE from ordersth where noteID=") + QString::number(orderId));
    AutoQuery q = CreateAutoQuery(QStringLiteral("select COMMODITYID, Quantity-isnull(ReferQty,0)-isnull(SaleQty,0) as OPENQTY "
                                                 "from ordersthDetail where isnull(Closed,0)=0 and "
                                                 "Quantity-isnull(ReferQty,0)-isnull(SaleQty,0)>0.000001 and noteID=")
                                  + QString::number(orderId) + QStringLiteral(" order by ITEMSNO"));
    if (head->IsEmpty() || q->IsEmpty() || !NewNote())
        return false;
    if (cdsMaster->State() == data::DataSetState::Browse)
        cdsMaster->Edit();
    SetFieldValue(MasterField(QStringLiteral("REMARK")),
                  QStringLiteral("由销售订单[") + head->FieldByName(QStringLiteral("NOTECODE")).AsString() + u']');
    const DetailUpdate update(*this);
    for (q->First(); !q->Eof(); q->Next()) {
        cdsDetail->CheckBrowseMode();
        cdsDetail->Append();
        // The commodity brings its purchase price and store.
        SetFieldValue(cdsDetail->FindField(Columns.CommodityID), q->FieldByName(QStringLiteral("COMMODITYID")).Value());
        SetFieldValue(cdsDetail->FindField(Columns.Amounts[size_t(commodity::Col::Quantity)]),
                      FormatQuantity(q->FieldByName(QStringLiteral("OPENQTY")).AsFloat()));
        cdsDetail->Post();
    }
    return true;
}

bool TPNOrderForm::LoadForSource(int sourceNoteType, qint64 sourceNoteId)
{
    if (sourceNoteType == 12 && m_side.planType == 1)
        return loadFromSalesOrder(sourceNoteId);
    if (sourceNoteType != m_side.planType)
        return false;
    AutoQuery q = CreateAutoQuery(PlanLinesLeftSql(sourceNoteId, m_side));
    if (q->IsEmpty())
        return false;
    if (!NewNote())
        return false;
    for (q->First(); !q->Eof(); q->Next()) {
        auto f = [&q](const char *name) { return q->FieldByName(QString::fromLatin1(name)); };
        const double left = f("QUANTITY").AsFloat() - f("REFERQTY").AsFloat();
        if (left <= 0.000001)
            continue;
        SourceLine line;
        line.referNoteType = sourceNoteType;
        line.referNoteId = sourceNoteId;
        line.referItemsNo = f("ITEMSNO").AsLargeInt();
        line.commodityId = f("COMMODITYID").Value();
        line.storeId = f("BUILDINGID").Value();
        line.price = f("PRICE").Value();
        line.disc = f("DISC").Value();
        line.taxRate = f("TAXRATE").Value();
        line.quantity = left;
        line.remark = f("REMARK").Value();
        line.findBatch = false; // a plan line draws on no batch
        AppendSourceLine(line);
    }
    return true;
}

void TPNOrderForm::SelectSourceNote()
{
    if (ReadOnly())
        return;
    const QVariant partner = MasterValue(QStringLiteral("PARTNERID"));
    if (asId(partner) == 0) {
        ShowError(QString::fromUtf8(m_side.trade.choosePartner));
        return;
    }
    std::unique_ptr<QWidget> window(pk_note::CreateFormClass(QStringLiteral("TnoteSelectorForm"), this));
    auto *selector = dynamic_cast<pk_note::INoteSelector *>(window.get());
    if (!selector || !selector->SetDocument(this) || !selector->OpenSelection({m_side.turnInType, asId(partner), 0}))
        return;
    if (ShowModal(window.get()) != 1)
        return;
    AppendSelectedLines(*this, selector->SelectedLines());
}
