#pragma once
// The utility commands of a lookup combo ("新增", "编辑", "刷新"; a trailing
// "#" on the button text is ignored).
//
// The combo names its lookup source in the dynamic property "lookupSource"
// (e.g. "dsStore"). "刷新" reads that source again. "新增" and "编辑" open the
// maintenance window the host registered for the source (through the modal
// service), then read the source again; "编辑" passes `id` as the record's key,
// "新增" a null key (its `id` is the calling form's privilege id). Without a
// registered window, an unknown source or another command nothing happens.
// Returns whether the command was carried out.

#include <QString>
#include <QVariant>

#include <functional>

class QObject;
class QWidget;

// Creates the maintenance window of a lookup source for `key` (null: new record).
using LookupEditorFactory = std::function<QWidget *(QWidget *owner, const QVariant &key)>;
void RegisterLookupEditor(const QString &sourceName, LookupEditorFactory factory);
void ClearLookupEditors();

bool ComboBoxUtilitys(QObject *combo, const QString &command, int id);
