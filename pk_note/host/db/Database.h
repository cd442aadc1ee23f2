#pragma once
// The database layer: one connection to the books, T-SQL translated for the
// embedded engine, a batch runner for the few T-SQL control statements the
// package uses, server procedures and SQL functions written in C++, the state
// posting queue, transactions, keys and named locks.

#include "DbTypes.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <unordered_map>

struct sqlite3_stmt;
struct pg_result;

namespace db {

class TsqlTranslator;
enum class SqlType : unsigned char;

class Database;

// A server procedure written in C++; it runs on the caller's connection inside the
// caller's transaction, may write its OUTPUT arguments and may return a result set.
using Procedure = std::function<ResultSet(Database &, QVector<ProcArg> &)>;
// A scalar SQL function usable inside statements.
using SqlFunction = std::function<QVariant(const QVariantList &)>;
// A posting run when a master table's NOTESTATE changes.
struct PostingEvent {
    QString table;    // lower-case master table name
    qint64 noteId = 0;
    int oldState = 0;
    int newState = 0;
};
using PostingHandler = std::function<void(Database &, const PostingEvent &)>;

// Process-wide registries, filled once by the database side (libnotedb) and by tests.
class Registry {
public:
    static Registry &instance();
    void addProcedure(const QString &name, Procedure proc);
    // A procedure that only reads runs without a transaction of its own: on
    // the server that saves the BEGIN and COMMIT round trips of every check.
    void addReadingProcedure(const QString &name, Procedure proc);
    bool onlyReads(const QString &name) const { return m_readers.contains(name.toUpper()); }
    void addFunction(const QString &name, int argCount, SqlFunction fn);
    void addPosting(const QString &table, PostingHandler handler);
    const Procedure *procedure(const QString &name) const;
    const PostingHandler *posting(const QString &table) const;
    struct Function {
        QString name;
        int argCount;
        SqlFunction fn;
    };
    const QVector<Function> &functions() const { return m_functions; }
    QStringList procedureNames() const;

private:
    QHash<QString, Procedure> m_procedures;   // upper-case name
    QSet<QString> m_readers;                  // upper-case names of those that only read
    QHash<QString, PostingHandler> m_postings; // lower-case table
    QVector<Function> m_functions;
};

// The rows of one statement, read forward only. A select is stepped straight
// on the engine: values come as the Qt driver gives them (integers as
// qlonglong, reals as double, text as QString, blobs as QByteArray, NULL as a
// null QString) and the columns carry the driver's types, without the driver's
// row cache and its conversion of every text to UTF-16, which cost a data set
// of a thousand lines more than the reading itself. Anything else (a write, a
// batch) is run the usual way and its rows handed out the same.
class Rows {
public:
    Rows() = default;
    Rows(Rows &&other) noexcept;
    Rows &operator=(Rows &&other) noexcept;
    Rows(const Rows &) = delete;
    Rows &operator=(const Rows &) = delete;
    ~Rows();

