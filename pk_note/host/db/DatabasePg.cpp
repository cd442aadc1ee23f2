// The PostgreSQL side of the database layer: opening books on a server,
// keys from a second connection, named locks as advisory locks, the server's
// errors, and the column types read from information_schema.

#include "db/Database.h"

#include "db/PgDialect.h"
#include "db/TsqlTranslator.h"

#include <QAtomicInt>
#include <QRandomGenerator>
#include <QSqlDriver>
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlResult>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QUrl>

#include <libpq-fe.h>

#include <charconv>

#include <sqlite3.h>

namespace db {

namespace {

PGconn *pgConnection(const QSqlDatabase &db)
{
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    if (v.isValid() && (qstrcmp(v.typeName(), "PGconn*") == 0 || qstrcmp(v.typeName(), "pg_conn*") == 0))
        return *static_cast<PGconn *const *>(v.constData());
    return nullptr;
}

bool failedResult(const PGresult *r)
{
    const ExecStatusType status = PQresultStatus(r);
    return status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK;
}

QAtomicInt pgConnectionCounter;

struct PgAddress {
    QString host, user, database;
    int port = -1;
    QStringList options; // libpq keywords passed as they are
};

PgAddress parseAddress(const QString &address)
{
    const auto bad = [&](const QString &why) {
        return DbError(QStringLiteral("数据库服务器地址无效: %1（%2）").arg(address, why));
    };
    const int colon = int(address.indexOf(u':'));
    QString rest = address.mid(colon + 1);
    if (!rest.startsWith(QLatin1String("//")))
        throw bad(QStringLiteral("应为 postgresql://[用户@]主机[:端口]/帐套"));
    rest = rest.mid(2);
    QString query;
    if (const int q = int(rest.indexOf(u'?')); q >= 0) {
        query = rest.mid(q + 1);
        rest = rest.left(q);
    }
    PgAddress a;
    const int slash = int(rest.indexOf(u'/'));
    QString authority = slash >= 0 ? rest.left(slash) : rest;
    a.database = QUrl::fromPercentEncoding(slash >= 0 ? rest.mid(slash + 1).toUtf8() : QByteArray());
    if (const int at = int(authority.lastIndexOf(u'@')); at >= 0) {
        const QString user = authority.left(at);
        if (user.contains(u':'))
            throw bad(QStringLiteral("口令不能写在地址中，请使用 .pgpass、服务文件或 PGPASSWORD"));
        a.user = QUrl::fromPercentEncoding(user.toUtf8());
        authority = authority.mid(at + 1);
    }
    if (const int c = int(authority.lastIndexOf(u':')); c >= 0) {
        bool ok = false;
        a.port = authority.mid(c + 1).toInt(&ok);
        if (!ok || a.port <= 0 || a.port > 65535)
            throw bad(QStringLiteral("端口号无效"));
        authority = authority.left(c);
    }
    a.host = QUrl::fromPercentEncoding(authority.toUtf8());
    static const QStringList passed = {QStringLiteral("service"), QStringLiteral("sslmode"),
                                       QStringLiteral("connect_timeout"), QStringLiteral("application_name"),
                                       QStringLiteral("target_session_attrs")};
    bool timeout = false;
    for (const QString &item : query.split(u'&', Qt::SkipEmptyParts)) {
        const int eq = int(item.indexOf(u'='));
        const QString key = (eq < 0 ? item : item.left(eq)).toLower();
        const QString value = eq < 0 ? QString() : QUrl::fromPercentEncoding(item.mid(eq + 1).toUtf8());
        if (key == u"password" || key == u"passfile")
            throw bad(QStringLiteral("口令不能写在地址中，请使用 .pgpass、服务文件或 PGPASSWORD"));
        if (key == u"host")
            a.host = value;
        else if (key == u"port") {
            bool ok = false;
            a.port = value.toInt(&ok);
            if (!ok || a.port <= 0 || a.port > 65535)
                throw bad(QStringLiteral("端口号无效"));
        } else if (key == u"user")
            a.user = value;
        else if (key == u"dbname")
            a.database = value;
        else if (passed.contains(key)) {
            if (value.contains(u';') || value.contains(u' ') || value.contains(u'\''))
                throw bad(QStringLiteral("参数 %1 的值无效").arg(key));
            a.options << key + u'=' + value;
            timeout = timeout || key == u"connect_timeout";
        } else
            throw bad(QStringLiteral("不支持的参数 %1").arg(key));
    }
    if (a.database.isEmpty() && !a.options.join(u';').contains(QLatin1String("service=")))
        throw bad(QStringLiteral("缺少帐套（数据库）名"));
    // An unreachable server is reported instead of waiting on it for minutes.
    if (!timeout)
        a.options << QStringLiteral("connect_timeout=10");
    return a;
}

} // namespace

bool Database::isServerAddress(const QString &address)
{
    return address.startsWith(QLatin1String("postgresql:"), Qt::CaseInsensitive) ||
           address.startsWith(QLatin1String("postgres:"), Qt::CaseInsensitive);
}

std::unique_ptr<Database> Database::openPostgres(const QString &address)
{
    const PgAddress a = parseAddress(address);
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        throw DbError(QStringLiteral("没有安装 Qt 的 PostgreSQL 驱动 (QPSQL)，不能打开服务器上的帐套: %1").arg(address));
    std::unique_ptr<Database> d(new Database);
    d->m_engine = Engine::Postgres;
    d->m_path = address;
    d->m_connectionName = QStringLiteral("pk_note_pg_%1").arg(pgConnectionCounter.fetchAndAddRelaxed(1));
    d->m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), d->m_connectionName);
    d->m_db.setHostName(a.host);
    if (a.port > 0)
        d->m_db.setPort(a.port);
    d->m_db.setUserName(a.user);
    d->m_db.setDatabaseName(a.database);
    d->m_db.setConnectOptions(a.options.join(u';'));
    d->m_busyTimeoutMs = defaultBusyTimeout();
    if (!d->m_db.open()) {
        const QSqlError e = d->m_db.lastError();
        QString text = e.databaseText().isEmpty() ? e.driverText() : e.databaseText();
        throw DbError(QStringLiteral("无法连接数据库服务器 %1:\n%2").arg(address, text.trimmed()), SQLITE_CANTOPEN, text);
    }
    // Numbers come as double, as the SQLite driver gives them.
    d->m_db.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    d->pgRaw(QStringLiteral("SET client_min_messages = warning"));
    d->pgRaw(QStringLiteral("SET DateStyle = 'ISO, YMD'"));
    d->pgRaw(QStringLiteral("SET lock_timeout = %1").arg(d->m_busyTimeoutMs));
    // A kept statement is planned once for any values: the books' statements
    // find rows by key, where a plan made for the values at hand is the same
    // plan, and making it again on every run cost an audit more than running
    // it. Kept statements are prepared again as the books grow.
    d->pgRaw(QStringLiteral("SET plan_cache_mode = force_generic_plan"));
    d->m_translator = std::make_unique<TsqlTranslator>(TsqlTranslator::Postgres);
    d->m_translator->setSchemaSource([db = d.get()] { return db->schemaTypes(); });
    return d;
}

