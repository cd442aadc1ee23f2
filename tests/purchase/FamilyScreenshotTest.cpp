// The four family windows with a note on screen, grabbed to
// build/shots/purchase_*.png for checking by eye; each must fit its design
// size without hiding a master control.

#include "PurchaseFixture.h"

#include "PBuyPlanForm.h"
#include "PNOrderForm.h"
#include "PValueForm.h"
#include "RePurchaseForm.h"

namespace {

using FamilyScreenshotTest = purchasetest::PurchaseTest<>;

TEST_F(FamilyScreenshotTest, TheFourWindowsAreGrabbed)
{
    shoot<TPBuyPlanForm>(QStringLiteral("purchase_plan"), 1, "BG0001", 20);
    shoot<TPNOrderForm>(QStringLiteral("purchase_order"), 1, "BG0001", 20);
    shoot<TPValueForm>(QStringLiteral("purchase_value"), 1, "BG0001", 20);
    shoot<TRePurchaseForm>(QStringLiteral("purchase_requisition"), 1, "BG0001", 20);
}

} // namespace
