#include "Lookup.h"

#include "Globals.h"
#include "Rounding.h"
#include "db/Database.h"


#include <cmath>
#include <map>
#include <memory>

namespace pub {

namespace {

QVector<LookupDefinition> builtIn()
{
    auto d = [](int type, const char *base, const char *select, const char *key) {
        return LookupDefinition{type, QString::fromLatin1(base), QString::fromLatin1(select),
                                QString::fromLatin1(key)};
    };
    return {
        d(RecordStore, "Store", "select * from storelth", "BUILDINGID"),
        d(RecordPartner, "Partner", "select * from partnerlth", "PARTNERID"),
        d(RecordCommodity, "Commodity", "select * from Commoditylth", "COMMODITYID"),
        d(RecordEmploy, "Employ", "select * from employlth", "EMPID"),
        d(RecordDepartment, "Department", "select * from departmentlth", "DEPID"),
        d(RecordAccount, "Account", "select * from accountacth", "ACCOUNTID"),
        d(RecordUnit, "Unit", "select * from unitlth", "UNITSID"),
        d(RecordPayMethod, "PayMethod", "select * from paymethodlth", "PAYTYPESID"),
        d(RecordCommodityType, "CommodityType", "select * from CommoditylthType", "GDTYPESID"),
        d(RecordArea, "Area", "select * from arealth", "AREAID"),
        d(RecordIOType, "IOType", "select * from iotypelth", "IOTYPESID"),
        d(RecordEmpType, "EmpType", "select * from emptypelth", "EMPTYPESID"),
        d(RecordSubject, "Subject", "select * from subjectalth", "SUBJECTID"),
        d(RecordShop, "Shop", "select * from shopdth", "SHOPERATEID"),
        d(RecordInvoiceType, "NoteType", "select ID, NAME from kindamth where KIND = 5", "ID"),
        d(RecordTranslateType, "TranslateType", "select ID, NAME from kindamth where KIND = 4", "ID"),
        d(RecordNoteRule, "NoteRule", "select * from notetypelth", "ID"),
        d(RecordOperator, "Operator",
          "select OPERATEID, LOGINNAME, OPERATENAME, ISADMIN, EMPID, SHOPERATEID, CLOSED, REMARK from operatormth",
          "OPERATEID"),
        d(RecordSysParam, "SysParam", "select * from sysparamamth", "PARAMID"),
    };
}

struct Cache {
    QVector<LookupDefinition> definitions = builtIn();
    std::map<int, std::unique_ptr<LookupTable>> tables;
};

Cache &cache()
{
    static Cache c;
    return c;
}

const LookupDefinition *definition(int recordType)
{
    for (const LookupDefinition &d : cache().definitions)
        if (d.recordType == recordType)
            return &d;
    return nullptr;
}

// "qryStore", "dsStore" or "Store", any case.
const LookupDefinition *definitionByName(const QString &name)
{
    for (const LookupDefinition &d : cache().definitions) {
        if (name.compare(QLatin1String("qry") + d.baseName, Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("ds") + d.baseName, Qt::CaseInsensitive) == 0 ||
            name.compare(d.baseName, Qt::CaseInsensitive) == 0)
            return &d;
    }
    return nullptr;
}

} // namespace

LookupTable::LookupTable(const LookupDefinition &definition, QObject *parent) : QObject(parent), m_def(definition)
{
    setObjectName(QLatin1String("ds") + definition.baseName);
}

QString LookupTable::normal(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return {};
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (ok && std::isfinite(d)) {
        if (d == std::trunc(d) && std::fabs(d) < 9e15)
            return QString::number(qint64(d));
        return QString::number(d, 'g', 15);
    }
    return v.toString().trimmed().toUpper();
}

int LookupTable::columnIndex(const QString &column) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(column, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant LookupTable::value(int row, int column) const
{
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_columns.size())
        return {};
    return m_rows[row][column];
}

QVariant LookupTable::value(int row, const QString &column) const { return value(row, columnIndex(column)); }

void LookupTable::index()
{
    m_keyIndex.clear();
    m_columnIndexes.clear();
    const int k = columnIndex(m_def.keyColumn);
    if (k < 0)
        return;
    for (int r = 0; r < m_rows.size(); ++r) {
        const QString key = normal(m_rows[r][k]);
        if (!key.isEmpty() && !m_keyIndex.contains(key))
            m_keyIndex.insert(key, r);
    }
}

int LookupTable::rowOfKey(const QVariant &key) const
{
    const QString k = normal(key);
    return k.isEmpty() ? -1 : m_keyIndex.value(k, -1);
}

int LookupTable::rowOf(const QString &column, const QVariant &value) const
{
    const int c = columnIndex(column);
    const QString v = normal(value);
    if (c < 0 || v.isEmpty())
        return -1;
    auto it = m_columnIndexes.find(c);
    if (it == m_columnIndexes.end()) {
        QHash<QString, int> idx;
        for (int r = 0; r < m_rows.size(); ++r) {
            const QString n = normal(m_rows[r][c]);
            if (!n.isEmpty() && !idx.contains(n))
                idx.insert(n, r);
        }
        it = m_columnIndexes.insert(c, idx);
    }
    return it->value(v, -1);
}

void LookupTable::reload(db::Database &database)
{
    db::ResultSet rs = database.select(QStringLiteral("select * from (%1) t order by t.%2")
                                           .arg(m_def.select, m_def.keyColumn));
    m_columns = rs.columns;
    m_rows = std::move(rs.rows);
    m_loaded = true;
    index();
    emit refreshed();
}

int LookupTable::fetch(db::Database &database, const QString &column, const QVariant &value)
{
    const int c = columnIndex(column);
    if (c < 0 || normal(value).isEmpty())
        return -1;
    // The column name comes from our own result, never from the caller's text.
    const QString where = value.typeId() == QMetaType::QString
                              ? QStringLiteral("upper(t.%1) = :v").arg(m_columns[c])
                              : QStringLiteral("t.%1 = :v").arg(m_columns[c]);
    const QVariant bound = value.typeId() == QMetaType::QString ? QVariant(value.toString().trimmed().toUpper()) : value;
    const db::ResultSet rs = database.select(QStringLiteral("select * from (%1) t where %2").arg(m_def.select, where),
                                             {{QStringLiteral("v"), bound}});
    if (rs.rows.isEmpty() || rs.columns.size() != m_columns.size())
        return -1;
    const int k = columnIndex(m_def.keyColumn);
    // Another lookup may have added the row already.
    const int existing = k >= 0 ? rowOfKey(rs.rows[0][k]) : -1;
    if (existing >= 0)
        return existing;
    m_rows.push_back(rs.rows[0]);
    index();
    return int(m_rows.size()) - 1;
}

void LookupTable::reset(const LookupDefinition *definition)
{
    if (definition)
        m_def = *definition;
    m_columns.clear();
    m_rows.clear();
    m_keyIndex.clear();
    m_columnIndexes.clear();
    m_loaded = false;
    emit refreshed();
}

LookupTable *lookupTable(int recordType)
{
    db::Database *d = StartupDB();
    const LookupDefinition *def = definition(recordType);
    if (!d || !def)
        return nullptr;
    auto &slot = cache().tables[recordType];
    if (!slot)
        slot = std::make_unique<LookupTable>(*def);
    if (!slot->isLoaded())
        slot->reload(*d);
    return slot.get();
}

void registerLookup(const LookupDefinition &def)
{
    Cache &c = cache();
    // Tables stay alive (combos hold them); they only forget their rows.
    if (auto it = c.tables.find(def.recordType); it != c.tables.end() && it->second)
        it->second->reset(&def);
    for (LookupDefinition &d : c.definitions) {
        if (d.recordType == def.recordType) {
            d = def;
            return;
        }
    }
    c.definitions.push_back(def);
}

const QVector<LookupDefinition> &lookupDefinitions() { return cache().definitions; }

} // namespace pub

