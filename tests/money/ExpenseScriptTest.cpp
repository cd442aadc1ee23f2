// The expense flow driven from the outside: notehost runs the automation
// script against fresh demo books (a file or a server's address), and the
// books show what it did.

#include "MoneyFixture.h"

#include <QDir>

using namespace moneytest;

namespace {

class ExpenseScriptTest : public MoneyTest {};

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
    EXPECT_EQ(out[1], QStringLiteral("audited ") + QString::number(cash - 300));
    EXPECT_EQ(out[2], QStringLiteral("unaudited ") + QString::number(cash));
    EXPECT_EQ(out[3], QStringLiteral("voided"));
    EXPECT_EQ(out[4], QStringLiteral("deleted"));
    // Seen from here: the note came and went, the account is whole, the key was used.
    const int id = out[0].section(u' ', 1, 1).toInt();
    EXPECT_GT(id, 0);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from expenseath")).toInt(), before);
    EXPECT_DOUBLE_EQ(balance(1), cash);
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from accountflowaath where NOTETYPE=52 and NOTEID=%1").arg(id)).toInt(), 0);
}

} // namespace
