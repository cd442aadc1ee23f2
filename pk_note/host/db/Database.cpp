#include "db/Database.h"

#include "db/BatchRunner.h"
#include "db/NamedLock.h"
#include "db/PgDialect.h"
#include "db/TsqlFunctions.h"
#include "db/TsqlTranslator.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>

#include <sqlite3.h>

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <utility>

namespace db {

DbError::DbError(const QString &text, int code, const QString &engineText)
    : std::runtime_error(text.toStdString()), m_text(text), m_code(code), m_engineText(engineText)
{
}

QString ConcurrencyError::defaultText()
{
    return QStringLiteral("本单已被其他用户修改或删除，操作没有完成。单据将重新显示为现在的内容。");
}

QString engineErrorText(int code, const QString &engineText)
{
    const char *sentence = nullptr;
    switch (code & 0xff) {
    case SQLITE_READONLY: sentence = "帐套文件是只读的，不能保存数据。请检查帐套文件及其所在文件夹的写权限。"; break;
    case SQLITE_FULL: sentence = "磁盘空间已满，数据没有保存。请腾出磁盘空间后再试。"; break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: sentence = "帐套正被其他用户使用，等待超时，数据没有保存。请稍后再试。"; break;
    case SQLITE_IOERR: sentence = "读写帐套文件时磁盘出错，数据没有保存。"; break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: sentence = "帐套文件已经损坏，请用备份恢复帐套。"; break;
    case SQLITE_CANTOPEN: sentence = "无法打开帐套文件，请检查文件是否存在及其访问权限。"; break;
    case SQLITE_PERM:
    case SQLITE_AUTH: sentence = "没有访问帐套文件的权限。"; break;
    case SQLITE_NOMEM: sentence = "内存不足，操作没有完成。"; break;
    case SQLITE_INTERRUPT: sentence = "操作被中断，数据没有保存。"; break;
    default: break;
    }
    if (!sentence)
        return engineText;
    return QString::fromUtf8(sentence) + u'\n' + engineText;
}

int ResultSet::columnIndex(const QString &name) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant ResultSet::value(int row, const QString &column) const
{
    const int c = columnIndex(column);
    if (c < 0 || row < 0 || row >= rows.size())
        return {};
    return rows[row][c];
}

QString QuotedStr(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'\'';
    for (QChar c : text) {
        if (c == u'\'')
            out += u'\'';
        out += c;
    }
    out += u'\'';
    return out;
}

// ---------------------------------------------------------------- registry

Registry &Registry::instance()
{
    static Registry registry;
    return registry;
}

void Registry::addProcedure(const QString &name, Procedure proc)
{
    m_procedures.insert(name.toUpper(), std::move(proc));
    m_readers.remove(name.toUpper());
}

void Registry::addReadingProcedure(const QString &name, Procedure proc)
{
    m_procedures.insert(name.toUpper(), std::move(proc));
    m_readers.insert(name.toUpper());
}

void Registry::addFunction(const QString &name, int argCount, SqlFunction fn)
{
    for (auto &f : m_functions)
        if (f.name.compare(name, Qt::CaseInsensitive) == 0 && f.argCount == argCount) {
            f.fn = std::move(fn);
            return;
        }
    m_functions.push_back({name, argCount, std::move(fn)});
}

void Registry::addPosting(const QString &table, PostingHandler handler) { m_postings.insert(table.toLower(), std::move(handler)); }

const Procedure *Registry::procedure(const QString &name) const
{
    auto it = m_procedures.constFind(name.toUpper());
    return it == m_procedures.constEnd() ? nullptr : &it.value();
}

const PostingHandler *Registry::posting(const QString &table) const
{
    auto it = m_postings.constFind(table.toLower());
    return it == m_postings.constEnd() ? nullptr : &it.value();
}

QStringList Registry::procedureNames() const { return m_procedures.keys(); }

// ---------------------------------------------------------------- SQL functions

namespace {

QVariant fromSqlite(sqlite3_value *v)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return QVariant(qlonglong(sqlite3_value_int64(v)));
    case SQLITE_FLOAT: return QVariant(sqlite3_value_double(v));
    case SQLITE_NULL: return QVariant();
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_value_blob(v)), sqlite3_value_bytes(v)));
    default:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_value_text(v)), sqlite3_value_bytes(v)));
    }
}

void toSqlite(sqlite3_context *ctx, const QVariant &v)
{
    if (!v.isValid() || v.isNull()) {
        sqlite3_result_null(ctx);
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        sqlite3_result_int64(ctx, v.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_result_double(ctx, v.toDouble());
        return;
    case QMetaType::QDate:
        {
            const QByteArray t = Database::dateText(v.toDate()).toUtf8();
            sqlite3_result_text(ctx, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        }
        return;
    case QMetaType::QDateTime: {
        const QByteArray t = Database::dateTimeText(v.toDateTime()).toUtf8();
        sqlite3_result_text(ctx, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        return;
    }
    default: {
        const QByteArray t = v.toString().toUtf8();
        sqlite3_result_text(ctx, t.constData(), int(t.size()), SQLITE_TRANSIENT);
    }
    }
}

void callFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    auto *fn = static_cast<SqlFunction *>(sqlite3_user_data(ctx));
    QVariantList args;
    args.reserve(argc);
    for (int i = 0; i < argc; ++i)
        args.push_back(fromSqlite(argv[i]));
    try {
        toSqlite(ctx, (*fn)(args));
    } catch (const std::exception &e) {
        sqlite3_result_error(ctx, e.what(), -1);
    }
}

// Built-in helpers our own SQL relies on.
void addBuiltins()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    Registry::instance().addFunction(QStringLiteral("concat"), -1, [](const QVariantList &args) {
        QString out;
        for (const auto &a : args)
            if (!a.isNull())
                out += a.toString();
        return QVariant(out);
    });
}

sqlite3 *handleOf(QSqlDatabase &db)
{
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(v.constData());
}

QString firstWord(const QString &sql)
{
    int i = 0;
    const int n = int(sql.size());
    for (;;) {
        while (i < n && sql[i].isSpace())
            ++i;
        if (i + 1 < n && sql[i] == u'-' && sql[i + 1] == u'-') {
            while (i < n && sql[i] != u'\n')
                ++i;
            continue;
        }
        if (i + 1 < n && sql[i] == u'/' && sql[i + 1] == u'*') {
            const int end = int(sql.indexOf(QStringLiteral("*/"), i + 2));
            i = end < 0 ? n : end + 2;
            continue;
        }
        break;
    }
    int j = i;
    while (j < n && (sql[j].isLetter() || sql[j] == u'_'))
        ++j;
    return sql.mid(i, j - i).toLower();
}

QAtomicInt connectionCounter;
Database::BusyHook s_busyHook;
int s_defaultBusyTimeoutMs = 10000;


// A number that is not finite never reaches the books: the engine would
// store it as Infinity or NULL and the accounts could not be repaired.
void refuseNonFinite(const QVariant &v)
{
    const int t = v.typeId();
    if ((t == QMetaType::Double || t == QMetaType::Float) && !std::isfinite(v.toDouble()))
        throw DbError(QStringLiteral("数值 %1 无效，不能写入数据库。").arg(v.toDouble()));
}

} // namespace

// ---------------------------------------------------------------- Database

