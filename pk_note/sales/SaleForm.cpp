#include "SaleForm.h"
#include "SNOrderForm.h"
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

#include <QAction>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScopeGuard>

#include <cmath>
#include <memory>

using basenote::Ctl;
using data::Field;

namespace {

const trade::SideNames &side = trade::kCustomerSide;

const basenote::Resource master{
    .formName = "SaleForm",
    .caption = "销售开单",
    .noteType = 14,
    .masterSql = "select M.* from salesth M",
    .controls = {
        {"PARTNERID", "客    户", Ctl::Lookup, "cmbPartner", "dspartner", "IsClient=1 and Closed=0 and partnerID>0", 2},
        {"NOTEKIND", "单据类型", Ctl::Lookup, "cmbnoteKind", "dsSaleKind"},
        {"NOTETYPE", "发票类型", Ctl::Lookup, "cmbNoteType", "dsNoteType"},
        {"NOTENO", "发票号", Ctl::Edit, "edNoteNo"},
        {"ISFILL", "开票", Ctl::Check, "chkIsFill"},
        {"CONTRACTNO", "客户订单号", Ctl::Edit, "edContractNo"},
        {"TRANSLATETYPE", "送货方式", Ctl::Lookup, "cmbTranslateType", "dsTranslateType"},
        {"DRIVERID", "送货员", Ctl::Lookup, "cmbDriver", "dsEmploy", "CLOSED=0 "},
        {"NOTETO", "送货地址", Ctl::Edit, "edNoteTo", nullptr, nullptr, 2},
        {"ONLOADAMOUNT", "运输费用", Ctl::Edit, "edOnLoadAmount", nullptr, nullptr, 1, false, "#0.00"},
        {"DISC", "折扣", Ctl::Edit, "edDisc"},
        {"TERMDAYS", "收款期限", Ctl::Edit, "edTermDays"},
        {"PAYDAY", "收款日期", Ctl::Date, "edPayDay"},
        {"REFERAMT", "已结算金额", Ctl::Text, "txtReferAmt", nullptr, nullptr, 1, false, "#0.00"},
        {"PAYAMT", "现收金额", Ctl::Edit, "edPayAmt", nullptr, nullptr, 1, false, "#0.00", true},
        {"PAYTYPESID", "结算方式", Ctl::Lookup, "cmbPayType", "dsPayMethod", "Poupflag <>2 and Poupflag <> 3"},
        {"ACCOUNTID", "结算帐户", Ctl::Lookup, "cmbAccount", "dsAccount", "Closed = 0"},
        {"CHECKNO", "支票号", Ctl::Edit, "edCheckNo"},
    },
    .lookups = {QStringLiteral("qryPartner"), QStringLiteral("qryPayMethod"), QStringLiteral("qryAccount"),
                QStringLiteral("qryTranslateType"), QStringLiteral("qryNoteType"), QStringLiteral("qrySaleKind")},
    .columns = 4,
    .size = {1180, 700},
};

const mdnote::DetailResource lines{
    .detailSql =
        "select m.*, g.CODE as COMMODITYCODE, g.NAME as COMMODITYNAME, g.SHORTNAME, g.BARCODE, g.CUSTDEF1, g.CUSTDEF2, "
        "g.CUSTDEF3, g.CUSTDEF4, g.CUSTDEF5, g.SPEC, u.NAME as UNITNAME, u2.NAME as UNITSECNAME, "
        "u3.NAME as UNITNAMEPAK1, u4.NAME as UNITNAMEPAK2, g.TIMESEC, g.TIMEPAK1, g.TIMEPAK2, "
        "s.CODE as STORECODE, s.NAME as BUILDINGNAME, "
        "m.Price*isnull(g.TIMESEC,0) as PRICESEC, m.Price*isnull(g.TIMEPAK1,0) as PRICEPAK1, "
        "m.Price*isnull(g.TIMEPAK2,0) as PRICEPAK2, m.Price*isnull(g.TIMESEC,0)*m.Quantity as AMOUTSEC, "
        "m.Price*isnull(g.TIMEPAK1,0)*m.Quantity as AMOUTPAK1, m.Price*isnull(g.TIMEPAK2,0)*m.Quantity as AMOUTPAK2, "
        "Round(m.Price*(1+m.TaxRate/100.0),8) as TaxPrice, "
        "Round(m.Price/m.DISC*100,8) as ORIGPRICE, "
        "Round((m.Price/m.Disc*100)*(1-m.Disc/100)*m.Quantity,2) as DiscAmt, "
        "Round(m.price/m.disc*100*(1+m.TaxRate/100),8) as ORIGTAXPRICE, "
        "dbo.sevengetnotecode(m.refernotetype, m.refernoteid) as RefernoteCode, pk.NAME as PackName "
        "from salesthDetail m left join Commoditylth g on g.Commodityid = m.Commodityid "
        "left join packlist pk on pk.ID = m.Pack "
        "left join unitlth u on u.UNITSID = g.unitsid left join unitlth u2 on u2.UNITSID = g.unitsecid "
        "left join unitlth u3 on u3.UNITSID = g.unitsidpak1 left join unitlth u4 on u4.UNITSID = g.unitsidpak2 "
        "left join storelth s on s.BuildingID = m.BuildingID",
    .detailTable = "salesthDetail",
    .columns = {
        {"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"STORECODE"}, {"BUILDINGNAME"},
        {"QUANTITY"}, {"ORIGPRICE"}, {"DISC"}, {"PRICE"}, {"TAXRATE"}, {"TAXPRICE"},
        {"COMMODITYAMT", "货款"}, {"TAXAMT", "税款"}, {"AMOUNT"}, {"DISCAMT"},
        {.field = "IOQTY", .caption = "出库数量", .width = 80, .displayFormat = "#0.####", .readOnly = true},
        {"REFERQTY", "退货数量"}, {.field = "PACKNAME", .caption = "包装格式", .width = 90},
        {.field = "PACKQTY", .caption = "包装物数量", .width = 80, .displayFormat = "#0.####", .readOnly = true},
        {"TAXAMOUNT"},
        {"BCODE"}, {"PRODUCTDAY"}, {"VALIDDAY"},
        {.field = "REFERNOTECODE", .caption = "源单号", .width = 120, .readOnly = true},
        {"REMARK"},
    },
};

// The packaging formats a line may be packed in (units per package, charge per unit).
constexpr int kPackLookup = 1401;
const char *const kPackSource = "dsPack";

void registerPackLookup()
{
    for (const pub::LookupDefinition &d : pub::lookupDefinitions())
        if (d.recordType == kPackLookup)
            return;
    pub::registerLookup({kPackLookup, QStringLiteral("Pack"),
                         QStringLiteral("select ID, NAME, PACKVALUE, DISAMOUNT from packlist"), QStringLiteral("ID")});
}

const basenote::Resource &declaration()
{
    trade::RegisterKindLookups();
    registerPackLookup();
    return master;
}

pk_note::FormClassRegistrar reg("TSaleForm", [](QWidget *owner) { return CreateNoteForm<TSaleForm>(owner); });

qint64 asId(const QVariant &v) { return v.isNull() ? 0 : v.toLongLong(); }

} // namespace

TSaleForm::TSaleForm(QWidget *owner) : TPurchaseNoteForm(declaration(), lines, owner)
{
    PriceClass = 2;
    BusinessSide = side.side;
    Rules.kindDirection = false; // goods go the other way: its own caption
    Rules.kindResetsAmounts = true;
    Rules.invoiceCaption = true;
    Rules.wholeNoteDisc = true;
    Rules.supplierBalance = true; // the customer's, read the same way
    Rules.pickerBySequence = false; // the customer side's filter, in ShowNote
    Rules.storeRequired = true;
    Rules.closedOrderLines = false; // sales-order lines, in CheckNote
    Rules.referredLinesBlockUncheck = false; // its own text, in CanUncheckNote

    AddMasterRule(QStringLiteral("ISFILL"), [this](Field &) {
        if (!cdsDetail->Active() || cdsDetail->IsEmpty())
            return;
        const DetailUpdate update(*this);
        cdsDetail->CheckBrowseMode();
        for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
            cdsDetail->Edit();
            setLineTaxAmount();
            cdsDetail->Post();
        }
    });
    AddDetailRule(QStringLiteral("QUANTITY"), [this](Field &) {
        setLineTaxAmount();
        setPackFields();
    });
    AddDetailRule(QStringLiteral("PACK"), [this](Field &) { setPackFields(); });
    AddDetailRule(QStringLiteral("PRICE"), [this](Field &) { checkLowPrice(); });
    AddMasterRule(QStringLiteral("NOTEKIND"), [this](Field &) { setIoCaption(); });
    AddDetailRule(QStringLiteral("BCODE"), [this](Field &) {
        // A batch typed by hand no longer follows the flow record it came from.
        if (asId(DetailValue(Columns.BTurnNoteID)) == 0)
            return;
        SetFieldValueSilent(cdsDetail->FindField(Columns.BTurnNoteID), QVariant());
        SetFieldValueSilent(cdsDetail->FindField(Columns.ProductDay), QVariant());
        SetFieldValueSilent(cdsDetail->FindField(Columns.ValidDay), QVariant());
    });

