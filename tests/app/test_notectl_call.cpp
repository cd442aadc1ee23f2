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
        books = folder.file("books.db");
        auto r = runProgram("notectl", {"init", books, "--demo"});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    testsupport::RunResult call(const QStringList &args)
    {
        return runProgram("notectl", QStringList{"call", books} + args);
    }
    testsupport::TempFolder folder;
    QString books;
};

TEST_F(NotectlCallTest, PrintsResultParametersPicksAndRefusals)
{
    const struct {
        QStringList args;
        int exitCode;
        const char *out, *err; // the whole output; a part of the error text
    } cases[] = {
        {{"GETNOTENAME", "-", "NOTETYPE=2", "MEMO=a b"}, 0, "result=0x00000000\nNOTETYPE=2\nMEMO=a b\nresult=采购订单\n", ""},
        // Text that is not an integer stays text; the package's conversion
        // error reaches the caller, which reports it.
        {{"getnotename", "", "NOTETYPE=2x"}, 1, "", "\"2x\""},
        // The clerk's refusal is printed with its message; the administrator
        // (the default user) is not refused.
        {{"POSDAYEND", "", "--user", "clerk"}, 0, "result=0x80004005\nmessage: error: 对不起,你没有POS日结的权限.\n", ""},
        {{"FILL", ""}, 0, "result=0x00000000\n", ""},
        // An unknown function does nothing; an unknown user, a parameter
        // without a value and a missing argument are refused.
        {{"NOSUCHFUNCTION", "x", "A=1"}, 0, "result=0x00000000\nA=1\n", ""},
        {{"GETNOTENAME", "", "--user", "nobody"}, 1, "", "nobody"},
        {{"GETNOTENAME", "", "NOTETYPE"}, 2, "", "NOTETYPE"},
        {{"GETNOTENAME"}, 2, "", ""},
        // PICK without a field: the current id comes in ID and the picker's choice goes back there;
        // under --ok the picker takes the row it shows (a customer is not in the supplier list),
        // without it the pick is cancelled. (Which rows each list offers: the pickers' tests.)
        {{"PICK", "VENDOR", "ID=3", "--ok"}, 0, "result=0x00000000\nID=3\n", ""},
        {{"PICK", "VENDOR", "ID=8", "--ok"}, 0, "result=0x00000000\nID=1\n", ""},
        {{"PICK", "VENDOR", "ID=8"}, 0, "result=0x00000000\nID=8\n", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const auto r = call(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        EXPECT_EQ(r.out, QString::fromUtf8(c.out));
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.err))) << r.err.toStdString();
    }
}

TEST_F(NotectlCallTest, MissingPluginIsNamed)
{
    // A copy of notectl in a folder without the package.
    const QString copy = folder.file("notectl");
    ASSERT_TRUE(QFile::copy(QDir(testsupport::binDir()).filePath("notectl"), copy));
    QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ExeOwner | QFile::ReadOwner);
    auto r = runProgram(copy, {"call", books, "GETNOTENAME", QString()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(folder.file("libpk_note.so"))) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
}

} // namespace