std::unique_ptr<Database> Database::openSqlite(const QString &path, bool create, bool readOnly)
{
    addBuiltins();
    if (path != QLatin1String(":memory:")) {
        QFileInfo info(path);
        if (!create && !info.exists())
            throw DbError(QStringLiteral("数据库文件不存在: %1").arg(path));
        if (info.exists() && !info.isReadable())
            throw DbError(QStringLiteral("无法读取数据库文件: %1").arg(path));
    }
    std::unique_ptr<Database> d(new Database);
    d->m_path = path;
    d->m_connectionName = QStringLiteral("pk_note_%1").arg(connectionCounter.fetchAndAddRelaxed(1));
    d->m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), d->m_connectionName);
    d->m_db.setDatabaseName(path);
    d->m_busyTimeoutMs = s_defaultBusyTimeoutMs;
    if (readOnly)
        d->m_db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!d->m_db.open())
        throw DbError(QStringLiteral("无法打开数据库 %1: %2").arg(path, d->m_db.lastError().text()));
    d->m_translator = std::make_unique<TsqlTranslator>(TsqlTranslator::Sqlite);
    d->m_translator->setSchemaSource([db = d.get()] { return db->schemaTypes(); });
    // The first statement reads the file: a file that is not SQLite fails here,
    // and a foreign database is left exactly as it was.
    QSqlQuery q(d->m_db);
    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
        const DbError e = d->engineError(q.lastError());
        // A file that cannot be read (permissions, a read-only folder for the
        // write-ahead log, a lock) is not called "no database".
        if (e.code() != SQLITE_NOTADB && e.code() != SQLITE_CORRUPT && e.code() != SQLITE_ERROR && e.code() != 0)
            throw DbError(QStringLiteral("无法打开数据库 %1: %2").arg(path, e.text()), e.code(), e.engineText());
        throw DbError(QStringLiteral("%1 不是有效的数据库文件: %2").arg(path, e.engineText()), SQLITE_NOTADB, e.engineText());
    }
    d->installFunctions();
    if (!readOnly && (create || d->isOurs())) {
        q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    }
    if (create)
        d->createSystemTables();
    return d;
}

Database::~Database()
{
    // On the server, locks and the client's registration end with the session.
    if (!m_clientId.isEmpty() && !isPostgres())
        QFile::remove(NamedLock::lockPath(m_path, QStringLiteral("CLIENT_") + m_clientId));
    if (!isPostgres()) {
        for (int fd : std::as_const(m_lockFds))
            NamedLock::release(fd);
    } else if (!m_lockFds.isEmpty() || !m_clientId.isEmpty()) {
        // The server would drop them with the session too, but only once it
        // has seen the session end; a client that closes gives them back now.
        QSqlQuery q(m_db);
        q.exec(QStringLiteral("SELECT pg_advisory_unlock_all()"));
    }
    if (m_tranDepth > 0) {
        QSqlQuery q(m_db);
        q.exec(QStringLiteral("ROLLBACK"));
    }
    dropStatements();
    m_closing = true; // the session's end takes the server's statements with it
    m_keptStatements.clear();
    m_keptReads.clear();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
    if (!m_keyConnectionName.isEmpty()) {
        QSqlDatabase::database(m_keyConnectionName, false).close();
        QSqlDatabase::removeDatabase(m_keyConnectionName);
        m_keyStatements.clear();
        m_keyAhead.clear();
    }
}

