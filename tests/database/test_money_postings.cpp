// Postings of the bank deposit/withdrawal, expense and other-income notes, their
// rounding and refusals, driven by the state-change statements the framework sends.

#include "PostingFixture.h"

#include "Procedures.h"
#include "notedb.h"

namespace {

class MoneyPostings : public postingtest::PostingTest {
protected:
    void SetUp() override
    {
        notedb::registerMoneyPostings();
        PostingTest::SetUp();
        // 1 cash 1000, 2 bank 5000, 3 closed, 4 a shop's petty cash 200.
        sql("insert into accountacth (ACCOUNTID, CODE, NAME, BALANCE, SHOPERATEID, CLOSED) values "
            "(1, '01', '现金', 1000, 0, 0), (2, '02', '工商银行', 5000, 0, 0), (3, '03', '旧帐户', 50, 0, 1), "
            "(4, '04', '分店备用金', 200, 1, 0)");
    }

    void move(qint64 id, int out, int in, double amount, int state = 0)
    {
        books->exec(QString("insert into movebth (NOTEID, NOTECODE, NOTEDATE, NOTESTATE, OPERATEID, OUTACCOUNTID, INACCOUNTID, "
                            "AMOUNT) values (%1, 'YHCQ-%1', '2024-02-10', %5, 1, %2, %3, %4)").arg(id).arg(out).arg(in).arg(amount).arg(state));
    }
    // Master AMOUNT as the window stores it; lines as given.
    void withLines(const QString &table, qint64 id, int account, double amount, const QList<double> &lines)
    {
        books->exec(QString("insert into %1 (NOTEID, NOTECODE, NOTEDATE, NOTESTATE, OPERATEID, ACCOUNTID, AMOUNT) "
                            "values (%2, 'N-%2', '2024-02-11', 0, 1, %3, %4)").arg(table).arg(id).arg(account).arg(amount));
        int no = 0;
        for (double a : lines)
            books->exec(QString("insert into %1detail (NOTEID, ITEMSNO, IETYPESID, AMOUNT) values (%2, %3, 1, %4)").arg(table).arg(id).arg(++no).arg(a));
    }
    // The framework's statements.
    void audit(const QString &table, qint64 id)
    {
        books->exec(QString("Update %1 Set noteState=1, chkorid=1 where noteState=0 and noteID=%2").arg(table).arg(id));
    }
    void unaudit(const QString &table, qint64 id)
    {
        books->exec(QString("Update %1 Set noteState=0, chkorid=null where noteState=1 and noteID=%2").arg(table).arg(id));
    }
    QString auditError(const QString &table, qint64 id, bool un = false)
    {
        return refusal([&] { un ? unaudit(table, id) : audit(table, id); });
    }

