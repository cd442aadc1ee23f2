#pragma once
// Fixture of the host-service tests: the session over fresh books without the
// demo company, an administrator, a clerk and a closed administrator.

#include "TestSupport.h"

namespace hosttest {

constexpr int kAdmin = 101, kClerk = 102, kClosedAdmin = 103;

class HostTest : public testsupport::SessionTest {
protected:
    HostTest() : SessionTest(false) {}
    void SetUp() override
    {
        SessionTest::SetUp();
        const QString ins = "insert into operatormth (OPERATEID, LOGINNAME, OPERATENAME, ISADMIN, CLOSED) "
                            "values (:id, :l, :n, :a, :c)";
        sql(ins, {{"id", kAdmin}, {"l", "admin"}, {"n", "系统管理员"}, {"a", 1}, {"c", 0}});
        sql(ins, {{"id", kClerk}, {"l", "clerk"}, {"n", "张三"}, {"a", 0}, {"c", 0}});
        sql(ins, {{"id", kClosedAdmin}, {"l", "old"}, {"n", "离职管理员"}, {"a", 1}, {"c", 1}});
        SetCurrentUser(kAdmin);
    }
    void setParam(int id, const QString &name, const QString &value) { SessionTest::setParam(id, name, value); }
    void grant(int operatorId, int privilegeId, int action) { SessionTest::grant(operatorId, privilegeId, {action}); }
    void units() { sql("insert into unitlth (UNITSID, CODE, NAME) values (1, '01', '个'), (2, '02', '箱'), (3, '03', 'O''Neil''s')"); }
};

} // namespace hosttest
