#pragma once
// Fixture of the package tests: the real plug-in loaded with QLibrary as the
// host loads it, fresh demo books on the start-up connection, scripted
// messages and modal windows.

#include "Pub.h"
#include "TestSupport.h"

#include <QLibrary>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace pkgtest {

// Demo operators.
constexpr int kAdmin = 1;
constexpr int kClerk = 2;
constexpr long kFail = 0x80004005L;

struct Plugin {
    QLibrary library;
    void (*load)() = nullptr;
    void (*unload)() = nullptr;
    GlobalFunction call = nullptr;
};

// Loaded once per test program from the build's bin folder.
Plugin &plugin();
QString pluginPath();

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // note_Call of the loaded plug-in.
    long call(const QString &function, const QString &argument, QnParams *params = nullptr);
    void sql(const QString &text, const db::Params &params = {}) { m_db->exec(text, params); }
    void setSysParam(const QString &name, const QString &value);
    // Top-level windows other than the ones present when the test began.
    QWidgetList newWindows() const;

    testsupport::TempFolder m_folder;
    std::unique_ptr<db::Database> m_db;
    pub::ScriptedMessageService m_messages;
    pub::ScriptedModalService m_modal;
    QWidgetList m_before;
};

} // namespace pkgtest
