// The stock posting engine and the declarations of the purchase and sales
// notes. The rules (directions, moving average, batches, references,
// reversal) are written down in README.md, "Stock postings".

#include "StockPostings.h"

#include "PostingShared.h"
#include "Procedures.h"
#include "Rounding.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QSqlDriver>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <mutex>

namespace notedb::stock {

using db::DbError;
using db::Params;
using namespace posting;

namespace {

constexpr double kEpsilon = 0.000001;

struct Source {
    QString master, lines, finished;
};

QHash<int, Source> &sources()
{
    static QHash<int, Source> map;
    return map;
}

QHash<QString, StockNote> &notes()
{
    static QHash<QString, StockNote> map;
    return map;
}

double round6(double v) { return RoundToEx(v, 6); }

struct OnHand {
    double quantity = 0, amount = 0, price = 0;
};

// An insert a posting makes once per line: `whole` runs it for one row; on
// the server the rows of a note go in one statement, `head` and `row` repeated.
struct InsertKind {
    const char *head;
    const char *row;
    int width; // values per row
    QByteArray whole = QByteArray(head) + row;
};
const InsertKind kFlowInsert{"insert into noteflowaath (ID, NOTETYPE, NOTEID, ITEMSNO, NOTECODE, NOTEDATE, BUILDINGID, "
                             "COMMODITYID, QUANTITY, PRICE, PPRICE, AMOUNT, BCODE, VALIDDAY, PRODUCEDDATE, IOFLAG, "
                             "BTURNNOTEID, BREFERQTY, EQTY, STATUS) values ",
                             "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, ?, 1)", 18};
const InsertKind kSplitInsert{"insert into PcSplit (ID, BTURNNOTEID, NOTETYPE, NOTEID, ITEMSNO, NOTESTATE, QUANTITY) values ",
                              "(?, ?, ?, ?, ?, 1, ?)", 6};
const InsertKind kCostLogInsert{"insert into notepostlogaath (NOTETYPE, NOTEID, ITEMSNO, KIND, TARGETTABLE, TARGETCOLUMN, "
                                "TARGETID, TARGETITEMSNO, QUANTITY) values ",
                                "(?, ?, ?, 5, ?, ?, ?, ?, 0)", 7};

// The per-line writes of one posting, prepared once and run for every line,
// on the caller's connection inside its transaction. On SQLite they go
// straight to the engine: binding through the driver cost more than the
// writes themselves. On the server they are prepared through libpq once per
// connection (see db::PgStatement), the values bound by position.
class Statements {
public:
    explicit Statements(db::Database &d) : m_db(d)
    {
        const QVariant v = d.connection().driver()->handle();
        if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0)
            m_handle = *static_cast<sqlite3 *const *>(v.constData());
        if (!m_handle && !d.isPostgres())
            throw DbError(QStringLiteral("库存记帐不支持这种帐套。"));
    }
    ~Statements()
    {
        // Kept on the connection for the next note's posting.
        for (auto it = m_statements.cbegin(); it != m_statements.cend(); ++it)
            m_db.returnStatement(QString::fromLatin1(it.key()), it.value());
    }
    Statements(const Statements &) = delete;
    Statements &operator=(const Statements &) = delete;
    db::Database &db() { return m_db; }
    bool server() const { return !m_handle; }
    // Server: the on-hand rows this posting has locked, as it last wrote them
    // (store, commodity); nobody else can change them before it commits.
    QHash<QPair<qint64, qint64>, OnHand> locked;
    // Server: what the posting wrote into them and the flow rows it made,
    // sent in one statement each when its lines are done (see flush()).
    struct Written {
        OnHand onHand;
        double realDelta = 0;
    };
    QMap<QPair<qint64, qint64>, Written> written;
    QVector<const InsertKind *> insertOrder;        // kinds in the order first used
    QHash<const InsertKind *, QVariantList> inserts; // their rows' values
    QMap<qint64, double> drawn;                     // batch flow row -> quantity drawn
    // A reversal's flow rows: each moves the balance of the later flows of
    // its goods and store, then all go.
    struct Removed {
        qint64 goods, store, id;
        double quantity; // signed, as it moved the balance
    };
    QVector<Removed> removed;
    struct Cost {
        QVariant noteId, item;
        double price;
    };
    const StockNote *costNote = nullptr; // whose lines take the costs
    QVector<Cost> costs;

    // Server only: the kept statement of `sql` with `values` bound, run by
    // the caller alone or with others.
    db::PgStatement &serverStatement(const char *sql, const QVariantList &values)
    {
        db::PgStatement *&q = m_queries[sql];
        if (!q)
            q = &m_db.keptStatement(QString::fromLatin1(sql));
        for (int i = 0; i < values.size(); ++i)
            q->bindValue(i, values[i]);
        return *q;
    }

    // Runs a write with `values`; returns the rows it changed.
    int run(const char *sql, std::initializer_list<QVariant> values)
    {
        if (!m_handle) {
            db::PgStatement &q = serverStatement(sql, values);
            q.exec();
            return q.numRowsAffected();
        }
        sqlite3_stmt *st = bound(sql, values);
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW)
            fail();
        return sqlite3_changes(m_handle);
    }
    // The numbers of the first row of a select; false when it has none.
    bool numbers(const char *sql, std::initializer_list<QVariant> values, double *out, int count)
    {
        if (!m_handle) {
            db::PgStatement &q = serverStatement(sql, values);
            q.exec();
            const bool row = q.next();
            if (row)
                for (int c = 0; c < count; ++c)
                    out[c] = q.value(c).toDouble();
            return row;
        }
        sqlite3_stmt *st = bound(sql, values);
        const int rc = sqlite3_step(st);
        if (rc == SQLITE_ROW)
            for (int c = 0; c < count; ++c)
                out[c] = sqlite3_column_double(st, c);
        sqlite3_reset(st);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW)
            fail();
        return rc == SQLITE_ROW;
    }
    // A write whose result is needed by no later statement: at once on
    // SQLite, with the others at flush() on the server. `refusal` is thrown
    // when it changes no row.
    struct Later {
        const char *sql;
        QVariantList values;
        QString refusal;
    };
    QVector<Later> later;
    void runLater(const char *sql, std::initializer_list<QVariant> values, const QString &refusal = {})
    {
        if (!m_handle)
            later.append({sql, QVariantList(values), refusal});
        else if (run(sql, values) == 0 && !refusal.isEmpty())
            throw DbError(refusal);
    }