void Database::installFunctions()
{
    sqlite3 *h = handleOf(m_db);
    if (!h)
        throw DbError(QStringLiteral("SQLite handle unavailable"));
    // A misspelt "name" must fail instead of reading as a string literal.
    sqlite3_db_config(h, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(h, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    if (!installTsqlSupport(h))
        throw DbError(QStringLiteral("SQLite: %1").arg(QString::fromUtf8(sqlite3_errmsg(h))));
    for (const auto &f : Registry::instance().functions()) {
        const QByteArray name = f.name.toUtf8();
        sqlite3_create_function_v2(h, name.constData(), f.argCount, SQLITE_UTF8, const_cast<SqlFunction *>(&f.fn),
                                   callFunction, nullptr, nullptr, nullptr);
    }
    sqlite3_update_hook(h, &Database::updateHook, this);
    // Our own busy handler: the same waiting as a busy timeout, but the host
    // hears when a wait starts and ends.
    sqlite3_busy_handler(h, &Database::busyHandler, this);
}

int Database::busyHandler(void *self, int count)
{
    auto *d = static_cast<Database *>(self);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (count == 0 || !d->m_busyWaiting) {
        d->m_busyStartMs = now;
        if (!d->m_busyWaiting) {
            d->m_busyWaiting = true;
            if (s_busyHook)
                s_busyHook(true);
        }
    }
    const qint64 left = d->m_busyTimeoutMs - (now - d->m_busyStartMs);
    if (left <= 0)
        return 0;
    sqlite3_sleep(int(qMin<qint64>(left, 20)));
    return 1;
}

void Database::busyOver()
{
    if (!m_busyWaiting)
        return;
    m_busyWaiting = false;
    if (s_busyHook)
        s_busyHook(false);
}

void Database::setBusyTimeout(int ms)
{
    m_busyTimeoutMs = qMax(0, ms);
    if (isPostgres())
        pgRaw(QStringLiteral("SET lock_timeout = %1").arg(m_busyTimeoutMs));
}
void Database::setBusyHook(BusyHook hook) { s_busyHook = std::move(hook); }
void Database::announceBusy(bool waiting)
{
    if (s_busyHook)
        s_busyHook(waiting);
}
int Database::defaultBusyTimeout() { return s_defaultBusyTimeoutMs; }
void Database::setDefaultBusyTimeout(int ms) { s_defaultBusyTimeoutMs = qMax(0, ms); }

bool Database::isReadOnly()
{
    if (isPostgres()) {
        QSqlQuery q(m_db);
        return q.exec(QStringLiteral("SELECT current_setting('transaction_read_only') = 'on' OR pg_is_in_recovery()")) &&
               q.next() && q.value(0).toBool();
    }
    if (sqlite3 *h = handleOf(m_db))
        if (sqlite3_db_readonly(h, "main") == 1)
            return true;
    if (m_path.isEmpty() || m_path == QLatin1String(":memory:"))
        return false;
    const QFileInfo file(m_path);
    if (file.exists() && !file.isWritable())
        return true;
    // The write-ahead log and its index are made beside the file.
    const QFileInfo folder(file.absolutePath());
    return !folder.isWritable() && !QFileInfo::exists(m_path + QStringLiteral("-wal"));
}

void Database::injectFault(const Fault &fault)
{
    m_fault = fault;
    if (m_fault->nth < 1)
        m_fault->nth = 1;
}

void Database::injectIfDue(const QString &sql, bool control)
{
    if (!m_fault)
        return;
    // BEGIN and COMMIT fail only when a fault names them.
    if (control && m_fault->match.isEmpty())
        return;
    if (!m_fault->match.isEmpty() && !sql.contains(m_fault->match, Qt::CaseInsensitive))
        return;
    if (--m_fault->nth > 0)
        return;
    const Fault f = *m_fault;
    m_fault.reset();
    if (f.endsTransaction && m_tranDepth > 0) {
        QSqlQuery q(m_db);
        q.exec(QStringLiteral("ROLLBACK"));
        m_connectionLost = isPostgres();
    }
    const QString engine = QString::fromUtf8(sqlite3_errstr(f.code));
    throw DbError(engineErrorText(f.code, engine), f.code & 0xff, engine);
}

DbError Database::engineError(const QSqlError &error)
{
    if (isPostgres())
        return pgError(error);
    QString engine = error.databaseText();
    // A statement the driver refuses before the engine does (several at once)
    // comes with the engine's "not an error": the driver's text says what is wrong.
    if (engine.isEmpty() || engine == QLatin1String("not an error"))
        engine = error.driverText().isEmpty() ? error.text() : error.driverText();
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return engineError(ok ? code : 0, engine);
}

DbError Database::engineError(int code, const QString &engine)
{
    if (code == 0 || code == SQLITE_ERROR) {
        // The driver may report the step's generic error; the connection knows better.
        if (sqlite3 *h = handleOf(m_db)) {
            const int c = sqlite3_errcode(h);
            if (c != SQLITE_OK && c != SQLITE_ROW && c != SQLITE_DONE)
                code = c;
        }
    }
    code &= 0xff;
    return DbError(engineErrorText(code, engine), code, engine);
}

bool Database::engineEndedTransaction()
{
    if (m_tranDepth == 0)
        return false;
    if (isPostgres())
        return m_connectionLost;
    sqlite3 *h = handleOf(m_db);
    return h && sqlite3_get_autocommit(h) != 0;
}

void Database::checkTransactionAlive()
{
    if (engineEndedTransaction())
        throw DbError(QStringLiteral("数据库已因前面的错误回滚了当前事务，本次操作没有保存任何数据。"));
}

QString Database::clientId()
{
    if (m_clientId.isEmpty()) {
        const quint64 a = QRandomGenerator::system()->generate64();
        const QString id = QStringLiteral("%1%2")
                               .arg(a, 16, 16, QChar(u'0'))
                               .arg(QCoreApplication::applicationPid(), 8, 16, QChar(u'0'));
        if (!setLock(QStringLiteral("CLIENT_") + id, true))
            throw DbError(QStringLiteral("无法登记客户端 %1").arg(id));
        m_clientId = id;
    }
    return m_clientId;
}

bool Database::clientAlive(const QString &id)
{
    if (id.isEmpty())
        return false;
    if (id == m_clientId)
        return true;
    if (isPostgres()) {
        // A client's session holds its lock while it lives.
        const QString key = QStringLiteral("CLIENT_") + id;
        if (!pgTryLock(key))
            return true;
        pgUnlock(key);
        return false;
    }
    const QString path = NamedLock::lockPath(m_path, QStringLiteral("CLIENT_") + id);
    if (!QFileInfo::exists(path))
        return false;
    const int fd = NamedLock::tryTake(path);
    if (fd < 0)
        return true;
    // Nobody holds it: the client is gone; its lock file goes too.
    QFile::remove(path);
    NamedLock::release(fd);
    return false;
}

void Database::updateHook(void *self, int op, const char *, const char *table, long long)
{
    if (op == SQLITE_INSERT && qstrcmp(table, "sys_postqueue") == 0)
        static_cast<Database *>(self)->m_postingsPending = true;
}

void Database::createSystemTables()
{
    if (isPostgres()) {
        // citext: names and texts compare with case ignored, as on the original server.
        static const char *pgDdl[] = {
            "CREATE EXTENSION IF NOT EXISTS citext",
            "CREATE TABLE IF NOT EXISTS sys_keytable (TABLENAME citext NOT NULL PRIMARY KEY, KEYVALUE bigint NOT NULL DEFAULT 0)",
            "CREATE TABLE IF NOT EXISTS sys_postqueue (ID bigserial PRIMARY KEY, TABLENAME varchar(64) NOT NULL, "
            "NOTEID bigint NOT NULL, OLDSTATE bigint, NEWSTATE bigint)",
            "CREATE TABLE IF NOT EXISTS sys_disabledtriggers (TABLENAME citext NOT NULL PRIMARY KEY)",
            "CREATE TABLE IF NOT EXISTS sys_books (NAME varchar(64) NOT NULL, VERSION bigint NOT NULL)",
        };
        for (const char *sql : pgDdl)
            exec(QString::fromUtf8(sql));
        installServerSupport();
        return;
    }
    static const char *ddl[] = {
        "CREATE TABLE IF NOT EXISTS sys_keytable (TABLENAME VARCHAR(64) NOT NULL PRIMARY KEY COLLATE NOCASE, "
        "KEYVALUE INTEGER NOT NULL DEFAULT 0)",
        "CREATE TABLE IF NOT EXISTS sys_postqueue (ID INTEGER PRIMARY KEY AUTOINCREMENT, TABLENAME VARCHAR(64) NOT NULL, "
        "NOTEID INTEGER NOT NULL, OLDSTATE INTEGER, NEWSTATE INTEGER)",
        "CREATE TABLE IF NOT EXISTS sys_disabledtriggers (TABLENAME VARCHAR(64) NOT NULL PRIMARY KEY COLLATE NOCASE)",
        "CREATE TABLE IF NOT EXISTS sys_books (NAME VARCHAR(64) NOT NULL, VERSION INTEGER NOT NULL)",
    };
    for (const char *s : ddl) {
        QSqlQuery q(m_db);
        if (!q.exec(QString::fromUtf8(s)))
            throw engineError(q.lastError());
    }
}

void Database::markOurs(int version)
{
    createSystemTables();
    exec(QStringLiteral("DELETE FROM sys_books"));
    exec(QStringLiteral("INSERT INTO sys_books(NAME, VERSION) VALUES ('pk_note', :v)"), {{QStringLiteral("v"), version}});
}

bool Database::isOurs()
{
    if (isPostgres()) {
        // The catalogue's views hide tables a role may not read: ask for the name itself.
        QSqlQuery q(m_db);
        if (!q.exec(QStringLiteral("SELECT to_regclass('sys_books') IS NOT NULL")) || !q.next())
            throw pgError(q.lastError());
        if (!q.value(0).toBool())
            return false;
        // A role that may not read the marker cannot use the books either: say so.
        return scalar(QStringLiteral("SELECT count(*) FROM sys_books WHERE NAME='pk_note'")).toInt() > 0;
    }
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table' AND name='sys_books'")) || !q.next())
        return false;
    if (q.value(0).toInt() == 0)
        return false;
    QSqlQuery r(m_db);
    return r.exec(QStringLiteral("SELECT count(*) FROM sys_books WHERE NAME='pk_note'")) && r.next() && r.value(0).toInt() > 0;
}

void Database::addStateTrigger(const QString &table)
{
    const QString t = table.toLower();
    for (const char *event : {"UPDATE OF NOTESTATE", "INSERT"}) {
        const bool insert = qstrcmp(event, "INSERT") == 0;
        const QString sql =
            QStringLiteral("CREATE TRIGGER IF NOT EXISTS trg_%1_%2 AFTER %3 ON %1 FOR EACH ROW WHEN %4 "
                           "AND NOT EXISTS (SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME='%1') "
                           "BEGIN INSERT INTO sys_postqueue(TABLENAME, NOTEID, OLDSTATE, NEWSTATE) "
                           "VALUES ('%1', NEW.NOTEID, %5, NEW.NOTESTATE); END")
                .arg(t, insert ? QStringLiteral("ins") : QStringLiteral("state"), QString::fromLatin1(event),
                     insert ? QStringLiteral("coalesce(NEW.NOTESTATE,0)<>0")
                            : QStringLiteral("coalesce(OLD.NOTESTATE,0)<>coalesce(NEW.NOTESTATE,0)"),
                     insert ? QStringLiteral("0") : QStringLiteral("OLD.NOTESTATE"));
        exec(sql);
    }
}

QString Database::translate(const QString &tsql)
{
    try {
        return m_translator->translate(tsql);
    } catch (const TranslateError &e) {
        throw DbError(e.text());
    }
}

const SchemaTypes *Database::schemaTypes()
{
    if (isPostgres())
        return pgSchemaTypes();
    sqlite3 *h = handleOf(m_db);
    if (!h)
        return nullptr;
    auto intOf = [h](const char *sql, int fallback) {
        sqlite3_stmt *st = nullptr;
        int v = fallback;
        if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            v = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        return v;
    };
    const int version = intOf("PRAGMA schema_version", -2);
    if (version == m_schemaVersion)
        return &m_schemaTypes;
    m_schemaTypes.clear();
    sqlite3_stmt *st = nullptr;
    const char *sql = "SELECT lower(m.name), lower(p.name), p.type FROM sqlite_master m "
                      "JOIN pragma_table_info(m.name) p WHERE m.type IN ('table','view')";
    if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            auto text = [st](int c) { return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, c))); };
            m_schemaTypes[text(0)].insert(text(1), sqlTypeOf(text(2)));
        }
    }
    sqlite3_finalize(st);
    m_schemaVersion = version;
    return &m_schemaTypes;
}

bool Database::isBatch(const QString &tsql)
{
    // @variables and @@values live in the batch runner.
    if (tsql.contains(u'@'))
        return true;
    static const QStringList words = {QStringLiteral("exec"),  QStringLiteral("execute"), QStringLiteral("declare"),
                                      QStringLiteral("if"),    QStringLiteral("begin"),   QStringLiteral("set"),
                                      QStringLiteral("alter"), QStringLiteral("commit"),  QStringLiteral("rollback")};
    return words.contains(firstWord(tsql));
}

