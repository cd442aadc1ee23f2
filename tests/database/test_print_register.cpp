// The print register procedures as the package calls them (batch text built by
// concatenation), and the note-message tables with the statements the
// framework sends to them.

#include "TestSupport.h"

#include "Procedures.h"
#include "notedb.h"

#include <QDateTime>

#include <gtest/gtest.h>

using db::DbError;

namespace {

class PrintRegister : public ::testing::Test {
protected:
    void SetUp() override
    {
        notedb::registerFrameworkProcedures();
        books = testsupport::freshBooks(folder.file(QStringLiteral("books.db")));
    }

    // "exec usrprocnoteprintabth_insert " + type + ", " + id + ",'" + code + "','" + date + "'," + operateid
    void saved(int type, qint64 id, const QString &code, const QString &date, const QString &operateId)
    {
        books->run(QStringLiteral("exec usrprocnoteprintabth_insert ") + QString::number(type) + QStringLiteral(", ") +
                   QString::number(id) + QStringLiteral(",'") + code + QStringLiteral("','") + date +
                   QStringLiteral("',") + operateId);
    }
    void printed(int type, qint64 id)
    {
        books->run(QStringLiteral("exec usrprocnoteprintabth_update ") + QString::number(type) + QStringLiteral(", ") +
                   QString::number(id));
    }
    void deleted(int type, qint64 id)
    {
        books->run(QStringLiteral("exec usrprocnoteprintabth_delete ") + QString::number(type) + QStringLiteral(", ") +
                   QString::number(id));
    }
    // "code|date|maker|printed" of the note's row, empty when it has none.
    QString row(int type, qint64 id)
    {
        const db::ResultSet r = books->select(QStringLiteral("select NOTECODE, NOTEDATE, OPERATEID, PRINTED from noteprintabth "
                                                             "where notetype=%1 and noteid=%2")
                                                  .arg(type)
                                                  .arg(id));
        QStringList parts;
        for (const QVariant &v : r.rows.value(0))
            parts << (v.isNull() ? QStringLiteral("NULL") : v.toString());
        return parts.join(u'|');
    }
    int rows() { return books->scalar(QStringLiteral("select count(*) from noteprintabth")).toInt(); }
    QString failure(const QString &batch)
    {
        try {
            books->run(batch);
        } catch (const DbError &e) {
            return e.text();
        }
        return {};
    }