    BuildTradeParts(QStringLiteral("客户欠款"));

    auto item = [this](const char *name, const QString &caption) {
        auto *a = new QAction(caption, noteMenu);
        a->setObjectName(QString::fromLatin1(name));
        noteMenu->addAction(a);
        return a;
    };
    noteMenu->addSeparator();
    muMoney = item("muMoney", QStringLiteral("生成收款单..."));
    muReturn = item("muReturn", QStringLiteral("生成退货单..."));
    mufill = item("mufill", QStringLiteral("终止开票..."));
    muReturn->setVisible(trade::SequenceOn(side));
    auto guarded = [this](void (TSaleForm::*handler)()) {
        return [this, handler] {
            try {
                (this->*handler)();
            } catch (const std::exception &e) {
                ShowError(e);
            }
        };
    };
    connect(muMoney, &QAction::triggered, this, guarded(&TSaleForm::muMoneyClick));
    connect(muReturn, &QAction::triggered, this, guarded(&TSaleForm::muReturnClick));
    connect(mufill, &QAction::triggered, this, guarded(&TSaleForm::mufillClick));
}

void TSaleForm::OpenOperatorLookup()
{
    TPurchaseNoteForm::OpenOperatorLookup();
    m_LookupNames << QStringLiteral("qryPartner") << QStringLiteral("qryPayMethod") << QStringLiteral("qryAccount")
                  << QStringLiteral("qryTranslateType") << QStringLiteral("qryNoteType");
}

