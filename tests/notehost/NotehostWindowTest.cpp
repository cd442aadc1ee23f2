// The host's main window, navigator, host functions, login and automation,
// in-process and offscreen on fresh demo books.

#include "FormCatalog.h"
#include "HostApp.h"
#include "HostFunctions.h"
#include "LoginDialog.h"
#include "MainWindow.h"
#include "NavigatorForm.h"
#include "PackageLoader.h"
#include "ScriptHost.h"

#include "Pub.h"
#include "TestSupport.h"
#include "data/ClientDataSet.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace notehost;

namespace {

// A document window as the package will build them: named controls, master and
// detail data sets, published operations.
class TestNoteWindow : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int okClicks READ okClicks)
public:
    explicit TestNoteWindow(QWidget *owner = nullptr) : QWidget(owner)
    {
        setWindowTitle(QStringLiteral("采购开单"));
        auto *layout = new QVBoxLayout(this);
        auto *remark = new QLineEdit(this);
        remark->setObjectName(QStringLiteral("edRemark"));
        auto *ok = new QPushButton(QStringLiteral("保存"), this);
        ok->setObjectName(QStringLiteral("OkBtn"));
        connect(ok, &QPushButton::clicked, this, [this] { ++m_clicks; });
        layout->addWidget(remark);
        layout->addWidget(ok);
        master = new data::ClientDataSet(nullptr, this);
        master->setObjectName(QStringLiteral("cdsMaster"));
        master->AddField(QStringLiteral("NOTEID"), data::FieldType::Integer);
        master->AddField(QStringLiteral("NOTECODE"), data::FieldType::String, 20);
        master->CreateDataSet();
        master->Append();
        master->FieldByName(QStringLiteral("NOTEID"))->SetValue(-9999);
        master->Post();
        detail = new data::ClientDataSet(nullptr, this);
        detail->setObjectName(QStringLiteral("cdsDetail"));
        detail->AddField(QStringLiteral("ITEMNO"), data::FieldType::Integer);
        detail->AddField(QStringLiteral("QUANTITY"), data::FieldType::Float);
        detail->AddField(QStringLiteral("PRICE"), data::FieldType::Float);
        detail->CreateDataSet();
    }
    int okClicks() const { return m_clicks; }
    Q_INVOKABLE double Total()
    {
        double sum = 0;
        for (int row = 0; row < detail->RecordCount(); ++row)
            sum += detail->ValueAt(row, 1).toDouble() * detail->ValueAt(row, 2).toDouble();
        return sum;
    }
public slots:
    void Scale(int factor) { m_clicks *= factor; }

public:
    data::ClientDataSet *master;
    data::ClientDataSet *detail;

private:
    int m_clicks = 0;
};

QStringList g_calls;

long recordShow(const QString &function, const QString &argument, QnParams *)
{
    g_calls << function.toUpper() + u' ' + argument;
    QWidget *w = GetPrivilegedForm(argument, 1);
    if (w)
        showMdiChild(w);
    return 0;
}

// Shows a small dialog modally and reports what it held.
long askModal(const QString &, const QString &, QnParams *params)
{
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("AskForm"));
    dialog.setWindowTitle(QStringLiteral("输入"));
    auto *edit = new QLineEdit(&dialog);
    edit->setObjectName(QStringLiteral("edValue"));
    const int result = ShowModal(&dialog);
    params->AddValue(QStringLiteral("RESULT"), result);
    params->AddValue(QStringLiteral("TEXT"), edit->text());
    return 0;
}

// As the package's factories do, the window carries its form name.
FormFactory testWindow(const QString &formName)
{
    return [formName](QWidget *owner) {
        auto *w = new TestNoteWindow(owner);
        w->setObjectName(formName);
        return w;
    };
}

class NotehostTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        testsupport::ensureApplication();
        useChineseFont(*qApp); // as the host does, before any window
        SessionTest::SetUp();
        registerHostFunctions();
        g_calls.clear();
    }
    // Test forms: PBuyForm and PayForm have windows, SaleForm is not built.
    void registerTestForms()
    {
        RegisterPrivilegedForm(QStringLiteral("PBuyForm"), testWindow(QStringLiteral("PBuyForm")), 2004);
        RegisterPrivilegedForm(QStringLiteral("PayForm"), testWindow(QStringLiteral("PayForm")), 2061);
        RegisterPrivilegedForm(QStringLiteral("SaleForm"), FormFactory(), 2014);
        RegistFunction(QStringLiteral("SHOWNOTEFORM"), &recordShow);
    }
    QAction *action(MainWindow &w, const QString &name) { return w.findChild<QAction *>(name); }
    // The menu entries that are enabled, of those named, and the navigator's steps.
    QStringList enabled(MainWindow &w, std::initializer_list<const char *> names)
    {
        QStringList out;
        for (const char *name : names)
            if (QAction *a = action(w, QStringLiteral("act") + QLatin1String(name)); a && a->isEnabled())
                out << QLatin1String(name);
        for (const char *name : {"PBuyForm", "PayForm"})
            if (w.navigator()->step(QLatin1String(name))->isEnabled())
                out << QStringLiteral("step ") + QLatin1String(name);
        return out;
    }
};

