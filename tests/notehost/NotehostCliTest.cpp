// notehost driven from the outside: start-up failures and automation scripts
// run against the real package on fresh demo books.

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

using testsupport::runProgram;

namespace {

class NotehostCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        books = folder.file(QStringLiteral("books.db"));
        auto r = runProgram(QStringLiteral("notectl"), {QStringLiteral("init"), books, QStringLiteral("--demo")});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    QString script(const QString &name, const QString &text)
    {
        const QString path = folder.file(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
        return path;
    }
    testsupport::RunResult host(const QStringList &args) { return runProgram(QStringLiteral("notehost"), args); }
    testsupport::RunResult runScript(const QString &user, const QString &path)
    {
        return host({QStringLiteral("--db"), books, QStringLiteral("--user"), user, QStringLiteral("--script"), path});
    }
    testsupport::TempFolder folder;
    QString books;
};

TEST_F(NotehostCli, StartUpFailuresAreExplained)
{
    // Missing and foreign books point at notectl init.
    auto r = host({QStringLiteral("--db"), folder.file(QStringLiteral("none.db")), QStringLiteral("--user"),
                   QStringLiteral("admin")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("notectl init"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("none.db"))) << r.err.toStdString();

    const QString foreign = folder.file(QStringLiteral("foreign.db"));
    QFile f(foreign);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("just some text, not books\n");
    f.close();
    r = host({QStringLiteral("--db"), foreign, QStringLiteral("--user"), QStringLiteral("admin")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("notectl init"))) << r.err.toStdString();

    // Unknown user, wrong password, and a script without a user.
    r = host({QStringLiteral("--db"), books, QStringLiteral("--user"), QStringLiteral("nobody")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("用户[nobody]不存在"))) << r.err.toStdString();
    const QString ok = script(QStringLiteral("ok.js"), QStringLiteral("print('ran')"));
    r = host({QStringLiteral("--db"), books, QStringLiteral("--user"), QStringLiteral("clerk"),
              QStringLiteral("--password"), QStringLiteral("wrong"), QStringLiteral("--script"), ok});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("密码不对"))) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("ran")));
    r = host({QStringLiteral("--db"), books, QStringLiteral("--user"), QStringLiteral("clerk"),
              QStringLiteral("--password"), QStringLiteral("clerk"), QStringLiteral("--script"), ok});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("ran\n"));
    r = host({QStringLiteral("--db"), books, QStringLiteral("--script"), ok});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("--user"))) << r.err.toStdString();

    // A package that is no library, and a library without the entry points.
    const QString bogus = folder.file(QStringLiteral("libbogus.so"));
    QFile b(bogus);
    ASSERT_TRUE(b.open(QIODevice::WriteOnly));
    b.write("not an ELF file");
    b.close();
    r = host({QStringLiteral("--db"), books, QStringLiteral("--user"), QStringLiteral("admin"),
              QStringLiteral("--package"), bogus, QStringLiteral("--script"), ok});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("无法加载业务包 ") + bogus)) << r.err.toStdString();
    const QString pub = QDir(testsupport::binDir()).filePath(QStringLiteral("libpub.so"));
    r = host({QStringLiteral("--db"), books, QStringLiteral("--user"), QStringLiteral("admin"),
              QStringLiteral("--package"), pub, QStringLiteral("--script"), ok});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("缺少入口: noteLoad, noteUnload, note_Call"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(pub)) << r.err.toStdString();
}

