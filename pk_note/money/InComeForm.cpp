#include "InComeForm.h"

#include "PackageWindows.h"

using basenote::Ctl;

namespace {

const basenote::Resource master{
    .formName = "InComeForm",
    .caption = "其他收入单",
    .noteType = 53,
    .masterSql = "select m.* from InComebth m",
    .controls = {
        {"PAYTYPESID", "结算方式", Ctl::Lookup, "cmbPayType", "dsPayMethod", "Poupflag <>2 and Poupflag <> 3"},
        {"ACCOUNTID", "结算帐户", Ctl::Lookup, "cmbAccount", "dsAccount", "Closed = 0"},
        {"CHECKNO", "票号", Ctl::Edit, "edCheckNo"},
    },
    .lookups = {QStringLiteral("qryPayMethod"), QStringLiteral("qryAccount")},
    .size = {900, 520},
};

const mdnote::DetailResource lines{
    .detailSql = "select m.*, t.iename from InComebthdetail m left join ietypelth t on t.IETYPESID = m.IETYPESID",
    .detailTable = "InComebthdetail",
    .columns = {
        {.field = "iename", .caption = "收入项目", .width = 200, .ellipsis = true},
        {.field = "AMOUNT", .caption = "金额", .width = 130},
        {.field = "REMARK", .width = 420},
    },
};

pk_note::FormClassRegistrar reg("TInComeForm", [](QWidget *owner) { return CreateNoteForm<TInComeForm>(owner); });

} // namespace

TInComeForm::TInComeForm(QWidget *owner) : TItemNoteForm({master, lines, 1, "收入项目", false}, owner) {}