void Database::pgRaw(const QString &sql)
{
    QSqlQuery q(m_db);
    if (!q.exec(sql))
        throw pgError(q.lastError());
}

namespace {

// The state changes waiting for their postings, kept in the transaction
// itself (a setting local to it, gone with a rollback to a savepoint as with
// the transaction): a queue table written and emptied for every note slowed
// every audit. Then what the translator writes for the date functions, made on
// the server as TsqlFunctions makes them on SQLite: the same parts, the same
// boundaries.
const char *const kPgSupport = R"sql(
CREATE OR REPLACE FUNCTION pk_postqueue(t text, id bigint, o bigint, n bigint) RETURNS void
LANGUAGE sql AS $f$
SELECT set_config('pk_note.postqueue', coalesce(current_setting('pk_note.postqueue', true), '') || t || ',' || id || ','
  || coalesce(o::text, '') || ',' || coalesce(n::text, '') || ';', true) $f$;
CREATE OR REPLACE FUNCTION pk_postqueue_take() RETURNS TABLE (tablename text, noteid bigint, oldstate bigint, newstate bigint)
LANGUAGE plpgsql AS $f$
DECLARE
  q text := current_setting('pk_note.postqueue', true);
BEGIN
  IF q <> '' THEN
    PERFORM set_config('pk_note.postqueue', '', true);
    RETURN QUERY SELECT split_part(e, ',', 1), split_part(e, ',', 2)::bigint, nullif(split_part(e, ',', 3), '')::bigint,
      nullif(split_part(e, ',', 4), '')::bigint FROM unnest(string_to_array(rtrim(q, ';'), ';')) WITH ORDINALITY AS x(e, k)
      ORDER BY k;
  END IF;
  -- Triggers made before the queue lived in the transaction still write the table.
  RETURN QUERY WITH d AS (DELETE FROM sys_postqueue RETURNING *) SELECT d.TABLENAME::text, d.NOTEID, d.OLDSTATE, d.NEWSTATE
    FROM d ORDER BY d.ID;
END $f$;
CREATE OR REPLACE FUNCTION tsql_datediff(part text, a timestamp, b timestamp) RETURNS bigint
LANGUAGE sql IMMUTABLE AS $f$
SELECT (CASE part
  WHEN 'year' THEN extract(year FROM b) - extract(year FROM a)
  WHEN 'quarter' THEN (extract(year FROM b) * 4 + extract(quarter FROM b)) - (extract(year FROM a) * 4 + extract(quarter FROM a))
  WHEN 'month' THEN (extract(year FROM b) * 12 + extract(month FROM b)) - (extract(year FROM a) * 12 + extract(month FROM a))
  WHEN 'day' THEN b::date - a::date
  WHEN 'hour' THEN (extract(epoch FROM date_trunc('hour', b)) - extract(epoch FROM date_trunc('hour', a))) / 3600
  WHEN 'minute' THEN (extract(epoch FROM date_trunc('minute', b)) - extract(epoch FROM date_trunc('minute', a))) / 60
  ELSE extract(epoch FROM date_trunc('second', b)) - extract(epoch FROM date_trunc('second', a))
END)::bigint $f$;
CREATE OR REPLACE FUNCTION tsql_dateadd(part text, n bigint, d timestamp) RETURNS timestamp
LANGUAGE sql IMMUTABLE AS $f$
SELECT date_trunc('second', d) + CASE part
  WHEN 'year' THEN make_interval(years => n::int)
  WHEN 'quarter' THEN make_interval(months => 3 * n::int)
  WHEN 'month' THEN make_interval(months => n::int)
  WHEN 'day' THEN make_interval(days => n::int)
  WHEN 'hour' THEN make_interval(hours => n::int)
  WHEN 'minute' THEN make_interval(mins => n::int)
  ELSE make_interval(secs => n)
END $f$;
CREATE OR REPLACE FUNCTION tsql_datepart(part text, d timestamp) RETURNS bigint
LANGUAGE sql IMMUTABLE AS $f$
SELECT (CASE part
  WHEN 'year' THEN extract(year FROM d) WHEN 'quarter' THEN extract(quarter FROM d)
  WHEN 'month' THEN extract(month FROM d) WHEN 'day' THEN extract(day FROM d)
  WHEN 'hour' THEN extract(hour FROM d) WHEN 'minute' THEN extract(minute FROM d)
  ELSE floor(extract(second FROM d))
END)::bigint $f$;
CREATE OR REPLACE FUNCTION tsql_int(v text) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  t text := btrim(v);
BEGIN
  IF v IS NULL THEN
    RETURN NULL;
  ELSIF t = '' THEN
    RETURN 0;
  ELSIF t !~ '^[+-]?[0-9]{1,19}$' THEN
    RAISE EXCEPTION '在将 varchar 值 ''%'' 转换成数据类型 int 时失败。', v;
  ELSIF t::numeric NOT BETWEEN -2147483648 AND 2147483647 THEN
    RAISE EXCEPTION '将 expression 转换为数据类型 int 时出现算术溢出错误。';
  END IF;
  RETURN t::bigint;
END $f$;
CREATE OR REPLACE FUNCTION tsql_int(v numeric) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE AS $f$
BEGIN
  IF trunc(v) NOT BETWEEN -2147483648 AND 2147483647 THEN
    RAISE EXCEPTION '将 expression 转换为数据类型 int 时出现算术溢出错误。';
  END IF;
  RETURN trunc(v)::bigint;
END $f$;
CREATE OR REPLACE FUNCTION tsql_int(v double precision) RETURNS bigint
LANGUAGE sql IMMUTABLE AS $f$ SELECT tsql_int(v::numeric) $f$;
CREATE OR REPLACE FUNCTION tsql_int(v bigint) RETURNS bigint LANGUAGE sql IMMUTABLE AS $f$ SELECT v $f$;
CREATE OR REPLACE FUNCTION tsql_int(v integer) RETURNS bigint LANGUAGE sql IMMUTABLE AS $f$ SELECT v::bigint $f$;
CREATE OR REPLACE FUNCTION tsql_num(v text) RETURNS numeric
LANGUAGE plpgsql IMMUTABLE AS $f$
BEGIN
  IF v IS NULL THEN
    RETURN NULL;
  ELSIF btrim(v) !~ '^[+-]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][+-]?[0-9]+)?$' THEN
    RAISE EXCEPTION '从数据类型 varchar 转换为 numeric 时出错。';
  END IF;
  RETURN btrim(v)::numeric;
END $f$;
CREATE OR REPLACE FUNCTION tsql_num(v numeric) RETURNS numeric LANGUAGE sql IMMUTABLE AS $f$ SELECT v $f$;
CREATE OR REPLACE FUNCTION tsql_num(v double precision) RETURNS numeric LANGUAGE sql IMMUTABLE AS $f$ SELECT v::numeric $f$;
CREATE OR REPLACE FUNCTION tsql_num(v bigint) RETURNS numeric LANGUAGE sql IMMUTABLE AS $f$ SELECT v::numeric $f$;
CREATE OR REPLACE FUNCTION tsql_num(v integer) RETURNS numeric LANGUAGE sql IMMUTABLE AS $f$ SELECT v::numeric $f$;
CREATE OR REPLACE FUNCTION replicate(s text, n bigint) RETURNS text
LANGUAGE sql IMMUTABLE AS $f$ SELECT CASE WHEN n < 0 THEN NULL ELSE repeat(s, n::int) END $f$;
CREATE OR REPLACE FUNCTION space(n bigint) RETURNS text
LANGUAGE sql IMMUTABLE AS $f$ SELECT CASE WHEN n < 0 THEN NULL ELSE repeat(' ', n::int) END $f$;
)sql";


