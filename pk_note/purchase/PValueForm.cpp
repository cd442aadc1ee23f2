#include "PValueForm.h"
#include "NoteMessages.h"

#include "Notepublic.h"
#include "Pk_note_itf.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>

#include <memory>

using basenote::Ctl;
using data::Field;

namespace {

constexpr int kKindLookup = 201; // the record type of the kind list
constexpr int kSystemReversal = 3;

const basenote::Resource master{
    .formName = "PValueForm",
    .caption = "预入库",
    .noteType = 3,
    .masterSql = "select m.* from valuepth m",
    .controls = {
        {"NOTEKIND", "单据类型", Ctl::Lookup, "cmbNoteKind", "dsPValueKind"},
        {"PARTNERID", "供应商", Ctl::Lookup, "cmbPartner", "dspartner", "IsVendor=1 and Closed=0 and partnerID>0"},
        {"NOTETYPE", "发票类型", Ctl::Lookup, "cmbNoteType", "dsNoteType"},
        {"NOTENO", "发票号", Ctl::Edit, "edNoteNo"},
        {"TRANSLATETYPE", "送货方式", Ctl::Lookup, "cmbTranslateType", "dsTranslateType"},
        {"NOTETO", "送货地址", Ctl::Edit, "edNoteTo"},
    },
    .lookups = {QStringLiteral("qryPValueKind"), QStringLiteral("qryPartner"), QStringLiteral("qryNoteType"),
                QStringLiteral("qryTranslateType")},
    .size = {1160, 640},
    .tableName = "valuepth",
};

const mdnote::DetailResource lines{
    .detailSql = PURCHASE_FAMILY_LINE_SQL("valuepthDetail"),
    .detailTable = "valuepthDetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"STORECODE"}, {"BUILDINGNAME"},
                {"QUANTITY"}, {"ORIGPRICE"}, {"DISC"}, {"PRICE"}, {"TAXRATE"}, {"TAXPRICE"}, {"COMMODITYAMT"},
                {"TAXAMT"}, {"AMOUNT"}, {"BCODE"}, {"PRODUCTDAY"}, {"VALIDDAY"},
                {.field = "IOQTY", .caption = "入库数量", .width = 80, .displayFormat = "#0.####", .readOnly = true},
                {.field = "REFERQTY", .caption = "已冲回数量"}, {"REMARK"}},
};

pk_note::FormClassRegistrar reg("TPValueForm", [](QWidget *owner) { return CreateNoteForm<TPValueForm>(owner); });

void defineKindLookup()
{
    for (const pub::LookupDefinition &d : pub::lookupDefinitions())
        if (d.recordType == kKindLookup)
            return;
    pub::registerLookup({kKindLookup, QStringLiteral("PValueKind"),
                         QStringLiteral("select 1 as ID, '估价入库' as NAME union all select 2, '估价冲回(手工)' "
                                        "union all select 3, '估价冲回(机制)'"),
                         QStringLiteral("ID")});
}

const basenote::Resource &declared()
{
    defineKindLookup();
    return master;
}

qint64 asId(const QVariant &v) { return v.isNull() ? 0 : v.toLongLong(); }

} // namespace

TPValueForm::TPValueForm(QWidget *owner) : TPurchaseNoteForm(declared(), lines, owner)
{
    // Both reversals take the goods back out of stock.
    ReturnKinds = {2, kSystemReversal};
    Rules.storeRequired = true;
    Rules.closedOrderLines = true;
    Rules.referredLinesBlockUncheck = true;

    lbReversed = new QLabel(QStringLiteral("已冲回"), palTitle);
    lbReversed->setObjectName(QStringLiteral("lbReversed"));
    lbReversed->setStyleSheet(QStringLiteral("color: #c0392b; font-weight: bold;"));
    lbReversed->hide();
    auto *row = new QHBoxLayout;
    row->addWidget(lbReversed);
    row->addStretch(1);
    static_cast<QGridLayout *>(palTitle->layout())->addLayout(row, 1, 2);

    muPurchase = new QAction(QStringLiteral("生成采购单..."), noteMenu);
    muPurchase->setObjectName(QStringLiteral("muPurchase"));
    muValueTo = new QAction(QStringLiteral("生成估价冲回..."), noteMenu);
    muValueTo->setObjectName(QStringLiteral("muValueTo"));
    noteMenu->addSeparator();
    noteMenu->addAction(muPurchase);
    noteMenu->addAction(muValueTo);
    connect(muPurchase, &QAction::triggered, this, &TPValueForm::muPurchaseClick);
    connect(muValueTo, &QAction::triggered, this, &TPValueForm::muValueToClick);
}

void TPValueForm::MasterFieldValidate(Field &field)
{
    TPurchaseNoteForm::MasterFieldValidate(field);
    if (field.FieldName().compare(QLatin1String("NOTEKIND"), Qt::CaseInsensitive) == 0 && !field.IsNull()
        && field.AsInteger() == kSystemReversal)
        throw PubError(QStringLiteral("估价冲回(机制)类型不能作为开单使用！"));
}

