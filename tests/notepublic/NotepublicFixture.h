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

using testsupport::ensureApplication;

class NotepublicTest : public testsupport::SessionTest {
protected:
    void SetUp() override;

    // Inserts a master row; other required columns of a real master table get 0.
    void insertNote(const QString &table, qint64 id, const QString &code, const QString &date);
    void setRule(int noteType, const QVariant &head, const QVariant &sepa, const QVariant &mode, const QVariant &code);
};

} // namespace notepublictest
