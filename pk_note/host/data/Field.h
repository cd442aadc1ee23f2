#pragma once
// One column of a client data set: type, presentation, rules and access to the
// value of the data set's current record (or its edit buffer).

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <functional>
#include <stdexcept>

namespace data {

class ClientDataSet;

enum class FieldType { Unknown, Integer, Float, String, Date, DateTime, Boolean, Blob, Memo };

// The largest magnitude a floating field takes: amounts up to this value still
// show their cents exactly; beyond it a double starts losing them.
constexpr double kMaxFloatValue = 1e12;

// A rule broken while working with a data set (wrong state, missing value, bad
// conversion). what() is the UTF-8 text shown to the user.
class DataSetError : public std::runtime_error {
public:
    explicit DataSetError(const QString &text) : std::runtime_error(text.toStdString()), m_text(text) {}
    QString text() const { return m_text; }

private:
    QString m_text;
};

// A display format parsed once, so formatting a grid cell does no parsing.
struct DisplayFormatSpec {
    enum Kind { None, Number, DateTime, Boolean };
    Kind kind = None;
    int minDecimals = 0;
    int maxDecimals = 0;
    bool thousands = false;
    QString prefix, suffix; // literal text around a number
    QString qtPattern;      // date/time pattern in Qt's notation
    QString trueText, falseText;
};

class Field {
public:
    using Handler = std::function<void(Field &)>;

    ClientDataSet *DataSet() const { return m_dataSet; }
    const QString &FieldName() const { return m_name; }
    FieldType DataType() const { return m_type; }
    // A computed select column whose type neither a table nor a row told
    // (a new note's empty lines) takes the type its declaration gives.
    void DeclareType(FieldType type);
    int Size() const { return m_size; }
    int Index() const { return m_index; }

    QString DisplayLabel() const { return m_label.isEmpty() ? m_name : m_label; }
    void SetDisplayLabel(const QString &label);
    const QString &DisplayFormat() const { return m_format; }
    void SetDisplayFormat(const QString &format);
    bool Required() const { return m_required; }
    void SetRequired(bool on) { m_required = on; }
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool on) { m_readOnly = on; }
    bool Calculated() const { return m_calculated; }
    bool Visible() const { return m_visible; }
    void SetVisible(bool on);
    int Tag() const { return m_tag; }
    void SetTag(int tag) { m_tag = tag; }
    // Whether ApplyUpdates may write this column (it must also be a column of the table).
    bool InUpdate() const { return m_inUpdate; }
    void SetInUpdate(bool on) { m_inUpdate = on; }

    // Value of the current record (the edit buffer while editing).
    QVariant Value() const;
    bool IsNull() const;
    qint64 AsInteger() const;
    double AsFloat() const;
    QString AsString() const;
    QDate AsDate() const;
    QDateTime AsDateTime() const;
    bool AsBoolean() const;
    // Value as loaded or last merged; null for a record inserted since.
    QVariant OldValue() const;
    // During OnChange: the value this write replaced.
    const QVariant &PriorValue() const { return m_prior; }
    QString DisplayText() const { return FormatValue(Value()); }
    // Text of any value of this field under its display format.
    QString FormatValue(const QVariant &value) const;

    // Writes need the data set in edit or insert state. OnValidate runs first (it
    // sees the new value through Value() and may throw to refuse it), then the
    // value is stored and OnChange runs.
    void SetValue(const QVariant &value);
    // The same without OnChange (validation still runs).
    void SetValueSilent(const QVariant &value);
    void SetAsInteger(qint64 v) { SetValue(QVariant(v)); }
    void SetAsFloat(double v) { SetValue(QVariant(v)); }
    void SetAsString(const QString &v) { SetValue(QVariant(v)); }
    void SetAsDate(const QDate &v) { SetValue(QVariant(v)); }
    void SetAsDateTime(const QDateTime &v) { SetValue(QVariant(v)); }
    void SetAsBoolean(bool v) { SetValue(QVariant(v)); }
    void Clear() { SetValue(QVariant()); }

    // Converts a value to this field's storage type; throws DataSetError when it cannot.
    QVariant Convert(const QVariant &value) const;

    Handler OnChange;
    Handler OnValidate;

private:
    friend class ClientDataSet;
    Field(ClientDataSet *ds, const QString &name, FieldType type, int size);
    void write(const QVariant &value, bool silent);

    ClientDataSet *m_dataSet;
    QVariant m_prior;
    bool m_typeGuessed = false;
    QString m_name;
    QString m_label;
    QString m_format;
    DisplayFormatSpec m_spec;
    FieldType m_type;
    int m_size;
    int m_index = -1;
    int m_tag = 0;
    bool m_required = false;
    bool m_readOnly = false;
    bool m_calculated = false;
    bool m_visible = true;
    bool m_inUpdate = true;
    bool m_autoCreated = false; // made from a query column; dropped when a later open lacks it
    const QVariant *m_validating = nullptr; // the proposed value while OnValidate runs
};

// Helpers shared by the data set and the model.
FieldType fieldTypeFromDeclared(const QString &declared, int *size = nullptr);
DisplayFormatSpec parseDisplayFormat(const QString &format, FieldType type);
QString formatWith(const DisplayFormatSpec &spec, FieldType type, const QVariant &value);

} // namespace data
