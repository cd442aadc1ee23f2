#include "TestSupport.h"

#include "data/ClientDataSet.h"
#include "data/Field.h"
#include "notedb.h"

#include <QApplication>
#include <QDateTime>
#include <QCoreApplication>
#include <QMutex>
#include <QSqlError>
#include <QSqlQuery>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include <cmath>
#include <cstdlib>

namespace testsupport {

TempFolder::TempFolder() : m_dir(QDir::temp().filePath(QStringLiteral("pk_note_test-XXXXXX"))) {}

std::unique_ptr<db::Database> bareDatabase(const QString &path)
{
    return db::Database::openSqlite(path, true);
}

namespace {

// Books on the server: one template per kind (empty or demo) built on first
// use, each test's books a clone of it. Clones are dropped as soon as no
// client is connected to them, the rest when the program ends.
class ServerBooks {
public:
    static ServerBooks &instance()
    {
        static ServerBooks *s = new ServerBooks; // never destroyed: dropAll runs at exit
        return *s;
    }

    std::unique_ptr<db::Database> create(bool demo)
    {
        QMutexLocker lock(&m_mutex);
        dropUnused();
        QString &tpl = m_templates[demo ? 1 : 0];
        if (tpl.isEmpty()) {
            const QString name = uniqueName(QStringLiteral("tpl"));
            onServer(QStringLiteral("CREATE DATABASE %1").arg(name));
            m_made << name;
            // The demo is built on SQLite and copied over as `notectl copy` does:
            // its opening stock is posted by the engine, which the copy does not rerun.
            if (demo) {
                TempFolder folder;
                auto lite = notedb::createBooks(folder.file(QStringLiteral("demo.db")), true, false);
                notedb::copyBooks(*lite, serverDatabaseAddress(name)).reset(); // no session may stay on a template
            } else {
                notedb::createBooks(serverDatabaseAddress(name), false, false).reset();
            }
            tpl = name;
        }
        const QString name = uniqueName(QStringLiteral("t"));
        onServer(QStringLiteral("CREATE DATABASE %1 TEMPLATE %2").arg(name, tpl));
        m_made << name;
        m_clones << name;
        return notedb::openBooks(serverDatabaseAddress(name));
    }

private:
    QString uniqueName(const QString &kind)
    {
        return QStringLiteral("pk_%1_%2_%3").arg(kind).arg(QCoreApplication::applicationPid()).arg(++m_counter);
    }

    void onServer(const QString &sql)
    {
        if (!m_admin) {
            m_admin = db::Database::openPostgres(qEnvironmentVariable("NOTE_TEST_PG"));
            // Registered once Qt's SQL globals exist, so it runs before they go.
            std::atexit([] { instance().dropAll(); });
        }
        QSqlQuery q(m_admin->connection());
        if (!q.exec(sql))
            throw db::DbError(q.lastError().text() + QStringLiteral("\n") + sql);
    }

    // A clone still open somewhere is refused by the server and kept for later.
    void dropUnused()
    {
        for (auto it = m_clones.begin(); it != m_clones.end();) {
            try {
                onServer(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(*it));
                m_made.removeAll(*it);
                it = m_clones.erase(it);
            } catch (const db::DbError &) {
                ++it;
            }
        }
    }

