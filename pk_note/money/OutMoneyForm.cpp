#include "OutMoneyForm.h"

#include "ItemLines.h"
#include "Notepublic.h"
#include "PackageWindows.h"
#include "Pub.h"
#include "widgets/DBGrid.h"

#include <QHeaderView>

using basenote::Ctl;
using data::Field;

namespace {

constexpr int kExpenseItems = 0; // ietypelth.stype of expense items

const basenote::Resource &masterResource()
{
    static const basenote::Resource r{
        .formName = "OutMoneyForm",
        .caption = "费用开支单",
        .noteType = 52,
        .masterSql = "select m.* from expenseath m",
        .controls = {
            {"PARTNERID", "客户", Ctl::Lookup, "cmbPartner", "dspartner", "IsClient=1 and Closed=0 and partnerID>0", 0, 0},
            {"PAYTYPESID", "结算方式", Ctl::Lookup, "cmbPayType", "dsPayMethod", "Poupflag <>2 and Poupflag <> 3", 0, 1},
            {"ACCOUNTID", "结算帐户", Ctl::Lookup, "cmbAccount", "dsAccount", "Closed = 0", 0, 2},
            {"CHECKNO", "票号", Ctl::Edit, "edCheckNo", nullptr, nullptr, 1, 0},
        },
        .lookups = {QStringLiteral("qryPartner"), QStringLiteral("qryPayMethod"), QStringLiteral("qryAccount")},
        .columns = 3,
        .size = {900, 560},
    };
    return r;
}

const mdnote::DetailResource &detailResource()
{
    static const mdnote::DetailResource r{
        .detailSql = "select m.*, t.iename from expenseathdetail m left join ietypelth t on t.IETYPESID = m.IETYPESID",
        .detailTable = "expenseathdetail",
        .columns = {
            {.field = "iename", .caption = "费用项目", .width = 200, .ellipsis = true},
            {.field = "AMOUNT", .caption = "金额", .width = 130, .displayFormat = "#0.00", .total = true},
            {.field = "REMARK", .caption = "备注", .width = 420},
        },
    };
    return r;
}

pk_note::FormClassRegistrar reg("TOutMoneyForm", [](QWidget *owner) { return CreateNoteForm<TOutMoneyForm>(owner); });

} // namespace

TOutMoneyForm::TOutMoneyForm(QWidget *owner) : TMDnoteForm(masterResource(), detailResource(), owner)
{
    ItemGrid->SetEditButtonHandler([this](widgets::TRqDBGrid *grid, int column) {
        if (!ReadOnly() && grid->Column(column).FieldName.compare(QLatin1String("iename"), Qt::CaseInsensitive) == 0)
            PickItem();
    });
    // The remark takes whatever width the window has left.
    ItemGrid->horizontalHeader()->setStretchLastSection(true);
}

const QHash<QString, TOutMoneyForm::Rule> &TOutMoneyForm::fieldRules()
{
    static const QHash<QString, Rule> rules = {
        {QStringLiteral("PARTNERID"), &TOutMoneyForm::partnerChanged},
        {QStringLiteral("PAYTYPESID"), &TOutMoneyForm::payTypeChanged},
    };
    return rules;
}

void TOutMoneyForm::MasterFieldChange(Field &field)
{
    TMDnoteForm::MasterFieldChange(field);
    const auto it = fieldRules().constFind(field.FieldName().toUpper());
    if (it != fieldRules().constEnd())
        (this->*it.value())(field);
}

void TOutMoneyForm::partnerChanged(Field &field)
{
    if (field.IsNull())
        return;
    AutoQuery q = CreateAutoQuery(QStringLiteral("select EMPID, DEPID from partnerlth where partnerid=")
                                  + QString::number(field.AsInteger()));
    if (q->IsEmpty())
        return;
    // The employee first: its own department rule runs, the customer's wins.
    SetFieldValue(MasterField(QStringLiteral("EMPID")), q->FieldByName(QStringLiteral("EMPID")).Value());
    SetFieldValue(MasterField(QStringLiteral("DEPID")), q->FieldByName(QStringLiteral("DEPID")).Value());
}

void TOutMoneyForm::payTypeChanged(Field &field) { moneylines::PayTypeChanged(*this, field); }

void TOutMoneyForm::DetailFieldChange(Field &field)
{
    TMDnoteForm::DetailFieldChange(field);
    moneylines::LineFieldChange(*this, field, kExpenseItems);
}

bool TOutMoneyForm::ValidateNote() { return TMDnoteForm::ValidateNote() && moneylines::ValidateMaster(*this); }

bool TOutMoneyForm::ValidateDetailLines() { return moneylines::HasLines(*this) && TMDnoteForm::ValidateDetailLines(); }

bool TOutMoneyForm::ValidateDetailLine() { return moneylines::ValidateLine(*this); }

bool TOutMoneyForm::PickItem() { return moneylines::PickItem(*this, kExpenseItems); }