// Text compared with a number is read as that number, as the original server
// does ('01' = 1), with its error when the text is not one.
QString numberComparisons()
{
    static const char *const ops[][2] = {{"=", "eq"}, {"<>", "ne"}, {"<", "lt"}, {"<=", "le"}, {">", "gt"}, {">=", "ge"}};
    static const char *const numbers[][2] = {{"integer", "tsql_int"}, {"bigint", "tsql_int"}, {"numeric", "tsql_num"}};
    QString out;
    for (const auto &op : ops) {
        for (const auto &number : numbers) {
            for (const bool textLeft : {true, false}) {
                const QString left = textLeft ? QStringLiteral("citext") : QLatin1String(number[0]);
                const QString right = textLeft ? QLatin1String(number[0]) : QStringLiteral("citext");
                const QString fn = QStringLiteral("pk_%1_%2_%3").arg(QLatin1String(op[1]), left, right);
                const QString body = textLeft ? QStringLiteral("%1(a::text) %2 b").arg(QLatin1String(number[1]), QLatin1String(op[0]))
                                              : QStringLiteral("a %2 %1(b::text)").arg(QLatin1String(number[1]), QLatin1String(op[0]));
                out += QStringLiteral("CREATE OR REPLACE FUNCTION %1(a %2, b %3) RETURNS boolean LANGUAGE sql IMMUTABLE AS "
                                      "$f$ SELECT %4 $f$;\n")
                           .arg(fn, left, right, body);
                out += QStringLiteral("DO $d$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_operator WHERE oprname = '%1' AND "
                                      "oprleft = '%2'::regtype AND oprright = '%3'::regtype) THEN CREATE OPERATOR %1 "
                                      "(LEFTARG = %2, RIGHTARG = %3, FUNCTION = %4); END IF; END $d$;\n")
                           .arg(QLatin1String(op[0]), left, right, fn);
            }
        }
    }
    return out;
}

} // namespace

void Database::installServerSupport()
{
    runServerScript(QString::fromUtf8(kPgSupport) + numberComparisons());
}


void Database::runServerScript(const QString &script)
{
    if (!isPostgres())
        throw DbError(QStringLiteral("服务器脚本只能在 PostgreSQL 帐套上运行。"));
    checkTransactionAlive();
    const bool savepoint = m_tranDepth > 0;
    if (savepoint)
        pgRaw(QStringLiteral("SAVEPOINT pk_statement"));
    QSqlQuery q(m_db);
    if (!q.exec(script)) {
        const DbError e = pgError(q.lastError());
        if (savepoint && !m_connectionLost)
            pgRaw(QStringLiteral("ROLLBACK TO SAVEPOINT pk_statement"));
        throw e;
    }
    if (savepoint)
        pgRaw(QStringLiteral("RELEASE SAVEPOINT pk_statement"));
    m_schemaDirty = true;
    m_tableOids.clear();
}

DbError Database::pgError(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = (error.driverText().isEmpty() ? error.text() : error.driverText()).trimmed();
    // The server's message itself, as the user reads it: its first line,
    // without the severity and the statement position or call context.
    text = text.section(u'\n', 0, 0).trimmed();
    for (const char *severity : {"ERROR:", "FATAL:", "PANIC:"})
        if (text.startsWith(QLatin1String(severity)))
            text = text.mid(int(qstrlen(severity))).trimmed();
    const bool lost = error.type() == QSqlError::ConnectionError || !m_db.isOpen() ||
                      text.contains(QLatin1String("server closed the connection")) ||
                      text.contains(QLatin1String("no connection to the server")) ||
                      text.contains(QLatin1String("terminating connection"));
    // Division by zero reads as on the original server, where the package met it.
    if (error.nativeErrorCode() == QLatin1String("22012"))
        text = QStringLiteral("遇到以零作除数错误。");
    int code = pgResultCode(error.nativeErrorCode(), lost);
    if (code == 0) {
        m_connectionLost = true;
        code = SQLITE_IOERR;
    }
    return DbError(pgErrorText(code, code == SQLITE_IOERR, text), code, text);
}

pg_result *Database::takeKeyAhead(const QString &wanted)
{
    if (m_keyAhead.isEmpty())
        return nullptr;
    PGconn *conn = pgConnection(QSqlDatabase::database(m_keyConnectionName, false));
    const bool same = m_keyAhead == wanted;
    m_keyAhead.clear();
    if (!conn)
        return nullptr;
    PGresult *answer = PQgetResult(conn);
    while (PGresult *more = PQgetResult(conn)) // the end of its results
        PQclear(more);
    if (same)
        return answer;
    PQclear(answer); // keys never used leave a gap, as a rolled back save does
    return nullptr;
}

