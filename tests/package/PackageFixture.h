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

using testsupport::plugin;
using testsupport::pluginPath;

class PackageTest : public testsupport::SessionTest {
protected:
    void SetUp() override;

    // note_Call of the loaded plug-in.
    long call(const QString &function, const QString &argument, QnParams *params = nullptr);
    void setSysParam(const QString &name, const QString &value) { setParam(name, value); }
};

} // namespace pkgtest
