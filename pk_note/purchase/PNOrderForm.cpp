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
    if (MasterValue(QStringLiteral("REVDATE")).isNull()) {
        ShowError(QStringLiteral("请选择到货时间！"));
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

// ============================================================ the purchase order

TPNOrderForm::TPNOrderForm(QWidget *owner)
    : TClosableNoteForm(master, lines, "isnull(REFERQTY,0)<>0 or isnull(BUYQTY,0)<>0", owner)
{
    cdsDetail->AddCalcField(QStringLiteral("LINEFINISHED"), data::FieldType::String, 8);
    muPurchase = new QAction(QStringLiteral("生成采购收货单..."), noteMenu);
    muPurchase->setObjectName(QStringLiteral("muPurchase"));
    noteMenu->addSeparator();
    noteMenu->addAction(muPurchase);
    connect(muPurchase, &QAction::triggered, this, &TPNOrderForm::muPurchaseClick);
}

void TPNOrderForm::DetailCalcFields(data::ClientDataSet &dataSet)
{
    TClosableNoteForm::DetailCalcFields(dataSet);
    // The books mark a line finished when nothing is left to receive.
    Field *finished = dataSet.FindField(QStringLiteral("FINISHED"));
    if (Field *mark = dataSet.FindField(QStringLiteral("LINEFINISHED")))
        mark->SetValue(finished && !finished->IsNull() && finished->AsInteger() == 1 ? QStringLiteral("完成") : QString());
}

void TPNOrderForm::ShowNote()
{
    TClosableNoteForm::ShowNote();
    muPurchase->setEnabled(MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() == 1);
}

void TPNOrderForm::muPurchaseClick()
{
    if (MasterValue(QStringLiteral("SHOPERATEID"), 0).toInt() != 0) {
        ShowWarning(QStringLiteral("分支的单据不能做此业务。"));
        return;
    }
    if (MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() != 1 || IsNewNote())
        return;
    const QString id = QString::number(CurrentNoteID());
    QVariant open;
    // Complete: no line that is not stopped has anything left to receive.
    const bool complete = !GetValueOfSql(QStringLiteral("select 1 from orderpthDetail where isnull(Closed,0)=0 and "
                                                        "isnull(Finished,0)=0 and Quantity-isnull(ReferQty,0)-isnull(BuyQty,0)>0.000001 "
                                                        "and NOTEID=")
                                             + id,
                                         open);
    if (MasterValue(QStringLiteral("CLOSED"), 0).toInt() == 1 || complete) {
        ShowWarning(QStringLiteral("已经完成或者整单中止不能再生成采购单"));
        return;
    }
    pk_note::OpenNoteFromSource(QStringLiteral("PBuyForm"), 2, CurrentNoteID());
}

QString TPNOrderForm::PlanLinesLeftSql(qint64 planId)
{
    return QStringLiteral("select p.* from purchasepthplandetail p left join Commoditylth g on "
                          "p.Commodityid=g.Commodityid left join partnerlth t on g.partnerid=t.partnerid  where p.noteid=")
           + QString::number(planId) + QStringLiteral(" and (g.partnerid is null or t.isclient=1)");
}

bool TPNOrderForm::LoadForSource(int sourceNoteType, qint64 sourceNoteId)
{
    if (sourceNoteType != 1)
        return false;
    AutoQuery q = CreateAutoQuery(PlanLinesLeftSql(sourceNoteId));
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
        line.referNoteType = 1;
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
        ShowError(QStringLiteral("请选择供应商！"));
        return;
    }
    std::unique_ptr<QWidget> window(pk_note::CreateFormClass(QStringLiteral("TnoteSelectorForm"), this));
    auto *selector = dynamic_cast<pk_note::INoteSelector *>(window.get());
    if (!selector || !selector->SetDocument(this) || !selector->OpenSelection({5, asId(partner), 0}))
        return;
    if (ShowModal(window.get()) != 1)
        return;
    AppendSelectedLines(*this, selector->SelectedLines());
}