qint64 Database::pgNewKey(const QString &table, int count, bool aboveTop, bool ahead)
{
    // Above the table's highest ID when asked (rows may come from elsewhere
    // than the key table), read by the same statement: one round trip.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (aboveTop && !plain.match(table).hasMatch())
        throw DbError(QStringLiteral("无效的表名: '%1'。").arg(table));
    const QString form = QStringLiteral("UPDATE sys_keytable SET KEYVALUE = greatest(KEYVALUE, %2) + %3 WHERE TABLENAME = %1 "
                                        "RETURNING KEYVALUE");
    const QString above = aboveTop ? QStringLiteral("(select coalesce(max(ID), 0) from %1)").arg(table) : QStringLiteral("0");
    // The key table row written by this very transaction (new books being
    // made) is not visible, or is locked, to the second connection: such keys
    // come from this connection.
    if (ahead && m_keysWritten)
        return 0; // such keys come from this connection, when taken
    if (!m_keysWritten) {
        if (m_keyConnectionName.isEmpty()) {
            m_keyConnectionName = m_connectionName + QStringLiteral("_keys");
            QSqlDatabase keys = QSqlDatabase::cloneDatabase(m_db, m_keyConnectionName);
            if (!keys.open())
                throw pgError(keys.lastError());
            QSqlQuery s(keys);
            s.exec(QStringLiteral("SET lock_timeout = %1").arg(m_busyTimeoutMs));
            // A key block needs no flush of its own: the note that uses the
            // keys flushes the log past it when it commits, and keys of a note
            // that never commits may come again.
            s.exec(QStringLiteral("SET synchronous_commit = off"));
        }
        // Prepared once per statement on that connection: every posting takes
        // a block, and parsing and planning the update was most of its cost.
        PGconn *conn = pgConnection(QSqlDatabase::database(m_keyConnectionName, false));
        if (!conn)
            throw DbError(QStringLiteral("与数据库服务器的连接不可用。"));
        const auto keysError = [&](PGresult *r) {
            const DbError e = r ? pgResultError(r) : DbError(QString::fromUtf8(PQerrorMessage(conn)).trimmed());
            PQclear(r);
            return e;
        };
        const QString sql = form.arg(QuotedStr(table), above, QStringLiteral("$1::integer"));
        const QString asked = sql + u'\x1f' + QString::number(count);
        PGresult *r = takeKeyAhead(asked); // first: the connection serves one request at a time
        auto name = m_keyStatements.constFind(sql);
        if (name == m_keyStatements.constEnd()) {
            const QByteArray n = "pk_key_" + QByteArray::number(m_keyStatements.size());
            PGresult *prepared = PQprepare(conn, n.constData(), sql.toUtf8().constData(), 0, nullptr);
            if (failedResult(prepared)) {
                PQclear(r);
                throw keysError(prepared);
            }
            PQclear(prepared);
            name = m_keyStatements.insert(sql, n);
        }
        const QByteArray countText = QByteArray::number(count);
        const char *values[] = {countText.constData()};
        if (ahead) {
            PQclear(r);
            if (PQsendQueryPrepared(conn, name->constData(), 1, values, nullptr, nullptr, 0))
                m_keyAhead = asked;
            return 0; // a failed send is asked again, and reported, when the block is taken
        }
        if (!r)
            r = PQexecPrepared(conn, name->constData(), 1, values, nullptr, nullptr, 0);
        if (failedResult(r))
            throw keysError(r);
        const bool found = PQntuples(r) > 0;
        const qint64 key = found ? QByteArray(PQgetvalue(r, 0, 0)).toLongLong() : 0;
        PQclear(r);
        if (found)
            return key;
        if (m_tranDepth == 0)
            throw DbError(QStringLiteral("键值表中没有表 %1 的记录。").arg(table));
    }
    QSqlQuery q(m_db);
    if (!q.exec(form.arg(QuotedStr(table), above, QString::number(count))))
        throw pgError(q.lastError());
    if (!q.next())
        throw DbError(QStringLiteral("键值表中没有表 %1 的记录。").arg(table));
    m_keysWritten = true;
    return q.value(0).toLongLong();
}

PgStatement &Database::kept(std::unordered_map<QString, Kept> &cache, const QString &sql, bool read)
{
    Kept &k = cache[sql];
    if (k.query && ++k.uses < k.replanAt) {
        if (k.mayQueue)
            m_postingsPending = true;
        return *k.query;
    }
    // Prepared again in place: a caller may hold on to the statement.
    if (k.query)
        k.replanAt = std::min(k.replanAt * 2, 16384);
    else
        k.query.reset(new PgStatement(*this, sql));
    k.uses = 0;
    try {
        checkTransactionAlive();
        // A read the server refuses must not end the caller's transaction;
        // a posting has a savepoint of its own.
        const bool savepoint = read && m_tranDepth > 0 && m_allOrNothing == 0;
        if (savepoint)
            pgRaw(QStringLiteral("SAVEPOINT pk_statement"));
        try {
            k.query->prepare();
        } catch (...) {
            if (savepoint)
                pgUndoStatement();
            throw;
        }
        if (savepoint)
            pgRaw(QStringLiteral("RELEASE SAVEPOINT pk_statement"));
    } catch (...) {
        cache.erase(sql);
        throw;
    }
    k.mayQueue = isWriteStatement(sql) && mayQueuePostings(sql);
    if (k.mayQueue)
        m_postingsPending = true;
    return *k.query;
}

PgStatement &Database::keptStatement(const QString &sql)
{
    return kept(m_keptStatements, sql, false);
}

PgStatement &Database::keptRead(const QString &sql)
{
    // The same reads come back with every note (rights, parameters, lookups);
    // prepared afresh each would cost PREPARE, EXECUTE and DEALLOCATE, three
    // round trips to the server instead of one.
    // Texts built at run time must not pile up on the server.
    if (m_keptReads.size() >= 256 && !m_keptReads.count(sql))
        m_keptReads.clear();
    return kept(m_keptReads, sql, true);
}

PgStatement &Database::boundKept(const QString &tsql, const Params &params)
{
    if (!isPostgres())
        throw DbError(QStringLiteral("只有服务器上的帐套保留预备语句。"));
    const QString sql = translate(tsql);
    injectIfDue(sql, false); // a test's injected fault reaches the postings' statements too
    PgStatement &q = keptStatement(sql);
    for (const auto &[ph, v] : boundParams(sql, params))
        q.bindValue(ph, v);
    return q;
}

ResultSet Database::runKept(const QString &tsql, const Params &params, int *rowsAffected)
{
    PgStatement &q = boundKept(tsql, params);
    q.exec();
    busyOver();
    if (rowsAffected)
        *rowsAffected = q.numRowsAffected();
    ResultSet rs = q.isSelect() ? q.rest() : ResultSet();
    q.finish();
    return rs;
}

// ---------------------------------------------------------------- statements through libpq

