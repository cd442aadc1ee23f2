#include "MoveForm.h"

#include "PackageWindows.h"
#include "Notepublic.h"
#include "Pub.h"
#include "data/ClientDataSet.h"

#include <QLabel>

using basenote::Ctl;
using data::Field;

namespace {

const basenote::Resource moveResource{
    .formName = "MoveForm",
    .caption = "银行存取款单",
    .noteType = 51,
    .masterSql = "select m.* from movebth m",
    .controls = {
        {"OUTACCOUNTID", "付款帐户", Ctl::Lookup, "cmbOutAccount", "dsAccount", "Closed = 0", 1, true},
        {"", "调出机构:  总部", Ctl::Label, "lbOutShop", nullptr, nullptr, 2},
        {"INACCOUNTID", "收款帐户", Ctl::Lookup, "cmbInAccount", "dsAccount", "Closed = 0", 1, true},
        {"", "调入机构:  总部", Ctl::Label, "lbInShop", nullptr, nullptr, 2},
        {"AMOUNT", "金额", Ctl::Edit, "edAmount", nullptr, nullptr, 1, true, "#0.00"},
        {"CHECKNO", "支票号", Ctl::Edit, "edCheckNo"},
        {"CREDCODE", "凭证号", Ctl::Edit, "edCredNo"},
        {"PURPOSE", "用途", Ctl::Edit, "edPurpose", nullptr, nullptr, 3},
    },
    .lookups = {QStringLiteral("qryAccount")},
    .columns = 3,
    .size = {900, 340},
};

QVariant scalarOf(const QString &sql)
{
    QVariant v;
    GetValueOfSql(sql, v);
    return v;
}

pk_note::FormClassRegistrar reg("TMoveForm", [](QWidget *owner) { return CreateNoteForm<TMoveForm>(owner); });

} // namespace

TMoveForm::TMoveForm(QWidget *owner) : TBasenoteForm(moveResource, owner)
{
    lbOutShop = &RequireChild<QLabel>(QStringLiteral("lbOutShop"));
    lbInShop = &RequireChild<QLabel>(QStringLiteral("lbInShop"));
    // The organisations are information beside the accounts, not input.
    for (QLabel *l : {lbOutShop, lbInShop})
        l->setStyleSheet(QStringLiteral("color: #5a6b80;"));
    AddMasterRule(QStringLiteral("OUTACCOUNTID"), [this](Field &f) { accountChanged(f, QStringLiteral("OUTSHOPERATEID")); });
    AddMasterRule(QStringLiteral("INACCOUNTID"), [this](Field &f) { accountChanged(f, QStringLiteral("INSHOPERATEID")); });
    AddMasterRule(QStringLiteral("AMOUNT"), [](Field &f) {
        if (!f.IsNull())
            SetFieldValueSilent(&f, FormatAmount(f.AsFloat()));
    });
}

QString TMoveForm::OrganisationText(bool paying, qint64 shopId)
{
    const QString side = paying ? QStringLiteral("调出机构:  ") : QStringLiteral("调入机构:  ");
    if (shopId == 0)
        return side + QStringLiteral("总部");
    return side + scalarOf(QStringLiteral("Select Name from shopdth where Shoperateid =") + QString::number(shopId)).toString();
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
