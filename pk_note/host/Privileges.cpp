#include "Privileges.h"

#include "Globals.h"
#include "Messages.h"
#include "SteadyReads.h"
#include "db/Database.h"

bool IsAdministrator(int operatorId)
{
    if (!StartupDB() || operatorId == 0)
        return false;
    return SteadyScalar(QStringLiteral("select ISADMIN from operatormth where OPERATEID = :id and CLOSED = 0"),
                        {{QStringLiteral("id"), operatorId}})
               .toInt() != 0;
}

bool GetUPrivilegeItem(int privilegeId, int action)
{
    if (!StartupDB() || g_iUserID == 0)
        return false;
    // One query answers both the administrator flag and the explicit right.
    const QVariant v = SteadyScalar(
        QStringLiteral("select count(*) from operatormth o where o.OPERATEID = :u and o.CLOSED = 0 and "
                       "(o.ISADMIN <> 0 or exists (select 1 from privilegemth p where p.OPERATEID = o.OPERATEID "
                       "and p.PRIVILEGEID = :id and p.ACTION = :a))"),
        {{QStringLiteral("u"), g_iUserID}, {QStringLiteral("id"), privilegeId}, {QStringLiteral("a"), action}});
    return v.toInt() > 0;
}

bool HasNewPrivilege2(int privilegeId, int action, bool showMessage)
{
    if (GetUPrivilegeItem(privilegeId, action))
        return true;
    if (showMessage)
        ShowError(QStringLiteral("对不起,你没有") + PrivilegeActionName(action) + QStringLiteral("的权限!"));
    return false;
}

QString PrivilegeActionName(int action)
{
    switch (action) {
    case 1: return QStringLiteral("浏览");
    case 2: return QStringLiteral("编辑");
    case 3: return QStringLiteral("打印");
    case 4: return QStringLiteral("导出");
    case 5: return QStringLiteral("使用");
    case 6: return QStringLiteral("审核");
    case 7: return QStringLiteral("作废");
    default: return {};
    }
}
