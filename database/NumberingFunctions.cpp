#include "NumberingFunctions.h"

#include "db/Database.h"

#include <QDate>
#include <QDateTime>

namespace notedb {

namespace {

// Dates reach SQL functions as stored text, but a caller binding a QDate
// directly is handled too.
QDate storedDate(const QVariant &v)
{
    if (v.isNull())
        return {};
    if (v.metaType().id() == QMetaType::QDate)
        return v.toDate();
    if (v.metaType().id() == QMetaType::QDateTime)
        return v.toDateTime().date();
    const QString text = v.toString().trimmed();
    QDate d = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid())
        d = QDate::fromString(text.left(10), QStringLiteral("MM/dd/yyyy"));
    return d;
}

// The caller's date: "mm/dd/yyyy" as the numbering statement writes it; the
// month and day may lack their leading zero.
QDate callerDate(const QVariant &v)
{
    if (v.isNull())
        return {};
    const QString text = v.toString().trimmed();
    const QStringList parts = text.left(10).split(u'/');
    if (parts.size() == 3) {
        bool okM = false, okD = false, okY = false;
        const int m = parts[0].toInt(&okM), d = parts[1].toInt(&okD), y = parts[2].left(4).toInt(&okY);
        if (okM && okD && okY)
            return QDate(y, m, d);
        return {};
    }
    return storedDate(v);
}

} // namespace

QVariant codeToSerialNo(const QVariant &code, const QVariant &digits)
{
    if (code.isNull() || digits.isNull())
        return {};
    bool ok = false;
    const int n = digits.toString().trimmed().toInt(&ok);
    if (!ok || n <= 0 || n > 18)
        return {};
    const QString text = code.toString();
    const QString tail = text.right(n);
    if (tail.isEmpty())
        return {};
    for (const QChar c : tail)
        if (c < u'0' || c > u'9')
            return {};
    return tail.toLongLong();
}

QVariant dateComp(const QVariant &periodFormat, const QVariant &noteDate, const QVariant &date)
{
    const QString format = periodFormat.toString().trimmed().toLower();
    if (format.isEmpty())
        return 1;
    int length = 0;
    if (format == u"yyyy")
        length = 4;
    else if (format == u"yyyymm")
        length = 6;
    else if (format == u"yyyymmdd")
        length = 8;
    else
        throw db::DbError(QStringLiteral("funcdefDateComp: unknown period format '%1'").arg(periodFormat.toString()));

    const QDate given = callerDate(date);
    if (!date.isNull() && !given.isValid())
        throw db::DbError(QStringLiteral("funcdefDateComp: bad date '%1'").arg(date.toString()));
    const QDate stored = storedDate(noteDate);
    if (!given.isValid() || !stored.isValid())
        return 0;
    const QString key = QStringLiteral("yyyyMMdd");
    return stored.toString(key).left(length) == given.toString(key).left(length) ? 1 : 0;
}

void registerNumberingFunctions()
{
    // The layer keeps pointers to registered functions for open connections, so
    // registering twice must not grow its list.
    static bool done = false;
    if (done)
        return;
    done = true;
    db::Registry &r = db::Registry::instance();
    r.addFunction(QStringLiteral("funcdefCodeToSerialNo"), 2,
                  [](const QVariantList &a) { return codeToSerialNo(a.value(0), a.value(1)); });
    r.addFunction(QStringLiteral("funcdefDateComp"), 3,
                  [](const QVariantList &a) { return dateComp(a.value(0), a.value(1), a.value(2)); });
}

} // namespace notedb
