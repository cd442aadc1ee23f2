// The sale through its window: keyed in and audited, the checks before save,
// the invoicing charge and lowest price of a line, the audit and menu
// refusals, a return made from a sale and a sales order turned in.

#include "../purchase/PurchaseFixture.h"
#include "SaleForm.h"

#include "Lookup.h"

#include <QLabel>
#include <QLineEdit>

namespace {

class SaleTest : public purchasetest::SalesTest<TSaleForm> {
protected:
    int notes() { return count("salesth"); }
    qint64 savedNote() { return lastNote("salesth"); }
    int state(qint64 id) { return SalesTest::state("salesth", id); }
    // A saved and audited sale of C002: 10 pens at 1.50; shown again.
    qint64 auditedSale()
    {
        open();
        setMaster("PARTNERID", partnerId("C002"));
        addLine("BG0003", 10, 1.5);
        return saveAndAudit("salesth");
    }
    // The cost price dialog of a return line answers `price`; its caption and question go to `asked`.
    void answerCostPrice(const QString &price, QStringList *asked = nullptr)
    {
        m_modal.setHandler([price, asked](QWidget *w) {
            auto *ask = qobject_cast<TMarketAPriceForm *>(w);
            if (!ask)
                return 0;
            if (asked)
                *asked << ask->windowTitle() + u'|' + ask->findChild<QLabel *>(QStringLiteral("lbAsk"))->text();
            ask->edPrice->setText(price);
            ask->OkBtnClick();
            return ask->result();
        });
    }
};

TEST_F(SaleTest, ASaleKeyedInIsSavedAndAudited)
{
    const qint64 c002 = partnerId("C002");
    open();
    ASSERT_EQ(focus()->objectName(), QStringLiteral("cmbPartner")) << "the window opens on the customer";
    enter(QStringLiteral("C002"));
    EXPECT_EQ(master("PARTNERID").toLongLong(), c002);
    EXPECT_EQ(child<QLineEdit>("edBalance")->text(), QString::asprintf("%.2f", owed(c002)));
    for (int i = 0; i < 30 && focus() != grid(); ++i)
        key(Qt::Key_Return);
    ASSERT_EQ(focus(), grid());
    enter(QStringLiteral("DZ0001"));
    key(Qt::Key_Return);
    enter(QStringLiteral("3"));
    enter(QStringLiteral("69"));
    EXPECT_DOUBLE_EQ(line(0, "COMMODITYAMT").toDouble(), 207);
    key(Qt::Key_F7);
    ASSERT_TRUE(errors().isEmpty()) << err();
    const qint64 id = savedNote();
    EXPECT_EQ(values("salesth", id, "PARTNERID, CLOSEFILL, PAYAMT"), QStringLiteral("%1/0/0").arg(c002));
    EXPECT_DOUBLE_EQ(column("salesthDetail", id, "QUANTITY*PRICE").toDouble(), 207);
    // F9 audits (what the audit posts: the sales postings' test; through the
    // windows: the sale made from an order).
    key(Qt::Key_F9);
    EXPECT_EQ(state(id), 1) << err();
}

TEST_F(SaleTest, TheChecksBeforeSaveComeInOrderWithTheirTexts)
{
    const int existing = notes();
    open();
    addLine("BG0003", 10, 1.5);
    EXPECT_TRUE(refused(QStringLiteral("客户不能为空")));
    setMaster("PARTNERID", partnerId("C003"));
    setMaster("PAYAMT", -5);
    EXPECT_TRUE(refused(QStringLiteral("本次现收必须大于0！")));
    // The settlement method, account and term are checked as on a receipt.
    // A return pays back: money received on the spot is refused.
    setMaster("NOTEKIND", 2);
    addLine("BG0003", -10, 1.5);
    setMaster("PAYAMT", 5);
    setMaster("PAYTYPESID", 2);
    EXPECT_TRUE(refused(QStringLiteral("本次现收必须小于0！")));
    EXPECT_EQ(notes(), existing);

    // The customer's credit is only told; the sale is saved.
    sql(QStringLiteral("update partnerlth set CREDIT=5, SCAMT=0 where PARTNERID=%1").arg(partnerId("C003")));
    setMaster("PARTNERID", partnerId("C002"));
    setMaster("PARTNERID", partnerId("C003"));
    setMaster("NOTEKIND", 1);
    addLine("BG0003", 10, 1.5);
    setLine("TAXRATE", 0);
    EXPECT_TRUE(save()) << err();
    EXPECT_EQ(m_messages.texts(pub::MessageKind::Information).value(0),
              QStringLiteral("此客户的欠款已经超出其信用额度：5.00"));
    EXPECT_EQ(notes(), existing + 1);
}

TEST_F(SaleTest, TheInvoicingChargeFollowsIsFillAndALowPriceIsOnlyTold)
{
    open();
    setMaster("PARTNERID", partnerId("C002"));
    setMaster("ISFILL", 1);
    addLine("BG0003", 10, 1.5);
    addLine("BG0005", 4, 20);
    EXPECT_EQ(row(0, "TAXAMOUNT,MARGIN,APRICE"), QStringLiteral("3/0/0"));
    setMaster("ISFILL", 0);
    EXPECT_EQ(row(0, "TAXAMOUNT") + row(1, "TAXAMOUNT"), QStringLiteral("00"));
    setMaster("ISFILL", 1);
    EXPECT_DOUBLE_EQ(line(1, "TAXAMOUNT").toDouble(), 1.2);

    const qint64 pen = goods(QStringLiteral("BG0003"));
    sql(QStringLiteral("update Commoditylth set LOWPRICE=2 where COMMODITYID=%1").arg(pen));
    RefreshLookupData(pub::RecordCommodity); // as the commodity window does after a change
    m_messages.clear();
    lines()->First();
    setLine("PRICE", 1.8);
    EXPECT_EQ(m_messages.texts().value(0),
              QStringLiteral("货品[%1]的单价小于最低销售价，请改正售价或货品资料的最低售价").arg(line(0, "COMMODITYNAME").toString()));
    EXPECT_DOUBLE_EQ(line(0, "PRICE").toDouble(), 1.8) << "the price stays as typed";
    sql(QStringLiteral("update Commoditylth set LOWPRICE=0 where COMMODITYID=%1").arg(pen));
    RefreshLookupData(pub::RecordCommodity);
    m_messages.clear();
    setLine("PRICE", 1.2);
    EXPECT_TRUE(m_messages.texts().isEmpty()) << err();
}

// The pack is typed by name in its cell; packages and the packing charge follow
// the quantity, and the line keeps them in the books.
TEST_F(SaleTest, APackChosenInTheGridCountsPackagesAndItsCharge)
{
    open();
    setMaster("PARTNERID", partnerId("C002"));
    addLine("BG0003", 25, 1.5);
    auto *g = grid();
    g->setFocus();
    g->setCurrentIndex(g->model()->index(0, g->ColumnOfField(QStringLiteral("PACKNAME"))));
    enter(QString::fromUtf8("纸箱"));
    EXPECT_EQ(row(0, "PACKNAME,PACKQTY,DISAMOUNT"), QString::fromUtf8("纸箱(12)/3/12.5"));
    setLine("QUANTITY", 12);
    EXPECT_EQ(row(0, "PACKQTY,DISAMOUNT"), QStringLiteral("1/6"));
    ASSERT_TRUE(save()) << err();
    EXPECT_EQ(values("salesthDetail", savedNote(), "PACK, PACKQTY, DISAMOUNT", 1), QStringLiteral("1/1/6"));
}

TEST_F(SaleTest, AuditUnauditVoidAndMenuRefusals)
{
    const qint64 id = auditedSale();
    // A settled sale makes no receipt of money (an open one does: the flow test).
    sql(QStringLiteral("update salesth set REFERAMT=AMOUNT where NOTEID=%1").arg(id));
    form()->LoadNote(int(id));
    form()->muMoneyClick();
    EXPECT_EQ(lastError(), QStringLiteral("销售单已结算完毕,无法生成收款单."));

    form()->mufillClick();
    EXPECT_EQ(column("salesth", id, "CLOSEFILL").toInt(), 1) << err();
    EXPECT_EQ(menu("mufill")->text(), QStringLiteral("反终止开票..."));
    form()->CheckBtnClick();
    EXPECT_EQ(lastError(), QStringLiteral("已经终止开票不能反审核！"));
    form()->mufillClick();
    EXPECT_EQ(column("salesth", id, "CLOSEFILL").toInt(), 0);

    sql(QStringLiteral("update salesthDetail set REFERQTY=-2 where NOTEID=%1").arg(id));
    EXPECT_TRUE(auditRefused("salesth", id, 1, QStringLiteral("该单有记录已销货退回或出库,不能反审核！")));
}

TEST_F(SaleTest, AReturnIsMadeFromTheOpenLinesOfASaleAndAsksForTheCostPrice)
{
    const qint64 sale = auditedSale();
    const QString code = master("NOTECODE").toString();
    sql(QStringLiteral("update salesthDetail set REFERQTY=-4 where NOTEID=%1").arg(sale));
    form()->muReturnClick();
    EXPECT_EQ(masters("NOTEKIND,PARTNERID,NOTESTATE"), QStringLiteral("2/%1/0").arg(partnerId("C002")));
    ASSERT_EQ(lines()->RecordCount(), 1);
    EXPECT_EQ(row(0, "QUANTITY,PRICE,REFERNOTECODE") + u'/' + refer(0), QStringLiteral("-6/1.5/%1/14/%2/1").arg(code).arg(sale));
    EXPECT_DOUBLE_EQ(line(0, "APRICE").toDouble(), 0);
    QStringList asked;
    // First a negative cost price (refused in the dialog, which then is cancelled).
    answerCostPrice(QStringLiteral("-1"), &asked);
    const int existing = notes();
    EXPECT_FALSE(save());
    EXPECT_EQ(lastError(), QStringLiteral("成本价不能小于0"));
    EXPECT_EQ(notes(), existing);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0], QStringLiteral("输入成本价|批次核算成本的货品必须要有成本价，请输入货品： '%1' 的成本价!")
                            .arg(line(0, "COMMODITYNAME").toString()));
    answerCostPrice(QStringLiteral("1.1"));
    ASSERT_TRUE(save()) << err();
    EXPECT_EQ(values("salesth", savedNote(), "NOTEKIND"), QStringLiteral("2"));
    EXPECT_DOUBLE_EQ(column("salesthDetail", savedNote(), "APRICE", 1).toDouble(), 1.1);
    EXPECT_EQ(grid()->Column(grid()->ColumnOfField(QStringLiteral("IOQTY"))).Title, QStringLiteral("入库数量"))
        << "a return's goods come in";
}