bool Database::isWriteStatement(const QString &sql)
{
    static const QStringList words = {QStringLiteral("insert"), QStringLiteral("update"), QStringLiteral("delete"),
                                      QStringLiteral("replace"), QStringLiteral("create"), QStringLiteral("drop"),
                                      QStringLiteral("alter"),  QStringLiteral("with")};
    return words.contains(firstWord(sql));
}

QVector<QPair<QString, QVariant>> Database::boundParams(const QString &text, const Params &params)
{
    auto it = m_placeholders.constFind(text);
    if (it == m_placeholders.constEnd()) {
        QStringList names;
        for (const Token &t : tokenize(text))
            if (t.kind == Token::Parameter && !names.contains(t.text))
                names << t.text;
        it = m_placeholders.insert(text, names);
    }
    QVector<QPair<QString, QVariant>> out;
    out.reserve(it.value().size());
    for (const QString &ph : it.value()) {
        const QString bare = ph.mid(1);
        QVariant v;
        bool found = false;
        auto p = params.constFind(bare);
        if (p != params.constEnd()) {
            v = p.value();
            found = true;
        } else {
            for (auto i = params.constBegin(); i != params.constEnd(); ++i)
                if (i.key().compare(bare, Qt::CaseInsensitive) == 0 ||
                    (i.key().startsWith(u':') && i.key().mid(1).compare(bare, Qt::CaseInsensitive) == 0)) {
                    v = i.value();
                    found = true;
                    break;
                }
        }
        if (!found)
            throw DbError(QStringLiteral("参数 %1 没有赋值").arg(ph));
        if (v.typeId() == QMetaType::QDate)
            v = dateText(v.toDate());
        else if (v.typeId() == QMetaType::QDateTime)
            v = dateTimeText(v.toDateTime());
        else if (v.typeId() == QMetaType::Bool)
            v = v.toBool() ? 1 : 0;
        out.push_back({ph, v});
    }
    return out;
}

void Database::bindAll(QSqlQuery &q, const Params &params)
{
    for (const auto &[ph, v] : boundParams(q.lastQuery(), params))
        q.bindValue(ph, v);
}

QSqlQuery Database::prepare(const QString &tsql)
{
    QSqlQuery q(m_db);
    prepareTranslated(q, translate(tsql));
    return q;
}

void Database::prepareTranslated(QSqlQuery &q, const QString &sql)
{
    // The PostgreSQL driver reads a forward-only result row by row and loses it
    // when another statement runs meanwhile (as callers do while reading); it
    // takes the whole result at once otherwise.
    q.setForwardOnly(!isPostgres());
    // A statement the server refuses must not end the caller's transaction.
    const bool savepoint = isPostgres() && m_tranDepth > 0 && m_allOrNothing == 0;
    if (savepoint)
        pgRaw(QStringLiteral("SAVEPOINT pk_statement"));
    const bool ok = q.prepare(sql);
    if (!ok) {
        const DbError e = engineError(q.lastError());
        if (savepoint)
            pgUndoStatement();
        throw e;
    }
    if (savepoint)
        pgRaw(QStringLiteral("RELEASE SAVEPOINT pk_statement"));
}

void Database::execPrepared(QSqlQuery &q, bool isWrite) { runStatement(q, isWrite, nullptr); }

void Database::runStatement(QSqlQuery &q, bool isWrite, const QString *simpleSql)
{
    const QVariantList bound = q.boundValues();
    for (const QVariant &v : bound)
        refuseNonFinite(v);
    checkTransactionAlive();
    // PostgreSQL ends a whole transaction on a failed statement; the original
    // server and SQLite fail the statement only. A savepoint keeps it that way.
    const bool savepoint = isPostgres() && m_tranDepth > 0 && m_allOrNothing == 0;
    const QString text = simpleSql ? *simpleSql : q.lastQuery();
    // No update hook on the server: a row written may have queued a posting,
    // unless the table's triggers cannot queue one (read from the catalogue).
    const bool serverWrite = isWrite && isPostgres();
    const QString first = serverWrite ? firstWord(text) : QString();
    const bool rowWrite = first == u"insert" || first == u"update" || first == u"delete";
    const bool mayQueue = rowWrite && mayQueuePostings(text);
    const bool takesKeys = serverWrite && text.contains(QLatin1String("sys_keytable"), Qt::CaseInsensitive);
    // A write gets a transaction of its own for the postings its triggers
    // queue. On the server a row write that can queue none, nor take keys, is
    // atomic by itself: BEGIN and COMMIT would be two round trips for nothing.
    const bool own = isWrite && m_tranDepth == 0 && !(rowWrite && !mayQueue && !takesKeys);
    if (own)
        beginTran();
    const bool wasStatementTran = std::exchange(m_statementTran, own || m_statementTran);
    const auto restore = qScopeGuard([&] { m_statementTran = wasStatementTran; });
    auto undoOwn = [&] {
        if (own && m_tranDepth > 0)
            rollbackTran();
    };
    try {
        injectIfDue(text, false);
        if (savepoint)
            pgRaw(QStringLiteral("SAVEPOINT pk_statement"));
    } catch (...) {
        undoOwn();
        throw;
    }
    const bool ok = simpleSql ? q.exec(*simpleSql) : q.exec();
    busyOver();
    if (!ok) {
        const DbError err = engineError(q.lastError());
        if (savepoint)
            pgUndoStatement();
        undoOwn();
        throw err;
    }
    if (savepoint) {
        try {
            pgRaw(QStringLiteral("RELEASE SAVEPOINT pk_statement"));
        } catch (...) {
            undoOwn();
            throw;
        }
    }
    if (mayQueue)
        m_postingsPending = true;
    if (takesKeys && m_tranDepth > 0)
        m_keysWritten = true;
    if (isWrite) {
        // Taken before the postings run their own statements, and kept
        // through them: their writes set it again.
        const int touched = q.numRowsAffected();
        try {
            drainPostings();
        } catch (...) {
            undoOwn();
            throw;
        }
        m_lastRowsAffected = touched;
    }
    if (own) {
        try {
            commitTran();
        } catch (...) {
            undoOwn();
            throw;
        }
    }
}

QSqlQuery Database::execTranslated(const QString &sql, const Params &params, bool isWrite)
{
    QSqlQuery q(m_db);
    // The PostgreSQL driver reads a forward-only result row by row and loses it
    // when another statement runs meanwhile (as callers do while reading); it
    // takes the whole result at once otherwise.
    q.setForwardOnly(!isPostgres());
    if (isPostgres()) {
        const auto binds = boundParams(sql, params);
        if (binds.isEmpty()) {
            // Sent as it is: the server prepares only plain statements, not DDL.
            runStatement(q, isWrite, &sql);
            return q;
        }
        q = prepare(sql);
        for (const auto &[ph, v] : binds)
            q.bindValue(ph, v);
        runStatement(q, isWrite, nullptr);
        return q;
    }
    if (!q.prepare(sql))
        throw engineError(q.lastError());
    bindAll(q, params);
    execPrepared(q, isWrite);
    return q;
}

QSqlQuery Database::exec(const QString &tsql, const Params &params)
{
    const QString sql = translate(tsql);
    const QString first = firstWord(sql);
    if (first.isEmpty()) {
        const QVector<Token> toks = tokenize(sql);
        // Only blanks and comments: nothing to run, as on the original server.
        if (std::all_of(toks.begin(), toks.end(),
                        [](const Token &t) { return t.kind == Token::Whitespace || t.kind == Token::Comment; }))
            return QSqlQuery(m_db);
    }
    const bool ddl = first == u"create" || first == u"alter" || first == u"drop";
    QSqlQuery q(m_db);
    if (isPostgres() && ddl) {
        for (const QString &statement : pgAdaptDdl(sql))
            q = execTranslated(statement, params, true);
    } else {
        q = execTranslated(sql, params, isWriteStatement(sql));
    }
    // Translations depend on the column types; a schema change starts the cache over.
    if (ddl) {
        // A kept plan of a changed table would be refused; what queues may have changed.
        m_keptReads.clear();
        m_keptStatements.clear();
        m_translator->clearCache();
        m_schemaDirty = true;
        m_tableOids.clear();
        m_queueTables.reset();
    }
    return q;
}