// ============================================================ new notes and lines

void TSaleForm::InitNewNote(data::ClientDataSet &dataSet)
{
    TPurchaseNoteForm::InitNewNote(dataSet);
    auto set = [&dataSet](const char *name, const QVariant &v) {
        SetFieldValueSilent(dataSet.FindField(QString::fromLatin1(name)), v);
    };
    set("PAYAMT", 0);
    set("DISC", 100);
    set("UPFLAG", 0);
    set("AMOUNT", 0);
    set("CLOSEFILL", 0);
    if (Field *date = dataSet.FindField(QStringLiteral("NOTEDATE")))
        set("PAYDAY", date->Value());
    if (Field *f = dataSet.FindField(QStringLiteral("ONLOADAMOUNT")); f && f->IsNull())
        set("ONLOADAMOUNT", 0);
}

void TSaleForm::DetailNewRecord(data::ClientDataSet &dataSet)
{
    TPurchaseNoteForm::DetailNewRecord(dataSet);
    for (const char *name : {"MARGIN", "APRICE", "DISAMOUNT", "PACKQTY", "TAXAMOUNT"})
        SetFieldValueSilent(dataSet.FindField(QString::fromLatin1(name)), 0);
    if (MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() == trade::kReturnKind)
        SetFieldValueSilent(dataSet.FindField(Columns.Amounts[size_t(commodity::Col::Quantity)]), -1);
    Field *taxRate = dataSet.FindField(Columns.Amounts[size_t(commodity::Col::TaxRate)]);
    const int invoice = MasterValue(QStringLiteral("NOTETYPE"), 0).toInt();
    if (taxRate && (invoice == 2 || invoice == 3) && (taxRate->IsNull() || taxRate->AsFloat() == 0))
        SetFieldValueSilent(taxRate, LookupSysParam(QStringLiteral("TaxRate")).toDouble());
}

void TSaleForm::DetailFieldChange(Field &field)
{
    TPurchaseNoteForm::DetailFieldChange(field);
    // After the line's own recomputation: the margin needs the new price.
    using commodity::Col;
    for (const Col c : {Col::TaxRate, Col::Disc, Col::Price, Col::OrigPrice, Col::TaxPrice, Col::OrigTaxPrice})
        if (field.FieldName().compare(Columns.Amounts[size_t(c)], Qt::CaseInsensitive) == 0) {
            setConsignmentMargin();
            return;
        }
}

