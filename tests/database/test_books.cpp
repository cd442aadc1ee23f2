// Creating and opening books: the schema scripts, the marker, refusing and
// replacing files, and what is left behind when creation fails.

#include "TestSupport.h"

#include "notedb.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

using db::DbError;

namespace {

using testsupport::refusal;

void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(SplitStatements, KeepsLiteralsCommentsAndTriggerBodiesIntact)
{
    const QString script = QStringLiteral(
        "-- leading comment; with a semicolon\n"
        "create table a (X varchar(10) default 'x;y');\n"
        "/* block; comment */ insert into a values ('it''s; fine');\n"
        "create trigger tr after insert on a begin insert into b values (1); update b set c = 2; end;\n"
        "select \"odd;name\" from a;;  \n   ");
    const QStringList parts = notedb::splitStatements(script);
    ASSERT_EQ(parts.size(), 4) << parts.join("\n|\n").toStdString();
    EXPECT_EQ(parts[0], "create table a (X varchar(10) default 'x;y')");
    EXPECT_EQ(parts[1], "insert into a values ('it''s; fine')");
    EXPECT_TRUE(parts[2].startsWith("create trigger tr"));
    EXPECT_TRUE(parts[2].endsWith("update b set c = 2; end"));
    EXPECT_EQ(parts[3], "select \"odd;name\" from a");
    EXPECT_TRUE(notedb::splitStatements("  -- only a comment\n").isEmpty());
}

TEST(Schema, CreatesTheTablesAndMarksTheFileAndEnsuredKeysOnlyRise)
{
    testsupport::TempFolder folder;
    auto d = testsupport::bareDatabase(folder.file("schema.db"));
    EXPECT_FALSE(d->isOurs());
    ASSERT_GE(notedb::schemaFiles().size(), 3);
    notedb::createSchema(*d);
    EXPECT_TRUE(d->isOurs());
    EXPECT_EQ(d->scalar("select VERSION from sys_books").toInt(), notedb::kSchemaVersion);
    // The tables the documents read are proved by their statements on the demo books.
    // An empty schema starts every key at 1, for master data and documents alike.
    EXPECT_EQ(d->newKey("notemsginfth"), 1);
    EXPECT_EQ(d->newKey("partnerlth"), 1);
    EXPECT_EQ(d->newKey("purchasepth"), 1);
    EXPECT_EQ(d->newKey("purchasepth"), 2);
    EXPECT_EQ(d->scalar("select count(*) from operatormth").toInt(), 0);

    notedb::ensureKey(*d, "widgetth", 40);
    notedb::ensureKey(*d, "widgetth", 10); // lower: ignored
    notedb::ensureKey(*d, "widgetth");
    EXPECT_EQ(d->newKey("widgetth"), 41);
    notedb::ensureKey(*d, "widgetth", 100);
    EXPECT_EQ(d->newKey("widgetth"), 101);
}

TEST(Schema, FailureHalfWayRollsEverythingBack)
{
    testsupport::TempFolder folder;
    auto d = testsupport::bareDatabase(folder.file("clash.db"));
    // A table of the second script already exists, so that script fails after the first one ran.
    d->exec("create table storelth (X integer)");
    const QString error = refusal([&] { notedb::createSchema(*d); });
    EXPECT_TRUE(error.contains("10_masterdata.sql")) << error.toStdString();
    EXPECT_TRUE(error.contains("storelth")) << error.toStdString();
    EXPECT_FALSE(d->inTransaction());
    EXPECT_EQ(d->scalar("select count(*) from sqlite_master where lower(name) in ('operatormth', 'partnerlth')").toInt(), 0);
    EXPECT_FALSE(d->isOurs());
}

TEST(OpenBooks, RefusesMissingForeignUnreadableAndNewerFiles)
{
    testsupport::TempFolder folder;
    const QString missing = folder.file("nothere.db");
    const QString text = folder.file("notes.txt");
    writeFile(text, "这不是数据库\nplain text\n");
    const QString empty = folder.file("empty.db");
    writeFile(empty, QByteArray());
    // A real SQLite file of some other program.
    const QString foreign = folder.file("other.sqlite");
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "foreign");
        other.setDatabaseName(foreign);
        ASSERT_TRUE(other.open());
        QSqlQuery q(other);
        ASSERT_TRUE(q.exec("create table customers (id integer, name text)"));
        ASSERT_TRUE(q.exec("insert into customers values (1, 'x')"));
        other.close();
    }
    QSqlDatabase::removeDatabase("foreign");

    const struct {
        QString path;
        QString says;
        bool named; // the message names the file
    } cases[] = {
        {missing, "数据库文件不存在", true},
        {text, "不是本系统的帐套文件", true},
        {empty, "不是本系统的帐套文件", false},
        {foreign, "不是本系统的帐套文件", true},
        {folder.path(), "目录", false},
    };
    for (const auto &c : cases) {
        const QString error = refusal([&] { notedb::openBooks(c.path); });
        EXPECT_TRUE(error.contains(c.says)) << error.toStdString();
        EXPECT_TRUE(!c.named || error.contains(c.path)) << error.toStdString();
    }
    // (That opening a missing file names notectl init and creates nothing: test_app's notectl sql.)
    EXPECT_EQ(readFile(text), QByteArray("这不是数据库\nplain text\n"));

    const QString locked = folder.file("locked.db");
    notedb::createBooks(locked, false, false).reset();
    QFile::setPermissions(locked, QFileDevice::Permissions());
    if (!QFileInfo(locked).isReadable()) { // root reads everything; the check is moot there
        EXPECT_TRUE(refusal([&] { notedb::openBooks(locked); }).contains("无法读取"));
    }
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    notedb::openBooks(locked)->exec("update sys_books set VERSION = :v", {{"v", notedb::kSchemaVersion + 1}});
    const QString newer = refusal([&] { notedb::openBooks(locked); });
    EXPECT_TRUE(newer.contains("版本")) << newer.toStdString();
}