TEST_F(NotehostCli, ScriptDrivesTheRealPackage)
{
    const QString shot = folder.file(QStringLiteral("shots/main.png"));
    const QString path = script(QStringLiteral("flow.js"), QStringLiteral(R"JS(
function check(cond, what) { if (!cond) throw new Error("failed: " + what); }
check(host.userName === "张伟" && host.userId === 2, "current user");

var r = host.call("GETNOTENAME", "", {NOTETYPE: 4});
check(r.result === 0 && r.params.result === "采购开单", "note name " + JSON.stringify(r));
check(host.call("getnotename", "", {NOTETYPE: 1}).params.result === "", "type 1 has no name");
var threw = "";
try { host.call("GETNOTENAME", ""); } catch (e) { threw = e.message; }
check(threw.indexOf("params != NULL") >= 0, "null params: " + threw);

var rows = host.sql("select LOGINNAME, OPERATENAME from operatormth order by OPERATEID");
check(rows.length === 2 && rows[1].LOGINNAME === "clerk" && rows[1].OPERATENAME === "张伟", "sql rows");

// Refused as clerk: the exact message, E_FAIL.
r = host.call("POSDAYEND", "");
check(r.result === 0x80004005, "refusal result " + r.result);
var last = host.messages[host.messages.length - 1];
check(last.kind === "Error" && last.text === "对不起,你没有POS日结的权限.", "refusal message " + JSON.stringify(last));

// Menus: the money forms are out of the clerk's rights, and so is the POS day-end.
var menus = host.menus();
var money = menus.filter(function (m) { return m.area === "资金"; });
check(money.length >= 6 && money.every(function (m) { return !m.enabled; }), "money disabled");
var dayEnd = menus.filter(function (m) { return m.function === "POSDAYEND"; })[0];
check(!dayEnd.enabled && dayEnd.tip === "没有使用权限", "day-end tip " + dayEnd.tip);
var forms = {};
menus.forEach(function (m) { if (m.form) forms[m.form] = true; });
check(Object.keys(forms).length === 53, "53 forms in the menus");

// Controls of the main window and its navigator.
var main = host.mainWindow;
check(main.name === "MainForm", "main window");
check(main.find("lblUser").text === "操作员: 张伟", "status user " + main.find("lblUser").text);
check(main.find("lblDatabase").text.indexOf("books.db") >= 0, "status books");
check(main.find("actPayForm").enabled === false, "QAction through find()");
check(main.find("nosuchcontrol") === null, "unknown control is null");
check(host.form("navigatorform").find("lblFormState").text === "当前单据: 无", "navigator");
check(host.form("NoSuchForm") === null, "unknown form is null");

print("grabbed", host.grab(main, "%1", "采购"));
print("done", rows.length);
)JS").arg(shot));
    auto r = runScript(QStringLiteral("clerk"), path);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString() << r.out.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("grabbed true\ndone 2\n"));
    QImage img(shot);
    ASSERT_FALSE(img.isNull());
    EXPECT_GT(img.width(), 600);
}

TEST_F(NotehostCli, AnswersAreQueuedForTheComingQuestions)
{
    // The package's reversal of the last POS day-end asks before it runs.
    const QString path = script(QStringLiteral("answers.js"), QStringLiteral(R"JS(
host.sql("create table closeposth (noteid integer, notecode varchar(20), notedate date)");
host.sql("insert into closeposth values (7, 'RJ-0007', '2024-03-05')");
host.answer("no");
host.answer("cancel");
var r = host.call("POSUNDAYEND", "");
var q = host.messages[0];
print(r.result, q.kind, q.answer, host.messages.length);
print(q.text.indexOf("单据号:RJ-0007 单据日期:2024-03-05") > 0);
var bad = "";
try { host.answer("maybe"); } catch (e) { bad = e.message; }
print(bad);
)JS"));
    auto r = runScript(QStringLiteral("admin"), path);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    // Only the first answer was taken; "no" ran nothing, so no further message.
    EXPECT_EQ(r.out, QStringLiteral("0 YesNo 7 1\ntrue\nhost.answer: 不认识的回答 \"maybe\" (yes, no, cancel, ok)\n"));
}

TEST_F(NotehostCli, FileNamesAreQueuedForTheSaveQuestion)
{
    // Without a queued name the export is cancelled; with one it writes the file.
    const QString out = folder.file(QStringLiteral("note.xlsx"));
    const QString path = script(QStringLiteral("export.js"), QStringLiteral(R"JS(
host.call("SHOWNOTEFORM", "OutMoneyForm");
var w = host.form("OutMoneyForm");
w.find("muToExcel").trigger();
print(host.messages.length);
host.answerFile("%1");
w.find("muToExcel").trigger();
print(host.messages[0].text);
)JS").arg(out));
    auto r = runScript(QStringLiteral("admin"), path);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("0\n已导出到 %1\n").arg(out));
    EXPECT_TRUE(QFileInfo(out).size() > 0);
}

TEST_F(NotehostCli, UncaughtErrorsNameTheirLine)
{
    auto r = runScript(QStringLiteral("admin"),
                       script(QStringLiteral("err.js"), QStringLiteral("print('before')\nvar x = 1;\nthrow new Error('boom');\nprint('after')\n")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, QStringLiteral("before\n"));
    EXPECT_TRUE(r.err.contains(QStringLiteral("err.js:3: Error: boom"))) << r.err.toStdString();

    r = runScript(QStringLiteral("admin"), script(QStringLiteral("raw.js"), QStringLiteral("\n\nthrow 'plain';\n")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("raw.js:3: uncaught exception: plain"))) << r.err.toStdString();

    // An error raised by the host (SQL) is uncaught the same way.
    r = runScript(QStringLiteral("admin"),
                  script(QStringLiteral("sql.js"), QStringLiteral("\nhost.sql('select * from nosuchtable');\n")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("sql.js:2:"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("nosuchtable"))) << r.err.toStdString();

    r = runScript(QStringLiteral("admin"), folder.file(QStringLiteral("missing.js")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("missing.js"))) << r.err.toStdString();
}

} // namespace
