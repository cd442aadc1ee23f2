// What noteLoad registers with the host, and what the plug-in exports.

#include "PackageFixture.h"

#include "NoteTypes.h"

namespace pkgtest {
namespace {

class RegistrationTest : public PackageTest {};

TEST_F(RegistrationTest, FormsAreRegisteredInOrderWithTheirIdsAndDuplicates)
{
    plugin().load();
    const QStringList expected = QStringLiteral(
        "RePurchaseForm:2001 PBuyPlanForm:2005 PNOrderForm:2002 PValueForm:2003 PBuyForm:2004 SalePlanForm:2015 "
        "SNOrderForm:2012 DeputeMarketForm:2013 SaleForm:2014 SPriceForm:2011 IIOBuildingForm:2021 "
        "SpecialInForm:2022 SpecialOutForm:2023 DrawItemForm:2025 BadsthForm:2026 TogetherForm:2027 "
        "DisTogetherForm:2028 AttaintForm:2029 BalItemForm:2030 ChgPriceForm:2031 PlaceAdjustForm:2032 "
        "BrowInForm:2022 BrowOutForm:2023 MnfManuNOrderForm:2042 ManuWilldoForm:2043 MnfOutMoneyAppForm:2045 "
        "MnfOutManuOrderForm:2046 OutDrawItemForm:2047 PrdInStoreForm:2048 OutPrdInStoreForm:2049 "
        "PrdToCheckForm:2071 PrdCheckForm:2041 BFPrdForm:2080 BackPrdForm:2081 RepairPrdForm:2088 "
        "InComeForm:2051 OutMoneyForm:2052 MoveForm:2053 PayForm:2061 GetMoneyForm:2062 CounteractForm:2063 "
        "fillForm:2064 saleposthForm:2071 inoutcashposthForm:2072 closeposthForm:2073 "
        "savingcardposthForm:2074 adjpriceposthForm:2075 BatchCheckForm:2081 FindnoteForm:2082 "
        "PosCloseOffForm:2083 AntiPosCloseOffForm:2084 fillListForm:2086 ShipBillForm:8086")
                                     .split(u' ');
    QStringList registered;
    for (const PrivilegedForm &f : RegisteredForms())
        registered << f.name + u':' + QString::number(f.privilegeId);
    ASSERT_EQ(registered.size(), 53);
    EXPECT_EQ(registered, expected);

    // Shared ids stay attached to both names.
    EXPECT_EQ(GetPrivilegedFormID(QStringLiteral("BrowInForm")), 2022);
    EXPECT_EQ(GetPrivilegedFormID(QStringLiteral("saleposthForm")), 2071);
    EXPECT_EQ(GetPrivilegedFormID(QStringLiteral("BatchCheckForm")), 2081);

    // Only the built window classes get a factory; for the others the host
    // refuses the form silently, as for an unknown name.
    const QStringList built = {QStringLiteral("InComeForm"), QStringLiteral("OutMoneyForm"), QStringLiteral("MoveForm")};
    for (const PrivilegedForm &f : RegisteredForms()) {
        EXPECT_EQ(bool(f.factory), built.contains(f.name)) << f.name.toStdString();
        if (!built.contains(f.name)) {
            EXPECT_EQ(GetPrivilegedForm(f.name, 1), nullptr);
        }
    }
    EXPECT_TRUE(m_messages.records().isEmpty());

    // The package's own table holds the classes and bases the host never sees.
    const auto &table = pk_note::RegistrationTable();
    ASSERT_EQ(table.size(), 53);
    EXPECT_STREQ(table[41].className, "TfillForm");
    EXPECT_STREQ(table[47].baseClass, "TnoteBootForm");
    EXPECT_STREQ(table[38].baseClass, "TMoneynoteForm");
}

TEST_F(RegistrationTest, TwelveFunctionsGoThroughGlobalCallToTheEntryPoint)
{
    plugin().load();
    EXPECT_EQ(RegisteredFunctions(),
              QStringLiteral("SHOWNOTEFORM LOCATENOTE BATCHCHECK FINDNOTE POSCLOSEOFF PICK SETPOSBATCHIDFORM "
                             "POSDAYEND FILL COSTCACULATE GETNOTENAME POSUNDAYEND")
                  .split(u' '));
    QnParams p;
    p.AddValue(QStringLiteral("NOTETYPE"), 4);
    EXPECT_EQ(GlobalCall(QStringLiteral("getnotename"), QString(), &p), 0);
    EXPECT_EQ(p.GetValue(QStringLiteral("result")).toString(), QStringLiteral("采购开单"));

    // noteUnload undoes nothing.
    plugin().unload();
    EXPECT_EQ(RegisteredForms().size(), 53);
    EXPECT_EQ(RegisteredFunctions().size(), 12);
}

TEST_F(RegistrationTest, OnlyTheThreeEntryPointsAreExported)
{
    QLibrary lib(pluginPath());
    ASSERT_TRUE(lib.load()) << lib.errorString().toStdString();
    EXPECT_NE(lib.resolve("noteLoad"), nullptr);
    EXPECT_NE(lib.resolve("noteUnload"), nullptr);
    EXPECT_NE(lib.resolve("note_Call"), nullptr);
    // Everything else stays inside the package.
    for (const char *internal : {"_Z16NoteTypeFormNamei", "_Z12NoteTypeNamei", "_Z12FindOpenFormRK7QString",
                                 "_ZN7pk_note17RegistrationTableEv", "_ZN13TnoteBootForm16staticMetaObjectE",
                                 "_Z8InforBoxRK7QStringS1_RS_b"})
        EXPECT_EQ(lib.resolve(internal), nullptr) << internal;
}

} // namespace
} // namespace pkgtest
