#include "ShipBillForm.h"

#include "Notepublic.h"
#include "PackageWindows.h"
#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"

#include <QHeaderView>

using basenote::Ctl;
using data::Field;

namespace {

const basenote::Resource master{
    .formName = "ShipBillForm",
    .caption = "进出口业务揽货卡.",
    .noteType = 99,
    .masterSql = "select m.*, p.CONTACTOR, p.TEL1, p.PHONE, p.FAX from ShipBill m "
                 "left join Partnerlth p on p.PARTNERID = m.PARTNERID",
    .controls = {
        {"PARTNERID", "客    户", Ctl::Lookup, "cmbPartner", "dspartner", "IsClient=1 and Closed=0 and partnerID>0"},
        {"CONTACTOR", "联系人", Ctl::Text, "txtContactor"},
        {"TEL1", "电话", Ctl::Text, "txtTel1"},
        {"FAX", "传真", Ctl::Text, "txtFax"},
        {"BILLNO", "提单号", Ctl::Edit, "edBillNo"},
        {"SHIPPER", "发货人", Ctl::Edit, "edShipper", nullptr, nullptr, 3},
        {"LOADPORT", "装货港", Ctl::Edit, "edLoadPort"},
        {"TRANSITPORT", "中转港", Ctl::Edit, "edTransitPort"},
        {"DESTPORT", "目的港", Ctl::Edit, "edDestPort"},
        {"SHIPCOMPANY", "船公司", Ctl::Edit, "edShipCompany"},
        {"VESSEL", "船名航次", Ctl::Edit, "edVessel"},
        {"SAILDATE", "开航日期", Ctl::Date, "edSailDate"},
        {"ARRIVEDATE", "到港日期", Ctl::Date, "edArriveDate"},
        {"PIECES", "件数", Ctl::Edit, "edPieces", nullptr, nullptr, 1, false, "#0.####"},
        {"WEIGHT", "毛重(KG)", Ctl::Edit, "edWeight", nullptr, nullptr, 1, false, "#0.####"},
        {"VOLUME", "体积(CBM)", Ctl::Edit, "edVolume", nullptr, nullptr, 1, false, "#0.####"},
        {"CON20", "20'", Ctl::Edit, "edCon20"},
        {"CON40", "40'", Ctl::Edit, "edCon40"},
        {"CON40HQ", "40'HQ", Ctl::Edit, "edCon40HQ"},
        {"BROKER", "报关行", Ctl::Edit, "edBroker"},
        {"TRUCKING", "拖车", Ctl::Edit, "edTrucking"},
        {"PROFIT", "利润", Ctl::Text, "txtProfit", nullptr, nullptr, 1, false, "#0.00"},
    },
    .lookups = {QStringLiteral("qryPartner")},
    .columns = 4,
    .size = {1160, 680},
    .tableName = "ShipBill",
};

const mdnote::DetailResource lines{
    .detailSql = "select m.*, i.CODE as ITEMCODE, i.MONEYITEM from shipbilldetail m "
                 "left join ShipMoneyItem i on i.ID = m.MONEYITEMID",
    .detailTable = "shipbilldetail",
    .columns = {
        {.field = "ITEMCODE", .caption = "费用编号", .width = 100},
        {.field = "MONEYITEM", .caption = "费用项目", .width = 200, .readOnly = true},
        {.field = "GETAMOUNT", .caption = "应收金额", .width = 120, .displayFormat = "#0.00"},
        {.field = "PAYAMOUNT", .caption = "应付金额", .width = 120, .displayFormat = "#0.00"},
        {.field = "REMARK", .width = 360},
    },
};

pk_note::FormClassRegistrar reg("TShipBillForm", [](QWidget *owner) { return CreateNoteForm<TShipBillForm>(owner); });

} // namespace

TShipBillForm::TShipBillForm(QWidget *owner) : TMDnoteForm(master, lines, owner)
{
    AddMasterRule(QStringLiteral("PARTNERID"), [this](Field &f) { partnerChanged(f); });
    AddDetailRule(QStringLiteral("ITEMCODE"), [this](Field &f) { itemCodeTyped(f); });
    for (const char *amount : {"GETAMOUNT", "PAYAMOUNT"})
        AddDetailRule(QString::fromLatin1(amount), [this](Field &f) {
            if (!f.IsNull())
                SetFieldValueSilent(&f, FormatAmount(f.AsFloat()));
            showProfit();
        });
    ItemGrid->horizontalHeader()->setStretchLastSection(true);
}

