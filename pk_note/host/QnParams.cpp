#include "QnParams.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace {

bool parseInteger(const QString &text, qint64 &out)
{
    bool ok = false;
    out = text.trimmed().toLongLong(&ok);
    return ok;
}

bool parseDouble(const QString &text, double &out)
{
    bool ok = false;
    out = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok;
}

} // namespace

QnVariant QnVariant::fromPointer(void *p)
{
    QnVariant v;
    v.m_type = Type::Object;
    v.m_pointer = p;
    v.m_isQObject = false;
    return v;
}

QnVariant QnVariant::fromVariant(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return {};
    switch (v.typeId()) {
    case QMetaType::Bool:
        return QnVariant(v.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QnVariant(v.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        if (v.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
            throw PubError(QStringLiteral("数值超出整数范围: %1").arg(v.toString()));
        return QnVariant(v.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return QnVariant(v.toDouble());
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return QnVariant(v.toString());
    case QMetaType::QDate:
        return QnVariant(v.toDate());
    case QMetaType::QDateTime:
        return QnVariant(v.toDateTime());
    case QMetaType::QObjectStar:
        return QnVariant(v.value<QObject *>());
    default:
        throw PubError(QStringLiteral("不支持的参数类型: %1").arg(QString::fromLatin1(v.typeName())));
    }
}

QString QnVariant::typeName() const
{
    switch (m_type) {
    case Type::Empty: return QStringLiteral("empty");
    case Type::Int: return QStringLiteral("int");
    case Type::Bool: return QStringLiteral("bool");
    case Type::Text: return QStringLiteral("text");
    case Type::Double: return QStringLiteral("double");
    case Type::Date: return QStringLiteral("date");
    case Type::Object: return QStringLiteral("object");
    }
    return {};
}

void QnVariant::fail(const char *target) const
{
    QString shown;
    if (m_type == Type::Text)
        shown = QStringLiteral(" \"%1\"").arg(m_text);
    throw PubError(QStringLiteral("无法将%1值%2转换为%3").arg(typeName(), shown, QLatin1String(target)));
}

qint64 QnVariant::toInt64() const
{
    switch (m_type) {
    case Type::Empty: return 0;
    case Type::Int:
    case Type::Bool: return m_int;
    case Type::Double:
        // Whole numbers only: silently dropping a fraction would hide a caller's bug.
        if (std::isfinite(m_double) && m_double == std::trunc(m_double) && std::fabs(m_double) < 9.2e18)
            return qint64(m_double);
        fail("int");
    case Type::Text: {
        qint64 v = 0;
        if (parseInteger(m_text, v))
            return v;
        double d = 0;
        if (parseDouble(m_text, d) && d == std::trunc(d) && std::fabs(d) < 9.2e18)
            return qint64(d);
        if (m_text.trimmed().isEmpty())
            return 0;
        fail("int");
    }
    case Type::Date:
    case Type::Object: fail("int");
    }
    fail("int");
}

int QnVariant::toInt() const
{
    const qint64 v = toInt64();
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        throw PubError(QStringLiteral("数值超出整数范围: %1").arg(v));
    return int(v);
}

bool QnVariant::toBool() const
{
    switch (m_type) {
    case Type::Empty: return false;
    case Type::Int:
    case Type::Bool: return m_int != 0;
    case Type::Double: return m_double != 0;
    case Type::Text: {
        const QString t = m_text.trimmed().toLower();
        if (t == QLatin1String("true") || t == QLatin1String("yes"))
            return true;
        if (t == QLatin1String("false") || t == QLatin1String("no") || t.isEmpty())
            return false;
        double d = 0;
        if (parseDouble(t, d))
            return d != 0;
        fail("bool");
    }
    case Type::Date:
    case Type::Object: fail("bool");
    }
    fail("bool");
}

double QnVariant::toDouble() const
{
    switch (m_type) {
    case Type::Empty: return 0;
    case Type::Int:
    case Type::Bool: return double(m_int);
    case Type::Double: return m_double;
    case Type::Text: {
        double d = 0;
        if (parseDouble(m_text, d))
            return d;
        if (m_text.trimmed().isEmpty())
            return 0;
        fail("double");
    }
    case Type::Date:
    case Type::Object: fail("double");
    }
    fail("double");
}

QString QnVariant::toString() const
{
    switch (m_type) {
    case Type::Empty: return {};
    case Type::Int: return QString::number(m_int);
    case Type::Bool: return m_int ? QStringLiteral("True") : QStringLiteral("False");
    case Type::Double: return QString::number(m_double, 'g', 15);
    case Type::Text: return m_text;
    case Type::Date:
        if (!m_date.isValid())
            return {};
        return m_date.time() == QTime(0, 0) ? m_date.date().toString(QStringLiteral("yyyy-MM-dd"))
                                             : m_date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Type::Object: fail("text");
    }
    fail("text");
}

QDateTime QnVariant::toDateTime() const
{
    switch (m_type) {
    case Type::Empty: return {};
    case Type::Date: return m_date;
    case Type::Text: {
        const QString t = m_text.trimmed();
        if (t.isEmpty())
            return {};
        QDateTime d = QDateTime::fromString(t, Qt::ISODate);
        if (!d.isValid())
            d = QDateTime::fromString(t, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!d.isValid()) {
            const QDate day = QDate::fromString(t, QStringLiteral("yyyy-MM-dd"));
            if (day.isValid())
                d = day.startOfDay();
        }
        if (d.isValid())
            return d;
        fail("date");
    }
    default: fail("date");
    }
}

void *QnVariant::toPointer() const
{
    if (m_type == Type::Empty)
        return nullptr;
    if (m_type != Type::Object)
        fail("object");
    return m_pointer;
}

QObject *QnVariant::toObject() const
{
    if (m_type == Type::Empty)
        return nullptr;
    if (m_type != Type::Object)
        fail("object");
    if (!m_isQObject && m_pointer)
        throw PubError(QStringLiteral("参数不是 QObject 对象"));
    return static_cast<QObject *>(m_pointer);
}

QVariant QnVariant::toVariant() const
{
    switch (m_type) {
    case Type::Empty: return {};
    case Type::Int: return QVariant(m_int);
    case Type::Bool: return QVariant(m_int != 0);
    case Type::Double: return QVariant(m_double);
    case Type::Text: return QVariant(m_text);
    case Type::Date: return QVariant(m_date);
    case Type::Object:
        if (m_isQObject)
            return QVariant::fromValue(static_cast<QObject *>(m_pointer));
        return QVariant::fromValue(m_pointer);
    }
    return {};
}

int QnParams::indexOf(const QString &name) const
{
    for (int i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void QnParams::AddValue(const QString &name, const QnVariant &value)
{
    const int i = indexOf(name);
    if (i >= 0)
        m_entries[i].value = value;
    else
        m_entries.push_back({name, value});
}

bool QnParams::FindValue(const QString &name) const { return indexOf(name) >= 0; }

QnVariant QnParams::GetValue(const QString &name) const
{
    const int i = indexOf(name);
    if (i < 0)
        throw PubError(QStringLiteral("参数 %1 不存在").arg(name));
    return m_entries[i].value;
}

QnVariant QnParams::GetValue(const QString &name, const QnVariant &fallback) const
{
    const int i = indexOf(name);
    return i < 0 ? fallback : m_entries[i].value;
}

bool QnParams::RemoveValue(const QString &name)
{
    const int i = indexOf(name);
    if (i < 0)
        return false;
    m_entries.remove(i);
    return true;
}

QString QnParams::toText() const
{
    QStringList lines;
    for (const Entry &e : m_entries) {
        QString v;
        if (e.value.type() == QnVariant::Type::Object)
            v = QStringLiteral("<object 0x%1>").arg(quintptr(e.value.toPointer()), 0, 16);
        else
            v = e.value.toString();
        lines << e.name + u'=' + v;
    }
    return lines.join(u'\n');
}
