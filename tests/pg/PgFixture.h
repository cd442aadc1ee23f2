#pragma once
// Books on both engines side by side: an SQLite file and a fresh database on
// the PostgreSQL server named by NOTE_TEST_PG (scripts/test starts one). A test
// runs the same T-SQL on both and compares what comes back.

#include "TestSupport.h"

#include "db/Database.h"

#include <gtest/gtest.h>

#include <memory>

namespace pgtest {

// NOTE_TEST_PG, or empty when the tests run without a server.
QString serverAddress();

// Creates an empty database on the server and drops it again (its sessions
// ended first) when it goes.
class ScratchDatabase {
public:
    ScratchDatabase();
    ~ScratchDatabase();
    QString address() const { return m_address; }
    QString name() const { return m_name; }

private:
    QString m_name;
    QString m_address;
};

// Text of a value for comparing engines: numbers by value (6 places), dates
// as yyyy-MM-dd[ HH:mm:ss], NULL as "NULL".
QString canonical(const QVariant &v);
// All rows of a result, one line per row, cells joined by '|'.
QString canonical(const db::ResultSet &rs);

// The statement's rows on the two books must match (failures compared by text);
// with `mustRun`, the statement must also run on the first.
void expectSame(db::Database &lite, db::Database &pg, const QString &tsql, const db::Params &params = {},
                bool mustRun = false);

class TwoEngines : public ::testing::Test {
protected:
    void SetUp() override;
    // Runs the same statement on both engines.
    void both(const QString &tsql, const db::Params &params = {});
    // The statement's rows on SQLite and on PostgreSQL must match.
    void expectSame(const QString &tsql, const db::Params &params = {});

    testsupport::TempFolder m_folder;
    std::unique_ptr<ScratchDatabase> m_scratch;
    std::unique_ptr<db::Database> m_lite;
    std::unique_ptr<db::Database> m_pg;
};

// The demo company in an SQLite file and copied to a fresh database on the
// server (as `notectl copy` does): the same books on both engines.
class DemoOnBoth : public ::testing::Test {
protected:
    void SetUp() override;

    testsupport::TempFolder m_folder;
    std::unique_ptr<ScratchDatabase> m_server;
    std::unique_ptr<db::Database> m_lite;
    std::unique_ptr<db::Database> m_pg;
};

} // namespace pgtest

// Skips the test when no server was given.
#define PG_REQUIRED()                                                                              \
    if (pgtest::serverAddress().isEmpty())                                                         \
    GTEST_SKIP() << "NOTE_TEST_PG is not set: no PostgreSQL server to test against "              \
                    "(scripts/test starts one with scripts/pg-scratch)"
