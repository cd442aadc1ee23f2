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
#include <QDir>

namespace {

class SalesScreenshotTest : public purchasetest::PurchaseTest<> {
protected:
    static QString shot(const QString &name)
    {
        const QDir shots(QDir(testsupport::binDir()).absoluteFilePath(QStringLiteral("../shots")));
        QDir().mkpath(shots.path());
        return shots.filePath(name + QStringLiteral(".png"));
    }
    template <class Form>
    void shoot(const QString &name)
    {
        auto *f = open<Form>();
        if (f->MasterField(QStringLiteral("PARTNERID")))
            setMaster("PARTNERID", 6);
        addLine("DZ0001", 10, 69);
        addLine("BG0003", 24, 1.5);
        EXPECT_TRUE(errors().isEmpty()) << err();
        QApplication::processEvents();
        EXPECT_TRUE(f->grab().save(shot(name)));
        for (QWidget *w : child("palMaster")->template findChildren<QWidget *>()) {
            if (!w->isWindow() && w->isVisibleTo(f)) {
                EXPECT_TRUE(f->rect().contains(w->mapTo(f, QPoint(0, 0)))) << w->objectName().toStdString();
            }
        }
        m_form.reset();
    }
};

TEST_F(SalesScreenshotTest, TheSalesWindowsAreGrabbed)
{
    shoot<TSalePlanForm>(QStringLiteral("sales_plan"));
    shoot<TSNOrderForm>(QStringLiteral("sales_order"));
    shoot<TDeputeMarketForm>(QStringLiteral("sales_consignment"));
    shoot<TSPriceForm>(QStringLiteral("sales_quotation"));
    // The demo's cargo card: a master of shipment facts and charge lines.
    auto *card = open<TShipBillForm>();
    ASSERT_TRUE(card->LoadNote(scalar(QStringLiteral("select max(NOTEID) from ShipBill")).toInt()));
    QApplication::processEvents();
    EXPECT_TRUE(card->grab().save(shot(QStringLiteral("sales_cargo_card"))));
    for (QWidget *w : child("palMaster")->findChildren<QWidget *>())
        if (!w->isWindow() && w->isVisibleTo(card)) {
            EXPECT_TRUE(card->rect().contains(w->mapTo(card, QPoint(0, 0)))) << w->objectName().toStdString();
        }
    m_form.reset();
    TSetDefPriceForm policy;
    policy.page(0).partner->setCurrentIndex(0);
    policy.show();
    QApplication::processEvents();
    EXPECT_TRUE(policy.grab().save(shot(QStringLiteral("sales_price_policy"))));
}

} // namespace