    const QStringList &columns() const { return m_columns; }
    const QVector<QMetaType> &metaTypes() const { return m_metaTypes; }
    int columnCount() const { return int(m_columns.size()); }
    // Moves to the next row; false after the last. Throws DbError.
    bool next();
    QVariant value(int column) const;
    // How the engine holds a value of the current row, for readers that convert
    // it themselves (a statement run the usual way says Other).
    enum Storage { Integer = 1, Real = 2, Text = 3, Blob = 4, Null = 5, Other = 0 };
    Storage storage(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    QString text(int column) const;
    // The UTF-8 bytes of a text value, valid until next().
    QByteArrayView utf8(int column) const;
    // What value() gives for NULL: a null QString, as the driver has it.
    static const QVariant &nullValue();

private:
    Storage pgStorage(int column) const;
    qint64 pgInteger(int column) const;
    double pgReal(int column) const;
    QByteArrayView pgUtf8(int column) const;
    QVariant pgValueAt(int column) const;
    void clearPg();
    friend class Database;
    Database *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
    QString m_sql; // the statement's text, under which it goes back to the cache
    bool m_pending = false; // the statement stands on a row not yet handed out
    bool m_onRow = false;
    ResultSet m_rows;       // rows of a statement run the usual way
    int m_row = -1;
    // PostgreSQL: the driver's whole result, read in place rather than copied.
    std::unique_ptr<QSqlQuery> m_query;
    const void *m_pg = nullptr; // its PGresult
    bool m_pgOwned = false;     // the PGresult is ours to free (else m_query's)
    int m_pgRows = 0;
    QStringList m_columns;
    QVector<QMetaType> m_metaTypes;
};

// PostgreSQL: a statement prepared once on the connection through libpq
// itself. The Qt driver writes every value into an EXECUTE statement that the
// server parses again each time; here the values go apart from the text, and
// the result is read where libpq holds it.
class PgStatement {
public:
    ~PgStatement();
    PgStatement(const PgStatement &) = delete;
    PgStatement &operator=(const PgStatement &) = delete;
    void bindValue(int position, const QVariant &value); // from 0, in the text's order
    void bindValue(const QString &placeholder, const QVariant &value); // ":name"
    // Runs it with the values bound; throws DbError with the server's text.
    // `guarded`: under the statement savepoint (a failure leaves the transaction usable).
    void exec(bool guarded = false);
    void *takeResult(); // the PGresult, now the caller's
    bool next(); // the first row, then the next
    QVariant value(int column) const;
    int size() const;            // the rows a select gave
    int numRowsAffected() const; // the rows a write changed
    bool isSelect() const;
    ResultSet rest(); // the rows not yet read, columns named
    void finish();

private:
    friend class Database;
    friend class PgTogether;
    PgStatement(Database &db, const QString &sql);
    void prepare();
    Database &m_db;
    QByteArray m_name;
    QByteArray m_text;                  // with $1, $2... for the placeholders
    QHash<QString, int> m_named;        // lower-case ":name" -> its number
    int m_params = 0;
    QVector<QByteArray> m_values;       // bound, as text
    QVector<bool> m_null;
    void *m_result = nullptr; // PGresult
    int m_row = -1;
};

// PostgreSQL: kept statements sent together in one round trip (libpq's
// pipeline). They run in the order added, each with the values bound on it
// when it was added; a failure stops the rest and is thrown by run().
class PgTogether {
public:
    explicit PgTogether(Database &db) : m_db(db) {}
    ~PgTogether();
    PgTogether(const PgTogether &) = delete;
    PgTogether &operator=(const PgTogether &) = delete;
    int add(PgStatement &q); // its place in the results
    void run();
    int rowsAffected(int place) const;
    ResultSet rows(int place) const; // a select's rows, columns named

private:
    struct Item {
        QByteArray name;
        QVector<QByteArray> values;
        QVector<bool> null;
        void *result = nullptr; // PGresult
    };
    Database &m_db;
    QVector<Item> m_items;
};

class Database {
public:
    enum class Engine { Sqlite, Postgres };
    struct PgPipelineItem; // one statement sent in a pipeline (the server's layer only)

    // Opens (creating when `create`) an SQLite file, for reading only when
    // `readOnly`. Throws DbError on failure.
    static std::unique_ptr<Database> openSqlite(const QString &path, bool create = false, bool readOnly = false);
    // Opens books on a PostgreSQL server: postgresql://[user@]host[:port]/books,
    // postgresql:///books?host=/socket/dir, or ?service=NAME. Passwords come
    // only from libpq's own files and environment (.pgpass, PGPASSWORD, the
    // service file); an address carrying one is refused. Throws DbError.
    static std::unique_ptr<Database> openPostgres(const QString &address);
    // True for an address of books on a server rather than a file.
    static bool isServerAddress(const QString &address);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    QString path() const { return m_path; }
    // How the books' schema spells its column names, per table (lower case ->
    // spelling), given by whoever opens books on a server; see pgRespell().
    using TableSpellings = QHash<QString, QHash<QString, QString>>;
    void setColumnSpellings(const TableSpellings &spellings);
    // The column spellings of every CREATE TABLE in a DDL text, by table.
    static TableSpellings spellingsOf(const QString &ddl);
    Engine engine() const { return m_engine; }
    bool isPostgres() const { return m_engine == Engine::Postgres; }

