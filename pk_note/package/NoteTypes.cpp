#include "NoteTypes.h"
#include "PackageWindows.h"

#include "SysParams.h"

#include <QStringList>

namespace pk_note {

const QVector<FormRegistration> &RegistrationTable()
{
    static const QVector<FormRegistration> table = {
        {"RePurchaseForm", 2001, "TRePurchaseForm", "TCommoditynoteForm"},
        {"PBuyPlanForm", 2005, "TPBuyPlanForm", "TCommoditynoteForm"},
        {"PNOrderForm", 2002, "TPNOrderForm", "TCommoditynoteForm"},
        {"PValueForm", 2003, "TPValueForm", "TCommoditynoteForm"},
        {"PBuyForm", 2004, "TPBuyForm", "TCommoditynoteForm"},
        {"SalePlanForm", 2015, "TSalePlanForm", "TCommoditynoteForm"},
        {"SNOrderForm", 2012, "TSNOrderForm", "TCommoditynoteForm"},
        {"DeputeMarketForm", 2013, "TDeputeMarketForm", "TCommoditynoteForm"},
        {"SaleForm", 2014, "TSaleForm", "TCommoditynoteForm"},
        {"SPriceForm", 2011, "TSPriceForm", "TCommoditynoteForm"},
        {"IIOBuildingForm", 2021, "TIIOBuildingForm", "TCommoditynoteForm"},
        {"SpecialInForm", 2022, "TSpecialInForm", "TCommoditynoteForm"},
        {"SpecialOutForm", 2023, "TSpecialOutForm", "TCommoditynoteForm"},
        {"DrawItemForm", 2025, "TDrawItemForm", "TCommoditynoteForm"},
        {"BadsthForm", 2026, "TBadsthForm", "TCommoditynoteForm"},
        {"TogetherForm", 2027, "TTogetherForm", "TCommoditynoteForm"},
        {"DisTogetherForm", 2028, "TDisTogetherForm", "TCommoditynoteForm"},
        {"AttaintForm", 2029, "TAttaintForm", "TCommoditynoteForm"},
        {"BalItemForm", 2030, "TBalItemForm", "TCommoditynoteForm"},
        {"ChgPriceForm", 2031, "TChgPriceForm", "TCommoditynoteForm"},
        {"PlaceAdjustForm", 2032, "TPlaceAdjustForm", "TCommoditynoteForm"},
        {"BrowInForm", 2022, "TBrowInForm", "TCommoditynoteForm"},
        {"BrowOutForm", 2023, "TBrowOutForm", "TCommoditynoteForm"},
        {"MnfManuNOrderForm", 2042, "TMnfManuNOrderForm", "TCommoditynoteForm"},
        {"ManuWilldoForm", 2043, "TManuWilldoForm", "TCommoditynoteForm"},
        {"MnfOutMoneyAppForm", 2045, "TMnfOutMoneyAppForm", "TCommoditynoteForm"},
        {"MnfOutManuOrderForm", 2046, "TMnfOutManuOrderForm", "TCommoditynoteForm"},
        {"OutDrawItemForm", 2047, "TOutDrawItemForm", "TCommoditynoteForm"},
        {"PrdInStoreForm", 2048, "TPrdInStoreForm", "TCommoditynoteForm"},
        {"OutPrdInStoreForm", 2049, "TOutPrdInStoreForm", "TCommoditynoteForm"},
        {"PrdToCheckForm", 2071, "TPrdToCheckForm", "TCommoditynoteForm"},
        {"PrdCheckForm", 2041, "TPrdCheckForm", "TCommoditynoteForm"},
        {"BFPrdForm", 2080, "TBFPrdForm", "TCommoditynoteForm"},
        {"BackPrdForm", 2081, "TBackPrdForm", "TCommoditynoteForm"},
        {"RepairPrdForm", 2088, "TRepairPrdForm", "TCommoditynoteForm"},
        {"InComeForm", 2051, "TInComeForm", "TMDnoteForm"},
        {"OutMoneyForm", 2052, "TOutMoneyForm", "TMDnoteForm"},
        {"MoveForm", 2053, "TMoveForm", "TBasenoteForm"},
        {"PayForm", 2061, "TPayForm", "TMoneynoteForm"},
        {"GetMoneyForm", 2062, "TGetMoneyForm", "TMoneynoteForm"},
        {"CounteractForm", 2063, "TCounteractForm", "TBasenoteForm"},
        {"fillForm", 2064, "TfillForm", "TBasenoteForm"},
        {"saleposthForm", 2071, "TsaleposthForm", "TCommoditynoteForm"},
        {"inoutcashposthForm", 2072, "TinoutcashposthForm", "TBasenoteForm"},
        {"closeposthForm", 2073, "TcloseposthForm", "TBasenoteForm"},
        {"savingcardposthForm", 2074, "TsavingcardposthForm", "TMDnoteForm"},
        {"adjpriceposthForm", 2075, "TadjpriceposthForm", "TMDnoteForm"},
        {"BatchCheckForm", 2081, "TBatchCheckForm", "TnoteBootForm"},
        {"FindnoteForm", 2082, "TFindnoteForm", "TnoteBootForm"},
        {"PosCloseOffForm", 2083, "TPosCloseOffForm", "TnoteBootForm"},
        {"AntiPosCloseOffForm", 2084, "TAntiPosCloseOffForm", "TnoteBootForm"},
        {"fillListForm", 2086, "TfillListForm", "TnoteBootForm"},
        {"ShipBillForm", 8086, "TShipBillForm", "TMDnoteForm"},
    };
    return table;
}

const QVector<NoteTypeInfo> &NoteTypeTable()
{
    static const QVector<NoteTypeInfo> table = {
        {1, "PBuyPlanForm", "", "purchasepthPlan", kNoDateLock | kNoPeriodRule | kEmployeeKeepsDepartment},
        {2, "PNOrderForm", "采购订单", "orderpth", kNoDateLock},
        {3, "PValueForm", "预入库", "valuepth"},
        {4, "PBuyForm", "采购开单", "purchasepth"},
        {5, "RePurchaseForm", "申购单", ""},
        {11, "SalePlanForm", "", "salesthPlan", kNoDateLock | kNoPeriodRule | kEmployeeKeepsDepartment},
        {12, "SNOrderForm", "销售订单", "ordersth", kNoDateLock},
        {13, "DeputeMarketForm", "委销单", "DeputeMarketsth"},
        {14, "SaleForm", "销售开单", "salesth"},
        {15, "SPriceForm", "报价单", "S_Price"},
        {21, "IIOBuildingForm", "出入库单", "iostoreith"},
        {22, "BrowInForm", "借出还入单", "OtherInith"},
        {23, "BrowOutForm", "借出单", "OtherOutith"},
        {25, "DrawItemForm", "领料单", "drawith"},
        {26, "BadsthForm", "调拨单", "Badsthith"},
        {27, "TogetherForm", "组装单", "Togetherith"},
        {28, "DisTogetherForm", "拆卸单", "disTogetherith"},
        {29, "AttaintForm", "报损单", "Attaintith"},
        {30, "BalItemForm", "盘点单", "BalItemith"},
        {31, "ChgPriceForm", "调价单", "ChgPriceith"},
        {32, "PlaceAdjustForm", "货位调整单", "PlaceAdjustith"},
        {41, "PrdCheckForm", "成品验收单", "PrdCheckth"},
        {42, "MnfManuNOrderForm", "加工单", "manuordermnfth"},
        {43, "ManuWilldoForm", "主生产计划", "Manuplanmnfth"},
        {45, "MnfOutMoneyAppForm", "费用分摊单", "OutMoneymnfth"},
        {46, "MnfOutManuOrderForm", "委外加工单", "OutManuOrderth"},
        {47, "OutDrawItemForm", "委外发料单", "Outdrawith"},
        {48, "PrdInStoreForm", "成品缴库单", "PrdInStoreth"},
        {49, "OutPrdInStoreForm", "委外缴库单", "OutPrdInStoreth"},
        {50, "PrdToCheckForm", "成品送检单", "PrdToCheckth"},
        {51, "MoveForm", "银行存取款", "movebth"},
        {52, "OutMoneyForm", "费用开支", "expenseath"},
        {53, "InComeForm", "其他收入", "InComebth"},
        {61, "PayForm", "付款单", "payath"},
        {62, "GetMoneyForm", "收款单", "chargeath"},
        {63, "CounteractForm", "对账单", "COUNTERACTATH"},
        {64, "fillForm", "开票管理", "fillath", kViewOnly | kNoPrintRegister, "没有开票记录可以查看。"},
        {71, "saleposthForm", "POS销售单", "saleposth", kViewOnly, "没有POS销售单可以查看。"},
        {72, "inoutcashposthForm", "POS收银员出入款单", "inoutcashposth"},
        {73, "closeposthForm", "POS日结单", "closeposth", kViewOnly, "没有POS日结单可以查看。"},
        {74, "savingcardposthForm", "储值卡充值单", "savingcardposth"},
        {75, "adjpriceposthForm", "货品销价设置", "adjpriceposth", kNoDateLock | kNoPeriodRule},
        {80, "BFPrdForm", "报废单", "BFPrdth"},
        {81, "BackPrdForm", "验收退回单", "BackPrdth"},
        {88, "RepairPrdForm", "返工返修单", "RepairPrdth"},
        {99, "ShipBillForm", "进出口业务提单", ""},
    };
    return table;
}

namespace {

const NoteTypeInfo *findType(int noteType)
{
    for (const NoteTypeInfo &t : NoteTypeTable())
        if (t.noteType == noteType) {
            if (noteType == kPlaceNoteType && LookupSysParam(QStringLiteral("UsePlace")) != QLatin1String("1"))
                return nullptr;
            return &t;
        }
    return nullptr;
}

} // namespace
} // namespace pk_note

