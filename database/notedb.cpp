#include "notedb.h"
#include "NotedbPrivate.h"
#include "NumberingFunctions.h"
#include "Procedures.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QFileInfo>

#include <sodium.h>

#include <mutex>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initNotedbResources() { Q_INIT_RESOURCE(notedb); }

namespace notedb {

using db::DbError;

namespace detail {

const QVector<KeyTable> &keyTables()
{
    static const QVector<KeyTable> tables = {
        // host tables and master data
        {"operatormth", "OPERATEID"}, {"notemsginfth", "MSGID"}, {"noteflowaath", "ID"},
        {"shopdth", "SHOPERATEID"}, {"arealth", "AREAID"}, {"departmentlth", "DEPID"},
        {"emptypelth", "EMPTYPESID"}, {"employlth", "EMPID"}, {"storelth", "BUILDINGID"},
        {"subjectalth", "SUBJECTID"}, {"accountacth", "ACCOUNTID"}, {"paymethodlth", "PAYTYPESID"},
        {"iotypelth", "IOTYPESID"}, {"ietypelth", "IETYPESID"}, {"unitlth", "UNITSID"}, {"CommoditylthType", "GDTYPESID"},
        {"Commoditylth", "COMMODITYID"}, {"partnerlth", "PARTNERID"}, {"PcSplit", "ID"},
        // master tables of the note types: a saved note takes its key from here
        {"purchasepthPlan", ""}, {"RePurchase", ""}, {"orderpth", ""}, {"valuepth", ""}, {"purchasepth", ""},
        {"salesthPlan", ""}, {"ordersth", ""}, {"DeputeMarketsth", ""}, {"salesth", ""}, {"S_Price", ""},
        {"iostoreith", ""}, {"OtherInith", ""}, {"OtherOutith", ""}, {"drawith", ""}, {"Badsthith", ""},
        {"Togetherith", ""}, {"disTogetherith", ""}, {"Attaintith", ""}, {"BalItemith", ""},
        {"ChgPriceith", ""}, {"PlaceAdjustith", ""}, {"PrdCheckth", ""}, {"manuordermnfth", ""},
        {"Manuplanmnfth", ""}, {"OutMoneymnfth", ""}, {"OutManuOrderth", ""}, {"Outdrawith", ""},
        {"PrdInStoreth", ""}, {"OutPrdInStoreth", ""}, {"PrdToCheckth", ""}, {"movebth", ""},
        {"expenseath", ""}, {"InComebth", ""}, {"payath", ""}, {"chargeath", ""}, {"COUNTERACTATH", ""},
        {"fillath", ""}, {"saleposth", ""}, {"inoutcashposth", ""}, {"closeposth", ""},
        {"savingcardposth", ""}, {"adjpriceposth", ""}, {"BFPrdth", ""}, {"BackPrdth", ""},
        {"RepairPrdth", ""},
    };
    return tables;
}

void raiseKeysToData(db::Database &database)
{
    for (const KeyTable &k : keyTables()) {
        if (!*k.idColumn)
            continue;
        const QVariant top = database.scalar(QStringLiteral("select max(%1) from %2")
                                                 .arg(QLatin1String(k.idColumn), QLatin1String(k.table)));
        ensureKey(database, QLatin1String(k.table), top.isNull() ? 0 : top.toLongLong());
    }
}

void insertRow(db::Database &database, const QString &table, const QStringList &columns, const QVariantList &values)
{
    QStringList marks;
    db::Params p;
    for (int i = 0; i < columns.size(); ++i) {
        marks << QStringLiteral(":v%1").arg(i);
        p.insert(QStringLiteral("v%1").arg(i), values.value(i));
    }
    database.exec(QStringLiteral("insert into %1 (%2) values (%3)").arg(table, columns.join(u", "), marks.join(u", ")), p);
}

void inTransaction(db::Database &database, const std::function<void()> &step)
{
    database.beginTran();
    try {
        step();
        database.commitTran();
    } catch (...) {
        if (database.inTransaction())
            database.rollbackTran();
        throw;
    }
}

} // namespace detail

namespace {

const QString kNotOurs = QStringLiteral("不是本系统的帐套文件: %1（可用 notectl init 创建新帐套）");

void removeDatabaseFiles(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

bool isSqliteFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    static const QByteArray magic("SQLite format 3\0", 16);
    return f.read(magic.size()) == magic;
}

void rollbackIfOpen(db::Database &database)
{
    if (database.inTransaction()) {
        try {
            database.rollbackTran();
        } catch (const DbError &) {
            // the original error matters more than a failed rollback
        }
    }
}

} // namespace

void install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        initNotedbResources();
        registerNumberingFunctions();
        registerFrameworkProcedures();
        registerStockCheck();
        registerCommodityPrices();
        registerMoneyPostings();
        registerSettlementPostings();
        registerStockPostings();
        registerPurchaseProcedures();
        registerStockDocProcedures();
    });
}

