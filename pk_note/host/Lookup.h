#pragma once
// Cached master data ("memory tables"), one per record type, read from the
// start-up connection on first use and kept until refreshed. Each is also a
// named lookup source for the lookup combos ("dsStore", "qryStore", ...).
//
//  type  table             key          names (lookup set / source)
//     1  storelth          BUILDINGID   qryStore / dsStore
//     2  partnerlth        PARTNERID    qryPartner / dspartner
//     3  Commoditylth      COMMODITYID  qryCommodity / dsCommodity
//     4  employlth         EMPID        qryEmploy / dsEmploy
//     5  departmentlth     DEPID        qryDepartment / dsDepartment
//     6  accountacth       ACCOUNTID    qryAccount / dsAccount
//     7  unitlth           UNITSID      qryUnit / dsUnit
//     8  paymethodlth      PAYTYPESID   qryPayMethod / dsPayMethod
//     9  CommoditylthType  GDTYPESID    qryCommodityType / dsCommodityType
//    10  arealth           AREAID       qryArea / dsArea
//    11  iotypelth         IOTYPESID    qryIOType / dsIOType
//    12  emptypelth        EMPTYPESID   qryEmpType / dsEmpType
//    13  subjectalth       SUBJECTID    qrySubject / dsSubject
//    14  shopdth           SHOPERATEID  qryShop / dsShop
//    15  kindamth KIND 5   ID           qryNoteType / dsNoteType   (invoice types)
//    16  kindamth KIND 4   ID           qryTranslateType / dsTranslateType (delivery methods)
//    17  notetypelth       ID           qryNoteRule / dsNoteRule   (numbering per note type)
//    21  operatormth       OPERATEID    qryOperator / dsOperator   (without password columns)
//    22  sysparamamth      PARAMID      qrySysParam / dsSysParam
//
// A key that is not in the cache is looked for once in the database (a row
// added since the table was read); changed rows need RefreshLookupDataSet.
// Text keys and values are matched without regard to case, numbers by value.

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace db {
class Database;
}

namespace pub {

enum RecordType {
    RecordStore = 1,
    RecordPartner = 2,
    RecordCommodity = 3,
    RecordEmploy = 4,
    RecordDepartment = 5,
    RecordAccount = 6,
    RecordUnit = 7,
    RecordPayMethod = 8,
    RecordCommodityType = 9,
    RecordArea = 10,
    RecordIOType = 11,
    RecordEmpType = 12,
    RecordSubject = 13,
    RecordShop = 14,
    RecordInvoiceType = 15,
    RecordTranslateType = 16,
    RecordNoteRule = 17,
    RecordOperator = 21,
    RecordSysParam = 22,
};

struct LookupDefinition {
    int recordType = 0;
    QString baseName;  // "Store": names "qryStore" and "dsStore"
    QString select;    // the rows, a plain select
    QString keyColumn;
};

// One memory table: columns, rows in key order, an index by key.
class LookupTable : public QObject {
    Q_OBJECT
public:
    explicit LookupTable(const LookupDefinition &definition, QObject *parent = nullptr);

    int recordType() const { return m_def.recordType; }
    QString name() const { return m_def.baseName; }
    QString keyColumn() const { return m_def.keyColumn; }
    const QStringList &columns() const { return m_columns; }
    int columnIndex(const QString &column) const; // any case; -1 when absent
    int rowCount() const { return int(m_rows.size()); }
    int columnCount() const { return int(m_columns.size()); }
    QVariant value(int row, int column) const;
    QVariant value(int row, const QString &column) const;
    bool isLoaded() const { return m_loaded; }

    // Row of a key, -1 when absent (the database is not asked).
    int rowOfKey(const QVariant &key) const;
    // First row whose `column` equals `value`, -1 when absent.
    int rowOf(const QString &column, const QVariant &value) const;

    // Reads every row again and tells the combos showing it.
    void reload(db::Database &database);
    // Looks one row up in the database and adds it; its row or -1.
    int fetch(db::Database &database, const QString &column, const QVariant &value);
    // Forgets the rows (read again on next use), optionally with a new definition.
    void reset(const LookupDefinition *definition = nullptr);

signals:
    void refreshed();

private:
    void index();
    static QString normal(const QVariant &v);

    LookupDefinition m_def;
    QStringList m_columns;
    QVector<QVector<QVariant>> m_rows;
    QHash<QString, int> m_keyIndex;
    mutable QHash<int, QHash<QString, int>> m_columnIndexes; // built on demand
    bool m_loaded = false;
};

// The cached table of a record type, loaded on first use; null for an unknown
// type or without books.
LookupTable *lookupTable(int recordType);
// Adds or replaces the definition of a record type (drops its cache).
void registerLookup(const LookupDefinition &definition);
const QVector<LookupDefinition> &lookupDefinitions();

} // namespace pub

// `field` of the record of `recordType` whose key is `key`; `fallback` (null)
// for an unknown type, key or field.
QVariant LookupData(int recordType, const QVariant &key, const QString &field, const QVariant &fallback = {});
// `resultField` of the first record whose `keyField` equals `keyValue`.
QVariant LookupDataEx(int recordType, const QString &keyField, const QVariant &keyValue,
                      const QString &resultField, const QVariant &fallback = {});
// Loads a named lookup set (qry... or ds... name, any case) unless loaded;
// false for an unknown name.
bool OpenLookupDataSet(const QString &name);
// Reads a named lookup set again; false for an unknown name.
bool RefreshLookupDataSet(const QString &name);
bool RefreshLookupData(int recordType);
// The lookup source a combo lists, loaded; null for an unknown name.
pub::LookupTable *FindLookupDataSource(const QString &name);
// Forgets every cached table.
void ClearLookupCaches();
