#include "db/NamedLock.h"

#include "db/Database.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace db {

QString NamedLock::lockPath(const QString &databasePath, const QString &name)
{
    QString safe;
    for (QChar c : name.toUpper())
        safe += (c.isLetterOrNumber() || c == u'_') ? c : QChar(u'_');
    if (databasePath.isEmpty() || databasePath == QLatin1String(":memory:"))
        return QDir::temp().filePath(QStringLiteral("pk_note-%1-%2.lock").arg(QCoreApplication::applicationPid()).arg(safe));
    return QFileInfo(databasePath).absoluteFilePath() + QStringLiteral(".") + safe + QStringLiteral(".lock");
}

int NamedLock::tryTake(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        throw DbError(QStringLiteral("无法打开锁文件 %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    // flock locks belong to the open file description, so a second take in the
    // same process is refused just like one from another process.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void NamedLock::release(int fd)
{
    if (fd < 0)
        return;
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

} // namespace db
