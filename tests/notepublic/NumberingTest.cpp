// New note numbers end to end on real books: the numbering rule in
// notetypelth, master rows of several periods, and the two SQL functions.

#include "NotepublicFixture.h"

#include "NumberingFunctions.h"

#include "db/PgDialect.h"

#include <QDir>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>

using namespace notepublictest;

namespace {

const QDate kMarch5(2005, 3, 5);

class NumberingTest : public NotepublicTest {
protected:
    void SetUp() override
    {
        NotepublicTest::SetUp();
        // The numbers below are the only sales: the demo's go (their postings
        // reversed), after the receipt of money that settled one of them.
        sql(QStringLiteral("update chargeath set NOTESTATE = 0 where NOTESTATE = 1"));
        sql(QStringLiteral("delete from salesth"));
        const char *const notes[][2] = {{"XS-2005-03-0012", "2005-03-02"}, {"XS-2005-03-0007", "2005-03-31 18:00:00"},
                                        {"XS-2005-03-0003", "2005-03-05"}, {"XS-2005-03-00AB", "2005-03-10"},
                                        {"XS-2005-04-0050", "2005-04-01"}, {"XS-2004-03-0099", "2004-03-05"}};
        for (int i = 0; i < 6; ++i)
            insertNote(QStringLiteral("salesth"), i + 1, QString::fromLatin1(notes[i][0]), QString::fromLatin1(notes[i][1]));
    }
};

} // namespace

TEST_F(NumberingTest, RuleChoosesPeriodDatePartsHeadSeparatorAndSerialLength)
{
    const QVariant null;
    const struct {
        QVariant head, sepa, mode;
        const char *code;
        QDate date;
        const char *expected;
    } cases[] = {
        {"XS", "-", QStringLiteral("年月"), "0000", kMarch5, "XS-2005-03-0013"},
        {"XS", "-", QStringLiteral("年月"), "0000", QDate(2005, 3, 31), "XS-2005-03-0013"}, // the 31st at 18:00 counts
        {"XS", "-", QStringLiteral("年月"), "0000", QDate(2005, 4, 30), "XS-2005-04-0051"},
        {"XS", "-", QStringLiteral("年月"), "0000", QDate(2005, 5, 1), "XS-2005-05-0001"},
        {"XS", "-", QStringLiteral("年月"), "0000", QDate(2004, 3, 1), "XS-2004-03-0100"},
        {"XS", "-", QStringLiteral("年"), "0000", kMarch5, "XS-2005-0051"}, // the year holds 50 in April
        {"XS", "-", QStringLiteral("月年"), "0000", kMarch5, "XS-03-2005-0013"},
        {"XS", "-", QStringLiteral("年月日"), "0000", kMarch5, "XS-2005-03-05-0004"}, // only 5 March counts
        {"XS", "-", QStringLiteral("月日年"), "0000", kMarch5, "XS-03-05-2005-0004"},
        {"XS", "-", QString(""), "0000", kMarch5, "XS-0100"}, // no date part: one series over all notes
        {"XS", "-", null, "0000", kMarch5, "XS-0100"},        // a null mode is an empty one
        {"", "-", QStringLiteral("年月"), "0000", kMarch5, "2005-03-0013"},
        {null, "-", QString(""), "0000", kMarch5, "0100"}, // the serial alone
        {"XS", null, QStringLiteral("年月"), "0000", kMarch5, "XS2005030013"},
        {"XS", "/", QStringLiteral("年月日"), "0000", kMarch5, "XS/2005/03/05/0004"},
        // The serial is read from as many trailing characters as the rule's
        // length: two gives 12, 07, 03 -> 13; six finds no serial ("3-0012") -> 1.
        {"XS", "-", QStringLiteral("年月"), "00", kMarch5, "XS-2005-03-13"},
        {"XS", "-", QStringLiteral("年月"), "000000", kMarch5, "XS-2005-03-000001"},
        {"XS", "-", QStringLiteral("年"), "0", QDate(2004, 1, 1), "XS-2004-0"}, // a wider serial keeps its last digit
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.expected);
        setRule(14, c.head, c.sepa, c.mode, c.code);
        EXPECT_EQ(NewNoteCode(14, c.date), QString::fromUtf8(c.expected));
    }
    EXPECT_EQ(NoteTypeMasterTable(14), QStringLiteral("salesth"));

    // The generated number counts once it is saved.
    setRule(14, "XS", "-", QStringLiteral("年月"), "0000");
    insertNote(QStringLiteral("salesth"), 7, NewNoteCode(14, kMarch5), QStringLiteral("2005-03-06"));
    EXPECT_EQ(NewNoteCode(14, kMarch5), QStringLiteral("XS-2005-03-0014"));
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(NumberingTest, RuleAndTableProblems)
{
    // No numbering rule for the type: no number, nothing shown.
    EXPECT_EQ(NewNoteCode(98, kMarch5), QString());
    EXPECT_TRUE(errors().isEmpty());

    // A type without a master table cannot be numbered unless the form names its table.
    EXPECT_EQ(NewNoteCode(5, kMarch5), QString());
    ASSERT_EQ(errors().size(), 1);
    EXPECT_EQ(errors().first(), QStringLiteral("单据类型[5]没有对应的主表,无法生成单据号."));
    setRule(5, "SG", "-", QStringLiteral("年月"), "0000");
    EXPECT_EQ(NewNoteCode(5, kMarch5, QStringLiteral("salesth")), QStringLiteral("SG-2005-03-0013"));

    // A database error is shown with the database's text; the caller gets no number.
    m_messages.clear();
    EXPECT_EQ(NewNoteCode(14, kMarch5, QStringLiteral("nosuchmaster")), QString());
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors().first().contains(QStringLiteral("nosuchmaster"), Qt::CaseInsensitive)) << errors().first().toStdString();
}

