#pragma once
// An in-memory data set over a T-SQL select (or defined by hand): fields, records,
// a cursor, states and events in the order a client data set has them, a change
// log with old values, and an apply step that writes the base table's own columns.

#include "data/Field.h"
#include "db/DbTypes.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>
#include <vector>

namespace db {
class Database;
}

namespace data {

enum class DataSetState { Inactive, Browse, Edit, Insert };
enum class UpdateStatus { Unmodified, Modified, Inserted, Deleted };
// What UPDATE and DELETE carry in their WHERE besides the key fields: the
// original values of every column read from the table (the default), of the
// changed columns only, or nothing more.
enum class UpdateMode { WhereAll, WhereChanged, WhereKeyOnly };

enum LocateOption { LocateCaseInsensitive = 1, LocatePartialKey = 2 };
using LocateOptions = int;

// Identifies a record across inserts, deletes and filtering of other records.
struct Bookmark {
    quint64 id = 0;
    bool IsValid() const { return id != 0; }
    bool operator==(const Bookmark &o) const { return id == o.id; }
};

struct FieldDef {
    QString name;
    FieldType type = FieldType::String;
    int size = 0;
    bool required = false;
};

class ClientDataSet : public QObject {
    Q_OBJECT
public:
    using Event = std::function<void(ClientDataSet &)>;
    using FilterFunction = std::function<bool(ClientDataSet &)>;

    explicit ClientDataSet(db::Database *database = nullptr, QObject *parent = nullptr);
    ~ClientDataSet() override;

    db::Database *Database() const { return m_db; }
    void SetDatabase(db::Database *database);

    // --- opening ---
    const QString &CommandText() const { return m_commandText; }
    void SetCommandText(const QString &sql);
    db::Params &Params() { return m_params; }
    void SetParam(const QString &name, const QVariant &value) { m_params.insert(name, value); }
    void Open();
    void Close();
    // Makes an empty in-memory data set from the fields defined so far.
    void CreateDataSet();
    // Reopens and returns to the record with the same key values.
    void Refresh();
    bool Active() const { return m_state != DataSetState::Inactive; }
    DataSetState State() const { return m_state; }

    // --- fields ---
    // Defines a data field (before opening; kept across opens by name).
    Field *AddField(const QString &name, FieldType type, int size = 0, bool required = false);
    void AddFieldDefs(const QVector<FieldDef> &defs);
    // Defines a calculated field, filled in OnCalcFields.
    Field *AddCalcField(const QString &name, FieldType type, int size = 0);
    int FieldCount() const { return int(m_fields.size()); }
    Field *FieldAt(int i) const { return m_fields[i].get(); }
    Field *FindField(const QString &name) const;
    // Throws DataSetError when the data set has no such field.
    Field *FieldByName(const QString &name) const;
    QStringList FieldNames() const;

    // --- cursor ---
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance);
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    int RecNo() const; // 1-based, 0 when empty
    void SetRecNo(int recNo);
    int RecordCount() const { return int(m_view.size()); }
    bool IsEmpty() const { return m_view.empty(); }
    bool Locate(const QString &fields, const QVariantList &values, LocateOptions options = 0);
    bool Locate(const QString &field, const QVariant &value, LocateOptions options = 0)
    {
        return Locate(field, QVariantList{value}, options);
    }
    // Value(s) of resultFields of the first record matching, without moving; null when none.
    QVariant Lookup(const QString &keyFields, const QVariantList &keyValues, const QString &resultFields);
    Bookmark GetBookmark() const;
    void GotoBookmark(const Bookmark &bookmark);
    bool BookmarkValid(const Bookmark &bookmark) const;

    // --- filtering: an expression ("QTY > 0 and NAME like 'A%'") or a predicate ---
    const QString &Filter() const { return m_filterText; }
    void SetFilter(const QString &expression);
    void SetFilterFunction(FilterFunction fn);
    bool Filtered() const { return m_filtered; }
    void SetFiltered(bool on);
    bool FilterCaseInsensitive() const { return m_filterCaseInsensitive; }
    void SetFilterCaseInsensitive(bool on);

    // --- editing ---
    void Append();
    void Insert();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    bool Modified() const { return m_modified; }
    // Posts a modified edit, cancels an unmodified one.
    void CheckBrowseMode();
    // Writes fire no OnChange while set (nestable with SetSilent(false)).
    void SetSilent(bool on) { m_silent += on ? 1 : -1; }
    bool Silent() const { return m_silent > 0; }

    // --- change log ---
    int ChangeCount() const;
    UpdateStatus GetUpdateStatus() const;
    void MergeChangeLog();
    void CancelUpdates();
    void RevertRecord();
    // Writes the change log to the update table, one statement per changed record,
    // in the caller's transaction when one is open. Throws db::DbError on the first
    // failure when more than maxErrors failed (maxErrors < 0: never); the change log
    // is left as it was. Returns the number of records that failed. An UPDATE or
    // DELETE that touches no row (the record was changed or deleted by another
    // client since it was read, see UpdateMode) fails with db::ConcurrencyError.
    int ApplyUpdates(int maxErrors = 0, bool merge = false);
    const QString &UpdateTableName() const { return m_updateTable; }
    void SetUpdateTableName(const QString &table) { m_updateTable = table; }
    // Key columns for UPDATE and DELETE, separated by ';' (default: the table's primary key).
    const QString &KeyFields() const { return m_keyFields; }
    UpdateMode GetUpdateMode() const { return m_updateMode; }
    void SetUpdateMode(UpdateMode mode) { m_updateMode = mode; }
    void SetKeyFields(const QString &fields) { m_keyFields = fields; }
    // The table ApplyUpdates writes: UpdateTableName, else the first FROM table.
    QString BaseTable() const;

