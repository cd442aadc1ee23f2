// The place move: refused without place management; with it, a line needs
// two different places, and audit moves the place stock and back.

#include "PlaceAdjustForm.h"
#include "StockFixture.h"

namespace {

using PlaceAdjustTest = stocktest::StockTest<TPlaceAdjustForm>;

TEST_F(PlaceAdjustTest, WithoutPlacesTheWindowDoesNotOpen)
{
    auto *f = CreateNoteForm<TPlaceAdjustForm>();
    m_form.reset(f);
    EXPECT_EQ(pk_note::SendNoteMessage(f, pk_note::NM_NOTEOPEN, 0, 0), pk_note::E_FAIL);
    EXPECT_EQ(lastError(), QStringLiteral("没有使用货位管理功能。"));
}

TEST_F(PlaceAdjustTest, ALineMovesItsQuantityBetweenTwoPlaces)
{
    setParam(QStringLiteral("UsePlace"), QStringLiteral("1"));
    // Ten pens on shelf A2 instead of the demo's opening stock there.
    sql(QStringLiteral("delete from onhandaathPlace where BUILDINGID=1"));
    sql(QStringLiteral("insert into onhandaathPlace (BUILDINGID, PLACEID, COMMODITYID, QUANTITY) values (1, 3, %1, 10)")
            .arg(goods(QStringLiteral("BG0003"))));
    start(1);
    addLine("BG0003", 4, 0);
    EXPECT_EQ(form()->cmbOutPlace->Search(QString()), 1) << "only A2 holds pens";
    EXPECT_EQ(form()->cmbInPlace->Search(QString()), 3) << "every shelf";
    EXPECT_TRUE(refused(QStringLiteral("调前货位或调后货位为空,不能保存.")));
    setLine("OUTPLACEID", 3);
    setLine("INPLACEID", 3);
    EXPECT_TRUE(refused(QStringLiteral("调前货位与调后货位相同,不能保存.")));
    setLine("INPLACEID", 2);
    EXPECT_EQ(line(0, "INPLACENAME").toString(), QStringLiteral("A区1号货架"));
    const QString stock = onHand("BG0003", 1);
    const qint64 id = saveAndAudit("PlaceAdjustith");
    EXPECT_EQ(penPlaces(), QStringLiteral("2:4;3:6"));
    EXPECT_EQ(onHand("BG0003", 1), stock) << "the store's stock stays";
    ASSERT_EQ(audit("PlaceAdjustith", id), 0) << err();
    EXPECT_EQ(penPlaces(), QStringLiteral("2:0;3:10"));
}

} // namespace
