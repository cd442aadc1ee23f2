// Lending goods to a customer and taking them back: the lending is keyed in
// by the clerk, stored and posted at cost, the customer's running loan shows
// on the window; and a loan note never touches the stock of the independent
// stock note of its type (they share the type, never a key).

#include "BrowForm.h"
#include "SpecialInForm.h"
#include "StockFixture.h"

namespace {

template <class Form>
class LoanTest : public stocktest::StockTest<Form> {
protected:
    qint64 customer(const char *code)
    {
        return this->scalar(QStringLiteral("select PARTNERID from partnerlth where CODE='%1'").arg(QLatin1String(code))).toLongLong();
    }
    // A fresh stock of a commodity in store 4, written as an audited independent stock-in.
    void stock(const char *code, double quantity, double price)
    {
        this->sql(QStringLiteral("delete from onhandaath where BUILDINGID=4 and COMMODITYID=%1").arg(this->goods(QLatin1String(code))));
        const qint64 id = GetNewKeyValue(QStringLiteral("OtherInith"));
        this->sql(QStringLiteral("insert into OtherInithdetail (NOTEID, ITEMSNO, COMMODITYID, QUANTITY, PRICE, AMOUNT) values "
                                 "(%1, 1, %2, %3, %4, %5)")
                      .arg(id).arg(this->goods(QLatin1String(code))).arg(quantity).arg(price).arg(quantity * price));
        this->sql(QStringLiteral("insert into OtherInith (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, BUILDINGID, OPERATEID) "
                                 "values (%1, 1, 1, 'RK-%1', '%2', 4, 1)")
                      .arg(id).arg(GetFirstDayOfPosMonth().toString(Qt::ISODate)));
    }
    // A new issue of the window from store 4 by employee 5 (for C001 where
    // the note names a customer), with one line.
    template <class F>
    qint64 note(const char *code, double quantity)
    {
        this->template open<F>();
        if (this->form()->MasterField(QStringLiteral("PARTNERID")))
            this->setMaster("PARTNERID", customer("C001"));
        this->setMaster("BUILDINGID", 4);
        this->setMaster("EMPID", 5);
        this->addLine(code, quantity, 0);
        EXPECT_TRUE(this->save()) << this->err();
        return this->current();
    }
    // Audits an entered note, or un-audits an audited one, in `window`.
    void audit(TBasenoteForm *window, qint64 id)
    {
        window->LoadNote(int(id));
        window->CheckBtnClick();
    }
    QString lent() { return this->template child<QLabel>("lbLent")->text(); }
};

using LendingTest = LoanTest<TStockNoteForm>;

TEST_F(LendingTest, ALendingKeyedInLeavesAtCostAndTheReturnComesBack)
{
    stock("BG0005", 10, 8);
    open<TBrowOutForm>();
    EXPECT_EQ(lent(), QStringLiteral("累计借出"));
    pick("cmbPartner", QStringLiteral("C002"));
    EXPECT_EQ(master("PARTNERID").toLongLong(), customer("C002"));
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
    EXPECT_EQ(column("BrowOutdetail", out, "QUANTITY || '*' || PRICE || '/' || REAMOUNT", 1).toString(), QStringLiteral("4*8/50"))
        << "the price gives way to the cost";
    EXPECT_EQ(lent(), QStringLiteral("累计借出  4.0000"));
    audit(form(), out);
    ASSERT_EQ(state("BrowOut", out), 1) << err();
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("6/48"));
    EXPECT_EQ(flows(23, out), QStringLiteral("4:-1:4:8"));

    // One comes back; a lending that needs no return does not count.
    auto *in = open<TBrowInForm>();
    setMaster("PARTNERID", customer("C002"));
    setMaster("BUILDINGID", 4);
    setMaster("EMPID", 5);
    addLine("BG0005", 1, 8);
    ASSERT_TRUE(save()) << err();
    const qint64 back = current();
    audit(in, back);
    ASSERT_EQ(state("BrowIn", back), 1) << err();
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("7/56"));
    EXPECT_EQ(flows(22, back), QStringLiteral("4:1:1:8"));
    open<TBrowOutForm>();
    setMaster("ISSALE", 1);
    pick("cmbPartner", QStringLiteral("C002"));
    EXPECT_EQ(lent(), QStringLiteral("累计借出  3.0000"));
    setMaster("BUILDINGID", 4);
    setMaster("EMPID", 5);
    addLine("BG0005", 2, 0);
    ASSERT_TRUE(save()) << err();
    EXPECT_EQ(lent(), QStringLiteral("累计借出  3.0000"));
    // Un-audit of the return puts the goods back out on loan.
    audit(open<TBrowInForm>(), back);
    EXPECT_EQ(state("BrowIn", back), 0) << err();
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("6/48"));
}

using SharedTypeTest = LoanTest<TStockNoteForm>;

TEST_F(SharedTypeTest, ALoanAndAnIndependentNoteOfOneTypeKeepApartInKeysAndStock)
{
    stock("BG0005", 20, 5);
    const qint64 special = note<TSpecialOutForm>("BG0005", 2);
    const qint64 lending = note<TBrowOutForm>("BG0005", 3);
    ASSERT_GT(special, 0);
    ASSERT_NE(lending, special) << "type 23 hands out one key per note across both tables";
    EXPECT_EQ(lending, special + 1);
    // The stock-in side shares its counter the same way.
    const qint64 a = GetNewKeyValue(QStringLiteral("BrowIn")), b = GetNewKeyValue(QStringLiteral("OtherInith"));
    EXPECT_EQ(b, a + 1);

    audit(form(), lending);
    ASSERT_EQ(state("BrowOut", lending), 1) << err();
    audit(open<TSpecialOutForm>(), special);
    ASSERT_EQ(state("OtherOutith", special), 1) << err();
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("15/75"));
    // Taking one back leaves the other's flow rows and stock effect alone.
    audit(open<TBrowOutForm>(), lending);
    ASSERT_EQ(state("BrowOut", lending), 0) << err();
    EXPECT_EQ(flows(23, lending), QString());
    EXPECT_EQ(flows(23, special), QStringLiteral("4:-1:2:5"));
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("18/90"));
    audit(open<TSpecialOutForm>(), special);
    ASSERT_EQ(state("OtherOutith", special), 0) << err();
    EXPECT_EQ(onHand("BG0005", 4), QStringLiteral("20/100"));
}

} // namespace