Database::TableSpellings Database::spellingsOf(const QString &ddl)
{
    TableSpellings out;
    const QVector<Token> toks = tokenize(ddl);
    const auto next = [&](qsizetype i) {
        while (i < toks.size() && (toks[i].kind == Token::Whitespace || toks[i].kind == Token::Comment))
            ++i;
        return i;
    };
    const auto name = [](const Token &t) {
        return t.kind == Token::QuotedName ? t.text.mid(1, t.text.size() - 2) : t.text;
    };
    for (qsizetype i = next(0); i < toks.size(); i = next(i + 1)) {
        if (!toks[i].is("create"))
            continue;
        qsizetype j = next(i + 1);
        if (j >= toks.size() || !toks[j].is("table"))
            continue;
        j = next(j + 1);
        if (j < toks.size() && toks[j].is("if")) // if not exists
            j = next(next(next(j + 1) + 1) + 1);
        if (j >= toks.size())
            break;
        QHash<QString, QString> &columns = out[name(toks[j]).toLower()];
        j = next(j + 1);
        if (j >= toks.size() || toks[j].text != u'(')
            continue;
        // The first name of each element at depth one, constraints aside.
        int depth = 1;
        bool atStart = true;
        for (j = next(j + 1); j < toks.size() && depth > 0; j = next(j + 1)) {
            const Token &t = toks[j];
            if (t.text == u'(') {
                ++depth;
            } else if (t.text == u')') {
                --depth;
            } else if (depth == 1 && t.text == u',') {
                atStart = true;
                continue;
            } else if (atStart && (t.kind == Token::Word || t.kind == Token::QuotedName)) {
                const bool constraint = t.kind == Token::Word && (t.is("primary") || t.is("unique") || t.is("constraint") ||
                                                                   t.is("foreign") || t.is("check"));
                if (!constraint)
                    columns.insert(name(t).toLower(), name(t));
            }
            atStart = false;
        }
        i = j - 1;
    }
    return out;
}

void Database::setColumnSpellings(const TableSpellings &spellings)
{
    m_tableSpellings = spellings;
    // The layer's own tables, as the books make them.
    m_tableSpellings.insert(spellingsOf(QStringLiteral(
        "create table sys_keytable (TABLENAME, KEYVALUE); create table sys_postqueue (ID, TABLENAME, NOTEID, OLDSTATE, NEWSTATE);"
        "create table sys_disabledtriggers (TABLENAME); create table sys_books (NAME, VERSION)")));
    // Where the table is not known, a name spelt two ways takes its most common spelling.
    QHash<QString, QHash<QString, int>> seen;
    for (const auto &columns : std::as_const(m_tableSpellings))
        for (auto c = columns.cbegin(); c != columns.cend(); ++c)
            ++seen[c.key()][c.value()];
    m_spellings.clear();
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
        int best = 0;
        for (auto s = it.value().cbegin(); s != it.value().cend(); ++s)
            if (s.value() > best || (s.value() == best && s.key() < m_spellings.value(it.key()))) {
                best = s.value();
                m_spellings[it.key()] = s.key();
            }
    }
}

QString Database::liftColumnNumbers(const QString &tsql, Params &params)
{
    QVector<Token> toks = tokenize(tsql);
    // The two tokens before, blanks and comments aside: a column, then `=`.
    const Token *column = nullptr, *equals = nullptr;
    for (qsizetype i = 0; i < toks.size(); ++i) {
        Token &t = toks[i];
        if (t.kind == Token::Whitespace || t.kind == Token::Comment)
            continue;
        // Decimals, exponents, hex and overlong numbers keep their text.
        const bool whole = t.kind == Token::Number && t.text.size() <= 18 &&
                           std::all_of(t.text.cbegin(), t.text.cend(), [](QChar c) { return c.isDigit(); });
        if (whole && equals && equals->is("=") && column &&
            (column->kind == Token::Word || column->kind == Token::QuotedName)) {
            QString key;
            do
                key = QStringLiteral("pk_lifted%1").arg(params.size());
            while (params.contains(key));
            params.insert(key, t.text.toLongLong());
            t.kind = Token::Parameter;
            t.text = u':' + key;
            if (i + 1 < toks.size() && toks[i + 1].kind == Token::Word)
                t.text += u' '; // `noteId=37and`: the number ended before the word
        }
        column = equals;
        equals = &t;
    }
    return joinTokens(toks);
}

int Database::execWrite(const QString &given, const Params &givenParams)
{
    Params params = givenParams;
    const QString tsql = params.isEmpty() ? liftColumnNumbers(given, params) : given;
    if (isPostgres()) {
        const QString sql = translate(tsql);
        const QString first = firstWord(sql);
        // Key writes stay on the usual path, which tells the key connection.
        if ((first == u"insert" || first == u"update" || first == u"delete") &&
            !sql.contains(QLatin1String("sys_keytable"), Qt::CaseInsensitive)) {
            const auto binds = boundParams(sql, params);
            for (const auto &b : binds)
                refuseNonFinite(b.second);
            if (pgExecWrite(sql, binds))
                return m_lastRowsAffected;
        }
    }
    const QSqlQuery q = exec(tsql, params);
    return isWriteStatement(q.lastQuery()) ? m_lastRowsAffected : 0;
}

ResultSet Database::run(const QString &batch, const Params &params)
{
    BatchRunner runner(*this, params);
    return runner.run(batch);
}

ResultSet Database::select(const QString &tsql, const Params &params)
{
    if (isBatch(tsql))
        return run(tsql, params);
    Rows rows = read(tsql, params);
    ResultSet rs;
    rs.columns = rows.columns();
    const int n = rows.columnCount();
    while (rows.next()) {
        QVector<QVariant> row(n);
        for (int i = 0; i < n; ++i)
            row[i] = rows.value(i);
        rs.rows.push_back(std::move(row));
    }
    return rs;
}

void Database::holdSteady(bool hold)
{
    m_steadyDepth += hold ? 1 : -1;
    if (m_steadyDepth <= 0) {
        m_steadyDepth = 0;
        m_steadyAnswers.clear();
    }
}

ResultSet Database::steadySelect(const QString &tsql, const Params &params)
{
    if (m_steadyDepth == 0)
        return select(tsql, params);
    // The statement with its values, in the order of their names.
    QString key = tsql;
    QStringList names = params.keys();
    names.sort();
    for (const QString &n : names) {
        const QVariant &v = params.value(n);
        key += QChar(0x1f) + n + QChar(0x1e) + QString::number(v.typeId()) + QChar(0x1e) +
               (v.isNull() ? QStringLiteral("\x01null") : v.toString());
    }
    auto it = m_steadyAnswers.constFind(key);
    if (it == m_steadyAnswers.constEnd())
        it = m_steadyAnswers.insert(key, select(tsql, params));
    return it.value();
}

ResultSet Database::resultOf(QSqlQuery &q)
{
    ResultSet rs;
    const QSqlRecord rec = q.record();
    const int n = rec.count();
    for (int i = 0; i < n; ++i)
        rs.columns << rec.fieldName(i);
    while (q.next()) {
        QVector<QVariant> row(n);
        for (int i = 0; i < n; ++i)
            row[i] = q.value(i);
        rs.rows.push_back(std::move(row));
    }
    return rs;
}

QVariant Database::scalar(const QString &tsql, const Params &params)
{
    if (isBatch(tsql)) {
        const ResultSet rs = run(tsql, params);
        return rs.rows.isEmpty() || rs.rows[0].isEmpty() ? QVariant() : rs.rows[0][0];
    }
    Rows rows = read(tsql, params);
    return rows.columnCount() > 0 && rows.next() ? rows.value(0) : QVariant();
}

// ---------------------------------------------------------------- rows read straight from the engine

