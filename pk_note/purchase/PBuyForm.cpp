#include "PBuyForm.h"
#include "NoteReport.h"
#include "NoteMessages.h"
#include "Pk_note_itf.h"

#include "DataAccess.h"
#include "Lookup.h"
#include "Messages.h"
#include "Notepublic.h"
#include "Privileges.h"
#include "Registry.h"
#include "Rounding.h"
#include "SysParams.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBControls.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QScopeGuard>
#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

using basenote::Ctl;
using data::Field;

namespace {

const trade::SideNames &side = trade::kSupplierSide;

const basenote::Resource master{
    .formName = "PBuyForm",
    .caption = "采购开单",
    .noteType = 4,
    .masterSql = "select m.* from purchasepth m",
    .controls = {
        {"PARTNERID", "供应商", Ctl::Lookup, "cmbPartner", "dspartner", "IsVendor=1 and Closed=0 and partnerID>0", 2},
        {"NOTEKIND", "单据类型", Ctl::Lookup, "cmbnoteKind", "dsPurchaseKind"},
        {"NOTETYPE", "发票类型", Ctl::Lookup, "cmbNoteType", "dsNoteType"},
        {"NOTENO", "发票号", Ctl::Edit, "edNoteNo"},
        {"TRANSLATETYPE", "送货方式", Ctl::Lookup, "cmbTranslateType", "dsTranslateType"},
        {"NOTETO", "送货地址", Ctl::Edit, "edNoteTo", nullptr, nullptr, 2},
        {"DISC", "折扣", Ctl::Edit, "edDisc"},
        {"TERMDAYS", "付款期限", Ctl::Edit, "edTermDays"},
        {"PAYDAY", "付款日期", Ctl::Date, "edPayDay"},
        {"REFERAMT", "已结算金额", Ctl::Text, "txtReferAmt", nullptr, nullptr, 1, false, "#0.00"},
        {"PAYAMT", "本次现付", Ctl::Edit, "edPayAmt", nullptr, nullptr, 1, false, "#0.00", true},
        {"PAYTYPESID", "付款方式", Ctl::Lookup, "cmbPayType", "dsPayMethod", "Poupflag <>2 and Poupflag <> 3"},
        {"ACCOUNTID", "付款帐户", Ctl::Lookup, "cmbAccount", "dsAccount", "Closed = 0"},
        {"CHECKNO", "支票号", Ctl::Edit, "edCheckNo"},
    },
    .lookups = {QStringLiteral("qryPartner"), QStringLiteral("qryPayMethod"), QStringLiteral("qryAccount"),
                QStringLiteral("qryTranslateType"), QStringLiteral("qryNoteType"), QStringLiteral("qryPurchaseKind")},
    .columns = 4,
    .size = {1180, 700},
};

const mdnote::DetailResource lines{
    .detailSql =
        "select m.*, g.CODE as COMMODITYCODE, g.NAME as COMMODITYNAME, g.BARCODE, g.CUSTDEF1, g.CUSTDEF2, "
        "g.CUSTDEF3, g.CUSTDEF4, g.CUSTDEF5, g.SPEC, u.NAME as UNITNAME, u2.NAME as UNITSECNAME, "
        "u3.NAME as UNITNAMEPAK1, u4.NAME as UNITNAMEPAK2, g.TIMESEC, g.TIMEPAK1, g.TIMEPAK2, "
        "s.CODE as STORECODE, s.NAME as BUILDINGNAME, "
        "m.Price*isnull(g.TIMESEC,0) as PRICESEC, m.Price*isnull(g.TIMEPAK1,0) as PRICEPAK1, "
        "m.Price*isnull(g.TIMEPAK2,0) as PRICEPAK2, m.Price*isnull(g.TIMESEC,0)*m.Quantity as AMOUTSEC, "
        "m.Price*isnull(g.TIMEPAK1,0)*m.Quantity as AMOUTPAK1, m.Price*isnull(g.TIMEPAK2,0)*m.Quantity as AMOUTPAK2, "
        "Round(m.Price*(1+m.TaxRate/100.0),8) as TaxPrice, "
        "Round(m.Price/(m.Disc/100),8) as ORIGPRICE, "
        "Round((m.Price/(m.Disc/100))*(1-m.Disc/100)*m.Quantity,2) as DiscAmt, "
        "Round((m.Price/(m.Disc/100))*(1+m.TaxRate/100),8) as ORIGTAXPRICE, "
        "dbo.sevengetnotecode(m.refernotetype, m.refernoteid) as RefernoteCode "
        "from purchasepthDetail m left join Commoditylth g on g.Commodityid = m.Commodityid "
        "left join unitlth u on u.UNITSID = g.unitsid left join unitlth u2 on u2.UNITSID = g.unitsecid "
        "left join unitlth u3 on u3.UNITSID = g.unitsidpak1 left join unitlth u4 on u4.UNITSID = g.unitsidpak2 "
        "left join storelth s on s.BuildingID = m.BuildingID",
    .detailTable = "purchasepthDetail",
    .columns = {
        {"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"STORECODE"}, {"BUILDINGNAME"},
        {"QUANTITY"}, {"ORIGPRICE"}, {"DISC"}, {"PRICE"}, {"TAXRATE"}, {"TAXPRICE"},
        {"COMMODITYAMT", "货款"}, {"TAXAMT", "税款"}, {"AMOUNT"}, {"DISCAMT"},
        {.field = "IOQTY", .caption = "入库数量", .width = 80, .displayFormat = "#0.####", .readOnly = true},
        {"REFERQTY", "退货数量"}, {"BCODE"}, {"PRODUCTDAY"}, {"VALIDDAY"},
        {.field = "REFERNOTECODE", .caption = "源单号", .width = 120, .readOnly = true},
        {"REMARK"},
    },
};

// The kind list of the kind combo exists before the window binds to it.
const basenote::Resource &declaration()
{
    trade::RegisterKindLookups();
    return master;
}

pk_note::FormClassRegistrar reg("TPBuyForm", [](QWidget *owner) { return CreateNoteForm<TPBuyForm>(owner); });

qint64 asId(const QVariant &v) { return v.isNull() ? 0 : v.toLongLong(); }

const char *const kBatchDrawnQuestion =
    "估价入库的批次货品已经被出库类单据引用，\r\n 选择“是”整单冲回，选择“否”根据被引用的批次数量拆分冲回";

} // namespace

TPBuyForm::TPBuyForm(QWidget *owner) : TPurchaseNoteForm(declaration(), lines, owner)
{
    BusinessSide = side.side;
    Rules.kindDirection = true;
    Rules.kindResetsAmounts = true;
    Rules.invoiceCaption = true;
    Rules.wholeNoteDisc = true;
    Rules.supplierBalance = true;
    Rules.pickerBySequence = true;
    Rules.storeRequired = true;
    Rules.closedOrderLines = true;
    Rules.referredLinesBlockUncheck = true;

    BuildTradeParts(QStringLiteral("供应商欠款"));

    auto item = [this](const char *name, const QString &caption) {
        auto *a = new QAction(caption, noteMenu);
        a->setObjectName(QString::fromLatin1(name));
        noteMenu->addAction(a);
        return a;
    };
    noteMenu->addSeparator();
    muPToPay = item("muPToPay", QStringLiteral("生成付款单..."));
    muPToReturn = item("muPToReturn", QStringLiteral("生成退货单..."));
    mufill = item("mufill", QStringLiteral("终止开票..."));
    muPToReturn->setVisible(trade::SequenceOn(side));
    auto guarded = [this](void (TPBuyForm::*handler)()) {
        return [this, handler] {
            try {
                (this->*handler)();
            } catch (const std::exception &e) {
                ShowError(e);
            }
        };
    };
    connect(muPToPay, &QAction::triggered, this, guarded(&TPBuyForm::muPToPayClick));
    connect(muPToReturn, &QAction::triggered, this, guarded(&TPBuyForm::muPToReturnClick));
    connect(mufill, &QAction::triggered, this, guarded(&TPBuyForm::mufillClick));
}

void TPBuyForm::OpenOperatorLookup()
{
    TPurchaseNoteForm::OpenOperatorLookup();
    m_LookupNames << QStringLiteral("qryPartner") << QStringLiteral("qryPayMethod") << QStringLiteral("qryAccount")
                  << QStringLiteral("qryTranslateType") << QStringLiteral("qryNoteType");
}

// ============================================================ new notes and lines

void TPBuyForm::InitNewNote(data::ClientDataSet &dataSet)
{
    TPurchaseNoteForm::InitNewNote(dataSet);
    auto set = [&dataSet](const char *name, const QVariant &v) {
        SetFieldValueSilent(dataSet.FindField(QString::fromLatin1(name)), v);
    };
    set("PAYAMT", 0);
    set("DISC", 100);
    set("CLOSEFILL", 0);
    if (Field *date = dataSet.FindField(QStringLiteral("NOTEDATE")))
        set("PAYDAY", date->Value());
}

void TPBuyForm::DetailNewRecord(data::ClientDataSet &dataSet)
{
    TPurchaseNoteForm::DetailNewRecord(dataSet);
    if (MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() == trade::kReturnKind)
        SetFieldValueSilent(dataSet.FindField(Columns.Amounts[size_t(commodity::Col::Quantity)]), -1);
    Field *taxRate = dataSet.FindField(Columns.Amounts[size_t(commodity::Col::TaxRate)]);
    if (taxRate && MasterValue(QStringLiteral("NOTETYPE"), 0).toInt() == 3 && (taxRate->IsNull() || taxRate->AsFloat() == 0))
        SetFieldValueSilent(taxRate, LookupSysParam(QStringLiteral("TaxRate")).toDouble());
}

// ============================================================ saving

bool TPBuyForm::ValidateNote()
{
    const qint64 partner = asId(MasterValue(Columns.PartnerID));
    if (partner == 0) {
        ShowError(QString::fromUtf8(side.partnerMissing));
        return false;
    }
    if (!trade::CheckPayNow(side, *cdsMaster))
        return false;
    const double amount = MasterValue(QStringLiteral("AMOUNT"), 0).toDouble();
    const double payAmt = MasterValue(QStringLiteral("PAYAMT"), 0).toDouble();
    if (!trade::ConfirmCashPartner(SupplierIsCash(), amount, payAmt))
        return false;
    trade::ShowCreditInformation(side, partner, SupplierBalance(), amount, payAmt);
    return TPurchaseNoteForm::ValidateNote();
}

void TPBuyForm::AfterSaveNote()
{
    TPurchaseNoteForm::AfterSaveNote();
    try {
        // Recomputes the note's invoicing state (CLOSEFILL).
        SqlExecute(QStringLiteral("EXECUTE  FIRSTUPDATECERTAINFILL 4,") + QString::number(CurrentNoteID()));
    } catch (const std::exception &e) {
        ShowError(e);
    }
}

void TPBuyForm::AfterApplyNote(int action)
{
    TPurchaseNoteForm::AfterApplyNote(action);
    if (action != 1 || MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() != 3)
        return;
    // Inside the save's transaction: the settlement of the estimated
    // receipts stands or falls with the note.
    SqlExecute(QStringLiteral("exec PURCHASETOVALUE @VNOTEID=:VNOTEID, @VPARTNERID=:VPARTNERID, @VNOTEDATE=:VNOTEDATE"),
               {{QStringLiteral("VNOTEID"), m_iApplyNoteID},
                {QStringLiteral("VPARTNERID"), MasterValue(Columns.PartnerID)},
                {QStringLiteral("VNOTEDATE"), MasterValue(QStringLiteral("NOTEDATE"))}});
}

// ============================================================ audit, un-audit, void

bool TPBuyForm::WholeBatchesMatch()
{
    if (!cdsDetail->Active())
        return true;
    cdsDetail->CheckBrowseMode();
    cdsDetail->DisableControls();
    const auto show = qScopeGuard([this] { cdsDetail->EnableControls(); });
    for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
        if (DetailValue(QStringLiteral("REFERNOTETYPE"), 0).toInt() != 3
            || asId(DetailValue(QStringLiteral("SPLITNOTEID"))) != 0)
            continue;
        QVariant received, booked;
        GetValueOfSql(QStringLiteral("select Quantity from valuepthdetail where noteID=")
                          + QString::number(asId(DetailValue(QStringLiteral("REFERNOTEID"))))
                          + QStringLiteral(" and itemsno=")
                          + QString::number(asId(DetailValue(QStringLiteral("REFERITEMSNO")))),
                      received);
        GetValueOfSql(QStringLiteral("select Sum(Quantity) from noteflowaath where noteType=3 and Bturnnoteid=")
                          + QString::number(asId(DetailValue(Columns.BTurnNoteID))),
                      booked);
        if (FormatQuantity(std::fabs(received.toDouble())) != FormatQuantity(std::fabs(booked.toDouble()))) {
            ShowError(QStringLiteral("批次整批冲回时，冲回数量和原始数量不想等！"));
            return false;
        }
    }
    return true;
}

