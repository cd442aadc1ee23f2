// The settlement a payment or a receipt of money posts on audit: REFERAMT of
// the notes on its lines, the partner's balance, the account, the discount;
// the exact reversal, and the refusals that leave the books untouched.

#include "../database/PostingFixture.h"

#include "notedb.h"

namespace {

struct Line {
    int type;
    qint64 note;
    double amount;
};

class Settlement : public postingtest::PostingTest {
protected:
    void SetUp() override
    {
        PostingTest::SetUp();
        sql("insert into partnerlth (PARTNERID, CODE, NAME, ISVENDOR, ISCLIENT) values (1, 'S1', '晨光', 1, 0), "
            "(2, 'S2', '得力', 1, 0), (3, 'C1', '联华', 0, 1)");
        sql("insert into accountacth (ACCOUNTID, CODE, NAME, BALANCE, CLOSED) values (1, '01', '现金', 5000, 0), "
            "(2, '02', '旧帐户', 0, 1)");
        // Audited receipts of supplier 1 (600, 300, 500, a return of -200)
        // and of supplier 2; sales of the customer (800, a return of -100).
        receipt("purchasepth", 11, 1, 600);
        receipt("purchasepth", 12, 1, 300);
        receipt("purchasepth", 13, 1, 500);
        receipt("purchasepth", 14, 1, -200, 2);
        receipt("purchasepth", 15, 2, 100);
        receipt("salesth", 21, 3, 800);
        receipt("salesth", 22, 3, -100, 2);
    }

