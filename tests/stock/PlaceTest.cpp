// Place management: on the stock in/out note a line lands on its default place,
// place rows follow their lines to the books, the line checks and the place
// dialog's refusals; the place move between two places.

#include "IIOBuildingForm.h"
#include "IIOBuildingPlaceForm.h"
#include "PlaceAdjustForm.h"
#include "StockFixture.h"

namespace {

class PlaceTest : public stocktest::StockTest<TIIOBuildingForm> {
protected:
    void SetUp() override
    {
        StockTest::SetUp();
        setParam(QStringLiteral("UsePlace"), QStringLiteral("1"));
        // The demo's store 1: zones A and B (parents) with shelves A1, A2 and
        // B1; pens live on A2, staplers have no place of their own.
        sql(QStringLiteral("update Commoditylth set PLACEID=3 where CODE='BG0003'"));
        sql(QStringLiteral("update Commoditylth set PLACEID=null where CODE='BG0005'"));
        open();
        setMaster("NOTETYPE", 22);
        setMaster("BUILDINGID", 1);
        setMaster("EMPID", 5);
    }
    // The window's place rows of a line: "place:quantity:name;...".
    QString placesOf(const QVariant &item)
    {
        QStringList rows;
        for (const QVariantList &r : form()->LinePlaces(item))
            rows << QStringLiteral("%1:%2:%3").arg(r.value(0).toLongLong()).arg(r.value(1).toDouble()).arg(r.value(2).toString());
        return rows.join(u';');
    }
    QString stored(qint64 id)
    {
        return rows(QStringLiteral("select ITEMSNO, PLACEID, QUANTITY from iostoreithPLACE where NOTEID=%1 order by ITEMSNO, PLACEID")
                        .arg(id));
    }
};

TEST_F(PlaceTest, ThePlaceDialogsRefusalsAndLinesLandOnTheirDefaultPlaceWithTheirRowsFollowingThemToTheBooks)
{
    TIIOBuildingPlaceForm dialog(form());
    dialog.SetLine({22, goods(QStringLiteral("BG0003")), QStringLiteral("中性笔"), 1, 1, QStringLiteral("总部仓库"), 5,
                    {{3, 5, QStringLiteral("A区2号货架")}}});
    EXPECT_EQ(dialog.qryPlaces->RecordCount(), 3) << "the three shelves, not the zones";
    auto add = [&](const QVariant &place, double quantity) {
        dialog.cdsPlace->Append();
        dialog.cdsPlace->FieldByName(QStringLiteral("PLACEID"))->SetValue(place);
        dialog.cdsPlace->FieldByName(QStringLiteral("QUANTITY"))->SetValue(quantity);
        dialog.cdsPlace->Post();
    };
    add(3, 2);
    EXPECT_EQ(m_messages.last().text, QStringLiteral("货位不能重复！"));
    EXPECT_EQ(dialog.cdsPlace->RecordCount(), 1);
    EXPECT_DOUBLE_EQ(dialog.Total(), 5);
    add(2, -1);
    EXPECT_EQ(dialog.Rows().value(1).value(2).toString(), QStringLiteral("A区1号货架"));
    dialog.OkBtnClick();
    EXPECT_EQ(m_messages.last().text, QStringLiteral("第[2]记录的数量不能小于0！不能确定"));
    EXPECT_EQ(dialog.result(), 0);
    add(QVariant(), 1);
    dialog.cdsPlace->First();
    dialog.cdsPlace->Next();
    dialog.cdsPlace->Edit();
    dialog.cdsPlace->FieldByName(QStringLiteral("QUANTITY"))->SetValue(1);
    dialog.cdsPlace->Post();
    dialog.OkBtnClick();
    EXPECT_EQ(m_messages.last().text, QStringLiteral("第[3]记录的货位为空！不能确定"));
    dialog.cdsPlace->Last();
    dialog.btDeleteClick();
    dialog.OkBtnClick();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(dialog.Rows().size(), 2);

    // A stocktaking's places may go below 0.
    TIIOBuildingPlaceForm counted(form());
    counted.SetLine({30, goods(QStringLiteral("BG0003")), QStringLiteral("中性笔"), 1, 1, QStringLiteral("总部仓库"), -2,
                     {{3, -2, QStringLiteral("A区2号货架")}}});
    counted.OkBtnClick();
    EXPECT_EQ(counted.result(), 1);

    EXPECT_FALSE(grid()->isColumnHidden(grid()->ColumnOfField(QStringLiteral("PLACEFLAG"))));
    addLine("BG0003", 4, 1.5);
    addLine("BG0005", 2, 12);
    setLine("QUANTITY", 3); // all of it goes to the default place again
    ASSERT_TRUE(save()) << err();
    const qint64 id = lastNote("iostoreith");
    EXPECT_EQ(stored(id), QStringLiteral("1:3:4;2:2:3")) << "the commodity's place, else the store's first leaf";

    // The first line goes, and its place row with it.
    lines()->First();
    form()->muDeleteDetailClick();
    ASSERT_TRUE(save()) << err();
    EXPECT_EQ(stored(id), QStringLiteral("2:2:3"));

    // Shelf A1 got a child since: it no longer takes stock.
    sql(QStringLiteral("insert into placelth (PLACEID, CODE, NAME, LCODE, BUILDINGID) values (9, 'A11', 'A区1号货架1层', '010101', 1)"));
    setLine("REMARK", QStringLiteral("x"));
    EXPECT_TRUE(refused(QStringLiteral("当前记录的货位资料已经发生改变，请重新选择货位！")));
    form()->SetLinePlaces(line(0, "ITEMSNO"), {});
    EXPECT_TRUE(refused(QStringLiteral("货品[订书机]没有输入货位")));
    EXPECT_EQ(stored(id), QStringLiteral("2:2:3")) << "nothing written by a refused save";
}

TEST_F(PlaceTest, TurnedInLinesGetTheirDefaultPlaceAndADialogChangeIsAChangeOfTheNote)
{
    setParam(QStringLiteral("IsPSequence"), QStringLiteral("0"));
    const qint64 order = writeNote("orderpth", "PO-5", 1, 1, 1, {{"BG0003", 6, 1.5, 0}}, "BUYQTY");
    setMaster("NOTETYPE", 4);
    setMaster("PARTNERID", 1);
    setMaster("BUILDINGID", 1);
    setMaster("EMPID", 5);
    turnIn(order);
    ASSERT_EQ(lines()->RecordCount(), 1) << err();
    EXPECT_EQ(placesOf(line(0, "ITEMSNO")), QStringLiteral("3:6:A区2号货架"));
    ASSERT_TRUE(save()) << err();
    EXPECT_FALSE(form()->IsNoteModified());
    form()->SetLinePlaces(line(0, "ITEMSNO"), {{3, 4.0, QStringLiteral("A区2号货架")}, {2, 2.0, QStringLiteral("A区1号货架")}});
    EXPECT_TRUE(form()->IsNoteModified());
    // Audited, the places hold the goods (shelf A2 on top of its opening
    // 1,200); un-audited, they no longer do.
    const qint64 id = saveAndAudit("iostoreith");
    EXPECT_EQ(stored(id), QStringLiteral("1:2:2;1:3:4"));
    EXPECT_EQ(penPlaces(), QStringLiteral("2:2;3:1204"));
    ASSERT_EQ(audit("iostoreith", id), 0) << err();
    EXPECT_EQ(penPlaces(), QStringLiteral("2:0;3:1200"));
}

using PlaceAdjustTest = stocktest::StockTest<TPlaceAdjustForm>;

TEST_F(PlaceAdjustTest, WithoutPlacesTheWindowDoesNotOpenWithThemALineMovesBetweenTwoPlaces)
{
    auto *f = CreateNoteForm<TPlaceAdjustForm>();
    m_form.reset(f);
    EXPECT_EQ(pk_note::SendNoteMessage(f, pk_note::NM_NOTEOPEN, 0, 0), pk_note::E_FAIL);
    EXPECT_EQ(lastError(), QStringLiteral("没有使用货位管理功能。"));

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
