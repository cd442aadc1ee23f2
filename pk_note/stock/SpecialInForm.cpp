#include "SpecialInForm.h"

#include "PackageWindows.h"

using basenote::Ctl;

namespace {

const basenote::Resource inMaster{
    .formName = "SpecialInForm",
    .caption = "独立入仓单",
    .noteType = 22,
    .masterSql = "select m.* from OtherInith m",
    .controls = {
        {"BUILDINGID", "仓库", Ctl::Lookup, "cmbBuilding", "dsStore", "(shoperateid is null or shoperateid=0)"},
        {"IOTYPESID", "入库类型", Ctl::Lookup, "cmbIOType", "dsIOType", "IOFLAG=1 and Closed=0"},
        {"CREDCODE", "凭证号", Ctl::Edit, "edCredCode"},
    },
    .lookups = {QStringLiteral("qryStore"), QStringLiteral("qryIOType")},
    .tableName = "OtherInith",
};

const mdnote::DetailResource inLines{
    .detailSql = STOCK_LINE_SQL("OtherInithdetail"),
    .detailTable = "OtherInithdetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"QUANTITY"}, {"PRICE"},
                {.field = "AMOUNT", .caption = "金额"}, {"BCODE"}, {"PRODUCTDAY"}, {"VALIDDAY"}, {"REMARK"}},
};

const basenote::Resource outMaster{
    .formName = "SpecialOutForm",
    .caption = "独立出仓单",
    .noteType = 23,
    .masterSql = "select m.* from OtherOutith m",
    .controls = {
        {"BUILDINGID", "仓库", Ctl::Lookup, "cmbBuilding", "dsStore", "(shoperateid is null or shoperateid=0)"},
        {"IOTYPESID", "出库类型", Ctl::Lookup, "cmbIOType", "dsIOType", "IOFLAG=-1 and Closed=0"},
        {"CREDCODE", "凭证号", Ctl::Edit, "edCredCode"},
    },
    .lookups = {QStringLiteral("qryStore"), QStringLiteral("qryIOType")},
    .tableName = "OtherOutith",
};

const mdnote::DetailResource outLines{
    .detailSql = STOCK_LINE_SQL("OtherOutithdetail"),
    .detailTable = "OtherOutithdetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"QUANTITY"}, {"APRICE"},
                {.field = "AMOUNT", .caption = "金额", .readOnly = true}, {"BCODE"}, {"PRODUCTDAY"}, {"VALIDDAY"},
                {"REMARK"}},
};

pk_note::FormClassRegistrar regIn("TSpecialInForm", [](QWidget *owner) { return CreateNoteForm<TSpecialInForm>(owner); });
pk_note::FormClassRegistrar regOut("TSpecialOutForm", [](QWidget *owner) { return CreateNoteForm<TSpecialOutForm>(owner); });

} // namespace

TSpecialInForm::TSpecialInForm(QWidget *owner) : TStockNoteForm(inMaster, inLines, owner) {}

TSpecialOutForm::TSpecialOutForm(QWidget *owner) : TStockNoteForm(outMaster, outLines, owner) { PriceIsCost = true; }