    void dropAll()
    {
        QMutexLocker lock(&m_mutex);
        for (const QString &name : std::as_const(m_made)) {
            try {
                onServer(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
            } catch (const db::DbError &) {
                // the throw-away server goes with the run anyway
            }
        }
        m_made.clear();
        m_admin.reset();
    }

    QMutex m_mutex;
    std::unique_ptr<db::Database> m_admin;
    QString m_templates[2];
    QStringList m_made;   // everything to drop at the end
    QStringList m_clones; // test books, dropped as soon as they are free
    int m_counter = 0;
};

} // namespace

std::unique_ptr<db::Database> openAgain(const db::Database &books)
{
    return books.isPostgres() ? db::Database::openPostgres(books.path()) : db::Database::openSqlite(books.path());
}

bool booksOnServer()
{
    static const bool server = qEnvironmentVariable("NOTE_TEST_ENGINE").compare(QLatin1String("pg"), Qt::CaseInsensitive) == 0 &&
                               !qEnvironmentVariable("NOTE_TEST_PG").isEmpty();
    return server;
}

std::unique_ptr<db::Database> freshBooks(const QString &path, bool demo)
{
    notedb::install();
    if (booksOnServer())
        return ServerBooks::instance().create(demo);
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

// ---- What reached the books, read alike on both engines ----

namespace {

QString cellText(const QVariant &v)
{
    if (v.isNull())
        return {};
    switch (v.typeId()) {
    case QMetaType::Bool: return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: return QString::number(v.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        return d == 0 ? QStringLiteral("0") : QString::number(d, 'g', 15);
    }
    case QMetaType::QDate: return v.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime: {
        const QDateTime t = v.toDateTime();
        return t.time() == QTime(0, 0) ? t.date().toString(Qt::ISODate) : t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    default: return v.toString();
    }
}

QString joinRows(const db::ResultSet &rs, QString (*text)(const QVariant &), QChar cell, QChar row)
{
    QStringList rows;
    for (const auto &r : rs.rows) {
        QStringList cells;
        for (const QVariant &v : r)
            cells << text(v);
        rows << cells.join(cell);
    }
    return rows.join(row);
}

} // namespace

QString rowsOf(db::Database &books, const QString &tsql, QChar cell, QChar row)
{
    return rowsText(books.select(tsql), cell, row);
}

QString rowsText(const db::ResultSet &rs, QChar cell, QChar row) { return joinRows(rs, cellText, cell, row); }

QString rowsText(db::Database &books, const QString &sql, const db::Params &params)
{
    return rowsText(books.select(sql, params), u'|', u',');
}

QString refusal(const std::function<void()> &action)
{
    try {
        action();
    } catch (const db::DbError &e) {
        return e.text();
    }
    return {};
}

void setNoteState(db::Database &books, const QString &table, qint64 id, int from, int to)
{
    books.exec(QStringLiteral("Update %1 Set noteState=%2 where noteState=%3 and noteID=%4").arg(table).arg(to).arg(from).arg(id));
}

// ---- reading rows and windows back

QString plain(const QVariant &value)
{
    if (value.isNull())
        return {};
    bool number = false;
    const double d = value.toString().toDouble(&number);
    if (!number)
        return value.toString();
    QString s = QString::number(std::round(d * 1e4) / 1e4, 'f', 4);
    while (s.endsWith(u'0'))
        s.chop(1);
    if (s.endsWith(u'.'))
        s.chop(1);
    return s == QLatin1String("-0") ? QStringLiteral("0") : s;
}

QString joinedRows(db::Database &books, const QString &select, QChar sep, QChar rowSep)
{
    return joinRows(books.select(select), plain, sep, rowSep);
}

QStringList valuesIn(const data::ClientDataSet &rows, const char *fields, QChar sep)
{
    QList<int> columns;
    for (const QByteArray &f : QByteArray(fields).split(','))
        columns << rows.FieldByName(QString::fromLatin1(f))->Index();
    QStringList out;
    for (int r = 0; r < rows.RecordCount(); ++r) {
        QStringList values;
        for (int c : columns)
            values << rows.ValueAt(r, c).toString();
        out << values.join(sep);
    }
    return out;
}

void typeIntoFocus(const QString &text)
{
    for (const QChar c : text) {
        QWidget *focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr) << "no control has the focus";
        if (c.unicode() < 128)
            QTest::keyClicks(focus, QString(c));
        else
            QTest::sendKeyEvent(QTest::Click, focus, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

bool saveShot(QWidget *window, const QString &name)
{
    const QString dir = QDir(binDir()).absoluteFilePath(QStringLiteral("../shots"));
    QDir().mkpath(dir);
    QApplication::processEvents();
    return window->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

QString serverDatabaseAddress(const QString &name)
{
    // postgresql://user@host:port/DB?options: the database is the path.
    const QString base = qEnvironmentVariable("NOTE_TEST_PG");
    const int scheme = int(base.indexOf(QLatin1String("//")));
    const int slash = int(base.indexOf(u'/', scheme + 2));
    const int query = int(base.indexOf(u'?', slash));
    return base.left(slash + 1) + name + (query >= 0 ? base.mid(query) : QString());
}

QString errorOf(const std::function<void()> &run)
{
    try {
        run();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("(ran)");
}

void showActive(QWidget *window)
{
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window)) << window->objectName().toStdString();
}

void keyIntoFocus(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QWidget *focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr) << "no control has the focus";
    QTest::keyClick(focus, key, modifiers);
}

} // namespace testsupport