TEST_F(NumberingTest, SerialFunctionReadsTrailingDigitsOnly)
{
    const std::pair<const char *, QVariant> cases[] = {
        {"dbo.funcdefCodeToSerialNo('XS-2005-03-0013', 4)", 13},
        {"funcdefCodeToSerialNo('XS20050313', 6)", 50313},
        {"dbo.funcdefCodeToSerialNo('12', 4)", 12},
        {"funcdefCodeToSerialNo('XS-2005-03-0013', 7)", QVariant()}, // "03-0013"
        {"dbo.funcdefCodeToSerialNo('XS-2005-03-0013', 8)", QVariant()},
        {"dbo.funcdefCodeToSerialNo('XS-2005-03-00A3', 4)", QVariant()},
        {"dbo.funcdefCodeToSerialNo('0013 ', 4)", QVariant()},
        {"dbo.funcdefCodeToSerialNo(NULL, 4)", QVariant()},
        {"dbo.funcdefCodeToSerialNo('0013', 0)", QVariant()},
        {"Max(dbo.funcdefCodeToSerialNo(noteCode,4)) from salesth", 99},
    };
    for (const auto &[call, serial] : cases) {
        const QVariant v = scalar(QStringLiteral("select ") + QString::fromLatin1(call));
        EXPECT_EQ(v.isNull() ? QVariant() : QVariant(v.toLongLong()), serial.isNull() ? QVariant() : QVariant(serial.toLongLong())) << call;
    }
    EXPECT_EQ(notedb::codeToSerialNo(QStringLiteral("A-000000000000123"), 15).toLongLong(), 123);
    EXPECT_TRUE(notedb::codeToSerialNo(QStringLiteral("１２３"), 3).isNull()); // full-width digits are not digits
}

TEST_F(NumberingTest, DateFunctionComparesPeriods)
{
    const struct {
        const char *format;
        const char *noteDate;
        const char *date;
        int same;
    } cases[] = {
        {"yyyymm", "2005-03-31", "03/05/2005", 1},
        {"yyyymm", "2005-04-01", "03/05/2005", 0},
        {"yyyymm", "2004-03-05", "03/05/2005", 0},
        {"yyyymm", "2005-03-01 00:00:00", "3/5/2005", 1},
        {"yyyy", "2005-12-31 23:59:59", "03/05/2005", 1},
        {"yyyy", "2004-12-31", "01/01/2005", 0},
        {"yyyymmdd", "2005-03-05 23:59:59", "03/05/2005", 1},
        {"yyyymmdd", "2005-03-06", "03/05/2005", 0},
        {"YYYYMM", "2005-03-20", "03/05/2005", 1},
        {"", "1999-01-01", "03/05/2005", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.noteDate);
        EXPECT_EQ(scalar(QStringLiteral("select Dbo.funcdefDateComp('%1','%2','%3')")
                             .arg(QString::fromUtf8(c.format), QString::fromUtf8(c.noteDate), QString::fromUtf8(c.date)))
                      .toInt(),
                  c.same);
    }
    EXPECT_EQ(scalar("select dbo.funcdefDateComp('yyyymm', NULL, '03/05/2005')").toInt(), 0);
    EXPECT_EQ(scalar("select count(*) from salesth where dbo.funcdefDateComp('yyyymm',noteDate,'03/05/2005')>0").toInt(), 4);
    EXPECT_THROW(scalar("select dbo.funcdefDateComp('mmyyyy', '2005-03-01', '03/05/2005')"), db::DbError);
    EXPECT_THROW(scalar("select dbo.funcdefDateComp('yyyymm', '2005-03-01', 'not a date')"), db::DbError);
}

