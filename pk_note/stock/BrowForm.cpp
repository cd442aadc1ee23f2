#include "BrowForm.h"

#include "DataAccess.h"
#include "PackageWindows.h"
#include "Rounding.h"
#include "data/Field.h"

#include <QLabel>

using basenote::Ctl;

namespace {

const basenote::Resource outMaster{
    .formName = "BrowOutForm",
    .caption = "借出单",
    .noteType = 23,
    .masterSql = "select m.* from BrowOut m",
    .controls = {
        {"PARTNERID", "客    户", Ctl::Lookup, "cmbPartner", "dspartner", "IsClient=1 and Closed=0 and partnerID>0", 2},
        {"BUILDINGID", "仓库", Ctl::Lookup, "cmbBuilding", "dsStore", "(shoperateid is null or shoperateid=0)"},
        {"IOTYPESID", "出库类型", Ctl::Lookup, "cmbIOType", "dsIOType", "IOFLAG=-1 and Closed=0"},
        {"ISSALE", "不需要退还", Ctl::Check, "chkIsSale"},
        {"", "累计借出", Ctl::Label, "lbLent"},
        {"CREDCODE", "凭证号", Ctl::Edit, "edCredCode"},
    },
    .lookups = {QStringLiteral("qrypartner"), QStringLiteral("qryStore"), QStringLiteral("qryIOType")},
    .tableName = "BrowOut",
};

const mdnote::DetailResource outLines{
    .detailSql = STOCK_LINE_SQL("BrowOutdetail"),
    .detailTable = "BrowOutdetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"QUANTITY"}, {"APRICE"},
                {.field = "AMOUNT", .caption = "金额", .readOnly = true},
                {.field = "REAMOUNT", .caption = "押金", .width = 90, .displayFormat = "#0.00", .total = true},
                {"BCODE"}, {"PRODUCTDAY"}, {"VALIDDAY"}, {"REMARK"}},
};

const basenote::Resource inMaster{
    .formName = "BrowInForm",
    .caption = "借出还入单",
    .noteType = 22,
    .masterSql = "select m.* from BrowIn m",
    .controls = {
        {"PARTNERID", "客    户", Ctl::Lookup, "cmbPartner", "dspartner", "IsClient=1 and Closed=0 and partnerID>0", 2},
        {"BUILDINGID", "仓库", Ctl::Lookup, "cmbBuilding", "dsStore", "(shoperateid is null or shoperateid=0)"},
        {"IOTYPESID", "入库类型", Ctl::Lookup, "cmbIOType", "dsIOType", "IOFLAG=1 and Closed=0"},
        {"CREDCODE", "凭证号", Ctl::Edit, "edCredCode"},
    },
    .lookups = {QStringLiteral("qrypartner"), QStringLiteral("qryStore"), QStringLiteral("qryIOType")},
    .tableName = "BrowIn",
};

const mdnote::DetailResource inLines{
    .detailSql = STOCK_LINE_SQL("BrowIndetail"),
    .detailTable = "BrowIndetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"QUANTITY"}, {"PRICE"},
                {.field = "AMOUNT", .caption = "金额"}, {"BCODE"}, {"PRODUCTDAY"}, {"VALIDDAY"}, {"REMARK"}},
};

pk_note::FormClassRegistrar regOut("TBrowOutForm", [](QWidget *owner) { return CreateNoteForm<TBrowOutForm>(owner); });
pk_note::FormClassRegistrar regIn("TBrowInForm", [](QWidget *owner) { return CreateNoteForm<TBrowInForm>(owner); });

double sumOf(const QString &sql)
{
    QVariant v;
    GetValueOfSql(sql, v);
    return v.toDouble();
}

} // namespace

TBrowOutForm::TBrowOutForm(QWidget *owner) : TStockNoteForm(outMaster, outLines, owner)
{
    PriceIsCost = true;
    lbLent = &RequireChild<QLabel>(QStringLiteral("lbLent"));
    AddMasterRule(QStringLiteral("PARTNERID"), [this](data::Field &) { showLent(); });
}

double TBrowOutForm::LentTo(qint64 partnerId)
{
    const QString partner = QString::number(partnerId);
    return sumOf(QStringLiteral("select sum(m.quantity) as SCAMT from browoutdetail m left join browout d on m.noteid = "
                                "d.noteid where isnull(d.IsSale,0) = 0 and d.partnerID=")
                 + partner)
           - sumOf(QStringLiteral("select sum(m.quantity) as SCAMT from browindetail m left join browin d on m.noteid = "
                                  "d.noteid where d.partnerID=")
                   + partner);
}

void TBrowOutForm::ShowNote()
{
    TStockNoteForm::ShowNote();
    showLent();
}

void TBrowOutForm::AfterSaveNote()
{
    TStockNoteForm::AfterSaveNote();
    showLent(); // the saved lines now count
}

void TBrowOutForm::showLent()
{
    const QVariant partner = MasterValue(QStringLiteral("PARTNERID"));
    // The caption carries the figure for the chosen customer.
    QString text = QStringLiteral("累计借出");
    if (!partner.isNull())
        text += QStringLiteral("  ") + QString::asprintf("%*.*f", 1, QuantityDecimals(), LentTo(partner.toLongLong()));
    lbLent->setText(text);
}

TBrowInForm::TBrowInForm(QWidget *owner) : TStockNoteForm(inMaster, inLines, owner) {}
