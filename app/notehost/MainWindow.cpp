#include "MainWindow.h"

#include "HostFunctions.h"
#include "NavigatorForm.h"

#include "Globals.h"
#include "Messages.h"
#include "Privileges.h"
#include "Registry.h"
#include "SysParams.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>

namespace notehost {

namespace {

const PrivilegedForm *registeredForm(const QString &name)
{
    for (const PrivilegedForm &f : RegisteredForms())
        if (f.name.compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

bool functionRegistered(const QString &name)
{
    return RegisteredFunctions().contains(name, Qt::CaseInsensitive);
}

// Menu titles take letters the document windows do not use for their own
// Alt keys (S, A, C, O, F, T, P); 窗口 is W.
const char kTitleLetters[] = "BDEGHIJKLMNQRUVXYZ";

// Entries of an open menu: 1-9, then the letters.
QString entryMnemonic(int i)
{
    static const char keys[] = "123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    return i < int(sizeof(keys)) - 1 ? QStringLiteral("(&%1)").arg(QLatin1Char(keys[i])) : QString();
}

} // namespace

MainWindow::MainWindow(const QString &booksPath, QWidget *parent) : QMainWindow(parent), m_booksPath(booksPath)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("业务单据 - %1").arg(booksPath));
    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("MdiArea"));
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);
    setMdiArea(m_mdi);

    auto *dock = new QDockWidget(QStringLiteral("导航器"), this);
    dock->setObjectName(QStringLiteral("NavigatorDock"));
    m_navigator = new NavigatorForm(dock);
    dock->setWidget(m_navigator);
    addDockWidget(Qt::LeftDockWidgetArea, dock);
    connect(m_navigator, &NavigatorForm::openRequested, this, &MainWindow::openForm);

    m_user = new QLabel(this);
    m_user->setObjectName(QStringLiteral("lblUser"));
    m_period = new QLabel(this);
    m_period->setObjectName(QStringLiteral("lblPeriod"));
    m_books = new QLabel(this);
    m_books->setObjectName(QStringLiteral("lblDatabase"));
    statusBar()->addWidget(m_user);
    statusBar()->addWidget(m_period);
    statusBar()->addWidget(m_books, 1);

    buildMenus();
    auto *window = menuBar()->addMenu(QStringLiteral("窗口(&W)"));
    window->setObjectName(QStringLiteral("muWindow"));
    window->addAction(dock->toggleViewAction());
    dock->toggleViewAction()->setObjectName(QStringLiteral("actNavigator"));
    dock->toggleViewAction()->setText(QStringLiteral("导航器(&N)"));
    window->addSeparator();
    QAction *a = window->addAction(QStringLiteral("层叠(&C)"), m_mdi, &QMdiArea::cascadeSubWindows);
    a->setObjectName(QStringLiteral("actCascade"));
    a = window->addAction(QStringLiteral("平铺(&T)"), m_mdi, &QMdiArea::tileSubWindows);
    a->setObjectName(QStringLiteral("actTile"));
    a = window->addAction(QStringLiteral("关闭(&O)"), m_mdi, &QMdiArea::closeActiveSubWindow);
    a->setObjectName(QStringLiteral("actCloseWindow"));
    a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
    a = window->addAction(QStringLiteral("全部关闭(&L)"), m_mdi, &QMdiArea::closeAllSubWindows);
    a->setObjectName(QStringLiteral("actCloseAll"));
    window->addSeparator();
    m_windowListMark = window->addSeparator();
    a = window->addAction(QStringLiteral("退出(&X)"), this, &QWidget::close);
    a->setObjectName(QStringLiteral("actExit"));
    m_windowMenu = window;
    // The open windows are listed each time the menu opens.
    connect(window, &QMenu::aboutToShow, this, &MainWindow::listWindows);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow *sub) {
        m_navigator->showForm(sub ? sub->widget() : nullptr);
        // Each frame's own menu would claim Ctrl+F4 too, and two claims cancel out.
        if (sub && sub->systemMenu())
            for (QAction *own : sub->systemMenu()->actions())
                own->setShortcuts({});
    });

    refreshMenus();
    refreshStatus();
    fitToScreen();
}