namespace {

// `?` and `:name` made $1, $2...: the same name is the same number. Quoted
// text, quoted names, comments and `::` casts are left as they are.
QByteArray numberPlaceholders(const QString &sql, QHash<QString, int> &named, int &count)
{
    QString out;
    out.reserve(sql.size() + 16);
    count = 0;
    const auto ident = [](QChar c) { return c.isLetterOrNumber() || c == u'_'; };
    for (qsizetype i = 0, n = sql.size(); i < n;) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            qsizetype j = i + 1;
            while (j < n && sql[j] != c)
                ++j;
            out += QStringView(sql).mid(i, j + 1 - i);
            i = j + 1;
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            qsizetype j = sql.indexOf(u'\n', i);
            j = j < 0 ? n : j;
            out += QStringView(sql).mid(i, j - i);
            i = j;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            qsizetype j = sql.indexOf(QLatin1String("*/"), i + 2);
            j = j < 0 ? n : j + 2;
            out += QStringView(sql).mid(i, j - i);
            i = j;
        } else if (c == u':' && i + 1 < n && sql[i + 1] == u':') {
            out += QLatin1String("::");
            i += 2;
        } else if (c == u'?') {
            out += u'$' + QString::number(++count);
            ++i;
        } else if (c == u':' && i + 1 < n && (sql[i + 1].isLetter() || sql[i + 1] == u'_')) {
            qsizetype j = i + 1;
            while (j < n && ident(sql[j]))
                ++j;
            const QString name = sql.mid(i, j - i).toLower();
            int &number = named[name];
            if (number == 0)
                number = ++count;
            out += u'$' + QString::number(number);
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    return out.toUtf8();
}

// A value as the server reads it from text; false for NULL (a null string
// or date is NULL to the driver too).
bool pgText(const QVariant &v, QByteArray &text)
{
    if (!v.isValid() || v.isNull())
        return false;
    switch (v.typeId()) {
    case QMetaType::Bool: text = v.toBool() ? "1" : "0"; break; // an integer column or a boolean
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar: text = QByteArray::number(v.toLongLong()); break;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar: text = QByteArray::number(v.toULongLong()); break;
    case QMetaType::Float:
    case QMetaType::Double: {
        const double d = v.toDouble();
        if (qIsNaN(d))
            text = "NaN";
        else if (qIsInf(d))
            text = d > 0 ? "Infinity" : "-Infinity";
        else // the shortest text that reads back as the same double, as the driver writes it
            text = QString::number(d, 'g', QLocale::FloatingPointShortest).toLatin1();
        break;
    }
    case QMetaType::QDate:
        if (v.toDate().isNull())
            return false;
        text = v.toDate().toString(Qt::ISODate).toLatin1();
        break;
    case QMetaType::QTime:
        if (v.toTime().isNull())
            return false;
        text = v.toTime().toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1();
        break;
    case QMetaType::QDateTime:
        if (v.toDateTime().isNull())
            return false;
        text = v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toLatin1();
        break;
    case QMetaType::QByteArray:
        if (v.toByteArray().isNull())
            return false;
        text = "\\x" + v.toByteArray().toHex();
        break;
    default: {
        const QString s = v.toString();
        if (s.isNull() && v.typeId() == QMetaType::QString)
            return false;
        text = s.toUtf8();
    }
    }
    return true;
}

// The type the Qt driver gives a column of the server's type.
int pgMetaType(Oid type)
{
    switch (type) {
    case 16: return QMetaType::Bool;
    case 20: return QMetaType::LongLong;
    case 21:
    case 23: return QMetaType::Int;
    case 700:
    case 701:
    case 1700: return QMetaType::Double;
    case 1082: return QMetaType::QDate;
    case 1083: return QMetaType::QTime;
    case 1114:
    case 1184: return QMetaType::QDateTime;
    case 17: return QMetaType::QByteArray;
    default: return QMetaType::QString;
    }
}

// A value of a result as the Qt driver gives it: the column's type, NULL a null of it.
QVariant pgValue(const PGresult *res, int row, int column)
{
    const int type = pgMetaType(PQftype(res, column));
    if (PQgetisnull(res, row, column))
        return QVariant(QMetaType(type));
    const char *text = PQgetvalue(res, row, column);
    const int length = PQgetlength(res, row, column);
    switch (type) {
    case QMetaType::Bool: return QVariant(text[0] == 't');
    case QMetaType::LongLong:
    case QMetaType::Int: {
        qint64 v = 0;
        std::from_chars(text, text + length, v);
        return type == QMetaType::Int ? QVariant(int(v)) : QVariant(v);
    }
    case QMetaType::Double: {
        double v = 0;
        std::from_chars(text, text + length, v);
        return QVariant(v);
    }
    case QMetaType::QDate: return QVariant(QDate::fromString(QString::fromLatin1(text, length), Qt::ISODate));
    case QMetaType::QTime: return QVariant(QTime::fromString(QString::fromLatin1(text, length), Qt::ISODateWithMs));
    case QMetaType::QDateTime: return Database::toDateValue(QString::fromLatin1(text, length));
    case QMetaType::QByteArray: {
        size_t size = 0;
        unsigned char *bytes = PQunescapeBytea(reinterpret_cast<const unsigned char *>(text), &size);
        const QByteArray out(reinterpret_cast<const char *>(bytes), qsizetype(size));
        PQfreemem(bytes);
        return QVariant(out);
    }
    default: return QVariant(QString::fromUtf8(text, length));
    }
}

} // namespace

// One statement of a pipeline: a text, or a prepared one, with its values.
struct Database::PgPipelineItem {
    const char *raw = nullptr;
    const QByteArray *name = nullptr;
    int count = 0;
    const char *const *values = nullptr;
    const int *lengths = nullptr;
};

namespace {

using PipelineItem = Database::PgPipelineItem;

// Sends the items in one round trip and reads their results in order into
// `results` (left null where the server sent none); false when the
// connection failed on the way.
bool pipeline(PGconn *conn, const PipelineItem *items, int n, PGresult **results)
{
    bool sent = PQenterPipelineMode(conn);
    for (int i = 0; sent && i < n; ++i)
        sent = items[i].raw ? PQsendQueryParams(conn, items[i].raw, items[i].count, nullptr, items[i].values,
                                                items[i].lengths, nullptr, 0)
                            : PQsendQueryPrepared(conn, items[i].name->constData(), items[i].count, items[i].values,
                                                  items[i].lengths, nullptr, 0);
    sent = sent && PQpipelineSync(conn);
    for (int i = 0; sent && i < n; ++i) {
        results[i] = PQgetResult(conn);
        if (!results[i]) {
            sent = false;
            break;
        }
        while (PGresult *more = PQgetResult(conn)) // the end of its results
            PQclear(more);
    }
    if (sent)
        PQclear(PQgetResult(conn)); // the pipeline's sync
    PQexitPipelineMode(conn);
    return sent;
}

// The rows of a select from `from` on, columns named as the server names them.
ResultSet rowsOf(const PGresult *res, int from)
{
    ResultSet rs;
    if (!res)
        return rs;
    const int columns = PQnfields(res);
    for (int c = 0; c < columns; ++c)
        rs.columns << QString::fromUtf8(PQfname(res, c));
    for (int r = from, rows = PQntuples(res); r < rows; ++r) {
        QVector<QVariant> row(columns);
        for (int c = 0; c < columns; ++c)
            row[c] = pgValue(res, r, c);
        rs.rows.append(std::move(row));
    }
    return rs;
}

} // namespace

PgStatement::PgStatement(Database &db, const QString &sql) : m_db(db)
{
    m_text = numberPlaceholders(sql, m_named, m_params);
}

PgStatement::~PgStatement()
{
    finish();
    // Taken off the server while the connection can still say so.
    PGconn *conn = m_db.m_closing ? nullptr : pgConnection(m_db.m_db);
    if (conn && !m_name.isEmpty() && PQstatus(conn) == CONNECTION_OK &&
        (PQtransactionStatus(conn) == PQTRANS_IDLE || PQtransactionStatus(conn) == PQTRANS_INTRANS))
        PQclear(PQexec(conn, "DEALLOCATE " + m_name));
}

void PgStatement::prepare()
{
    PGconn *conn = pgConnection(m_db.m_db);
    if (!conn)
        throw DbError(QStringLiteral("与数据库服务器的连接不可用。"));
    finish();
    if (!m_name.isEmpty())
        PQclear(PQexec(conn, "DEALLOCATE " + m_name));
    m_name = "pk_s" + QByteArray::number(++m_db.m_pgStatements);
    m_values.resize(m_params);
    m_null.fill(true, m_params);
    PGresult *res = PQprepare(conn, m_name.constData(), m_text.constData(), 0, nullptr);
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
    if (!ok) {
        const DbError e = m_db.pgResultError(res);
        PQclear(res);
        m_name.clear();
        throw e;
    }
    PQclear(res);
}

void PgStatement::bindValue(int position, const QVariant &value)
{
    if (position < 0 || position >= m_values.size())
        return;
    m_null[position] = !pgText(value, m_values[position]);
}