QStringList schemaFiles()
{
    install();
    QStringList files;
    const QDir dir(QStringLiteral(":/notedb/schema"));
    for (const QString &name : dir.entryList({QStringLiteral("*.sql")}, QDir::Files, QDir::Name))
        files << dir.filePath(name);
    return files;
}

namespace {

// How the schema spells each column name, table by table, for a server that
// gives names back folded to lower case.
const db::Database::TableSpellings &columnSpellings()
{
    static const db::Database::TableSpellings spellings = [] {
        db::Database::TableSpellings out;
        for (const QString &path : schemaFiles()) {
            QFile f(path);
            if (f.open(QIODevice::ReadOnly))
                out.insert(db::Database::spellingsOf(QString::fromUtf8(f.readAll())));
        }
        return out;
    }();
    return spellings;
}

} // namespace

QStringList splitStatements(const QString &script)
{
    QStringList out;
    QString cur;
    bool inTrigger = false; // a trigger body holds semicolons of its own; it ends at "END;"
    QString lastWord;
    const auto flush = [&] {
        const QString s = cur.trimmed();
        if (!s.isEmpty())
            out << s;
        cur.clear();
        inTrigger = false;
        lastWord.clear();
    };
    const int n = int(script.size());
    int i = 0;
    while (i < n) {
        const QChar c = script[i];
        if (c == u'-' && i + 1 < n && script[i + 1] == u'-') {
            while (i < n && script[i] != u'\n')
                ++i;
            continue;
        }
        if (c == u'/' && i + 1 < n && script[i + 1] == u'*') {
            const int end = int(script.indexOf(QStringLiteral("*/"), i + 2));
            i = end < 0 ? n : end + 2;
            cur += u' ';
            continue;
        }
        if (c == u'\'' || c == u'"' || c == u'[') {
            const QChar close = c == u'[' ? QChar(u']') : c;
            int j = i + 1;
            while (j < n) {
                if (script[j] == close) {
                    if (close != u']' && j + 1 < n && script[j + 1] == close) {
                        j += 2; // doubled quote inside the literal
                        continue;
                    }
                    break;
                }
                ++j;
            }
            cur += script.mid(i, j - i + 1);
            i = j + 1;
            lastWord.clear();
            continue;
        }
        if (c.isLetter() || c == u'_') {
            int j = i;
            while (j < n && (script[j].isLetterOrNumber() || script[j] == u'_'))
                ++j;
            const QString word = script.mid(i, j - i);
            cur += word;
            if (!inTrigger && word.compare(QLatin1String("TRIGGER"), Qt::CaseInsensitive) == 0 &&
                cur.trimmed().startsWith(QLatin1String("CREATE"), Qt::CaseInsensitive))
                inTrigger = true;
            lastWord = word;
            i = j;
            continue;
        }
        if (c == u';') {
            if (inTrigger && lastWord.compare(QLatin1String("END"), Qt::CaseInsensitive) != 0) {
                cur += c;
                lastWord.clear();
                ++i;
                continue;
            }
            flush();
            ++i;
            continue;
        }
        if (!c.isSpace())
            lastWord.clear();
        cur += c;
        ++i;
    }
    flush();
    return out;
}