    // PostgreSQL: runs a script of server statements as it is (no translation),
    // inside the open transaction. Throws DbError.
    void runServerScript(const QString &script);

    // The columns of a table as declared, in order, on either engine (for
    // client data sets, which must not read the engine's catalogue themselves).
    struct TableColumn {
        QString name;
        QString type;        // declared type, upper case
        bool primaryKey = false;
        bool hasDefault = false;
    };
    QVector<TableColumn> tableColumns(const QString &table);
    // The tables of the books (lower case, sorted), the layer's own included.
    QStringList tableNames();

    // Whether a table (or a column of it) exists, on either engine.
    bool hasTable(const QString &table);
    bool hasColumn(const QString &table, const QString &column);
    QSqlDatabase &connection() { return m_db; }
    QString connectionName() const { return m_connectionName; }

    // Translates one T-SQL statement for this engine (cached).
    QString translate(const QString &tsql);

    // Runs one statement (translated); returns the active query positioned before
    // the first row. Write statements outside a transaction run in their own and
    // have their postings drained before commit. Throws DbError.
    QSqlQuery exec(const QString &tsql, const Params &params = {});
    // exec() for a caller that wants only the rows a write changed (0 for
    // anything else). On the server a plain insert, update or delete goes with
    // its BEGIN, savepoint and the take of the postings it queued in one round
    // trip.
    int execWrite(const QString &tsql, const Params &params = {});
    // `tsql` with every whole number compared to or assigned to a column
    // (`noteId=37`) made a parameter added to `params`: the windows write
    // such statements with the note's numbers in the text, and the lifted
    // text is translated, and parsed by the server, once. Quoted text, names,
    // comments and any other number are left as they stand.
    static QString liftColumnNumbers(const QString &tsql, Params &params);
    // Prepares one statement (translated) without running it.
    QSqlQuery prepare(const QString &tsql);
    // The same for a statement already translated, on `q`.
    void prepareTranslated(QSqlQuery &q, const QString &sql);
    // Runs a query prepared by prepare() with its bound values; throws DbError.
    void execPrepared(QSqlQuery &q, bool isWrite);

    // Runs a T-SQL batch (exec, declare/select @v, if exists, SET XACT_ABORT /
    // BEGIN TRAN / COMMIT TRAN, alter table ... trigger all, plain statements).
    // Returns the last result set a statement of the batch produced.
    ResultSet run(const QString &batch, const Params &params = {});

    // First column of the first row, or a null QVariant when there is no row.
    QVariant scalar(const QString &tsql, const Params &params = {});
    ResultSet select(const QString &tsql, const Params &params = {});
    // Rules a batch asks of every note (rights, parameters, declarations) do
    // not change within one user action: while held (nested), steadySelect()
    // goes to the books once per statement and values; otherwise it is select().
    void holdSteady(bool hold);
    ResultSet steadySelect(const QString &tsql, const Params &params = {});
    // The rows of one statement or batch, read forward only (see Rows).
    Rows read(const QString &tsql, const Params &params = {});

    // Transactions (nested BEGIN counts levels, as T-SQL does; ROLLBACK undoes all).
    // When the engine has already ended the transaction itself (it does so on a
    // full disk or an I/O error), rollbackTran only forgets it, and commitTran
    // forgets it and throws; statements run before that are refused, so nothing
    // runs outside the transaction the caller believes is open.
    void beginTran();
    void commitTran();
    void rollbackTran();
    bool inTransaction() const { return m_tranDepth > 0; }
    // While one lives, a statement that fails on the server ends the whole
    // transaction instead of itself alone: for writers that roll back on any
    // failure (a data set's all-or-nothing apply), whose statements then save
    // the two round trips of a savepoint each. SQLite is not affected.
    class AllOrNothing {
    public:
        explicit AllOrNothing(Database &d) : m_d(d) { ++m_d.m_allOrNothing; }
        ~AllOrNothing() { --m_d.m_allOrNothing; }
        AllOrNothing(const AllOrNothing &) = delete;
        AllOrNothing &operator=(const AllOrNothing &) = delete;

    private:
        Database &m_d;
    };
    int tranDepth() const { return m_tranDepth; }

    // Rows written by the last write statement itself (its postings not counted).
    int lastRowsAffected() const { return m_lastRowsAffected; }