bool TPBuyForm::CanCheckNote()
{
    if (MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() == 3 && !WholeBatchesMatch())
        return false;
    return TPurchaseNoteForm::CanCheckNote();
}

bool TPBuyForm::CanUncheckNote()
{
    if (MasterValue(QStringLiteral("CLOSEFILL"), 0).toInt() == 1) {
        ShowError(QStringLiteral("已经终止开票不能反审核！"));
        return false;
    }
    return TPurchaseNoteForm::CanUncheckNote();
}

bool TPBuyForm::CanAbateNote()
{
    QVariant invoiced;
    if (GetValueOfSql(QStringLiteral("select * from fillathD where REFERNOTETYPE =4 and  REFERNOTEID =")
                          + QString::number(CurrentNoteID()),
                      invoiced)) {
        ShowError(QStringLiteral("此单已经开过票，不能作废！"));
        return false;
    }
    return TPurchaseNoteForm::CanAbateNote();
}

// ============================================================ display

void TPBuyForm::ShowNote()
{
    TPurchaseNoteForm::ShowNote();
    ShowTradeParts(mufill);
    UpdateControlStates(QString());
    if (auto *pay = findChild<QLineEdit *>(QStringLiteral("edPayAmt")))
        edPayAmtChange(pay->text());
}

void TPBuyForm::UpdateControlStates(const QString &fieldName)
{
    TPurchaseNoteForm::UpdateControlStates(fieldName);
    if (!fieldName.isEmpty() && fieldName.compare(QLatin1String("NOTESTATE"), Qt::CaseInsensitive) != 0)
        return;
    const bool audited = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() == 1;
    muPToPay->setEnabled(audited);
    mufill->setEnabled(audited);
    muPToReturn->setEnabled(audited && MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() != trade::kReturnKind);
}

