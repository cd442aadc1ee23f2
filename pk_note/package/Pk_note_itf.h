#pragma once
// The package's entry points and the window handling of note_Call.
//
// The host loads libpk_note.so, resolves the three exported functions and
// calls noteLoad once. note_Call is the handler of the twelve registered names.
//
// MDI: the host makes a window an MDI child through its global function
// "ADDMDICHILD" (params "FORM" = the window as QObject; it sets "RESULT" = true
// once the window is inside its MDI area). Without it the window is shown as a
// top-level window.
//
// Errors: a privilege refusal shows its message and returns E_FAIL; a
// "LOCATENOTE" without integer "NOTEID" and "NOTETYPE" shows an internal-error
// message and returns E_FAIL; "GETNOTENAME" and "COSTCACULATE" without params
// throw PubError, which reaches the host's caller.

#include "NoteMessages.h"
#include "QnParams.h"

#include <QString>

class QWidget;

#define PK_NOTE_EXPORT __attribute__((visibility("default")))

extern "C" {
PK_NOTE_EXPORT void noteLoad();
PK_NOTE_EXPORT void noteUnload();
PK_NOTE_EXPORT long note_Call(const QString &function, const QString &argument, QnParams *params);
// Optional: whether the package builds the window class `className`, so that
// the host can tell a menu entry whose window is not built yet from one that
// works (the functions themselves open nothing then, as their contract says).
PK_NOTE_EXPORT bool noteHasWindowClass(const QString &className);
}

// The names note_Call answers, in registration order (from its own table).
const QStringList &FunctionNames();

// The first open window (top-level or MDI child) whose objectName equals `name`
// ignoring case; null when none.
QWidget *FindOpenForm(const QString &name);

namespace pk_note {

// The internal-error text of a broken call contract.
QString InternalErrorText(const QString &condition, const QString &where);

// Makes `window` an MDI child of the host (see above); false without an MDI area.
bool MakeMdiChild(QWidget *window);
// Shows the window (its MDI frame too) and brings it to the front.
void ShowWindow(QWidget *window);
// Brings the window to the front; restores it from minimised when `restore`.
void BringToFront(QWidget *window, bool restore);
// Opens the registered window `formName` under the user's right, has it start
// a new note from the source note (ISourceNoteLoader) and shows it. False when
// the right is missing, the window is not built (said so) or took nothing.
bool OpenNoteFromSource(const QString &formName, int sourceNoteType, qint64 sourceNoteId);

} // namespace pk_note