void TSaleForm::setLineTaxAmount()
{
    const double quantity = DetailValue(Columns.Amounts[size_t(commodity::Col::Quantity)], 0).toDouble();
    const bool fill = MasterValue(QStringLiteral("ISFILL"), 0).toInt() == 1;
    SetFieldValueSilent(cdsDetail->FindField(QStringLiteral("TAXAMOUNT")), fill ? quantity * 0.3 : 0.0);
}

void TSaleForm::setPackFields()
{
    const QVariant pack = DetailValue(QStringLiteral("PACK"));
    if (pack.isNull())
        return;
    const double quantity = DetailValue(Columns.Amounts[size_t(commodity::Col::Quantity)], 0).toDouble();
    SetFieldValueSilent(cdsDetail->FindField(QStringLiteral("PACKNAME")), LookupData(kPackLookup, pack, QStringLiteral("NAME")));
    const double perPackage = LookupData(kPackLookup, pack, QStringLiteral("PACKVALUE"), 0).toDouble();
    if (perPackage > 0)
        SetFieldValueSilent(cdsDetail->FindField(QStringLiteral("PACKQTY")), std::ceil(quantity / perPackage));
    SetFieldValueSilent(cdsDetail->FindField(QStringLiteral("DISAMOUNT")),
                        quantity * LookupData(kPackLookup, pack, QStringLiteral("DISAMOUNT"), 0).toDouble());
}

void TSaleForm::SetupDetailColumn(int column)
{
    TPurchaseNoteForm::SetupDetailColumn(column);
    widgets::GridColumn &col = ItemGrid->Column(column);
    if (col.FieldName.compare(QStringLiteral("PACKNAME"), Qt::CaseInsensitive) != 0 || col.Editor)
        return;
    // The pack is chosen by name from the packaging list; the line keeps its id.
    col.Editor = [this](QWidget *parent) {
        auto *combo = new widgets::TRqLookupCombo(parent, QStringLiteral("cmbPackEditor"));
        combo->SetDataSource(dsDetail);
        combo->SetDataField(QStringLiteral("PACK"));
        combo->SetListSource(QString::fromLatin1(kPackSource));
        combo->SetListFields(QStringLiteral("NAME;PACKVALUE"));
        combo->SetListField(QStringLiteral("NAME"));
        return combo;
    };
    col.EditorCommit = [](QWidget *editor) {
        static_cast<widgets::TRqLookupCombo *>(editor)->TakeTyped(true);
        return true;
    };
}

void TSaleForm::checkLowPrice()
{
    const QVariant goods = DetailValue(Columns.CommodityID);
    if (asId(goods) == 0)
        return;
    const double low = LookupData(pub::RecordCommodity, goods, QStringLiteral("LOWPRICE"), 0).toDouble();
    const double price = DetailValue(Columns.Amounts[size_t(commodity::Col::Price)], 0).toDouble();
    // Only told: the price stays as typed.
    if (low > 0 && price < low)
        ShowMessage(QStringLiteral("货品[") + DetailValue(Columns.CommodityName).toString()
                    + QStringLiteral("]的单价小于最低销售价，请改正售价或货品资料的最低售价"));
}

void TSaleForm::setConsignmentMargin()
{
    if (MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() != 3 || DetailValue(QStringLiteral("REFERNOTETYPE"), 0).toInt() != 13)
        return;
    AutoQuery q = CreateAutoQuery(QStringLiteral("select Price,TaxRate from DeputeMarketsthDetail where noteID=")
                                  + QString::number(asId(DetailValue(QStringLiteral("REFERNOTEID"))))
                                  + QStringLiteral(" and itemsno=")
                                  + QString::number(asId(DetailValue(QStringLiteral("REFERITEMSNO")))));
    if (q->IsEmpty())
        return;
    using commodity::Col;
    const double consigned = q->FieldByName(QStringLiteral("Price")).AsFloat()
                             * (1 + q->FieldByName(QStringLiteral("TaxRate")).AsFloat() * 0.01);
    const double sold = DetailValue(Columns.Amounts[size_t(Col::Price)], 0).toDouble()
                        * (1 + DetailValue(Columns.Amounts[size_t(Col::TaxRate)], 0).toDouble() * 0.01);
    const double quantity = DetailValue(Columns.Amounts[size_t(Col::Quantity)], 0).toDouble();
    SetFieldValueSilent(cdsDetail->FindField(QStringLiteral("MARGIN")), FormatAmount((consigned - sold) * quantity));
}

