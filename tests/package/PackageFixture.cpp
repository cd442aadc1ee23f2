#include "PackageFixture.h"

namespace pkgtest {

void PackageTest::SetUp()
{
    SessionTest::SetUp();
    ASSERT_TRUE(plugin().load && plugin().unload && plugin().call);
}

long PackageTest::call(const QString &function, const QString &argument, QnParams *params)
{
    return plugin().call(function, argument, params);
}

} // namespace pkgtest