namespace {

// Columns added since books were first made at this version; books opened for
// reading only are left as they are.
void addMissingColumns(db::Database &database)
{
    if (database.isReadOnly())
        return;
    if (!database.hasColumn(QStringLiteral("notecodereserveth"), QStringLiteral("CLIENTID")))
        database.exec(QStringLiteral("alter table notecodereserveth add CLIENTID varchar(40)"));
    if (!database.hasColumn(QStringLiteral("partnerlth"), QStringLiteral("PRICELEVEL")))
        database.exec(QStringLiteral("alter table partnerlth add PRICELEVEL integer"));
    // The stock postings: the link of a system reversal to its receipt, the
    // posting log with the trigger and indexes that came with it, and the keys
    // of the batch split rows and of the requisition.
    if (!database.hasColumn(QStringLiteral("valuepth"), QStringLiteral("PURCHASENOTEID")))
        database.exec(QStringLiteral("alter table valuepth add PURCHASENOTEID integer"));
    if (!database.hasTable(QStringLiteral("notepostlogaath"))) {
        QFile f(QStringLiteral(":/notedb/schema/55_postings.sql"));
        if (f.open(QIODevice::ReadOnly))
            for (const QString &statement : splitStatements(QString::fromUtf8(f.readAll())))
                database.exec(statement);
    }
    // The goods index of the flows carries the flow id (a removed flow moves
    // the balance of the later ones); SQLite's carries the row id by itself.
    // The server's functions added since (the queue of postings).
    if (database.isPostgres()) {
        if (database.scalar(QStringLiteral("select to_regproc('pk_postqueue_take') is null")).toBool())
            database.installServerSupport();
        const QString index = database.scalar(QStringLiteral("select indexdef from pg_indexes where indexname = "
                                                             "'ix_noteflowaath_goods'")).toString();
        if (!index.isEmpty() && !index.contains(QLatin1String("buildingid, id)"), Qt::CaseInsensitive)) {
            database.exec(QStringLiteral("drop index ix_noteflowaath_goods"));
            database.exec(QStringLiteral("create index ix_noteflowaath_goods on noteflowaath (COMMODITYID, BUILDINGID, ID)"));
        }
    }
    ensureKey(database, QStringLiteral("PcSplit"), 0);
    ensureKey(database, QStringLiteral("RePurchase"), 0);
    // The payments and receipts of money with their settlement.
    if (!database.hasTable(QStringLiteral("payath"))) {
        QFile f(QStringLiteral(":/notedb/schema/80_payments.sql"));
        if (f.open(QIODevice::ReadOnly))
            for (const QString &statement : splitStatements(QString::fromUtf8(f.readAll())))
                database.exec(statement);
    }
    // A note's paid-now amount counts as settled since payments came: the
    // guards of settled notes compare REFERAMT with it.
    const QString guard = database.isPostgres() ? QString() // the server's books are made with the new guard
                          : database.scalar(QStringLiteral("select sql from sqlite_master where name = 'trg_salesth_settled'")).toString();
    if (!guard.isEmpty() && !guard.contains(QLatin1String("PAYAMT"), Qt::CaseInsensitive)) {
        QFile f(QStringLiteral(":/notedb/schema/80_payments.sql"));
        if (f.open(QIODevice::ReadOnly))
            for (const QString &statement : splitStatements(QString::fromUtf8(f.readAll())))
                if (const auto m = QRegularExpression(QStringLiteral("TRIGGER IF NOT EXISTS (\\w+_settled\\w*)")).match(statement);
                    m.hasMatch()) {
                    database.exec(QStringLiteral("drop trigger if exists ") + m.captured(1));
                    database.exec(statement);
                }
    }
    // The accounting vouchers the money notes name.
    if (!database.hasTable(QStringLiteral("kredaath"))) {
        database.exec(QStringLiteral("create table kredtypealth (ID integer not null primary key, "
                                     "NAME varchar(20) collate TSQL not null)"));
        database.exec(QStringLiteral("create table kredaath (CREDID integer not null primary key, CREDTYPEID integer, "
                                     "CREDNO varchar(20) collate TSQL, CREDDATE date)"));
    }
    // The price differences a transfer of kind 2 books to its account.
    if (!database.hasTable(QStringLiteral("subjectflowaath"))) {
        database.exec(QStringLiteral("create table subjectflowaath (ID integer not null primary key, SUBJECTID integer, "
                                     "NOTETYPE integer not null, NOTEID integer not null, ITEMSNO integer, "
                                     "NOTECODE varchar(32) collate TSQL, NOTEDATE date, "
                                     "AMOUNT numeric(19,6) not null default 0)"));
        database.exec(QStringLiteral("create index ix_subjectflowaath_note on subjectflowaath (NOTETYPE, NOTEID)"));
    }
    ensureKey(database, QStringLiteral("subjectflowaath"), 0);
    // The list of every note, over the master tables the books keep.
    if (!database.hasTable(QStringLiteral("allnote")))
        createAllNoteView(database);
    // The packaging formats of sale lines.
    if (!database.hasTable(QStringLiteral("packlist")))
        database.exec(QStringLiteral("create table packlist (ID integer primary key, NAME varchar(40) collate TSQL not null, "
                                     "PACKVALUE numeric(19,6) default 0, DISAMOUNT numeric(19,6) default 0)"));
}

} // namespace