QHash<QString, QVariant> TPBuyForm::ReportVariables()
{
    auto name = [this](int recordType, const char *field) {
        const QVariant key = MasterValue(QString::fromLatin1(field));
        return key.isNull() ? QVariant(QString()) : LookupData(recordType, key, QStringLiteral("NAME"), QString());
    };
    QVariant kind;
    GetValueOfSql(QStringLiteral("select NAME from kindamth where KIND = 2 and ID = ")
                      + QString::number(MasterValue(QStringLiteral("NOTEKIND"), 1).toInt()),
                  kind);
    return {{QStringLiteral("M.MnoteKind"), kind.toString()},
            {QStringLiteral("M.MNOTETYPE"), name(pub::RecordInvoiceType, "NOTETYPE")},
            {QStringLiteral("M.MTranslateType"), name(pub::RecordTranslateType, "TRANSLATETYPE")},
            {QStringLiteral("M.MPAYTYPESID"), name(pub::RecordPayMethod, "PAYTYPESID")},
            {QStringLiteral("M.MAccountId"), name(pub::RecordAccount, "ACCOUNTID")}};
}

void TPBuyForm::SetReportVariables(TCorvanReportStyle *report)
{
    TPurchaseNoteForm::SetReportVariables(report);
    report->SetVariables(ReportVariables());
}

