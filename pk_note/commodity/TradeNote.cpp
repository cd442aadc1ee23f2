#include "TradeNote.h"

#include "DataAccess.h"
#include "Lookup.h"
#include "Messages.h"
#include "Notepublic.h"
#include "Rounding.h"
#include "SysParams.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"

#include <QWidget>

#include <cmath>

namespace trade {

const SideNames kSupplierSide{
    .side = 1,
    .noteType = 4,
    .masterTable = "purchasepth",
    .detailTable = "purchasepthDetail",
    .sequenceParam = "IsPSequence",
    .partnerMissing = "供应商不能为空",
    .payEmpty = "本次现付不能为空",
    .payMustBeNegative = "本次现付必须小于0！",
    .payMustBePositive = "本次现付必须大于0！",
    .creditExceeded = "此供应商的欠款已经超出其信用额度：",
    .choosePartner = "请选择供应商！",
    .settledAlready = "采购单已结算完毕,无法生成付款单.",
    .notAudited = "采购单没有审核或已经被作废,无法生成付款单.",
    .sourceTypeInSequence = {2, 4, 3},
    .sourceTypeOutOfSequence = {21, 22, 3},
    .pickerFilterInSequence = "closed=0 and Kind<8",
    .pickerFilterOutOfSequence = "closed=0 and Kind > 3 and Kind<8 and Kind <> 5",
};

const SideNames kCustomerSide{
    .side = 2,
    .noteType = 14,
    .masterTable = "salesth",
    .detailTable = "salesthDetail",
    .sequenceParam = "IsSSequence",
    .partnerMissing = "客户不能为空",
    .payEmpty = nullptr,
    .payMustBeNegative = "本次现收必须小于0！",
    .payMustBePositive = "本次现收必须大于0！",
    .creditExceeded = "此客户的欠款已经超出其信用额度：",
    .choosePartner = "请选择客户！",
    .settledAlready = "销售单已结算完毕,无法生成收款单.",
    .notAudited = "销售单没有审核或已经被作废,无法生成收款单.",
    .sourceTypeInSequence = {12, 14, 13},
    .sourceTypeOutOfSequence = {22, 21, 13},
    .pickerFilterInSequence = "closed=0 and Kind<8",
    .pickerFilterOutOfSequence = "closed=0 and Kind > 3 and Kind<8 and Kind <> 6",
};

namespace {

QString text(const char *s) { return QString::fromUtf8(s); }

QVariant value(const data::ClientDataSet &master, const char *name)
{
    const data::Field *f = master.FindField(QString::fromLatin1(name));
    return f && !f->IsNull() ? f->Value() : QVariant();
}

qint64 idOf(const QVariant &v) { return v.isNull() ? 0 : v.toLongLong(); }

void clear(data::ClientDataSet &master, const char *name)
{
    SetFieldValue(master.FindField(QString::fromLatin1(name)), QVariant(), false);
}

} // namespace

void RegisterKindLookups()
{
    constexpr int kPurchaseKinds = 31, kSaleKinds = 32;
    bool have[2] = {false, false};
    for (const pub::LookupDefinition &d : pub::lookupDefinitions()) {
        have[0] |= d.recordType == kPurchaseKinds;
        have[1] |= d.recordType == kSaleKinds;
    }
    if (!have[0])
        pub::registerLookup({kPurchaseKinds, QStringLiteral("PurchaseKind"),
                             QStringLiteral("select ID, NAME from kindamth where KIND = 2"), QStringLiteral("ID")});
    if (!have[1])
        pub::registerLookup({kSaleKinds, QStringLiteral("SaleKind"),
                             QStringLiteral("select ID, NAME from kindamth where KIND = 3"), QStringLiteral("ID")});
}

bool SequenceOn(const SideNames &side) { return LookupSysParam(text(side.sequenceParam)) == QLatin1String("1"); }

QString CommodityFilter(const SideNames &side)
{
    return text(SequenceOn(side) ? side.pickerFilterInSequence : side.pickerFilterOutOfSequence);
}

int TurnInSourceType(const SideNames &side, int kind)
{
    if (kind < 1 || kind > 3)
        return 0;
    return SequenceOn(side) ? side.sourceTypeInSequence[kind - 1] : side.sourceTypeOutOfSequence[kind - 1];
}

bool CheckPayNow(const SideNames &side, const data::ClientDataSet &master)
{
    const QVariant pay = value(master, "PAYAMT");
    if (side.payEmpty && pay.isNull()) {
        ShowError(text(side.payEmpty));
        return false;
    }
    const double payAmt = pay.toDouble();
    const bool isReturn = value(master, "NOTEKIND").toInt() == kReturnKind;
    // A return refunds: what is paid on the spot is 0 or below.
    if (isReturn && payAmt > 0) {
        ShowError(text(side.payMustBeNegative));
        return false;
    }
    if (!isReturn && payAmt < 0) {
        ShowError(text(side.payMustBePositive));
        return false;
    }
    if (payAmt != 0 && idOf(value(master, "PAYTYPESID")) == 0) {
        ShowError(QStringLiteral("请选择结算方式！"));
        return false;
    }
    if (payAmt != 0 && idOf(value(master, "ACCOUNTID")) == 0) {
        ShowError(QStringLiteral("请选择结算帐户！"));
        return false;
    }
    if (value(master, "TERMDAYS").toInt() < 0) {
        ShowError(QStringLiteral("付款期限不能小于0"));
        return false;
    }
    return true;
}

bool ConfirmCashPartner(bool cashPartner, double amount, double payAmt)
{
    if (!cashPartner || FormatAmount(std::fabs(amount) - std::fabs(payAmt)) == 0)
        return true;
    return ShowOkCancelQuestion(QStringLiteral("你选的是现金往来单位，本次现付（收）金额要与货品金额和相等，是否修改？"),
                                QStringLiteral("提示"))
           != AnswerOk;
}

void ShowCreditInformation(const SideNames &side, qint64 partnerId, double balance, double amount, double payAmt)
{
    if (partnerId == 0)
        return;
    QVariant credit;
    GetValueOfSql(QStringLiteral("select Credit from partnerlth where partnerID=") + QString::number(partnerId), credit);
    const double limit = credit.toDouble();
    if (limit > 0 && FormatAmount(balance + amount - limit - payAmt) > 0.001)
        ShowInformation(text(side.creditExceeded) + BalanceText(limit));
}

PartnerState ReadPartner(qint64 partnerId)
{
    PartnerState state;
    if (partnerId == 0)
        return state;
    const QString id = QString::number(partnerId);
    QVariant cash;
    GetValueOfSql(QStringLiteral("select IsCashpartner from partnerlth where partnerID=") + id, cash);
    state.cash = cash.toInt() == 1;
    AutoQuery q = CreateAutoQuery(QStringLiteral("select Round(SCAMT,6) as SCAMT,Name from partnerlth where partnerID=") + id);
    if (!q->IsEmpty())
        state.balance = q->FieldByName(QStringLiteral("SCAMT")).AsFloat();
    return state;
}

QString BalanceText(double balance) { return QString::asprintf("%*.*f", 1, AmountDecimals(), balance); }

void PayAmtChanged(data::Field &payAmt, data::ClientDataSet &master)
{
    if (!payAmt.IsNull()) {
        const double rounded = FormatAmount(payAmt.AsFloat());
        if (rounded != payAmt.AsFloat())
            payAmt.SetValueSilent(rounded);
    }
    if (payAmt.IsNull() || payAmt.AsFloat() == 0)
        for (const char *name : {"PAYTYPESID", "ACCOUNTID", "CHECKNO"})
            clear(master, name);
}

bool PayNowTextEnables(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t == QLatin1String("-"))
        return false;
    bool ok = false;
    const double v = t.toDouble(&ok);
    return !ok || v != 0;
}