    // --- controls ---
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }

    // --- raw access for models: row of the visible records, 0-based ---
    const QVariant &ValueAt(int row, int fieldIndex) const;
    // Sum of a field over the visible records as ValueAt shows them (the
    // record being edited with its edit buffer); kept up to date as records
    // are posted and deleted, so a footer costs the same at any size.
    double Total(int fieldIndex) const;
    int CurrentRow() const { return m_view.empty() ? -1 : m_cursor; }
    // Moves to a visible row with the usual scroll rules.
    void MoveTo(int row);

    // Events, in the order a client data set raises them.
    Event BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    Event BeforeScroll, AfterScroll;
    Event BeforeInsert, OnNewRecord, AfterInsert;
    Event BeforeEdit, AfterEdit;
    Event BeforePost, AfterPost;
    Event BeforeCancel, AfterCancel;
    Event BeforeDelete, AfterDelete;
    Event OnCalcFields;

    // Column types of a table as declared (cached per connection and table).
    struct ColumnInfo {
        QString name;
        QString declared;
        bool primaryKey = false;
        bool hasDefault = false;
    };
    static QVector<ColumnInfo> TableColumns(db::Database &database, const QString &table);
    static void ClearTableInfoCache();

signals:
    // Controls follow these; none is sent while controls are disabled.
    void fieldChanged(data::Field *field);     // a value of the current record
    void recordChanged(int row);               // the whole record at row (post, cancel, calc)
    void rowInserted(int row);
    void rowRemoved(int row);
    void dataSetChanged();                      // everything (open, close, filter, enable controls)
    void stateChanged();
    void scrolled();

private:
    friend class Field;
    struct Record {
        QVector<QVariant> values;
        std::unique_ptr<QVector<QVariant>> old; // as last merged, once modified or deleted
        quint64 id = 0;
        UpdateStatus status = UpdateStatus::Unmodified;
    };
    struct Statement; // a prepared apply statement (the engine's query lives in the .cpp)
    enum class Notify { Field, Record, Insert, Remove, All, State, Scroll };

    // value storage seen by Field
    const QVector<QVariant> *currentValues() const;
    QVector<QVariant> *writableValues(const Field &f);
    void fieldWritten(Field &f, bool silent);

    void checkActive() const;
    void checkBrowseForScroll();
    void setState(DataSetState s);
    void notify(Notify what, int arg = 0, Field *field = nullptr);
    void fire(const Event &e) { if (e) e(*this); }
    void rebuildView(quint64 keepId);
    bool passesFilter(Record *r);
    void calcRecord(QVector<QVariant> &values);
    void calcAll();
    Record *current() const { return m_view.empty() ? nullptr : m_view[size_t(m_cursor)]; }
    int recordIndex(const Record *r) const;
    int viewIndex(quint64 id) const;
    void moveCursor(int target);
    void beginInsert(bool append);
    void loadFromQuery();
    void resolveFields(const QStringList &columns, const QVector<QMetaType> &metaTypes, QVector<int> &columnToField);
    void parseFromTables();
    void removeRecord(Record *r);
    void revert(Record *r);
    QVector<int> keyFieldIndexes(const QVector<ColumnInfo> &cols) const;
    void refuseOverlongTexts(const QVector<std::pair<int, int>> &limits, const std::vector<Record *> &inserts,
                             const std::vector<Record *> &updates) const;
    bool matches(const Record *r, const QVector<int> &fields, const QVariantList &values, LocateOptions o) const;
    Statement &statementFor(const QString &shape, const std::function<Statement()> &make);

    db::Database *m_db;
    QString m_commandText;
    db::Params m_params;
    QString m_updateTable;
    QString m_keyFields;
    UpdateMode m_updateMode = UpdateMode::WhereAll;
    QStringList m_fromTables; // first FROM table, then joined tables
    bool m_fromParsed = false;

    std::vector<std::unique_ptr<Field>> m_fields;
    QHash<QString, int> m_fieldIndex; // upper-case name -> index
    int m_calcCount = 0;
    // The columns of the last open and the fields they went to.
    QStringList m_resolvedColumns;
    QVector<int> m_resolvedMetaIds;
    QVector<int> m_resolvedMap;
    bool m_resolvedValid = false;

    std::vector<std::unique_ptr<Record>> m_records; // all records, deleted ones included
    std::vector<Record *> m_view;                   // visible records in order
    int m_cursor = 0;
    bool m_bof = true;
    bool m_eof = true;
    quint64 m_nextId = 1;

    DataSetState m_state = DataSetState::Inactive;
    QVector<QVariant> m_buffer; // edit buffer
    bool m_modified = false;
    int m_silent = 0;
    const QVector<QVariant> *m_override = nullptr; // record seen by fields during calc/filter
    QVector<QVariant> *m_calcTarget = nullptr;

    QString m_filterText;
    FilterFunction m_filterFn;
    std::function<bool(ClientDataSet &)> m_compiledFilter;
    bool m_filtered = false;
    bool m_filterCaseInsensitive = false;

    int m_disableCount = 0;
    bool m_pendingRefresh = false;

    QHash<QString, std::shared_ptr<Statement>> m_statements; // apply statements by shape
    // Totals of the stored values of the visible records, by field index,
    // for the fields asked for since the view last changed wholesale.
    mutable QHash<int, double> m_totals;
    // Adds sign * values (plus replacement, when given) to every kept total.
    void adjustTotals(const QVector<QVariant> &values, double sign, const QVector<QVariant> &replacement = {});
    QString m_statementTable;
};

} // namespace data
