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
#include <QUrl>

#include <libpq-fe.h>

#include <charconv>

#include <sqlite3.h>

namespace db {

namespace {

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

// What the translator writes for the date functions, made on the server as
// TsqlFunctions makes them on SQLite: the same parts, the same boundaries.
const char *const kPgSupport = R"sql(
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

qint64 Database::pgNewKey(const QString &table, int count, qint64 above)
{
    // The key table row written by this very transaction (new books being
    // made) is not visible, or is locked, to the second connection: such keys
    // come from this connection.
    if (!m_keysWritten) {
        if (m_keyConnectionName.isEmpty()) {
            m_keyConnectionName = m_connectionName + QStringLiteral("_keys");
            QSqlDatabase keys = QSqlDatabase::cloneDatabase(m_db, m_keyConnectionName);
            if (!keys.open())
                throw pgError(keys.lastError());
            QSqlQuery s(keys);
            s.exec(QStringLiteral("SET lock_timeout = %1").arg(m_busyTimeoutMs));
        }
        QSqlDatabase keys = QSqlDatabase::database(m_keyConnectionName, false);
        QSqlQuery q(keys);
        if (!q.exec(QStringLiteral("UPDATE sys_keytable SET KEYVALUE = greatest(KEYVALUE, %2) + %3 WHERE TABLENAME = %1 "
                                   "RETURNING KEYVALUE")
                        .arg(QuotedStr(table))
                        .arg(above)
                        .arg(count)))
            throw pgError(q.lastError());
        if (q.next())
            return q.value(0).toLongLong();
        if (m_tranDepth == 0)
            throw DbError(QStringLiteral("键值表中没有表 %1 的记录。").arg(table));
    }
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("UPDATE sys_keytable SET KEYVALUE = greatest(KEYVALUE, %2) + %3 WHERE TABLENAME = %1 "
                               "RETURNING KEYVALUE")
                    .arg(QuotedStr(table))
                    .arg(above)
                    .arg(count)))
        throw pgError(q.lastError());
    if (!q.next())
        throw DbError(QStringLiteral("键值表中没有表 %1 的记录。").arg(table));
    m_keysWritten = true;
    return q.value(0).toLongLong();
}

QSqlQuery &Database::keptStatement(const QString &sql)
{
    std::unique_ptr<QSqlQuery> &q = m_keptStatements[sql];
    if (!q) {
        auto fresh = std::make_unique<QSqlQuery>(m_db);
        // The whole result at once: another statement may run before it is read.
        fresh->setForwardOnly(false);
        checkTransactionAlive();
        if (!fresh->prepare(sql)) {
            const DbError e = engineError(fresh->lastError());
            m_keptStatements.erase(sql);
            throw e;
        }
        q = std::move(fresh);
    }
    return *q;
}

QSqlQuery &Database::keptRead(const QString &sql)
{
    // The same reads come back with every note (rights, parameters, lookups);
    // prepared afresh each would cost PREPARE, EXECUTE and DEALLOCATE, three
    // round trips to the server instead of one.
    auto it = m_keptReads.find(sql);
    if (it != m_keptReads.end())
        return *it->second;
    // Texts built at run time must not pile up on the server.
    if (m_keptReads.size() >= 256)
        m_keptReads.clear();
    auto q = std::make_unique<QSqlQuery>(m_db);
    prepareTranslated(*q, sql);
    return *m_keptReads.emplace(sql, std::move(q)).first->second;
}

ResultSet Database::runKept(const QString &tsql, const Params &params, int *rowsAffected)
{
    if (!isPostgres())
        throw DbError(QStringLiteral("只有服务器上的帐套保留预备语句。"));
    const QString sql = translate(tsql);
    injectIfDue(sql, false); // a test's injected fault reaches the postings' statements too
    QSqlQuery &q = keptStatement(sql);
    for (const auto &[ph, v] : boundParams(sql, params))
        q.bindValue(ph, v);
    if (!q.exec())
        throw engineError(q.lastError());
    busyOver();
    if (rowsAffected)
        *rowsAffected = q.numRowsAffected();
    ResultSet rs = q.isSelect() ? resultOf(q) : ResultSet();
    q.finish();
    return rs;
}

bool Database::pgTryLock(const QString &key)
{
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT pg_try_advisory_lock(%1)").arg(pgLockKey(key))) || !q.next())
        throw pgError(q.lastError());
    return q.value(0).toBool();
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

void Database::pgRespell(QStringList &columns, const QString &sql)
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
    for (QString &c : columns) {
        // A name the server gives with capitals was quoted: it stays as it is.
        if (std::any_of(c.cbegin(), c.cend(), [](QChar ch) { return ch.isUpper(); }))
            continue;
        if (auto a = it->constFind(c); a != it->constEnd())
            c = *a;
        else if (auto s = m_spellings.constFind(c); s != m_spellings.constEnd())
            c = *s;
    }
}

// ---------------------------------------------------------------- rows read in place

bool Database::adoptPgResult(Rows &rows, QSqlQuery &q)
{
    const QSqlResult *result = q.result();
    const QVariant handle = result ? result->handle() : QVariant();
    // The driver declares the handle under libpq's struct name.
    if (!handle.isValid() || (qstrcmp(handle.typeName(), "pg_result*") != 0 && qstrcmp(handle.typeName(), "PGresult*") != 0))
        return false;
    const auto *res = *static_cast<PGresult *const *>(handle.constData());
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