    // How long a statement waits for another client's lock before it fails with
    // "books busy" (milliseconds).
    void setBusyTimeout(int ms);
    int busyTimeout() const { return m_busyTimeoutMs; }
    // Called with true when a statement of any connection of this process starts
    // waiting for another client's lock, and with false when the wait is over
    // (the host shows a wait cursor meanwhile).
    using BusyHook = std::function<void(bool waiting)>;
    static void setBusyHook(BusyHook hook);
    // Tells the hook about a wait of another kind (a named lock held elsewhere).
    static void announceBusy(bool waiting);
    static int defaultBusyTimeout();
    static void setDefaultBusyTimeout(int ms); // for connections opened later

    // True when the books cannot be written (read-only file or folder, or opened so).
    bool isReadOnly();

    // Makes the nth statement from now fail (see Fault); clearFault() undoes it.
    void injectFault(const Fault &fault);
    void clearFault() { m_fault.reset(); }

    // This connection's client id: a random token whose lock file the
    // connection holds while it lives (the OS drops the lock when the process
    // dies). clientAlive tells whether the client with that id still runs, so
    // records left by a client that is gone can be released.
    QString clientId();
    bool clientAlive(const QString &id);

    // Calls a registered procedure by name. Throws DbError for an unknown name.
    ResultSet callProcedure(const QString &name, QVector<ProcArg> &args);

    // Next key of `table` from the key table, in a transaction of its own when none
    // is open. Throws DbError when the key table has no row for `table`.
    qint64 newKey(const QString &table);
    // PostgreSQL: a block of `count` keys of `table` above the highest ID
    // already in the table; returns the first. The block comes as newKey's
    // do, so clients posting at once never wait on the key table.
    qint64 newKeyBlock(const QString &table, int count);
    // On the server: asks for that block now, so that the request travels
    // while this connection does other work; the next newKeyBlock() of the
    // same table and size reads the answer. Elsewhere nothing.
    void sendKeyBlock(const QString &table, int count);

    // PostgreSQL, for the postings, which run the same few statements for every
    // note under a savepoint of their own: `sql` (the engine's own text, `?`
    // or `:name` placeholders) prepared once and kept for the life of the
    // connection. The caller binds and runs it; it reads the whole result.
    PgStatement &keptStatement(const QString &sql);
    // SQLite: the prepared statement kept for `sql` (null when none is kept),
    // out of the cache while the caller uses it; returnStatement() resets it
    // and keeps it again. Lets the postings skip the parser for every note.
    sqlite3_stmt *takeStatement(const QString &sql);
    void returnStatement(const QString &sql, sqlite3_stmt *stmt);
    // The same for one T-SQL statement (translated), run with `params` and
    // without the savepoint exec() takes: a failure leaves the transaction to
    // be rolled back. Writes run no postings. `rowsAffected` gets the rows written.
    ResultSet runKept(const QString &tsql, const Params &params = {}, int *rowsAffected = nullptr);
    // The kept statement of `tsql` with `params` bound, to be run by the caller
    // (alone or with others, see PgTogether).
    PgStatement &boundKept(const QString &tsql, const Params &params = {});

    // The layer's error for a statement the engine refused, run by a caller on
    // connection() itself: the same sentence and code as the layer's own.
    DbError errorOf(const QSqlError &error) { return engineError(error); }

    // Named advisory lock across processes. take=true tries to take it (without
    // waiting) and returns false when another holder has it; take=false releases.
    bool setLock(const QString &name, bool take);
    bool holdsLock(const QString &name) const;

    // Runs the postings queued by state changes so far (also called by exec()).
    void drainPostings();

    // Whether the file holds the books of this system (the marker table exists).
    bool isOurs();
    // Marks the file as the books of this system, schema version `version`.
    void markOurs(int version);
    // Creates the layer's own tables (key table, posting queue, disabled triggers).
    void createSystemTables();
    // PostgreSQL: the functions translated statements and triggers call (made
    // anew: older books get the ones added since).
    void installServerSupport();
    // Makes a master table queue its NOTESTATE changes for the posting engine.
    void addStateTrigger(const QString &table);
    // True when the text needs the batch runner (exec, declare, if, begin tran, ...)
    // rather than running as one plain statement.
    static bool isBatch(const QString &tsql);
    // True when a single statement writes (insert, update, delete, DDL).
    static bool isWriteStatement(const QString &sql);

