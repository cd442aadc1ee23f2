#include "PgFixture.h"

#include "notedb.h"

#include <QDate>
#include <QDateTime>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>

namespace pgtest {

QString serverAddress() { return qEnvironmentVariable("NOTE_TEST_PG"); }

namespace {

void onServer(const QString &sql)
{
    auto admin = db::Database::openPostgres(serverAddress());
    QSqlQuery q(admin->connection());
    if (!q.exec(sql))
        throw db::DbError(q.lastError().text());
}

} // namespace

ScratchDatabase::ScratchDatabase()
{
    m_name = QStringLiteral("pk_test_%1").arg(QRandomGenerator::system()->generate64(), 16, 16, QChar(u'0'));
    onServer(QStringLiteral("CREATE DATABASE %1").arg(m_name));
    m_address = testsupport::serverDatabaseAddress(m_name);
}

ScratchDatabase::~ScratchDatabase()
{
    try {
        onServer(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
    } catch (const std::exception &) {
        // the server goes with the test run anyway
    }
}

QString canonical(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return "NULL";
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong:
    case QMetaType::Bool: case QMetaType::Double: case QMetaType::Float:
        return QString::number(v.toDouble(), 'f', 6);
    case QMetaType::QDate: return v.toDate().toString("yyyy-MM-dd");
    case QMetaType::QDateTime: return v.toDateTime().toString("yyyy-MM-dd HH:mm:ss");
    default: return v.toString();
    }
}

QString canonical(const db::ResultSet &rs)
{
    QStringList lines;
    for (const auto &row : rs.rows) {
        QStringList cells;
        for (const QVariant &v : row)
            cells << canonical(v);
        lines << cells.join(u'|');
    }
    return lines.join(u'\n');
}

void TwoEngines::SetUp()
{
    PG_REQUIRED();
    m_scratch = std::make_unique<ScratchDatabase>();
    m_lite = testsupport::bareDatabase(m_folder.file("books.db"));
    m_pg = db::Database::openPostgres(m_scratch->address());
    m_pg->createSystemTables();
}

void DemoOnBoth::SetUp()
{
    PG_REQUIRED();
    notedb::install();
    m_server = std::make_unique<ScratchDatabase>();
    m_lite = testsupport::freshBooks(m_folder.file("demo.db"), true);
    m_pg = notedb::copyBooks(*m_lite, m_server->address());
}

void TwoEngines::both(const QString &tsql, const db::Params &params)
{
    m_lite->run(tsql, params);
    m_pg->run(tsql, params);
}

void expectSame(db::Database &liteBooks, db::Database &pgBooks, const QString &tsql, const db::Params &params, bool mustRun)
{
    const auto rows = [&](db::Database &d) {
        try {
            return canonical(d.select(tsql, params));
        } catch (const db::DbError &e) {
            return QStringLiteral("error: ") + e.text();
        }
    };
    const QString lite = rows(liteBooks);
    EXPECT_EQ(lite.toStdString(), rows(pgBooks).toStdString()) << tsql.toStdString();
    if (mustRun) {
        EXPECT_FALSE(lite.startsWith(QLatin1String("error: "))) << tsql.toStdString();
    }
}

void TwoEngines::expectSame(const QString &tsql, const db::Params &params)
{
    pgtest::expectSame(*m_lite, *m_pg, tsql, params, true);
}

} // namespace pgtest