void createSchema(db::Database &database)
{
    const QStringList files = schemaFiles();
    if (files.isEmpty())
        throw DbError(QStringLiteral("建表脚本缺失: 资源 :/notedb/schema 中没有 .sql 文件"));
    database.beginTran();
    try {
        database.createSystemTables(); // the key table must exist before it is seeded
        if (database.isPostgres()) {
            // The functions statements call, which SQLite has from the layer.
            QFile f(QStringLiteral(":/notedb/pg/functions.sql"));
            if (!f.open(QIODevice::ReadOnly))
                throw DbError(QStringLiteral("无法读取建表脚本 %1").arg(f.fileName()));
            database.runServerScript(QString::fromUtf8(f.readAll()));
        }
        for (const QString &file : files) {
            QFile f(file);
            if (!f.open(QIODevice::ReadOnly))
                throw DbError(QStringLiteral("无法读取建表脚本 %1").arg(file));
            const QString script = QString::fromUtf8(f.readAll());
            for (const QString &statement : splitStatements(script)) {
                try {
                    database.exec(statement);
                } catch (const DbError &e) {
                    throw DbError(QStringLiteral("%1: %2\n%3").arg(QFileInfo(file).fileName(), e.text(), statement));
                }
            }
        }
        for (const detail::KeyTable &k : detail::keyTables())
            ensureKey(database, QLatin1String(k.table), 0);
        createAllNoteView(database); // over the master tables made above
        database.markOurs(kSchemaVersion);
        database.commitTran();
    } catch (...) {
        rollbackIfOpen(database);
        throw;
    }
}

namespace {

void checkVersion(db::Database &database, const QString &path)
{
    const int version = database.scalar(QStringLiteral("select max(VERSION) from sys_books")).toInt();
    if (version > kSchemaVersion)
        throw DbError(QStringLiteral("帐套版本 %1 高于本程序支持的版本 %2: %3（请升级程序）")
                          .arg(version)
                          .arg(kSchemaVersion)
                          .arg(path));
}

// Books on a server: the database must exist and hold our books.
std::unique_ptr<db::Database> openServerBooks(const QString &address)
{
    std::unique_ptr<db::Database> database = db::Database::openPostgres(address);
    if (!database->isOurs())
        throw DbError(QStringLiteral("不是本系统的帐套: %1（可用 notectl init 在空数据库中创建帐套）").arg(address));
    checkVersion(*database, address);
    addMissingColumns(*database);
    database->setColumnSpellings(columnSpellings());
    return database;
}

// New books in an empty database on a server, in one transaction: the
// server's DDL is transactional, so a failure leaves the database empty.
std::unique_ptr<db::Database> createServerBooks(const QString &address, bool demo, const QDate &today,
                                                const BuildStep &extraStep)
{
    std::unique_ptr<db::Database> database = db::Database::openPostgres(address);
    const int tables = database->scalar(QStringLiteral("select count(*) from information_schema.tables "
                                                       "where table_schema = current_schema()")).toInt();
    if (tables > 0)
        throw DbError(QStringLiteral("数据库 %1 不是空的，不能在其中创建帐套（请用新建的空数据库；"
                                     "服务器上的帐套不会被覆盖，--force 对它无效）")
                          .arg(address));
    try {
        database->beginTran();
        createSchema(*database);
        if (demo)
            createDemo(*database, today);
        if (extraStep)
            extraStep(*database);
        database->commitTran();
    } catch (...) {
        rollbackIfOpen(*database);
        throw;
    }
    database.reset();
    return openServerBooks(address);
}

} // namespace

