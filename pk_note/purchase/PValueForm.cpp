#include "PValueForm.h"
#include "NoteMessages.h"

#include "Notepublic.h"
#include "Pk_note_itf.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"
#include "widgets/LookupCombo.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>

#include <memory>

using basenote::Ctl;
using data::Field;

namespace {


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

// The kind list of a side as a lookup source, defined once for the program.
const basenote::Resource &declared(const ValueSide &side)
{
    for (const pub::LookupDefinition &d : pub::lookupDefinitions())
        if (d.recordType == side.kindLookup)
            return side.master;
    pub::registerLookup({side.kindLookup, QString::fromLatin1(side.kindLookupName), QString::fromUtf8(side.kindLookupSql),
                         QStringLiteral("ID")});
    return side.master;
}

qint64 asId(const QVariant &v) { return v.isNull() ? 0 : v.toLongLong(); }

} // namespace

const ValueSide kEstimatedReceipt{
    .trade = trade::kSupplierSide,
    .master = master,
    .lines = lines,
    .kindLookup = 201,
    .kindLookupName = "PValueKind",
    .kindLookupSql = "select 1 as ID, '估价入库' as NAME union all select 2, '估价冲回(手工)' "
                     "union all select 3, '估价冲回(机制)'",
    .returnKind = 2,
    .systemKind = 3,
    .openQuantity = "Quantity-Abs(ReferQty)",
    .turnInInSequence = 2,
    .turnInOutOfSequence = 21,
    .turnInReturn = 3,
    .makeAction = "muPurchase",
    .makeCaption = "生成采购单...",
    .makeForm = "PBuyForm",
    .makeRefused = "已经冲回不能再生成采购单",
    .reverseAction = "muValueTo",
    .reverseCaption = "生成估价冲回...",
    .uncheckRefused = "机制估价冲回单不能反审核！",
    .uncheckRefusedKind = 3,
    .unabateRefused = "机制估价冲回单不能反作废！",
    .priceClass = 1,
};

TPValueForm::TPValueForm(QWidget *owner) : TPValueForm(kEstimatedReceipt, owner) {}

TPValueForm::TPValueForm(const ValueSide &side, QWidget *owner)
    : TPurchaseNoteForm(declared(side), side.lines, owner), m_side(side)
{
    PriceClass = side.priceClass;
    BusinessSide = side.trade.side;
    // The kinds that go against kind 1 (reversals, returns) carry their
    // quantities the other way.
    ReturnKinds = {side.returnKind};
    if (side.systemKind)
        ReturnKinds << side.systemKind;
    Rules.pickerBySequence = false; // the side's filter, in ShowNote
    Rules.storeRequired = true;
    Rules.closedOrderLines = side.trade.side == 1; // the sales order's rule is the consignment's own
    Rules.referredLinesBlockUncheck = true;

    lbReversed = new QLabel(QStringLiteral("已冲回"), palTitle);
    lbReversed->setObjectName(QStringLiteral("lbReversed"));
    lbReversed->setStyleSheet(QStringLiteral("color: #c0392b; font-weight: bold;"));
    lbReversed->hide();
    auto *row = new QHBoxLayout;
    row->addWidget(lbReversed);
    row->addStretch(1);
    static_cast<QGridLayout *>(palTitle->layout())->addLayout(row, 1, 2);

    auto item = [this](const char *name, const char *caption) {
        auto *a = new QAction(QString::fromUtf8(caption), noteMenu);
        a->setObjectName(QString::fromLatin1(name));
        noteMenu->addAction(a);
        return a;
    };
    noteMenu->addSeparator();
    muMake = item(side.makeAction, side.makeCaption);
    muReverse = item(side.reverseAction, side.reverseCaption);
    connect(muMake, &QAction::triggered, this, &TPValueForm::MakeNextNote);
    connect(muReverse, &QAction::triggered, this, &TPValueForm::MakeReverseNote);
}

void TPValueForm::MasterFieldValidate(Field &field)
{
    TPurchaseNoteForm::MasterFieldValidate(field);
    if (m_side.systemKind && field.FieldName().compare(QLatin1String("NOTEKIND"), Qt::CaseInsensitive) == 0
        && !field.IsNull() && field.AsInteger() == m_side.systemKind)
        throw PubError(QStringLiteral("估价冲回(机制)类型不能作为开单使用！"));
}

bool TPValueForm::IsReversed()
{
    if (MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() != 1 || MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() != 1)
        return false;
    QVariant open;
    return !GetValueOfSql(QStringLiteral("select 1 from ") + DetailTable() + QStringLiteral(" where ")
                              + QString::fromLatin1(m_side.openQuantity) + QStringLiteral(">0.000001 and noteID=")
                              + QString::number(CurrentNoteID()),
                          open);
}

