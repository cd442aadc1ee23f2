// The functions noteLoad registers with the host, and what the plug-in exports
// (the forms are checked by the kind structure test).

#include "PackageFixture.h"

#include "NoteTypes.h"

namespace pkgtest {
namespace {

class RegistrationTest : public PackageTest {};

TEST_F(RegistrationTest, TwelveFunctionsGoThroughGlobalCallToTheEntryPoint)
{
    plugin().load();
    EXPECT_EQ(RegisteredFunctions(),
              QStringLiteral("SHOWNOTEFORM LOCATENOTE BATCHCHECK FINDNOTE POSCLOSEOFF PICK SETPOSBATCHIDFORM "
                             "POSDAYEND FILL COSTCACULATE GETNOTENAME POSUNDAYEND")
                  .split(u' '));
    // Through the host, in any case.
    QnParams p = params({{"NOTETYPE", 4}});
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
