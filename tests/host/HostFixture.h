#pragma once
// Fixture of the host-service tests: fresh books (real schema) on the start-up
// connection, an administrator and a clerk, scripted messages and windows.

#include "Pub.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace hosttest {

// The widgets application every test of this program shares (offscreen).
void ensureApplication();

constexpr int kAdmin = 101;
constexpr int kClerk = 102;
constexpr int kClosedAdmin = 103;

class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    db::Database &database() { return *m_db; }
    // Runs fixture SQL on the books directly.
    void sql(const QString &text, const db::Params &params = {}) { m_db->exec(text, params); }
    void setParam(int id, const QString &name, const QString &value);
    void grant(int operatorId, int privilegeId, int action);

    testsupport::TempFolder m_folder;
    std::unique_ptr<db::Database> m_db;
    pub::ScriptedMessageService m_messages;
    pub::ScriptedModalService m_modal;
};

} // namespace hosttest
