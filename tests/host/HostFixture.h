#pragma once
// Fixture of the host-service tests: the session over fresh books without the
// demo company, an administrator, a clerk and a closed administrator.

#include "TestSupport.h"

namespace hosttest {

using testsupport::ensureApplication;

constexpr int kAdmin = 101;
constexpr int kClerk = 102;
constexpr int kClosedAdmin = 103;

class HostTest : public testsupport::SessionTest {
protected:
    HostTest() : SessionTest(false) {}
    void SetUp() override;
    void setParam(int id, const QString &name, const QString &value) { SessionTest::setParam(id, name, value); }
    void grant(int operatorId, int privilegeId, int action) { SessionTest::grant(operatorId, privilegeId, {action}); }
};

} // namespace hosttest
