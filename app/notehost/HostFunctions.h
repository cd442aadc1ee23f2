#pragma once
// Global functions the host provides to the package (GlobalCall), and the MDI
// hook through which the package's non-modal windows become MDI children.

#include "QnParams.h"

#include <QString>
#include <QVector>

class QMdiArea;
class QMdiSubWindow;
class QWidget;

namespace notehost {

// Open operators holding `action` on privilege item `itemId`; administrators
// hold every item. Ordered by operator id.
QVector<int> operatorsHolding(int itemId, int action);

// "GETUSERLIST": params "iModId" (privilege item) and "iPrtypesid" (action).
// The operator ids go into "UserNameList": appended as decimal texts when it
// holds a pointer to a QStringList, else stored as one text "1,2,...".
// "UserCount" receives how many there are. Without params: E_FAIL.
long GetUserList(const QString &function, const QString &argument, QnParams *params);

// Where MDI children go; null (no main window) makes them plain windows.
void setMdiArea(QMdiArea *area);
QMdiArea *mdiArea();
// Puts `form` into the MDI area (once; a window already there is reused),
// shows it and makes it current. The sub-window closes with the form and the
// form is freed when closed (WA_DeleteOnClose). Without an MDI area the form
// is shown as a top-level window.
QMdiSubWindow *showMdiChild(QWidget *form);

// "ADDMDICHILD": params "FORM" (the window as QObject); puts it into the MDI
// area with showMdiChild and sets "RESULT" = true, or false when there is no
// MDI area or no window.
long AddMdiChild(const QString &function, const QString &argument, QnParams *params);

// Registers "GETUSERLIST" and "ADDMDICHILD" with GlobalCall. Call before
// loading the package.
void registerHostFunctions();

} // namespace notehost
