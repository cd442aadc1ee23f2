#pragma once
// Advisory named locks across processes: an exclusive OS file lock on a file named
// after the lock beside the books. The OS releases it when the process dies.

#include <QString>

namespace db {

class NamedLock {
public:
    // The lock file for `name` beside `databasePath` (in the temp folder for
    // an in-memory database).
    static QString lockPath(const QString &databasePath, const QString &name);
    // Tries to take the lock without waiting; returns the open descriptor, or -1
    // when another holder has it. Throws DbError when the file cannot be opened.
    static int tryTake(const QString &path);
    static void release(int fd);
};

} // namespace db
