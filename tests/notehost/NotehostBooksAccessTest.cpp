// notehost on books it cannot use as they are: a folder given for the books,
// and the busy timeout given on the command line.

#include "HostApp.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using testsupport::runProgram;

TEST(NotehostBooksAccess, AFolderIsNotOfferedToNotectlInit)
{
    testsupport::TempFolder folder;
    const auto r = runProgram(QStringLiteral("notehost"),
                              {QStringLiteral("--db"), folder.path(), QStringLiteral("--user"), QStringLiteral("admin")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("数据库路径是一个目录"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("请用 --db 指定帐套文件，而不是文件夹。"))) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("notectl init"))) << r.err.toStdString();
}

TEST(NotehostBooksAccess, BusyTimeoutIsSecondsOnTheCommandLine)
{
    notehost::HostOptions o;
    QString error;
    ASSERT_TRUE(notehost::parseOptions({QStringLiteral("--db"), QStringLiteral("b.db"), QStringLiteral("--busy-timeout"),
                                        QStringLiteral("3")},
                                       &o, &error));
    EXPECT_EQ(o.busyTimeout, 3);
    for (const char *bad : {"soon", "-1"}) {
        notehost::HostOptions other;
        EXPECT_FALSE(notehost::parseOptions({QStringLiteral("--db"), QStringLiteral("b.db"), QStringLiteral("--busy-timeout"),
                                             QString::fromLatin1(bad)},
                                            &other, &error));
        EXPECT_TRUE(error.startsWith(QStringLiteral("--busy-timeout needs a number of seconds"))) << error.toStdString();
    }
}