void PgStatement::bindValue(const QString &placeholder, const QVariant &value)
{
    if (const int n = m_named.value(placeholder.toLower()); n > 0)
        bindValue(n - 1, value);
}

void PgStatement::exec(bool guarded)
{
    PGconn *conn = pgConnection(m_db.m_db);
    if (!conn)
        throw DbError(QStringLiteral("与数据库服务器的连接不可用。"));
    finish();
    QVarLengthArray<const char *, 64> values(m_values.size());
    QVarLengthArray<int, 64> lengths(m_values.size());
    for (int i = 0; i < m_values.size(); ++i) {
        values[i] = m_null[i] ? nullptr : m_values[i].constData();
        lengths[i] = int(m_values[i].size());
    }
    m_result = m_db.pgExecute(m_name, int(m_values.size()), values.data(), lengths.data(), guarded);
}

void *PgStatement::takeResult()
{
    m_row = -1;
    return std::exchange(m_result, nullptr);
}

bool Database::pgExecWrite(const QString &sql, const QVector<QPair<QString, QVariant>> &binds)
{
    QHash<QString, int> named;
    int count = 0;
    const QByteArray text = numberPlaceholders(sql, named, count);
    if (count != binds.size())
        return false; // positional marks: the usual path binds them
    QVector<QByteArray> values(count);
    QVector<const char *> pointers(count, nullptr);
    QVector<int> lengths(count, 0);
    for (const auto &[placeholder, value] : binds) {
        const int n = named.value(placeholder.toLower());
        if (n < 1)
            return false;
        if (pgText(value, values[n - 1]))
            pointers[n - 1] = values[n - 1].constData();
        lengths[n - 1] = int(values[n - 1].size());
    }
    checkTransactionAlive();
    // As runStatement(): a write that may queue a posting gets a transaction
    // of its own, and in the caller's a failed one must not end it.
    const bool mayQueue = mayQueuePostings(sql);
    const bool own = m_tranDepth == 0 && mayQueue;
    const bool guarded = m_tranDepth > 0 && m_allOrNothing == 0;
    if (own)
        injectIfDue(QStringLiteral("BEGIN IMMEDIATE"), true);
    injectIfDue(sql, false);
    PgStatement *take = mayQueue ? &keptStatement(QLatin1String(kTakeQueue)) : nullptr;

    QVector<PipelineItem> items;
    if (own)
        items.append({"BEGIN"});
    if (guarded)
        items.append({"SAVEPOINT pk_statement"});
    const int at = int(items.size());
    items.append({text.constData(), nullptr, count, pointers.constData(), lengths.constData()});
    if (guarded)
        items.append({"RELEASE SAVEPOINT pk_statement"});
    if (take)
        items.append({nullptr, &take->m_name});
    QVector<PGresult *> results(items.size(), nullptr);
    try {
        pgPipeline(items.constData(), int(items.size()), results.data(), guarded ? at : 0, guarded ? at + 1 : 0);
    } catch (...) {
        busyOver();
        // Whatever the BEGIN began goes (a ROLLBACK without one only warns).
        if (own && !m_connectionLost)
            QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    busyOver();
    const int touched = std::atoi(PQcmdTuples(results[at]));
    QVector<PostingEvent> taken;
    if (take)
        for (const QVector<QVariant> &row : rowsOf(results.last(), 0).rows)
            taken.append(postingEventOf(row));
    for (PGresult *r : results)
        PQclear(r);
    if (own) {
        m_tranDepth = 1;
        m_connectionLost = false;
        m_keysWritten = false;
    }
    if (take) {
        m_takenPostings = std::move(taken);
        m_postingsPending = true;
    }
    const bool wasStatementTran = std::exchange(m_statementTran, own || m_statementTran);
    const auto restore = qScopeGuard([&] { m_statementTran = wasStatementTran; });
    try {
        drainPostings();
        if (own)
            commitTran();
    } catch (...) {
        if (own && m_tranDepth > 0)
            rollbackTran();
        throw;
    }
    m_lastRowsAffected = touched;
    return true;
}

void *Database::pgExecute(const QByteArray &name, int count, const char *const *values, const int *lengths, bool guarded)
{
    PGconn *conn = pgConnection(m_db);
    if (!conn)
        throw DbError(QStringLiteral("与数据库服务器的连接不可用。"));
    if (!guarded) {
        PGresult *res = PQexecPrepared(conn, name.constData(), count, values, lengths, nullptr, 0);
        if (failedResult(res)) {
            const DbError e = pgResultError(res);
            PQclear(res);
            throw e;
        }
        return res;
    }
    // A failed statement ends the whole transaction on the server: the
    // statement goes under a savepoint, sent with it in one round trip.
    const PipelineItem items[3] = {{"SAVEPOINT pk_statement"}, {nullptr, &name, count, values, lengths},
                                   {"RELEASE SAVEPOINT pk_statement"}};
    PGresult *results[3] = {};
    pgPipeline(items, 3, results, 1, 2);
    PQclear(results[0]);
    PQclear(results[2]);
    return results[1];
}

void Database::pgPipeline(const PgPipelineItem *items, int n, PGresult **results, int undoFrom, int undoTo)
{
    PGconn *conn = pgConnection(m_db);
    if (!conn)
        throw DbError(QStringLiteral("与数据库服务器的连接不可用。"));
    const bool sent = pipeline(conn, items, n, results);
    for (int i = 0; i < n; ++i) {
        if (sent && !failedResult(results[i]))
            continue;
        const DbError e = pgResultError(sent ? results[i] : nullptr);
        for (int k = 0; k < n; ++k)
            PQclear(std::exchange(results[k], nullptr));
        if (sent && i >= undoFrom && i < undoTo)
            pgUndoStatement();
        throw e;
    }
}

void Database::adoptPgResult(Rows &rows, void *result, const QString &sql)
{
    const auto *res = static_cast<const PGresult *>(result);
    for (int c = 0, n = PQnfields(res); c < n; ++c) {
        rows.m_columns << QString::fromUtf8(PQfname(res, c));
        rows.m_metaTypes << QMetaType(pgMetaType(PQftype(res, c)));
    }
    pgRespell(rows.m_columns, sql, res);
    rows.m_pg = res;
    rows.m_pgOwned = true;
    rows.m_pgRows = PQntuples(res);
}

QVariant Rows::pgValueAt(int column) const { return pgValue(static_cast<const PGresult *>(m_pg), m_row, column); }

void Rows::clearPg()
{
    if (m_pgOwned)
        PQclear(static_cast<PGresult *>(const_cast<void *>(m_pg)));
    m_pg = nullptr;
    m_pgOwned = false;
}

bool PgStatement::next()
{
    if (!m_result || m_row + 1 >= PQntuples(static_cast<PGresult *>(m_result)))
        return false;
    ++m_row;
    return true;
}

QVariant PgStatement::value(int column) const
{
    const auto *res = static_cast<const PGresult *>(m_result);
    if (!res || m_row < 0 || column < 0 || column >= PQnfields(res))
        return QVariant();
    return pgValue(res, m_row, column);
}

int PgStatement::size() const { return m_result ? PQntuples(static_cast<const PGresult *>(m_result)) : -1; }

int PgStatement::numRowsAffected() const
{
    return m_result ? std::atoi(PQcmdTuples(static_cast<PGresult *>(m_result))) : -1;
}

bool PgStatement::isSelect() const
{
    return m_result && PQresultStatus(static_cast<const PGresult *>(m_result)) == PGRES_TUPLES_OK;
}

ResultSet PgStatement::rest()
{
    const auto *res = static_cast<const PGresult *>(m_result);
    ResultSet rs = rowsOf(res, m_row + 1);
    if (res)
        m_row = PQntuples(res);
    return rs;
}

PgTogether::~PgTogether()
{
    for (Item &i : m_items)
        PQclear(static_cast<PGresult *>(i.result));
}

int PgTogether::add(PgStatement &q)
{
    m_items.append({q.m_name, q.m_values, q.m_null, nullptr});
    return int(m_items.size()) - 1;
}

void PgTogether::run()
{
    if (m_items.isEmpty())
        return;
    m_db.checkTransactionAlive();
    // As a statement run alone: a failure must not end the caller's
    // transaction, unless the caller undoes all of it anyway.
    const bool guarded = m_db.m_tranDepth > 0 && m_db.m_allOrNothing == 0;
    const int n = int(m_items.size());
    QVector<QVector<const char *>> values(n);
    QVector<QVector<int>> lengths(n);
    QVector<PipelineItem> items;
    if (guarded)
        items.append({"SAVEPOINT pk_statement"});
    for (int i = 0; i < n; ++i) {
        const Item &it = m_items[i];
        for (int v = 0; v < it.values.size(); ++v) {
            values[i].append(it.null[v] ? nullptr : it.values[v].constData());
            lengths[i].append(int(it.values[v].size()));
        }
        items.append({nullptr, &it.name, int(it.values.size()), values[i].constData(), lengths[i].constData()});
    }
    if (guarded)
        items.append({"RELEASE SAVEPOINT pk_statement"});
    QVector<PGresult *> results(items.size(), nullptr);
    const int first = guarded ? 1 : 0;
    m_db.pgPipeline(items.constData(), int(items.size()), results.data(), first, guarded ? first + n : 0);
    m_db.busyOver();
    for (int i = 0; i < n; ++i)
        m_items[i].result = std::exchange(results[first + i], nullptr);
    for (PGresult *r : results)
        PQclear(r);
}

int PgTogether::rowsAffected(int place) const
{
    const auto *res = static_cast<PGresult *>(m_items.value(place).result);
    return res ? std::atoi(PQcmdTuples(const_cast<PGresult *>(res))) : -1;
}

ResultSet PgTogether::rows(int place) const { return rowsOf(static_cast<PGresult *>(m_items.value(place).result), 0); }

void PgStatement::finish()
{
    PQclear(static_cast<PGresult *>(m_result));
    m_result = nullptr;
    m_row = -1;
}

DbError Database::pgResultError(const void *result)
{
    PGconn *conn = pgConnection(m_db);
    const auto *res = static_cast<const PGresult *>(result);
    const QString text = QString::fromUtf8(res ? PQresultErrorMessage(res) : conn ? PQerrorMessage(conn) : "");
    const char *state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    const bool lost = !conn || PQstatus(conn) == CONNECTION_BAD;
    return pgError(QSqlError(QString(), text, lost ? QSqlError::ConnectionError : QSqlError::StatementError,
                             QString::fromLatin1(state ? state : "")));
}

bool Database::pgTryLock(const QString &key)
{
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT pg_try_advisory_lock(%1)").arg(pgLockKey(key))) || !q.next())
        throw pgError(q.lastError());
    return q.value(0).toBool();
}

void Database::pgUndoStatement()
{
    if (m_connectionLost)
        return;
    QSqlQuery r(m_db);
    r.exec(QStringLiteral("ROLLBACK TO SAVEPOINT pk_statement"));
    r.exec(QStringLiteral("RELEASE SAVEPOINT pk_statement"));
}

void Database::pgUnlock(const QString &key)
{
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(pgLockKey(key)));
}