namespace {

// The column type the Qt driver reports: from the declared type when the
// column has one, else from the first row's value.
QMetaType driverColumnType(sqlite3_stmt *st, int column, int firstRowType)
{
    const char *declared = sqlite3_column_decltype(st, column);
    if (declared && *declared) {
        const QString t = QString::fromUtf8(declared).toLower();
        if (t == QLatin1String("integer") || t == QLatin1String("int"))
            return QMetaType::fromType<int>();
        if (t == QLatin1String("double") || t == QLatin1String("float") || t == QLatin1String("real") ||
            t.startsWith(QLatin1String("numeric")))
            return QMetaType::fromType<double>();
        if (t == QLatin1String("blob"))
            return QMetaType::fromType<QByteArray>();
        if (t == QLatin1String("boolean") || t == QLatin1String("bool"))
            return QMetaType::fromType<bool>();
        return QMetaType::fromType<QString>();
    }
    switch (firstRowType) {
    case SQLITE_INTEGER: return QMetaType::fromType<int>();
    case SQLITE_FLOAT: return QMetaType::fromType<double>();
    case SQLITE_BLOB: return QMetaType::fromType<QByteArray>();
    case SQLITE_TEXT: return QMetaType::fromType<QString>();
    default: return QMetaType();
    }
}

bool onlyBlanks(const char *p)
{
    while (p && *p) {
        if (std::isspace(static_cast<unsigned char>(*p)) || *p == ';') {
            ++p;
        } else if (p[0] == '-' && p[1] == '-') {
            while (*p && *p != '\n')
                ++p;
        } else if (p[0] == '/' && p[1] == '*') {
            const char *end = std::strstr(p + 2, "*/");
            p = end ? end + 2 : nullptr;
        } else {
            return false;
        }
    }
    return true;
}

// Binds as the Qt driver does; false for a value of a kind left to the driver.
bool bindable(const QVariant &v)
{
    if (v.isNull())
        return true;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Double:
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return true;
    default:
        return false;
    }
}

int bindValue(sqlite3_stmt *st, int index, const QVariant &v)
{
    if (v.isNull())
        return sqlite3_bind_null(st, index);
    switch (v.typeId()) {
    case QMetaType::Int: return sqlite3_bind_int(st, index, v.toInt());
    case QMetaType::UInt:
    case QMetaType::LongLong: return sqlite3_bind_int64(st, index, v.toLongLong());
    case QMetaType::Double: return sqlite3_bind_double(st, index, v.toDouble());
    case QMetaType::QByteArray: {
        const auto *b = static_cast<const QByteArray *>(v.constData());
        if (b->isNull())
            return sqlite3_bind_null(st, index);
        return sqlite3_bind_blob(st, index, b->constData(), int(b->size()), SQLITE_TRANSIENT);
    }
    default: {
        const auto *s = static_cast<const QString *>(v.constData());
        if (s->isNull())
            return sqlite3_bind_null(st, index);
        return sqlite3_bind_text16(st, index, s->utf16(), int(s->size() * sizeof(QChar)), SQLITE_TRANSIENT);
    }
    }
}

} // namespace

sqlite3_stmt *Database::takeStatement(const QString &sql)
{
    sqlite3_stmt *st = m_statements.take(sql);
    if (st)
        m_statementOrder.removeOne(sql);
    return st;
}

void Database::returnStatement(const QString &sql, sqlite3_stmt *st)
{
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (m_statements.contains(sql)) { // read twice at once: one copy is enough
        sqlite3_finalize(st);
        return;
    }
    constexpr int kept = 64;
    if (m_statementOrder.size() >= kept)
        sqlite3_finalize(m_statements.take(m_statementOrder.takeFirst()));
    m_statements.insert(sql, st);
    m_statementOrder << sql;
}

void Database::dropStatements()
{
    for (sqlite3_stmt *st : std::as_const(m_statements))
        sqlite3_finalize(st);
    m_statements.clear();
    m_statementOrder.clear();
}

Rows::Rows(Rows &&other) noexcept { *this = std::move(other); }

Rows &Rows::operator=(Rows &&other) noexcept
{
    if (this != &other) {
        if (m_stmt)
            m_db->returnStatement(m_sql, m_stmt);
        m_db = other.m_db;
        m_stmt = std::exchange(other.m_stmt, nullptr);
        m_sql = std::move(other.m_sql);
        m_pending = std::exchange(other.m_pending, false);
        m_onRow = std::exchange(other.m_onRow, false);
        m_rows = std::move(other.m_rows);
        m_row = std::exchange(other.m_row, -1);
        m_columns = std::move(other.m_columns);
        m_metaTypes = std::move(other.m_metaTypes);
        clearPg();
        m_query = std::move(other.m_query);
        m_pg = std::exchange(other.m_pg, nullptr);
        m_pgOwned = std::exchange(other.m_pgOwned, false);
        m_pgRows = std::exchange(other.m_pgRows, 0);
    }
    return *this;
}

Rows::~Rows()
{
    if (m_stmt)
        m_db->returnStatement(m_sql, m_stmt);
    clearPg();
}

bool Rows::next()
{
    if (m_pg) {
        if (m_row < m_pgRows)
            ++m_row;
        return m_row < m_pgRows;
    }
    if (!m_stmt) {
        if (m_row < int(m_rows.rows.size()))
            ++m_row;
        return m_row < int(m_rows.rows.size());
    }
    if (m_pending) {
        m_pending = false;
        m_onRow = true;
        return true;
    }
    if (!m_onRow)
        return false;
    const int rc = sqlite3_step(m_stmt);
    m_db->busyOver();
    if (rc == SQLITE_ROW)
        return true;
    m_onRow = false;
    // Reset at the end, as the driver does, so the read lock goes now.
    const int reset = sqlite3_reset(m_stmt);
    if (rc == SQLITE_DONE)
        return false;
    const int code = reset != SQLITE_OK ? reset : rc;
    throw m_db->engineError(code, QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_stmt))));
}

QVariant Rows::value(int column) const
{
    if (m_pg) {
        if (m_row < 0 || m_row >= m_pgRows || column < 0 || column >= m_columns.size())
            return {};
        if (m_pgOwned)
            return pgValueAt(column);
        if (m_query->at() != m_row)
            m_query->seek(m_row);
        return m_query->value(column);
    }
    if (!m_stmt) {
        if (m_row < 0 || m_row >= int(m_rows.rows.size()))
            return {};
        return m_rows.rows[m_row].value(column);
    }
    if (!m_onRow || column < 0 || column >= m_columns.size())
        return {};
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER: return QVariant(qlonglong(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT: return QVariant(sqlite3_column_double(m_stmt, column));
    case SQLITE_NULL: return nullValue();
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(m_stmt, column)),
                                   sqlite3_column_bytes(m_stmt, column)));
    default:
        return QVariant(text(column));
    }
}

Rows::Storage Rows::storage(int column) const
{
    if (m_pg)
        return pgStorage(column);
    if (!m_stmt || !m_onRow || column < 0 || column >= m_columns.size())
        return Other;
    return Storage(sqlite3_column_type(m_stmt, column));
}

qint64 Rows::integer(int column) const
{
    if (m_pg)
        return pgInteger(column);
    return m_stmt && m_onRow ? sqlite3_column_int64(m_stmt, column) : 0;
}

double Rows::real(int column) const
{
    if (m_pg)
        return pgReal(column);
    return m_stmt && m_onRow ? sqlite3_column_double(m_stmt, column) : 0.0;
}

QString Rows::text(int column) const
{
    if (!m_pg && (!m_stmt || !m_onRow))
        return {};
    return QString::fromUtf8(utf8(column));
}

QByteArrayView Rows::utf8(int column) const
{
    if (m_pg)
        return pgUtf8(column);
    if (!m_stmt || !m_onRow)
        return {};
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QByteArrayView(text, sqlite3_column_bytes(m_stmt, column));
}

const QVariant &Rows::nullValue()
{
    static const QVariant null{QMetaType::fromType<QString>()};
    return null;
}

void Database::copyRows(Rows &rows, QSqlQuery &q, const QString &sql)
{
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i)
        rows.m_metaTypes << rec.field(i).metaType();
    rows.m_rows = resultOf(q);
    rows.m_columns = rows.m_rows.columns;
    if (isPostgres())
        pgRespell(rows.m_columns, sql);
}

