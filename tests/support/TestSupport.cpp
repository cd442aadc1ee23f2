#include "TestSupport.h"

#include "notedb.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QWidget>

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

void ensureApplication()
{
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "pk_note_test";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives until the program ends
}

void resetHostGlobals()
{
    pub::setMessageService(nullptr);
    pub::setModalService(nullptr);
    pub::setFileDialogService(nullptr);
    SetStartupDB(nullptr);
    SetCurrentUser(0);
    SetProgramFolder(QString());
    ClearRegistrations();
    ClearLookupEditors();
    ClearLookupCaches();
    SetLockWaitMilliseconds(0);
    db::Database::setBusyHook(nullptr);
    g_bForceCloseForm = false;
    g_NewnoteTime = QDate::currentDate();
    g_asTempDirectory = QDir::tempPath();
}

void SessionTest::SetUp()
{
    ensureApplication();
    notedb::install();
    resetHostGlobals();
    m_db = freshBooks(m_folder.file(QStringLiteral("books.db")), m_demoBooks);
    SetStartupDB(m_db.get());
    SetProgramFolder(m_folder.path());
    pub::setMessageService(&m_messages);
    pub::setModalService(&m_modal);
    pub::setFileDialogService(&m_files);
    if (m_demoBooks)
        SetCurrentUser(kDemoAdmin);
    m_before = QApplication::topLevelWidgets();
}

void SessionTest::TearDown()
{
    QList<QPointer<QWidget>> left;
    for (QWidget *w : newWindows())
        if (!w->parentWidget()) // popups die with their owners
            left << w;
    for (const QPointer<QWidget> &w : left)
        delete w.data();
    resetHostGlobals();
    m_db.reset();
}

void SessionTest::setParam(int id, const QString &name, const QVariant &value)
{
    sql(QStringLiteral("delete from sysparamamth where PARAMID = :id or PARAMNAME = :n"),
        {{QStringLiteral("id"), id}, {QStringLiteral("n"), name}});
    sql(QStringLiteral("insert into sysparamamth (PARAMID, PARAMNAME, DATAVALUE) values (:id, :n, :v)"),
        {{QStringLiteral("id"), id}, {QStringLiteral("n"), name}, {QStringLiteral("v"), value}});
}

void SessionTest::setParam(const QString &name, const QVariant &value)
{
    sql(QStringLiteral("update sysparamamth set DATAVALUE = :v where PARAMNAME = :n"),
        {{QStringLiteral("v"), value}, {QStringLiteral("n"), name}});
}

void SessionTest::grant(int user, int privilegeId, std::initializer_list<int> actions)
{
    for (int a : actions)
        sql(QStringLiteral("insert into privilegemth (OPERATEID, PRIVILEGEID, ACTION) values (:u, :p, :a)"),
            {{QStringLiteral("u"), user}, {QStringLiteral("p"), privilegeId}, {QStringLiteral("a"), a}});
}

QWidgetList SessionTest::newWindows() const
{
    QWidgetList now;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (!m_before.contains(w))
            now << w;
    return now;
}

QString binDir()
{
    const QByteArray env = qgetenv("PK_NOTE_BIN");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    // Test programs are built beside the programs and libraries they drive.
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

QString pluginPath() { return QDir(binDir()).filePath(QStringLiteral("libpk_note.so")); }

Plugin &plugin()
{
    static Plugin p;
    if (!p.library.isLoaded()) {
        p.library.setFileName(pluginPath());
        if (!p.library.load())
            throw std::runtime_error(p.library.errorString().toStdString());
        p.load = reinterpret_cast<void (*)()>(p.library.resolve("noteLoad"));
        p.unload = reinterpret_cast<void (*)()>(p.library.resolve("noteUnload"));
        p.call = reinterpret_cast<GlobalFunction>(p.library.resolve("note_Call"));
    }
    return p;
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
