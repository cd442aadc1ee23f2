#include "HostFixture.h"

namespace hosttest {

void HostTest::SetUp()
{
    SessionTest::SetUp();
    const QString ins = QStringLiteral(
        "insert into operatormth (OPERATEID, LOGINNAME, OPERATENAME, ISADMIN, CLOSED) values (:id, :l, :n, :a, :c)");
    sql(ins, {{"id", kAdmin}, {"l", "admin"}, {"n", QStringLiteral("系统管理员")}, {"a", 1}, {"c", 0}});
    sql(ins, {{"id", kClerk}, {"l", "clerk"}, {"n", QStringLiteral("张三")}, {"a", 0}, {"c", 0}});
    sql(ins, {{"id", kClosedAdmin}, {"l", "old"}, {"n", QStringLiteral("离职管理员")}, {"a", 1}, {"c", 1}});
    SetCurrentUser(kAdmin);
}

} // namespace hosttest
