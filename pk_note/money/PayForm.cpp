#include "PayForm.h"

#include "Lookup.h"
#include "PackageWindows.h"

#include <deque>

using basenote::Ctl;

namespace {

// The payment kinds of the kind combo ("dsPayKind").
constexpr int kPayKinds = 61;

void registerPayKinds()
{
    for (const pub::LookupDefinition &d : pub::lookupDefinitions())
        if (d.recordType == kPayKinds)
            return;
    pub::registerLookup({kPayKinds, QStringLiteral("PayKind"),
                         QStringLiteral("select 1 as ID, '预付款' as NAME union all select 2 as ID, '结算单据' as NAME"),
                         QStringLiteral("ID")});
}

// Declarations live for the program's life; their composed texts too.
const char *kept(const QString &text)
{
    static std::deque<QByteArray> store;
    store.push_back(text.toUtf8());
    return store.back().constData();
}

// The master of both kinds; only the table, the caption and the labels differ.
basenote::Resource moneyMaster(const char *form, const char *caption, int type, const char *table,
                               const char *amountCaption)
{
    return {
        .formName = form,
        .caption = caption,
        .noteType = type,
        .masterSql = kept(QStringLiteral("select m.*, s.SUBCODE, kt.NAME + ' ' + k.CREDNO as CredCode from %1 m "
                                         "left join subjectalth s on s.SUBJECTID = m.SUBID "
                                         "left join kredaath k on k.CREDID = m.CREDID "
                                         "left join kredtypealth kt on kt.ID = k.CREDTYPEID")
                              .arg(QLatin1String(table))),
        .controls = {
            {"PARTNERID", "往来单位", Ctl::Lookup, "cmbPartner", "dspartner", "Closed=0 and partnerid>0 ", 2},
            {"NOTEKIND", "付款类型", Ctl::Lookup, "cmbnoteKind", "dsPayKind"},
            {"PAYTYPESID", "结算方式", Ctl::Lookup, "cmbPayType", "dsPayMethod", "Poupflag <>2 and Poupflag <> 3"},
            {"ACCOUNTID", "结算帐户", Ctl::Lookup, "cmbAccount", "dsAccount", "Closed = 0"},
            {"CHECKNO", "票号", Ctl::Edit, "edCheckNo"},
            {"AMOUNT", amountCaption, Ctl::Edit, "edAmount", nullptr, nullptr, 1, false, "#0.00"},
            {"DISC", "整单折扣", Ctl::Edit, "edDisc"},
            {"FACTAMT", "实付金额", Ctl::Edit, "edFactAmt", nullptr, nullptr, 1, false, "#0.00"},
        },
        .lookups = {QStringLiteral("qryPartner"), QStringLiteral("qryPayMethod"), QStringLiteral("qryAccount"),
                    QStringLiteral("qryPayKind")},
        .columns = 4,
        .size = {1040, 620},
    };
}

// The settled note's number, date, amount, what others settled and what is
// still open for this note. REFERAMT counts this note's own lines once it is
// audited (the audit raised it), so they are taken out again then.
mdnote::DetailResource moneyLines(const char *lines, const char *master, const char *settled, const char *nowCaption)
{
    return {
        .detailSql = kept(QStringLiteral(
            "select m.*, case when m.RefernoteId<0 then (case when m.RefernoteType=14 then '期初应收' else '期初应付' end) "
            "else p.NOTECODE end as NOTECODE, p.NOTEDATE as NOTEDATE, p.AMOUNT as TOTAL, "
            "case when h.NOTESTATE=1 then p.REFERAMT-m.AMOUNT else p.REFERAMT end as REFERAMT, "
            "case when h.NOTESTATE=1 then p.AMOUNT-p.REFERAMT+m.AMOUNT else p.AMOUNT-p.REFERAMT end as SHOULDPAYAMT, "
            "0 as PAYNOW from %1 m left join %2 h on h.NOTEID=m.NOTEID left join %3 p on p.NOTEID=m.REFERNOTEID")
                              .arg(QLatin1String(lines), QLatin1String(master), QLatin1String(settled))),
        .detailTable = lines,
        .columns = {
            {.field = "NOTECODE", .caption = "单据编号", .width = 140, .readOnly = true},
            {.field = "NOTEDATE", .caption = "单据日期", .width = 90, .readOnly = true},
            {.field = "TOTAL", .caption = "单据金额", .width = 100, .displayFormat = "#0.00", .readOnly = true, .total = true},
            {.field = "REFERAMT", .caption = "已结算金额", .width = 100, .displayFormat = "#0.00", .readOnly = true},
            {.field = "SHOULDPAYAMT", .caption = "未结算金额", .width = 100, .displayFormat = "#0.00", .readOnly = true,
             .total = true},
            {.field = "PAYNOW", .caption = "选择", .width = 40, .readOnly = true},
            {.field = "AMOUNT", .caption = nowCaption, .width = 110, .displayFormat = "#0.00", .total = true},
            {.field = "REMARK", .caption = "备注", .width = 240},
        },
    };
}

const basenote::Resource payMaster = moneyMaster("PayForm", "应付款单", 61, "payath", "付款金额");
const basenote::Resource chargeMaster = moneyMaster("GetMoneyForm", "应收款单", 62, "chargeath", "收款金额");
const mdnote::DetailResource payLines = moneyLines("payathdetail", "payath", "purchasepth", "本次付款");
const mdnote::DetailResource chargeLines = moneyLines("Chargeathdetail", "chargeath", "salesth", "本次收款");

const MoneynoteKind payKind{payMaster, payLines, 4, "purchasepth", "采购单", "采购开单"};
const MoneynoteKind chargeKind{chargeMaster, chargeLines, 14, "salesth", "销售单", "销售开单"};

// The kind list exists before the window binds its combo to it.
const MoneynoteKind &declared(const MoneynoteKind &kind)
{
    registerPayKinds();
    return kind;
}

pk_note::FormClassRegistrar regPay("TPayForm", [](QWidget *owner) { return CreateNoteForm<TPayForm>(owner); });
pk_note::FormClassRegistrar regCharge("TGetMoneyForm",
                                      [](QWidget *owner) { return CreateNoteForm<TGetMoneyForm>(owner); });

} // namespace

TPayForm::TPayForm(QWidget *owner) : TMoneynoteForm(declared(payKind), owner) {}

TGetMoneyForm::TGetMoneyForm(QWidget *owner) : TMoneynoteForm(declared(chargeKind), owner) {}