TEST_F(NotehostTest, MenusFollowFactoriesAndPrivileges)
{
    registerTestForms();
    MainWindow w(m_db->path());
    w.show();
    // SaleForm has no window, SNOrderForm is not registered at all, the
    // package does not provide COSTCACULATE.
    const auto names = {"PBuyForm", "PayForm", "SaleForm", "SNOrderForm", "COSTCACULATE"};
    EXPECT_EQ(enabled(w, names), (QStringList{"PBuyForm", "PayForm", "step PBuyForm", "step PayForm"}));
    EXPECT_EQ(action(w, QStringLiteral("actSaleForm"))->statusTip(), QStringLiteral("尚未提供此窗口"));

    // The clerk may use purchase and sales documents only.
    SetCurrentUser(2);
    w.refreshMenus();
    w.refreshStatus();
    EXPECT_EQ(enabled(w, names), (QStringList{"PBuyForm", "step PBuyForm"}));
    EXPECT_EQ(action(w, QStringLiteral("actPayForm"))->statusTip(), QStringLiteral("没有浏览权限"));

    // Menu and navigator open forms through GlobalCall("SHOWNOTEFORM", name).
    action(w, QStringLiteral("actPBuyForm"))->trigger();
    w.navigator()->step(QStringLiteral("PBuyForm"))->click();
    EXPECT_EQ(g_calls, QStringList({QStringLiteral("SHOWNOTEFORM PBuyForm"), QStringLiteral("SHOWNOTEFORM PBuyForm")}));
    ASSERT_EQ(w.mdi()->subWindowList().size(), 2);
    EXPECT_EQ(w.mdi()->subWindowList()[0]->widget()->objectName(), QStringLiteral("PBuyForm"));

    // Status bar: user, business period with its bounds, books.
    const QString year = LookupSysParam(QStringLiteral("PosYear"));
    const QString month = LookupSysParam(QStringLiteral("PosMonth")).rightJustified(2, u'0');
    EXPECT_EQ(w.findChild<QLabel *>(QStringLiteral("lblUser"))->text(), QStringLiteral("操作员: 张伟"));
    EXPECT_EQ(w.findChild<QLabel *>(QStringLiteral("lblPeriod"))->text(),
              QStringLiteral("会计期间: %1-%2 (%3 至 %4)")
                  .arg(year, month, GetFirstDayOfPosMonth().toString(QStringLiteral("yyyy-MM-dd")),
                       GetLastDayOfPosMonth().toString(QStringLiteral("yyyy-MM-dd"))));
    EXPECT_EQ(w.findChild<QLabel *>(QStringLiteral("lblDatabase"))->text(), QStringLiteral("帐套: ") + m_db->path());
}

TEST_F(NotehostTest, RealPackageFormsAllHaveMenuEntries)
{
    PackageLoader package;
    QString error;
    ASSERT_TRUE(package.load(PackageLoader::defaultPath(testsupport::binDir()), &error)) << error.toStdString();
    package.callLoad();
    QSet<QString> registered;
    for (const PrivilegedForm &f : RegisteredForms()) {
        registered << f.name;
        EXPECT_FALSE(formCaption(f.name).isEmpty()) << f.name.toStdString();
    }
    QSet<QString> inMenus;
    for (const MenuEntry &e : menuEntries()) {
        if (!e.formName.isEmpty())
            inMenus << e.formName;
        EXPECT_TRUE(menuAreas().contains(e.area));
        EXPECT_TRUE(RegisteredFunctions().contains(e.function, Qt::CaseInsensitive)) << e.function.toStdString();
    }
    EXPECT_EQ(inMenus, registered);
    EXPECT_EQ(formCaption(QStringLiteral("pbuyform")), QStringLiteral("采购开单"));

    MainWindow w(m_db->path());
    w.show();
    QApplication::processEvents();
    for (const MainWindow::EntryAction &ea : w.entryActions()) {
        if (!ea.entry.formName.isEmpty()) {
            EXPECT_EQ(ea.action->isEnabled(), MainWindow::formAvailable(ea.entry.formName));
        }
    }
    // The snapshot a script grabs has the purchase menu drawn in.
    const QImage img = w.snapshot(QStringLiteral("采购")).toImage();
    EXPECT_EQ(img.width(), w.width());
    EXPECT_NE(img, w.grab().toImage());
    package.callUnload();
}

