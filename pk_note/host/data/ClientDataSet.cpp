#include "data/ClientDataSet.h"

#include "data/FilterExpression.h"
#include "db/Database.h"
#include "db/TsqlTranslator.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>

#include <algorithm>
#include <optional>

namespace data {

struct ClientDataSet::Statement {
    QSqlQuery query;
    QVector<int> fields; // value fields, then key fields
    int valueCount = 0;
};

namespace {

QString notEditing(const QString &field)
{
    return QStringLiteral("数据集不在编辑或插入状态，不能修改字段 '%1'").arg(field);
}

QStringList splitNames(const QString &names)
{
    QStringList out;
    for (const QString &n : names.split(u';', Qt::SkipEmptyParts)) {
        const QString t = n.trimmed();
        if (!t.isEmpty())
            out << t;
    }
    return out;
}

QString bareTableName(QString t)
{
    t = t.trimmed();
    if (t.startsWith(u'[') && t.endsWith(u']'))
        t = t.mid(1, t.size() - 2);
    if (t.startsWith(u'"') && t.endsWith(u'"'))
        t = t.mid(1, t.size() - 2);
    const int dot = int(t.lastIndexOf(u'.'));
    return dot >= 0 ? t.mid(dot + 1) : t;
}

QString sqlName(const QString &name)
{
    for (QChar c : name)
        if (!(c.isLetterOrNumber() || c == u'_'))
            return u'[' + name + u']';
    return name;
}

bool isNullValue(const QVariant &v) { return v.isNull() || !v.isValid(); }

bool sameValue(const QVariant &a, const QVariant &b)
{
    const bool an = isNullValue(a), bn = isNullValue(b);
    if (an || bn)
        return an == bn;
    return a == b;
}

QVariant toDb(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::QDate: return db::Database::dateText(v.toDate());
    case QMetaType::QDateTime: return db::Database::dateTimeText(v.toDateTime());
    case QMetaType::Bool: return v.toBool() ? 1 : 0;
    default: return v;
    }
}

enum class Conv { None, ToInt, ToFloat, ToBool, ToDate, ToDateTime };

Conv conversionFor(FieldType t)
{
    switch (t) {
    case FieldType::Integer: return Conv::ToInt;
    case FieldType::Float: return Conv::ToFloat;
    case FieldType::Boolean: return Conv::ToBool;
    case FieldType::Date: return Conv::ToDate;
    case FieldType::DateTime: return Conv::ToDateTime;
    default: return Conv::None;
    }
}

bool digits(const QChar *p, int n, int &out)
{
    int v = 0;
    for (int i = 0; i < n; ++i) {
        const ushort c = p[i].unicode();
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

// Stored values to the field's type; the hot loop of opening a data set.
// A plain local QDateTime asks the C library for the offset, which re-reads the
// zone file on every call; the offset is asked once per day instead (exact except
// within the hour of a daylight-saving switch).
QDateTime localDateTime(const QDate &d, const QTime &t)
{
    thread_local QHash<qint64, int> offsets;
    auto it = offsets.constFind(d.toJulianDay());
    if (it == offsets.constEnd()) {
        if (offsets.size() > 4096)
            offsets.clear();
        it = offsets.insert(d.toJulianDay(), QDateTime(d, QTime(12, 0)).offsetFromUtc());
    }
    return QDateTime(d, t, Qt::OffsetFromUTC, it.value());
}

void convertStored(Conv c, QVariant &v)
{
    if (c == Conv::None || v.isNull())
        return;
    const int id = v.typeId();
    switch (c) {
    case Conv::None:
        return;
    case Conv::ToInt:
        if (id != QMetaType::LongLong)
            v = QVariant(v.toLongLong());
        return;
    case Conv::ToFloat:
        if (id != QMetaType::Double)
            v = QVariant(v.toDouble());
        return;
    case Conv::ToBool:
        if (id != QMetaType::Bool)
            v = QVariant(id == QMetaType::QString ? (v.toString() == QLatin1String("1") ||
                                                     v.toString().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                                                  : v.toLongLong() != 0);
        return;
    case Conv::ToDate:
    case Conv::ToDateTime: {
        if (id != QMetaType::QString) {
            v = db::Database::toDateValue(v);
        } else {
            const QString s = v.toString();
            const QChar *p = s.constData();
            int y, m, d, hh = 0, mi = 0, ss = 0;
            const qsizetype n = s.size();
            if (n >= 10 && digits(p, 4, y) && p[4] == u'-' && digits(p + 5, 2, m) && p[7] == u'-' && digits(p + 8, 2, d) &&
                (n == 10 || (n >= 19 && digits(p + 11, 2, hh) && digits(p + 14, 2, mi) && digits(p + 17, 2, ss)))) {
                const QDate date(y, m, d);
                if (c == Conv::ToDate)
                    v = QVariant(date);
                else
                    v = QVariant(localDateTime(date, QTime(hh, mi, ss)));
                return;
            }
            v = db::Database::toDateValue(v);
        }
        if (c == Conv::ToDate && v.typeId() == QMetaType::QDateTime)
            v = QVariant(v.toDateTime().date());
        else if (c == Conv::ToDateTime && v.typeId() == QMetaType::QDate)
            v = QVariant(QDateTime(v.toDate(), QTime(0, 0)));
        return;
    }
    }
}

FieldType typeFromMeta(const QMetaType &m)
{
    switch (m.id()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return FieldType::Integer;
    case QMetaType::Double:
    case QMetaType::Float:
        return FieldType::Float;
    case QMetaType::Bool:
        return FieldType::Boolean;
    case QMetaType::QByteArray:
        return FieldType::Blob;
    case QMetaType::QDate:
        return FieldType::Date;
    case QMetaType::QDateTime:
        return FieldType::DateTime;
    default:
        return FieldType::Unknown;
    }
}

struct TableCache {
    QMutex mutex;
    QHash<QString, QVector<ClientDataSet::ColumnInfo>> tables;
};

TableCache &tableCache()
{
    static TableCache c;
    return c;
}

} // namespace

// ---------------------------------------------------------------------------

ClientDataSet::ClientDataSet(db::Database *database, QObject *parent) : QObject(parent), m_db(database) {}

ClientDataSet::~ClientDataSet() = default;

void ClientDataSet::SetDatabase(db::Database *database)
{
    if (database == m_db)
        return;
    m_db = database;
    m_statements.clear();
}

void ClientDataSet::SetCommandText(const QString &sql)
{
    if (sql == m_commandText)
        return;
    m_commandText = sql;
    m_fromParsed = false;
    m_fromTables.clear();
}

QVector<ClientDataSet::ColumnInfo> ClientDataSet::TableColumns(db::Database &database, const QString &table)
{
    const QString bare = bareTableName(table);
    const QString key = database.connectionName() + u'\x1f' + bare.toLower();
    TableCache &c = tableCache();
    {
        QMutexLocker lock(&c.mutex);
        auto it = c.tables.constFind(key);
        if (it != c.tables.constEnd())
            return it.value();
    }
    QVector<ColumnInfo> cols;
    // The layer answers for either engine; a missing table has no columns.
    for (const db::Database::TableColumn &c : database.tableColumns(bare))
        cols.push_back(ColumnInfo{c.name, c.type, c.primaryKey, c.hasDefault});
    if (!cols.isEmpty()) { // a table made later must still be found
        QMutexLocker lock(&c.mutex);
        c.tables.insert(key, cols);
    }
    return cols;
}

void ClientDataSet::ClearTableInfoCache()
{
    TableCache &c = tableCache();
    QMutexLocker lock(&c.mutex);
    c.tables.clear();
}

void ClientDataSet::parseFromTables()
{
    if (m_fromParsed)
        return;
    m_fromParsed = true;
    m_fromTables.clear();
    if (db::Database::isBatch(m_commandText))
        return;
    const QVector<db::Token> tokens = db::tokenize(m_commandText);
    int depth = 0;
    bool inFrom = false;
    bool expectTable = false;
    for (int i = 0; i < tokens.size(); ++i) {
        const db::Token &t = tokens[i];
        if (t.kind == db::Token::Whitespace || t.kind == db::Token::Comment)
            continue;
        if (t.kind == db::Token::Operator && t.text == QLatin1String("(")) {
            if (expectTable && depth == 0)
                expectTable = false; // a derived table has no name of its own
            ++depth;
            continue;
        }
        if (t.kind == db::Token::Operator && t.text == QLatin1String(")")) {
            --depth;
            continue;
        }
        if (depth != 0)
            continue;
        if (expectTable && (t.kind == db::Token::Word || t.kind == db::Token::QuotedName)) {
            QString name = t.text;
            // dbo.table: take the last part
            int j = i + 1;
            while (j + 1 < tokens.size() && tokens[j].kind == db::Token::Operator && tokens[j].text == QLatin1String(".")) {
                name = tokens[j + 1].text;
                j += 2;
            }
            i = j - 1;
            m_fromTables << bareTableName(name);
            expectTable = false;
            continue;
        }
        if (t.kind != db::Token::Word && !(t.kind == db::Token::Operator && t.text == QLatin1String(",")))
            continue;
        if (t.is("from") || t.is("join")) {
            inFrom = true;
            expectTable = true;
        } else if (inFrom && t.kind == db::Token::Operator) {
            expectTable = true; // from a, b
        } else if (t.is("where") || t.is("group") || t.is("order") || t.is("having") || t.is("union") || t.is("on")) {
            inFrom = false; // commas after these do not list tables; a later JOIN starts again
        }
    }
}

QString ClientDataSet::BaseTable() const
{
    if (!m_updateTable.isEmpty())
        return m_updateTable;
    const_cast<ClientDataSet *>(this)->parseFromTables();
    return m_fromTables.value(0);
}

// --------------------------------------------------------------------------- fields

Field *ClientDataSet::AddField(const QString &name, FieldType type, int size, bool required)
{
    if (Active())
        throw DataSetError(QStringLiteral("数据集已打开，不能增加字段 '%1'").arg(name));
    if (FindField(name))
        throw DataSetError(QStringLiteral("字段 '%1' 重复").arg(name));
    std::unique_ptr<Field> f(new Field(this, name, type, size));
    f->m_required = required;
    f->m_index = int(m_fields.size());
    m_fieldIndex.insert(name.toUpper(), f->m_index);
    m_resolvedValid = false; // the next open places the new field
    m_fields.push_back(std::move(f));
    return m_fields.back().get();
}

void ClientDataSet::AddFieldDefs(const QVector<FieldDef> &defs)
{
    for (const FieldDef &d : defs)
        AddField(d.name, d.type, d.size, d.required);
}

Field *ClientDataSet::AddCalcField(const QString &name, FieldType type, int size)
{
    Field *f = AddField(name, type, size);
    f->m_calculated = true;
    f->m_inUpdate = false;
    ++m_calcCount;
    return f;
}

Field *ClientDataSet::FindField(const QString &name) const
{
    // Names are mostly written in upper case already: try them as given
    // before building an upper-cased copy.
    auto it = m_fieldIndex.constFind(name);
    if (it != m_fieldIndex.constEnd())
        return m_fields[size_t(it.value())].get();
    it = m_fieldIndex.constFind(name.toUpper());
    return it == m_fieldIndex.constEnd() ? nullptr : m_fields[size_t(it.value())].get();
}

Field *ClientDataSet::FieldByName(const QString &name) const
{
    Field *f = FindField(name);
    if (!f)
        throw DataSetError(QStringLiteral("数据集中没有字段 '%1'").arg(name));
    return f;
}

QStringList ClientDataSet::FieldNames() const
{
    QStringList out;
    for (const auto &f : m_fields)
        out << f->m_name;
    return out;
}

const QVector<QVariant> *ClientDataSet::currentValues() const
{
    if (m_override)
        return m_override;
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return &m_buffer;
    const Record *r = current();
    return r ? &r->values : nullptr;
}

QVector<QVariant> *ClientDataSet::writableValues(const Field &f)
{
    if (m_calcTarget)
        return m_calcTarget;
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        throw DataSetError(notEditing(f.DisplayLabel()));
    if (f.m_readOnly)
        throw DataSetError(QStringLiteral("字段 '%1' 是只读的，不能修改").arg(f.DisplayLabel()));
    return &m_buffer;
}

void ClientDataSet::fieldWritten(Field &f, bool silent)
{
    if (m_calcTarget)
        return; // values filled in OnCalcFields raise nothing
    m_modified = true;
    const bool recalculated = OnCalcFields && !f.m_calculated;
    if (recalculated)
        calcRecord(m_buffer);
    notify(Notify::Field, m_cursor, &f);
    if (recalculated && m_calcCount > 0)
        notify(Notify::Record, m_cursor);
    if (!silent && m_silent == 0 && f.OnChange)
        f.OnChange(f);
}

// --------------------------------------------------------------------------- opening

void ClientDataSet::checkActive() const
{
    if (!Active())
        throw DataSetError(QStringLiteral("数据集没有打开"));
}

void ClientDataSet::setState(DataSetState s)
{
    if (m_state == s)
        return;
    m_state = s;
    notify(Notify::State);
}

void ClientDataSet::notify(Notify what, int arg, Field *field)
{
    if (m_disableCount > 0) {
        m_pendingRefresh = true;
        return;
    }
    switch (what) {
    case Notify::Field: emit fieldChanged(field); break;
    case Notify::Record: emit recordChanged(arg); break;
    case Notify::Insert: emit rowInserted(arg); break;
    case Notify::Remove: emit rowRemoved(arg); break;
    case Notify::All: emit dataSetChanged(); break;
    case Notify::State: emit stateChanged(); break;
    case Notify::Scroll: emit scrolled(); break;
    }
}

void ClientDataSet::resolveFields(const QStringList &columns, const QVector<QMetaType> &metaTypes,
                                  QVector<int> &columnToField)
{
    // Reopening with the columns of the last open (the next note of a window)
    // would rebuild the same fields in the same order: keep them.
    QVector<int> metaIds;
    metaIds.reserve(metaTypes.size());
    for (const QMetaType &m : metaTypes)
        metaIds << m.id();
    if (m_resolvedValid && columns == m_resolvedColumns && metaIds == m_resolvedMetaIds) {
        columnToField = m_resolvedMap;
        return;
    }
    parseFromTables();
    QVector<QVector<ColumnInfo>> tables;
    if (m_db)
        for (const QString &t : std::as_const(m_fromTables))
            tables << TableColumns(*m_db, t);

    std::vector<std::unique_ptr<Field>> order;
    std::vector<std::unique_ptr<Field>> old = std::move(m_fields);
    m_fields.clear();
    auto takeOld = [&](const QString &name) -> std::unique_ptr<Field> {
        for (auto &f : old)
            if (f && !f->m_calculated && f->m_name.compare(name, Qt::CaseInsensitive) == 0)
                return std::move(f);
        return nullptr;
    };
    QSet<QString> used;
    columnToField.resize(columns.size());
    for (int c = 0; c < columns.size(); ++c) {
        QString name = columns[c];
        if (used.contains(name.toUpper())) { // the same name twice in one select
            int n = 1;
            while (used.contains((name + u'_' + QString::number(n)).toUpper()))
                ++n;
            name += u'_' + QString::number(n);
        }
        used.insert(name.toUpper());
        std::unique_ptr<Field> f = takeOld(name);
        if (!f) {
            FieldType type = FieldType::Unknown;
            int size = 0;
            for (const auto &cols : std::as_const(tables)) {
                for (const ColumnInfo &ci : cols)
                    if (ci.name.compare(name, Qt::CaseInsensitive) == 0) {
                        type = fieldTypeFromDeclared(ci.declared, &size);
                        break;
                    }
                if (type != FieldType::Unknown)
                    break;
            }
            if (type == FieldType::Unknown)
                type = typeFromMeta(metaTypes.value(c));
            f.reset(new Field(this, name, type, size));
            f->m_autoCreated = true;
        }
        columnToField[c] = int(order.size());
        order.push_back(std::move(f));
    }
    // fields defined by hand and absent from the select stay (null); calculated fields last
    for (auto &f : old)
        if (f && !f->m_calculated && !f->m_autoCreated)
            order.push_back(std::move(f));
    for (auto &f : old)
        if (f && f->m_calculated)
            order.push_back(std::move(f));
    m_fields = std::move(order);
    m_fieldIndex.clear();
    for (int i = 0; i < int(m_fields.size()); ++i) {
        m_fields[size_t(i)]->m_index = i;
        m_fieldIndex.insert(m_fields[size_t(i)]->m_name.toUpper(), i);
    }
    m_resolvedColumns = columns;
    m_resolvedMetaIds = metaIds;
    m_resolvedMap = columnToField;
    m_resolvedValid = true;
}

void ClientDataSet::loadFromQuery()
{
    if (!m_db)
        throw DataSetError(QStringLiteral("数据集没有连接数据库"));
    m_compiledFilter = nullptr; // field objects may change
    m_totals.clear();
    m_records.clear();
    m_view.clear();
    QVector<int> map;
    QVector<Conv> conv;
    auto prepareColumns = [&](const QStringList &cols, const QVector<QMetaType> &metas) {
        resolveFields(cols, metas, map);
        conv.resize(cols.size());
        for (int c = 0; c < cols.size(); ++c)
            conv[c] = conversionFor(m_fields[size_t(map[c])]->m_type);
    };
    if (db::Database::isBatch(m_commandText)) {
        db::ResultSet rs = m_db->run(m_commandText, m_params);
        prepareColumns(rs.columns, QVector<QMetaType>(rs.columns.size()));
        const int n = FieldCount();
        m_records.reserve(size_t(rs.rows.size()));
        for (auto &row : rs.rows) {
            auto r = std::make_unique<Record>();
            r->id = m_nextId++;
            r->values.resize(n);
            for (int c = 0; c < row.size() && c < map.size(); ++c) {
                QVariant &v = r->values[map[c]];
                v = std::move(row[c]);
                convertStored(conv[c], v);
            }
            m_records.push_back(std::move(r));
        }
    } else {
        db::Rows rows = m_db->read(m_commandText, m_params);
        prepareColumns(rows.columns(), rows.metaTypes());
        const int n = FieldCount();
        const int nc = rows.columnCount();
        // The select's columns are the first fields, in order (see resolveFields):
        // each record's values are then made in place, the other fields null after them.
        bool inOrder = true;
        for (int c = 0; c < nc; ++c)
            inOrder = inOrder && map[c] == c;
        auto valueOf = [&](int c) -> QVariant {
            // Numbers go straight to the field's type, without a QVariant to convert.
            const db::Rows::Storage s = rows.storage(c);
            if (conv[c] == Conv::ToFloat && (s == db::Rows::Real || s == db::Rows::Integer))
                return QVariant(rows.real(c));
            if (conv[c] == Conv::ToInt && s == db::Rows::Integer)
                return QVariant(qlonglong(rows.integer(c)));
            if (conv[c] == Conv::None && s == db::Rows::Text)
                return QVariant(rows.text(c));
            if (s == db::Rows::Null)
                return db::Rows::nullValue(); // nothing to convert
            QVariant v = rows.value(c);
            convertStored(conv[c], v);
            return v;
        };
        while (rows.next()) {
            auto r = std::make_unique<Record>();
            r->id = m_nextId++;
            if (inOrder) {
                r->values.reserve(n);
                for (int c = 0; c < nc; ++c)
                    r->values.emplaceBack(valueOf(c));
                r->values.resize(n);
            } else {
                r->values.resize(n);
                for (int c = 0; c < nc; ++c)
                    r->values[map[c]] = valueOf(c);
            }
            m_records.push_back(std::move(r));
        }
    }
    // columns whose type neither the table nor the driver told: take it from the data
    for (auto &f : m_fields) {
        if (f->m_type != FieldType::Unknown || f->m_calculated)
            continue;
        FieldType t = FieldType::String;
        f->m_typeGuessed = true;
        for (const auto &r : m_records) {
            const QVariant &v = r->values[f->m_index];
            if (!isNullValue(v)) {
                t = typeFromMeta(v.metaType());
                if (t == FieldType::Unknown)
                    t = FieldType::String;
                f->m_typeGuessed = false;
                break;
            }
        }
        f->m_type = t;
        f->m_spec = parseDisplayFormat(f->m_format, t);
        const Conv c = conversionFor(t);
        if (c != Conv::None)
            for (auto &r : m_records)
                convertStored(c, r->values[f->m_index]);
    }
    m_view.reserve(m_records.size());
    for (auto &r : m_records)
        m_view.push_back(r.get());
}

void ClientDataSet::calcRecord(QVector<QVariant> &values)
{
    if (!OnCalcFields)
        return;
    const QVector<QVariant> *prevOverride = m_override;
    QVector<QVariant> *prevTarget = m_calcTarget;
    m_override = &values;
    m_calcTarget = &values;
    for (const auto &f : m_fields)
        if (f->m_calculated)
            values[f->m_index] = QVariant();
    try {
        OnCalcFields(*this);
    } catch (...) {
        m_override = prevOverride;
        m_calcTarget = prevTarget;
        throw;
    }
    m_override = prevOverride;
    m_calcTarget = prevTarget;
}

void ClientDataSet::calcAll()
{
    if (!OnCalcFields)
        return;
    m_totals.clear();
    for (auto &r : m_records)
        if (r->status != UpdateStatus::Deleted)
            calcRecord(r->values);
}

void ClientDataSet::Open()
{
    if (Active())
        return;
    fire(BeforeOpen);
    m_totals.clear();
    try {
        if (m_commandText.trimmed().isEmpty()) {
            if (m_fields.empty())
                throw DataSetError(QStringLiteral("数据集没有命令文本，也没有字段定义"));
            m_records.clear();
            m_view.clear();
        } else {
            loadFromQuery();
        }
        calcAll();
        if (m_filtered)
            rebuildView(0);
    } catch (...) {
        m_records.clear();
        m_view.clear();
        throw;
    }
    m_cursor = 0;
    m_bof = true;
    m_eof = m_view.empty();
    m_modified = false;
    m_state = DataSetState::Browse;
    notify(Notify::All);
    notify(Notify::State);
    fire(AfterOpen);
    fire(AfterScroll);
}

void ClientDataSet::CreateDataSet()
{
    if (Active())
        Close();
    const QString keep = m_commandText;
    m_commandText.clear();
    try {
        Open();
    } catch (...) {
        m_commandText = keep;
        throw;
    }
    m_commandText = keep;
}

void ClientDataSet::Close()
{
    if (!Active())
        return;
    fire(BeforeClose);
    m_buffer.clear();
    m_totals.clear();
    m_records.clear();
    m_view.clear();
    m_cursor = 0;
    m_bof = m_eof = true;
    m_modified = false;
    m_state = DataSetState::Inactive;
    notify(Notify::All);
    notify(Notify::State);
    fire(AfterClose);
}

void ClientDataSet::Refresh()
{
    checkActive();
    CheckBrowseMode();
    if (ChangeCount() > 0)
        throw DataSetError(QStringLiteral("数据集有未提交的修改，不能刷新"));
    if (m_commandText.trimmed().isEmpty())
        return;
    QVector<int> keys;
    if (m_db) {
        const QString table = BaseTable();
        keys = keyFieldIndexes(table.isEmpty() ? QVector<ColumnInfo>() : TableColumns(*m_db, table));
    }
    if (keys.isEmpty() && !m_fields.empty())
        keys << 0;
    QStringList keyNames;
    QVariantList keyValues;
    if (const Record *r = current())
        for (int k : std::as_const(keys)) {
            keyNames << m_fields[size_t(k)]->m_name;
            keyValues << r->values[k];
        }
    fire(BeforeScroll);
    loadFromQuery();
    calcAll();
    rebuildView(0);
    m_cursor = 0;
    if (!keyNames.isEmpty()) {
        QVector<int> idx;
        for (const QString &n : std::as_const(keyNames))
            if (Field *f = FindField(n))
                idx << f->m_index;
        if (idx.size() == keyNames.size())
            for (int i = 0; i < int(m_view.size()); ++i)
                if (matches(m_view[size_t(i)], idx, keyValues, 0)) {
                    m_cursor = i;
                    break;
                }
    }
    m_bof = m_cursor == 0;
    m_eof = m_view.empty();
    notify(Notify::All);
    fire(AfterScroll);
}

// --------------------------------------------------------------------------- cursor

int ClientDataSet::RecNo() const
{
    if (m_state == DataSetState::Inactive || m_view.empty())
        return 0;
    return m_cursor + 1;
}

void ClientDataSet::First()
{
    checkActive();
    CheckBrowseMode();
    fire(BeforeScroll);
    const bool moved = m_cursor != 0;
    m_cursor = 0;
    m_bof = true;
    m_eof = m_view.empty();
    if (moved)
        notify(Notify::Scroll);
    fire(AfterScroll);
}

void ClientDataSet::Last()
{
    checkActive();
    CheckBrowseMode();
    fire(BeforeScroll);
    const int target = std::max(0, int(m_view.size()) - 1);
    const bool moved = m_cursor != target;
    m_cursor = target;
    m_eof = true;
    m_bof = m_view.empty();
    if (moved)
        notify(Notify::Scroll);
    fire(AfterScroll);
}

void ClientDataSet::Next() { MoveBy(1); }
void ClientDataSet::Prior() { MoveBy(-1); }

int ClientDataSet::MoveBy(int distance)
{
    checkActive();
    CheckBrowseMode();
    fire(BeforeScroll);
    int moved = 0;
    if ((distance > 0 && !m_eof) || (distance < 0 && !m_bof)) {
        m_bof = m_eof = false;
        const int size = int(m_view.size());
        int target = m_cursor + distance;
        if (target >= size) {
            target = size - 1;
            m_eof = true;
        }
        if (target < 0) {
            target = 0;
            m_bof = true;
        }
        if (size == 0)
            m_bof = m_eof = true;
        moved = std::max(target, 0) - m_cursor;
        m_cursor = std::max(target, 0);
        if (moved != 0)
            notify(Notify::Scroll);
    }
    fire(AfterScroll);
    return moved;
}

void ClientDataSet::MoveTo(int row)
{
    checkActive();
    CheckBrowseMode();
    if (m_view.empty())
        return;
    row = std::clamp(row, 0, int(m_view.size()) - 1);
    if (row == m_cursor)
        return;
    fire(BeforeScroll);
    m_cursor = row;
    m_bof = m_eof = false;
    notify(Notify::Scroll);
    fire(AfterScroll);
}

void ClientDataSet::SetRecNo(int recNo) { MoveTo(recNo - 1); }

int ClientDataSet::viewIndex(quint64 id) const
{
    for (int i = 0; i < int(m_view.size()); ++i)
        if (m_view[size_t(i)]->id == id)
            return i;
    return -1;
}

int ClientDataSet::recordIndex(const Record *r) const
{
    for (int i = 0; i < int(m_records.size()); ++i)
        if (m_records[size_t(i)].get() == r)
            return i;
    return -1;
}

Bookmark ClientDataSet::GetBookmark() const
{
    const Record *r = current();
    return Bookmark{r ? r->id : 0};
}

bool ClientDataSet::BookmarkValid(const Bookmark &bookmark) const
{
    return bookmark.IsValid() && viewIndex(bookmark.id) >= 0;
}

void ClientDataSet::GotoBookmark(const Bookmark &bookmark)
{
    checkActive();
    CheckBrowseMode();
    const int i = viewIndex(bookmark.id);
    if (i < 0)
        throw DataSetError(QStringLiteral("书签指向的记录不存在"));
    MoveTo(i);
}

bool ClientDataSet::matches(const Record *r, const QVector<int> &fields, const QVariantList &values, LocateOptions o) const
{
    for (int k = 0; k < fields.size(); ++k) {
        const Field &f = *m_fields[size_t(fields[k])];
        const QVariant &rv = r->values[fields[k]];
        const QVariant &kv = values[k];
        const bool rn = isNullValue(rv), kn = isNullValue(kv);
        if (rn || kn) {
            if (rn != kn)
                return false;
            continue;
        }
        if (f.m_type == FieldType::String || f.m_type == FieldType::Memo) {
            const QString a = rv.toString(), b = kv.toString();
            const Qt::CaseSensitivity cs = (o & LocateCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
            if ((o & LocatePartialKey) ? !a.startsWith(b, cs) : a.compare(b, cs) != 0)
                return false;
        } else if (f.m_type == FieldType::Integer || f.m_type == FieldType::Float) {
            if (rv.toDouble() != kv.toDouble())
                return false;
        } else if (rv != kv) {
            return false;
        }
    }
    return true;
}

bool ClientDataSet::Locate(const QString &fields, const QVariantList &values, LocateOptions options)
{
    checkActive();
    CheckBrowseMode();
    const QStringList names = splitNames(fields);
    if (names.size() != values.size())
        throw DataSetError(QStringLiteral("定位的字段与值的个数不一致"));
    QVector<int> idx;
    QVariantList keys;
    for (int i = 0; i < names.size(); ++i) {
        const Field *f = FieldByName(names[i]);
        idx << f->m_index;
        if (f->m_type == FieldType::String || f->m_type == FieldType::Memo) {
            keys << values[i];
        } else {
            try {
                keys << f->Convert(values[i]);
            } catch (const DataSetError &) {
                return false; // a value of another type matches nothing
            }
        }
    }
    for (int i = 0; i < int(m_view.size()); ++i)
        if (matches(m_view[size_t(i)], idx, keys, options)) {
            if (i == m_cursor) { // Locate always counts as a scroll
                fire(BeforeScroll);
                m_bof = m_eof = false;
                fire(AfterScroll);
            } else {
                MoveTo(i);
            }
            return true;
        }
    return false;
}

QVariant ClientDataSet::Lookup(const QString &keyFields, const QVariantList &keyValues, const QString &resultFields)
{
    checkActive();
    const QStringList names = splitNames(keyFields);
    if (names.size() != keyValues.size())
        throw DataSetError(QStringLiteral("查找的字段与值的个数不一致"));
    QVector<int> idx;
    QVariantList keys;
    for (int i = 0; i < names.size(); ++i) {
        const Field *f = FieldByName(names[i]);
        idx << f->m_index;
        try {
            keys << f->Convert(keyValues[i]);
        } catch (const DataSetError &) {
            return QVariant();
        }
    }
    QVector<int> out;
    for (const QString &n : splitNames(resultFields))
        out << FieldByName(n)->m_index;
    for (const Record *r : m_view)
        if (matches(r, idx, keys, 0)) {
            if (out.size() == 1)
                return r->values[out[0]];
            QVariantList list;
            for (int i : std::as_const(out))
                list << r->values[i];
            return list;
        }
    return QVariant();
}

// --------------------------------------------------------------------------- filter

bool ClientDataSet::passesFilter(Record *r)
{
    if (!m_filtered)
        return true;
    if (!m_compiledFilter && !m_filterText.trimmed().isEmpty())
        m_compiledFilter = compileFilter(*this, m_filterText, m_filterCaseInsensitive);
    if (!m_compiledFilter && !m_filterFn)
        return true;
    const QVector<QVariant> *prev = m_override;
    m_override = &r->values;
    bool ok = true;
    try {
        if (m_compiledFilter)
            ok = m_compiledFilter(*this);
        if (ok && m_filterFn)
            ok = m_filterFn(*this);
    } catch (...) {
        m_override = prev;
        throw;
    }
    m_override = prev;
    return ok;
}

void ClientDataSet::rebuildView(quint64 keepId)
{
    const quint64 currentId = keepId ? keepId : (current() ? current()->id : 0);
    const int oldCursor = m_cursor;
    m_totals.clear();
    m_view.clear();
    for (auto &r : m_records)
        if (r->status != UpdateStatus::Deleted && passesFilter(r.get()))
            m_view.push_back(r.get());
    const int i = currentId ? viewIndex(currentId) : -1;
    m_cursor = i >= 0 ? i : std::clamp(oldCursor, 0, std::max(0, int(m_view.size()) - 1));
    if (m_view.empty())
        m_bof = m_eof = true;
}

void ClientDataSet::SetFilter(const QString &expression)
{
    if (expression == m_filterText)
        return;
    // compiled now when the fields are known, so a bad expression fails here
    m_compiledFilter = expression.trimmed().isEmpty() || !Active()
                           ? std::function<bool(ClientDataSet &)>()
                           : compileFilter(*this, expression, m_filterCaseInsensitive);
    m_filterText = expression;
    if (m_filtered && Active()) {
        CheckBrowseMode();
        rebuildView(0);
        notify(Notify::All);
        First();
    }
}

void ClientDataSet::SetFilterFunction(FilterFunction fn)
{
    m_filterFn = std::move(fn);
    if (m_filtered && Active()) {
        CheckBrowseMode();
        rebuildView(0);
        notify(Notify::All);
        First();
    }
}

void ClientDataSet::SetFilterCaseInsensitive(bool on)
{
    if (on == m_filterCaseInsensitive)
        return;
    m_filterCaseInsensitive = on;
    if (!m_filterText.isEmpty()) {
        const QString text = m_filterText;
        m_filterText.clear();
        SetFilter(text);
    }
}

void ClientDataSet::SetFiltered(bool on)
{
    if (on == m_filtered)
        return;
    if (Active())
        CheckBrowseMode();
    m_filtered = on;
    if (Active()) {
        rebuildView(0);
        notify(Notify::All);
        First();
    }
}

// --------------------------------------------------------------------------- editing

void ClientDataSet::CheckBrowseMode()
{
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) {
        if (m_modified)
            Post();
        else
            Cancel();
    }
}

void ClientDataSet::beginInsert(bool append)
{
    checkActive();
    CheckBrowseMode();
    fire(BeforeInsert);
    fire(BeforeScroll);
    auto rec = std::make_unique<Record>();
    rec->id = m_nextId++;
    rec->values.resize(FieldCount());
    Record *r = rec.get();
    int pos;
    if (append || m_view.empty()) {
        pos = int(m_view.size());
        m_records.push_back(std::move(rec));
        m_view.push_back(r);
    } else {
        pos = m_cursor;
        const int at = recordIndex(m_view[size_t(pos)]);
        m_records.insert(m_records.begin() + at, std::move(rec));
        m_view.insert(m_view.begin() + pos, r);
    }
    m_cursor = pos;
    m_bof = m_eof = false;
    m_buffer = r->values;
    m_modified = false;
    notify(Notify::Insert, pos);
    setState(DataSetState::Insert);
    try {
        fire(OnNewRecord);
        calcRecord(m_buffer);
    } catch (...) {
        m_state = DataSetState::Edit; // so removal goes the cancel way
        m_buffer.clear();
        const int at = recordIndex(r);
        m_view.erase(m_view.begin() + pos);
        m_records.erase(m_records.begin() + at);
        m_cursor = std::clamp(pos, 0, std::max(0, int(m_view.size()) - 1));
        m_bof = m_eof = m_view.empty();
        m_state = DataSetState::Browse;
        notify(Notify::Remove, pos);
        notify(Notify::State);
        throw;
    }
    m_modified = false;
    notify(Notify::Record, pos);
    fire(AfterInsert);
    fire(AfterScroll);
}

void ClientDataSet::Append() { beginInsert(true); }
void ClientDataSet::Insert() { beginInsert(false); }

void ClientDataSet::Edit()
{
    checkActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return;
    if (m_view.empty()) {
        Append();
        return;
    }
    fire(BeforeEdit);
    m_buffer = current()->values;
    m_modified = false;
    setState(DataSetState::Edit);
    fire(AfterEdit);
}

void ClientDataSet::Post()
{
    checkActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    fire(BeforePost);
    for (const auto &f : m_fields) {
        if (!f->m_required || f->m_calculated)
            continue;
        const QVariant &v = m_buffer[f->m_index];
        if (isNullValue(v) || ((f->m_type == FieldType::String || f->m_type == FieldType::Memo) && v.toString().isEmpty()))
            throw DataSetError(QStringLiteral("字段 '%1' 必须有值").arg(f->DisplayLabel()));
    }
    Record *r = current();
    if (m_state == DataSetState::Insert || m_modified)
        adjustTotals(r->values, -1.0, m_buffer);
    if (m_state == DataSetState::Insert) {
        r->status = UpdateStatus::Inserted;
        r->values = std::move(m_buffer);
    } else if (m_modified) {
        if (r->status == UpdateStatus::Unmodified) {
            r->old = std::make_unique<QVector<QVariant>>(std::move(r->values));
            r->status = UpdateStatus::Modified;
        }
        r->values = std::move(m_buffer);
    }
    m_buffer = QVector<QVariant>();
    m_modified = false;
    m_state = DataSetState::Browse;
    const int row = m_cursor;
    if (m_filtered && !passesFilter(r)) {
        adjustTotals(r->values, -1.0);
        m_view.erase(m_view.begin() + row);
        m_cursor = std::clamp(row, 0, std::max(0, int(m_view.size()) - 1));
        if (m_view.empty())
            m_bof = m_eof = true;
        notify(Notify::Remove, row);
    } else {
        notify(Notify::Record, row);
    }
    notify(Notify::State);
    fire(AfterPost);
}

void ClientDataSet::Cancel()
{
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    fire(BeforeCancel);
    const bool wasInsert = m_state == DataSetState::Insert;
    if (wasInsert)
        fire(BeforeScroll);
    const int row = m_cursor;
    m_buffer = QVector<QVariant>();
    m_modified = false;
    m_state = DataSetState::Browse;
    if (wasInsert) {
        Record *r = m_view[size_t(row)];
        m_view.erase(m_view.begin() + row);
        m_records.erase(m_records.begin() + recordIndex(r));
        m_cursor = std::clamp(row, 0, std::max(0, int(m_view.size()) - 1));
        if (m_view.empty())
            m_bof = m_eof = true;
        notify(Notify::Remove, row);
    } else {
        notify(Notify::Record, row);
    }
    notify(Notify::State);
    fire(AfterCancel);
    if (wasInsert)
        fire(AfterScroll);
}

void ClientDataSet::Delete()
{
    checkActive();
    if (m_state == DataSetState::Insert) {
        Cancel();
        return;
    }
    if (m_view.empty())
        throw DataSetError(QStringLiteral("数据集是空的，不能删除记录"));
    fire(BeforeDelete);
    fire(BeforeScroll);
    const bool wasEdit = m_state == DataSetState::Edit;
    m_buffer = QVector<QVariant>();
    m_modified = false;
    m_state = DataSetState::Browse;
    const int row = m_cursor;
    Record *r = m_view[size_t(row)];
    adjustTotals(r->values, -1.0);
    m_view.erase(m_view.begin() + row);
    if (r->status == UpdateStatus::Inserted) {
        m_records.erase(m_records.begin() + recordIndex(r));
    } else {
        if (!r->old)
            r->old = std::make_unique<QVector<QVariant>>(r->values);
        r->status = UpdateStatus::Deleted;
    }
    if (m_view.empty()) {
        m_cursor = 0;
        m_bof = m_eof = true;
    } else if (row >= int(m_view.size())) {
        m_cursor = int(m_view.size()) - 1;
        m_bof = false;
        m_eof = true;
    } else {
        m_cursor = row;
        m_bof = m_eof = false;
    }
    notify(Notify::Remove, row);
    if (wasEdit)
        notify(Notify::State);
    fire(AfterDelete);
    fire(AfterScroll);
}

// --------------------------------------------------------------------------- change log

int ClientDataSet::ChangeCount() const
{
    int n = 0;
    for (const auto &r : m_records)
        if (r->status != UpdateStatus::Unmodified)
            ++n;
    return n;
}

UpdateStatus ClientDataSet::GetUpdateStatus() const
{
    if (m_state == DataSetState::Insert)
        return UpdateStatus::Inserted;
    const Record *r = current();
    return r ? r->status : UpdateStatus::Unmodified;
}

void ClientDataSet::MergeChangeLog()
{
    checkActive();
    CheckBrowseMode();
    m_records.erase(std::remove_if(m_records.begin(), m_records.end(),
                                   [](const std::unique_ptr<Record> &r) { return r->status == UpdateStatus::Deleted; }),
                    m_records.end());
    for (auto &r : m_records) {
        r->status = UpdateStatus::Unmodified;
        r->old.reset();
    }
}

void ClientDataSet::revert(Record *r)
{
    m_totals.clear();
    if (r->old) {
        r->values = std::move(*r->old);
        r->old.reset();
    }
    r->status = UpdateStatus::Unmodified;
    calcRecord(r->values);
}

void ClientDataSet::CancelUpdates()
{
    checkActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        Cancel();
    const quint64 keep = current() ? current()->id : 0;
    m_records.erase(std::remove_if(m_records.begin(), m_records.end(),
                                   [](const std::unique_ptr<Record> &r) { return r->status == UpdateStatus::Inserted; }),
                    m_records.end());
    for (auto &r : m_records)
        if (r->status != UpdateStatus::Unmodified)
            revert(r.get());
    rebuildView(keep);
    m_bof = m_cursor == 0;
    m_eof = m_view.empty();
    notify(Notify::All);
}

void ClientDataSet::RevertRecord()
{
    checkActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        Cancel();
    Record *r = current();
    if (!r || r->status == UpdateStatus::Unmodified)
        return;
    const int row = m_cursor;
    if (r->status == UpdateStatus::Inserted) {
        adjustTotals(r->values, -1.0);
        m_view.erase(m_view.begin() + row);
        m_records.erase(m_records.begin() + recordIndex(r));
        m_cursor = std::clamp(row, 0, std::max(0, int(m_view.size()) - 1));
        if (m_view.empty())
            m_bof = m_eof = true;
        notify(Notify::Remove, row);
        return;
    }
    revert(r);
    notify(Notify::Record, row);
}

QVector<int> ClientDataSet::keyFieldIndexes(const QVector<ColumnInfo> &cols) const
{
    QVector<int> out;
    if (!m_keyFields.isEmpty()) {
        for (const QString &n : splitNames(m_keyFields))
            out << FieldByName(n)->m_index;
        return out;
    }
    for (const ColumnInfo &c : cols)
        if (c.primaryKey)
            if (const Field *f = FindField(c.name))
                out << f->m_index;
    return out;
}

void ClientDataSet::refuseOverlongTexts(const QVector<std::pair<int, int>> &limits, const std::vector<Record *> &inserts,
                                        const std::vector<Record *> &updates) const
{
    // Neither engine holds a text to its column's declared length (SQLite keeps
    // any length, the server's case-blind text type has none), where the
    // original server refused it: it is refused here, before anything is written.
    for (const auto *records : {&inserts, &updates})
        for (const Record *r : *records)
            for (const auto &[i, size] : std::as_const(limits)) {
                const QVariant &v = r->values[i];
                if (isNullValue(v) || v.typeId() != QMetaType::QString)
                    continue;
                const QString text = v.toString();
                if (text.size() <= size)
                    continue;
                const qsizetype characters = text.toUcs4().size(); // a pair of surrogates is one character
                if (characters > size)
                    throw DataSetError(QStringLiteral("字段 '%1' 的内容过长：最多 %2 个字符，现有 %3 个。")
                                           .arg(m_fields[size_t(i)]->DisplayLabel())
                                           .arg(size)
                                           .arg(characters));
            }
}

ClientDataSet::Statement &ClientDataSet::statementFor(const QString &shape, const std::function<Statement()> &make)
{
    auto it = m_statements.find(shape);
    if (it == m_statements.end())
        it = m_statements.insert(shape, std::make_shared<Statement>(make()));
    return *it.value();
}

int ClientDataSet::ApplyUpdates(int maxErrors, bool merge)
{
    checkActive();
    CheckBrowseMode();
    if (!m_db)
        throw DataSetError(QStringLiteral("数据集没有连接数据库"));
    std::vector<Record *> deletes, updates, inserts;
    for (auto &r : m_records) {
        switch (r->status) {
        case UpdateStatus::Deleted: deletes.push_back(r.get()); break;
        case UpdateStatus::Modified: updates.push_back(r.get()); break;
        case UpdateStatus::Inserted: inserts.push_back(r.get()); break;
        default: break;
        }
    }
    if (deletes.empty() && updates.empty() && inserts.empty())
        return 0;

    const QString table = BaseTable();
    if (table.isEmpty())
        throw DataSetError(QStringLiteral("无法确定数据集要更新的表"));
    const QVector<ColumnInfo> cols = TableColumns(*m_db, table);
    if (cols.isEmpty())
        throw db::DbError(QStringLiteral("对象名 '%1' 无效。").arg(table));
    if (m_statementTable.compare(table, Qt::CaseInsensitive) != 0) {
        m_statements.clear();
        m_statementTable = table;
    }
    // fields that are real columns of the table, under the table's spelling
    QVector<int> writable;
    QHash<int, QString> columnName;
    QVector<std::pair<int, int>> textLimits; // field, characters its column holds
    for (const auto &f : m_fields) {
        if (f->m_calculated || !f->m_inUpdate)
            continue;
        for (const ColumnInfo &c : cols)
            if (c.name.compare(f->m_name, Qt::CaseInsensitive) == 0) {
                writable << f->m_index;
                columnName.insert(f->m_index, sqlName(c.name));
                int size = 0;
                if (fieldTypeFromDeclared(c.declared, &size) == FieldType::String && size > 0)
                    textLimits.append({f->m_index, size});
                break;
            }
    }
    refuseOverlongTexts(textLimits, inserts, updates);
    const QVector<int> keys = keyFieldIndexes(cols);
    if (keys.isEmpty() && (!deletes.empty() || !updates.empty()))
        throw DataSetError(QStringLiteral("没有关键字段，不能更新表 '%1'").arg(table));
    for (int k : keys)
        if (!columnName.contains(k))
            columnName.insert(k, sqlName(m_fields[size_t(k)]->m_name));

    const QString tableSql = sqlName(bareTableName(table));
    // Besides the keys, UPDATE and DELETE carry the original values of the
    // columns they depend on, so a record another client changed since it was
    // read is not overwritten: the statement then touches no row.
    QVector<int> guards;
    QSet<int> withDefault; // a null read may stand for a default the table filled in on insert
    if (m_updateMode != UpdateMode::WhereKeyOnly)
        for (int i : std::as_const(writable)) {
            const FieldType t = m_fields[size_t(i)]->m_type;
            if (keys.contains(i) || t == FieldType::Blob)
                continue;
            guards << i;
            for (const ColumnInfo &c : cols)
                if (c.hasDefault && c.name.compare(m_fields[size_t(i)]->m_name, Qt::CaseInsensitive) == 0)
                    withDefault.insert(i);
        }
    auto condition = [&](int k, const QVector<QVariant> &old, QString &shape, QVector<int> &bind) {
        if (isNullValue(old[k])) {
            shape += u'n';
            const FieldType t = m_fields[size_t(k)]->m_type;
            // An empty text reads as no date; a server's date column cannot hold one.
            if ((t == FieldType::Date || t == FieldType::DateTime) && !m_db->isPostgres())
                return QLatin1String("nullif(") + columnName[k] + QLatin1String(", '') IS NULL");
            return columnName[k] + QLatin1String(" IS NULL");
        }
        bind << k;
        shape += u'k';
        switch (m_fields[size_t(k)]->m_type) {
        case FieldType::Float: // stored and read back as the same double; the margin only absorbs noise
            return QLatin1String("abs(") + columnName[k] + QLatin1String(" - ?) < 0.0000005");
        case FieldType::Date: return QLatin1String("date(") + columnName[k] + QLatin1String(") = ?");
        case FieldType::DateTime:
            // To the second on both engines: what was read back is compared with what is stored.
            if (m_db->isPostgres())
                return QLatin1String("CAST(") + columnName[k] + QLatin1String(" AS timestamp(0)) = CAST(? AS timestamp(0))");
            return QLatin1String("datetime(") + columnName[k] + QLatin1String(") = ?");
        default: return columnName[k] + QLatin1String(" = ?");
        }
    };
    auto whereKeys = [&](const Record &r, QString &shape, QVector<int> &bind) {
        const QVector<QVariant> &old = *r.old;
        QString where;
        for (int k : keys) {
            if (!where.isEmpty())
                where += QLatin1String(" AND ");
            where += condition(k, old, shape, bind);
        }
        shape += u'/';
        for (int g : std::as_const(guards)) {
            if (m_updateMode == UpdateMode::WhereChanged && sameValue(old[g], r.values[g]))
                continue;
            if (isNullValue(old[g]) && withDefault.contains(g))
                continue;
            shape += QString::number(g);
            where += QLatin1String(" AND ") + condition(g, old, shape, bind);
        }
        return where;
    };
    auto run = [&](Statement &st, const QVector<QVariant> &vals, const QVector<QVariant> &old, bool checkRows) {
        for (int i = 0; i < st.fields.size(); ++i)
            st.query.bindValue(i, toDb(i < st.valueCount ? vals[st.fields[i]] : old[st.fields[i]]));
        m_db->execPrepared(st.query, true);
        if (checkRows && m_db->lastRowsAffected() < 1)
            throw db::ConcurrencyError();
    };

    const bool own = !m_db->inTransaction();
    if (own)
        m_db->beginTran();
    // Stopping at the first failure, the apply is all or nothing: its caller
    // (or the own transaction below) rolls back whatever failed.
    std::optional<db::Database::AllOrNothing> whole;
    if (maxErrors == 0)
        whole.emplace(*m_db);
    int errors = 0;
    std::vector<Record *> failed;
    try {
        auto attempt = [&](Record *r, const std::function<void()> &fn) {
            try {
                fn();
            } catch (const db::DbError &) {
                ++errors;
                if (maxErrors >= 0 && errors > maxErrors)
                    throw;
                failed.push_back(r);
            }
        };
        for (Record *r : deletes)
            attempt(r, [&] {
                QString shape = QStringLiteral("D");
                QVector<int> bind;
                const QString where = whereKeys(*r, shape, bind);
                Statement &st = statementFor(shape, [&] {
                    Statement s;
                    s.query = m_db->prepare(QLatin1String("DELETE FROM ") + tableSql + QLatin1String(" WHERE ") + where);
                    s.fields = bind;
                    return s;
                });
                run(st, r->values, *r->old, true);
            });
        for (Record *r : updates)
            attempt(r, [&] {
                QString shape = QStringLiteral("U");
                QVector<int> bind;
                QString set;
                for (int i : std::as_const(writable))
                    if (!sameValue((*r->old)[i], r->values[i])) {
                        if (!set.isEmpty())
                            set += QLatin1String(", ");
                        set += columnName[i] + QLatin1String(" = ?");
                        bind << i;
                        shape += QString::number(i) + u',';
                    }
                if (bind.isEmpty())
                    return; // edited back to what it was
                const int valueCount = int(bind.size());
                shape += u'|';
                const QString where = whereKeys(*r, shape, bind);
                Statement &st = statementFor(shape, [&] {
                    Statement s;
                    s.query = m_db->prepare(QLatin1String("UPDATE ") + tableSql + QLatin1String(" SET ") + set +
                                            QLatin1String(" WHERE ") + where);
                    s.fields = bind;
                    s.valueCount = valueCount;
                    return s;
                });
                run(st, r->values, *r->old, true);
            });
        QString shape;
        for (Record *r : inserts)
            attempt(r, [&] {
                shape = QStringLiteral("I");
                shape.reserve(writable.size() + 1);
                for (int i : std::as_const(writable))
                    shape += isNullValue(r->values[i]) ? u'0' : u'1';
                Statement &st = statementFor(shape, [&] {
                    Statement s;
                    QString names, marks;
                    for (int i : std::as_const(writable))
                        if (!isNullValue(r->values[i])) {
                            if (!names.isEmpty()) {
                                names += QLatin1String(", ");
                                marks += QLatin1String(", ");
                            }
                            names += columnName[i];
                            marks += u'?';
                            s.fields << i;
                        }
                    s.valueCount = int(s.fields.size());
                    const QString sql = names.isEmpty()
                                            ? QString(QLatin1String("INSERT INTO ") + tableSql + QLatin1String(" DEFAULT VALUES"))
                                            : QString(QLatin1String("INSERT INTO ") + tableSql + QLatin1String(" (") + names +
                                                      QLatin1String(") VALUES (") + marks + u')');
                    s.query = m_db->prepare(sql);
                    return s;
                });
                run(st, r->values, r->values, false);
            });
        if (own)
            m_db->commitTran();
    } catch (...) {
        if (own && m_db->inTransaction())
            m_db->rollbackTran();
        throw;
    }
    if (merge) {
        if (failed.empty()) {
            MergeChangeLog();
        } else {
            m_records.erase(std::remove_if(m_records.begin(), m_records.end(),
                                           [&](const std::unique_ptr<Record> &r) {
                                               return r->status == UpdateStatus::Deleted &&
                                                      std::find(failed.begin(), failed.end(), r.get()) == failed.end();
                                           }),
                            m_records.end());
            for (auto &r : m_records)
                if (std::find(failed.begin(), failed.end(), r.get()) == failed.end()) {
                    r->status = UpdateStatus::Unmodified;
                    r->old.reset();
                }
        }
    }
    return errors;
}

// --------------------------------------------------------------------------- controls

void ClientDataSet::DisableControls()
{
    ++m_disableCount;
}

void ClientDataSet::EnableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0 && m_pendingRefresh) {
        m_pendingRefresh = false;
        emit dataSetChanged();
        emit stateChanged();
    }
}

double ClientDataSet::Total(int fieldIndex) const
{
    if (fieldIndex < 0 || fieldIndex >= FieldCount() || !Active())
        return 0;
    auto it = m_totals.find(fieldIndex);
    if (it == m_totals.end()) {
        double sum = 0;
        for (const Record *r : m_view)
            sum += r->values.at(fieldIndex).toDouble();
        it = m_totals.insert(fieldIndex, sum);
    }
    double total = it.value();
    // The record being edited counts with its edit buffer, as ValueAt shows it.
    if ((m_state == DataSetState::Edit || m_state == DataSetState::Insert) && current())
        total += m_buffer.at(fieldIndex).toDouble() - current()->values.at(fieldIndex).toDouble();
    return total;
}

void ClientDataSet::adjustTotals(const QVector<QVariant> &values, double sign, const QVector<QVariant> &replacement)
{
    for (auto it = m_totals.begin(); it != m_totals.end(); ++it) {
        it.value() += sign * values.at(it.key()).toDouble();
        if (!replacement.isEmpty())
            it.value() += replacement.at(it.key()).toDouble();
    }
}

const QVariant &ClientDataSet::ValueAt(int row, int fieldIndex) const
{
    // Read through const access: a grid reads every cell of a column for its
    // footer and must not pay a detach check per cell.
    if ((m_state == DataSetState::Edit || m_state == DataSetState::Insert) && row == m_cursor)
        return m_buffer.at(fieldIndex);
    return std::as_const(m_view[size_t(row)]->values).at(fieldIndex);
}

} // namespace data