QString NoteTypeFormName(int noteType)
{
    const pk_note::NoteTypeInfo *t = pk_note::findType(noteType);
    return t ? QString::fromUtf8(t->formName) : QString();
}

namespace {

// The second window of a type kept in two pairs of tables.
const char *secondFormOf(int noteType)
{
    switch (noteType) {
    case 22:
        return "SpecialInForm";
    case 23:
        return "SpecialOutForm";
    default:
        return nullptr;
    }
}

bool built(const QString &form)
{
    for (const pk_note::FormRegistration &r : pk_note::RegistrationTable())
        if (form.compare(QLatin1String(r.formName), Qt::CaseInsensitive) == 0)
            return bool(pk_note::FormClassFactory(QString::fromLatin1(r.className)));
    return false;
}

} // namespace

bool NoteTypeHasForm(int noteType, const QString &form)
{
    if (form.isEmpty())
        return false;
    const char *second = secondFormOf(noteType);
    return form.compare(NoteTypeFormName(noteType), Qt::CaseInsensitive) == 0 ||
           (second && form.compare(QLatin1String(second), Qt::CaseInsensitive) == 0);
}

QString BuiltFormOfType(int noteType, const QString &form)
{
    if (built(form))
        return form;
    const QString own = NoteTypeFormName(noteType);
    if (built(own))
        return own;
    const char *second = secondFormOf(noteType);
    return second && built(QLatin1String(second)) ? QLatin1String(second) : form;
}

QString NoteTypeName(int noteType)
{
    const pk_note::NoteTypeInfo *t = pk_note::findType(noteType);
    return t ? QString::fromUtf8(t->displayName) : QString();
}

QString NoteTypeMasterTable(int noteType)
{
    const pk_note::NoteTypeInfo *t = pk_note::findType(noteType);
    return t ? QString::fromUtf8(t->masterTable) : QString();
}

unsigned NoteTypeFlags(int noteType)
{
    for (const pk_note::NoteTypeInfo &t : pk_note::NoteTypeTable())
        if (t.noteType == noteType)
            return t.flags;
    return 0;
}

QString NoteTypeNothingToView(int noteType)
{
    for (const pk_note::NoteTypeInfo &t : pk_note::NoteTypeTable())
        if (t.noteType == noteType && t.nothingToView)
            return QString::fromUtf8(t.nothingToView);
    return {};
}
