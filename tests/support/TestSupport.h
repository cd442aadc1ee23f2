#pragma once
// Fixtures shared by the test programs: fresh books in a private temporary folder,
// and running our own executables from the outside.

#include "db/Database.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

// A private temporary folder removed when the object dies.
class TempFolder {
public:
    TempFolder();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

// A fresh database with only the layer's own tables.
std::unique_ptr<db::Database> bareDatabase(const QString &path);
// Fresh books with the real schema, and the demo company when `demo`.
std::unique_ptr<db::Database> freshBooks(const QString &path, bool demo = false);

// The folder holding our built programs and libraries.
QString binDir();
QString sourceDir();

struct RunResult {
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs one of our programs (by name in binDir) or any program with `args`.
RunResult runProgram(const QString &program, const QStringList &args, const QByteArray &input = {},
                     int timeoutMs = 60000);

} // namespace testsupport
