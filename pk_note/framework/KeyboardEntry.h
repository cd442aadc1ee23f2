#pragma once
// How a document window works from the keyboard, kept apart from the note
// sequences: the Tab order (title, master fields, lines, bottom fields,
// buttons), Enter moving on in the master fields, the window's own shortcuts,
// the focus after a refused check, a status line saying what an action did,
// and fitting the window into the screen (the buttons wrap; the field panels
// reflow themselves). The helpers find the parts of the window
// by their object names, so every kind gets the same behaviour.

#include <QString>

#include <functional>

class QWidget;

namespace keyboard {

// Wires the window once, when it is first shown (the lines grid exists by then).
void Install(QWidget *form);

// Puts the focus on the first field the user can change (the first master
// field; else the date; else the lines).
void FocusFirstField(QWidget *form);

// Runs an action that may be refused with an error message (save, audit, ...).
// Done: `done` goes to the status line. Refused: the focus goes to the field
// the message names (its caption, or a column title of the lines).
bool Run(QWidget *form, const std::function<bool()> &action, const QString &done);

// The status line of the window (also offered to the main window's status bar).
void ShowStatus(QWidget *form, const QString &text);
QString StatusText(const QWidget *form);

// Keeps the window inside the area it is shown in (the MDI area or the screen).
void FitToScreen(QWidget *form);

} // namespace keyboard
