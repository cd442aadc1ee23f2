#include "NoteMessages.h"

#include "Pk_note_itf.h"

#include <QMetaObject>
#include <QObject>
#include <QWidget>

namespace pk_note {

long SendNoteMessage(QObject *target, int message, qintptr wParam, qintptr lParam)
{
    if (!target)
        return S_OK;
    const QMetaObject *mo = target->metaObject();
    if (mo->indexOfMethod("noteMessage(int,qlonglong,qlonglong)") < 0)
        return S_OK;
    long result = S_OK;
    QMetaObject::invokeMethod(target, "noteMessage", Qt::DirectConnection, Q_RETURN_ARG(long, result),
                              Q_ARG(int, message), Q_ARG(qlonglong, qlonglong(wParam)),
                              Q_ARG(qlonglong, qlonglong(lParam)));
    return result;
}

long NotifyNoteFormChanged(QWidget *form)
{
    QWidget *navigator = FindOpenForm(QString::fromLatin1(kNavigatorFormName));
    if (!navigator)
        return S_OK;
    return SendNoteMessage(navigator, NM_NOTEFORMCHANGED, reinterpret_cast<qintptr>(form), 0);
}

} // namespace pk_note