QVariant LookupData(int recordType, const QVariant &key, const QString &field, const QVariant &fallback)
{
    pub::LookupTable *t = pub::lookupTable(recordType);
    if (!t || key.isNull())
        return fallback;
    const int c = t->columnIndex(field);
    if (c < 0)
        return fallback;
    int row = t->rowOfKey(key);
    if (row < 0)
        row = t->fetch(*StartupDB(), t->keyColumn(), key);
    return row < 0 ? fallback : t->value(row, c);
}

QVariant LookupDataEx(int recordType, const QString &keyField, const QVariant &keyValue, const QString &resultField,
                      const QVariant &fallback)
{
    pub::LookupTable *t = pub::lookupTable(recordType);
    if (!t || keyValue.isNull())
        return fallback;
    const int c = t->columnIndex(resultField);
    if (c < 0 || t->columnIndex(keyField) < 0)
        return fallback;
    int row = t->rowOf(keyField, keyValue);
    if (row < 0)
        row = t->fetch(*StartupDB(), keyField, keyValue);
    return row < 0 ? fallback : t->value(row, c);
}

bool OpenLookupDataSet(const QString &name)
{
    const pub::LookupDefinition *d = pub::definitionByName(name);
    return d && pub::lookupTable(d->recordType);
}

bool RefreshLookupData(int recordType)
{
    db::Database *d = StartupDB();
    if (!d || !pub::definition(recordType))
        return false;
    auto &tables = pub::cache().tables;
    auto it = tables.find(recordType);
    if (it != tables.end() && it->second && it->second->isLoaded())
        it->second->reload(*d);
    else if (!pub::lookupTable(recordType))
        return false;
    if (recordType == pub::RecordSysParam)
        RefreshDecimals();
    return true;
}

bool RefreshLookupDataSet(const QString &name)
{
    const pub::LookupDefinition *d = pub::definitionByName(name);
    return d && RefreshLookupData(d->recordType);
}

pub::LookupTable *FindLookupDataSource(const QString &name)
{
    const pub::LookupDefinition *d = pub::definitionByName(name);
    return d ? pub::lookupTable(d->recordType) : nullptr;
}

void ClearLookupCaches()
{
    for (auto &entry : pub::cache().tables)
        if (entry.second)
            entry.second->reset();
}

namespace {
// New books: nothing cached from the old ones may be shown.
const bool s_clearsOnNewBooks = (OnBooksChanged(ClearLookupCaches), true);
} // namespace