    testsupport::TempFolder folder;
    std::unique_ptr<db::Database> books;
};

TEST_F(PrintRegister, SaveCreatesOrRefreshesTheRowAndKeepsTheCount)
{
    saved(52, 7, QStringLiteral("FYKZ-2024-02-0001"), QStringLiteral("2024-02-10"), QStringLiteral("1"));
    EXPECT_EQ(row(52, 7), QStringLiteral("FYKZ-2024-02-0001|2024-02-10|1|0"));
    // The label query of the window reads the count after each print.
    printed(52, 7);
    printed(52, 7);
    EXPECT_EQ(books->scalar(QStringLiteral("select printed from noteprintabth where notetype=52 and noteid=7")).toInt(), 2);
    // Saved again with a new number, date and maker: one row, count kept.
    saved(52, 7, QStringLiteral("FYKZ-2024-03-0004"), QStringLiteral("2024-03-01"), QStringLiteral("2"));
    EXPECT_EQ(row(52, 7), QStringLiteral("FYKZ-2024-03-0004|2024-03-01|2|2"));

    // Same id under other note types, and init-mode negative keys, are separate notes.
    saved(53, 7, QStringLiteral("QTSR-2024-02-0001"), QStringLiteral("2024-02-11"), QStringLiteral("1"));
    saved(51, -1, QStringLiteral("YHCQ-2024-02-0001"), QStringLiteral("2024-02-12"), QStringLiteral("1"));
    printed(51, -1);
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(row(51, -1), QStringLiteral("YHCQ-2024-02-0001|2024-02-12|1|1"));
    EXPECT_EQ(row(53, 7), QStringLiteral("QTSR-2024-02-0001|2024-02-11|1|0"));

    deleted(52, 7);
    EXPECT_EQ(row(52, 7), QString());
    deleted(52, 7); // a note deleted twice is not an error
    EXPECT_EQ(rows(), 2);
}

TEST_F(PrintRegister, OddButValidCallsAreAccepted)
{
    // A quote in the number is doubled by the caller; a missing maker leaves the call without its last value.
    books->run(QStringLiteral("exec usrprocnoteprintabth_insert 4, 12,'CG''01','2024-02-10 00:00:00',"));
    EXPECT_EQ(row(4, 12), QStringLiteral("CG'01|2024-02-10|NULL|0"));
    // A print of a note the register never saw starts its count; numbers quoted as text are still numbers.
    printed(14, 99);
    books->run(QStringLiteral("exec usrprocnoteprintabth_update '14', '99'"));
    EXPECT_EQ(row(14, 99).section(u'|', 3), QStringLiteral("2"));
}

TEST_F(PrintRegister, BadCallsRaiseClearErrorsAndWriteNothing)
{
    const QString fewer = failure(QStringLiteral("exec usrprocnoteprintabth_insert 52, 7,'X'"));
    EXPECT_TRUE(fewer.contains(QStringLiteral("usrprocnoteprintabth_insert"))) << fewer.toStdString();
    EXPECT_TRUE(fewer.contains(QStringLiteral("给出了 3 个"))) << fewer.toStdString();
    EXPECT_TRUE(failure(QStringLiteral("exec usrprocnoteprintabth_insert 52, 7,'X','2024-02-10',1,9"))
                    .contains(QStringLiteral("给出了 6 个")));
    EXPECT_TRUE(failure(QStringLiteral("exec usrprocnoteprintabth_delete 52"))
                    .contains(QStringLiteral("usrprocnoteprintabth_delete 需要 2 个参数")));
    EXPECT_TRUE(failure(QStringLiteral("exec usrprocnoteprintabth_update 52, 7, 1"))
                    .contains(QStringLiteral("usrprocnoteprintabth_update 需要 2 个参数")));

    const QString word = failure(QStringLiteral("exec usrprocnoteprintabth_insert 52, abc,'X','2024-02-10',1"));
    EXPECT_TRUE(word.contains(QStringLiteral("单据ID 必须是整数"))) << word.toStdString();
    EXPECT_TRUE(word.contains(QStringLiteral("'abc'")));
    EXPECT_TRUE(failure(QStringLiteral("exec usrprocnoteprintabth_update 52, '7x'")).contains(QStringLiteral("单据ID 必须是整数")));
    EXPECT_TRUE(failure(QStringLiteral("exec usrprocnoteprintabth_delete 5.5, 7")).contains(QStringLiteral("单据类型 必须是整数")));
    EXPECT_TRUE(failure(QStringLiteral("exec usrprocnoteprintabth_insert 52, 7,'X','2024-02-10',zhang"))
                    .contains(QStringLiteral("制单人 必须是整数")));
    EXPECT_TRUE(failure(QStringLiteral("exec usrprocnoteprintabth_insert 52, 7,'X','2024-13-45',1"))
                    .contains(QStringLiteral("不是有效的日期")));
    EXPECT_EQ(rows(), 0);
}

TEST_F(PrintRegister, FollowsTheCallersTransaction)
{
    books->beginTran();
    saved(52, 1, QStringLiteral("A"), QStringLiteral("2024-02-10"), QStringLiteral("1"));
    EXPECT_EQ(rows(), 1);
    books->rollbackTran();
    EXPECT_EQ(rows(), 0);

    books->beginTran();
    saved(52, 1, QStringLiteral("A"), QStringLiteral("2024-02-10"), QStringLiteral("1"));
    books->commitTran();
    books->beginTran();
    printed(52, 1);
    deleted(52, 1);
    books->rollbackTran();
    EXPECT_EQ(row(52, 1), QStringLiteral("A|2024-02-10|1|0"));
}

// The framework inserts message rows positionally, so the column order matters.
TEST_F(PrintRegister, NoteMessageTablesTakeTheFrameworksStatements)
{
    const auto columns = [&](const QString &table) {
        QStringList names;
        for (const auto &r : books->select(QStringLiteral("pragma table_info(%1)").arg(table)).rows)
            names << r[1].toString().toUpper();
        return names;
    };
    EXPECT_EQ(columns(QStringLiteral("notemsginfth")),
              (QStringList{"MSGID", "MSG", "FROMNOTETYPE", "FROMNOTEID", "SENDTIME", "FROMUSERID"}));
    EXPECT_EQ(columns(QStringLiteral("notemsginfthdetail")), (QStringList{"MSGID", "TOUSERID", "ISREAD"}));

    const QDateTime sent(QDate(2024, 2, 10), QTime(10, 15, 0));
    for (int id : {1, 2}) {
        books->exec(QStringLiteral("Insert into notemsginfth values (:iMsgId, :asMsg, :inoteType, :inoteID, :dnoteDate, :iUserId)"),
                    {{QStringLiteral("iMsgId"), id},
                     {QStringLiteral("asMsg"), QStringLiteral("费用开支[FYKZ-2024-02-0001]已制作,请审核.")},
                     {QStringLiteral("inoteType"), 52},
                     {QStringLiteral("inoteID"), id == 1 ? 7 : 8},
                     {QStringLiteral("dnoteDate"), sent},
                     {QStringLiteral("iUserId"), 2}});
        books->exec(QStringLiteral("Insert into notemsginfthdetail values (") + QString::number(id) + QStringLiteral(", 1, 0)"));
        books->exec(QStringLiteral("Insert into notemsginfthdetail values (") + QString::number(id) + QStringLiteral(", 3, 0)"));
    }
    const db::ResultSet head = books->select(QStringLiteral("select * from notemsginfth where MSGID = 1"));
    EXPECT_EQ(head.value(0, QStringLiteral("FROMNOTETYPE")).toInt(), 52);
    EXPECT_EQ(head.value(0, QStringLiteral("FROMNOTEID")).toInt(), 7);
    EXPECT_EQ(head.value(0, QStringLiteral("FROMUSERID")).toInt(), 2);
    EXPECT_EQ(db::Database::toDateValue(head.value(0, QStringLiteral("SENDTIME"))).toDateTime(), sent);

    // A state change removes the recipients of the note's earlier messages only.
    books->exec(QStringLiteral("delete from notemsginfthDETAIL where MSGID in (select MSGID from notemsginfth where FROMNOTETYPE=52 and FROMNOTEID=7)"));
    EXPECT_EQ(books->scalar(QStringLiteral("select count(*) from notemsginfthdetail where MSGID = 1")).toInt(), 0);
    EXPECT_EQ(books->scalar(QStringLiteral("select count(*) from notemsginfthdetail where MSGID = 2")).toInt(), 2);
    EXPECT_EQ(books->scalar(QStringLiteral("select count(*) from notemsginfth")).toInt(), 2);
    // A deleted note loses its headers too.
    books->exec(QStringLiteral("delete from notemsginfth where fromnotetype=52 and  fromnoteid=7"));
    EXPECT_EQ(books->scalar(QStringLiteral("select count(*) from notemsginfth")).toInt(), 1);
}

} // namespace
