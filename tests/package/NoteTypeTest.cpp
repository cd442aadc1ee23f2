// The note-type table: form name, display name and master table of each type.

#include "PackageFixture.h"

#include "NoteTypes.h"

namespace pkgtest {
namespace {

struct Expected {
    int type;
    const char *form, *name, *table;
};

const Expected kTypes[] = {
    {1, "PBuyPlanForm", "", "purchasepthPlan"}, {2, "PNOrderForm", "采购订单", "orderpth"},
    {3, "PValueForm", "预入库", "valuepth"}, {4, "PBuyForm", "采购开单", "purchasepth"},
    {5, "RePurchaseForm", "申购单", ""}, {11, "SalePlanForm", "", "salesthPlan"},
    {12, "SNOrderForm", "销售订单", "ordersth"}, {13, "DeputeMarketForm", "委销单", "DeputeMarketsth"},
    {14, "SaleForm", "销售开单", "salesth"}, {15, "SPriceForm", "报价单", "S_Price"},
    {21, "IIOBuildingForm", "出入库单", "iostoreith"}, {22, "BrowInForm", "借出还入单", "OtherInith"},
    {23, "BrowOutForm", "借出单", "OtherOutith"}, {25, "DrawItemForm", "领料单", "drawith"},
    {26, "BadsthForm", "调拨单", "Badsthith"}, {27, "TogetherForm", "组装单", "Togetherith"},
    {28, "DisTogetherForm", "拆卸单", "disTogetherith"}, {29, "AttaintForm", "报损单", "Attaintith"},
    {30, "BalItemForm", "盘点单", "BalItemith"}, {31, "ChgPriceForm", "调价单", "ChgPriceith"},
    {41, "PrdCheckForm", "成品验收单", "PrdCheckth"}, {42, "MnfManuNOrderForm", "加工单", "manuordermnfth"},
    {43, "ManuWilldoForm", "主生产计划", "Manuplanmnfth"}, {45, "MnfOutMoneyAppForm", "费用分摊单", "OutMoneymnfth"},
    {46, "MnfOutManuOrderForm", "委外加工单", "OutManuOrderth"}, {47, "OutDrawItemForm", "委外发料单", "Outdrawith"},
    {48, "PrdInStoreForm", "成品缴库单", "PrdInStoreth"}, {49, "OutPrdInStoreForm", "委外缴库单", "OutPrdInStoreth"},
    {50, "PrdToCheckForm", "成品送检单", "PrdToCheckth"}, {51, "MoveForm", "银行存取款", "movebth"},
    {52, "OutMoneyForm", "费用开支", "expenseath"}, {53, "InComeForm", "其他收入", "InComebth"},
    {61, "PayForm", "付款单", "payath"}, {62, "GetMoneyForm", "收款单", "chargeath"},
    {63, "CounteractForm", "对账单", "COUNTERACTATH"}, {64, "fillForm", "开票管理", "fillath"},
    {71, "saleposthForm", "POS销售单", "saleposth"}, {72, "inoutcashposthForm", "POS收银员出入款单", "inoutcashposth"},
    {73, "closeposthForm", "POS日结单", "closeposth"}, {74, "savingcardposthForm", "储值卡充值单", "savingcardposth"},
    {75, "adjpriceposthForm", "货品销价设置", "adjpriceposth"}, {80, "BFPrdForm", "报废单", "BFPrdth"},
    {81, "BackPrdForm", "验收退回单", "BackPrdth"}, {88, "RepairPrdForm", "返工返修单", "RepairPrdth"},
    {99, "ShipBillForm", "进出口业务提单", ""},
};

class NoteTypeTest : public PackageTest {};

TEST_F(NoteTypeTest, EveryTypeMapsToFormNameAndMasterTable)
{
    for (const Expected &e : kTypes) {
        SCOPED_TRACE(e.type);
        EXPECT_EQ(NoteTypeFormName(e.type), QString::fromUtf8(e.form));
        EXPECT_EQ(NoteTypeName(e.type), QString::fromUtf8(e.name));
        EXPECT_EQ(NoteTypeMasterTable(e.type), QString::fromUtf8(e.table));
    }
    // 45 types plus the place adjustment (32).
    EXPECT_EQ(pk_note::NoteTypeTable().size(), int(std::size(kTypes)) + 1);

    for (int unknown : {0, -1, 6, 10, 24, 33, 44, 65, 76, 100, 2002})
        EXPECT_TRUE(NoteTypeFormName(unknown).isEmpty() && NoteTypeName(unknown).isEmpty() &&
                    NoteTypeMasterTable(unknown).isEmpty())
            << unknown;

    // Every form of a note type is one the package registers.
    plugin().load();
    for (const pk_note::NoteTypeInfo &t : pk_note::NoteTypeTable())
        EXPECT_NE(GetPrivilegedFormID(QString::fromLatin1(t.formName)), 0) << t.formName;
}

TEST_F(NoteTypeTest, PlaceAdjustmentCountsOnlyWithUsePlace)
{
    setSysParam(QStringLiteral("UsePlace"), QStringLiteral("0"));
    EXPECT_EQ(NoteTypeFormName(32), QString());
    EXPECT_EQ(NoteTypeName(32), QString());
    EXPECT_EQ(NoteTypeMasterTable(32), QString());
    QnParams p;
    p.AddValue(QStringLiteral("NOTETYPE"), 32);
    EXPECT_EQ(call(QStringLiteral("GETNOTENAME"), QString(), &p), 0);
    EXPECT_EQ(p.GetValue(QStringLiteral("result")).toString(), QString());

    setSysParam(QStringLiteral("UsePlace"), QStringLiteral("1"));
    EXPECT_EQ(NoteTypeFormName(32), QStringLiteral("PlaceAdjustForm"));
    EXPECT_EQ(NoteTypeName(32), QStringLiteral("货位调整单"));
    EXPECT_EQ(NoteTypeMasterTable(32), QStringLiteral("PlaceAdjustith"));
    EXPECT_EQ(call(QStringLiteral("GETNOTENAME"), QString(), &p), 0);
    EXPECT_EQ(p.GetValue(QStringLiteral("result")).toString(), QStringLiteral("货位调整单"));

    // Any other value is off.
    setSysParam(QStringLiteral("UsePlace"), QStringLiteral("yes"));
    EXPECT_EQ(NoteTypeName(32), QString());
}

} // namespace
} // namespace pkgtest
