#pragma once
// Privileges of the current user (g_iUserID): operatormth.ISADMIN marks an
// administrator, who holds every right; anyone else holds exactly the rows of
// privilegemth (OPERATEID, PRIVILEGEID, ACTION).
// Actions: 1 browse, 2 edit, 3 print, 4 export, 5 use, 6 audit, 7 void.

#include <QString>

bool GetUPrivilegeItem(int privilegeId, int action);
bool IsAdministrator(int operatorId);
// GetUPrivilegeItem that says so when refused and `showMessage`:
// "对不起,你没有" + the action's name + "的权限!".
bool HasNewPrivilege2(int privilegeId, int action, bool showMessage);
// The Chinese name of an action ("浏览", "编辑", ...), empty for others.
QString PrivilegeActionName(int action);
