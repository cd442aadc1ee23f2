#include "FormCatalog.h"

namespace notehost {

namespace {

const QString kPurchase = QStringLiteral("采购");
const QString kSales = QStringLiteral("销售");
const QString kMoney = QStringLiteral("资金");
const QString kStock = QStringLiteral("库存");
const QString kPos = QStringLiteral("POS");
const QString kManufacturing = QStringLiteral("生产");
const QString kTools = QStringLiteral("工具");

MenuEntry form(const QString &area, const char *name, const char *caption)
{
    const QString n = QString::fromLatin1(name);
    return {area, QString::fromUtf8(caption), n, QStringLiteral("SHOWNOTEFORM"), n, 0, 1, {}};
}

// A form the package opens through one of its own functions (which checks `action`).
MenuEntry formBy(const QString &area, const char *name, const char *caption, const char *function,
                 const char *argument, int action)
{
    return {area, QString::fromUtf8(caption), QString::fromLatin1(name), QString::fromLatin1(function),
            QString::fromLatin1(argument), 0, action, {}};
}

MenuEntry function(const QString &area, const char *caption, const char *function, int privilegeId, int action,
                   const char *windowClass)
{
    return {area,        QString::fromUtf8(caption), QString(), QString::fromLatin1(function), QString(), privilegeId,
            action,      QString::fromLatin1(windowClass)};
}

QVector<MenuEntry> build()
{
    return {
        form(kPurchase, "RePurchaseForm", "申购单"),
        form(kPurchase, "PBuyPlanForm", "采购计划"),
        form(kPurchase, "PNOrderForm", "采购订单"),
        form(kPurchase, "PValueForm", "预入库"),
        form(kPurchase, "PBuyForm", "采购开单"),
        formBy(kPurchase, "PValueForm", "预入库初始化", "SHOWNOTEFORM", "PVALUEFORM_INIT", 1),

        form(kSales, "SalePlanForm", "销售计划"),
        form(kSales, "SPriceForm", "报价单"),
        form(kSales, "SNOrderForm", "销售订单"),
        form(kSales, "DeputeMarketForm", "委销单"),
        form(kSales, "SaleForm", "销售开单"),
        form(kSales, "ShipBillForm", "进出口业务提单"),
        formBy(kSales, "DeputeMarketForm", "委销单初始化", "SHOWNOTEFORM", "DEPUTEMARKETFORM_INIT", 1),

        form(kMoney, "PayForm", "付款单"),
        form(kMoney, "GetMoneyForm", "收款单"),
        form(kMoney, "OutMoneyForm", "费用开支"),
        form(kMoney, "InComeForm", "其他收入"),
        form(kMoney, "MoveForm", "银行存取款"),
        form(kMoney, "CounteractForm", "对账单"),
        formBy(kMoney, "fillForm", "开票管理", "FILL", "", 1),

        form(kStock, "IIOBuildingForm", "出入库单"),
        form(kStock, "SpecialInForm", "独立入仓单"),
        form(kStock, "SpecialOutForm", "独立出仓单"),
        form(kStock, "BrowOutForm", "借出单"),
        form(kStock, "BrowInForm", "借出还入单"),
        form(kStock, "BadsthForm", "调拨单"),
        form(kStock, "AttaintForm", "报损单"),
        form(kStock, "BalItemForm", "盘点单"),
        form(kStock, "ChgPriceForm", "调价单"),
        form(kStock, "PlaceAdjustForm", "货位调整单"),
        form(kStock, "TogetherForm", "组装单"),
        form(kStock, "DisTogetherForm", "拆卸单"),

        form(kPos, "saleposthForm", "POS销售单"),
        form(kPos, "inoutcashposthForm", "POS收银员出入款单"),
        form(kPos, "closeposthForm", "POS日结单"),
        form(kPos, "savingcardposthForm", "储值卡充值单"),
        form(kPos, "adjpriceposthForm", "货品销价设置"),
        function(kPos, "调整货品批次", "SETPOSBATCHIDFORM", 2076, 5, "TSetPosBatchIDForm"),
        function(kPos, "POS日结", "POSDAYEND", 2077, 5, "TPosDayEndForm"),
        // Reversing a day-end belongs with the day-end itself.
        function(kPos, "POS反日结", "POSUNDAYEND", 2077, 5, "TPosDayEndForm"),
        formBy(kPos, "PosCloseOffForm", "进销存结帐", "POSCLOSEOFF", "PosCloseOffForm", 5),
        formBy(kPos, "AntiPosCloseOffForm", "进销存期反结帐", "POSCLOSEOFF", "AntiPosCloseOffForm", 5),

        form(kManufacturing, "ManuWilldoForm", "主生产计划"),
        form(kManufacturing, "MnfManuNOrderForm", "加工单"),
        form(kManufacturing, "MnfOutManuOrderForm", "委外加工单"),
        form(kManufacturing, "DrawItemForm", "领料单"),
        form(kManufacturing, "OutDrawItemForm", "委外发料单"),
        form(kManufacturing, "PrdToCheckForm", "成品送检单"),
        form(kManufacturing, "PrdCheckForm", "成品验收单"),
        form(kManufacturing, "BackPrdForm", "验收退回单"),
        form(kManufacturing, "PrdInStoreForm", "成品缴库单"),
        form(kManufacturing, "OutPrdInStoreForm", "委外缴库单"),
        form(kManufacturing, "BFPrdForm", "报废单"),
        form(kManufacturing, "RepairPrdForm", "返工返修单"),
        form(kManufacturing, "MnfOutMoneyAppForm", "费用分摊单"),

        formBy(kTools, "FindnoteForm", "单据速查", "FINDNOTE", "", 5),
        formBy(kTools, "BatchCheckForm", "审核中心", "BATCHCHECK", "", 5),
        form(kTools, "fillListForm", "开票管理 (列表)"),
        function(kTools, "成本计算", "COSTCACULATE", 0, 0, "TCostCaculatorForm"),
    };
}

} // namespace

QStringList menuAreas() { return {kPurchase, kSales, kMoney, kStock, kPos, kManufacturing, kTools}; }

const QVector<MenuEntry> &menuEntries()
{
    static const QVector<MenuEntry> entries = build();
    return entries;
}

QString formCaption(const QString &formName)
{
    for (const MenuEntry &e : menuEntries())
        if (e.formName.compare(formName, Qt::CaseInsensitive) == 0)
            return e.caption;
    return {};
}

} // namespace notehost