const SchemaTypes *Database::pgSchemaTypes()
{
    if (!m_schemaDirty)
        return &m_schemaTypes;
    m_schemaTypes.clear();
    QSqlQuery q(m_db);
    if (q.exec(QStringLiteral("SELECT lower(table_name), lower(column_name), udt_name FROM information_schema.columns "
                              "WHERE table_schema = current_schema()"))) {
        while (q.next()) {
            const QString udt = q.value(2).toString();
            SqlType t = SqlType::Unknown;
            if (udt.startsWith(QLatin1String("int")))
                t = SqlType::Int;
            else if (udt == u"numeric" || udt.startsWith(QLatin1String("float")))
                t = SqlType::Num;
            else if (udt == u"varchar" || udt == u"text" || udt == u"citext" || udt == u"bpchar")
                t = SqlType::Text;
            else if (udt == u"date" || udt.startsWith(QLatin1String("timestamp")))
                t = SqlType::Date;
            m_schemaTypes[q.value(0).toString()].insert(q.value(1).toString(), t);
        }
    }
    m_schemaDirty = false;
    return &m_schemaTypes;
}

QVector<Database::TableColumn> Database::tableColumns(const QString &table)
{
    QVector<TableColumn> cols;
    if (isPostgres()) {
        const ResultSet rs = select(
            QStringLiteral("select c.column_name, upper(c.udt_name), c.column_default, "
                           "(select count(*) from information_schema.table_constraints t "
                           " join information_schema.key_column_usage k on k.constraint_name = t.constraint_name "
                           " and k.table_schema = t.table_schema and k.table_name = t.table_name "
                           " where t.constraint_type = 'PRIMARY KEY' and t.table_schema = c.table_schema "
                           " and t.table_name = c.table_name and k.column_name = c.column_name), "
                           "c.character_maximum_length, c.numeric_precision, c.numeric_scale, "
                           "(select d.description from pg_description d join pg_class r on r.oid = d.objoid "
                           " join pg_namespace n on n.oid = r.relnamespace where n.nspname = c.table_schema "
                           " and r.relname = c.table_name and d.objsubid = c.ordinal_position) "
                           "from information_schema.columns c where c.table_schema = current_schema() "
                           "and c.table_name = lower(:t) order by c.ordinal_position"),
            {{QStringLiteral("t"), table}});
        for (const auto &row : rs.rows) {
            // Named as SQLite's catalogue would: the type the schema declared.
            QString type = row[1].toString();
            const QString declared = row[7].toString();
            if (type == u"CITEXT")
                type = declared.isEmpty() ? QStringLiteral("VARCHAR") : declared;
            else if (type == u"INT2" && declared == u"BIT")
                type = declared;
            else if (type == u"INT8" || type == u"INT4" || type == u"INT2")
                type = QStringLiteral("INTEGER");
            else if (type == u"FLOAT8" || type == u"FLOAT4")
                type = QStringLiteral("REAL");
            else if (type == u"BYTEA")
                type = QStringLiteral("BLOB");
            else if ((type == u"VARCHAR" || type == u"BPCHAR") && !row[4].isNull())
                type = (type == u"BPCHAR" ? QStringLiteral("CHAR(%1)") : QStringLiteral("VARCHAR(%1)")).arg(row[4].toInt());
            else if (type == u"NUMERIC" && !row[5].isNull())
                type = QStringLiteral("NUMERIC(%1,%2)").arg(row[5].toInt()).arg(row[6].toInt());
            cols.push_back({row[0].toString(), type, row[3].toInt() > 0, !row[2].isNull()});
        }
        return cols;
    }
    QSqlQuery q(m_db);
    if (q.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(QString(table).replace(u'"', QLatin1String("\"\""))))) {
        while (q.next())
            cols.push_back({q.value(1).toString(), q.value(2).toString().toUpper(), q.value(5).toInt() > 0, !q.value(4).isNull()});
    }
    return cols;
}