    // Date helpers: the storage forms of dates and date-times.
    static QString dateText(const QDate &d) { return d.toString(QStringLiteral("yyyy-MM-dd")); }
    static QString dateTimeText(const QDateTime &d) { return d.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }
    // Converts a stored value of a date or date-time column back to QDate / QDateTime.
    static QVariant toDateValue(const QVariant &stored);
    // Reads the rest of an executed query into a result set.
    static ResultSet resultOf(QSqlQuery &q);

private:
    Database() = default;
    void installFunctions();
    // PostgreSQL: a statement run on the connection as it is (no translation,
    // no placeholders); throws DbError.
    void pgRaw(const QString &sql);
    void runStatement(QSqlQuery &q, bool isWrite, const QString *simpleSql);
    DbError pgError(const QSqlError &error);
    DbError pgResultError(const void *result); // a PGresult's failure (null: the connection's)
    // Runs the prepared statement `name` with `count` values; gives its
    // PGresult. `guarded`: under the statement savepoint, in one round trip.
    void *pgExecute(const QByteArray &name, int count, const char *const *values, const int *lengths, bool guarded);
    // Sends `items` in one round trip (libpq's pipeline) and puts their
    // results in `results`, the caller's to free. A failure is thrown with
    // every result freed; when the item that failed is in [undoFrom, undoTo),
    // the statements under the statement savepoint, that is rolled back first.
    void pgPipeline(const PgPipelineItem *items, int n, pg_result **results, int undoFrom, int undoTo);
    void adoptPgResult(Rows &rows, void *result, const QString &sql);
    qint64 pgNewKey(const QString &table, int count = 1, bool aboveTop = false, bool ahead = false);
    bool pgTryLock(const QString &key);
    void pgUnlock(const QString &key);
    // Takes back the statement savepoint's work after a refused statement.
    void pgUndoStatement();
    const QHash<QString, QHash<QString, SqlType>> *pgSchemaTypes();
    QSqlQuery execTranslated(const QString &sql, const Params &params, bool isWrite);
    void bindAll(QSqlQuery &q, const Params &params);
    DbError engineError(const QSqlError &error);
    DbError engineError(int code, const QString &engineText);
    // The values bound to the :names of a translated statement, in order of first use.
    QVector<QPair<QString, QVariant>> boundParams(const QString &sql, const Params &params);
    bool engineEndedTransaction();
    void checkTransactionAlive();
    void injectIfDue(const QString &sql, bool control);
    void busyOver();
    static int busyHandler(void *self, int count);

