// The place adjustment note type exists only while the books use places.

#include "PackageFixture.h"

#include "NoteTypes.h"

namespace pkgtest {
namespace {

class NoteTypeTest : public PackageTest {};

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