void TSaleForm::setIoCaption()
{
    const QString caption = MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() == trade::kReturnKind
                                ? QStringLiteral("入库数量")
                                : QStringLiteral("出库数量");
    if (cdsDetail && cdsDetail->Active())
        if (Field *f = cdsDetail->FindField(QStringLiteral("IOQTY")))
            f->SetDisplayLabel(caption);
    for (int i = 0; ItemGrid && i < ItemGrid->ColumnCount(); ++i) {
        widgets::GridColumn &c = ItemGrid->Column(i);
        if (c.FieldName.compare(QLatin1String("IOQTY"), Qt::CaseInsensitive) == 0 && c.Title != caption) {
            c.Title = caption;
            if (QAbstractItemModel *model = ItemGrid->model())
                emit model->headerDataChanged(Qt::Horizontal, i, i);
        }
    }
}

// ============================================================ the return cost price

TMarketAPriceForm::TMarketAPriceForm(const QString &commodityName, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("MarketAPriceForm"));
    setWindowTitle(QStringLiteral("输入成本价"));
    auto *form = new QFormLayout(this);
    auto *ask = new QLabel(QStringLiteral("批次核算成本的货品必须要有成本价，请输入货品：") + QStringLiteral(" '")
                               + commodityName + QStringLiteral("' 的成本价!"),
                           this);
    ask->setObjectName(QStringLiteral("lbAsk"));
    ask->setWordWrap(true);
    form->addRow(ask);
    edPrice = new QLineEdit(QStringLiteral("0"), this);
    edPrice->setObjectName(QStringLiteral("edPrice"));
    form->addRow(QStringLiteral("成本价："), edPrice);
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("确认"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("OkBtn"));
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("CancelBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TMarketAPriceForm::OkBtnClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

double TMarketAPriceForm::Price() const { return edPrice->text().toDouble(); }

void TMarketAPriceForm::OkBtnClick()
{
    bool number = false;
    const double value = edPrice->text().toDouble(&number);
    if (!number || value < 0) {
        ShowError(QStringLiteral("成本价不能小于0"));
        return;
    }
    done(1);
}

bool TSaleForm::ValidateDetailLines()
{
    if (!TPurchaseNoteForm::ValidateDetailLines())
        return false;
    if (MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() != trade::kReturnKind || !cdsDetail->Active())
        return true;
    cdsDetail->CheckBrowseMode();
    for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
        if (asId(DetailValue(Columns.CommodityID)) == 0 || DetailValue(QStringLiteral("APRICE"), 0).toDouble() > 0)
            continue;
        TMarketAPriceForm ask(DetailValue(Columns.CommodityName).toString(), this);
        if (ShowModal(&ask) != 1)
            return false;
        cdsDetail->Edit();
        SetFieldValueSilent(cdsDetail->FindField(QStringLiteral("APRICE")), ask.Price());
        cdsDetail->Post();
    }
    return true;
}

// ============================================================ saving

bool TSaleForm::ValidateNote()
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

void TSaleForm::AfterSaveNote()
{
    TPurchaseNoteForm::AfterSaveNote();
    try {
        // Recomputes the note's invoicing state (CLOSEFILL).
        SqlExecute(QStringLiteral("EXECUTE  FIRSTUPDATECERTAINFILL 14,") + QString::number(CurrentNoteID()));
    } catch (const std::exception &e) {
        ShowError(e);
    }
}

// ============================================================ audit, un-audit, void

bool TSaleForm::CheckNote()
{
    if (!IsNoteModified() && !IsNewNote()) {
        try {
            if (!SalesOrderLinesOpen(*this))
                return false;
        } catch (const std::exception &e) {
            ShowError(e);
            return false;
        }
    }
    return TPurchaseNoteForm::CheckNote();
}

bool TSaleForm::CanUncheckNote()
{
    if (MasterValue(QStringLiteral("CLOSEFILL"), 0).toInt() == 1) {
        ShowError(QStringLiteral("已经终止开票不能反审核！"));
        return false;
    }
    // As the books hold it now: returns and stock notes write these on the lines.
    QVariant referred;
    GetValueOfSql(QStringLiteral("select count(*) from salesthDetail where NOTEID=") + QString::number(CurrentNoteID())
                      + QStringLiteral(" and (IOQTY<>0 or REFERQTY<>0)"),
                  referred);
    if (referred.toLongLong() > 0) {
        ShowError(QStringLiteral("该单有记录已销货退回或出库,不能反审核！"));
        return false;
    }
    return TPurchaseNoteForm::CanUncheckNote();
}