// ============================================================ menus

void TPBuyForm::mufillClick()
{
    ToggleCloseFillOfShownNote(side);
}

void TPBuyForm::muPToPayClick()
{
    if (trade::PaymentAllowed(side, *cdsMaster))
        pk_note::OpenNoteFromSource(QStringLiteral("PayForm"), NoteType(), CurrentNoteID());
}

void TPBuyForm::muPToReturnClick()
{
    MakeReturnOfShownNote(side);
}

// ============================================================ lines from source notes

void TPBuyForm::appendEstimatedLine(SourceLine line, bool split)
{
    if (line.batchFlowId.isNull())
        line.batchFlowId = trade::BatchFlowId(3, line.referNoteId, line.referItemsNo);
    line.findBatch = false;
    if (!line.batchFlowId.isNull()) {
        AutoQuery splits = CreateAutoQuery(QStringLiteral("select * from PcSplit where noteState<>2 and Bturnnoteid=")
                                           + QString::number(asId(line.batchFlowId)));
        if (!splits->IsEmpty() && (split || ShowYesNoQuestion(QString::fromUtf8(kBatchDrawnQuestion)) != AnswerYes)) {
            for (splits->First(); !splits->Eof(); splits->Next()) {
                SourceLine part = line;
                part.quantity = splits->FieldByName(QStringLiteral("QUANTITY")).AsFloat();
                part.splitNoteType = splits->FieldByName(QStringLiteral("NOTETYPE")).Value();
                part.splitNoteId = splits->FieldByName(QStringLiteral("NOTEID")).Value();
                part.splitItemsNo = splits->FieldByName(QStringLiteral("ITEMSNO")).Value();
                part.remark = line.referNoteCode + QStringLiteral("单拆分出来。");
                AppendSourceLine(part);
            }
            return;
        }
    }
    AppendSourceLine(line);
}

