#include "TestSupport.h"

#include "notedb.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace testsupport {

TempFolder::TempFolder() : m_dir(QDir::temp().filePath(QStringLiteral("pk_note_test-XXXXXX"))) {}

std::unique_ptr<db::Database> bareDatabase(const QString &path)
{
    return db::Database::openSqlite(path, true);
}

std::unique_ptr<db::Database> freshBooks(const QString &path, bool demo)
{
    notedb::install();
    return notedb::createBooks(path, demo, true);
}

QString binDir()
{
    const QByteArray env = qgetenv("PK_NOTE_BIN");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    // Test programs are built beside the programs and libraries they drive.
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

QString sourceDir()
{
    const QByteArray env = qgetenv("PK_NOTE_SOURCE");
    return env.isEmpty() ? QStringLiteral(PK_NOTE_SOURCE_DIR) : QString::fromLocal8Bit(env);
}

RunResult runProgram(const QString &program, const QStringList &args, const QByteArray &input, int timeoutMs)
{
    QString exe = program;
    if (!program.contains(u'/')) {
        const QString local = QDir(binDir()).filePath(program);
        if (QFileInfo::exists(local))
            exe = local;
    }
    QProcess p;
    p.start(exe, args);
    RunResult r;
    if (!p.waitForStarted(10000)) {
        r.err = QStringLiteral("cannot start ") + exe;
        return r;
    }
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace testsupport