bool TSaleForm::CanAbateNote()
{
    QVariant invoiced;
    if (GetValueOfSql(QStringLiteral("select * from fillathD where REFERNOTETYPE =14 and  REFERNOTEID =")
                          + QString::number(CurrentNoteID()),
                      invoiced)) {
        ShowError(QStringLiteral("此单已经开过票，不能作废！"));
        return false;
    }
    return TPurchaseNoteForm::CanAbateNote();
}

// ============================================================ display

void TSaleForm::ShowNote()
{
    TPurchaseNoteForm::ShowNote();
    ShowTradeParts(mufill);
    setIoCaption();
    if (cmbCommodity)
        cmbCommodity->SetListFilter(trade::CommodityFilter(side));
    UpdateControlStates(QString());
    if (auto *pay = findChild<QLineEdit *>(QStringLiteral("edPayAmt")))
        edPayAmtChange(pay->text());
}

void TSaleForm::UpdateControlStates(const QString &fieldName)
{
    TPurchaseNoteForm::UpdateControlStates(fieldName);
    if (!fieldName.isEmpty() && fieldName.compare(QLatin1String("NOTESTATE"), Qt::CaseInsensitive) != 0)
        return;
    const bool audited = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() == 1;
    muMoney->setEnabled(audited);
    mufill->setEnabled(audited);
    muReturn->setEnabled(audited && MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() != trade::kReturnKind);
}

QHash<QString, QVariant> TSaleForm::ReportVariables()
{
    auto name = [this](int recordType, const char *field) {
        const QVariant key = MasterValue(QString::fromLatin1(field));
        return key.isNull() ? QVariant(QString()) : LookupData(recordType, key, QStringLiteral("NAME"), QString());
    };
    QVariant kind;
    GetValueOfSql(QStringLiteral("select NAME from kindamth where KIND = 3 and ID = ")
                      + QString::number(MasterValue(QStringLiteral("NOTEKIND"), 1).toInt()),
                  kind);
    QHash<QString, QVariant> v{{QStringLiteral("M.MnoteKind"), kind.toString()},
                               {QStringLiteral("M.MNOTETYPE"), name(pub::RecordInvoiceType, "NOTETYPE")},
                               {QStringLiteral("M.MTranslateType"), name(pub::RecordTranslateType, "TRANSLATETYPE")},
                               {QStringLiteral("M.Mpaytypesid"), name(pub::RecordPayMethod, "PAYTYPESID")},
                               {QStringLiteral("M.MAccountId"), name(pub::RecordAccount, "ACCOUNTID")}};
    for (int i = 2; i <= 5; ++i)
        v.insert(QStringLiteral("M.MUSRDEF%1").arg(i), MasterValue(QStringLiteral("USRDEF%1").arg(i)).toString());
    return v;
}

void TSaleForm::SetReportVariables(TCorvanReportStyle *report)
{
    TPurchaseNoteForm::SetReportVariables(report);
    report->SetVariables(ReportVariables());
}

// ============================================================ menus

void TSaleForm::mufillClick()
{
    ToggleCloseFillOfShownNote(side);
}

void TSaleForm::muMoneyClick()
{
    if (trade::PaymentAllowed(side, *cdsMaster))
        pk_note::OpenNoteFromSource(QStringLiteral("GetMoneyForm"), NoteType(), CurrentNoteID());
}

void TSaleForm::muReturnClick()
{
    MakeReturnOfShownNote(side);
}

// ============================================================ turn-in