Rows Database::read(const QString &tsql, const Params &params)
{
    Rows rows;
    rows.m_db = this;
    if (isBatch(tsql)) {
        rows.m_rows = run(tsql, params);
        rows.m_columns = rows.m_rows.columns;
        rows.m_metaTypes.resize(rows.m_columns.size());
        return rows;
    }
    const QString sql = translate(tsql);
    sqlite3 *h = handleOf(m_db);
    // Writes keep their own transaction and postings; the driver's path has them.
    if (h && !isWriteStatement(sql) && !firstWord(sql).isEmpty()) {
        sqlite3_stmt *st = takeStatement(sql);
        int rc = SQLITE_OK;
        const char *tail = nullptr;
        if (!st) {
            const QByteArray text = sql.toUtf8();
            rc = sqlite3_prepare_v3(h, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &st, &tail);
        }
        // A statement the engine refuses goes the driver's way, for the driver's message.
        if (rc == SQLITE_OK && st && onlyBlanks(tail)) {
            rows.m_stmt = st;
            rows.m_sql = sql;
            const QVector<QPair<QString, QVariant>> binds = boundParams(sql, params);
            const bool direct = std::all_of(binds.begin(), binds.end(), [](const auto &b) { return bindable(b.second); });
            if (direct) {
                for (const auto &b : binds)
                    refuseNonFinite(b.second);
                checkTransactionAlive();
                injectIfDue(sql, false);
                for (const auto &b : binds) {
                    const QByteArray name = b.first.toUtf8();
                    const int index = sqlite3_bind_parameter_index(st, name.constData());
                    if (index > 0 && bindValue(st, index, b.second) != SQLITE_OK)
                        throw engineError(sqlite3_errcode(h), QString::fromUtf8(sqlite3_errmsg(h)));
                }
                const int step = sqlite3_step(st);
                busyOver();
                if (step != SQLITE_ROW && step != SQLITE_DONE) {
                    const int reset = sqlite3_reset(st);
                    throw engineError(reset != SQLITE_OK ? reset : step, QString::fromUtf8(sqlite3_errmsg(h)));
                }
                const int n = sqlite3_column_count(st);
                rows.m_columns.reserve(n);
                rows.m_metaTypes.reserve(n);
                for (int c = 0; c < n; ++c) {
                    rows.m_columns << QString::fromUtf8(sqlite3_column_name(st, c)).remove(u'"');
                    rows.m_metaTypes << driverColumnType(st, c, step == SQLITE_ROW ? sqlite3_column_type(st, c) : -1);
                }
                rows.m_pending = step == SQLITE_ROW;
                if (step == SQLITE_DONE)
                    sqlite3_reset(st);
                return rows;
            }
            returnStatement(sql, std::exchange(rows.m_stmt, nullptr));
        } else if (st) {
            sqlite3_finalize(st);
        }
    }
    const auto binds = isPostgres() && !isWriteStatement(sql) ? boundParams(sql, params) : decltype(boundParams(sql, params))();
    if (!binds.isEmpty()) {
        // A read with values through libpq, prepared once and kept; in a
        // transaction under the statement's savepoint in the same round trip.
        // The rows are read where libpq has them. (One without values goes
        // the driver's way: a long list reads faster there.)
        for (const auto &b : binds)
            refuseNonFinite(b.second);
        checkTransactionAlive();
        injectIfDue(sql, false);
        const bool guarded = m_tranDepth > 0 && m_allOrNothing == 0;
        PgStatement &q = keptRead(sql);
        for (const auto &[ph, v] : binds)
            q.bindValue(ph, v);
        q.exec(guarded);
        void *result = q.takeResult();
        busyOver();
        adoptPgResult(rows, result, sql);
        return rows;
    }
    QSqlQuery q = exec(tsql, params);
    if (isPostgres() && adoptPgResult(rows, q))
        pgRespell(rows.m_columns, sql, static_cast<const pg_result *>(rows.m_pg));
    else
        copyRows(rows, q, sql);
    return rows;
}

void Database::beginTran()
{
    if (m_tranDepth == 0) {
        injectIfDue(QStringLiteral("BEGIN IMMEDIATE"), true);
        QSqlQuery q(m_db);
        // IMMEDIATE takes the write lock now, so two writers queue instead of
        // failing with a busy error half-way through a save. The server locks
        // rows as they are written instead.
        m_connectionLost = false;
        m_keysWritten = false;
        const bool ok = q.exec(isPostgres() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"));
        busyOver();
        if (!ok)
            throw engineError(q.lastError());
        m_postingsPending = false;
        m_takenPostings.reset();
    }
    ++m_tranDepth;
}

void Database::commitTran()
{
    if (m_tranDepth == 0)
        throw DbError(QStringLiteral("COMMIT TRANSACTION 请求没有对应的 BEGIN TRANSACTION。"));
    if (m_tranDepth == 1) {
        if (engineEndedTransaction()) {
            // Nothing is left to commit, nor to roll back.
            m_tranDepth = 0;
            m_connectionLost = false;
            m_postingsPending = false;
            throw DbError(QStringLiteral("数据库已因前面的错误回滚了当前事务，本次操作没有保存任何数据。"));
        }
        drainPostings();
        std::optional<DbError> failure;
        try {
            injectIfDue(QStringLiteral("COMMIT"), true);
            QSqlQuery q(m_db);
            const bool ok = q.exec(QStringLiteral("COMMIT"));
            busyOver();
            if (!ok)
                failure = engineError(q.lastError());
        } catch (const DbError &e) {
            // A failure injected before the COMMIT was sent: on the server the
            // transaction is still open, and a failed COMMIT must end it there.
            if (isPostgres() && !engineEndedTransaction())
                QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
            failure = e;
        }
        if (failure) {
            // Nothing is left to roll back when the engine has ended it (the
            // server always ends a transaction whose COMMIT failed).
            if (engineEndedTransaction() || isPostgres()) {
                m_connectionLost = false;
                m_tranDepth = 0;
                m_postingsPending = false;
            }
            throw *failure;
        }
    }
    --m_tranDepth;
}

void Database::rollbackTran()
{
    if (m_tranDepth == 0)
        throw DbError(QStringLiteral("ROLLBACK TRANSACTION 请求没有对应的 BEGIN TRANSACTION。"));
    const bool ended = engineEndedTransaction();
    m_tranDepth = 0;
    m_postingsPending = false;
    m_takenPostings.reset();
    m_keysWritten = false;
    if (ended) {
        m_connectionLost = false;
        return; // the engine rolled back already (full disk, I/O error)
    }
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("ROLLBACK"))) {
        if (isPostgres())
            throw engineError(q.lastError());
        sqlite3 *h = handleOf(m_db);
        if (h && sqlite3_get_autocommit(h))
            return; // it ended anyway
        throw engineError(q.lastError());
    }
}

ResultSet Database::callProcedure(const QString &name, QVector<ProcArg> &args)
{
    QString bare = name;
    if (bare.startsWith(QLatin1String("dbo."), Qt::CaseInsensitive))
        bare = bare.mid(4);
    const Procedure *p = Registry::instance().procedure(bare);
    if (!p)
        throw DbError(QStringLiteral("找不到存储过程 '%1'。").arg(bare));
    // A procedure runs as one unit: on its own transaction when none is open.
    const bool own = m_tranDepth == 0 && !Registry::instance().onlyReads(bare);
    if (own)
        beginTran();
    try {
        ResultSet rs = (*p)(*this, args);
        if (own)
            commitTran();
        return rs;
    } catch (...) {
        if (own && m_tranDepth > 0)
            rollbackTran();
        throw;
    }
}