private:
    sqlite3_stmt *bound(const char *sql, std::initializer_list<QVariant> values)
    {
        sqlite3_stmt *st = m_statements.value(sql);
        if (!st) {
            st = m_db.takeStatement(QString::fromLatin1(sql));
            if (!st && sqlite3_prepare_v2(m_handle, sql, -1, &st, nullptr) != SQLITE_OK)
                fail();
            m_statements.insert(sql, st);
        }
        int i = 0;
        for (const QVariant &v : values)
            bind(st, ++i, v);
        return st;
    }
    static void bind(sqlite3_stmt *st, int i, const QVariant &v)
    {
        if (v.isNull() || !v.isValid()) {
            sqlite3_bind_null(st, i);
            return;
        }
        switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Bool:
            sqlite3_bind_int64(st, i, v.toLongLong());
            return;
        case QMetaType::Double:
            sqlite3_bind_double(st, i, v.toDouble());
            return;
        case QMetaType::QDate:
            bindText(st, i, db::Database::dateText(v.toDate()));
            return;
        case QMetaType::QDateTime:
            bindText(st, i, db::Database::dateTimeText(v.toDateTime()));
            return;
        default:
            bindText(st, i, v.toString());
        }
    }
    static void bindText(sqlite3_stmt *st, int i, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(st, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    [[noreturn]] void fail()
    {
        const int code = sqlite3_extended_errcode(m_handle);
        throw DbError(db::engineErrorText(code & 0xff, QString::fromUtf8(sqlite3_errmsg(m_handle))), code & 0xff,
                      QString::fromUtf8(sqlite3_errmsg(m_handle)));
    }

    db::Database &m_db;
    sqlite3 *m_handle = nullptr;
    QHash<const char *, sqlite3_stmt *> m_statements;
    QHash<const char *, db::PgStatement *> m_queries; // the connection's kept statements
};

// Statement texts made per table, kept for the life of the program (the
// statement caches hold a text by its address).
const char *textFor(const QString &key, const std::function<QString()> &make)
{
    // Clients in threads of their own post at once.
    static std::mutex mutex;
    static QHash<QString, QByteArray> texts;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = texts.find(key);
    if (it == texts.end())
        it = texts.insert(key, make().toLatin1());
    return it->constData();
}

// Row locks on the server, where clients post at once: what a posting reads
// and then writes (on-hand rows, batches, the note's own flow rows) is locked
// first, in one order for every client (store, then commodity; flow rows by
// id), so two notes on the same goods wait for each other instead of
// deadlocking. SQLite needs none: a writer holds the whole file.
void lockOnHand(Statements &s, QVector<QPair<qint64, qint64>> rows)
{
    if (!s.server() || rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QStringList stores, goods;
    for (const auto &[store, commodity] : std::as_const(rows)) {
        stores << QString::number(store);
        goods << QString::number(commodity);
    }
    const QVariant storeList = QStringLiteral("{%1}").arg(stores.join(u',')),
                   goodsList = QStringLiteral("{%1}").arg(goods.join(u','));
    // One pass in that order over rows there and rows not there yet: an
    // existing row is locked (the update's false condition writes nothing),
    // a missing one made, and a row another client is making waits for it.
    // Locking the existing rows first and making the missing ones after
    // deadlocked two clients, each holding a row the other came to later.
    const char *lockAll = "insert into onhandaath (BUILDINGID, COMMODITYID, QUANTITY, PRICE, AMOUNT, REALQTY, USEDQTY, STATUS) "
                          "select r.s, r.g, 0, 0, 0, 0, 0, 1 from unnest(?::bigint[], ?::bigint[]) as r(s, g) "
                          "order by r.s, r.g on conflict (BUILDINGID, COMMODITYID) do update set STATUS = excluded.STATUS "
                          "where false";
    const char *readAll = "select BUILDINGID, COMMODITYID, QUANTITY, AMOUNT, PRICE from onhandaath where "
                          "(BUILDINGID, COMMODITYID) in (select * from unnest(?::bigint[], ?::bigint[]))";
    db::PgTogether together(s.db());
    together.add(s.serverStatement(lockAll, {storeList, goodsList}));
    const int read = together.add(s.serverStatement(readAll, {storeList, goodsList}));
    together.run();
    for (const QVector<QVariant> &r : together.rows(read).rows)
        s.locked.insert({r[0].toLongLong(), r[1].toLongLong()}, OnHand{r[2].toDouble(), r[3].toDouble(), r[4].toDouble()});
}

// Server: the lock of the batches the note's lines draw on, to be taken
// before their rest is read.
db::PgStatement &batchLock(Statements &s, const StockNote &n, qint64 noteId)
{
    const QString lines = QLatin1String(n.lines);
    return s.serverStatement(textFor(QStringLiteral("batches:") + lines, [&] {
                                 return QStringLiteral("select 1 from noteflowaath where ID in (select BTURNNOTEID from %1 "
                                                       "where NOTEID = ?) order by ID for update")
                                     .arg(lines);
                             }),
                             {noteId});
}

OnHand readOnHand(Statements &s, qint64 store, qint64 goods)
{
    if (s.server())
        if (auto it = s.locked.constFind({store, goods}); it != s.locked.cend())
            return *it;
    OnHand o;
    double row[3];
    if (s.numbers("select QUANTITY, AMOUNT, PRICE from onhandaath where BUILDINGID = ? and COMMODITYID = ?", {store, goods},
                  row, 3)) {
        o = {row[0], row[1], row[2]};
    } else {
        s.run("insert into onhandaath (BUILDINGID, COMMODITYID, QUANTITY, PRICE, AMOUNT, REALQTY, USEDQTY, STATUS) "
              "values (?, ?, 0, 0, 0, 0, 0, 1)",
              {store, goods});
    }
    return o;
}

void writeOnHand(Statements &s, qint64 store, qint64 goods, const OnHand &o, double realDelta)
{
    if (s.server() && s.locked.contains({store, goods})) {
        s.locked[{store, goods}] = o;
        Statements::Written &w = s.written[{store, goods}];
        w.onHand = o;
        w.realDelta = RoundToEx(w.realDelta + realDelta, 6);
        return;
    }
    s.run("update onhandaath set QUANTITY = ?, AMOUNT = ?, PRICE = ?, REALQTY = round(REALQTY + ?, 6), STATUS = 1 "
          "where BUILDINGID = ? and COMMODITYID = ?",
          {o.quantity, o.amount, o.price, realDelta, store, goods});
}

// One row of an insert: written at once on SQLite, at flush() on the server.
template <typename... Values>
void insertRow(Statements &s, const InsertKind &kind, const Values &...values)
{
    if (int(sizeof...(Values)) != kind.width)
        throw DbError(QStringLiteral("记帐语句的值个数不对: %1").arg(QLatin1String(kind.head)));
    if (s.server()) {
        if (!s.inserts.contains(&kind))
            s.insertOrder << &kind;
        QVariantList &rows = s.inserts[&kind];
        (rows << ... << QVariant(values));
        return;
    }
    s.run(kind.whole.constData(), {QVariant(values)...});
}

// Server: what the posting wrote per line so far (flow rows, batch draws and
// their splits, cost prices, on-hand rows), one statement for each kind (a
// round trip per line was most of a posting's time).
void flush(Statements &s)
{
    if (!s.server())
        return;
    // Every statement below goes to the server in one round trip.
    db::PgTogether together(s.db());
    constexpr int chunk = 500; // rows per statement, well inside the server's limit on values
    for (const InsertKind *kind : std::as_const(s.insertOrder)) {
        const QVariantList &all = s.inserts[kind];
        for (qsizetype from = 0; from < all.size(); from += qsizetype(chunk) * kind->width) {
            const int rows = int(std::min<qsizetype>(chunk, (all.size() - from) / kind->width));
            const char *sql = textFor(QStringLiteral("insert:%1:%2").arg(QLatin1String(kind->head)).arg(rows), [&] {
                QStringList values;
                for (int r = 0; r < rows; ++r)
                    values << QLatin1String(kind->row);
                return QLatin1String(kind->head) + values.join(u',');
            });
            together.add(s.serverStatement(sql, all.mid(from, qsizetype(rows) * kind->width)));
        }
    }
    s.insertOrder.clear();
    s.inserts.clear();
    // An update of rows by key from a list of values, one statement.
    const auto update = [&](const QString &name, int rows, const char *row, const QString &text, const QVariantList &values) {
        const char *sql = textFor(QStringLiteral("%1:%2").arg(name).arg(rows), [&] {
            QStringList list;
            for (int r = 0; r < rows; ++r)
                list << QLatin1String(row);
            return text.arg(list.join(u','));
        });
        return together.add(s.serverStatement(sql, values));
    };
    if (!s.drawn.isEmpty()) {
        QVariantList values;
        for (auto it = s.drawn.cbegin(); it != s.drawn.cend(); ++it)
            values << it.key() << *it;
        update(QStringLiteral("drawn"), int(s.drawn.size()), "(?::bigint, ?::numeric)",
               QStringLiteral("update noteflowaath f set BREFERQTY = round(f.BREFERQTY + v.q, 6) from (values %1) "
                              "as v(id, q) where f.ID = v.id"),
               values);
        s.drawn.clear();
    }
    if (!s.costs.isEmpty()) {
        // Per note, the note a value by itself: its lines are then found by
        // key even where the table's statistics still say it is small.
        QMap<qint64, QVariantList> byNote;
        for (const Statements::Cost &c : std::as_const(s.costs))
            byNote[c.noteId.toLongLong()] << c.item << c.price;
        const QString lines = QLatin1String(s.costNote->lines), price = QLatin1String(s.costNote->price);
        for (auto it = byNote.begin(); it != byNote.end(); ++it) {
            QVariantList &values = it.value();
            const int rows = int(values.size() / 2);
            values << it.key();
            update(QStringLiteral("cost:%1.%2").arg(lines, price), rows, "(?::bigint, ?::numeric)",
                   QStringLiteral("update %1 d set %2 = v.p from (values %3) as v(item, p) "
                                  "where d.NOTEID = ? and d.ITEMSNO = v.item")
                       .arg(lines, price, QStringLiteral("%1")),
                   values);
        }
        s.costs.clear();
    }
    if (!s.removed.isEmpty()) {
        // A later flow takes the sum of the removed rows before it: one
        // statement doing what a statement per row did in turn.
        QVariantList values;
        QStringList ids;
        for (const Statements::Removed &r : std::as_const(s.removed)) {
            values << r.goods << r.store << r.id << r.quantity;
            ids << QString::number(r.id);
        }
        // Planned once for any values, the statement cannot see that the
        // later flows are few: it was seen to hash the whole flow table,
        // twice, for every un-audit. Plain lookups by the goods index and by
        // ID are the only plan it is given; plain, because such a scan marks
        // the index entries of flows already removed as dead, where a bitmap
        // scan walks them again on every un-audit of the same goods.
        together.add(s.serverStatement("select set_config('enable_hashjoin', 'off', true), "
                                       "set_config('enable_mergejoin', 'off', true), "
                                       "set_config('enable_bitmapscan', 'off', true)", {}));
        update(QStringLiteral("removed"), int(s.removed.size()), "(?::bigint, ?::bigint, ?::bigint, ?::numeric)",
               QStringLiteral("update noteflowaath f set EQTY = round(f.EQTY - d.q, 6) from (select l.ID, sum(v.q) as q "
                              "from (values %1) as v(g, s, id, q) join noteflowaath l on l.COMMODITYID = v.g "
                              "and l.BUILDINGID = v.s and l.ID > v.id group by l.ID) as d where f.ID = d.ID"),
               values);
        together.add(s.serverStatement("select set_config('enable_hashjoin', 'on', true), "
                                       "set_config('enable_mergejoin', 'on', true), "
                                       "set_config('enable_bitmapscan', 'on', true)", {}));
        together.add(s.serverStatement("delete from noteflowaath where ID = any(?::bigint[])",
                                 {QStringLiteral("{%1}").arg(ids.join(u','))}));
        s.removed.clear();
    }
    const int rows = int(s.written.size());
    int onHand = -1;
    if (rows > 0) {
        QVariantList values;
        for (auto it = s.written.cbegin(); it != s.written.cend(); ++it)
            values << it.key().first << it.key().second << it->onHand.quantity << it->onHand.amount << it->onHand.price
                   << it->realDelta;
        onHand = update(QStringLiteral("onhand"), rows,
                        "(?::bigint, ?::bigint, ?::numeric, ?::numeric, ?::numeric, ?::numeric)",
                        QStringLiteral("update onhandaath o set QUANTITY = v.q, AMOUNT = v.a, PRICE = v.p, "
                                       "REALQTY = round(o.REALQTY + v.r, 6), STATUS = 1 from (values %1) "
                                       "as v(s, g, q, a, p, r) where o.BUILDINGID = v.s and o.COMMODITYID = v.g"),
                        values);
        s.written.clear();
    }
    QVector<QPair<int, QString>> checks;
    for (const Statements::Later &l : std::as_const(s.later))
        checks.append({together.add(s.serverStatement(l.sql, l.values)), l.refusal});
    s.later.clear();
    together.run();
    if (onHand >= 0 && together.rowsAffected(onHand) != rows)
        throw DbError(QStringLiteral("库存记录(onhandaath)在记帐时丢失。"));
    for (const auto &[place, refusal] : std::as_const(checks))
        if (!refusal.isEmpty() && together.rowsAffected(place) == 0)
            throw DbError(refusal);
}

// Flow and batch-split ids come from the key table in one block per note.
qint64 takeIds(Statements &s, const char *table, int count)
{
    db::Database &d = s.db();
    const QString t = QLatin1String(table);
    if (s.server())
        return d.newKeyBlock(t, count);
    const qint64 key = postingScalar(d, QStringLiteral("select KEYVALUE from sys_keytable where TABLENAME = :t"),
                                {{QStringLiteral("t"), t}})
                           .toLongLong();
    const qint64 top = postingScalar(d, QStringLiteral("select coalesce(max(ID), 0) from %1").arg(t)).toLongLong();
    const qint64 first = std::max(key, top) + 1;
    if (s.run("update sys_keytable set KEYVALUE = ? where TABLENAME = ?", {first + count - 1, t}) == 0)
        throw DbError(QStringLiteral("键值表中没有表 %1 的记录。").arg(t));
    return first;
}

// The statement that writes a cost price into a line of `note`.
const char *costUpdate(const StockNote &note)
{
    // Asked per line: found by the declaration's own texts before any string is made.
    static std::mutex mutex;
    static QHash<QPair<const char *, const char *>, const char *> known;
    std::lock_guard<std::mutex> lock(mutex);
    if (const char *text = known.value({note.lines, note.price}))
        return text;
    const QString set = QStringLiteral("%1 set %2").arg(QLatin1String(note.lines), QLatin1String(note.price));
    return known[{note.lines, note.price}] = textFor(QStringLiteral("cost:") + set, [&] {
        return QStringLiteral("update %1 = ? where NOTEID = ? and ITEMSNO = ?").arg(set);
    });
}

QVariant column(const db::ResultSet &rs, int row, const char *name) { return rs.value(row, QLatin1String(name)); }

// ---------------------------------------------------------------- audit

// The price change: per line the store's on-hand of the commodity takes the
// line price (a store of 0 or none: every store holding it); the difference in
// amount is a flow row of quantity 0, which the reversal takes back out.
void revalue(db::Database &d, Statements &s, const StockNote &n, qint64 noteId, const QString &code, const QVariant &noteDate,
             const db::ResultSet &lines, int decimals, const QString &action)
{
    struct Change {
        int line;
        qint64 store;
    };
    QVector<Change> changes;
    for (int i = 0; i < lines.rows.size(); ++i) {
        if (column(lines, i, "COMMODITYID").isNull())
            continue;
        if (column(lines, i, "GOODS").isNull())
            throw DbError(QStringLiteral("单据[%1]第%2行的货品(ID %3)不存在,不能%4。")
                              .arg(code, column(lines, i, "ITEMSNO").toString(), column(lines, i, "COMMODITYID").toString(), action));
        if (column(lines, i, "KIND").toInt() > 3)
            continue;
        const qint64 store = column(lines, i, "STOREID").toLongLong();
        const db::ResultSet stores = postingRead(d,
            QStringLiteral("select BUILDINGID from onhandaath where COMMODITYID = :c and abs(QUANTITY) > 0.000001%1")
                .arg(store > 0 ? QStringLiteral(" and BUILDINGID = :s") : QString()),
            {{QStringLiteral("c"), column(lines, i, "COMMODITYID")}, {QStringLiteral("s"), store}});
        for (const QVector<QVariant> &r : stores.rows)
            changes.append({i, r[0].toLongLong()});
    }
    if (changes.isEmpty())
        return;
    QVector<QPair<qint64, qint64>> touched;
    for (const Change &c : std::as_const(changes))
        touched.append({c.store, column(lines, c.line, "COMMODITYID").toLongLong()});
    if (s.server())
        s.db().sendKeyBlock(QStringLiteral("noteflowaath"), int(changes.size()));
    lockOnHand(s, touched);
    qint64 flowId = takeIds(s, "noteflowaath", int(changes.size()));
    for (const Change &c : std::as_const(changes)) {
        const qint64 goods = column(lines, c.line, "COMMODITYID").toLongLong();
        const double price = round6(column(lines, c.line, "PRICE").toDouble());
        OnHand o = readOnHand(s, c.store, goods);
        const double amount = RoundToEx(o.quantity * price, decimals);
        const double delta = RoundToEx(amount - o.amount, decimals);
        o.amount = amount;
        o.price = price;
        writeOnHand(s, c.store, goods, o, 0);
        s.run("insert into noteflowaath (ID, NOTETYPE, NOTEID, ITEMSNO, NOTECODE, NOTEDATE, BUILDINGID, COMMODITYID, "
              "QUANTITY, PRICE, PPRICE, AMOUNT, IOFLAG, BREFERQTY, EQTY, STATUS) values (?, ?, ?, ?, ?, ?, ?, ?, 0, ?, ?, ?, 1, 0, ?, 1)",
              {flowId++, n.noteType, noteId, column(lines, c.line, "ITEMSNO"), code, noteDate, c.store, goods, price, price,
               delta, o.quantity});
    }
    flush(s);
}

// A move between places: per line its quantity leaves OUTPLACEID and enters
// INPLACEID of the store, logged as place postings (KIND 4) for the reversal.
void movePlaces(db::Database &d, Statements &s, const StockNote &n, qint64 noteId)
{
    const db::ResultSet lines = postingRead(d,
        QStringLiteral("select d.ITEMSNO, d.COMMODITYID, %1 as STOREID, d.OUTPLACEID, d.INPLACEID, d.%2 as QTY from %3 d "
                       "join %4 m on m.NOTEID = d.NOTEID where d.NOTEID = :id and d.COMMODITYID is not null order by d.ITEMSNO")
            .arg(QLatin1String(n.store), QLatin1String(n.quantity), QLatin1String(n.lines), QLatin1String(n.master)),
        {{QStringLiteral("id"), noteId}});
    for (const QVector<QVariant> &l : lines.rows) {
        const double q = RoundToEx(std::fabs(l[5].toDouble()), 6);
        for (const auto &[place, moved] : {std::pair{l[3], -q}, {l[4], q}}) {
            if (s.run("update onhandaathPlace set QUANTITY = round(QUANTITY + ?, 6) where BUILDINGID = ? and PLACEID = ? "
                      "and COMMODITYID = ?",
                      {moved, l[2], place, l[1]}) == 0)
                s.run("insert into onhandaathPlace (BUILDINGID, PLACEID, COMMODITYID, QUANTITY) values (?, ?, ?, ?)",
                      {l[2], place, l[1], moved});
            s.run("insert into notepostlogaath (NOTETYPE, NOTEID, ITEMSNO, KIND, TARGETTYPE, TARGETTABLE, TARGETID, "
                  "TARGETITEMSNO, QUANTITY) values (?, ?, ?, 4, ?, 'onhandaathPlace', ?, ?, ?)",
                  {n.noteType, noteId, l[0], l[2], place, l[1], moved});
        }
    }
}

void post(db::Database &d, const StockNote &n, qint64 noteId, const QString &action)
{
    Statements s(d);
    // The note, whether it was posted already, and the places of an amount.
    const QString masterSql =
        QStringLiteral("select NOTECODE, NOTEDATE, NOTEKIND%1%3%4, "
                       "(select count(*) from noteflowaath where NOTETYPE = :t and NOTEID = :id) + "
                       "(select count(*) from notepostlogaath where NOTETYPE = :t and NOTEID = :id) + "
                       "(select count(*) from accountflowaath where NOTETYPE = :t and NOTEID = :id) "
                       "as POSTED, (%5) as AMTDECIMALS from %2 m where NOTEID = :id")
            .arg(n.payable ? QStringLiteral(", AMOUNT, PAYAMT, ACCOUNTID, PARTNERID, CPARTNERID, CHKORID") : QString(),
                 QLatin1String(n.master),
                 n.direction ? QStringLiteral(", (%1) as DIRECTION").arg(QLatin1String(n.direction)) : QString(),
                 n.differenceAccount ? QStringLiteral(", %1 as DIFFACCOUNT").arg(QLatin1String(n.differenceAccount))
                                     : QString(),
                 QLatin1String(kAmountDecimals));
    const QString linesSql =
        QStringLiteral("select d.ITEMSNO, d.COMMODITYID, %1 as STOREID, %6 as TARGETID, d.%2 as QTY, d.%3 as PRICE, d.BCODE, "
                       "d.PRODUCTDAY, d.VALIDDAY, d.BTURNNOTEID, d.REFERNOTETYPE, d.REFERNOTEID, d.REFERITEMSNO, "
                       "c.COMMODITYID as GOODS, c.KIND, c.NAME, b.COMMODITYID as BGOODS, b.BUILDINGID as BSTORE, "
                       "b.QUANTITY * b.IOFLAG - b.BREFERQTY as BLEFT, b.IOFLAG as BIO, b.BTURNNOTEID as BFROM, "
                       "%7 as INPRICE from %4 d join %5 m on m.NOTEID = d.NOTEID "
                       "left join Commoditylth c on c.COMMODITYID = d.COMMODITYID "
                       "left join noteflowaath b on b.ID = d.BTURNNOTEID where d.NOTEID = :id order by d.ITEMSNO")
            .arg(QLatin1String(n.store), QLatin1String(n.quantity), QLatin1String(n.price), QLatin1String(n.lines),
                 QLatin1String(n.master), n.targetStore ? QLatin1String(n.targetStore) : QLatin1String("null"),
                 n.inPrice ? QStringLiteral("d.") + QLatin1String(n.inPrice) : QStringLiteral("null"));
    const Params key{{QStringLiteral("t"), n.noteType}, {QStringLiteral("id"), noteId}};
    const Params lineKey{{QStringLiteral("id"), noteId}};
    // On the server the note, the lock of the batches its lines draw on and
    // then its lines go in one round trip.
    db::ResultSet m, lines;
    if (s.server()) {
        db::PgTogether together(d);
        const int master = together.add(d.boundKept(masterSql, key));
        together.add(batchLock(s, n, noteId));
        const int lineRows = together.add(d.boundKept(linesSql, lineKey));
        together.run();
        m = together.rows(master);
        lines = together.rows(lineRows);
    } else {
        m = postingRead(d, masterSql, key);
        lines = postingRead(d, linesSql, lineKey);
    }
    if (m.isEmpty())
        throw DbError(QStringLiteral("单据(类型 %1, ID %2)不存在,不能%3。").arg(n.noteType).arg(noteId).arg(action));
    const QString code = column(m, 0, "NOTECODE").toString();
    const QVariant noteDate = column(m, 0, "NOTEDATE");
    const int kind = column(m, 0, "NOTEKIND").toInt();
    if (column(m, 0, "POSTED").toInt() > 0)
        throw DbError(QStringLiteral("单据[%1]已经记帐,不能重复记帐。").arg(code));

    int direction = 0;
    for (const auto &[k, dir] : n.kinds)
        if (k == kind)
            direction = dir;
    if (n.direction)
        direction = column(m, 0, "DIRECTION").toInt();
    const int decimals = amountDecimalsOf(column(m, 0, "AMTDECIMALS"));

    if (n.revalue) {
        revalue(d, s, n, noteId, code, noteDate, lines, decimals, action);
        return;
    }
    if (n.placeMove) {
        movePlaces(d, s, n, noteId);
        return;
    }

    // Which lines move stock, checked before anything is written.
    QVector<int> moving;
    for (int i = 0; i < lines.rows.size(); ++i) {
        const QVariant goods = column(lines, i, "COMMODITYID");
        if (goods.isNull())
            continue;
        if (column(lines, i, "GOODS").isNull())
            throw DbError(QStringLiteral("单据[%1]第%2行的货品(ID %3)不存在,不能%4。")
                              .arg(code, column(lines, i, "ITEMSNO").toString(), goods.toString(), action));
        if (direction == 0 || column(lines, i, "KIND").toInt() > 3 ||
            n.recordedSources.contains(column(lines, i, "REFERNOTETYPE").toInt()) ||
            std::fabs(column(lines, i, "QTY").toDouble()) < kEpsilon)
            continue;
        if (column(lines, i, "STOREID").toLongLong() <= 0 || (n.targetStore && column(lines, i, "TARGETID").toLongLong() <= 0))
            throw DbError(QStringLiteral("货品[%1]的仓库不能为空,不能%2。").arg(column(lines, i, "NAME").toString(), action));
        moving << i;
    }

    QVector<QPair<qint64, qint64>> touched;
    for (int i : std::as_const(moving)) {
        touched.append({column(lines, i, "STOREID").toLongLong(), column(lines, i, "COMMODITYID").toLongLong()});
        if (n.targetStore)
            touched.append({column(lines, i, "TARGETID").toLongLong(), column(lines, i, "COMMODITYID").toLongLong()});
    }
    const int flows = int(moving.size()) * (n.targetStore ? 2 : 1);
    if (s.server())
        s.db().sendKeyBlock(QStringLiteral("noteflowaath"), flows); // answered while the rows are locked
    lockOnHand(s, touched);
    qint64 flowId = moving.isEmpty() ? 0 : takeIds(s, "noteflowaath", flows);
    int draws = 0;
    if (direction < 0 || n.targetStore)
        for (int i : std::as_const(moving))
            draws += column(lines, i, "BTURNNOTEID").toLongLong() != 0;
    qint64 splitId = draws ? takeIds(s, "PcSplit", draws) : 0;
    QHash<qint64, double> drawnHere; // batch -> drawn by this note's lines so far
    // One leg of a line: `dir` into or out of `store`; returns the unit cost it moved at.
    const auto leg = [&](int i, qint64 store, int dir, std::optional<double> cost) {
        const qint64 goods = column(lines, i, "COMMODITYID").toLongLong();
        const QString name = column(lines, i, "NAME").toString();
        const double q = RoundToEx(std::fabs(column(lines, i, "QTY").toDouble()), 6);
        double p = cost ? *cost : round6(column(lines, i, "PRICE").toDouble());
        double lineAmount = RoundToEx(q * p, decimals);
        QVariant batch;
        if (dir < 0 && !column(lines, i, "BTURNNOTEID").isNull() && column(lines, i, "BTURNNOTEID").toLongLong() != 0) {
            batch = column(lines, i, "BTURNNOTEID");
            // The batch came with the line; what earlier lines of this note drew is taken off.
            if (column(lines, i, "BIO").toInt() != 1 || !column(lines, i, "BFROM").isNull()) {
                throw DbError(QStringLiteral("单据[%1]第%2行引用的批次(ID %3)不存在,不能%4。")
                                  .arg(code, column(lines, i, "ITEMSNO").toString(), batch.toString(), action));
            }
            const qint64 batchGoods = column(lines, i, "BGOODS").toLongLong(), batchStore = column(lines, i, "BSTORE").toLongLong();
            const double left = RoundToEx(column(lines, i, "BLEFT").toDouble() - drawnHere.value(batch.toLongLong()), 6);
            const auto bcode = [&] {
                return postingScalar(d, QStringLiteral("select BCODE from noteflowaath where ID = :b"), {{QStringLiteral("b"), batch}})
                    .toString();
            };
            if (batchGoods != goods || batchStore != store)
                throw DbError(QStringLiteral("货品[%1]引用的批次[%2]不是该货品在该仓库的批次,不能%3。").arg(name, bcode(), action));
            if (left + kEpsilon < q)
                throw DbError(QStringLiteral("货品[%1]的批次[%2]只剩%3,不够%4,不能%5。")
                                  .arg(name, bcode(), QString::number(left), QString::number(q), action));
            if (s.server())
                s.drawn[batch.toLongLong()] = RoundToEx(s.drawn.value(batch.toLongLong()) + q, 6);
            else
                s.run("update noteflowaath set BREFERQTY = round(BREFERQTY + ?, 6) where ID = ?", {q, batch});
            drawnHere[batch.toLongLong()] += q;
            insertRow(s, kSplitInsert, splitId++, batch, n.noteType, noteId, column(lines, i, "ITEMSNO"), q);
        }

        OnHand o = readOnHand(s, store, goods);
        double moved = p;
        if (dir > 0) {
            o.quantity = RoundToEx(o.quantity + q, 6);
            o.amount = RoundToEx(o.amount + lineAmount, decimals);
            o.price = std::fabs(o.quantity) > kEpsilon ? round6(o.amount / o.quantity) : p;
        } else {
            // Out at the current average; stock that never had a cost goes out at the line's price.
            if (o.price == 0 && o.quantity <= kEpsilon)
                o.price = p;
            moved = o.price;
            if (n.costFromStock && !cost && std::fabs(p) < kEpsilon && std::fabs(moved) >= kEpsilon) {
                // No cost price on the line: it goes out at what the stock cost, and says so.
                p = moved;
                lineAmount = RoundToEx(q * p, decimals);
                if (s.server()) {
                    s.costNote = &n;
                    s.costs.append({noteId, column(lines, i, "ITEMSNO"), p});
                } else {
                    s.run(costUpdate(n), {p, noteId, column(lines, i, "ITEMSNO")});
                }
                insertRow(s, kCostLogInsert, n.noteType, noteId, column(lines, i, "ITEMSNO"), QLatin1String(n.lines),
                          QLatin1String(n.price), noteId, column(lines, i, "ITEMSNO"));
            }
            o.quantity = RoundToEx(o.quantity - q, 6);
            o.amount = RoundToEx(o.amount - RoundToEx(q * o.price, decimals), decimals);
        }
        writeOnHand(s, store, goods, o, dir * q);

        insertRow(s, kFlowInsert, flowId++, n.noteType, noteId, column(lines, i, "ITEMSNO"), code, noteDate, store, goods,
                  q, p, o.price, lineAmount, column(lines, i, "BCODE"), column(lines, i, "VALIDDAY"),
                  column(lines, i, "PRODUCTDAY"), dir, batch, o.quantity);
        return moved;
    };
    const bool inPriced = n.targetStore && n.inPrice && n.inPricedKinds.contains(kind);
    qint64 differenceId = inPriced && !moving.isEmpty() ? takeIds(s, "subjectflowaath", int(moving.size())) : 0;
    for (int i : std::as_const(moving)) {
        const double cost = leg(i, column(lines, i, "STOREID").toLongLong(), direction, std::nullopt);
        if (!n.targetStore)
            continue;
        // A transfer brings the goods into the other store at the cost they
        // left at, or at the line's in price, the difference to its account.
        const double in = inPriced ? round6(column(lines, i, "INPRICE").toDouble()) : cost;
        leg(i, column(lines, i, "TARGETID").toLongLong(), -direction, in);
        if (!inPriced)
            continue;
        const double q = RoundToEx(std::fabs(column(lines, i, "QTY").toDouble()), 6);
        const double difference = RoundToEx(RoundToEx(q * in, decimals) - RoundToEx(q * cost, decimals), decimals);
        s.run("insert into subjectflowaath (ID, SUBJECTID, NOTETYPE, NOTEID, ITEMSNO, NOTECODE, NOTEDATE, AMOUNT) "
              "values (?, ?, ?, ?, ?, ?, ?, ?)",
              {differenceId++, column(m, 0, "DIFFACCOUNT"), n.noteType, noteId, column(lines, i, "ITEMSNO"), code, noteDate,
               difference});
    }

    // Places: the line's split over storage places moves their stock the
    // same way, logged so that the reversal needs no place rows.
    if (n.places) {
        for (int i : std::as_const(moving)) {
            const QVariant store = column(lines, i, "STOREID"), goods = column(lines, i, "COMMODITYID"),
                           item = column(lines, i, "ITEMSNO");
            const db::ResultSet split = postingRead(d,
                QStringLiteral("select PLACEID, QUANTITY from %1 where NOTEID = :id and ITEMSNO = :item").arg(QLatin1String(n.places)),
                {{QStringLiteral("id"), noteId}, {QStringLiteral("item"), item}});
            for (const QVector<QVariant> &r : split.rows) {
                const double q = RoundToEx(direction * std::fabs(r[1].toDouble()), 6);
                if (s.run("update onhandaathPlace set QUANTITY = round(QUANTITY + ?, 6) where BUILDINGID = ? and PLACEID = ? "
                          "and COMMODITYID = ?",
                          {q, store, r[0], goods}) == 0)
                    s.run("insert into onhandaathPlace (BUILDINGID, PLACEID, COMMODITYID, QUANTITY) values (?, ?, ?, ?)",
                          {store, r[0], goods, q});
                s.run("insert into notepostlogaath (NOTETYPE, NOTEID, ITEMSNO, KIND, TARGETTYPE, TARGETTABLE, TARGETID, "
                      "TARGETITEMSNO, QUANTITY) values (?, ?, ?, 4, ?, 'onhandaathPlace', ?, ?, ?)",
                      {n.noteType, noteId, item, store, r[0], goods, q});
            }
        }
    }

    // References: the source line's quantity and count, the source note's count.
    QSet<QPair<int, qint64>> referredNotes;
    for (int i = 0; i < lines.rows.size(); ++i) {
        const int type = column(lines, i, "REFERNOTETYPE").toInt();
        const qint64 sourceId = column(lines, i, "REFERNOTEID").toLongLong();
        const auto src = sources().constFind(type);
        if (src == sources().cend() || sourceId == 0 || column(lines, i, "REFERNOTEID").isNull())
            continue;
        QString raised = QStringLiteral("REFERQTY");
        for (const SourceColumn &c : n.sources)
            if (c.sourceType == type)
                raised = c.column ? QLatin1String(c.column) : QString();
        const double q = RoundToEx(std::fabs(column(lines, i, "QTY").toDouble()), 6);
        const QVariant item = column(lines, i, "REFERITEMSNO");
        const QString set = raised.isEmpty() ? QString()
                                             : QStringLiteral("%1 = round(coalesce(%1, 0) + :q, 6), ").arg(raised);
        const int raisedRows =
            postingWrite(d,
                  QStringLiteral("update %1 set %2REFERCOUNT = coalesce(REFERCOUNT, 0) + 1 "
                                 "where NOTEID = :id and ITEMSNO = :item")
                      .arg(src->lines, set),
                  {{QStringLiteral("q"), q}, {QStringLiteral("id"), sourceId}, {QStringLiteral("item"), item}});
        if (raisedRows == 0)
            throw DbError(QStringLiteral("单据[%1]第%2行引用的来源单据明细(类型 %3, ID %4, 行 %5)不存在,不能%6。")
                              .arg(code, column(lines, i, "ITEMSNO").toString())
                              .arg(type)
                              .arg(sourceId)
                              .arg(item.toString(), action));
        if (!src->finished.isEmpty())
            postingWrite(d, QStringLiteral("update %1 set FINISHED = %2 where NOTEID = :id and ITEMSNO = :item").arg(src->lines, src->finished),
                   {{QStringLiteral("id"), sourceId}, {QStringLiteral("item"), item}});
        s.runLater("insert into notepostlogaath (NOTETYPE, NOTEID, ITEMSNO, KIND, TARGETTYPE, TARGETTABLE, TARGETCOLUMN, "
                   "TARGETID, TARGETITEMSNO, QUANTITY) values (?, ?, ?, 1, ?, ?, ?, ?, ?, ?)",
                   {n.noteType, noteId, column(lines, i, "ITEMSNO"), type, src->lines,
                    raised.isEmpty() ? QVariant() : QVariant(raised), sourceId, item, raised.isEmpty() ? 0.0 : q});
        referredNotes.insert({type, sourceId});
    }
    for (const auto &[type, sourceId] : std::as_const(referredNotes)) {
        const Source &src = sources()[type];
        postingWrite(d, QStringLiteral("update %1 set REFERCOUNT = coalesce(REFERCOUNT, 0) + 1 where NOTEID = :id").arg(src.master),
               {{QStringLiteral("id"), sourceId}});
        s.runLater("insert into notepostlogaath (NOTETYPE, NOTEID, KIND, TARGETTYPE, TARGETTABLE, TARGETID, QUANTITY) "
                   "values (?, ?, 2, ?, ?, ?, 0)",
                   {n.noteType, noteId, type, src.master, sourceId});
    }

    // What the posting wrote so far goes to the server with what follows in
    // one round trip; nothing below reads it.
    if (!n.payable) {
        flush(s);
        return;
    }
    // Money: what is not paid now is owed to the partner; a return (out of
    // stock) turns both round.
    // A kind that moves no stock (a sale settling consigned goods) counts
    // as its side's usual direction. Money comes in when goods go out, on
    // either side; a customer owes when goods go out, a supplier when they come in.
    const int flow = direction != 0 ? direction : n.customer ? -1 : 1;
    const int moneySign = n.customer ? -flow : flow;
    const double amount = RoundToEx(std::fabs(column(m, 0, "AMOUNT").toDouble()), decimals);
    const double paid = RoundToEx(std::fabs(column(m, 0, "PAYAMT").toDouble()), decimals);
    const double owed = RoundToEx(moneySign * (amount - paid), decimals);
    QVariant partner = column(m, 0, "CPARTNERID");
    if (partner.isNull() || partner.toLongLong() == 0)
        partner = column(m, 0, "PARTNERID");
    if (paid != 0)
        checkAccount(d, code, n.customer ? QStringLiteral("收款帐户") : QStringLiteral("付款帐户"), column(m, 0, "ACCOUNTID"), action);
    if (owed != 0) {
        if (partner.isNull() || partner.toLongLong() == 0)
            throw DbError(QStringLiteral("单据[%1]没有指定往来单位,不能%2。").arg(code, action));
        s.runLater("update partnerlth set SCAMT = round(SCAMT + ?, ?) where PARTNERID = ?", {owed, decimals, partner},
                   QStringLiteral("单据[%1]的往来单位不存在(ID %2),不能%3。").arg(code, partner.toString(), action));
        s.runLater("insert into notepostlogaath (NOTETYPE, NOTEID, KIND, TARGETTABLE, TARGETID, QUANTITY) "
                   "values (?, ?, 3, 'partnerlth', ?, ?)",
                   {n.noteType, noteId, partner, owed});
    }
    if (paid != 0) {
        postAccountFlow(d, column(m, 0, "ACCOUNTID").toLongLong(), n.noteType, noteId, code, noteDate,
                        flow < 0 ? paid : 0, flow > 0 ? paid : 0, column(m, 0, "CHKORID"), decimals);
        // What was paid on the spot is settled: only the rest is open for payments.
        const double settled = column(m, 0, "AMOUNT").toDouble() < 0 ? -paid : paid;
        postingWrite(d, QStringLiteral("update %1 set REFERAMT = round(coalesce(REFERAMT, 0) + :q, 6) where NOTEID = :id")
                   .arg(QLatin1String(n.master)),
               {{QStringLiteral("q"), settled}, {QStringLiteral("id"), noteId}});
        s.runLater("insert into notepostlogaath (NOTETYPE, NOTEID, KIND, TARGETTABLE, TARGETCOLUMN, TARGETID, QUANTITY) "
                   "values (?, ?, 6, ?, 'REFERAMT', ?, ?)",
                   {n.noteType, noteId, QLatin1String(n.master), noteId, settled});
    }
    flush(s);
}

// ---------------------------------------------------------------- reversal

void reverse(db::Database &d, const StockNote &n, qint64 noteId, const QString &action)
{
    const Params key{{QStringLiteral("t"), n.noteType}, {QStringLiteral("id"), noteId}};
    Statements s(d);
    // The note's flow rows with what their reversal asks: whether a batch of
    // theirs was drawn on, and the places of an amount. On the server they are
    // locked by the same read, so a batch drawn on by a sale posting at this
    // moment is seen drawn.
    const db::ResultSet flows = postingRead(d,
        QStringLiteral("select ID, BUILDINGID, COMMODITYID, QUANTITY, PPRICE, AMOUNT, IOFLAG, BTURNNOTEID, BCODE, BREFERQTY, "
                       "(%1) as AMTDECIMALS from noteflowaath where NOTETYPE = :t and NOTEID = :id order by ID%2")
            .arg(QLatin1String(kAmountDecimals), s.server() ? QStringLiteral(" for update") : QString()),
        key);
    for (const QVector<QVariant> &f : flows.rows)
        if (f[6].toInt() == 1 && f[7].isNull() && f[9].toDouble() > 0.000001)
            throw DbError(QStringLiteral("批次[%1]已被其他单据引用,不能%2。").arg(f[8].toString(), action));
    const int decimals = flows.isEmpty() ? amountDecimals(d) : amountDecimalsOf(flows.rows[0][10]);
    QVector<QPair<qint64, qint64>> touched;
    for (const QVector<QVariant> &f : flows.rows)
        touched.append({f[1].toLongLong(), f[2].toLongLong()});
    lockOnHand(s, touched);
    // Latest first, undoing in the order things happened.
    for (auto it = flows.rows.crbegin(); it != flows.rows.crend(); ++it) {
        const QVector<QVariant> &f = *it;
        const qint64 id = f[0].toLongLong(), store = f[1].toLongLong(), goods = f[2].toLongLong();
        const double q = f[3].toDouble();
        const int io = f[6].toInt();
        OnHand o = readOnHand(s, store, goods);
        o.quantity = RoundToEx(o.quantity - io * q, 6);
        if (io > 0)
            o.amount = RoundToEx(o.amount - f[5].toDouble(), decimals);
        else
            o.amount = RoundToEx(o.amount + RoundToEx(q * f[4].toDouble(), decimals), decimals);
        if (std::fabs(o.quantity) > kEpsilon)
            o.price = round6(o.amount / o.quantity);
        writeOnHand(s, store, goods, o, -io * q);
        if (s.server()) {
            s.removed.append({goods, store, id, io * q});
            if (io < 0 && !f[7].isNull()) {
                double &back = s.drawn[f[7].toLongLong()];
                back = round6(back - q);
            }
            continue;
        }
        s.run("update noteflowaath set EQTY = round(EQTY - ?, 6) where COMMODITYID = ? and BUILDINGID = ? and ID > ?",
              {io * q, goods, store, id});
        if (io < 0 && !f[7].isNull())
            s.run("update noteflowaath set BREFERQTY = round(BREFERQTY - ?, 6) where ID = ?", {q, f[7]});
        s.run("delete from noteflowaath where ID = ?", {id});
    }
    flush(s);
    const QString splits = QStringLiteral("delete from PcSplit where NOTETYPE = :t and NOTEID = :id");
    const QString logSql = QStringLiteral("select KIND, TARGETTYPE, TARGETTABLE, TARGETCOLUMN, TARGETID, TARGETITEMSNO, "
                                          "QUANTITY from notepostlogaath where NOTETYPE = :t and NOTEID = :id");
    db::ResultSet log;
    if (s.server()) {
        db::PgTogether together(d);
        together.add(d.boundKept(splits, key));
        const int logRows = together.add(d.boundKept(logSql, key));
        together.run();
        log = together.rows(logRows);
    } else {
        postingWrite(d, splits, key);
        log = postingRead(d, logSql, key);
    }
    for (const QVector<QVariant> &l : log.rows) {
        const int kind = l[0].toInt();
        const QString table = l[2].toString();
        const Params p{{QStringLiteral("q"), l[6]}, {QStringLiteral("id"), l[4]}, {QStringLiteral("item"), l[5]},
                       {QStringLiteral("n"), decimals}};
        if (kind == 1) {
            const QString set = l[3].isNull() ? QString()
                                              : QStringLiteral("%1 = round(%1 - :q, 6), ").arg(l[3].toString());
            postingWrite(d, QStringLiteral("update %1 set %2REFERCOUNT = case when coalesce(REFERCOUNT, 0) > 1 then REFERCOUNT - 1 else 0 end "
                                  "where NOTEID = :id and ITEMSNO = :item")
                       .arg(table, set),
                   p);
            const Source src = sources().value(l[1].toInt());
            if (!src.finished.isEmpty())
                postingWrite(d, QStringLiteral("update %1 set FINISHED = %2 where NOTEID = :id and ITEMSNO = :item").arg(src.lines, src.finished), p);
        } else if (kind == 2) {
            postingWrite(d, QStringLiteral("update %1 set REFERCOUNT = case when coalesce(REFERCOUNT, 0) > 1 then REFERCOUNT - 1 else 0 end where NOTEID = :id").arg(table), p);
        } else if (kind == 3) {
            postingWrite(d, QStringLiteral("update partnerlth set SCAMT = round(SCAMT - :q, :n) where PARTNERID = :id"), p);
        } else if (kind == 6) {
            postingWrite(d, QStringLiteral("update %1 set %2 = round(coalesce(%2, 0) - :q, 6) where NOTEID = :id").arg(table, l[3].toString()), p);
        } else if (kind == 5) {
            postingWrite(d, QStringLiteral("update %1 set %2 = :q where NOTEID = :id and ITEMSNO = :item").arg(table, l[3].toString()), p);
        } else if (kind == 4) {
            postingWrite(d, QStringLiteral("update onhandaathPlace set QUANTITY = round(QUANTITY - :q, 6) where BUILDINGID = :store "
                                  "and PLACEID = :id and COMMODITYID = :item"),
                   {{QStringLiteral("q"), l[6]}, {QStringLiteral("store"), l[1]}, {QStringLiteral("id"), l[4]},
                    {QStringLiteral("item"), l[5]}});
        }
    }
    postingWrite(d, QStringLiteral("delete from notepostlogaath where NOTETYPE = :t and NOTEID = :id"), key);
    if (n.differenceAccount)
        postingWrite(d, QStringLiteral("delete from subjectflowaath where NOTETYPE = :t and NOTEID = :id"), key);
    reverseAccountFlows(d, n.noteType, noteId, action);
}

void handle(db::Database &d, const StockNote &n, const db::PostingEvent &ev)
{
    const bool was = ev.oldState == 1, is = ev.newState == 1;
    if (was == is)
        return; // void or un-void of an entered note posts nothing
    // The layer runs a posting on the server under a savepoint of its own.
    if (is)
        post(d, n, ev.noteId, actionOf(ev.newState));
    else
        reverse(d, n, ev.noteId, actionOf(ev.newState));
}

} // namespace

void declareSource(int noteType, const char *master, const char *lines, const char *finished)
{
    sources()[noteType] = Source{QLatin1String(master), QLatin1String(lines),
                                 finished ? QLatin1String(finished) : QString()};
}

void declare(const StockNote &note)
{
    const QString table = QString::fromLatin1(note.master).toLower();
    const bool fresh = !notes().contains(table);
    notes()[table] = note;
    if (fresh)
        db::Registry::instance().addPosting(table, [table](db::Database &d, const db::PostingEvent &ev) {
            handle(d, notes()[table], ev);
        });
}

bool movedByStockNote(int referNoteType) { return referNoteType == 21 || referNoteType == 22; }

} // namespace notedb::stock