// (A window's normal title reaching the navigator: the window menu's test.)
TEST_F(NotehostTest, NavigatorAnswersFormChanged)
{
    NavigatorForm nav;
    auto send = [&nav](int msg, QObject *form) {
        long result = -1;
        QMetaObject::invokeMethod(&nav, "noteMessage", Qt::DirectConnection, Q_RETURN_ARG(long, result),
                                  Q_ARG(int, msg), Q_ARG(qlonglong, qlonglong(reinterpret_cast<qintptr>(form))),
                                  Q_ARG(qlonglong, 0));
        return result;
    };
    // Init mode by the title's ending or by the window's own property.
    QWidget init;
    init.setWindowTitle(QStringLiteral("预入库初始化"));
    EXPECT_EQ(send(NavigatorForm::NM_NOTEFORMCHANGED, &init), 0);
    EXPECT_EQ(nav.stateText(), QStringLiteral("当前单据: 预入库初始化 (初始化)"));
    QWidget normal;
    normal.setWindowTitle(QStringLiteral("采购开单"));
    normal.setProperty("InitMode", true);
    send(NavigatorForm::NM_NOTEFORMCHANGED, &normal);
    EXPECT_EQ(nav.stateText(), QStringLiteral("当前单据: 采购开单 (初始化)"));
    // Other messages change nothing; a pointer that is no widget is not followed.
    EXPECT_EQ(send(2949, &init), 0);
    EXPECT_EQ(nav.stateText(), QStringLiteral("当前单据: 采购开单 (初始化)"));
    QObject notAWidget;
    send(NavigatorForm::NM_NOTEFORMCHANGED, &notAWidget);
    EXPECT_EQ(nav.stateText(), QStringLiteral("当前单据: 无"));
}

