// "notectl call": the package loaded and called from the outside.

#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using testsupport::runProgram;

namespace {

class NotectlCallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        books = folder.file(QStringLiteral("books.db"));
        auto r = runProgram(QStringLiteral("notectl"), {QStringLiteral("init"), books, QStringLiteral("--demo")});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    testsupport::RunResult call(const QStringList &args)
    {
        return runProgram(QStringLiteral("notectl"), QStringList{QStringLiteral("call"), books} + args);
    }
    testsupport::TempFolder folder;
    QString books;
};

TEST_F(NotectlCallTest, PrintsResultAndParametersAfterTheCall)
{
    auto r = call({QStringLiteral("GETNOTENAME"), QStringLiteral("-"), QStringLiteral("NOTETYPE=2"),
                   QStringLiteral("MEMO=a b")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("result=0x00000000\nNOTETYPE=2\nMEMO=a b\nresult=采购订单\n"));

    // Text that is not an integer stays text; the package's conversion error
    // reaches the caller, which reports it.
    r = call({QStringLiteral("getnotename"), QString(), QStringLiteral("NOTETYPE=2x")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("\"2x\""))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(NotectlCallTest, RefusalOfTheClerkIsPrintedWithItsMessage)
{
    auto r = call({QStringLiteral("POSDAYEND"), QString(), QStringLiteral("--user"), QStringLiteral("clerk")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("result=0x80004005\nmessage: error: 对不起,你没有POS日结的权限.\n"));

    // The administrator (the default user) is not refused.
    r = call({QStringLiteral("FILL"), QString()});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("result=0x00000000\n"));
}

TEST_F(NotectlCallTest, UnknownFunctionUserAndBadArguments)
{
    auto r = call({QStringLiteral("NOSUCHFUNCTION"), QStringLiteral("x"), QStringLiteral("A=1")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("result=0x00000000\nA=1\n"));

    r = call({QStringLiteral("GETNOTENAME"), QString(), QStringLiteral("--user"), QStringLiteral("nobody")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("nobody"))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());

    r = call({QStringLiteral("GETNOTENAME"), QString(), QStringLiteral("NOTETYPE")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("NOTETYPE"))) << r.err.toStdString();

    r = call({QStringLiteral("GETNOTENAME")});
    EXPECT_EQ(r.exitCode, 2);
}

TEST_F(NotectlCallTest, MissingPluginIsNamed)
{
    // A copy of notectl in a folder without the package.
    const QString copy = folder.file(QStringLiteral("notectl"));
    ASSERT_TRUE(QFile::copy(QDir(testsupport::binDir()).filePath(QStringLiteral("notectl")), copy));
    QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ExeOwner | QFile::ReadOwner);
    auto r = runProgram(copy, {QStringLiteral("call"), books, QStringLiteral("GETNOTENAME"), QString()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(folder.file(QStringLiteral("libpk_note.so")))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
}

// PICK without a field: the current id comes in ID and the picker's choice
// goes back there. Under --ok the picker takes the row it shows: the given id
// when the list has it, else its first row; without --ok it is cancelled.
TEST_F(NotectlCallTest, PickReturnsTheChosenIdInItsParameters)
{
    const auto pick = [this](const QString &what, const QString &id, bool ok) {
        QStringList args{QStringLiteral("PICK"), what, QStringLiteral("ID=") + id};
        if (ok)
            args << QStringLiteral("--ok");
        auto r = call(args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return r.out;
    };
    EXPECT_EQ(pick(QStringLiteral("VENDOR"), QStringLiteral("3"), true), QStringLiteral("result=0x00000000\nID=3\n"));
    // A customer is not in the supplier list, nor a supplier in the customer list.
    EXPECT_EQ(pick(QStringLiteral("VENDOR"), QStringLiteral("8"), true), QStringLiteral("result=0x00000000\nID=1\n"));
    EXPECT_EQ(pick(QStringLiteral("CLIENT"), QStringLiteral("3"), true), QStringLiteral("result=0x00000000\nID=7\n"));
    EXPECT_EQ(pick(QStringLiteral("VENDOR"), QStringLiteral("8"), false), QStringLiteral("result=0x00000000\nID=8\n"));
    EXPECT_EQ(pick(QStringLiteral("EMP"), QStringLiteral("2"), true), QStringLiteral("result=0x00000000\nID=2\n"));
}

} // namespace
