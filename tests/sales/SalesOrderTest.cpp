// The sales order and plan through their windows: the shipping date and the
// operator's salesman, a sale made from the order and counted as delivered,
// the menus' refusals, a purchase order for its open lines, a plan turned into orders.

#include "../purchase/PurchaseFixture.h"

#include "Globals.h"
#include "PNOrderForm.h"
#include "SNOrderForm.h"
#include "SNOrderProcForm.h"
#include "SaleForm.h"

#include <QTableWidget>

namespace {

class SalesOrderTest : public purchasetest::SalesTest<TSNOrderForm> {
protected:
    // An audited order of C002: 4 mice at 69 and 30 pens at 1.5, shown again.
    qint64 auditedOrder()
    {
        open();
        setMaster("PARTNERID", partnerId("C002"));
        setMaster("REVDATE", GetFirstDayOfPosMonth().addDays(10));
        addLine("DZ0001", 4, 69);
        addLine("BG0003", 30, 1.5);
        return saveAndAudit("ordersth");
    }
    QString delivered(qint64 order)
    {
        return values("ordersthDetail", order, "SALEQTY");
    }
};

TEST_F(SalesOrderTest, AnOrderNeedsItsShippingDateAndTakesTheOperatorsSalesman)
{
    SetCurrentUser(2); // the clerk logs in as employee 3
    const int before = count("ordersth");
    open();
    EXPECT_EQ(master("EMPID").toInt(), 3);
    pick("cmbPartner", QStringLiteral("C001"));
    EXPECT_EQ(master("PARTNERID").toLongLong(), partnerId("C001"));
    addLine("DZ0002", 5, 299);
    EXPECT_TRUE(refused(QStringLiteral("请选择发货时间！")));
    EXPECT_EQ(count("ordersth"), before);
    setMaster("REVDATE", GetFirstDayOfPosMonth().addDays(5));
    ASSERT_TRUE(save()) << err();
    EXPECT_EQ(values("ordersth", current(), "EMPID, PARTNERID"), QStringLiteral("3/%1").arg(partnerId("C001")));
    // An operator without an employee leaves the salesman empty.
    sql(QStringLiteral("update employlth set OPERATERID=null"));
    open();
    EXPECT_TRUE(master("EMPID").isNull());
}

TEST_F(SalesOrderTest, ASaleMadeFromTheOrderIsAuditedAndTheOrderCountsTheDelivery)
{
    const qint64 order = auditedOrder();
    const qint64 c002 = partnerId("C002");
    const QString onHand = QStringLiteral("select sum(QUANTITY) from onhandaath where COMMODITYID=%1").arg(goods(QStringLiteral("DZ0001")));
    const QString debt = QStringLiteral("select SCAMT from partnerlth where PARTNERID=%1").arg(c002);
    const double stock = scalar(onHand).toDouble(), owed = scalar(debt).toDouble();

    menu("muSale")->trigger();
    auto sale = opened<TSaleForm>("SaleForm");
    ASSERT_NE(sale, nullptr) << err();
    EXPECT_EQ(sale->MasterValue(QStringLiteral("PARTNERID")).toLongLong(), c002);
    ASSERT_EQ(sale->DetailDataSet()->RecordCount(), 2);
    EXPECT_EQ(row(0, "COMMODITYCODE,QUANTITY,PRICE", sale.get()), QStringLiteral("DZ0001/4/69"));
    EXPECT_EQ(refer(1, sale.get()), QStringLiteral("12/%1/2").arg(order));
    // Only part of the pens go now.
    sale->DetailDataSet()->Last();
    sale->DetailDataSource()->SetFieldValue(sale->DetailDataSet()->FieldByName(QStringLiteral("QUANTITY")), 20);
    sale->OkBtnClick();
    ASSERT_TRUE(errors().isEmpty()) << err();
    const qint64 saleId = sale->CurrentNoteID();
    const double amount = column("salesth", saleId, "AMOUNT").toDouble();
    sale->CheckBtnClick();
    ASSERT_EQ(state("salesth", saleId), 1) << err();
    EXPECT_EQ(delivered(order), QStringLiteral("4,20"));
    EXPECT_DOUBLE_EQ(scalar(onHand).toDouble(), stock - 4);
    EXPECT_NEAR(scalar(debt).toDouble(), owed + amount, 1e-6);

    // Delivered lines keep the order audited.
    form()->ReloadNote();
    EXPECT_EQ(row(0, "LINEFINISHED,SALEQTY") + u'/' + row(1, "LINEFINISHED"), QStringLiteral("完成/4/"));
    // Its progress shows what each line asked for and the sale made from it.
    QStringList progress;
    m_modal.setHandler([&progress](QWidget *w) {
        auto *p = qobject_cast<TSNOrderProcForm *>(w);
        if (!p)
            return 0;
        for (QTableWidget *t : {p->grdLines, p->grdSales})
            for (int r = 0; r < t->rowCount(); ++r) {
                QStringList cells;
                for (int c = 0; c < t->columnCount(); ++c)
                    cells << t->item(r, c)->text();
                progress << cells.join(u'|');
            }
        return 1;
    });
    menu("muProc")->trigger();
    const QString sold = QStringLiteral("销售开单|%1|%2|已审核|").arg(column("salesth", saleId, "NOTECODE").toString(),
                                                                   column("salesth", saleId, "NOTEDATE").toString());
    EXPECT_EQ(progress, (QStringList{QStringLiteral("1|DZ0001|无线鼠标|4|4|0|"), QStringLiteral("2|BG0003|中性笔|30|20|10|"),
                                     sold + QStringLiteral("1|DZ0001|无线鼠标|4"), sold + QStringLiteral("2|BG0003|中性笔|20")}))
        << err();

    // A second sale takes what is left. (Its un-audit giving the delivery
    // back is the sales postings' test; the referred order's un-audit the
    // purchase order's.)
    ASSERT_TRUE(sale->LoadForSource(12, order));
    ASSERT_EQ(sale->DetailDataSet()->RecordCount(), 1);
    EXPECT_EQ(row(0, "COMMODITYCODE,QUANTITY", sale.get()), QStringLiteral("BG0003/10"));
}

TEST_F(SalesOrderTest, TheMenusRefuseABranchsACompleteAndAStoppedOrder)
{
    const qint64 order = auditedOrder();
    const QString noSale = QStringLiteral("已经完成或者整单中止不能再生成销售单");
    const QString noPurchase = QStringLiteral("已经完成或者整单中止不能生成采购订单");
    struct Case {
        const char *set;
        QString sale, purchase;
    } cases[] = {{"update ordersth set SHOPERATEID=1", QStringLiteral("分支的单据不能做此业务。"),
                  QStringLiteral("分支的单据不能做此业务。")},
                 {"update ordersth set SHOPERATEID=0, CLOSED=1", noSale, noPurchase},
                 {"update ordersth set CLOSED=0; update ordersthDetail set SALEQTY=QUANTITY", noSale, noPurchase}};
    for (const Case &c : cases) {
        for (const QString &statement : QString::fromUtf8(c.set).split(u';'))
            sql(statement + QStringLiteral(" where NOTEID=%1").arg(order));
        form()->ReloadNote();
        m_messages.clear();
        form()->muSaleClick();
        form()->muPNOrderClick();
        EXPECT_EQ(shown(), (QStringList{c.sale, c.purchase})) << c.set;
    }
    EXPECT_EQ(opened<TSaleForm>("SaleForm"), nullptr);
    EXPECT_EQ(opened<TPNOrderForm>("PNOrderForm"), nullptr);

    // A stopped line is not bought in; the rest is, without a reference.
    sql(QStringLiteral("update ordersthDetail set SALEQTY=1 where NOTEID=%1").arg(order));
    sql(QStringLiteral("update ordersthDetail set CLOSED=1 where NOTEID=%1 and ITEMSNO=2").arg(order));
    form()->ReloadNote();
    form()->muPNOrderClick();
    auto purchase = opened<TPNOrderForm>("PNOrderForm");
    ASSERT_NE(purchase, nullptr) << err();
    ASSERT_EQ(purchase->DetailDataSet()->RecordCount(), 1);
    EXPECT_EQ(row(0, "COMMODITYCODE,QUANTITY,REFERNOTEID", purchase.get()), QStringLiteral("DZ0001/3/"));
    EXPECT_EQ(purchase->MasterValue(QStringLiteral("REMARK")).toString(),
              QStringLiteral("由销售订单[%1]").arg(column("ordersth", order, "NOTECODE").toString()));
}

class SalePlanTest : public purchasetest::PurchaseTest<TSalePlanForm> {};

// The plan's rules are the purchase plan's (FamilyPlanTest); what goes into
// the orders is the procedure's (SalesPostings).
TEST_F(SalePlanTest, APlanBecomesSalesOrdersAndANewOrderWindow)
{
    // DZ0001 is usually sold to C003; the others come from suppliers and wait for the user.
    const qint64 c003 = partnerId("C003");
    sql(QStringLiteral("update Commoditylth set PARTNERID=%1 where CODE='DZ0001'").arg(c003));
    const int orders = count("ordersth", QStringLiteral("PARTNERID=%1").arg(c003));
    const qint64 plan = writeNote("salesthPlan", "XJ-1", 1, 1, 0, {{"DZ0001", 8, 69}, {"BG0001", 20, 25}});
    ASSERT_TRUE(open()->LoadNote(int(plan)));
    menu("muPPlanToOrder")->trigger();
    EXPECT_EQ(m_messages.last().text, QStringLiteral("执行成功！")) << err();
    EXPECT_EQ(count("ordersth", QStringLiteral("PARTNERID=%1").arg(c003)), orders + 1);
    auto order = opened<TSNOrderForm>("SNOrderForm");
    ASSERT_NE(order, nullptr);
    EXPECT_TRUE(order->IsNewNote());
    ASSERT_EQ(order->DetailDataSet()->RecordCount(), 1);
    EXPECT_EQ(row(0, "COMMODITYCODE,QUANTITY", order.get()) + u'/' + refer(0, order.get()),
              QStringLiteral("BG0001/20/11/%1/2").arg(plan));
}

} // namespace
