#pragma once
// The host's call bag: QnParams holds named QnVariant values and travels with
// note_Call and GlobalCall.

#include "PubError.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>

#include <cstddef>

class QnVariant {
public:
    enum class Type { Empty, Int, Bool, Text, Double, Date, Object };

    QnVariant() = default;
    QnVariant(int v) : m_type(Type::Int), m_int(v) {}
    QnVariant(qint64 v) : m_type(Type::Int), m_int(v) {}
    QnVariant(bool v) : m_type(Type::Bool), m_int(v ? 1 : 0) {}
    QnVariant(double v) : m_type(Type::Double), m_double(v) {}
    QnVariant(const QString &v) : m_type(Type::Text), m_text(v) {}
    QnVariant(const char *v) : m_type(Type::Text), m_text(QString::fromUtf8(v)) {}
    QnVariant(const QDate &v) : m_type(Type::Date), m_date(v.startOfDay()) {}
    QnVariant(const QDateTime &v) : m_type(Type::Date), m_date(v) {}
    // A QObject keeps its type so receivers can qobject_cast it.
    QnVariant(QObject *v) : m_type(Type::Object), m_pointer(v), m_isQObject(true) {}
    QnVariant(std::nullptr_t) : m_type(Type::Object), m_isQObject(true) {}
    // Any other object travels as an untyped pointer.
    static QnVariant fromPointer(void *p);
    // Int, bool, double, text and date values of a QVariant; others throw.
    static QnVariant fromVariant(const QVariant &v);

    Type type() const { return m_type; }
    bool isEmpty() const { return m_type == Type::Empty; }

    // Conversions. Empty gives 0, false, "", an invalid date and nullptr;
    // every conversion that cannot succeed throws PubError.
    int toInt() const;
    qint64 toInt64() const;
    bool toBool() const;
    double toDouble() const;
    QString toString() const;
    QDateTime toDateTime() const;
    QDate toDate() const { return toDateTime().date(); }
    QObject *toObject() const;
    void *toPointer() const;
    template <class T> T *toObjectAs() const { return qobject_cast<T *>(toObject()); }
    QVariant toVariant() const;

    QnVariant &operator=(int v) { return *this = QnVariant(v); }
    QnVariant &operator=(bool v) { return *this = QnVariant(v); }
    QnVariant &operator=(double v) { return *this = QnVariant(v); }
    QnVariant &operator=(const QString &v) { return *this = QnVariant(v); }
    QnVariant &operator=(QObject *v) { return *this = QnVariant(v); }
    QnVariant(const QnVariant &) = default;
    QnVariant &operator=(const QnVariant &) = default;

    QString typeName() const;

private:
    [[noreturn]] void fail(const char *target) const;

    Type m_type = Type::Empty;
    qint64 m_int = 0;
    double m_double = 0;
    QString m_text;
    QDateTime m_date;
    void *m_pointer = nullptr;
    bool m_isQObject = false;
};

class QnParams {
public:
    struct Entry {
        QString name;
        QnVariant value;
    };

    // Adds the value, or replaces the value of an existing name in its place.
    void AddValue(const QString &name, const QnVariant &value);
    bool FindValue(const QString &name) const;
    // Throws PubError when the name is absent.
    QnVariant GetValue(const QString &name) const;
    // The value, or `fallback` when the name is absent.
    QnVariant GetValue(const QString &name, const QnVariant &fallback) const;
    bool RemoveValue(const QString &name);
    void Clear() { m_entries.clear(); }
    int Count() const { return int(m_entries.size()); }
    const Entry &At(int index) const { return m_entries.at(index); }

    // Insertion order.
    QVector<Entry>::const_iterator begin() const { return m_entries.cbegin(); }
    QVector<Entry>::const_iterator end() const { return m_entries.cend(); }
    // "name=value" lines in insertion order, for printing and logs.
    QString toText() const;

private:
    int indexOf(const QString &name) const;
    QVector<Entry> m_entries;
};
