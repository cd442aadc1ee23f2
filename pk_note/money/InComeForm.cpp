#include "InComeForm.h"

#include "ItemLines.h"
#include "Notepublic.h"
#include "PackageWindows.h"
#include "Pub.h"
#include "widgets/DBGrid.h"

#include <QHeaderView>

using basenote::Ctl;
using data::Field;

namespace {

constexpr int kIncomeItems = 1; // ietypelth.stype of income items

const basenote::Resource &masterResource()
{
    static const basenote::Resource r{
        .formName = "InComeForm",
        .caption = "其他收入单",
        .noteType = 53,
        .masterSql = "select m.* from InComebth m",
        .controls = {
            {"PAYTYPESID", "结算方式", Ctl::Lookup, "cmbPayType", "dsPayMethod", "Poupflag <>2 and Poupflag <> 3", 0, 0},
            {"ACCOUNTID", "结算帐户", Ctl::Lookup, "cmbAccount", "dsAccount", "Closed = 0", 0, 1},
            {"CHECKNO", "票号", Ctl::Edit, "edCheckNo", nullptr, nullptr, 0, 2},
        },
        .lookups = {QStringLiteral("qryPayMethod"), QStringLiteral("qryAccount")},
        .columns = 3,
        .size = {900, 520},
    };
    return r;
}

const mdnote::DetailResource &detailResource()
{
    static const mdnote::DetailResource r{
        .detailSql = "select m.*, t.iename from InComebthdetail m left join ietypelth t on t.IETYPESID = m.IETYPESID",
        .detailTable = "InComebthdetail",
        .columns = {
            {.field = "iename", .caption = "收入项目", .width = 200, .ellipsis = true},
            {.field = "AMOUNT", .caption = "金额", .width = 130, .displayFormat = "#0.00", .total = true},
            {.field = "REMARK", .caption = "备注", .width = 420},
        },
    };
    return r;
}

pk_note::FormClassRegistrar reg("TInComeForm", [](QWidget *owner) { return CreateNoteForm<TInComeForm>(owner); });

} // namespace

TInComeForm::TInComeForm(QWidget *owner) : TMDnoteForm(masterResource(), detailResource(), owner)
{
    ItemGrid->SetEditButtonHandler([this](widgets::TRqDBGrid *grid, int column) {
        if (!ReadOnly() && grid->Column(column).FieldName.compare(QLatin1String("iename"), Qt::CaseInsensitive) == 0)
            PickItem();
    });
    // The remark takes whatever width the window has left.
    ItemGrid->horizontalHeader()->setStretchLastSection(true);
}

const QHash<QString, TInComeForm::Rule> &TInComeForm::fieldRules()
{
    static const QHash<QString, Rule> rules = {
        {QStringLiteral("PAYTYPESID"), &TInComeForm::payTypeChanged},
    };
    return rules;
}

void TInComeForm::MasterFieldChange(Field &field)
{
    TMDnoteForm::MasterFieldChange(field);
    const auto it = fieldRules().constFind(field.FieldName().toUpper());
    if (it != fieldRules().constEnd())
        (this->*it.value())(field);
}

void TInComeForm::payTypeChanged(Field &field) { moneylines::PayTypeChanged(*this, field); }

void TInComeForm::DetailFieldChange(Field &field)
{
    TMDnoteForm::DetailFieldChange(field);
    moneylines::LineFieldChange(*this, field, kIncomeItems);
}

bool TInComeForm::ValidateNote() { return TMDnoteForm::ValidateNote() && moneylines::ValidateMaster(*this); }

bool TInComeForm::ValidateDetailLines() { return moneylines::HasLines(*this) && TMDnoteForm::ValidateDetailLines(); }

bool TInComeForm::ValidateDetailLine() { return moneylines::ValidateLine(*this); }

bool TInComeForm::PickItem() { return moneylines::PickItem(*this, kIncomeItems); }
