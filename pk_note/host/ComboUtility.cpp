#include "ComboUtility.h"

#include "Lookup.h"
#include "Messages.h"

#include <QHash>
#include <QObject>
#include <QWidget>

#include <memory>

namespace {

QHash<QString, LookupEditorFactory> &editors()
{
    static QHash<QString, LookupEditorFactory> e;
    return e;
}

// Editors are kept under the base name, so "dsStore" and "qryStore" meet.
QString editorKey(const QString &sourceName)
{
    if (const pub::LookupTable *t = FindLookupDataSource(sourceName))
        return t->name().toUpper();
    return sourceName.toUpper();
}

} // namespace

void RegisterLookupEditor(const QString &sourceName, LookupEditorFactory factory)
{
    QString key = sourceName.toUpper();
    for (const pub::LookupDefinition &d : pub::lookupDefinitions()) {
        if (sourceName.compare(QLatin1String("ds") + d.baseName, Qt::CaseInsensitive) == 0 ||
            sourceName.compare(QLatin1String("qry") + d.baseName, Qt::CaseInsensitive) == 0 ||
            sourceName.compare(d.baseName, Qt::CaseInsensitive) == 0)
            key = d.baseName.toUpper();
    }
    editors().insert(key, std::move(factory));
}

void ClearLookupEditors() { editors().clear(); }

bool ComboBoxUtilitys(QObject *combo, const QString &command, int id)
{
    if (!combo)
        return false;
    const QString source = combo->property("lookupSource").toString();
    if (source.isEmpty())
        return false;
    QString cmd = command.trimmed();
    if (cmd.endsWith(u'#'))
        cmd.chop(1);

    if (cmd == QStringLiteral("刷新"))
        return RefreshLookupDataSet(source);

    const bool isNew = cmd == QStringLiteral("新增");
    if (!isNew && cmd != QStringLiteral("编辑"))
        return false;
    const LookupEditorFactory factory = editors().value(editorKey(source));
    if (!factory)
        return false;
    QWidget *owner = nullptr;
    for (QObject *o = combo; o && !owner; o = o->parent())
        owner = qobject_cast<QWidget *>(o) ? static_cast<QWidget *>(o)->window() : nullptr;
    std::unique_ptr<QWidget> window(factory(owner, isNew ? QVariant() : QVariant(id)));
    if (!window)
        return false;
    ShowModal(window.get());
    window.reset();
    RefreshLookupDataSet(source);
    return true;
}