QStringList Database::tableNames()
{
    const ResultSet rs = select(
        isPostgres() ? QStringLiteral("select lower(table_name) from information_schema.tables "
                                      "where table_schema = current_schema() and table_type = 'BASE TABLE'")
                     : QStringLiteral("select lower(name) from sqlite_master where type = 'table' and name not like 'sqlite%'"));
    QStringList names;
    for (const auto &row : rs.rows)
        names << row[0].toString();
    names.sort();
    return names;
}

bool Database::hasTable(const QString &table)
{
    if (isPostgres())
        return scalar(QStringLiteral("select count(*) from information_schema.tables where table_schema = current_schema() "
                                     "and table_name = lower(:t)"),
                      {{QStringLiteral("t"), table}})
                   .toInt() > 0;
    return scalar(QStringLiteral("select count(*) from sqlite_master where type in ('table','view') and name = :t COLLATE NOCASE"),
                  {{QStringLiteral("t"), table}})
               .toInt() > 0;
}

bool Database::hasColumn(const QString &table, const QString &column)
{
    if (isPostgres())
        return scalar(QStringLiteral("select count(*) from information_schema.columns where table_schema = current_schema() "
                                     "and table_name = lower(:t) and column_name = lower(:c)"),
                      {{QStringLiteral("t"), table}, {QStringLiteral("c"), column}})
                   .toInt() > 0;
    return scalar(QStringLiteral("select count(*) from pragma_table_info(:t) where upper(name) = upper(:c)"),
                  {{QStringLiteral("t"), table}, {QStringLiteral("c"), column}})
               .toInt() > 0;
}

void Database::pgRespell(QStringList &columns, const QString &sql, const pg_result *result)
{
    auto it = m_aliases.constFind(sql);
    if (it == m_aliases.constEnd()) {
        if (m_aliases.size() >= 512)
            m_aliases.clear();
        QHash<QString, QString> aliases;
        static const QRegularExpression as(QStringLiteral("\\bas\\s+[\\[\"]?(\\w+)"),
                                           QRegularExpression::CaseInsensitiveOption);
        for (auto m = as.globalMatch(sql); m.hasNext();) {
            const QString alias = m.next().captured(1);
            aliases.insert(alias.toLower(), alias);
        }
        it = m_aliases.insert(sql, aliases);
    }
    const int fields = result ? PQnfields(result) : 0;
    for (int i = 0; i < columns.size(); ++i) {
        QString &c = columns[i];
        // A name the server gives with capitals was quoted: it stays as it is.
        if (std::any_of(c.cbegin(), c.cend(), [](QChar ch) { return ch.isUpper(); }))
            continue;
        if (auto a = it->constFind(c); a != it->constEnd()) {
            c = *a;
            continue;
        }
        // A column of a table: as that table spells it (a name may be spelt
        // otherwise in another table).
        if (i < fields && PQftable(result, i) != InvalidOid) {
            const auto table = m_tableSpellings.constFind(pgTableOf(PQftable(result, i)));
            if (table != m_tableSpellings.constEnd())
                if (auto s = table->constFind(c); s != table->constEnd()) {
                    c = *s;
                    continue;
                }
        }
        if (auto s = m_spellings.constFind(c); s != m_spellings.constEnd())
            c = *s;
    }
}

QString Database::pgTableOf(unsigned oid)
{
    if (m_tableOids.isEmpty() && !m_tableSpellings.isEmpty()) {
        m_tableOids.insert(0, QString()); // asked once until the schema changes
        if (PGconn *conn = pgConnection(m_db)) {
            PGresult *r = PQexec(conn, "select oid::bigint, relname from pg_class where relnamespace = "
                                       "current_schema()::regnamespace and relkind in ('r', 'p')");
            if (PQresultStatus(r) == PGRES_TUPLES_OK)
                for (int row = 0; row < PQntuples(r); ++row)
                    m_tableOids.insert(unsigned(std::strtoul(PQgetvalue(r, row, 0), nullptr, 10)),
                                       QString::fromUtf8(PQgetvalue(r, row, 1)));
            PQclear(r);
        }
    }
    return m_tableOids.value(oid);
}

// ---------------------------------------------------------------- rows read in place

const pg_result *Database::pgResultOf(const QSqlQuery &q)
{
    const QSqlResult *result = q.result();
    const QVariant handle = result ? result->handle() : QVariant();
    // The driver declares the handle under libpq's struct name.
    if (!handle.isValid() || (qstrcmp(handle.typeName(), "pg_result*") != 0 && qstrcmp(handle.typeName(), "PGresult*") != 0))
        return nullptr;
    return *static_cast<PGresult *const *>(handle.constData());
}

bool Database::adoptPgResult(Rows &rows, QSqlQuery &q)
{
    const auto *res = pgResultOf(q);
    if (!res)
        return false;
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i) {
        rows.m_columns << rec.fieldName(i);
        rows.m_metaTypes << rec.field(i).metaType();
    }
    rows.m_pg = res;
    rows.m_pgRows = PQntuples(res);
    rows.m_query = std::make_unique<QSqlQuery>(std::move(q));
    return true;
}

Rows::Storage Rows::pgStorage(int column) const
{
    if (m_row < 0 || m_row >= m_pgRows || column < 0 || column >= m_columns.size())
        return Other;
    if (PQgetisnull(static_cast<const PGresult *>(m_pg), m_row, column))
        return Null;
    // The driver's type of the column says how its text is to be read.
    switch (m_metaTypes[column].id()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: return Integer;
    case QMetaType::Double: return Real;
    case QMetaType::QString: return Text;
    default: return Other;
    }
}

qint64 Rows::pgInteger(int column) const
{
    const QByteArrayView text = pgUtf8(column);
    qint64 v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

double Rows::pgReal(int column) const
{
    const QByteArrayView text = pgUtf8(column);
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

QByteArrayView Rows::pgUtf8(int column) const
{
    if (m_row < 0 || m_row >= m_pgRows || column < 0 || column >= m_columns.size())
        return {};
    const auto *res = static_cast<const PGresult *>(m_pg);
    return QByteArrayView(PQgetvalue(res, m_row, column), PQgetlength(res, m_row, column));
}

} // namespace db