std::unique_ptr<db::Database> openBooks(const QString &path)
{
    install();
    if (db::Database::isServerAddress(path))
        return openServerBooks(path);
    const QFileInfo info(path);
    if (!info.exists())
        throw DbError(QStringLiteral("数据库文件不存在: %1（请先用 notectl init 创建帐套）").arg(path));
    if (info.isDir())
        throw DbError(QStringLiteral("数据库路径是一个目录，不是帐套文件: %1").arg(path));
    if (!info.isReadable())
        throw DbError(QStringLiteral("无法读取数据库文件: %1（请检查文件权限）").arg(path));
    // A file that is not SQLite at all is refused before the layer opens it.
    if (!isSqliteFile(path))
        throw DbError(kNotOurs.arg(path));
    std::unique_ptr<db::Database> database = db::Database::openSqlite(path, false);
    if (!database->isOurs())
        throw DbError(kNotOurs.arg(path));
    checkVersion(*database, path);
    addMissingColumns(*database);
    return database;
}

std::unique_ptr<db::Database> createBooks(const QString &path, bool demo, bool force, const QDate &today,
                                          const BuildStep &extraStep)
{
    install();
    if (db::Database::isServerAddress(path))
        return createServerBooks(path, demo, today, extraStep);
    const QFileInfo info(path);
    if (info.isDir())
        throw DbError(QStringLiteral("数据库路径是一个目录，不能创建帐套: %1").arg(path));
    if (info.exists() && !force)
        throw DbError(QStringLiteral("帐套文件已存在: %1（如需覆盖请使用 --force）").arg(path));

    // Built under a side name and moved into place only when complete.
    const QString building = path + QStringLiteral(".creating");
    removeDatabaseFiles(building);
    {
        std::unique_ptr<db::Database> database;
        try {
            database = db::Database::openSqlite(building, true);
            database->beginTran();
            createSchema(*database);
            if (demo)
                createDemo(*database, today);
            if (extraStep)
                extraStep(*database);
            database->commitTran();
            // Leave one self-contained file: the log is folded in and removed
            // before the file is moved (the moved file reopens in WAL mode).
            database->exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        } catch (...) {
            if (database)
                rollbackIfOpen(*database);
            database.reset();
            removeDatabaseFiles(building);
            throw;
        }
    }

    if (info.exists()) {
        removeDatabaseFiles(path);
        if (QFileInfo::exists(path)) {
            removeDatabaseFiles(building);
            throw DbError(QStringLiteral("无法删除旧的帐套文件: %1").arg(path));
        }
    }
    if (!QFile::rename(building, path)) {
        removeDatabaseFiles(building);
        throw DbError(QStringLiteral("无法创建帐套文件: %1").arg(path));
    }
    removeDatabaseFiles(building);
    return openBooks(path);
}

std::unique_ptr<db::Database> copyBooks(db::Database &from, const QString &to, bool force)
{
    const QStringList sourceTables = from.tableNames();
    const auto copyRows = [&](db::Database &target) {
        const QStringList tables = target.tableNames();
        for (const QString &t : tables)
            if (!sourceTables.contains(t))
                throw DbError(QStringLiteral("源帐套中缺少表 %1，不能复制（请先用本程序打开源帐套以升级）").arg(t));
        const QString disabled = QStringLiteral("sys_disabledtriggers");
        // The rows arrive as they are: no trigger queues postings or deletes lines meanwhile.
        target.exec(QStringLiteral("delete from sys_disabledtriggers"));
        for (const QString &t : tables)
            target.exec(QStringLiteral("insert into sys_disabledtriggers (TABLENAME) values (:t)"), {{QStringLiteral("t"), t}});
        QStringList order = tables;
        order.removeAll(disabled);
        order << disabled; // last, so the triggers the source had off stay off
        for (const QString &t : order) {
            if (t == u"sys_books")
                continue;
            QStringList columns;
            for (const auto &c : target.tableColumns(t))
                columns << c.name;
            if (columns.isEmpty())
                continue;
            target.exec(QStringLiteral("delete from ") + t);
            const db::ResultSet rows = from.select(QStringLiteral("select %1 from %2").arg(columns.join(u", "), t));
            for (const auto &row : rows.rows)
                detail::insertRow(target, t, columns, QVariantList(row.begin(), row.end()));
        }
    };
    return createBooks(to, false, force, QDate::currentDate(), copyRows);
}