TEST_F(NotehostTest, UserListAndMdiHook)
{
    m_db->exec(QStringLiteral("insert into operatormth (OPERATEID, LOGINNAME, OPERATENAME, ISADMIN, CLOSED) "
                               "values (3, 'gone', '离职', 1, 1)"));
    QnParams p;
    p.AddValue(QStringLiteral("iModId"), 2004);
    p.AddValue(QStringLiteral("iPrtypesid"), 2);
    EXPECT_EQ(GlobalCall(QStringLiteral("GETUSERLIST"), QString(), &p), 0);
    EXPECT_EQ(p.GetValue(QStringLiteral("UserNameList")).toString(), QStringLiteral("1,2"));
    EXPECT_EQ(p.GetValue(QStringLiteral("UserCount")).toInt(), 2);
    // Auditing payments: the administrator only (the closed one is left out).
    QStringList list{QStringLiteral("keep")};
    QnParams q;
    q.AddValue(QStringLiteral("iModId"), 2061);
    q.AddValue(QStringLiteral("iPrtypesid"), 6);
    q.AddValue(QStringLiteral("UserNameList"), QnVariant::fromPointer(&list));
    EXPECT_EQ(GlobalCall(QStringLiteral("GETUSERLIST"), QString(), &q), 0);
    EXPECT_EQ(list, QStringList({QStringLiteral("keep"), QStringLiteral("1")}));
    EXPECT_EQ(GlobalCall(QStringLiteral("GETUSERLIST"), QString(), nullptr), long(0x80004005));

    // Without a main window there is no MDI area: refused, the window stays the caller's.
    auto *orphan = new QWidget;
    QnParams m;
    m.AddValue(QStringLiteral("FORM"), static_cast<QObject *>(orphan));
    GlobalCall(QStringLiteral("ADDMDICHILD"), QString(), &m);
    EXPECT_FALSE(m.GetValue(QStringLiteral("RESULT")).toBool());
    delete orphan;

    MainWindow w(m_db->path());
    w.show();
    QPointer<QWidget> form = new QWidget;
    form->setObjectName(QStringLiteral("PBuyForm"));
    form->setWindowTitle(QStringLiteral("采购开单"));
    QnParams a;
    a.AddValue(QStringLiteral("FORM"), static_cast<QObject *>(form.data()));
    EXPECT_EQ(GlobalCall(QStringLiteral("ADDMDICHILD"), QString(), &a), 0);
    EXPECT_TRUE(a.GetValue(QStringLiteral("RESULT")).toBool());
    GlobalCall(QStringLiteral("ADDMDICHILD"), QString(), &a); // again: the same frame
    ASSERT_EQ(w.mdi()->subWindowList().size(), 1);
    QPointer<QMdiSubWindow> frame = w.mdi()->subWindowList().first();
    EXPECT_EQ(frame->widget(), form.data());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("采购开单"));
    // A form wider than the area keeps what its controls need, its start in view;
    // one that fits gets its own size.
    auto *wide = new QWidget;
    auto *row = new QHBoxLayout(wide);
    for (int i = 0; i < 8; ++i) {
        auto *date = new QLineEdit(QStringLiteral("2026-12-01"));
        date->setMinimumWidth(120);
        row->addWidget(date);
    }
    wide->resize(w.mdi()->viewport()->width() + 400, 300);
    QnParams b;
    b.AddValue(QStringLiteral("FORM"), static_cast<QObject *>(wide));
    GlobalCall(QStringLiteral("ADDMDICHILD"), QString(), &b);
    ASSERT_GT(wide->minimumSizeHint().width(), w.mdi()->viewport()->width());
    EXPECT_GE(wide->width(), wide->minimumSizeHint().width());
    EXPECT_GE(wide->parentWidget()->x(), 0);
    EXPECT_GE(wide->parentWidget()->y(), 0);
    wide->close();
    auto *small = new QWidget;
    small->resize(300, 200);
    QnParams c;
    c.AddValue(QStringLiteral("FORM"), static_cast<QObject *>(small));
    GlobalCall(QStringLiteral("ADDMDICHILD"), QString(), &c);
    EXPECT_EQ(small->size(), QSize(300, 200));
    small->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // A window that closes itself is freed with its frame.
    form->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(form.isNull());
    EXPECT_TRUE(frame.isNull());
    EXPECT_TRUE(w.mdi()->subWindowList().isEmpty());
}

TEST_F(NotehostTest, LoginChecksThePassword)
{
    LoginDialog login(*m_db);
    auto *user = login.findChild<QComboBox *>(QStringLiteral("cmbUser"));
    auto *password = login.findChild<QLineEdit *>(QStringLiteral("edPassword"));
    ASSERT_TRUE(user && password);
    EXPECT_EQ(user->count(), 2);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    user->setCurrentText(QStringLiteral("clerk"));
    password->setText(QStringLiteral("admin"));
    login.tryLogin();
    EXPECT_EQ(login.result(), QDialog::Rejected);
    EXPECT_EQ(login.operatorId(), 0);
    EXPECT_EQ(m_messages.last().text, QStringLiteral("用户名或密码错误,请重新输入."));
    EXPECT_TRUE(password->text().isEmpty());
    password->setText(QStringLiteral("clerk"));
    login.tryLogin();
    EXPECT_EQ(login.result(), QDialog::Accepted);
    EXPECT_EQ(login.operatorId(), 2);
    EXPECT_EQ(operatorByLogin(*m_db, QStringLiteral(" admin ")), 1);
    EXPECT_EQ(operatorByLogin(*m_db, QStringLiteral("nobody")), 0);
}

