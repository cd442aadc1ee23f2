// The four family windows with a note on screen, grabbed to
// build/shots/purchase_*.png for checking by eye; each must fit its design
// size without hiding a master control.

#include "PurchaseFixture.h"

#include "PBuyPlanForm.h"
#include "PNOrderForm.h"
#include "PValueForm.h"
#include "RePurchaseForm.h"

#include <QDir>

namespace {

class FamilyScreenshotTest : public purchasetest::PurchaseTest<> {
protected:
    template <class Form>
    void shoot(const QString &name)
    {
        auto *f = open<Form>();
        if (f->MasterField(QStringLiteral("PARTNERID")))
            setMaster("PARTNERID", 1);
        addLine("BG0001", 10, 20);
        addLine("BG0003", 24, 1.5);
        EXPECT_TRUE(errors().isEmpty()) << err();
        const QDir shots(QDir(testsupport::binDir()).absoluteFilePath(QStringLiteral("../shots")));
        QDir().mkpath(shots.path());
        QApplication::processEvents();
        EXPECT_TRUE(f->grab().save(shots.filePath(name + QStringLiteral(".png"))));
        // Every control of the master panel is on screen.
        for (QWidget *w : child("palMaster")->template findChildren<QWidget *>()) {
            if (!w->isWindow() && w->isVisibleTo(f)) {
                EXPECT_TRUE(f->rect().contains(w->mapTo(f, QPoint(0, 0)))) << w->objectName().toStdString();
            }
        }
        m_form.reset();
    }
};

TEST_F(FamilyScreenshotTest, TheFourWindowsAreGrabbed)
{
    shoot<TPBuyPlanForm>(QStringLiteral("purchase_plan"));
    shoot<TPNOrderForm>(QStringLiteral("purchase_order"));
    shoot<TPValueForm>(QStringLiteral("purchase_value"));
    shoot<TRePurchaseForm>(QStringLiteral("purchase_requisition"));
}

} // namespace
