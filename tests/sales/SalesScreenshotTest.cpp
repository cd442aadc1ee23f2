// The sales windows with a note on screen, grabbed to build/shots/sales_*.png
// for checking by eye; each must fit its design size without hiding a master
// control.

#include "../purchase/PurchaseFixture.h"

#include "DeputeMarketForm.h"
#include "PricePolicyForms.h"
#include "SNOrderForm.h"
#include "SPriceForm.h"
#include "ShipBillForm.h"

#include <QComboBox>

namespace {

using SalesScreenshotTest = purchasetest::PurchaseTest<>;

TEST_F(SalesScreenshotTest, TheSalesWindowsAreGrabbed)
{
    shoot<TSalePlanForm>(QStringLiteral("sales_plan"), 6, "DZ0001", 69);
    shoot<TSNOrderForm>(QStringLiteral("sales_order"), 6, "DZ0001", 69);
    shoot<TDeputeMarketForm>(QStringLiteral("sales_consignment"), 6, "DZ0001", 69);
    shoot<TSPriceForm>(QStringLiteral("sales_quotation"), 6, "DZ0001", 69);
    // The demo's cargo card: a master of shipment facts and charge lines.
    auto *card = open<TShipBillForm>();
    ASSERT_TRUE(card->LoadNote(int(lastNote("ShipBill"))));
    grabbed(card, QStringLiteral("sales_cargo_card"));
    m_form.reset();
    TSetDefPriceForm policy;
    policy.page(0).partner->setCurrentIndex(0);
    policy.show();
    grabbed(&policy, QStringLiteral("sales_price_policy"));
}

} // namespace
