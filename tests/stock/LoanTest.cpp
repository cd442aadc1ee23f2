// Lending goods to a customer and taking them back: keyed in, stored and posted
// at cost, the running loan shown; and a loan never touches the independent
// stock note of its type (they share the type, never a key).

#include "BrowForm.h"
#include "SpecialInForm.h"
#include "StockFixture.h"

namespace {

class LoanTest : public stocktest::StockTest<TStockNoteForm> {
protected:
    // A new note of the window from store 4 for C002 (where the note names
    // a customer) with one line; its id.
    template <class F>
    qint64 note(double quantity, double price = 0, bool sale = false)
    {
        start<F>(4);
        if (sale)
            setMaster("ISSALE", 1);
        if (form()->MasterField(QStringLiteral("PARTNERID")))
            setMaster("PARTNERID", partnerId("C002"));
        addLine("BG0005", quantity, price);
        EXPECT_TRUE(save()) << err();
        return current();
    }
    // Audits or un-audits a note in a new window of its kind; its state then.
    template <class F>
    int auditIn(const char *table, qint64 id)
    {
        open<F>();
        return audit(table, id);
    }
    QString lent() { return child<QLabel>("lbLent")->text(); }
};

TEST_F(LoanTest, ALendingKeyedInLeavesAtCostAndTheReturnComesBack)
{
    clearStock("BG0005", {4});
    receive("BG0005", 4, 10, 8);
    open<TBrowOutForm>();
    EXPECT_EQ(lent(), QStringLiteral("累计借出"));
    pick("cmbPartner", QStringLiteral("C002"));
    EXPECT_EQ(master("PARTNERID").toLongLong(), partnerId("C002"));
    EXPECT_EQ(lent(), QStringLiteral("累计借出  0.0000"));
    pick("cmbBuilding", QStringLiteral("04"));
    setMaster("EMPID", 5);
    // The line as the clerk types it: commodity, quantity, deposit.
    grid()->setFocus();
    key(Qt::Key_Insert, Qt::ShiftModifier);
    for (const auto &[field, text] : {std::pair{"COMMODITYCODE", "BG0005"}, {"QUANTITY", "4"}, {"REAMOUNT", "50"}}) {
        const int column = grid()->ColumnOfField(QString::fromLatin1(field));
        ASSERT_GE(column, 0) << field;
        grid()->setCurrentIndex(grid()->model()->index(grid()->currentIndex().row(), column));
        enter(QString::fromLatin1(text));
    }
    EXPECT_DOUBLE_EQ(line(0, "APRICE").toDouble(), 8) << "valued at the store's cost";
    form()->muRefreshQuantityClick();
    EXPECT_TRUE(child<QLabel>("lbStock")->text().startsWith(QStringLiteral("货品[订书机]在仓库[食品冷藏库]中的实际库存为:10")))
        << child<QLabel>("lbStock")->text().toStdString() << ": the store is the master's";
    setLine("PRICE", 99); // a price the line may hold; the lending stores its cost
    ASSERT_TRUE(save()) << err();
    const qint64 out = current();
    EXPECT_EQ(rows(QStringLiteral("select QUANTITY, PRICE, REAMOUNT from BrowOutdetail where NOTEID=%1").arg(out)),
              QStringLiteral("4:8:50")) << "the price gives way to the cost";
    EXPECT_EQ(lent(), QStringLiteral("累计借出  4.0000"));
    ASSERT_EQ(audit("BrowOut", out), 1) << err();
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("6/48"));
    EXPECT_EQ(flows(23, out), QStringLiteral("4:-1:4:8"));

    // One comes back; a lending that needs no return does not count.
    const qint64 back = note<TBrowInForm>(1, 8);
    ASSERT_EQ(audit("BrowIn", back), 1) << err();
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("7/56"));
    EXPECT_EQ(flows(22, back), QStringLiteral("4:1:1:8"));
    note<TBrowOutForm>(2, 0, true);
    EXPECT_EQ(lent(), QStringLiteral("累计借出  3.0000"));
    // Un-audit of the return puts the goods back out on loan.
    EXPECT_EQ(auditIn<TBrowInForm>("BrowIn", back), 0) << err();
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("6/48"));
}

TEST_F(LoanTest, ALoanAndAnIndependentNoteOfOneTypeKeepApartInKeysAndStock)
{
    clearStock("BG0005", {4});
    receive("BG0005", 4, 20, 5);
    const qint64 special = note<TSpecialOutForm>(2);
    const qint64 lending = note<TBrowOutForm>(3);
    ASSERT_GT(special, 0);
    EXPECT_EQ(lending, special + 1) << "type 23 hands out one key per note across both tables";
    // The stock-in side shares its counter the same way.
    const qint64 a = GetNewKeyValue(QStringLiteral("BrowIn")), b = GetNewKeyValue(QStringLiteral("OtherInith"));
    EXPECT_EQ(b, a + 1);

    ASSERT_EQ(audit("BrowOut", lending), 1) << err();
    ASSERT_EQ(auditIn<TSpecialOutForm>("OtherOutith", special), 1) << err();
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("15/75"));
    // Taking one back leaves the other's flow rows and stock effect alone.
    ASSERT_EQ(auditIn<TBrowOutForm>("BrowOut", lending), 0) << err();
    EXPECT_EQ(flows(23, lending), QString());
    EXPECT_EQ(flows(23, special), QStringLiteral("4:-1:2:5"));
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("18/90"));
    ASSERT_EQ(auditIn<TSpecialOutForm>("OtherOutith", special), 0) << err();
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("20/100"));
}

} // namespace