void TShipBillForm::partnerChanged(Field &field)
{
    // The customer's contact shows at once; the books keep only the customer.
    AutoQuery q = CreateAutoQuery(QStringLiteral("select CONTACTOR, TEL1, PHONE, FAX from partnerlth where partnerID=")
                                  + QString::number(field.IsNull() ? 0 : field.Value().toLongLong()));
    for (const char *name : {"CONTACTOR", "TEL1", "PHONE", "FAX"})
        if (Field *f = cdsMaster->FindField(QString::fromLatin1(name)))
            SetFieldValueSilent(f, q->IsEmpty() ? QVariant() : q->FieldByName(QString::fromLatin1(name)).Value());
}

void TShipBillForm::putLine(const char *name, const QVariant &value)
{
    if (cdsDetail->State() != data::DataSetState::Edit && cdsDetail->State() != data::DataSetState::Insert)
        cdsDetail->Edit();
    SetFieldValueSilent(DetailField(QString::fromLatin1(name)), value);
}

void TShipBillForm::itemCodeTyped(Field &field)
{
    const QString text = field.AsString().trimmed();
    AutoQuery q = CreateAutoQuery(QStringLiteral("select ID, CODE, MONEYITEM from ShipMoneyItem where Closed=0 and (CODE=")
                                  + QuotedStr(text) + QStringLiteral(" or MONEYITEM=") + QuotedStr(text)
                                  + QStringLiteral(")"));
    if (text.isEmpty() || q->IsEmpty()) {
        putLine("MONEYITEMID", QVariant());
        putLine("MONEYITEM", QVariant());
        if (!text.isEmpty()) {
            putLine("ITEMCODE", QVariant());
            ShowError(QStringLiteral("费用项目[") + text + QStringLiteral("]不存在."));
        }
        return;
    }
    putLine("MONEYITEMID", q->FieldByName(QStringLiteral("ID")).Value());
    putLine("ITEMCODE", q->FieldByName(QStringLiteral("CODE")).Value());
    putLine("MONEYITEM", q->FieldByName(QStringLiteral("MONEYITEM")).Value());
}

double TShipBillForm::Profit() const
{
    double profit = 0;
    if (!cdsDetail->Active())
        return 0;
    const Field *get = cdsDetail->FindField(QStringLiteral("GETAMOUNT"));
    const Field *pay = cdsDetail->FindField(QStringLiteral("PAYAMOUNT"));
    for (int row = 0; row < cdsDetail->RecordCount(); ++row)
        profit += cdsDetail->ValueAt(row, get->Index()).toDouble() - cdsDetail->ValueAt(row, pay->Index()).toDouble();
    return FormatAmount(profit);
}

void TShipBillForm::showProfit()
{
    if (ReadOnly() || cdsMaster->State() == data::DataSetState::Browse)
        return;
    SetFieldValueSilent(MasterField(QStringLiteral("PROFIT")), Profit());
}

bool TShipBillForm::ValidateNote()
{
    if (MasterValue(QStringLiteral("PARTNERID"), 0).toLongLong() == 0) {
        ShowError(QStringLiteral("客户不能为空"));
        return false;
    }
    return TMDnoteForm::ValidateNote();
}

bool TShipBillForm::ValidateDetailLine()
{
    if (DetailValue(QStringLiteral("MONEYITEMID"), 0).toLongLong() == 0) {
        ShowError(QStringLiteral("请输入费用项目."));
        return false;
    }
    return TMDnoteForm::ValidateDetailLine();
}

void TShipBillForm::PrepareSave()
{
    TMDnoteForm::PrepareSave();
    if (cdsMaster->State() == data::DataSetState::Browse)
        cdsMaster->Edit();
    // What the customer is charged is the note's amount; the profit what is left of it.
    double received = 0;
    if (cdsDetail->Active()) {
        const Field *get = cdsDetail->FindField(QStringLiteral("GETAMOUNT"));
        for (int row = 0; row < cdsDetail->RecordCount(); ++row)
            received += cdsDetail->ValueAt(row, get->Index()).toDouble();
    }
    SetFieldValueSilent(MasterField(QStringLiteral("AMOUNT")), FormatAmount(received));
    SetFieldValueSilent(MasterField(QStringLiteral("PROFIT")), Profit());
}