void EnablePayControls(QWidget *form, const QString &payNowText)
{
    const bool on = PayNowTextEnables(payNowText);
    for (const char *name : {"cmbPayType", "lbPayType", "cmbAccount", "lbAccount", "edCheckNo", "lbCheckNo"})
        if (auto *w = form->findChild<QWidget *>(QString::fromLatin1(name)))
            w->setEnabled(on);
}

void PayDayChanged(data::Field &field, data::ClientDataSet &master)
{
    if (field.IsNull())
        return;
    const QDate noteDate = value(master, "NOTEDATE").toDate();
    if (noteDate.isValid())
        SetFieldValue(master.FindField(QStringLiteral("TERMDAYS")), noteDate.daysTo(field.AsDate()), false);
}

void TermDaysChanged(data::Field &field, data::ClientDataSet &master)
{
    if (field.IsNull())
        return;
    const QDate noteDate = value(master, "NOTEDATE").toDate();
    if (noteDate.isValid())
        SetFieldValue(master.FindField(QStringLiteral("PAYDAY")), noteDate.addDays(field.AsInteger()), false);
}

void NoteDateChanged(data::Field &field, data::ClientDataSet &master)
{
    if (field.IsNull() || !field.AsDate().isValid())
        return;
    SetFieldValue(master.FindField(QStringLiteral("PAYDAY")),
                  field.AsDate().addDays(value(master, "TERMDAYS").toInt()), false);
}