    QSqlDatabase m_db;
    Engine m_engine = Engine::Sqlite;
    // PostgreSQL: the second connection that hands out keys outside the
    // caller's transaction, so a key is never given twice nor rolled back.
    QString m_keyConnectionName;
    QHash<QString, QByteArray> m_keyStatements; // prepared on the key connection, by text
    QString m_keyAhead;  // table and size of a block asked for and not yet read (sendKeyBlock)
    // Reads the answer to the block asked for ahead, if any: null when none
    // was asked, or for another table or size (that answer is dropped).
    struct pg_result *takeKeyAhead(const QString &wanted);
    bool m_keysWritten = false;    // this transaction wrote the key table itself
    bool m_connectionLost = false; // the server ended the transaction itself (connection lost, injected fault)
    bool m_schemaDirty = true;     // PostgreSQL: column types to be read again
    QString m_connectionName;
    QString m_path;
    int m_tranDepth = 0;
    int m_allOrNothing = 0; // AllOrNothing scopes alive
    int m_lastRowsAffected = 0;
    int m_busyTimeoutMs = 10000;
    bool m_busyWaiting = false;
    qint64 m_busyStartMs = 0;
    std::optional<Fault> m_fault;
    QString m_clientId;
    bool m_draining = false;
    // The open transaction is a single statement's own: whatever fails in it
    // rolls all of it back, postings included.
    bool m_statementTran = false;
    bool m_closing = false;
    bool m_postingsPending = false;
    // PostgreSQL: the tables whose triggers queue postings and those whose
    // triggers cannot (read from the catalogue when first needed, again after a
    // schema change). A write to one of the latter skips the queue's round trip.
    struct QueueTables {
        QSet<QString> queuing, quiet;
    };
    std::optional<QueueTables> m_queueTables;
    bool mayQueuePostings(const QString &sql);
    // The queued state changes, oldest first (on SQLite one at a time).
    QVector<PostingEvent> takeQueuedPostings();
    // On the server the state changes wait in a setting of the transaction, taken by this.
    static constexpr const char *kTakeQueue = "select * from pk_postqueue_take()";
    static PostingEvent postingEventOf(const QVector<QVariant> &row); // table, note, old and new state
    QHash<QString, QStringList> m_placeholders; // translated text -> :names in order
    // Selects read through Rows, prepared once: the lookups a window runs on
    // every note would otherwise spend most of their time in the parser.
    // A statement in use is out of the cache, so the same text can be read twice at once.
    QHash<QString, sqlite3_stmt *> m_statements;
    QStringList m_statementOrder; // least recently returned first
    // PostgreSQL: a statement prepared on the server and kept. The server
    // plans it once for all values, by the tables' sizes then: it is prepared
    // again after 64, 128, 256... uses, so that a plan made on empty books
    // does not scan the grown tables.
    struct Kept {
        std::unique_ptr<PgStatement> query;
        int uses = 0;
        int replanAt = 64;
        bool mayQueue = false; // a write that may queue postings (the drain must look)
    };
    // `read`: prepared under the statement savepoint, as a read runs.
    PgStatement &kept(std::unordered_map<QString, Kept> &cache, const QString &sql, bool read);
    std::unordered_map<QString, Kept> m_keptStatements; // see keptStatement()
    // PostgreSQL: reads with parameters, prepared once (see keptRead()).
    std::unordered_map<QString, Kept> m_keptReads;
    int m_steadyDepth = 0;
    QHash<QString, ResultSet> m_steadyAnswers;
    qint64 m_pgStatements = 0; // names given to statements prepared through libpq
    friend class PgStatement;
    friend class PgTogether;
    PgStatement &keptRead(const QString &sql);
    // execWrite() of a plain row write on the server; false when `sql` is not one.
    bool pgExecWrite(const QString &sql, const QVector<QPair<QString, QVariant>> &binds);
    std::optional<QVector<PostingEvent>> m_takenPostings; // taken with the write that queued them
    // PostgreSQL gives unquoted names back in lower case: result columns are
    // spelt as the statement's aliases, else as the schema spells them.
    // With the result at hand, a column of a table takes that table's spelling.
    void pgRespell(QStringList &columns, const QString &sql, const pg_result *result = nullptr);
    QString pgTableOf(unsigned oid);
    TableSpellings m_tableSpellings;                    // table -> lower case -> spelling
    QHash<QString, QString> m_spellings;                // lower case -> most common spelling
    QHash<unsigned, QString> m_tableOids;               // the server's table ids -> names
    QHash<QString, QHash<QString, QString>> m_aliases;  // statement -> its aliases' spellings
    // Copies the result of `q` into `rows` (its columns spelt as on SQLite).
    void copyRows(Rows &rows, QSqlQuery &q, const QString &sql);
    // Hands the result of `q` to `rows` to be read in place; false when the
    // driver does not show it (the caller copies the rows then).
    static bool adoptPgResult(Rows &rows, QSqlQuery &q);
    static const pg_result *pgResultOf(const QSqlQuery &q); // null when the driver does not show it
    void dropStatements();
    // Column types for the translator, read again when the schema version changes.
    const QHash<QString, QHash<QString, SqlType>> *schemaTypes();
    QHash<QString, QHash<QString, SqlType>> m_schemaTypes;
    int m_schemaVersion = -1;
    static void updateHook(void *self, int op, const char *dbName, const char *table, long long rowid);
    std::unique_ptr<TsqlTranslator> m_translator;
    QHash<QString, int> m_lockFds; // upper-case lock name -> open file descriptor
    friend class BatchRunner;
    friend class Rows;
};

} // namespace db
