// The print register procedures as the package calls them (batch text built by
// concatenation).

#include "TestSupport.h"

#include "Procedures.h"
#include "notedb.h"

#include <gtest/gtest.h>

namespace {

class PrintRegister : public ::testing::Test {
protected:
    void SetUp() override
    {
        notedb::registerFrameworkProcedures();
        books = testsupport::freshBooks(folder.file("books.db"));
    }

    // As the package builds the batch: "exec usrprocnoteprintabth_insert " + type + ", " + id + ...
    void exec(const char *proc, const QString &args) { books->run(QString("exec usrprocnoteprintabth_%1 %2").arg(proc, args)); }
    void saved(int type, qint64 id, const QString &code, const QString &date, const QString &operateId)
    {
        exec("insert", QString("%1, %2,'%3','%4',%5").arg(type).arg(id).arg(code, date, operateId));
    }
    void printed(int type, qint64 id) { exec("update", QString("%1, %2").arg(type).arg(id)); }
    void deleted(int type, qint64 id) { exec("delete", QString("%1, %2").arg(type).arg(id)); }
    // "code|date|maker|printed" of the note's row, empty when it has none.
    QString row(int type, qint64 id)
    {
        return testsupport::rowsOf(*books, QString("select NOTECODE, NOTEDATE, OPERATEID, PRINTED from noteprintabth "
                                                   "where notetype=%1 and noteid=%2").arg(type).arg(id), u'|');
    }
    int rows() { return books->scalar("select count(*) from noteprintabth").toInt(); }

    testsupport::TempFolder folder;
    std::unique_ptr<db::Database> books;
};

TEST_F(PrintRegister, SaveCreatesOrRefreshesTheRowAndKeepsTheCountAlsoForOddButValidCalls)
{
    saved(52, 7, "FYKZ-2024-02-0001", "2024-02-10", "1");
    EXPECT_EQ(row(52, 7), "FYKZ-2024-02-0001|2024-02-10|1|0");
    printed(52, 7);
    printed(52, 7);
    // Saved again with a new number, date and maker: one row, both prints counted and kept.
    saved(52, 7, "FYKZ-2024-03-0004", "2024-03-01", "2");
    EXPECT_EQ(row(52, 7), "FYKZ-2024-03-0004|2024-03-01|2|2");

    // Same id under other note types, and init-mode negative keys, are separate notes.
    saved(53, 7, "QTSR-2024-02-0001", "2024-02-11", "1");
    saved(51, -1, "YHCQ-2024-02-0001", "2024-02-12", "1");
    printed(51, -1);
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(row(51, -1), "YHCQ-2024-02-0001|2024-02-12|1|1");
    EXPECT_EQ(row(53, 7), "QTSR-2024-02-0001|2024-02-11|1|0");

    deleted(52, 7);
    EXPECT_EQ(row(52, 7), QString());
    deleted(52, 7); // a note deleted twice is not an error
    EXPECT_EQ(rows(), 2);

    // A quote in the number is doubled by the caller; a missing maker leaves the call without its last value.
    books->run("exec usrprocnoteprintabth_insert 4, 12,'CG''01','2024-02-10 00:00:00',");
    EXPECT_EQ(row(4, 12), "CG'01|2024-02-10||0");
    // A print of a note the register never saw starts its count; numbers quoted as text are still numbers.
    printed(14, 99);
    books->run("exec usrprocnoteprintabth_update '14', '99'");
    EXPECT_EQ(row(14, 99).section(u'|', 3), "2");
}

TEST_F(PrintRegister, BadCallsRaiseClearErrorsAndWriteNothing)
{
    const std::pair<const char *, const char *> cases[] = {
        {"insert 52, 7,'X'", "usrprocnoteprintabth_insert"},
        {"insert 52, 7,'X'", "给出了 3 个"},
        {"insert 52, 7,'X','2024-02-10',1,9", "给出了 6 个"},
        {"delete 52", "usrprocnoteprintabth_delete 需要 2 个参数"},
        {"update 52, 7, 1", "usrprocnoteprintabth_update 需要 2 个参数"},
        {"insert 52, abc,'X','2024-02-10',1", "单据ID 必须是整数"},
        {"insert 52, abc,'X','2024-02-10',1", "'abc'"},
        {"update 52, '7x'", "单据ID 必须是整数"},
        {"delete 5.5, 7", "单据类型 必须是整数"},
        {"insert 52, 7,'X','2024-02-10',zhang", "制单人 必须是整数"},
        {"insert 52, 7,'X','2024-13-45',1", "不是有效的日期"},
    };
    for (const auto &[call, says] : cases) {
        const QString error = testsupport::refusal([&] { books->run("exec usrprocnoteprintabth_" + QString::fromUtf8(call)); });
        EXPECT_TRUE(error.contains(QString::fromUtf8(says))) << call << ": " << error.toStdString();
    }
    EXPECT_EQ(rows(), 0);
}

TEST_F(PrintRegister, FollowsTheCallersTransaction)
{
    books->beginTran();
    saved(52, 1, "A", "2024-02-10", "1");
    EXPECT_EQ(rows(), 1);
    books->rollbackTran();
    EXPECT_EQ(rows(), 0);

    books->beginTran();
    saved(52, 1, "A", "2024-02-10", "1");
    books->commitTran();
    books->beginTran();
    printed(52, 1);
    deleted(52, 1);
    books->rollbackTran();
    EXPECT_EQ(row(52, 1), "A|2024-02-10|1|0");
}

} // namespace
