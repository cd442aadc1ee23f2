// The purchase plan through its window: the period chosen sets the dates, a
// plan needs its department and salesman and becomes purchase orders; and the
// four family windows grabbed for checking by eye.

#include "PurchaseFixture.h"

#include "PBuyPlanForm.h"
#include "PNOrderForm.h"
#include "PValueForm.h"
#include "RePurchaseForm.h"

#include <QSpinBox>

namespace {

class FamilyPlanTest : public purchasetest::PurchaseTest<TPBuyPlanForm> {};

TEST_F(FamilyPlanTest, ThePeriodChosenSetsStartAndEndAndAPlanNeedsItsDepartmentAndSalesman)
{
    auto *plan = open();
    const QString year = QString::number(plan->YearBox()->value());
    const char *period = "PLANTYPE,STARTDATE,ENDDATE";
    EXPECT_EQ(masters(period), QStringLiteral("0/%1-01-01/%1-12-31").arg(year)) << "a new plan covers its year";
    // Typed into the period box by name.
    pick("cmbPlanType", QStringLiteral("第二季度"));
    EXPECT_EQ(masters(period), QStringLiteral("2/%1-04-01/%1-06-30").arg(year));
    plan->YearBox()->setValue(2028);
    EXPECT_EQ(masters(period), QStringLiteral("2/2028-04-01/2028-06-30")) << "another year, the same quarter";
    pick("cmbPlanType", QStringLiteral("二月份"));
    EXPECT_EQ(masters(period), QStringLiteral("6/2028-02-01/2028-02-29")) << "a leap year";
    // The year, the first and last quarter, the first and last month.
    const std::pair<int, const char *> periods[] = {{0, "2027-01-01/2027-12-31"}, {1, "2027-01-01/2027-03-31"},
                                                    {4, "2027-10-01/2027-12-31"}, {5, "2027-01-01/2027-01-31"},
                                                    {16, "2027-12-01/2027-12-31"}};
    for (const auto &[type, dates] : periods) {
        const auto [start, end] = TPBuyPlanForm::PeriodDates(type, 2027);
        EXPECT_EQ(start.toString(Qt::ISODate) + u'/' + end.toString(Qt::ISODate), QLatin1String(dates))
            << TPBuyPlanForm::PeriodNames().value(type).toStdString();
    }

    // The plan needs its department and salesman.
    const int before = count("purchasepthPlan");
    pick("cmbPlanType", QStringLiteral("第三季度"));
    addLine("BG0001", 100, 18);
    addLine("YL0001", 40, 95);
    EXPECT_TRUE(refused(QStringLiteral("请选择部门！")));
    setMaster("DEPID", 2);
    EXPECT_TRUE(refused(QStringLiteral("请选择业务员！")));
    EXPECT_EQ(count("purchasepthPlan"), before);
    setMaster("EMPID", 2);
    ASSERT_TRUE(save()) << err();
    const qint64 id = current();
    EXPECT_EQ(values("purchasepthPlan", id, "PLANTYPE, DEPID, EMPID, STARTDATE, LASTUPDATEDATE"),
              QStringLiteral("3/2/2/2028-07-01/%1").arg(QDate::currentDate().toString(Qt::ISODate)));
    form()->CheckBtnClick();
    EXPECT_EQ(state("purchasepthPlan", id), 1) << err();
    ASSERT_TRUE(form()->LoadNote(int(id)));
    EXPECT_FALSE(child<QSpinBox>("edYear")->isEnabled()) << "an audited plan keeps its period";
}

TEST_F(FamilyPlanTest, ThePlanBecomesOrdersAndItsLinesWithoutASupplierANewOrderWindowButNotABranchs)
{
    // BG0001 and BG0003 are bought from S001, DZ0001 from S002; YL0001 loses its supplier.
    sql(QStringLiteral("update Commoditylth set PARTNERID=null where CODE='YL0001'"));
    const int orders = count("orderpth");
    const qint64 id = writeNote("purchasepthPlan", "JH-2", 1, 1, 0,
                                {{"BG0001", 10, 18}, {"YL0001", 6, 95}, {"DZ0001", 4, 35}, {"BG0003", 50, 1.2}});
    ASSERT_TRUE(open()->LoadNote(int(id)));
    menu("muPPlanToOrder")->trigger();
    ASSERT_TRUE(errors().isEmpty()) << err();
    EXPECT_EQ(m_messages.last().text, QStringLiteral("执行成功！"));
    EXPECT_EQ(m_messages.last().caption, QStringLiteral("提示"));

    // One order per usual supplier (what goes in them is the procedure's test).
    EXPECT_EQ(count("orderpth"), orders + 2);
    // The line without one waits in a new order window for its supplier.
    auto order = opened<TPNOrderForm>("PNOrderForm");
    ASSERT_NE(order, nullptr);
    EXPECT_TRUE(order->IsNewNote());
    ASSERT_EQ(order->DetailDataSet()->RecordCount(), 1);
    EXPECT_EQ(row(0, "COMMODITYCODE,QUANTITY,PRICE", order.get()), QStringLiteral("YL0001/6/95"));
    EXPECT_EQ(refer(0, order.get()), QStringLiteral("1/%1/2").arg(id));
    EXPECT_FALSE(order->LoadForSource(1, 9999)) << "a plan with nothing left makes no order";
    order.reset();

    // A branch's plan makes none.
    sql(QStringLiteral("update purchasepthPlan set SHOPERATEID=1 where NOTEID=%1").arg(id));
    form()->ReloadNote();
    m_messages.clear();
    form()->PPlanToOrderClick();
    EXPECT_EQ(shown(), QStringList{QStringLiteral("分支的单据不能做此业务。")});
    EXPECT_EQ(count("orderpth"), orders + 2);
    EXPECT_EQ(opened<TPNOrderForm>("PNOrderForm"), nullptr);
}

using FamilyScreenshotTest = purchasetest::PurchaseTest<>;

TEST_F(FamilyScreenshotTest, TheFourWindowsAreGrabbed)
{
    shoot<TPBuyPlanForm>(QStringLiteral("purchase_plan"), 1, "BG0001", 20);
    shoot<TPNOrderForm>(QStringLiteral("purchase_order"), 1, "BG0001", 20);
    shoot<TPValueForm>(QStringLiteral("purchase_value"), 1, "BG0001", 20);
    shoot<TRePurchaseForm>(QStringLiteral("purchase_requisition"), 1, "BG0001", 20);
}

} // namespace
