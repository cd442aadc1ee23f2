// notehost driven from the outside: start-up failures and automation scripts
// run against the real package on fresh demo books.

#include "HostApp.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>

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
    // Writes a script (or any text file) into the test folder.
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

// Each failure exits with its code and explains itself: missing or foreign
// books and a folder, an unknown user, a wrong password, a script without a
// user, a package that is no library or lacks the entry points.
TEST_F(NotehostCli, StartUpFailuresAreExplained)
{
    const QString foreign = script(QStringLiteral("foreign.db"), QStringLiteral("just some text, not books\n"));
    const QString bogus = script(QStringLiteral("libbogus.so"), QStringLiteral("not an ELF file"));
    const QString pub = QDir(testsupport::binDir()).filePath(QStringLiteral("libpub.so"));
    const QString ok = script(QStringLiteral("ok.js"), QStringLiteral("print('ran')"));
    const QString missing = folder.file(QStringLiteral("none.db"));
    const QStringList admin = {QStringLiteral("--user"), QStringLiteral("admin")};
    const QStringList clerk = {QStringLiteral("--user"), QStringLiteral("clerk"), QStringLiteral("--password")};
    const QStringList run = {QStringLiteral("--script"), ok};
    const struct {
        QStringList args;
        int exitCode;
        QStringList err, notErr;
    } cases[] = {
        {QStringList{QStringLiteral("--db"), missing} + admin, 1, {QStringLiteral("notectl init"), missing}, {}},
        {QStringList{QStringLiteral("--db"), foreign} + admin, 1, {QStringLiteral("notectl init")}, {}},
        {QStringList{QStringLiteral("--db"), folder.path()} + admin, 1,
         {QStringLiteral("数据库路径是一个目录"), QStringLiteral("请用 --db 指定帐套文件，而不是文件夹。")},
         {QStringLiteral("notectl init")}},
        {{QStringLiteral("--db"), books, QStringLiteral("--user"), QStringLiteral("nobody")}, 1,
         {QStringLiteral("用户[nobody]不存在")}, {}},
        {QStringList{QStringLiteral("--db"), books} + clerk + QStringList{QStringLiteral("wrong")} + run, 1,
         {QStringLiteral("密码不对")}, {}},
        {QStringList{QStringLiteral("--db"), books} + run, 2, {QStringLiteral("--user")}, {}},
        {QStringList{QStringLiteral("--db"), books} + admin + QStringList{QStringLiteral("--package"), bogus} + run, 1,
         {QStringLiteral("无法加载业务包 ") + bogus}, {}},
        {QStringList{QStringLiteral("--db"), books} + admin + QStringList{QStringLiteral("--package"), pub} + run, 1,
         {QStringLiteral("缺少入口: noteLoad, noteUnload, note_Call"), pub}, {}},
    };
    for (const auto &c : cases) {
        const auto r = host(c.args);
        SCOPED_TRACE(c.args.join(u' ').toStdString() + "\n" + r.err.toStdString());
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_FALSE(r.out.contains(QStringLiteral("ran")));
        for (const QString &text : c.err)
            EXPECT_TRUE(r.err.contains(text)) << text.toStdString();
        for (const QString &text : c.notErr)
            EXPECT_FALSE(r.err.contains(text)) << text.toStdString();
    }
    // The right password runs the script.
    const auto r = host(QStringList{QStringLiteral("--db"), books} + clerk + QStringList{QStringLiteral("clerk")} + run);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("ran\n"));
}

TEST(NotehostOptions, BusyTimeoutIsSecondsOnTheCommandLine)
{
    const auto parse = [](const char *value, notehost::HostOptions *o, QString *error) {
        return notehost::parseOptions({QStringLiteral("--db"), QStringLiteral("b.db"), QStringLiteral("--busy-timeout"),
                                       QString::fromLatin1(value)},
                                      o, error);
    };
    notehost::HostOptions o;
    QString error;
    ASSERT_TRUE(parse("3", &o, &error));
    EXPECT_EQ(o.busyTimeout, 3);
    for (const char *bad : {"soon", "-1"}) {
        notehost::HostOptions other;
        EXPECT_FALSE(parse(bad, &other, &error));
        EXPECT_TRUE(error.startsWith(QStringLiteral("--busy-timeout needs a number of seconds"))) << error.toStdString();
    }
}

