#include "db/Database.h"
#include "data/Field.h"

#include "data/ClientDataSet.h"

#include <cmath>

namespace data {

namespace {

const QVariant &nullVariant()
{
    static const QVariant v;
    return v;
}

QString typeName(FieldType t)
{
    switch (t) {
    case FieldType::Integer: return QStringLiteral("整数");
    case FieldType::Float: return QStringLiteral("浮点数");
    case FieldType::Date: return QStringLiteral("日期");
    case FieldType::DateTime: return QStringLiteral("日期时间");
    case FieldType::Boolean: return QStringLiteral("逻辑");
    default: return QStringLiteral("文本");
    }
}

// Reads "yyyy-MM-dd" and "yyyy-MM-dd HH:mm:ss" without the cost of a format parser.
bool parseDigits(const QChar *p, int n, int &out)
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

bool parseStoredDate(const QString &s, QDate &date, QTime &time, bool &hasTime)
{
    const int n = int(s.size());
    if (n < 10)
        return false;
    const QChar *p = s.constData();
    int y, m, d;
    if (!parseDigits(p, 4, y) || p[4] != u'-' || !parseDigits(p + 5, 2, m) || p[7] != u'-' ||
        !parseDigits(p + 8, 2, d))
        return false;
    date = QDate(y, m, d);
    hasTime = false;
    time = QTime(0, 0);
    if (n >= 16 && (p[10] == u' ' || p[10] == u'T')) {
        int hh, mi, ss = 0;
        if (!parseDigits(p + 11, 2, hh) || p[13] != u':' || !parseDigits(p + 14, 2, mi))
            return false;
        if (n >= 19 && p[16] == u':' && !parseDigits(p + 17, 2, ss))
            return false;
        time = QTime(hh, mi, ss);
        hasTime = true;
    }
    return date.isValid() && time.isValid();
}

QString groupThousands(const QString &digits)
{
    QString out;
    const int n = int(digits.size());
    out.reserve(n + n / 3);
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += u',';
        out += digits[i];
    }
    return out;
}

// Delphi-style date patterns (yyyy-mm-dd hh:nn:ss) to Qt's; Qt patterns pass through.
QString toQtDatePattern(const QString &f)
{
    QString out;
    bool afterHour = false;
    for (int i = 0; i < f.size(); ++i) {
        const QChar c = f[i];
        const QChar lc = c.toLower();
        if (c == u'\'' || c == u'"') { // quoted literal
            const int end = int(f.indexOf(c, i + 1));
            const QString lit = f.mid(i + 1, end < 0 ? -1 : end - i - 1);
            out += u'\'' + lit + u'\'';
            i = end < 0 ? int(f.size()) : end;
            continue;
        }
        if (lc == u'h') {
            out += u'H';
            afterHour = true;
        } else if (lc == u'n') {
            out += u'm';
        } else if (c == u'm') {
            out += afterHour ? u'm' : u'M';
        } else if (c == u'M') {
            out += u'M';
        } else if (lc == u'y' || lc == u'd' || lc == u's' || lc == u'z') {
            out += lc;
            if (lc == u'd' || lc == u'y')
                afterHour = false;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

FieldType fieldTypeFromDeclared(const QString &declared, int *size)
{
    const QString t = declared.trimmed().toUpper();
    if (size) {
        *size = 0;
        const int open = int(t.indexOf(u'('));
        if (open >= 0)
            *size = t.mid(open + 1, t.indexOf(u')') - open - 1).section(u',', 0, 0).trimmed().toInt();
    }
    const QString base = t.section(u'(', 0, 0).trimmed();
    if (base.isEmpty())
        return FieldType::Unknown;
    if (base == QLatin1String("BIT") || base.startsWith(QLatin1String("BOOL")))
        return FieldType::Boolean;
    if (base.contains(QLatin1String("DATETIME")) || base.contains(QLatin1String("TIMESTAMP")))
        return FieldType::DateTime;
    if (base == QLatin1String("DATE"))
        return FieldType::Date;
    if (base.contains(QLatin1String("INT")))
        return FieldType::Integer;
    if (base.contains(QLatin1String("CHAR")) || base == QLatin1String("STRING"))
        return FieldType::String;
    if (base.contains(QLatin1String("TEXT")) || base == QLatin1String("MEMO"))
        return FieldType::Memo;
    if (base.contains(QLatin1String("BLOB")) || base.contains(QLatin1String("BINARY")) || base == QLatin1String("IMAGE"))
        return FieldType::Blob;
    if (base.contains(QLatin1String("REAL")) || base.contains(QLatin1String("FLOA")) || base.contains(QLatin1String("DOUB")) ||
        base.contains(QLatin1String("NUMERIC")) || base.contains(QLatin1String("DECIMAL")) || base.contains(QLatin1String("MONEY")))
        return FieldType::Float;
    return FieldType::Unknown;
}

DisplayFormatSpec parseDisplayFormat(const QString &format, FieldType type)
{
    DisplayFormatSpec spec;
    if (format.isEmpty())
        return spec;
    switch (type) {
    case FieldType::Integer:
    case FieldType::Float: {
        spec.kind = DisplayFormatSpec::Number;
        // Only the first section (positive numbers) is honoured.
        const QString f = format.section(u';', 0, 0);
        int first = -1, last = -1;
        for (int i = 0; i < f.size(); ++i)
            if (f[i] == u'#' || f[i] == u'0' || f[i] == u',' || f[i] == u'.') {
                if (first < 0)
                    first = i;
                last = i;
            }
        if (first < 0) {
            spec.prefix = f;
            return spec;
        }
        spec.prefix = f.left(first);
        spec.suffix = f.mid(last + 1);
        const QString body = f.mid(first, last - first + 1);
        spec.thousands = body.contains(u',');
        const int dot = int(body.indexOf(u'.'));
        if (dot >= 0)
            for (int i = dot + 1; i < body.size(); ++i) {
                if (body[i] == u'0')
                    spec.minDecimals = ++spec.maxDecimals;
                else if (body[i] == u'#')
                    ++spec.maxDecimals;
            }
        break;
    }
    case FieldType::Date:
    case FieldType::DateTime:
        spec.kind = DisplayFormatSpec::DateTime;
        spec.qtPattern = toQtDatePattern(format);
        break;
    case FieldType::Boolean:
        spec.kind = DisplayFormatSpec::Boolean;
        spec.trueText = format.section(u';', 0, 0);
        spec.falseText = format.section(u';', 1, 1);
        break;
    default:
        break;
    }
    return spec;
}

QString formatWith(const DisplayFormatSpec &spec, FieldType type, const QVariant &value)
{
    if (value.isNull() || !value.isValid())
        return QString();
    switch (type) {
    case FieldType::Integer:
    case FieldType::Float: {
        const double v = value.toDouble();
        if (spec.kind != DisplayFormatSpec::Number) {
            if (type == FieldType::Integer)
                return QString::number(value.toLongLong());
            return QString::number(v, 'g', 15);
        }
        // Round half away from zero on the decimal value, as users expect of money.
        const double scale = std::pow(10.0, spec.maxDecimals);
        double r = std::round(v * scale * (1.0 + 1e-13)) / scale;
        if (r == 0.0)
            r = 0.0; // no "-0.00"
        QString text = QString::number(r, 'f', spec.maxDecimals);
        if (spec.maxDecimals > spec.minDecimals) {
            int keep = int(text.size());
            const int dot = int(text.indexOf(u'.'));
            const int minLen = dot + 1 + spec.minDecimals;
            while (keep > minLen && text[keep - 1] == u'0')
                --keep;
            if (keep == dot + 1)
                --keep; // no trailing point
            text.truncate(keep);
        }
        if (spec.thousands) {
            const bool neg = text.startsWith(u'-');
            const int dot = int(text.indexOf(u'.'));
            const QString intPart = text.mid(neg ? 1 : 0, (dot < 0 ? text.size() : dot) - (neg ? 1 : 0));
            text = (neg ? QStringLiteral("-") : QString()) + groupThousands(intPart) + (dot < 0 ? QString() : text.mid(dot));
        }
        return spec.prefix + text + spec.suffix;
    }
    case FieldType::Date:
        return value.toDate().toString(spec.kind == DisplayFormatSpec::DateTime ? spec.qtPattern
                                                                                : QStringLiteral("yyyy-MM-dd"));
    case FieldType::DateTime:
        return value.toDateTime().toString(spec.kind == DisplayFormatSpec::DateTime ? spec.qtPattern
                                                                                    : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case FieldType::Boolean:
        if (spec.kind == DisplayFormatSpec::Boolean)
            return value.toBool() ? spec.trueText : spec.falseText;
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Blob:
        return QStringLiteral("(BLOB)");
    default:
        return value.toString();
    }
}

Field::Field(ClientDataSet *ds, const QString &name, FieldType type, int size)
    : m_dataSet(ds), m_name(name), m_type(type), m_size(size)
{
}

void Field::SetDisplayLabel(const QString &label)
{
    m_label = label;
    if (m_dataSet->Active())
        m_dataSet->notify(ClientDataSet::Notify::All);
}

void Field::SetDisplayFormat(const QString &format)
{
    m_format = format;
    m_spec = parseDisplayFormat(format, m_type);
    if (m_dataSet->Active())
        m_dataSet->notify(ClientDataSet::Notify::All);
}

void Field::SetVisible(bool on)
{
    if (m_visible == on)
        return;
    m_visible = on;
    if (m_dataSet->Active())
        m_dataSet->notify(ClientDataSet::Notify::All);
}

QVariant Field::Value() const
{
    if (m_validating)
        return *m_validating;
    const QVector<QVariant> *vals = m_dataSet->currentValues();
    return vals ? vals->at(m_index) : nullVariant();
}

bool Field::IsNull() const
{
    const QVariant v = Value();
    return v.isNull() || !v.isValid();
}

qint64 Field::AsInteger() const
{
    const QVariant v = Value();
    if (m_type == FieldType::Float)
        return qint64(std::llround(v.toDouble()));
    return v.toLongLong();
}

double Field::AsFloat() const { return Value().toDouble(); }

QString Field::AsString() const
{
    const QVariant v = Value();
    if (v.isNull())
        return QString();
    switch (m_type) {
    case FieldType::Date:
    case FieldType::DateTime:
    case FieldType::Float:
    case FieldType::Boolean:
        return formatWith(DisplayFormatSpec(), m_type, v);
    default:
        return v.toString();
    }
}

QDate Field::AsDate() const
{
    const QVariant v = Value();
    return v.typeId() == QMetaType::QDateTime ? v.toDateTime().date() : v.toDate();
}

QDateTime Field::AsDateTime() const
{
    const QVariant v = Value();
    if (v.typeId() == QMetaType::QDate)
        return QDateTime(v.toDate(), QTime(0, 0));
    return v.toDateTime();
}

bool Field::AsBoolean() const { return Value().toBool(); }

QVariant Field::OldValue() const
{
    const ClientDataSet::Record *r = m_dataSet->current();
    if (!r || r->status == UpdateStatus::Inserted)
        return QVariant();
    return r->old ? r->old->at(m_index) : r->values.at(m_index);
}

QVariant Field::Convert(const QVariant &value) const
{
    if (value.isNull() || !value.isValid())
        return QVariant();
    const int id = value.typeId();
    auto bad = [&]() {
        return DataSetError(QStringLiteral("'%1' 不是字段 '%2' 有效的%3值").arg(value.toString(), DisplayLabel(), typeName(m_type)));
    };
    switch (m_type) {
    case FieldType::Integer: {
        if (id == QMetaType::LongLong)
            return value;
        if (id == QMetaType::Double || id == QMetaType::Float) {
            const double d = value.toDouble();
            if (!std::isfinite(d) || std::fabs(d) > 9.0e18)
                throw bad();
            return QVariant(qint64(std::llround(d)));
        }
        if (id == QMetaType::QString) {
            const QString s = value.toString().trimmed();
            if (s.isEmpty())
                return QVariant();
            bool ok = false;
            const qint64 v = s.toLongLong(&ok);
            if (!ok)
                throw bad();
            return QVariant(v);
        }
        bool ok = false;
        const qint64 v = value.toLongLong(&ok);
        if (!ok)
            throw bad();
        return QVariant(v);
    }
    case FieldType::Float: {
        if (id == QMetaType::QString && value.toString().trimmed().isEmpty())
            return QVariant();
        bool ok = id == QMetaType::Double;
        const double v = ok ? value.toDouble()
                            : id == QMetaType::QString ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
        // "inf" and "nan" parse as numbers but are none.
        if (!ok || !std::isfinite(v))
            throw bad();
        if (std::fabs(v) > kMaxFloatValue)
            throw DataSetError(QStringLiteral("'%1' 超出字段 '%2' 允许的范围，数值的绝对值不能大于 1,000,000,000,000。")
                                   .arg(id == QMetaType::QString ? value.toString().trimmed() : QString::number(v, 'g', 15),
                                        DisplayLabel()));
        return id == QMetaType::Double ? value : QVariant(v);
    }
    case FieldType::Boolean: {
        if (id == QMetaType::Bool)
            return value;
        if (id == QMetaType::QString) {
            const QString s = value.toString().trimmed().toLower();
            if (s.isEmpty())
                return QVariant();
            if (s == QLatin1String("true") || s == QLatin1String("1") || s == QLatin1String("t") || s == QStringLiteral("是"))
                return QVariant(true);
            if (s == QLatin1String("false") || s == QLatin1String("0") || s == QLatin1String("f") || s == QStringLiteral("否"))
                return QVariant(false);
            throw bad();
        }
        return QVariant(value.toLongLong() != 0);
    }
    case FieldType::Date:
    case FieldType::DateTime: {
        const bool wantDate = m_type == FieldType::Date;
        if (id == QMetaType::QDate)
            return wantDate ? value : QVariant(QDateTime(value.toDate(), QTime(0, 0)));
        if (id == QMetaType::QDateTime)
            return wantDate ? QVariant(value.toDateTime().date()) : value;
        if (id == QMetaType::QString) {
            const QString s = value.toString().trimmed();
            if (s.isEmpty())
                return QVariant();
            QDate d;
            QTime t;
            bool hasTime = false;
            if (!parseStoredDate(s, d, t, hasTime)) {
                const QVariant v = db::Database::toDateValue(s);
                if (!v.isValid())
                    throw DataSetError(QStringLiteral("'%1' 不是字段 '%2' 有效的%3值").arg(s, DisplayLabel(), typeName(m_type)));
                return Convert(v);
            }
            return wantDate ? QVariant(d) : QVariant(QDateTime(d, t));
        }
        throw bad();
    }
    case FieldType::Blob:
        return id == QMetaType::QByteArray ? value : QVariant(value.toByteArray());
    case FieldType::String:
    case FieldType::Memo:
        if (id == QMetaType::QString)
            return value;
        if (id == QMetaType::QDate)
            return QVariant(db::Database::dateText(value.toDate()));
        if (id == QMetaType::QDateTime)
            return QVariant(db::Database::dateTimeText(value.toDateTime()));
        return QVariant(value.toString());
    case FieldType::Unknown:
        return value;
    }
    return value;
}

void Field::DeclareType(FieldType type)
{
    if (!m_typeGuessed || type == m_type)
        return;
    m_typeGuessed = false;
    m_type = type;
    m_spec = parseDisplayFormat(m_format, m_type);
}

QString Field::FormatValue(const QVariant &value) const { return formatWith(m_spec, m_type, value); }

void Field::SetValue(const QVariant &value) { write(value, false); }
void Field::SetValueSilent(const QVariant &value) { write(value, true); }

void Field::write(const QVariant &value, bool silent)
{
    QVector<QVariant> *vals = m_dataSet->writableValues(*this);
    const QVariant v = Convert(value);
    if (OnValidate && !m_calculated) {
        m_validating = &v;
        try {
            OnValidate(*this);
        } catch (...) {
            m_validating = nullptr;
            throw;
        }
        m_validating = nullptr;
    }
    m_prior = (*vals)[m_index];
    (*vals)[m_index] = v;
    m_dataSet->fieldWritten(*this, silent);
}

} // namespace data