void MainWindow::fitToScreen()
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect avail = s ? s->availableGeometry() : QRect(0, 0, 1280, 800);
    // The frame (title bar, borders) is the window manager's; leave room for it.
    const QSize frame = isVisible() ? frameGeometry().size() - size() : QSize(0, 0);
    resize(QSize(1280, 800).boundedTo(avail.size() - frame));
    move(avail.topLeft()); // places the frame
}

void MainWindow::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (!m_fitted) {
        m_fitted = true;
        fitToScreen(); // the frame's size is known now
    }
}

QList<QAction *> MainWindow::listWindows()
{
    for (QAction *a : std::as_const(m_windowActions)) {
        m_windowMenu->removeAction(a);
        a->deleteLater();
    }
    m_windowActions.clear();
    const QList<QMdiSubWindow *> windows = m_mdi->subWindowList();
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow *sub = windows[i];
        auto *a = new QAction(entryMnemonic(i).replace(QLatin1String("("), QString()).replace(QLatin1String(")"), QString())
                                  + QLatin1Char(' ') + sub->windowTitle(),
                              m_windowMenu);
        a->setObjectName(QStringLiteral("actWindow%1").arg(i + 1));
        a->setCheckable(true);
        a->setChecked(sub == m_mdi->activeSubWindow());
        connect(a, &QAction::triggered, this, [this, sub = QPointer<QMdiSubWindow>(sub)] {
            if (sub)
                m_mdi->setActiveSubWindow(sub);
        });
        m_windowMenu->insertAction(m_windowListMark, a);
        m_windowActions << a;
    }
    return m_windowActions;
}

MainWindow::~MainWindow()
{
    if (mdiArea() == m_mdi)
        setMdiArea(nullptr);
}

void MainWindow::buildMenus()
{
    QHash<QString, QMenu *> menus;
    const QStringList areas = menuAreas();
    for (int i = 0; i < areas.size(); ++i) {
        const int letter = i < int(sizeof(kTitleLetters)) - 1 ? kTitleLetters[i] : 0;
        QMenu *m = menuBar()->addMenu(letter ? QStringLiteral("%1(&%2)").arg(areas[i]).arg(QChar(letter)) : areas[i]);
        m->setObjectName(QStringLiteral("mu%1").arg(i + 1));
        menus.insert(areas[i], m);
    }
    const QVector<MenuEntry> &entries = menuEntries();
    QHash<QMenu *, int> counts;
    for (int i = 0; i < entries.size(); ++i) {
        const MenuEntry &e = entries[i];
        QMenu *m = menus.value(e.area);
        // Entries the package runs through its own functions come after a line.
        if (e.function != QLatin1String("SHOWNOTEFORM") && i > 0 && entries[i - 1].area == e.area &&
            entries[i - 1].function == QLatin1String("SHOWNOTEFORM"))
            m->addSeparator();
        QAction *a = m->addAction(e.caption + entryMnemonic(counts[m]++));
        const QString id = e.formName.isEmpty() || e.argument.endsWith(QLatin1String("_INIT"))
                               ? (e.argument.isEmpty() ? e.function : e.argument)
                               : e.formName;
        a->setObjectName(QStringLiteral("act") + id);
        connect(a, &QAction::triggered, this, [this, i] { openEntry(i); });
        m_entries.push_back({e, a});
    }
}

namespace {
std::function<bool(const QString &)> &windowClassCheck()
{
    static std::function<bool(const QString &)> check;
    return check;
}
} // namespace

void MainWindow::setWindowClassCheck(std::function<bool(const QString &)> check)
{
    windowClassCheck() = std::move(check);
}

