#include "OutMoneyForm.h"

#include "PackageWindows.h"

using basenote::Ctl;

namespace {

const basenote::Resource master{
    .formName = "OutMoneyForm",
    .caption = "费用开支单",
    .noteType = 52,
    .masterSql = "select m.* from expenseath m",
    .controls = {
        {"PARTNERID", "客户", Ctl::Lookup, "cmbPartner", "dspartner", "IsClient=1 and Closed=0 and partnerID>0"},
        {"PAYTYPESID", "结算方式", Ctl::Lookup, "cmbPayType", "dsPayMethod", "Poupflag <>2 and Poupflag <> 3"},
        {"ACCOUNTID", "结算帐户", Ctl::Lookup, "cmbAccount", "dsAccount", "Closed = 0"},
        {"CHECKNO", "票号", Ctl::Edit, "edCheckNo"},
    },
    .lookups = {QStringLiteral("qryPartner"), QStringLiteral("qryPayMethod"), QStringLiteral("qryAccount")},
    .size = {900, 560},
};

const mdnote::DetailResource lines{
    .detailSql = "select m.*, t.iename from expenseathdetail m left join ietypelth t on t.IETYPESID = m.IETYPESID",
    .detailTable = "expenseathdetail",
    .columns = {
        {.field = "iename", .caption = "费用项目", .width = 200, .ellipsis = true},
        {.field = "AMOUNT", .caption = "金额", .width = 130},
        {.field = "REMARK", .width = 420},
    },
};

pk_note::FormClassRegistrar reg("TOutMoneyForm", [](QWidget *owner) { return CreateNoteForm<TOutMoneyForm>(owner); });

} // namespace

TOutMoneyForm::TOutMoneyForm(QWidget *owner) : TItemNoteForm({master, lines, 0, "费用项目", true}, owner) {}