void TPBuyForm::SelectSourceNote()
{
    if (!CanEditNote())
        return;
    const qint64 partner = asId(MasterValue(Columns.PartnerID));
    if (partner == 0) {
        ShowError(QString::fromUtf8(side.choosePartner));
        return;
    }
    const int kind = MasterValue(QStringLiteral("NOTEKIND"), 1).toInt();
    const int sourceType = trade::TurnInSourceType(side, kind);
    std::unique_ptr<QWidget> window(pk_note::CreateFormClass(QStringLiteral("TnoteSelectorForm"), this));
    auto *selector = dynamic_cast<pk_note::INoteSelector *>(window.get());
    if (!selector) {
        ShowInformation(QString::fromUtf8(pk_note::kNotYetAvailable));
        return;
    }
    if (!selector->SetDocument(this) || !selector->OpenSelection({sourceType, partner, 0}))
        return;
    if (ShowModal(window.get()) != 1)
        return;
    data::ClientDataSet *rows = selector->SelectedLines();
    auto v = [rows](const char *name) {
        Field *f = rows->FindField(QString::fromLatin1(name));
        return f ? f->Value() : QVariant();
    };
    {
        const DetailUpdate update(*this);
        for (rows->First(); !rows->Eof(); rows->Next()) {
            if (v("Selected").toInt() != 1)
                continue;
            const qint64 noteId = asId(v("noteid"));
            const qint64 itemsNo = asId(v("ITEMSNO"));
            if (HasSourceLine(noteId, itemsNo))
                continue;
            SourceLine s;
            s.referNoteType = v("notetype").toInt();
            s.referNoteId = noteId;
            s.referItemsNo = itemsNo;
            s.referNoteCode = v("noteCode").toString();
            s.commodityId = v("COMMODITYID");
            s.storeId = v("BUILDINGID");
            s.disc = v("DISC");
            s.taxRate = v("TaxRate");
            s.price = v("price");
            s.quantity = v("SumQty");
            s.bcode = v("bcode");
            s.productDay = v("productday");
            s.validDay = v("validday");
            if (s.referNoteType == 3)
                appendEstimatedLine(s, selector->SplitByBatch()); // "根据批次被引用数量自动拆分"
            else
                AppendSourceLine(s);
        }
    }
}