void TSaleForm::SelectSourceNote()
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
    bool first = true;
    const DetailUpdate update(*this);
    for (rows->First(); !rows->Eof(); rows->Next()) {
        if (v("Selected").toInt() != 1)
            continue;
        const qint64 noteId = asId(v("noteid"));
        const qint64 itemsNo = asId(v("ITEMSNO"));
        if (first) {
            // The first source's invoicing flag, remark and customer order number.
            first = false;
            const int type = v("notetype").toInt();
            const QString table = type == 12 ? QStringLiteral("ordersth") : type == 13 ? QStringLiteral("DeputeMarketsth")
                                : type == 14 ? QStringLiteral("salesth") : QString();
            if (!table.isEmpty()) {
                AutoQuery m = CreateAutoQuery(QStringLiteral("select * from ") + table + QStringLiteral(" where noteID=")
                                              + QString::number(noteId));
                if (!m->IsEmpty())
                    for (const char *name : {"ISFILL", "REMARK", "CONTRACTNO"})
                        if (m->HasField(QString::fromLatin1(name)))
                            SetFieldValueSilent(MasterField(QString::fromLatin1(name)),
                                                m->FieldByName(QString::fromLatin1(name)).Value());
            }
        }
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
        s.remark = v("remark");
        AppendSourceLine(s);
        if (const QVariant cost = v("APRICE"); !cost.isNull()) {
            cdsDetail->Edit();
            SetFieldValueSilent(cdsDetail->FindField(QStringLiteral("APRICE")), cost);
            cdsDetail->Post();
        }
    }
}

// ============================================================ made from a source note

bool TSaleForm::LoadForSource(int sourceNoteType, qint64 sourceNoteId)
{
    if (sourceNoteType != 12 && sourceNoteType != 13)
        return false;
    const bool fromOrder = sourceNoteType == 12;
    const QString table = fromOrder ? QStringLiteral("ordersth") : QStringLiteral("DeputeMarketsth");
    AutoQuery m = CreateAutoQuery(QStringLiteral("select * from ") + table + QStringLiteral(" where noteID=")
                                  + QString::number(sourceNoteId));
    if (m->IsEmpty())
        return false;
    // Lines not stopped and still open, counted as the turn-in counts them.
    const QString open = fromOrder ? QStringLiteral("Quantity-ReferQty-isnull(SaleQty,0)")
                                   : QStringLiteral("abs(Quantity)-abs(ReferQty)-abs(BalQty)");
    AutoQuery d = CreateAutoQuery(QStringLiteral("select d.*, ") + open + QStringLiteral(" as OPENQTY from ") + table
                                  + QStringLiteral("Detail d where ")
                                  + (fromOrder ? QStringLiteral("isnull(Closed,0)=0 and ") : QString()) + open
                                  + QStringLiteral(">0.000001 and noteID=") + QString::number(sourceNoteId)
                                  + QStringLiteral(" order by ITEMSNO"));
    if (d->IsEmpty()) {
        ShowError(QStringLiteral("此单没有可以生成的记录！"));
        return false;
    }
    if (!AppendBlankNote())
        return false;
    SetFieldValue(MasterField(QStringLiteral("NOTEKIND")), fromOrder ? 1 : 3);
    SetFieldValue(MasterField(Columns.PartnerID), m->FieldByName(QStringLiteral("PARTNERID")).Value());
    if (fromOrder)
        SetFieldValue(MasterField(QStringLiteral("PAYTYPESID")), m->FieldByName(QStringLiteral("PAYTYPESID")).Value());
    SetFieldValueSilent(MasterField(QStringLiteral("REMARK")), m->FieldByName(QStringLiteral("REMARK")).Value());
    const QString code = m->FieldByName(QStringLiteral("NOTECODE")).AsString();
    const DetailUpdate update(*this);
    for (d->First(); !d->Eof(); d->Next()) {
        auto f = [&d](const char *name) {
            return d->HasField(QString::fromLatin1(name)) ? d->FieldByName(QString::fromLatin1(name)).Value() : QVariant();
        };
        SourceLine s;
        s.referNoteType = sourceNoteType;
        s.referNoteId = sourceNoteId;
        s.referItemsNo = d->FieldByName(QStringLiteral("ITEMSNO")).AsLargeInt();
        s.referNoteCode = code;
        s.commodityId = f("COMMODITYID");
        if (!fromOrder)
            s.storeId = f("BUILDINGID");
        s.disc = f("DISC");
        s.taxRate = f("TAXRATE");
        s.price = f("PRICE");
        s.quantity = FormatQuantity(d->FieldByName(QStringLiteral("OPENQTY")).AsFloat());
        s.bcode = f("BCODE");
        s.productDay = f("PRODUCTDAY");
        s.validDay = f("VALIDDAY");
        AppendSourceLine(s);
        if (const QVariant cost = f("APRICE"); !cost.isNull()) {
            cdsDetail->Last();
            cdsDetail->Edit();
            SetFieldValueSilent(cdsDetail->FindField(QStringLiteral("APRICE")), cost);
            cdsDetail->Post();
        }
    }
    return true;
}
