#pragma once
// The host's main window: an MDI area for the package's windows, menus by
// business area that open every registered form through GlobalCall, the
// navigator as a dockable panel, and a status bar with user, business period
// and books.

#include "FormCatalog.h"

#include <functional>
#include <QMainWindow>
#include <QVector>

class QAction;
class QLabel;
class QMdiArea;
class QMenu;

namespace notehost {

class NavigatorForm;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const QString &booksPath, QWidget *parent = nullptr);
    ~MainWindow() override;

    struct EntryAction {
        MenuEntry entry;
        QAction *action;
    };
    const QVector<EntryAction> &entryActions() const { return m_entries; }
    QMdiArea *mdi() const { return m_mdi; }
    NavigatorForm *navigator() const { return m_navigator; }
    QString statusText() const;
    // The window as shown; with `menuTitle` the drop-down of that menu is drawn
    // open under its title (a grab never shows popups).
    QPixmap snapshot(const QString &menuTitle = {});

    // Whether an entry may be used now: its form has a factory (or its function
    // is registered) and the current user holds the right; `why` gets the reason
    // when not.
    static bool entryAvailable(const MenuEntry &entry, QString *why = nullptr);
    // How the menus learn whether the package builds a function entry's window
    // (unset: every window counts as built).
    static void setWindowClassCheck(std::function<bool(const QString &)> check);
    // Whether a form may be opened from the navigator or a menu.
    static bool formAvailable(const QString &formName);

public slots:
    // Re-reads registrations and privileges (after a user change or a new package).
    void refreshMenus();
    void refreshStatus();
    // Runs an entry's function; errors are shown, never thrown.
    long openEntry(int index);
    // Opens a registered form by name the way its menu entry does.
    long openForm(const QString &formName);

    // The 窗口 menu's entries for the open windows (rebuilt when it opens).
    QList<QAction *> listWindows();
    // Opens within the screen's available area.
    void fitToScreen();

protected:
    void showEvent(QShowEvent *e) override;

private:
    void buildMenus();
    bool m_fitted = false;
    QMenu *m_windowMenu = nullptr;
    QAction *m_windowListMark = nullptr;
    QList<QAction *> m_windowActions;
    QMdiArea *m_mdi;
    NavigatorForm *m_navigator;
    QVector<EntryAction> m_entries;
    QLabel *m_user;
    QLabel *m_period;
    QLabel *m_books;
    QString m_booksPath;
};

} // namespace notehost