TEST_F(NotehostCli, ScriptDrivesTheRealPackage)
{
    const QString shot = folder.file(QStringLiteral("shots/main.png"));
    const QString path = script(QStringLiteral("flow.js"), QStringLiteral(R"JS(
function check(cond, what) { if (!cond) throw new Error("failed: " + what); }
check(host.userName === "张伟" && host.userId === 2, "current user");

// A call's result and parameters come back; the package's internal error is thrown.
var r = host.call("GETNOTENAME", "", {NOTETYPE: 4});
check(r.result === 0 && r.params.result === "采购开单", "note name " + JSON.stringify(r));
var threw = "";
try { host.call("GETNOTENAME", ""); } catch (e) { threw = e.message; }
check(threw.indexOf("params != NULL") >= 0, "null params: " + threw);

var rows = host.sql("select LOGINNAME, OPERATENAME from operatormth order by OPERATEID");
check(rows.length === 2 && rows[1].LOGINNAME === "clerk" && rows[1].OPERATENAME === "张伟", "sql rows");

// A refusal's E_FAIL comes back with its message recorded (its text: the notectl call test).
r = host.call("POSDAYEND", "");
check(r.result === 0x80004005 && host.messages[host.messages.length - 1].kind === "Error", "refusal " + r.result);

// The menus as the clerk's rights leave them (which entry is enabled and
// why not: the main window's own tests).
var dayEnd = host.menus().filter(function (m) { return m.function === "POSDAYEND"; })[0];
check(!dayEnd.enabled && dayEnd.tip === "尚未提供此窗口", "day-end tip " + dayEnd.tip);

// Controls of the main window and its navigator.
var main = host.mainWindow;
check(main.name === "MainForm", "main window");
check(main.find("lblUser").text === "操作员: 张伟", "status user " + main.find("lblUser").text);
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

// Uncaught errors, the script's own and the host's (SQL), name file and line.
TEST_F(NotehostCli, UncaughtErrorsNameTheirLine)
{
    const struct {
        const char *file, *text, *out;
        QStringList err;
    } cases[] = {
        {"err.js", "print('before')\nvar x = 1;\nthrow new Error('boom');\nprint('after')\n", "before\n",
         {QStringLiteral("err.js:3: Error: boom")}},
        {"raw.js", "\n\nthrow 'plain';\n", "", {QStringLiteral("raw.js:3: uncaught exception: plain")}},
        {"sql.js", "\nhost.sql('select * from nosuchtable');\n", "", {QStringLiteral("sql.js:2:"), QStringLiteral("nosuchtable")}},
        {"missing.js", nullptr, "", {QStringLiteral("missing.js")}},
    };
    for (const auto &c : cases) {
        const QString name = QString::fromLatin1(c.file);
        auto r = runScript(QStringLiteral("admin"),
                           c.text ? script(name, QString::fromUtf8(c.text)) : folder.file(name));
        SCOPED_TRACE(r.err.toStdString());
        EXPECT_EQ(r.exitCode, 1) << c.file;
        EXPECT_EQ(r.out, QString::fromLatin1(c.out)) << c.file;
        for (const QString &text : c.err)
            EXPECT_TRUE(r.err.contains(text)) << text.toStdString();
    }
}


// As an automation user finds and prints a note: "FINDNOTE" on purchase
// orders, the note opened from the list, previewed, printed without a file
// name (cancelled) and to PDF; the PDF is read back. (The finder's filter and
// its pictures, and the printed page's picture: the finder's and printing's
// own tests.)
TEST_F(NotehostCli, ScriptFindsANoteOpensItAndPrintsItToPdf)
{
    const QString pdf = folder.file(QStringLiteral("order.pdf"));
    const QString path = script(QStringLiteral("find.js"), QStringLiteral(R"JS(
function check(c, what) { if (!c) throw new Error("failed: " + what); }
var order = host.sql("select o.NOTEID, o.NOTECODE, p.NAME from orderpth o join partnerlth p on p.PARTNERID = o.PARTNERID " +
                     "where exists (select 1 from orderpthDetail d where d.NOTEID = o.NOTEID) order by o.NOTEID")[0];
host.call("FINDNOTE", "", {NOTETYPE: 2});
var f = host.form("FindnoteForm");
check(f !== null, "the finder is open");
check(f.dataSet("qryPNOrder").locate("NOTEID", order.NOTEID), "the order is listed");
f.find("btnOpenNote").click();
var w = host.form("PNOrderForm");
check(w !== null && w.master.field("NOTEID") === order.NOTEID, "the order opened from the list");
host.onModal(function (win) { return 0; });
w.PrintPreviewPMItemClick();
host.onModal(null);
w.PrintPMItemClick(); // no file name queued: the print is cancelled
host.answerFile("%1");
w.PrintPMItemClick();
check(host.messages.filter(function (m) { return m.kind === "Error"; }).length === 0, JSON.stringify(host.messages));
print(host.sql("select PRINTED from noteprintabth where NOTETYPE = 2 and NOTEID = " + order.NOTEID)[0].PRINTED);
// What the printed page must show: number, partner, the lines' goods, the total.
var lines = host.sql("select g.NAME, d.AMOUNT from orderpthDetail d join Commoditylth g on g.COMMODITYID = d.COMMODITYID " +
                     "where d.NOTEID = " + order.NOTEID);
var total = 0;
lines.forEach(function (l) { total += l.AMOUNT; print(l.NAME); });
print(order.NOTECODE);
print(order.NAME);
print(total.toFixed(2));
)JS").arg(pdf));
    const auto r = runScript(QStringLiteral("admin"), path);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString() << r.out.toStdString();
    const QStringList out = r.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(out.size(), 5) << r.out.toStdString();
    EXPECT_EQ(out[0], QStringLiteral("1")) << "the print is counted, the preview and the cancelled print are not";

    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000) && text.exitCode() == 0) << text.readAllStandardError().toStdString();
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    for (const QString &shown : out.mid(1) + QStringList{QStringLiteral("合计")})
        EXPECT_TRUE(page.contains(shown)) << shown.toStdString() << "\n" << page.toStdString();
}

// The Overview's request from the outside: a receipt turned in from an open
// order, a price edited, saved, audited, then paid through its own menu.
TEST_F(NotehostCli, ScriptTakesAReceiptFromOrderToAuditAndPaysIt)
{
    const QString path = script(QStringLiteral("receipt.js"), QStringLiteral(R"JS(
function check(c, what) { if (!c) throw new Error("failed: " + what); }
var order = host.sql("select m.NOTEID, m.PARTNERID from orderpth m join partnerlth p on p.PARTNERID = m.PARTNERID " +
                     "where p.CODE = 'S004'")[0];
function pipes() {
    return host.sql("select QUANTITY from onhandaath o join Commoditylth g on g.COMMODITYID = o.COMMODITYID " +
                    "join storelth s on s.BUILDINGID = o.BUILDINGID where g.CODE = 'YL0002' and s.CODE = '02'")[0].QUANTITY;
}
function payable() { return host.sql("select SCAMT from partnerlth where PARTNERID = " + order.PARTNERID)[0].SCAMT; }
var before = pipes();
host.call("SHOWNOTEFORM", "PBuyForm");
var w = host.form("PBuyForm");
w.master.setField("PARTNERID", order.PARTNERID);
host.onModal(function (win) {
    var d = win.dataSet("qryPBuyD");
    for (d.first(); !d.eof; d.next()) d.setField("SELECTED", 1);
    d.post();
    return 1;
});
w.find("btnTurnIn").click();
host.onModal(null);
var lines = w.detail;
check(lines.count === 2, "two lines turned in: " + lines.count);
check(lines.locate("COMMODITYCODE", "YL0002"), "the pipe line");
lines.setField("PRICE", 13);
lines.post();
host.answer("cancel");
w.find("OkBtn").click();
check(host.messages.length === 1 && host.messages[0].text.indexOf("你选的是现金往来单位") === 0, JSON.stringify(host.messages));
w.find("CheckBtn").click();
var note = host.sql("select NOTEID, NOTESTATE, AMOUNT from purchasepth order by NOTEID desc limit 1")[0];
print(note.NOTESTATE, note.AMOUNT);
print(JSON.stringify(host.sql("select ITEMSNO, BUYQTY, FINISHED from orderpthDetail where NOTEID = " + order.NOTEID +
                              " order by ITEMSNO")));
print(pipes() - before);
print(host.sql("select PRICE from purchasepthDetail d join Commoditylth g on g.COMMODITYID = d.COMMODITYID " +
               "where d.NOTEID = " + note.NOTEID + " and g.CODE = 'YL0002'")[0].PRICE);

// The Overview's request goes on: the audited receipt is paid through its own menu.
var owed = payable();
host.call("LOCATENOTE", "", {NOTEID: note.NOTEID, NOTETYPE: 4});
w.find("muPToPay").trigger();
var p = host.form("PayForm");
check(p !== null && p.detail.count === 1, "a payment with the receipt on its line");
p.master.setField("PAYTYPESID", 1);
host.clearMessages();
p.find("OkBtn").click();
p.find("CheckBtn").click();
check(host.messages.filter(function (m) { return m.kind === "Error"; }).length === 0, JSON.stringify(host.messages));
var paid = host.sql("select NOTESTATE, AMOUNT from payath order by NOTEID desc limit 1")[0];
var receipt = host.sql("select REFERAMT, AMOUNT from purchasepth where NOTEID = " + note.NOTEID)[0];
print(paid.NOTESTATE, paid.AMOUNT, receipt.REFERAMT === receipt.AMOUNT);
print(Math.round((owed - payable()) * 100));
)JS"));
    auto r = runScript(QStringLiteral("admin"), path);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    // 300 pipes at 13 and 20 boxes at 25, with 13% tax.
    EXPECT_EQ(r.out, QStringLiteral("1 4972\n[{\"ITEMSNO\":1,\"BUYQTY\":300,\"FINISHED\":1},{\"ITEMSNO\":2,\"BUYQTY\":20,"
                                    "\"FINISHED\":1}]\n300\n13\n1 4972 true\n497200\n"));
}

TEST_F(NotehostCli, ScriptAuditsEveryWaitingNoteThroughTheAuditCentre)
{
    const QString path = script(QStringLiteral("batchcheck.js"), QStringLiteral(R"JS(
function check(c, what) { if (!c) throw new Error("failed: " + what); }
host.call("BATCHCHECK");
var w = host.form("BatchCheckForm");
check(w !== null, "the audit centre is open");
w.find("btnQuery").click();
var notes = w.dataSet("cdsNotes");
var waiting = [], types = {};
for (notes.first(); !notes.eof; notes.next()) {
    waiting.push([notes.field("MASTERTABLE"), notes.field("NOTEID")]);
    types[notes.field("NOTETYPE")] = 1;
}
check(Object.keys(types).length >= 6, "waiting notes of several kinds: " + JSON.stringify(types));
w.find("btnSelect").click();
host.clearMessages();
w.find("btnCheck").click();
var audited = waiting.filter(function (n) {
    return host.sql("select NOTESTATE as V from " + n[0] + " where NOTEID = " + n[1])[0].V === 1;
}).length;
var said = host.messages.map(function (m) { return m.kind + ":" + m.text; }).join("|");
print(audited === waiting.length, said === "Information:共审核了" + waiting.length + "张单据。" || said, notes.count);
)JS"));
    auto r = runScript(QStringLiteral("admin"), path);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    // Every listed note audited, the count said, the list of waiting notes empty.
    EXPECT_EQ(r.out, QStringLiteral("true true 0\n"));
}

} // namespace