TEST_F(SaleTest, TheOpenLineOfADemoSalesOrderIsTurnedIn)
{
    // The demo's first order of C001: all pens delivered, 2 of 5 keyboards open.
    const qint64 order = scalar(QStringLiteral("select NOTEID from ordersth where CONTRACTNO='LH-2024-0318'")).toLongLong();
    ASSERT_GT(order, 0);
    open();
    form()->SelectSourceNote();
    EXPECT_EQ(lastError(), QStringLiteral("请选择客户！"));
    setMaster("PARTNERID", partnerId("C001"));
    turnIn(order);
    ASSERT_EQ(lines()->RecordCount(), 1) << err();
    EXPECT_EQ(row(0, "COMMODITYID,QUANTITY"), QStringLiteral("%1/2").arg(goods(QStringLiteral("DZ0002"))));
    EXPECT_EQ(refer(0), QStringLiteral("12/%1/2").arg(order));
    EXPECT_EQ(master("CONTRACTNO").toString(), QStringLiteral("LH-2024-0318"));
    ASSERT_TRUE(save()) << err();
    const qint64 sale = savedNote();
    EXPECT_EQ(values("salesthDetail", sale, "REFERNOTETYPE, QUANTITY", 1), QStringLiteral("12/2"));

    // A stopped line stays behind when the order's menu makes a sale.
    sql(QStringLiteral("update ordersthDetail set CLOSED=1 where NOTEID=%1").arg(order));
    EXPECT_FALSE(static_cast<pk_note::ISourceNoteLoader *>(form())->LoadForSource(12, order));
    EXPECT_EQ(lastError(), QStringLiteral("此单没有可以生成的记录！"));
    // The stopped order line stops the audit of the sale made before.
    form()->CancelBtnClick();
    form()->LoadNote(int(sale));
    EXPECT_TRUE(auditRefused("salesth", sale, 0, QStringLiteral("有销售订单记录已停止交易,不能审核交货！")));
}

} // namespace
