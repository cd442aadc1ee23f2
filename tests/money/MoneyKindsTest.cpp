// The money windows: a note entered, saved, audited (the balances move),
// un-audited and deleted; the save rules with their exact messages; and the
// lookups that fill fields (settlement method, customer, line items,
// organisations).

#include "MoneyFixture.h"

#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "widgets/DBGrid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTableWidget>

#include <functional>

using namespace moneytest;

namespace {

struct Kind {
    const char *form, *table, *lines; // lines: null for the transfer, which has none
    int type;
    QList<QPair<int, double>> moves; // account, change on audit
    QString saved;                   // AMOUNT and the kind's own field, as stored
    QString savedLines;              // ITEMSNO|IETYPESID of the lines
};

class MoneyKindsTest : public MoneyTest {
protected:
    int count(const QString &table, int id = 0)
    {
        return scalar(QStringLiteral("select count(*) from %1").arg(table)
                      + (id ? QStringLiteral(" where NOTEID=%1").arg(id) : QString()))
            .toInt();
    }
    QVariant stored(const Kind &k, const QString &field, int id)
    {
        return scalar(QStringLiteral("select %1 from %2 where NOTEID=%3").arg(field, QLatin1String(k.table)).arg(id));
    }
    void setLine(const QVariant &item, const QVariant &amount)
    {
        detail()->Edit();
        detail()->FieldByName(QStringLiteral("IETYPESID"))->SetValue(item);
        detail()->FieldByName(QStringLiteral("AMOUNT"))->SetValue(amount);
        detail()->Post();
    }
    QString label(const char *name) { return child<QLabel>(QString::fromLatin1(name))->text(); }
    // Opens the kind's window and enters its sample note.
    void enter(const Kind &k)
    {
        ASSERT_NE(show(QString::fromLatin1(k.form)), nullptr);
        if (k.type == 51) {
            setMaster(QStringLiteral("OUTACCOUNTID"), 3);
            setMaster(QStringLiteral("INACCOUNTID"), 1);
            setMaster(QStringLiteral("AMOUNT"), 250);
            setMaster(QStringLiteral("PURPOSE"), QStringLiteral("补充分店备用金"));
            setMaster(QStringLiteral("CHECKNO"), QStringLiteral("XJ0099"));
        } else {
            setMaster(QStringLiteral("PAYTYPESID"), 4);
            addLine({{QStringLiteral("IETYPESID"), 21}, {QStringLiteral("AMOUNT"), 88.8}});
            addLine({{QStringLiteral("IETYPESID"), 23}, {QStringLiteral("AMOUNT"), 11.2}});
        }
    }
    static QList<Kind> kinds()
    {
        return {
            {"MoveForm", "movebth", nullptr, 51, {{3, -250}, {1, 250}}, QStringLiteral("250|XJ0099"), QString()},
            {"InComeForm", "InComebth", "InComebthdetail", 53, {{3, 100}}, QStringLiteral("100|3"),
             QStringLiteral("1|21,2|23")},
        };
    }
};

// The transfer and the income window from entry to delete. The postings
// figure by figure, the refusal of a closed account and void/un-void are the
// books' own tests (MoneyPostings); the expense window's whole flow is its
// script's (ExpenseScriptTest).
TEST_F(MoneyKindsTest, EachWindowSavesAuditsUnauditsAndDeletesItsNote)
{
    for (const Kind &k : kinds()) {
        SCOPED_TRACE(k.form);
        QList<double> start;
        for (const auto &m : k.moves)
            start << balance(m.first);
        auto balancesMovedBy = [&](double factor) {
            for (int i = 0; i < k.moves.size(); ++i)
                EXPECT_DOUBLE_EQ(balance(k.moves[i].first), start[i] + factor * k.moves[i].second) << k.moves[i].first;
        };
        const QString table = QString::fromLatin1(k.table), lines = QString::fromLatin1(k.lines ? k.lines : "");
        enter(k);
        click(QStringLiteral("OkBtn"));
        ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
        const int id = masterValue(QStringLiteral("NOTEID")).toInt();
        ASSERT_GT(id, 0);
        const QString own = k.type == 51 ? QStringLiteral("CHECKNO") : QStringLiteral("ACCOUNTID");
        EXPECT_EQ(testsupport::rowsText(*m_db, QStringLiteral("select AMOUNT, %1 from %2 where NOTEID=%3").arg(own, table).arg(id)),
                  k.saved);
        if (k.lines) {
            EXPECT_EQ(testsupport::rowsText(*m_db, QStringLiteral("select ITEMSNO, IETYPESID from %1 where NOTEID=%2 order by ITEMSNO")
                                                       .arg(lines).arg(id)),
                      k.savedLines);
        }
        balancesMovedBy(0); // saving posts nothing

        click(QStringLiteral("CheckBtn"));
        ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
        EXPECT_EQ(stored(k, QStringLiteral("NOTESTATE"), id).toInt(), 1);
        balancesMovedBy(1);

        // Un-audit from the located note reverses it.
        locate(k.type, id);
        if (k.lines) {
            EXPECT_EQ(detail()->RecordCount(), 2);
        }
        EXPECT_EQ(child<QAbstractButton>(QStringLiteral("CheckBtn"))->text(), QStringLiteral("反审核(&O)"));
        click(QStringLiteral("CheckBtn"));
        EXPECT_EQ(stored(k, QStringLiteral("NOTESTATE"), id).toInt(), 0);
        balancesMovedBy(0);

        // Delete after the question: the note and its lines go.
        m_messages.answer(AnswerYes);
        invoke("muDeleteClick");
        EXPECT_EQ(count(table, id), 0);
        if (k.lines) {
            EXPECT_EQ(count(lines, id), 0);
        }
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    }
}

// Each step changes the note and saves: every refusal shows its message and
// writes nothing, the edits stay on screen, and the corrected note saves.
// (The framework's own rules, required fields and a shop's account: the base
// window's tests.)
TEST_F(MoneyKindsTest, RulesRefuseTheSaveWithTheirMessages)
{
    struct Step {
        std::function<void()> change;
        const char *message; // null: saves
    };
    const auto item = [this](QVariant id, QVariant amount) { return [=, this] { setLine(id, amount); }; };
    const auto master = [this](const char *field, QVariant value) {
        return [=, this] { setMaster(QString::fromLatin1(field), value); };
    };
    const auto noLines = "单据没有发生业务,不能保存.", noItem = "请输入费用项目.", notPositive = "金额必须大于零.";
    const auto amountOnly = [this] { addLine({{QStringLiteral("AMOUNT"), 50}}); };
    const struct {
        const char *form, *table;
        QList<Step> steps;
    } cases[] = {
        {"MoveForm", "movebth",
         {{[this] {
               setMaster(QStringLiteral("OUTACCOUNTID"), 2);
               setMaster(QStringLiteral("INACCOUNTID"), 2);
               setMaster(QStringLiteral("AMOUNT"), 100);
               setMaster(QStringLiteral("PURPOSE"), QStringLiteral("补充分店备用金"));
           }, "付款帐户不能和收款帐户一样."},
          {[this] {
               setMaster(QStringLiteral("INACCOUNTID"), 3);
               setMaster(QStringLiteral("AMOUNT"), 0);
           }, notPositive},
          {master("AMOUNT", 10), nullptr}}},
        {"OutMoneyForm", "expenseath",
         {{master("PAYTYPESID", 1), noLines},
          {amountOnly, noItem},
          {item(3, 0), notPositive},
          {item(3, -5), notPositive},
          {[this] {
               setLine(3, 5);
               setMaster(QStringLiteral("ACCOUNTID"), QVariant());
           }, "请选择结算帐户."},
          {master("PAYTYPESID", QVariant()), "请选择结算方式."},
          {[this] {
               setMaster(QStringLiteral("PAYTYPESID"), 1);
               setMaster(QStringLiteral("ACCOUNTID"), 1);
           }, nullptr}}},
        {"InComeForm", "InComebth",
         {{master("PAYTYPESID", 2), noLines},
          {amountOnly, noItem},
          {item(21, 0), notPositive},
          {item(21, 10), nullptr}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.form);
        const int before = count(QString::fromLatin1(c.table));
        ASSERT_NE(show(QString::fromLatin1(c.form)), nullptr);
        takeMessages();
        for (const Step &s : c.steps) {
            s.change();
            click(QStringLiteral("OkBtn"));
            if (!s.message) {
                EXPECT_TRUE(takeMessages().isEmpty());
                EXPECT_EQ(count(QString::fromLatin1(c.table)), before + 1);
                continue;
            }
            EXPECT_EQ(takeMessages(), QStringList{QString::fromUtf8(s.message)});
            EXPECT_EQ(masterValue(QStringLiteral("NOTEID")).toInt(), -9999);
            EXPECT_EQ(count(QString::fromLatin1(c.table)), before);
        }
    }
}

TEST_F(MoneyKindsTest, SettlementMethodCustomerAndLineItemsFillTheirFields)
{
    show(QStringLiteral("OutMoneyForm"));
    for (const auto &[method, account] : std::initializer_list<std::pair<int, int>>{{3, 2}, {4, 3}}) {
        setMaster(QStringLiteral("PAYTYPESID"), method);
        EXPECT_EQ(masterValue(QStringLiteral("ACCOUNTID")).toInt(), account) << method;
    }
    setMaster(QStringLiteral("PARTNERID"), 8); // 国美电器: salesman 刘洋, sales department
    EXPECT_EQ(masterValue(QStringLiteral("EMPID")).toInt(), 4);
    EXPECT_EQ(masterValue(QStringLiteral("DEPID")).toInt(), 3);

    // Line items by id or code, among the window's own kind of item only. (By
    // code and name from the keyboard, and the amount's rounding: the keyboard
    // and line tests.)
    const struct {
        const char *form;
        QString field;
        QVariant typed;
        int id;
        const char *message;
    } lines[] = {
        {"OutMoneyForm", QStringLiteral("IETYPESID"), 6, 6, nullptr},
        {"OutMoneyForm", QStringLiteral("iename"), QStringLiteral("利息收入"), 0, "费用项目[利息收入]不存在."},
        {"InComeForm", QStringLiteral("iename"), QStringLiteral("52"), 22, nullptr},
        {"InComeForm", QStringLiteral("iename"), QStringLiteral("办公费"), 0, "收入项目[办公费]不存在."},
    };
    for (const auto &l : lines) {
        SCOPED_TRACE(l.typed.toString().toStdString());
        show(QString::fromLatin1(l.form));
        takeMessages();
        addLine({{l.field, l.typed}});
        const QVariant id = detail()->FieldByName(QStringLiteral("IETYPESID"))->Value();
        EXPECT_EQ(takeMessages(), l.message ? QStringList{QString::fromUtf8(l.message)} : QStringList());
        EXPECT_EQ(id.isNull() ? 0 : id.toInt(), l.id);
    }
    setMaster(QStringLiteral("PAYTYPESID"), 4); // the income window too
    EXPECT_EQ(masterValue(QStringLiteral("ACCOUNTID")).toInt(), 3);
}

TEST_F(MoneyKindsTest, TheItemCellsButtonListsExpenseItemsAndTakesTheChoice)
{
    show(QStringLiteral("OutMoneyForm"));
    QStringList listed;
    m_modal.setHandler([&](QWidget *w) {
        auto *table = w->findChild<QTableWidget *>(QStringLiteral("ItemList"));
        if (!table)
            return 2;
        for (int r = 0; r < table->rowCount(); ++r)
            listed << table->item(r, 1)->text();
        table->selectRow(int(listed.indexOf(QStringLiteral("水电费"))));
        return 1;
    });
    auto *grid = child<widgets::TRqDBGrid>(QStringLiteral("ItemGrid"));
    grid->ClickEditButton(0);
    EXPECT_TRUE(listed.contains(QStringLiteral("办公费")));
    EXPECT_FALSE(listed.contains(QStringLiteral("利息收入"))) << listed.join(u',').toStdString();
    EXPECT_EQ(detail()->FieldByName(QStringLiteral("IETYPESID"))->AsInteger(), 4);
    EXPECT_EQ(detail()->FieldByName(QStringLiteral("iename"))->Value().toString(), QStringLiteral("水电费"));
    // Cancelled: the line keeps its item.
    m_modal.setHandler([](QWidget *) { return 2; });
    grid->ClickEditButton(0);
    EXPECT_EQ(detail()->FieldByName(QStringLiteral("IETYPESID"))->AsInteger(), 4);
}

TEST_F(MoneyKindsTest, TransferAccountsShowAndStoreTheOrganisationOwningThem)
{
    show(QStringLiteral("MoveForm"));
    EXPECT_EQ(label("lbOutShop"), QStringLiteral("调出机构:  总部"));
    setMaster(QStringLiteral("OUTACCOUNTID"), 2);
    setMaster(QStringLiteral("INACCOUNTID"), 4); // account 4 belongs to the shop
    setMaster(QStringLiteral("AMOUNT"), 800.456);
    EXPECT_DOUBLE_EQ(masterValue(QStringLiteral("AMOUNT")).toDouble(), 800.46); // the amount precision
    EXPECT_EQ(masterValue(QStringLiteral("OUTSHOPERATEID")).toInt(), 0);
    EXPECT_EQ(masterValue(QStringLiteral("INSHOPERATEID")).toInt(), 1);
    EXPECT_EQ(label("lbInShop"), QStringLiteral("调入机构:  南京东路分店"));
    setMaster(QStringLiteral("OUTACCOUNTID"), 4);
    setMaster(QStringLiteral("INACCOUNTID"), 3);
    EXPECT_EQ(label("lbOutShop"), QStringLiteral("调出机构:  南京东路分店"));
    EXPECT_EQ(label("lbInShop"), QStringLiteral("调入机构:  总部"));
    click(QStringLiteral("OkBtn"));
    ASSERT_TRUE(errors().isEmpty()) << errors().join(u'|').toStdString();
    const int id = masterValue(QStringLiteral("NOTEID")).toInt();
    EXPECT_EQ(testsupport::rowsText(*m_db, QStringLiteral("select OUTSHOPERATEID, INSHOPERATEID from movebth where NOTEID=%1").arg(id)),
              QStringLiteral("1|0"));
    // A loaded note shows its stored organisations.
    show(QStringLiteral("MoveForm"));
    EXPECT_EQ(label("lbOutShop"), QStringLiteral("调出机构:  总部"));
    locate(51, id);
    EXPECT_EQ(label("lbOutShop"), QStringLiteral("调出机构:  南京东路分店"));
    EXPECT_EQ(label("lbInShop"), QStringLiteral("调入机构:  总部"));
}

// The money kinds open under their privileges: a user without the privilege
// gets nothing (the factories are checked by the kind structure test, a
// browse right alone by the base window's tests).
TEST_F(MoneyKindsTest, AUserWithoutThePrivilegeGetsNoWindow)
{
    SetCurrentUser(kClerk); // the clerk holds only the purchase and sales forms
    const int before = int(QApplication::topLevelWidgets().size());
    QStringList refused;
    for (const char *form : {"MoveForm", "OutMoneyForm", "InComeForm"}) {
        EXPECT_EQ(call(QStringLiteral("SHOWNOTEFORM"), QString::fromLatin1(form)), 0) << form;
        refused << QStringLiteral("对不起,你没有[%1]的浏览权限!").arg(QLatin1String(form)); // the host's own refusal
    }
    EXPECT_EQ(int(QApplication::topLevelWidgets().size()), before);
    EXPECT_EQ(takeMessages(), refused);
}

// The expense flow driven from the outside: notehost runs the automation
// script against fresh demo books (a file or a server's address), and the
// books show what it did.
using ExpenseScriptTest = MoneyTest;

TEST_F(ExpenseScriptTest, NotehostRunsTheExpenseFlowScript)
{
    const QString script = QDir(testsupport::sourceDir()).filePath(QStringLiteral("tests/money/scripts/expense_flow.js"));
    const int before = scalar(QStringLiteral("select count(*) from expenseath")).toInt();
    const double cash = balance(1);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const testsupport::RunResult r = testsupport::runProgram(
        QStringLiteral("notehost"),
        {QStringLiteral("--db"), database().path(), QStringLiteral("--user"), QStringLiteral("admin"), QStringLiteral("--script"), script},
        {}, 120000);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString() << r.out.toStdString();
    const QStringList out = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(out.size(), 5) << r.out.toStdString();
    EXPECT_TRUE(out[0].startsWith(QStringLiteral("saved "))) << out[0].toStdString();
    EXPECT_EQ(out.mid(1), (QStringList{QStringLiteral("audited ") + QString::number(cash - 300),
                                       QStringLiteral("unaudited ") + QString::number(cash), QStringLiteral("voided"),
                                       QStringLiteral("deleted")}));
    // Seen from here: the note came and went, the account is whole, the key was used.
    const int id = out[0].section(u' ', 1, 1).toInt();
    EXPECT_GT(id, 0);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from expenseath")).toInt(), before);
    EXPECT_DOUBLE_EQ(balance(1), cash);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from accountflowaath where NOTETYPE=52 and NOTEID=%1").arg(id)).toInt(), 0);
}

} // namespace
