#pragma once
// Helpers shared by the files of TBasenoteForm (not part of the package API).

#include "Pub.h"
#include "widgets/DBControls.h"
#include "widgets/LookupCombo.h"

#include <QAction>
#include <QDate>
#include <QKeySequence>
#include <QVariant>

namespace basenote_detail {

using namespace widgets;

inline const QString kSystemIni = QStringLiteral("System.ini");
inline const QString kFormSizeSection = QStringLiteral("FORMSIZE");

inline int sysParamInt(const char *name) { return LookupSysParam(QString::fromLatin1(name)).trimmed().toInt(); }

inline QVariant scalarOf(const QString &sql)
{
    QVariant v;
    GetValueOfSql(sql, v);
    return v;
}

// A data-aware control's field name, empty for other widgets.
inline QString boundField(QObject *o)
{
    if (auto *e = qobject_cast<TRqDBEdit *>(o))
        return e->DataField();
    if (auto *e = qobject_cast<TRqDBDateEdit *>(o))
        return e->DataField();
    if (auto *e = qobject_cast<TRqDBMemo *>(o))
        return e->DataField();
    if (auto *e = qobject_cast<TRqDBCheckBox *>(o))
        return e->DataField();
    if (auto *e = qobject_cast<TRqLookupCombo *>(o))
        return e->DataSource() ? e->DataField() : QString();
    return {};
}

inline QAction *makeAction(QObject *parent, const char *name, const QString &text, const QList<QKeySequence> &keys)
{
    auto *a = new QAction(text, parent);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcuts(keys);
    return a;
}


} // namespace basenote_detail