qint64 Database::newKey(const QString &table)
{
    if (isPostgres())
        return pgNewKey(table);
    const bool own = m_tranDepth == 0;
    if (own)
        beginTran();
    try {
        const Params p{{QStringLiteral("t"), table}};
        QSqlQuery u = execTranslated(QStringLiteral("UPDATE sys_keytable SET KEYVALUE = KEYVALUE + 1 WHERE TABLENAME = :t"),
                                     p, false);
        if (u.numRowsAffected() <= 0)
            throw DbError(QStringLiteral("键值表中没有表 %1 的记录。").arg(table));
        QSqlQuery s = execTranslated(QStringLiteral("SELECT KEYVALUE FROM sys_keytable WHERE TABLENAME = :t"), p, false);
        const qint64 key = s.next() ? s.value(0).toLongLong() : 0;
        if (own)
            commitTran();
        return key;
    } catch (...) {
        if (own && m_tranDepth > 0)
            rollbackTran();
        throw;
    }
}

qint64 Database::newKeyBlock(const QString &table, int count)
{
    if (count < 1)
        throw DbError(QStringLiteral("键值块的大小无效: %1").arg(count));
    if (!isPostgres())
        throw DbError(QStringLiteral("键值块只在服务器上的帐套中分配。"));
    return pgNewKey(table, count, true) - count + 1;
}

void Database::sendKeyBlock(const QString &table, int count)
{
    if (isPostgres() && count > 0)
        pgNewKey(table, count, true, true);
}

bool Database::setLock(const QString &name, bool take)
{
    const QString key = name.toUpper();
    if (!take) {
        auto it = m_lockFds.find(key);
        if (it == m_lockFds.end())
            return false;
        if (isPostgres())
            pgUnlock(key);
        else
            NamedLock::release(it.value());
        m_lockFds.erase(it);
        return true;
    }
    if (m_lockFds.contains(key))
        return false; // held already: a second taker waits its turn like any other
    if (isPostgres()) {
        // A session advisory lock: the server drops it when the client dies.
        if (!pgTryLock(key))
            return false;
        m_lockFds.insert(key, -1);
        return true;
    }
    const int fd = NamedLock::tryTake(NamedLock::lockPath(m_path, key));
    if (fd < 0)
        return false;
    m_lockFds.insert(key, fd);
    return true;
}

bool Database::holdsLock(const QString &name) const { return m_lockFds.contains(name.toUpper()); }

bool Database::mayQueuePostings(const QString &sql)
{
    if (!m_queueTables) {
        QueueTables known;
        // A table queues when a trigger of its own writes the queue or writes
        // another table that does (a deleted purchase takes its estimate with it).
        QHash<QString, QString> bodies; // table -> its triggers' code, lower case
        QSqlQuery q(m_db);
        if (!q.exec(QStringLiteral("SELECT c.relname, p.prosrc FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid "
                                   "JOIN pg_proc p ON p.oid = t.tgfoid WHERE NOT t.tgisinternal")))
            return true;
        while (q.next())
            bodies[q.value(0).toString().toLower()] += q.value(1).toString().toLower() + u'\n';
        known.queuing.insert(QStringLiteral("sys_postqueue"));
        for (auto it = bodies.cbegin(); it != bodies.cend(); ++it)
            if (it.value().contains(QLatin1String("pk_postqueue(")))
                known.queuing.insert(it.key());
        for (bool grown = true; grown;) {
            grown = false;
            for (auto it = bodies.cbegin(); it != bodies.cend(); ++it) {
                if (known.queuing.contains(it.key()))
                    continue;
                const bool writesOne = std::any_of(known.queuing.cbegin(), known.queuing.cend(), [&](const QString &t) {
                    const QRegularExpression write(QStringLiteral("(insert\\s+into|update|delete\\s+from)\\s+(dbo\\.)?\"?")
                                                   + QRegularExpression::escape(t) + QStringLiteral("\\b"));
                    return it.value().contains(write);
                });
                if (writesOne) {
                    known.queuing.insert(it.key());
                    grown = true;
                }
            }
        }
        if (!q.exec(QStringLiteral("SELECT relname FROM pg_class WHERE relkind IN ('r', 'p')")))
            return true;
        while (q.next())
            if (const QString t = q.value(0).toString().toLower(); !known.queuing.contains(t))
                known.quiet.insert(t);
        m_queueTables = std::move(known);
    }
    // The table a write names: "insert into T", "update T", "delete [from] T",
    // maybe after its schema. A name that is no table (an alias) may be anything.
    static const QRegularExpression target(
        QStringLiteral("^\\s*(?:insert\\s+into|update|delete(?:\\s+from)?)\\s+[\\[\"]?(\\w+)[\\]\"]?(?:\\.[\\[\"]?(\\w+))?"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = target.match(sql);
    if (!m.hasMatch())
        return true;
    const QString table = (m.captured(2).isEmpty() ? m.captured(1) : m.captured(2)).toLower();
    return !m_queueTables->quiet.contains(table);
}

void Database::drainPostings()
{
    if (m_draining || !m_postingsPending)
        return;
    m_draining = true;
    try {
        // Taken until none is left: a posting may change another note's state.
        while (m_postingsPending) {
            m_postingsPending = false;
            for (const PostingEvent &ev : takeQueuedPostings()) {
                const PostingHandler *h = Registry::instance().posting(ev.table);
                if (!h)
                    continue;
                if (!isPostgres()) {
                    (*h)(*this, ev);
                    continue;
                }
                // On the server a posting runs under a savepoint of its own: a
                // statement it cannot run fails the posting, not the caller's
                // transaction, so its own statements need no savepoint each.
                // A statement's own transaction goes whole if the posting fails.
                const bool guard = !m_statementTran;
                if (guard)
                    pgRaw(QStringLiteral("SAVEPOINT pk_posting"));
                try {
                    AllOrNothing whole(*this);
                    (*h)(*this, ev);
                } catch (...) {
                    if (guard && !m_connectionLost) {
                        QSqlQuery r(m_db);
                        r.exec(QStringLiteral("ROLLBACK TO SAVEPOINT pk_posting"));
                        r.exec(QStringLiteral("RELEASE SAVEPOINT pk_posting"));
                    }
                    throw;
                }
                if (guard)
                    pgRaw(QStringLiteral("RELEASE SAVEPOINT pk_posting"));
            }
        }
    } catch (...) {
        m_draining = false;
        throw;
    }
    m_draining = false;
}

PostingEvent Database::postingEventOf(const QVector<QVariant> &row)
{
    return {row.value(0).toString(), row.value(1).toLongLong(), row.value(2).toInt(), row.value(3).toInt()};
}

QVector<PostingEvent> Database::takeQueuedPostings()
{
    QVector<PostingEvent> events;
    if (m_takenPostings) // taken already, with the write that queued them
        return *std::exchange(m_takenPostings, std::nullopt);
    if (isPostgres()) {
        // All of them in one round trip; what their postings queue comes next time.
        PgStatement &q = keptStatement(QLatin1String(kTakeQueue));
        q.exec();
        for (const QVector<QVariant> &row : q.rest().rows)
            events.append(postingEventOf(row));
        q.finish();
        return events;
    }
    // The oldest one: its posting's writes may queue more, which the hook marks.
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("DELETE FROM sys_postqueue WHERE ID = (SELECT min(ID) FROM sys_postqueue) "
                               "RETURNING TABLENAME, NOTEID, OLDSTATE, NEWSTATE")))
        throw engineError(q.lastError());
    if (q.next()) {
        events.append(postingEventOf({q.value(0), q.value(1), q.value(2), q.value(3)}));
        m_postingsPending = true; // there may be more behind it
    }
    return events;
}

QVariant Database::toDateValue(const QVariant &stored)
{
    if (stored.isNull() || !stored.isValid())
        return QVariant();
    if (stored.typeId() == QMetaType::QDate || stored.typeId() == QMetaType::QDateTime)
        return stored;
    const QString s = stored.toString().trimmed();
    if (s.size() <= 10) {
        const QDate d = QDate::fromString(s, QStringLiteral("yyyy-MM-dd"));
        return d.isValid() ? QVariant(d) : QVariant();
    }
    QDateTime dt = QDateTime::fromString(s.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!dt.isValid())
        dt = QDateTime::fromString(s, Qt::ISODate);
    return dt.isValid() ? QVariant(dt) : QVariant();
}

} // namespace db