void TPBuyForm::readMasterFrom(const QString &table, qint64 noteId, bool payMethod)
{
    AutoQuery m = CreateAutoQuery(QStringLiteral("select * from ") + table + QStringLiteral(" where noteID=")
                                  + QString::number(noteId));
    if (m->IsEmpty())
        return;
    SetFieldValue(MasterField(Columns.PartnerID), m->FieldByName(QStringLiteral("PARTNERID")).Value());
    if (payMethod && m->HasField(QStringLiteral("PAYTYPESID")))
        SetFieldValue(MasterField(QStringLiteral("PAYTYPESID")), m->FieldByName(QStringLiteral("PAYTYPESID")).Value());
    SetFieldValueSilent(MasterField(QStringLiteral("REMARK")), m->FieldByName(QStringLiteral("REMARK")).Value());
}

bool TPBuyForm::LoadForSource(int sourceNoteType, qint64 sourceNoteId)
{
    if (sourceNoteType != 2 && sourceNoteType != 3)
        return false;
    const bool fromOrder = sourceNoteType == 2;
    const QString table = fromOrder ? QStringLiteral("orderpth") : QStringLiteral("valuepth");
    QVariant code;
    if (!GetValueOfSql(QStringLiteral("select NOTECODE from ") + table + QStringLiteral(" where noteID=")
                           + QString::number(sourceNoteId),
                       code))
        return false;
    // Lines not stopped and still open; an order's received quantity counts as taken.
    AutoQuery d = CreateAutoQuery(
        fromOrder ? QStringLiteral("select * from orderpthDetail where isnull(Closed,0)=0 and "
                                   "Quantity-ReferQty-isnull(BuyQty,0)>0.000001 and noteID=")
                        + QString::number(sourceNoteId) + QStringLiteral(" order by ITEMSNO")
                  : QStringLiteral("select * from valuepthDetail where abs(Quantity)-abs(ReferQty)>0.000001 and noteID=")
                        + QString::number(sourceNoteId) + QStringLiteral(" order by ITEMSNO"));
    if (d->IsEmpty()) {
        ShowError(QStringLiteral("此单没有可以生成的记录！"));
        return false;
    }
    if (!AppendBlankNote())
        return false;
    SetFieldValue(MasterField(QStringLiteral("NOTEKIND")), fromOrder ? 1 : 3);
    readMasterFrom(table, sourceNoteId, fromOrder);
    {
        const DetailUpdate update(*this);
        for (d->First(); !d->Eof(); d->Next()) {
            auto f = [&d](const char *name) { return d->FieldByName(QString::fromLatin1(name)).Value(); };
            SourceLine s;
            s.referNoteType = sourceNoteType;
            s.referNoteId = sourceNoteId;
            s.referItemsNo = d->FieldByName(QStringLiteral("ITEMSNO")).AsLargeInt();
            s.referNoteCode = code.toString();
            s.commodityId = f("COMMODITYID");
            s.storeId = f("BUILDINGID");
            s.disc = f("DISC");
            s.taxRate = f("TAXRATE");
            s.price = f("PRICE");
            const double open = fromOrder ? d->FieldByName(QStringLiteral("QUANTITY")).AsFloat()
                                                - d->FieldByName(QStringLiteral("REFERQTY")).AsFloat()
                                                - d->FieldByName(QStringLiteral("BUYQTY")).AsFloat()
                                          : std::fabs(d->FieldByName(QStringLiteral("QUANTITY")).AsFloat())
                                                - std::fabs(d->FieldByName(QStringLiteral("REFERQTY")).AsFloat());
            s.quantity = FormatQuantity(open);
            s.bcode = f("BCODE");
            s.productDay = f("PRODUCTDAY");
            s.validDay = f("VALIDDAY");
            if (fromOrder) {
                s.findBatch = false;
                AppendSourceLine(s);
            } else {
                appendEstimatedLine(s);
            }
        }
    }
    return true;
}