bool MainWindow::entryAvailable(const MenuEntry &e, QString *why)
{
    auto refuse = [why](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
    int privilege = e.privilegeId;
    if (!e.formName.isEmpty()) {
        const PrivilegedForm *f = registeredForm(e.formName);
        if (!f || !f->factory)
            return refuse(QStringLiteral("尚未提供此窗口"));
        if (!privilege)
            privilege = f->privilegeId;
    }
    if (!e.windowClass.isEmpty() && windowClassCheck() && !windowClassCheck()(e.windowClass))
        return refuse(QStringLiteral("尚未提供此窗口"));
    if (!functionRegistered(e.function))
        return refuse(QStringLiteral("业务包没有提供功能 %1").arg(e.function));
    if (privilege && e.action && !GetUPrivilegeItem(privilege, e.action))
        return refuse(QStringLiteral("没有%1权限").arg(PrivilegeActionName(e.action)));
    return true;
}

bool MainWindow::formAvailable(const QString &formName)
{
    for (const MenuEntry &e : menuEntries())
        if (e.formName.compare(formName, Qt::CaseInsensitive) == 0)
            return entryAvailable(e);
    return false;
}

void MainWindow::refreshMenus()
{
    for (EntryAction &ea : m_entries) {
        QString why;
        const bool on = entryAvailable(ea.entry, &why);
        ea.action->setEnabled(on);
        ea.action->setStatusTip(on ? ea.entry.formName : why);
        ea.action->setToolTip(ea.action->statusTip());
    }
    m_navigator->updateEnabled(&MainWindow::formAvailable);
}

void MainWindow::refreshStatus()
{
    m_user->setText(QStringLiteral("操作员: %1").arg(g_asUserName));
    const QString year = LookupSysParam(QStringLiteral("PosYear"));
    const QString month = LookupSysParam(QStringLiteral("PosMonth"));
    m_period->setText(QStringLiteral("会计期间: %1-%2 (%3 至 %4)")
                          .arg(year, month.rightJustified(2, u'0'),
                               GetFirstDayOfPosMonth().toString(QStringLiteral("yyyy-MM-dd")),
                               GetLastDayOfPosMonth().toString(QStringLiteral("yyyy-MM-dd"))));
    m_books->setText(QStringLiteral("帐套: %1").arg(m_booksPath));
}

QString MainWindow::statusText() const
{
    return m_user->text() + u'\n' + m_period->text() + u'\n' + m_books->text();
}

QPixmap MainWindow::snapshot(const QString &menuTitle)
{
    QPixmap shot = grab();
    if (menuTitle.isEmpty())
        return shot;
    for (QAction *a : menuBar()->actions()) {
        QMenu *m = a->menu();
        if (!m || (a->text() != menuTitle && !a->text().startsWith(menuTitle + QLatin1String("(&"))))
            continue;
        m->ensurePolished();
        m->adjustSize();
        menuBar()->setActiveAction(a);
        shot = grab();
        const QPoint at = menuBar()->mapTo(this, menuBar()->actionGeometry(a).bottomLeft());
        QPainter p(&shot);
        p.drawPixmap(at, m->grab());
        menuBar()->setActiveAction(nullptr);
        break;
    }
    return shot;
}

long MainWindow::openEntry(int index)
{
    if (index < 0 || index >= m_entries.size())
        return 0;
    const MenuEntry &e = m_entries[index].entry;
    try {
        // The cost calculation reports into its parameters; the others take none
        // (FINDNOTE then opens the finder on the first note type).
        QnParams params;
        QnParams *p = e.function == QLatin1String("COSTCACULATE") ? &params : nullptr;
        return GlobalCall(e.function, e.argument, p);
    } catch (const std::exception &ex) {
        ShowError(ex);
    }
    return long(0x80004005);
}

long MainWindow::openForm(const QString &formName)
{
    for (int i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].entry.formName.compare(formName, Qt::CaseInsensitive) == 0)
            return openEntry(i);
    return 0;
}

} // namespace notehost
