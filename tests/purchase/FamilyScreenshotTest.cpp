// The four family windows with a note on screen, grabbed to
// build/shots/purchase_*.png for checking by eye; each must fit its design
// size without hiding a master control.

#include "FamilyFixture.h"

#include "PBuyPlanForm.h"
#include "PNOrderForm.h"
#include "PValueForm.h"
#include "RePurchaseForm.h"

using namespace familytest;

namespace {

class FamilyScreenshotTest : public FamilyTest {
protected:
    template <class Form>
    void shoot(const QString &name)
    {
        auto *f = open<Form>();
        if (f->MasterField(QStringLiteral("PARTNERID")))
            setMaster("PARTNERID", supplier("S001"));
        typeLine(QStringLiteral("BG0001"), QStringLiteral("10"), QStringLiteral("20"));
        typeLine(QStringLiteral("BG0003"), QStringLiteral("24"), QStringLiteral("1.5"));
        EXPECT_TRUE(errors().isEmpty()) << errorText();
        EXPECT_TRUE(screenshot(name));
        // Every control of the master panel is on screen.
        QWidget *panel = f->template findChild<QWidget *>(QStringLiteral("palMaster"));
        for (QWidget *w : panel->template findChildren<QWidget *>()) {
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