bool TPValueForm::IsReversed()
{
    if (MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() != 1 || MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() != 1)
        return false;
    QVariant open;
    return !GetValueOfSql(QStringLiteral("select 1 from valuepthDetail where Quantity-Abs(ReferQty)>0.000001 and noteID=")
                              + QString::number(CurrentNoteID()),
                          open);
}

void TPValueForm::ShowNote()
{
    TPurchaseNoteForm::ShowNote();
    const bool auditedReceipt = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() == 1
                                && MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() == 1;
    lbReversed->setVisible(IsReversed());
    muPurchase->setEnabled(auditedReceipt);
    muValueTo->setEnabled(auditedReceipt);
}

bool TPValueForm::CanUncheckNote()
{
    if (MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() == kSystemReversal) {
        ShowError(QStringLiteral("机制估价冲回单不能反审核！"));
        return false;
    }
    return TPurchaseNoteForm::CanUncheckNote();
}

bool TPValueForm::CanUnabateNote()
{
    if (MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() == kSystemReversal) {
        ShowError(QStringLiteral("机制估价冲回单不能反作废！"));
        return false;
    }
    return TPurchaseNoteForm::CanUnabateNote();
}

void TPValueForm::SelectSourceNote()
{
    if (ReadOnly())
        return;
    const qint64 partner = asId(MasterValue(QStringLiteral("PARTNERID")));
    if (partner == 0) {
        ShowError(QStringLiteral("请选择供应商！"));
        return;
    }
    // A receipt takes orders (or stock-in notes without the purchase flow);
    // a reversal takes estimated receipts.
    const int kind = MasterValue(QStringLiteral("NOTEKIND"), 1).toInt();
    int sourceType = 3;
    if (kind == 1)
        sourceType = LookupSysParam(QStringLiteral("IsPSequence")) == QLatin1String("1") ? 2 : 21;
    std::unique_ptr<QWidget> window(pk_note::CreateFormClass(QStringLiteral("TnoteSelectorForm"), this));
    auto *selector = dynamic_cast<pk_note::INoteSelector *>(window.get());
    if (!selector || !selector->SetDocument(this) || !selector->OpenSelection({sourceType, partner, 0}))
        return;
    if (ShowModal(window.get()) != 1)
        return;
    AppendSelectedLines(*this, selector->SelectedLines());
}

void TPValueForm::muPurchaseClick()
{
    if (MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() != 1 || IsNewNote())
        return;
    if (IsReversed()) {
        ShowWarning(QStringLiteral("已经冲回不能再生成采购单"));
        return;
    }
    pk_note::OpenNoteFromSource(QStringLiteral("PBuyForm"), 3, CurrentNoteID());
}

void TPValueForm::muValueToClick()
{
    if (MasterValue(QStringLiteral("SHOPERATEID"), 0).toInt() != 0) {
        ShowWarning(QStringLiteral("分支的单据不能做此业务。"));
        return;
    }
    if (MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() != 1 || IsNewNote())
        return;
    if (IsReversed()) {
        ShowWarning(QStringLiteral("已经冲回"));
        return;
    }
    const qint64 source = CurrentNoteID();
    const QString id = QString::number(source);
    AutoQuery head = CreateAutoQuery(QStringLiteral("select * from valuepth where noteID=") + id);
    AutoQuery open = CreateAutoQuery(
        QStringLiteral("select * from valuepthDetail where Quantity-Abs(ReferQty)>0.000001 and noteID=") + id);
    if (head->IsEmpty() || open->IsEmpty())
        return;
    if (!NewNote())
        return;
    // A reversal of the same supplier, entered by this user.
    if (cdsMaster->State() == data::DataSetState::Browse)
        cdsMaster->Edit();
    SetFieldValue(MasterField(QStringLiteral("NOTEKIND")), 2);
    SetFieldValue(MasterField(QStringLiteral("PARTNERID")), head->FieldByName(QStringLiteral("PARTNERID")).Value());
    SetFieldValueSilent(MasterField(QStringLiteral("NOTESTATE")), 0);
    SetFieldValueSilent(MasterField(QStringLiteral("UPFLAG")), 0);
    for (open->First(); !open->Eof(); open->Next()) {
        auto f = [&open](const char *name) { return open->FieldByName(QString::fromLatin1(name)); };
        SourceLine line;
        line.referNoteType = 3;
        line.referNoteId = source;
        line.referItemsNo = f("ITEMSNO").AsLargeInt();
        line.referNoteCode = head->FieldByName(QStringLiteral("NOTECODE")).AsString();
        line.commodityId = f("COMMODITYID").Value();
        line.storeId = f("BUILDINGID").Value();
        line.price = f("PRICE").Value();
        line.disc = f("DISC").Value();
        line.taxRate = f("TAXRATE").Value();
        line.quantity = f("QUANTITY").AsFloat() - f("REFERQTY").AsFloat();
        line.bcode = f("BCODE").Value();
        line.productDay = f("PRODUCTDAY").Value();
        line.validDay = f("VALIDDAY").Value();
        AppendSourceLine(line); // the batch: the receipt line's flow record
    }
}