namespace notedb {

void registerStockPostings()
{
    static std::once_flag once;
    std::call_once(once, [] {
        using namespace stock;
        // A purchase order line is done when receipts and other notes took all of it.
        declareSource(1, "purchasepthPlan", "purchasepthPlanDetail");
        declareSource(2, "orderpth", "orderpthDetail",
                      "case when abs(coalesce(BUYQTY, 0) + coalesce(REFERQTY, 0)) >= abs(coalesce(QUANTITY, 0)) - 0.000001 "
                      "then 1 else 0 end");
        declareSource(3, "valuepth", "valuepthDetail");
        declareSource(4, "purchasepth", "purchasepthDetail");
        declareSource(5, "RePurchase", "RepurchaseDetail");
        declareSource(21, "iostoreith", "iostoreithDetail");
        declareSource(22, "iostoreith", "iostoreithDetail");

        // The order takes requisition and plan lines; it moves no stock.
        StockNote order;
        order.noteType = 2;
        order.master = "orderpth";
        order.lines = "orderpthDetail";
        declare(order);

        // Estimated receipt: kind 1 brings goods in at the estimated price,
        // reversals (2 by hand, 3 made by the system) take them out again.
        StockNote value;
        value.noteType = 3;
        value.master = "valuepth";
        value.lines = "valuepthDetail";
        value.kinds = {{1, 1}, {2, -1}, {3, -1}};
        declare(value);

        // Receipt: purchase and settlement of estimated receipts in, return
        // out. Order lines count as received (BUYQTY); an estimated-receipt
        // line was already taken by the system reversal made at save.
        StockNote receipt;
        receipt.noteType = 4;
        receipt.master = "purchasepth";
        receipt.lines = "purchasepthDetail";
        receipt.kinds = {{1, 1}, {3, 1}, {2, -1}};
        receipt.sources = {{2, "BUYQTY"}, {3, nullptr}};
        receipt.payable = true;
        declare(receipt);

        // Sales. An order line counts what sales and consignment notes
        // delivered (SALEQTY), a consignment line what sales of kind 3
        // settled (BALQTY).
        declareSource(11, "salesthPlan", "salesthPlanDetail");
        declareSource(12, "ordersth", "ordersthDetail");
        declareSource(13, "DeputeMarketsth", "DeputeMarketsthDetail");
        declareSource(14, "salesth", "salesthDetail");
        declareSource(15, "s_price", "S_PriceDetail");

        // The order takes quotation and plan lines; it moves no stock.
        StockNote salesOrder;
        salesOrder.noteType = 12;
        salesOrder.master = "ordersth";
        salesOrder.lines = "ordersthDetail";
        declare(salesOrder);

        // Consignment: the goods leave stock when they are sent (kind 1) and
        // come back on a consignment return (kind 2); the customer owes
        // nothing until a sale of kind 3 settles them.
        StockNote consignment;
        consignment.noteType = 13;
        consignment.master = "DeputeMarketsth";
        consignment.lines = "DeputeMarketsthDetail";
        consignment.price = "APRICE";
        consignment.costFromStock = true;
        consignment.kinds = {{1, -1}, {2, 1}};
        consignment.sources = {{12, "SALEQTY"}};
        declare(consignment);

        // Sale: kind 1 out of stock, return (2) back in at the line's cost
        // price, kind 3 settles consigned goods, which left stock already.
        StockNote sale;
        sale.noteType = 14;
        sale.master = "salesth";
        sale.lines = "salesthDetail";
        sale.price = "APRICE";
        sale.costFromStock = true;
        sale.kinds = {{1, -1}, {2, 1}};
        sale.sources = {{12, "SALEQTY"}, {13, "BALQTY"}};
        sale.payable = true;
        sale.customer = true;
        declare(sale);

        // Stock documents. The stock in/out note moves its master's store in
        // the direction of its source type (issues out, the rest in), turned
        // round for kind 2 (goods going back). A line it takes from a note
        // that moved stock itself (receipts, sales) only records the goods
        // passing the store: the source line counts them in IOQTY.
        StockNote inOut;
        inOut.noteType = 21;
        inOut.master = "iostoreith";
        inOut.lines = "iostoreithDetail";
        inOut.store = "m.BUILDINGID";
        inOut.direction = kInOutDirection;
        inOut.recordedSources = {3, 4, 13, 14};
        inOut.sources = {{3, "IOQTY"}, {4, "IOQTY"}, {13, "IOQTY"}, {14, "IOQTY"}};
        inOut.places = "iostoreithPLACE";
        declare(inOut);
        declareStockDocuments();
    });
}

} // namespace notedb