TEST_F(NumberingTest, ReservedNumbersSkipReservedAndSavedOnesAndFollowTheCaller)
{
    setRule(14, "XS", "-", QStringLiteral("年月"), "0000");
    // A saved note already holds the next serial's number under another date.
    insertNote(QStringLiteral("salesth"), 8, QStringLiteral("XS-2005-03-0013"), QStringLiteral("2005-02-28"));
    EXPECT_EQ(ReserveNoteCode(14, kMarch5), QStringLiteral("XS-2005-03-0014"));
    EXPECT_EQ(ReserveNoteCode(14, kMarch5), QStringLiteral("XS-2005-03-0015"));
    // A released number is handed out again.
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from notecodereserveth where NOTETYPE=14")).toInt(), 2);
    ReleaseNoteCode(14, QStringLiteral("XS-2005-03-0014"));
    ReleaseNoteCode(14, QString());
    EXPECT_EQ(ReserveNoteCode(14, kMarch5), QStringLiteral("XS-2005-03-0014"));

    // Inside the caller's transaction the reservation goes with its rollback.
    BeginTran();
    EXPECT_EQ(ReserveNoteCode(14, kMarch5), QStringLiteral("XS-2005-03-0016"));
    EXPECT_TRUE(InTransaction());
    RollbackTran();
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from notecodereserveth where NOTECODE='XS-2005-03-0016'")).toInt(), 0);

    // No rule: nothing reserved, no transaction left open.
    sql(QStringLiteral("delete from notetypelth where ID=14"));
    EXPECT_EQ(ReserveNoteCode(14, kMarch5), QString());
    EXPECT_FALSE(InTransaction());
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from notecodereserveth")).toInt(), 2);

    EXPECT_TRUE(NoteCodeUsed(QStringLiteral("salesth"), QStringLiteral("NOTEID"), 1, QStringLiteral("XS-2005-03-0013")));
    EXPECT_FALSE(NoteCodeUsed(QStringLiteral("salesth"), QStringLiteral("NOTEID"), 8, QStringLiteral("XS-2005-03-0013")));
    EXPECT_FALSE(NoteCodeUsed(QStringLiteral("salesth"), QStringLiteral("NOTEID"), 1, QStringLiteral("O'Brien")));
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}

TEST_F(NumberingTest, NumbersReservedByAClientThatIsGoneAreTakenAgain)
{
    setRule(14, "XS", "-", QStringLiteral("年月"), "0000");
    // Another client reserves the next number and keeps running; a row of an
    // older build (no client id) stays too.
    sql(QStringLiteral("insert into notecodereserveth (NOTETYPE, NOTECODE, OPERATEID) values (14, 'XS-2005-03-0014', 1)"));
    QProcess child;
    child.start(QDir(testsupport::binDir()).filePath(QStringLiteral("dbchild")),
                {QStringLiteral("reserve"), database().path(), QStringLiteral("14"), QStringLiteral("XS-2005-03-0013")});
    ASSERT_TRUE(child.waitForStarted());
    ASSERT_TRUE(child.waitForReadyRead(20000));
    ASSERT_EQ(QString::fromUtf8(child.readLine()).trimmed(), QStringLiteral("reserved"));
    EXPECT_EQ(ReserveNoteCode(14, kMarch5), QStringLiteral("XS-2005-03-0015"));
    ReleaseNoteCode(14, QStringLiteral("XS-2005-03-0015"));

    // Killed with the note open: its number goes to the next note, and only its rows go.
    const QString childId =
        scalar(QStringLiteral("select CLIENTID from notecodereserveth where NOTECODE='XS-2005-03-0013'")).toString();
    child.kill();
    child.waitForFinished();
    if (database().isPostgres()) {
        // The server ends the dead client's session (and its client lock) once it
        // notices; taking that lock on another connection waits for it.
        auto waiter = testsupport::openAgain(database());
        QSqlQuery q(waiter->connection());
        const qint64 key = db::pgLockKey((QStringLiteral("CLIENT_") + childId).toUpper());
        ASSERT_TRUE(q.exec(QStringLiteral("set lock_timeout = '60s'")));
        ASSERT_TRUE(q.exec(QStringLiteral("select pg_advisory_lock(%1)").arg(key))) << q.lastError().text().toStdString();
        q.exec(QStringLiteral("select pg_advisory_unlock(%1)").arg(key));
    }
    EXPECT_EQ(ReserveNoteCode(14, kMarch5), QStringLiteral("XS-2005-03-0013"));
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from notecodereserveth where NOTECODE='XS-2005-03-0014'")).toInt(), 1);
    EXPECT_EQ(scalar(QStringLiteral("select CLIENTID from notecodereserveth where NOTECODE='XS-2005-03-0013'")).toString(),
              database().clientId());
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
}