namespace {

// The form passwords were stored in before: hex SHA-256 of salt + password.
// Still read, so old books keep their logins; replaced at the next good login.
QByteArray legacyHash(const QString &salt, const QString &password)
{
    return QCryptographicHash::hash((salt + password).toUtf8(), QCryptographicHash::Sha256).toHex();
}

bool sameBytes(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    // Every byte is compared so the time taken does not tell how much matched.
    char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= char(a[i] ^ b[i]);
    return diff == 0;
}

void initSodium()
{
    static const int ready = sodium_init();
    if (ready < 0)
        throw DbError(QStringLiteral("无法初始化密码库 (libsodium)"));
}

void storeHash(db::Database &database, int operatorId, const QString &hash)
{
    database.exec(QStringLiteral("update operatormth set PWDSALT = NULL, OPERATEPWD = :pwd where OPERATEID = :id"),
                  {{QStringLiteral("pwd"), hash}, {QStringLiteral("id"), operatorId}});
}

} // namespace

QString hashPassword(const QString &password)
{
    initSodium();
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, utf8.constData(), quint64(utf8.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw DbError(QStringLiteral("内存不足，无法计算密码散列"));
    return QString::fromLatin1(out);
}

bool isCurrentHash(const QString &stored)
{
    initSodium();
    const QByteArray s = stored.toLatin1();
    return s.startsWith("$argon2id$") &&
           crypto_pwhash_str_needs_rehash(s.constData(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                          crypto_pwhash_MEMLIMIT_INTERACTIVE) == 0;
}

int checkPassword(db::Database &database, const QString &login, const QString &password)
{
    if (login.trimmed().isEmpty())
        return 0;
    const db::ResultSet rs = database.select(
        QStringLiteral("select OPERATEID, OPERATEPWD, PWDSALT, CLOSED from operatormth where LOGINNAME = :login"),
        {{QStringLiteral("login"), login.trimmed()}});
    if (rs.rows.size() != 1 || rs.value(0, QStringLiteral("CLOSED")).toInt() != 0)
        return 0;
    const int id = rs.value(0, QStringLiteral("OPERATEID")).toInt();
    const QString stored = rs.value(0, QStringLiteral("OPERATEPWD")).toString();
    bool good = false;
    if (stored.startsWith(QLatin1String("$argon2"))) {
        initSodium();
        const QByteArray s = stored.toLatin1();
        const QByteArray given = password.toUtf8();
        good = crypto_pwhash_str_verify(s.constData(), given.constData(), quint64(given.size())) == 0;
    } else {
        good = sameBytes(stored.toLatin1(), legacyHash(rs.value(0, QStringLiteral("PWDSALT")).toString(), password));
    }
    if (!good)
        return 0;
    // Only a proven password is worth rehashing: an old or weaker hash is
    // replaced now. Books that cannot be written keep the old hash for next time.
    if (!isCurrentHash(stored)) {
        try {
            storeHash(database, id, hashPassword(password));
        } catch (const DbError &) {
        }
    }
    return id;
}

void setPassword(db::Database &database, int operatorId, const QString &password)
{
    storeHash(database, operatorId, hashPassword(password));
}

void ensureKey(db::Database &database, const QString &table, qint64 atLeast)
{
    const db::Params p{{QStringLiteral("t"), table}, {QStringLiteral("v"), atLeast}};
    const QVariant current = database.scalar(QStringLiteral("select KEYVALUE from sys_keytable where TABLENAME = :t"), p);
    if (current.isNull())
        database.exec(QStringLiteral("insert into sys_keytable (TABLENAME, KEYVALUE) values (:t, :v)"), p);
    else if (current.toLongLong() < atLeast)
        database.exec(QStringLiteral("update sys_keytable set KEYVALUE = :v where TABLENAME = :t"), p);
}

} // namespace notedb