QString CloseFillMark(int closeFill)
{
    if (closeFill == 2)
        return QStringLiteral("完成开票");
    if (closeFill == 1)
        return QStringLiteral("终止开票");
    return {};
}

QString CloseFillMenuCaption(int closeFill)
{
    return closeFill == 1 ? QStringLiteral("反终止开票...") : QStringLiteral("终止开票...");
}

bool ToggleCloseFill(const SideNames &side, qint64 noteId, int closeFill)
{
    if (closeFill == 2) {
        ShowError(QStringLiteral("已完成开票！不允许再终止开票！"));
        return false;
    }
    SqlExecute(QStringLiteral("Update ") + text(side.masterTable)
                   + QStringLiteral(" Set Closefill =:Closefill where noteID=:noteID"),
               {{QStringLiteral("Closefill"), 1 - closeFill}, {QStringLiteral("noteID"), noteId}});
    return true;
}

bool PaymentAllowed(const SideNames &side, const data::ClientDataSet &master)
{
    if (idOf(value(master, "SHOPERATEID")) != 0) {
        ShowWarning(QStringLiteral("分支的单据不能做此业务。"));
        return false;
    }
    if (std::fabs(value(master, "AMOUNT").toDouble()) - std::fabs(value(master, "REFERAMT").toDouble()) < 0.000001) {
        ShowError(text(side.settledAlready));
        return false;
    }
    if (value(master, "NOTESTATE").toInt() != 1) {
        ShowError(text(side.notAudited));
        return false;
    }
    return true;
}

std::optional<ReturnSource> ReadReturnSource(const SideNames &side, qint64 noteId)
{
    const QString id = QString::number(noteId);
    AutoQuery m = CreateAutoQuery(QStringLiteral("select * from ") + text(side.masterTable)
                                  + QStringLiteral(" where noteID=") + id);
    if (m->IsEmpty())
        return std::nullopt;
    if (idOf(m->FieldByName(QStringLiteral("SHOPERATEID")).Value()) != 0) {
        ShowWarning(QStringLiteral("分支的单据不能做此业务。"));
        return std::nullopt;
    }
    AutoQuery d = CreateAutoQuery(QStringLiteral("select * from ") + text(side.detailTable)
                                  + QStringLiteral(" where Quantity-abs(ReferQty)>0.000001 and noteID=") + id);
    if (d->IsEmpty()) {
        ShowError(QStringLiteral("此单已经完全退货！"));
        return std::nullopt;
    }
    ReturnSource source;
    source.noteId = noteId;
    source.noteCode = m->FieldByName(QStringLiteral("NOTECODE")).AsString();
    source.partnerId = m->FieldByName(QStringLiteral("PARTNERID")).Value();
    for (d->First(); !d->Eof(); d->Next()) {
        auto f = [&d](const char *name) { return d->FieldByName(QString::fromLatin1(name)).Value(); };
        ReturnLine l;
        l.itemsNo = d->FieldByName(QStringLiteral("ITEMSNO")).AsInteger();
        l.commodityId = f("COMMODITYID");
        l.storeId = f("BUILDINGID");
        l.taxRate = f("TAXRATE");
        l.disc = f("DISC");
        l.price = f("PRICE");
        l.bcode = f("BCODE");
        l.productDay = f("PRODUCTDAY");
        l.validDay = f("VALIDDAY");
        l.quantity = FormatQuantity(d->FieldByName(QStringLiteral("QUANTITY")).AsFloat()
                                    - std::fabs(d->FieldByName(QStringLiteral("REFERQTY")).AsFloat()));
        l.batchFlowId = BatchFlowId(side.noteType, noteId, l.itemsNo);
        source.lines << l;
    }
    return source;
}

QVariant BatchFlowId(int noteType, qint64 noteId, qint64 itemsNo)
{
    QVariant id;
    GetValueOfSql(QStringLiteral("select ID from noteflowaath where noteType=") + QString::number(noteType)
                      + QStringLiteral(" and noteID=") + QString::number(noteId) + QStringLiteral(" and itemsno=")
                      + QString::number(itemsNo),
                  id);
    return id;
}

} // namespace trade