TEST(CreateBooks, RefusesAnExistingFileUnlessForced)
{
    testsupport::TempFolder folder;
    const QString path = folder.file("books.db");
    writeFile(path, "keep me");

    const QString error = refusal([&] { notedb::createBooks(path, true, false); });
    EXPECT_TRUE(error.contains("已存在") && error.contains(path)) << error.toStdString();
    EXPECT_EQ(readFile(path), QByteArray("keep me"));

    auto d = notedb::createBooks(path, true, true);
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->isOurs());
    EXPECT_GT(d->scalar("select count(*) from Commoditylth").toInt(), 0);
    EXPECT_FALSE(QFileInfo::exists(path + ".creating"));
    // (Forcing over real books, whose rows then go: test_app's notectl init.)
}

TEST(CreateBooks, FailureMidwayOrABadDateLeavesNoBooksAndKeepsTheOldOnes)
{
    testsupport::TempFolder folder;
    const QString path = folder.file("new.db");
    EXPECT_FALSE(refusal([&] { notedb::createBooks(path, true, false, QDate()); }).isEmpty()); // no date for the demo
    EXPECT_FALSE(QFileInfo::exists(path));
    bool reached = false;
    const auto failLate = [&](db::Database &d) {
        // Schema and demo are written by now; the failure must undo them all.
        reached = d.scalar("select count(*) from partnerlth").toInt() > 0;
        throw DbError("磁盘已满");
    };
    QString error = refusal([&] { notedb::createBooks(path, true, false, QDate(2024, 5, 6), failLate); });
    EXPECT_TRUE(reached);
    EXPECT_EQ(error, "磁盘已满");
    EXPECT_FALSE(QFileInfo::exists(path));
    for (const char *suffix : {".creating", ".creating-wal", ".creating-shm", "-wal", "-shm"})
        EXPECT_FALSE(QFileInfo::exists(path + QLatin1String(suffix))) << suffix;

    // Forcing over existing books and failing keeps the existing books as they were.
    notedb::createBooks(path, true, false, QDate(2024, 5, 6)).reset();
    notedb::openBooks(path)->exec("update sysparamamth set DATAVALUE = 'mine' where PARAMNAME = 'CompanyName'");
    error = refusal([&] { notedb::createBooks(path, false, true, QDate(2025, 1, 1), failLate); });
    EXPECT_EQ(error, "磁盘已满");
    auto kept = notedb::openBooks(path);
    EXPECT_EQ(kept->scalar("select DATAVALUE from sysparamamth where PARAMNAME = 'CompanyName'").toString(), "mine");
    EXPECT_EQ(kept->scalar("select DATAVALUE from sysparamamth where PARAMID = 3002").toString(), "2024");
}

} // namespace
