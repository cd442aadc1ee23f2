// Screenshots of the stock windows on the demo's notes and of the audit
// centre, for checking the layout by eye: shots/<form>.png beside the
// build's bin folder. The grab checks only that the window renders.

#include "AttaintForm.h"
#include "BadsthForm.h"
#include "BatchCheckForm.h"
#include "BrowForm.h"
#include "IIOBuildingForm.h"
#include "StockFixture.h"

#include <QDir>

namespace {

class StockScreenshotTest : public stocktest::StockTest<TMDnoteForm> {
protected:
    void grab(QWidget *w, const char *name)
    {
        w->show();
        QApplication::processEvents();
        const QString dir = QDir(testsupport::binDir()).absoluteFilePath(QStringLiteral("../shots"));
        QDir().mkpath(dir);
        const QString path = QDir(dir).filePath(QLatin1String(name) + QStringLiteral(".png"));
        EXPECT_TRUE(w->grab().save(path)) << path.toStdString();
    }
};

TEST_F(StockScreenshotTest, TheStockWindowsOnDemoNotesAndTheAuditCentre)
{
    auto *inOut = open<TIIOBuildingForm>();
    inOut->LoadNote(2); // the system-made note: "机制" shows
    EXPECT_TRUE(child<QLabel>("lbAuto")->isVisible());
    grab(inOut, "IIOBuildingForm");
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
    EXPECT_GT(center.cdsNotes->RecordCount(), 0) << "the demo's waiting notes";
    grab(&center, "BatchCheckForm");
}

} // namespace
