#pragma once
// Fixture of the package tests: the real plug-in loaded with QLibrary as the
// host loads it, fresh demo books on the start-up connection, scripted
// messages and modal windows.

#include "Pub.h"
#include "TestSupport.h"

#include <QLibrary>
#include <QWidget>

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <utility>

namespace pkgtest {

// Demo operators.
constexpr int kAdmin = 1;
constexpr int kClerk = 2;
constexpr long kFail = 0x80004005L;

using testsupport::plugin;
using testsupport::pluginPath;

// Call parameters from name/value pairs.
inline QnParams params(std::initializer_list<std::pair<const char *, QnVariant>> values)
{
    QnParams p;
    for (const auto &[name, value] : values)
        p.AddValue(QString::fromLatin1(name), value);
    return p;
}

class PackageTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        ASSERT_TRUE(plugin().load && plugin().unload && plugin().call);
    }
    // note_Call of the loaded plug-in.
    long call(const QString &function, const QString &argument, QnParams *params = nullptr)
    {
        return plugin().call(function, argument, params);
    }
};

} // namespace pkgtest