    double balance(int account) { return num(QString("select BALANCE from accountacth where ACCOUNTID=%1").arg(account)); }
    // The balances of accounts 1 and 2, "cash;bank".
    QString cashAndBank() { return rows("select BALANCE from accountacth where ACCOUNTID in (1, 2) order by ACCOUNTID"); }
    int state(const QString &table, qint64 id) { return num(QString("select NOTESTATE from %1 where NOTEID=%2").arg(table).arg(id)); }
    // "account:in:out:balance" per flow row of the note, in posting order, ';' between rows.
    QString flows(int type, qint64 id)
    {
        return rows(QString("select ACCOUNTID, INAMT, OUTAMT, BALANCE from accountflowaath where NOTETYPE=%1 and NOTEID=%2 order by ID")
                        .arg(type).arg(id));
    }
    int flowCount() { return num("select count(*) from accountflowaath"); }
    // Each account's rows chain from its opening balance to its balance now.
    void expectChainsWhole(const QHash<int, double> &opening)
    {
        for (auto it = opening.constBegin(); it != opening.constEnd(); ++it) {
            double running = it.value();
            const QString sql = "select INAMT, OUTAMT, BALANCE from accountflowaath where ACCOUNTID=%1 order by ID";
            for (const auto &r : books->select(sql.arg(it.key())).rows) {
                running += r[0].toDouble() - r[1].toDouble();
                EXPECT_NEAR(r[2].toDouble(), running, 1e-6) << "account " << it.key();
            }
            EXPECT_NEAR(balance(it.key()), running, 1e-6) << "account " << it.key();
        }
    }
};

TEST_F(MoneyPostings, MoveNoteMovesTheAmountAndUnauditRestores)
{
    move(5, 1, 2, 300.25);
    EXPECT_EQ(flowCount(), 0); // an entered note posts nothing
    audit("movebth", 5);
    EXPECT_EQ(cashAndBank(), "699.75;5300.25");
    EXPECT_EQ(flows(51, 5), "1:0:300.25:699.75;2:300.25:0:5300.25");
    EXPECT_EQ(books->scalar("select CHKORID from accountflowaath where NOTEID=5 and ACCOUNTID=1").toInt(), 1);

    audit("movebth", 5); // the guard "noteState=0" makes a second audit change nothing
    EXPECT_DOUBLE_EQ(balance(1), 699.75);

    unaudit("movebth", 5);
    EXPECT_EQ(cashAndBank(), "1000;5000");
    EXPECT_EQ(flowCount(), 0);

    // Void and un-void of an entered note post nothing.
    books->exec("Update movebth Set noteState=2 where noteState=0 and noteID=5");
    EXPECT_EQ(state("movebth", 5), 2);
    books->exec("Update movebth Set noteState=0 where  noteState=2 and noteID=5");
    EXPECT_EQ(state("movebth", 5), 0);
    EXPECT_EQ(cashAndBank(), "1000;5000");
    EXPECT_EQ(flowCount(), 0);

    // A shop's account may take part in a transfer.
    move(6, 2, 4, 100);
    audit("movebth", 6);
    EXPECT_DOUBLE_EQ(balance(4), 300);
}

TEST_F(MoneyPostings, ExpenseAndIncomePostTheMasterAmountOnTheirAccount)
{
    withLines("expenseath", 5, 2, 250, {200, 50});
    withLines("InComebth", 5, 1, 80.5, {80.5});
    audit("expenseath", 5);
    EXPECT_DOUBLE_EQ(balance(2), 4750);
    EXPECT_EQ(flows(52, 5), "2:0:250:4750");
    audit("InComebth", 5);
    EXPECT_DOUBLE_EQ(balance(1), 1080.5);
    EXPECT_EQ(flows(53, 5), "1:80.5:0:1080.5");
    // Same note id, other type: each note reverses only its own rows.
    unaudit("expenseath", 5);
    EXPECT_DOUBLE_EQ(balance(2), 5000);
    EXPECT_EQ(flows(52, 5), "");
    EXPECT_EQ(flows(53, 5), "1:80.5:0:1080.5");
    EXPECT_DOUBLE_EQ(balance(1), 1080.5);
    // The amount is the master's even when the lines disagree.
    books->exec("update expenseath set AMOUNT = 120 where NOTEID = 5");
    audit("expenseath", 5);
    EXPECT_DOUBLE_EQ(balance(2), 4880);
}

TEST_F(MoneyPostings, PostingsFollowTheCallersTransaction)
{
    move(5, 1, 2, 400);
    books->beginTran();
    audit("movebth", 5);
    EXPECT_DOUBLE_EQ(balance(1), 600); // posted before the commit, inside the transaction
    EXPECT_EQ(flowCount(), 2);
    books->rollbackTran();
    EXPECT_EQ(state("movebth", 5), 0);
    EXPECT_EQ(cashAndBank(), "1000;5000");
    EXPECT_EQ(flowCount(), 0);

    books->beginTran();
    audit("movebth", 5);
    books->commitTran();
    EXPECT_DOUBLE_EQ(balance(2), 5400);

    books->beginTran();
    unaudit("movebth", 5);
    EXPECT_DOUBLE_EQ(balance(2), 5000);
    books->rollbackTran();
    EXPECT_EQ(state("movebth", 5), 1);
    EXPECT_DOUBLE_EQ(balance(2), 5400);
    EXPECT_EQ(flowCount(), 2);
}

TEST_F(MoneyPostings, ImpossiblePostingsLeaveTheNoteUnaudited)
{
    move(1, 1, 3, 10);        // closed receiving account
    move(2, 1, 9, 10);        // unknown account
    move(3, 1, 1, 10);        // same account both sides
    move(4, 1, 2, 0);         // nothing to move
    withLines("expenseath", 5, 0, 30, {30}); // no account
    withLines("InComebth", 6, 3, 30, {30});  // closed account

    EXPECT_EQ(auditError("movebth", 1), "帐户[旧帐户]已经被停用不能审核。");
    EXPECT_EQ(auditError("movebth", 2), "单据[YHCQ-2]的收款帐户不存在(帐户ID 9),不能审核。");
    EXPECT_EQ(auditError("movebth", 3), "付款帐户不能和收款帐户一样.");
    EXPECT_EQ(auditError("movebth", 4), "单据[YHCQ-4]的金额必须大于零,不能审核。");
    EXPECT_EQ(auditError("expenseath", 5), "单据[N-5]没有指定结算帐户,不能审核。");
    EXPECT_EQ(auditError("InComebth", 6), "帐户[旧帐户]已经被停用不能审核。");
    const QString infinite = QStringLiteral("insert into expenseath (NOTEID, NOTECODE, NOTEDATE, NOTESTATE, OPERATEID, "
                                            "ACCOUNTID, AMOUNT) values (8, 'N-8', '2024-02-11', 0, 1, 1, 1e999)");
    if (books->isPostgres()) { // the server's numeric column refuses it itself
        EXPECT_THROW(books->exec(infinite), db::DbError);
    } else { // books written before numbers were checked
        books->exec(infinite);
        EXPECT_EQ(auditError("expenseath", 8), "单据[N-8]的金额无效,不能审核。");
        EXPECT_EQ(state("expenseath", 8), 0);
    }
    for (qint64 id : {1, 2, 3, 4})
        EXPECT_EQ(state("movebth", id), 0) << id;
    EXPECT_EQ(state("expenseath", 5), 0);
    EXPECT_EQ(state("InComebth", 6), 0);
    EXPECT_DOUBLE_EQ(balance(1), 1000); // the paying side of note 1 was checked before any write
    EXPECT_EQ(flowCount(), 0);

    // Inside the caller's transaction the error reaches the caller, who rolls back.
    books->beginTran();
    EXPECT_FALSE(auditError("movebth", 1).isEmpty());
    books->rollbackTran();
    EXPECT_EQ(state("movebth", 1), 0);
    EXPECT_DOUBLE_EQ(balance(1), 1000);

    // An account closed after the audit blocks the un-audit as well.
    move(7, 1, 2, 10);
    audit("movebth", 7);
    books->exec("update accountacth set CLOSED = 1 where ACCOUNTID = 2");
    EXPECT_EQ(auditError("movebth", 7, true), "帐户[工商银行]已经被停用不能反审核。");
    EXPECT_EQ(state("movebth", 7), 1);
    EXPECT_DOUBLE_EQ(balance(1), 990);
    EXPECT_EQ(flowCount(), 2);
}

// Amounts and balances are stored rounded to the books' two decimals, half away from zero.
TEST_F(MoneyPostings, AmountsAndBalancesAreStoredRounded)
{
    withLines("expenseath", 1, 1, 0.1 + 0.2, {}); // 0.30000000000000004
    withLines("expenseath", 2, 1, 12.345, {});
    audit("expenseath", 1);
    audit("expenseath", 2);
    EXPECT_EQ(flows(52, 1), "1:0:0.3:999.7");
    EXPECT_EQ(flows(52, 2), "1:0:12.35:987.35");
    // Un-auditing the first note corrects the later running balance exactly.
    unaudit("expenseath", 1);
    EXPECT_EQ(flows(52, 2), "1:0:12.35:987.65");
    unaudit("expenseath", 2);
    EXPECT_EQ(balance(1), 1000.0);
}

TEST_F(MoneyPostings, ReversalKeepsTheRunningBalancesOfLaterRows)
{
    move(1, 1, 2, 100);
    withLines("expenseath", 2, 1, 40, {40});
    withLines("InComebth", 3, 1, 15, {15});
    audit("movebth", 1);
    audit("expenseath", 2);
    audit("InComebth", 3);
    EXPECT_EQ(flows(53, 3), "1:15:0:875");
    unaudit("movebth", 1); // the oldest rows go; later rows of account 1 no longer count its 100
    EXPECT_EQ(flows(52, 2), "1:0:40:960");
    EXPECT_EQ(flows(53, 3), "1:15:0:975");
    expectChainsWhole({{1, 1000}, {2, 5000}});
    audit("movebth", 1);
    expectChainsWhole({{1, 1000}, {2, 5000}});
    EXPECT_DOUBLE_EQ(balance(1), 875);
}

TEST_F(MoneyPostings, InsertsDeletesAndDisabledTriggers)
{
    // A note inserted already audited is posted at once.
    move(1, 2, 1, 250, 1);
    EXPECT_DOUBLE_EQ(balance(1), 1250);

    // Deleting an audited note reverses it; deleting any note drops its lines.
    withLines("expenseath", 2, 2, 70, {30, 40});
    audit("expenseath", 2);
    EXPECT_DOUBLE_EQ(balance(2), 4680);
    books->exec("delete from expenseath where NOTEID = 2");
    EXPECT_DOUBLE_EQ(balance(2), 4750);
    EXPECT_EQ(flows(52, 2), "");
    EXPECT_EQ(books->scalar("select count(*) from expenseathdetail where NOTEID = 2").toInt(), 0);
    withLines("InComebth", 3, 1, 5, {5});
    books->exec("delete from InComebth where NOTEID = 3");
    EXPECT_EQ(books->scalar("select count(*) from InComebthdetail").toInt(), 0);

    // With the triggers off a state change is not posted; a later audit of a
    // note whose posting is still there is refused rather than posted twice.
    books->run("alter table movebth disable trigger all");
    unaudit("movebth", 1);
    EXPECT_DOUBLE_EQ(balance(1), 1250);
    books->run("alter table movebth enable trigger all");
    EXPECT_EQ(auditError("movebth", 1), "单据[YHCQ-1]已经记帐,不能重复记帐。");
    EXPECT_EQ(state("movebth", 1), 0);
    EXPECT_DOUBLE_EQ(balance(1), 1250);
}

} // namespace