    // An audited note without lines: its posting makes the partner owe its amount.
    void receipt(const char *table, qint64 id, int partner, double amount, int kind = 1)
    {
        books->exec(QStringLiteral("insert into %1 (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, PARTNERID, AMOUNT) "
                                   "values (%2, %3, 1, 'R-%2', '2024-03-01', %4, %5)")
                        .arg(QLatin1String(table))
                        .arg(id)
                        .arg(kind)
                        .arg(partner)
                        .arg(amount));
    }
    void money(const char *table, qint64 id, int kind, int partner, double amount, double paid,
               const QList<Line> &lines, int account = 1)
    {
        books->exec(QStringLiteral("insert into %1 (NOTEID, NOTECODE, NOTEDATE, NOTESTATE, NOTEKIND, OPERATEID, PARTNERID, "
                                   "AMOUNT, DISC, FACTAMT, PAYTYPESID, ACCOUNTID, SUBID) values (%2, 'P-%2', '2024-03-05', 0, "
                                   "%3, 1, %4, %5, %6, %7, 1, %8, 7)")
                        .arg(QLatin1String(table))
                        .arg(id)
                        .arg(kind)
                        .arg(partner)
                        .arg(amount)
                        .arg(amount ? paid / amount * 100 : 100)
                        .arg(paid)
                        .arg(account));
        int item = 0;
        for (const Line &l : lines)
            books->exec(QStringLiteral("insert into %1detail (NOTEID, ITEMSNO, REFERNOTETYPE, REFERNOTEID, AMOUNT) "
                                       "values (%2, %3, %4, %5, %6)")
                            .arg(QLatin1String(table))
                            .arg(id)
                            .arg(++item)
                            .arg(l.type)
                            .arg(l.note)
                            .arg(l.amount));
    }
    void state(const char *table, qint64 id, int from, int to) { setState(QLatin1String(table), id, from, to); }
    // Everything a settlement may touch.
    QString booksState()
    {
        return snapshot({"select NOTEID, REFERAMT, REFERCOUNT from purchasepth order by NOTEID",
                         "select NOTEID, REFERAMT, REFERCOUNT from salesth order by NOTEID",
                         "select PARTNERID, SCAMT from partnerlth order by PARTNERID",
                         "select ACCOUNTID, BALANCE from accountacth order by ACCOUNTID",
                         "select count(*) from accountflowaath", "select count(*) from notepostlogaath",
                         "select count(*) from discountflowaath"});
    }
    double referamt(const char *table, qint64 id)
    {
        return num(QStringLiteral("select REFERAMT from %1 where NOTEID = %2").arg(QLatin1String(table)).arg(id));
    }
    double balanceOf(int partner) { return num(QStringLiteral("select SCAMT from partnerlth where PARTNERID = %1").arg(partner)); }
    // What the partner owes and what the cash account holds, "owed:cash".
    QString standing(int partner)
    {
        return rows(QStringLiteral("select (select SCAMT from partnerlth where PARTNERID = %1), "
                                   "(select BALANCE from accountacth where ACCOUNTID = 1)").arg(partner));
    }
    // What each note of `table` has settled, "id:amount;...".
    QString settled(const char *table) { return rows(QStringLiteral("select NOTEID, REFERAMT from %1 order by NOTEID").arg(QLatin1String(table))); }
};

TEST_F(Settlement, PaymentSettlesItsNotesAndUnauditPutsEverythingBack)
{
    EXPECT_DOUBLE_EQ(balanceOf(1), 1200);
    const QString before = booksState();
    // 1000 settled on 600, 300 and 100 of 500, with a return of 200 set off:
    // 800 settled, 760 paid, 40 discount.
    money("payath", 1, 2, 1, 800, 760, {{4, 11, 600}, {4, 12, 300}, {4, 13, 100}, {4, 14, -200}});
    state("payath", 1, 0, 1);
    EXPECT_EQ(rows("select NOTEID, REFERAMT, REFERCOUNT from purchasepth where PARTNERID = 1 order by NOTEID"),
              "11:600:1;12:300:1;13:100:1;14:-200:1");
    EXPECT_EQ(standing(1), "400:4240");
    EXPECT_DOUBLE_EQ(num("select OUTAMT from accountflowaath where NOTETYPE = 61 and NOTEID = 1"), 760);
    EXPECT_EQ(rows("select SUBID, AMOUNT from discountflowaath where NOTETYPE = 61"), "7:40");

    // The receipt stays audited while the payment settles it.
    EXPECT_EQ(refusal([&] { state("purchasepth", 11, 1, 0); }), "采购单已经被付款单结算,请先反审核付款单。");
    EXPECT_EQ(refusal([&] { books->exec(QStringLiteral("delete from purchasepth where NOTEID = 12")); }),
              "采购单已经被付款单结算,请先反审核付款单。");
    state("payath", 1, 1, 0);
    EXPECT_EQ(booksState(), before);

    // Audited again and deleted: the delete reverses it too.
    state("payath", 1, 0, 1);
    books->exec(QStringLiteral("delete from payath where NOTEID = 1"));
    EXPECT_EQ(booksState(), before);
}

TEST_F(Settlement, OverSettlingIsRefusedAndChangesNothing)
{
    const QString before = booksState();
    // 700 on a note of 600; then a positive amount on a return.
    money("payath", 1, 2, 1, 700, 700, {{4, 12, 100}, {4, 11, 700}});
    EXPECT_EQ(refusal([&] { state("payath", 1, 0, 1); }),
              "采购单[R-11]未结算金额只有600.00,单据[P-1]第2行本次结算700.00,不能审核。");
    money("payath", 2, 2, 1, 50, 50, {{4, 14, 50}});
    EXPECT_EQ(refusal([&] { state("payath", 2, 0, 1); }),
              "采购单[R-14]未结算金额只有-200.00,单据[P-2]第1行本次结算50.00,不能审核。");
    // Another supplier's note, paying more than was settled.
    money("payath", 3, 2, 1, 100, 100, {{4, 15, 100}});
    EXPECT_EQ(refusal([&] { state("payath", 3, 0, 1); }), "采购单[R-15]不是单据[P-3]的往来单位的单据,不能审核。");
    money("payath", 4, 2, 1, 300, 350, {{4, 12, 300}});
    EXPECT_EQ(refusal([&] { state("payath", 4, 0, 1); }), "单据[P-4]的实付金额350.00大于结算金额300.00,不能审核。");
    money("payath", 6, 2, 1, 0, 0, {{4, 12, 0}});
    EXPECT_EQ(refusal([&] { state("payath", 6, 0, 1); }), "单据[P-6]没有结算金额,不能审核。");
    EXPECT_EQ(booksState(), before);
    EXPECT_EQ(one("select count(*) from payath where NOTESTATE <> 0").toInt(), 0);
}

// What a receipt paid on the spot is settled by its own audit: a payment
// may settle only the rest, and the paid-now part alone keeps no one from
// un-auditing the receipt.
TEST_F(Settlement, WhatWasPaidOnTheSpotIsNotOpenForPayments)
{
    sql("insert into purchasepth (NOTEID, NOTEKIND, NOTESTATE, NOTECODE, NOTEDATE, OPERATEID, PARTNERID, AMOUNT, "
        "PAYAMT, ACCOUNTID) values (31, 1, 0, 'R-31', '2024-03-01', 1, 1, 1000, 400, 1)");
    state("purchasepth", 31, 0, 1);
    EXPECT_DOUBLE_EQ(referamt("purchasepth", 31), 400);
    money("payath", 1, 2, 1, 700, 700, {{4, 31, 700}});
    EXPECT_EQ(refusal([&] { state("payath", 1, 0, 1); }),
              "采购单[R-31]未结算金额只有600.00,单据[P-1]第1行本次结算700.00,不能审核。");
    money("payath", 2, 2, 1, 600, 600, {{4, 31, 600}});
    state("payath", 2, 0, 1);
    EXPECT_DOUBLE_EQ(referamt("purchasepth", 31), 1000);
    EXPECT_EQ(refusal([&] { state("purchasepth", 31, 1, 0); }), "采购单已经被付款单结算,请先反审核付款单。");
    state("payath", 2, 1, 0);
    EXPECT_EQ(refusal([&] { state("purchasepth", 31, 1, 0); }), QString());
    EXPECT_DOUBLE_EQ(referamt("purchasepth", 31), 0);
}

TEST_F(Settlement, TwoPaymentsOfOneNoteTheSecondAuditedIsRefused)
{
    // Both entered while the note was open; the check runs at audit, on another connection too.
    money("payath", 1, 2, 1, 400, 400, {{4, 11, 400}});
    money("payath", 2, 2, 1, 400, 400, {{4, 11, 400}});
    auto other = testsupport::openAgain(*books);
    other->exec(QStringLiteral("Update payath Set noteState=1 where noteState=0 and noteID=1"));
    EXPECT_EQ(refusal([&] { state("payath", 2, 0, 1); }),
              "采购单[R-11]未结算金额只有200.00,单据[P-2]第1行本次结算400.00,不能审核。");
    EXPECT_DOUBLE_EQ(referamt("purchasepth", 11), 400);
    EXPECT_DOUBLE_EQ(balanceOf(1), 800);
}

TEST_F(Settlement, PrepaymentStandsAsAnAdvanceAndReceiptsBringMoneyIn)
{
    money("payath", 1, 1, 2, 1000, 1000, {});
    state("payath", 1, 0, 1);
    EXPECT_EQ(standing(2), "-900:4000");
    // A prepayment's lines may not settle more than it pays.
    money("payath", 2, 1, 1, 100, 100, {{4, 11, 300}});
    EXPECT_EQ(refusal([&] { state("payath", 2, 0, 1); }), "单据[P-2]的明细结算合计300.00大于预付金额100.00,不能审核。");

    // The customer pays 700 of his sale less the 100 of his return.
    EXPECT_EQ(standing(3), "700:4000");
    money("chargeath", 5, 2, 3, 600, 600, {{14, 21, 700}, {14, 22, -100}});
    state("chargeath", 5, 0, 1);
    EXPECT_EQ(settled("salesth") + u' ' + standing(3), "21:700;22:-100 100:4600");
    // Its un-audit gives it all back; a void of the entered receipt settles nothing.
    state("chargeath", 5, 1, 0);
    EXPECT_EQ(settled("salesth") + u' ' + standing(3), "21:0;22:0 700:4000");
    state("chargeath", 5, 0, 2);
    EXPECT_EQ(settled("salesth") + u' ' + standing(3), "21:0;22:0 700:4000");
}

TEST_F(Settlement, BooksMadeBeforePaymentsGetThemWhenOpened)
{
    if (books->isPostgres())
        GTEST_SKIP() << "books older than the payments are SQLite files: books on the server are made with them";
    for (const char *table : {"payath", "payathdetail", "chargeath", "Chargeathdetail", "discountflowaath"})
        books->exec(QStringLiteral("drop table %1").arg(QLatin1String(table)));
    const QString path = books->path();
    books.reset();
    books = notedb::openBooks(path);
    money("payath", 1, 2, 1, 300, 300, {{4, 12, 300}});
    state("payath", 1, 0, 1);
    EXPECT_DOUBLE_EQ(referamt("purchasepth", 12), 300);
}

} // namespace
