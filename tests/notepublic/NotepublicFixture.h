#pragma once
// Fixture of the shared-routine tests: fresh demo books (with the numbering
// functions installed) on the start-up connection, the program's folder in a
// private temporary folder, scripted messages and windows.

#include "Notepublic.h"
#include "Pub.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace notepublictest {

void ensureApplication();

class NotepublicTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    db::Database &database() { return *m_db; }
    void sql(const QString &text, const db::Params &params = {}) { m_db->exec(text, params); }
    // Makes sure a note master table exists (a minimal one when the schema
    // does not have it yet).
    void ensureMasterTable(const QString &table);
    // Inserts a master row; other required columns of a real master table get 0.
    void insertNote(const QString &table, qint64 id, const QString &code, const QString &date);
    void setRule(int noteType, const QVariant &head, const QVariant &sepa, const QVariant &mode, const QVariant &code);
    void setParam(int id, const QString &name, const QVariant &value);
    QStringList errors() const { return m_messages.texts(pub::MessageKind::Error); }

    testsupport::TempFolder m_folder;
    std::unique_ptr<db::Database> m_db;
    pub::ScriptedMessageService m_messages;
    pub::ScriptedModalService m_modal;
};

} // namespace notepublictest
