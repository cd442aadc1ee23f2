// Screenshots of the stock windows on the demo's notes and of the audit
// centre, for checking the layout by eye: shots/<form>.png beside the
// build's bin folder. The grab checks only that the window renders.

#include "BadsthForm.h"
#include "BatchCheckForm.h"
#include "BrowForm.h"
#include "IIOBuildingForm.h"
#include "IIOBuildingPlaceForm.h"
#include "StockFixture.h"

namespace {

class StockScreenshotTest : public stocktest::StockTest<TMDnoteForm> {
protected:
    void grab(QWidget *w, const char *name)
    {
        w->show();
        EXPECT_TRUE(testsupport::saveShot(w, QLatin1String(name))) << name;
    }
};

TEST_F(StockScreenshotTest, TheStockWindowsOnDemoNotesAndTheAuditCentre)
{
    setParam(QStringLiteral("UsePlace"), QStringLiteral("1"));
    auto *inOut = open<TIIOBuildingForm>();
    inOut->LoadNote(2); // the system-made note: "机制" shows
    grab(inOut, "IIOBuildingForm");
    {
        // The pens' shelf in head office split over two shelves.
        TIIOBuildingPlaceForm dialog(inOut);
        dialog.SetLine({22, goods(QStringLiteral("BG0003")), QStringLiteral("中性笔"), 1, 1, QStringLiteral("总部仓库"), 5,
                        {{3, 3.0, QStringLiteral("A区2号货架")}, {2, 2.0, QStringLiteral("A区1号货架")}}});
        grab(&dialog, "IIOBuildingPlaceForm");
    }

    auto *transfer = open<TBadsthForm>();
    transfer->LoadNote(1);
    EXPECT_EQ(child<QLabel>("lbInOrg")->text(), QStringLiteral("调入机构:  总部"));
    grab(transfer, "BadsthForm");
    auto *lending = open<TBrowOutForm>();
    lending->LoadNote(int(scalar(QStringLiteral("select min(NOTEID) from BrowOut")).toLongLong()));
    EXPECT_EQ(child<QLabel>("lbLent")->text(), QStringLiteral("累计借出  10.0000")) << "eight and five lent, three back";
    grab(lending, "BrowOutForm");
    TBatchCheckForm center;
    center.btnQueryClick();
    EXPECT_GT(center.cdsNotes->RecordCount(), 5) << "the demo's waiting notes";
    grab(&center, "BatchCheckForm");
}

} // namespace