TEST_F(NotehostTest, ScriptWorksOnWindowsAndDataSets)
{
    registerTestForms();
    RegistFunction(QStringLiteral("ASKMODAL"), &askModal);
    MainWindow w(m_db->path());
    w.show();
    ScriptHost script(&w);
    const int rc = script.run(QStringLiteral(R"JS(
function check(cond, what) { if (!cond) throw new Error("failed: " + what); }
check(host.trigger("actPBuyForm") === true, "menu entry");
check(host.trigger("actSaleForm") === false, "disabled entry does nothing");
var w = host.form("pbuyform");
check(w !== null && w.title === "采购开单", "open form");
check(host.activeForm().title === "采购开单", "active form");
check(host.forms().length === 1, "one window");

w.find("edRemark").text = "急件";
w.find("OkBtn").click();
w.find("OkBtn").click();
check(w.okClicks === 2, "clicks " + w.okClicks);
w.Scale(3);
check(w.okClicks === 6, "slot through the window");
w.invoke("Scale", [2]);
check(w.okClicks === 12, "invoke");

// (Walking, locating and writing lines: the scripts run by notehost.)
var m = w.master;
m.setField("NOTECODE", "CGKD-001");
check(m.state === "edit", "edit on write");
m.post();
var d = w.detail;
check(d.count === 0 && d.fieldNames.join() === "ITEMNO,QUANTITY,PRICE", "detail fields");
for (var i = 1; i <= 3; ++i) {
  d.append();
  d.setField("ITEMNO", i);
  d.setField("QUANTITY", i * 2);
  d.setField("PRICE", 1.5);
  d.post();
}
d.first();
check(d.bof && d.recNo === 1, "first line");
d.recNo = 3;
check(d.field("ITEMNO") === 3, "recNo");
check(w.Total() === 18, "published operation " + w.Total());
check(d.rows()[1].QUANTITY === 4, "rows");
var bad = "";
try { d.setField("NOSUCH", 1); } catch (e) { bad = e.message; }
check(bad.indexOf("NOSUCH") >= 0, "unknown field: " + bad);
check(w.find("cdsDetail").count === 3, "find gives the data set");

host.onModal(function (win) {
  check(win.name === "AskForm", "modal window");
  win.find("edValue").text = "42";
  return 1;
});
var r = host.call("ASKMODAL", "", {});
check(r.params.RESULT === 1 && r.params.TEXT === "42", "modal " + JSON.stringify(r));
host.onModal(null);
r = host.call("ASKMODAL", "", {});
check(r.params.RESULT === 2 && r.params.TEXT === "", "no handler: cancelled");
check(host.modals.length === 2 && host.modals[0].title === "输入", "modal records");

host.onModal(function (win) { throw new Error("inside handler"); });
var failed = "";
try { host.call("ASKMODAL", "", {}); } catch (e) { failed = e.message; }
check(failed.indexOf("inside handler") >= 0, "handler error: " + failed);
host.onModal(null);

check(w.close() === true, "close");
host.wait(0);
check(host.form("PBuyForm") === null, "closed form gone");
)JS"),
                                QStringLiteral("win.js"));
    EXPECT_EQ(rc, 0) << script.lastError().toStdString();
    EXPECT_TRUE(w.mdi()->subWindowList().isEmpty());
    EXPECT_EQ(g_calls, QStringList{QStringLiteral("SHOWNOTEFORM PBuyForm")});
}

} // namespace

#include "NotehostWindowTest.moc"

TEST_F(NotehostTest, MenusHaveAcceleratorsAndTheWindowMenuFollowsTheOpenWindows)
{
    registerTestForms();
    MainWindow w(m_db->path());
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_TRUE(w.screen()->availableGeometry().contains(w.frameGeometry())); // the whole window fits the screen
    // Every title and entry has an accelerator; the titles' letters differ and
    // leave the document windows' Alt keys alone.
    QSet<QChar> letters;
    for (QAction *title : w.menuBar()->actions()) {
        const QString text = title->text();
        const int amp = text.indexOf(u'&');
        ASSERT_GE(amp, 0) << text.toStdString();
        const QChar letter = text.at(amp + 1).toUpper();
        EXPECT_FALSE(QStringLiteral("SACOFTP").contains(letter)) << text.toStdString();
        EXPECT_FALSE(letters.contains(letter)) << text.toStdString();
        letters.insert(letter);
        for (QAction *a : title->menu()->actions())
            EXPECT_TRUE(a->isSeparator() || a->text().contains(u'&')) << a->text().toStdString();
    }

    w.openForm(QStringLiteral("PBuyForm"));
    w.openForm(QStringLiteral("PayForm"));
    const QList<QMdiSubWindow *> open = w.mdi()->subWindowList();
    ASSERT_EQ(open.size(), 2);
    const QList<QAction *> listed = w.listWindows();
    ASSERT_EQ(listed.size(), 2);
    EXPECT_EQ(listed[0]->text(), QStringLiteral("&1 采购开单"));
    listed[0]->trigger();
    EXPECT_EQ(w.mdi()->activeSubWindow(), open[0]);
    EXPECT_EQ(w.navigator()->stateText(), QStringLiteral("当前单据: 采购开单 (正常)"));
    // Ctrl+F4 closes the document window in front.
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : open[0]->widget(), Qt::Key_F4,
                    Qt::ControlModifier);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(w.mdi()->subWindowList(), QList<QMdiSubWindow *>({open[1]}));
}