void TPValueForm::ShowNote()
{
    TPurchaseNoteForm::ShowNote();
    if (cmbCommodity)
        cmbCommodity->SetListFilter(trade::CommodityFilter(m_side.trade));
    const bool auditedFirstKind = MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() == 1
                                  && MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() == 1;
    lbReversed->setVisible(IsReversed());
    muMake->setEnabled(auditedFirstKind);
    muReverse->setEnabled(auditedFirstKind);
}

bool TPValueForm::CanUncheckNote()
{
    if (m_side.uncheckRefused && MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() == m_side.uncheckRefusedKind) {
        ShowError(QString::fromUtf8(m_side.uncheckRefused));
        return false;
    }
    return TPurchaseNoteForm::CanUncheckNote();
}

bool TPValueForm::CanUnabateNote()
{
    if (m_side.systemKind && MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() == m_side.systemKind) {
        ShowError(QString::fromUtf8(m_side.unabateRefused));
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
        ShowError(QString::fromUtf8(m_side.trade.choosePartner));
        return;
    }
    // Kind 1 takes orders (or stock notes without the order flow); the
    // other kinds take notes of kind 1.
    const int kind = MasterValue(QStringLiteral("NOTEKIND"), 1).toInt();
    int sourceType = m_side.turnInReturn;
    if (kind == 1)
        sourceType = trade::SequenceOn(m_side.trade) ? m_side.turnInInSequence : m_side.turnInOutOfSequence;
    std::unique_ptr<QWidget> window(pk_note::CreateFormClass(QStringLiteral("TnoteSelectorForm"), this));
    auto *selector = dynamic_cast<pk_note::INoteSelector *>(window.get());
    if (!selector || !selector->SetDocument(this) || !selector->OpenSelection({sourceType, partner, 0}))
        return;
    if (ShowModal(window.get()) != 1)
        return;
    AppendSelectedLines(*this, selector->SelectedLines());
}

void TPValueForm::MakeNextNote()
{
    if (MasterValue(QStringLiteral("NOTESTATE"), 0).toInt() != 1 || IsNewNote())
        return;
    if (IsReversed()) {
        ShowWarning(QString::fromUtf8(m_side.makeRefused));
        return;
    }
    pk_note::OpenNoteFromSource(QString::fromLatin1(m_side.makeForm), NoteType(), CurrentNoteID());
}

void TPValueForm::MakeReverseNote()
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
    AutoQuery head = CreateAutoQuery(QStringLiteral("select * from ") + TableName() + QStringLiteral(" where noteID=") + id);
    AutoQuery open = CreateAutoQuery(QStringLiteral("select *, ") + QString::fromLatin1(m_side.openQuantity)
                                     + QStringLiteral(" as OPENQTY from ") + DetailTable() + QStringLiteral(" where ")
                                     + QString::fromLatin1(m_side.openQuantity)
                                     + QStringLiteral(">0.000001 and noteID=") + id);
    if (head->IsEmpty() || open->IsEmpty())
        return;
    if (!NewNote())
        return;
    // A note of the return kind for the same partner, entered by this user.
    if (cdsMaster->State() == data::DataSetState::Browse)
        cdsMaster->Edit();
    SetFieldValue(MasterField(QStringLiteral("NOTEKIND")), m_side.returnKind);
    SetFieldValue(MasterField(QStringLiteral("PARTNERID")), head->FieldByName(QStringLiteral("PARTNERID")).Value());
    SetFieldValueSilent(MasterField(QStringLiteral("NOTESTATE")), 0);
    SetFieldValueSilent(MasterField(QStringLiteral("UPFLAG")), 0);
    for (open->First(); !open->Eof(); open->Next()) {
        auto f = [&open](const char *name) { return open->FieldByName(QString::fromLatin1(name)); };
        SourceLine line;
        line.referNoteType = NoteType();
        line.referNoteId = source;
        line.referItemsNo = f("ITEMSNO").AsLargeInt();
        line.referNoteCode = head->FieldByName(QStringLiteral("NOTECODE")).AsString();
        line.commodityId = f("COMMODITYID").Value();
        line.storeId = f("BUILDINGID").Value();
        line.price = f("PRICE").Value();
        line.disc = f("DISC").Value();
        line.taxRate = f("TAXRATE").Value();
        line.quantity = f("OPENQTY").AsFloat();
        line.bcode = f("BCODE").Value();
        line.productDay = f("PRODUCTDAY").Value();
        line.validDay = f("VALIDDAY").Value();
        AppendSourceLine(line); // the batch: the source line's flow record
        ReversedLineAdded(*open);
    }
}
