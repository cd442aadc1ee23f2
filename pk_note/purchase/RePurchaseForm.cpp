#include "RePurchaseForm.h"

#include "PackageWindows.h"

using basenote::Ctl;

namespace {

const basenote::Resource master{
    .formName = "RePurchaseForm",
    .caption = "申购单",
    .noteType = 5,
    .masterSql = "select m.* from RePurchase m",
    .controls = {
        {"PARTNERID", "供应商", Ctl::Lookup, "cmbPartner", "dspartner", "IsVendor=1 and Closed=0 and partnerID>0"},
        {"CONTRACTNO", "合同号", Ctl::Edit, "edContractNo"},
        {"REVDATE", "采购时间", Ctl::Date, "edRevDate"},
        {"CONTACTOR", "联系人", Ctl::Edit, "edContactor"},
        {"CONTACTPHONE", "联系电话", Ctl::Edit, "edContactPhone"},
        {"NOTETO", "到货地点", Ctl::Edit, "edNoteTo"},
        {"CLOSED", "整单中止", Ctl::Check, "cbClosed"},
    },
    .lookups = {QStringLiteral("qryPartner")},
    .size = {1060, 620},
    .tableName = "RePurchase",
};

const mdnote::DetailResource lines{
    .detailSql = PURCHASE_FAMILY_LINE_SQL("RepurchaseDetail"),
    .detailTable = "RepurchaseDetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"STORECODE"}, {"BUILDINGNAME"},
                {"QUANTITY"}, {"ORIGPRICE"}, {"DISC"}, {"PRICE"}, {"TAXRATE"}, {"TAXPRICE"}, {"COMMODITYAMT"},
                {"TAXAMT"}, {"AMOUNT"}, {.field = "REFERQTY", .caption = "已订货数量"},
                {.field = "LINECLOSED", .caption = "中止", .width = 44, .readOnly = true}, {"REMARK"}},
};

pk_note::FormClassRegistrar reg("TRePurchaseForm",
                                [](QWidget *owner) { return CreateNoteForm<TRePurchaseForm>(owner); });

} // namespace

TRePurchaseForm::TRePurchaseForm(QWidget *owner) : TClosableNoteForm(master, lines, "isnull(REFERQTY,0)<>0", owner)
{
}
