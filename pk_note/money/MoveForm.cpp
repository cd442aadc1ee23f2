#include "MoveForm.h"

#include "PackageWindows.h"
#include "Notepublic.h"
#include "Pub.h"
#include "data/ClientDataSet.h"

#include <QLabel>

using basenote::Ctl;
using data::Field;

namespace {

const basenote::Resource &moveResource()
{
    static const basenote::Resource r{
        .formName = "MoveForm",
        .caption = "银行存取款单",
        .noteType = 51,
        .masterSql = "select m.* from movebth m",
        .controls = {
            {"OUTACCOUNTID", "付款帐户", Ctl::Lookup, "cmbOutAccount", "dsAccount", "Closed = 0", 0, 0, 1, true},
            {"", "调出机构:  总部", Ctl::Label, "lbOutShop", nullptr, nullptr, 0, 1, 2},
            {"INACCOUNTID", "收款帐户", Ctl::Lookup, "cmbInAccount", "dsAccount", "Closed = 0", 1, 0, 1, true},
            {"", "调入机构:  总部", Ctl::Label, "lbInShop", nullptr, nullptr, 1, 1, 2},
            {"AMOUNT", "金额", Ctl::Edit, "edAmount", nullptr, nullptr, 2, 0, 1, true, "#0.00"},
            {"CHECKNO", "支票号", Ctl::Edit, "edCheckNo", nullptr, nullptr, 2, 1},
            {"CREDCODE", "凭证号", Ctl::Edit, "edCredNo", nullptr, nullptr, 2, 2},
            {"PURPOSE", "用途", Ctl::Edit, "edPurpose", nullptr, nullptr, 3, 0, 3},
        },
        .lookups = {QStringLiteral("qryAccount")},
        .columns = 3,
        .size = {900, 340},
    };
    return r;
}

QVariant scalarOf(const QString &sql)
{
    QVariant v;
    GetValueOfSql(sql, v);
    return v;
}

pk_note::FormClassRegistrar reg("TMoveForm", [](QWidget *owner) { return CreateNoteForm<TMoveForm>(owner); });

} // namespace

TMoveForm::TMoveForm(QWidget *owner) : TBasenoteForm(moveResource(), owner)
{
    lbOutShop = findChild<QLabel *>(QStringLiteral("lbOutShop"));
    lbInShop = findChild<QLabel *>(QStringLiteral("lbInShop"));
    // The organisations are information beside the accounts, not input.
    for (QLabel *l : {lbOutShop, lbInShop})
        l->setStyleSheet(QStringLiteral("color: #5a6b80;"));
}

QString TMoveForm::OrganisationText(bool paying, qint64 shopId)
{
    const QString side = paying ? QStringLiteral("调出机构:  ") : QStringLiteral("调入机构:  ");
    if (shopId == 0)
        return side + QStringLiteral("总部");
    return side + scalarOf(QStringLiteral("Select Name from shopdth where Shoperateid =") + QString::number(shopId)).toString();
}

const QHash<QString, TMoveForm::Rule> &TMoveForm::fieldRules()
{
    static const QHash<QString, Rule> rules = {
        {QStringLiteral("OUTACCOUNTID"), &TMoveForm::outAccountChanged},
        {QStringLiteral("INACCOUNTID"), &TMoveForm::inAccountChanged},
        {QStringLiteral("AMOUNT"), &TMoveForm::amountChanged},
    };
    return rules;
}

void TMoveForm::MasterFieldChange(Field &field)
{
    TBasenoteForm::MasterFieldChange(field);
    const auto it = fieldRules().constFind(field.FieldName().toUpper());
    if (it != fieldRules().constEnd())
        (this->*it.value())(field);
}

void TMoveForm::outAccountChanged(Field &field) { accountChanged(field, QStringLiteral("OUTSHOPERATEID")); }
void TMoveForm::inAccountChanged(Field &field) { accountChanged(field, QStringLiteral("INSHOPERATEID")); }

void TMoveForm::amountChanged(Field &field)
{
    if (!field.IsNull())
        SetFieldValueSilent(&field, FormatAmount(field.AsFloat()));
}

void TMoveForm::accountChanged(Field &field, const QString &shopField)
{
    QVariant shop(0);
    if (!field.IsNull())
        shop = scalarOf(QStringLiteral("Select Shoperateid from accountacth where accountID =")
                        + QString::number(field.AsInteger()));
    SetFieldValueSilent(MasterField(shopField), shop.isNull() ? QVariant(0) : shop);
    showOrganisations();
}

void TMoveForm::showOrganisations()
{
    lbOutShop->setText(OrganisationText(true, MasterValue(QStringLiteral("OUTSHOPERATEID"), 0).toLongLong()));
    lbInShop->setText(OrganisationText(false, MasterValue(QStringLiteral("INSHOPERATEID"), 0).toLongLong()));
}

bool TMoveForm::ValidateNote()
{
    if (!TBasenoteForm::ValidateNote())
        return false;
    if (MasterValue(QStringLiteral("OUTACCOUNTID"), 0).toLongLong()
        == MasterValue(QStringLiteral("INACCOUNTID"), 0).toLongLong()) {
        ShowError(QStringLiteral("付款帐户不能和收款帐户一样."));
        return false;
    }
    if (!(MasterValue(QStringLiteral("AMOUNT"), 0).toDouble() > 0)) {
        ShowError(QStringLiteral("金额必须大于零."));
        return false;
    }
    return true;
}

void TMoveForm::UpdateControlStates(const QString &fieldName)
{
    TBasenoteForm::UpdateControlStates(fieldName);
    if (fieldName.isEmpty())
        showOrganisations();
}
