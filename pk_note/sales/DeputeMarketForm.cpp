#include "DeputeMarketForm.h"

#include "DataAccess.h"
#include "Messages.h"
#include "Notepublic.h"
#include "Pk_note_itf.h"
#include "PricePolicyForms.h"
#include "Pub.h"
#include "SNOrderForm.h"
#include "data/ClientDataSet.h"
#include "data/Field.h"

#include <QScopeGuard>

using basenote::Ctl;
using data::Field;

namespace {

const basenote::Resource master{
    .formName = "DeputeMarketForm",
    .caption = "委销单",
    .noteType = 13,
    .masterSql = "select m.* from DeputeMarketsth m",
    .controls = {
        {"NOTEKIND", "单据类型", Ctl::Lookup, "cmbNoteKind", "dsDeputeKind"},
        {"PARTNERID", "客    户", Ctl::Lookup, "cmbPartner", "dspartner", "IsClient=1 and Closed=0 and partnerID>0"},
        {"DISC", "折扣", Ctl::Edit, "edDisc"},
        {"TERMDAYS", "收款期限", Ctl::Edit, "edTermDays"},
        {"NOTETO", "送货地址", Ctl::Edit, "edNoteTo", nullptr, nullptr, 2},
    },
    .lookups = {QStringLiteral("qryDeputeKind"), QStringLiteral("qryPartner")},
    .size = {1160, 640},
    .tableName = "DeputeMarketsth",
};

const mdnote::DetailResource lines{
    .detailSql = PURCHASE_FAMILY_LINE_SQL("DeputeMarketsthDetail"),
    .detailTable = "DeputeMarketsthDetail",
    .columns = {{"COMMODITYCODE"}, {"COMMODITYNAME"}, {"SPEC"}, {"UNITNAME"}, {"STORECODE"}, {"BUILDINGNAME"},
                {"QUANTITY"}, {"ORIGPRICE"}, {"DISC"}, {"PRICE"}, {"TAXRATE"}, {"TAXPRICE"}, {"COMMODITYAMT"},
                {"TAXAMT"}, {"AMOUNT"},
                {.field = "APRICE", .caption = "成本价", .width = 80, .displayFormat = "#0.########"},
                {.field = "BALQTY", .caption = "已结算数量", .width = 80, .displayFormat = "#0.####", .readOnly = true},
                {.field = "REFERQTY", .caption = "已退回数量"}, {"BCODE"}, {"PRODUCTDAY"}, {"VALIDDAY"}, {"REMARK"}},
};

constexpr int kReturnKind = 2;

const ValueSide consignment{
    .trade = trade::kCustomerSide,
    .master = master,
    .lines = lines,
    .kindLookup = 213,
    .kindLookupName = "DeputeKind",
    .kindLookupSql = "select 1 as ID, '委托代销' as NAME union all select 2, '委托代销退货'",
    .returnKind = kReturnKind,
    .systemKind = 0,
    // Returns take REFERQTY, settling sales BALQTY.
    .openQuantity = "Quantity-Abs(ReferQty)-Abs(BalQty)",
    .turnInInSequence = 12,
    .turnInOutOfSequence = 22,
    .turnInReturn = 13,
    .makeAction = "muSale",
    .makeCaption = "生成销售开单...",
    .makeForm = "SaleForm",
    .makeRefused = "已经冲回不能再生成销售单",
    .reverseAction = "muDepute",
    .reverseCaption = "生成委托销售退货单...",
    .uncheckRefused = "估价冲回单不能反审核！",
    .uncheckRefusedKind = kReturnKind,
    .unabateRefused = nullptr,
    .priceClass = 2,
};

pk_note::FormClassRegistrar reg("TDeputeMarketForm",
                                [](QWidget *owner) { return CreateNoteForm<TDeputeMarketForm>(owner); });

qint64 asId(const QVariant &v) { return v.isNull() ? 0 : v.toLongLong(); }

} // namespace

TDeputeMarketForm::TDeputeMarketForm(QWidget *owner) : TPValueForm(consignment, owner)
{
    Rules.wholeNoteDisc = true;
    AddDetailRule(Columns.CommodityID, [this](Field &) { setDefaultCost(); });
    AddDetailRule(Columns.BuildingID, [this](Field &) { setDefaultCost(); });
}

QVariant TDeputeMarketForm::DefaultCost(qint64 goods, qint64 store)
{
    QVariant cost;
    const QString id = QString::number(goods);
    if (GetValueOfSql(QStringLiteral("select Price from onhandaath where CommodityID=") + id
                          + (store > 0 ? QStringLiteral(" and BuildingID=") + QString::number(store) : QString()),
                      cost)
        && !cost.isNull() && cost.toDouble() > 0)
        return cost;
    GetValueOfSql(QStringLiteral("select APrice from Commoditylth where CommodityID=") + id, cost);
    return cost;
}

void TDeputeMarketForm::setDefaultCost()
{
    const qint64 goods = asId(DetailValue(Columns.CommodityID));
    if (goods == 0)
        return;
    SetFieldValueSilent(cdsDetail->FindField(QStringLiteral("APRICE")),
                        DefaultCost(goods, asId(DetailValue(Columns.BuildingID))));
}

void TDeputeMarketForm::ReversedLineAdded(const HostQuery &source)
{
    // Goods come back at the cost they left at.
    cdsDetail->Edit();
    SetFieldValueSilent(cdsDetail->FindField(QStringLiteral("APRICE")), source.FieldByName(QStringLiteral("APRICE")).Value());
    cdsDetail->Post();
}

bool TDeputeMarketForm::ValidateDetailLines()
{
    if (!TPValueForm::ValidateDetailLines())
        return false;
    if (!cdsDetail->Active())
        return true;
    cdsDetail->CheckBrowseMode();
    for (cdsDetail->First(); !cdsDetail->Eof(); cdsDetail->Next()) {
        if (asId(DetailValue(Columns.CommodityID)) == 0)
            continue;
        const QVariant cost = DetailValue(QStringLiteral("APRICE"));
        if (cost.isNull() || cost.toDouble() < 0) {
            ShowError(QStringLiteral("成本价为空或小于0！"));
            return false;
        }
        if (cost.toDouble() == 0
            && ShowYesNoQuestion(QStringLiteral("货品[") + DetailValue(Columns.CommodityName).toString()
                                 + QStringLiteral("]的成本价等于零，是否继续？"))
                   != AnswerYes)
            return false;
    }
    return true;
}

bool TDeputeMarketForm::CheckNote()
{
    if (!IsNoteModified() && !IsNewNote()) {
        try {
            if (!SalesOrderLinesOpen(*this))
                return false;
        } catch (const std::exception &e) {
            ShowError(e);
            return false;
        }
    }
    return TPValueForm::CheckNote();
}

bool TDeputeMarketForm::CanUncheckNote()
{
    // Settled by a sale counts as referred to, as a return does.
    QVariant settled;
    if (MasterValue(QStringLiteral("NOTEKIND"), 1).toInt() == 1
        && GetValueOfSql(QStringLiteral("select 1 from DeputeMarketsthDetail where BALQTY<>0 and NOTEID=")
                             + QString::number(CurrentNoteID()),
                         settled)) {
        ShowError(QStringLiteral("该单有记录已被引用,不能反审核!"));
        return false;
    }
    return TPValueForm::CanUncheckNote();
}
