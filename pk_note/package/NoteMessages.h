#pragma once
// Window messages between note_Call, document windows and the host's
// navigator, and the HRESULT-style results they return.
//
// A receiver is any QObject with the invokable method
//     Q_INVOKABLE long noteMessage(int message, qlonglong wParam, qlonglong lParam);
// TnoteBootForm declares it virtual; the host's "NavigatorForm" only needs the
// same invokable method, no package header. The call is synchronous.

#include <QtGlobal>

class QObject;
class QWidget;

namespace pk_note {

constexpr int NM_NOTEREFRESH = 2948;     // wParam: init flag
constexpr int NM_NOTEOPEN = 2949;        // wParam: init flag
constexpr int NM_NOTELOCATE = 2950;      // wParam: init flag, lParam: note id
constexpr int NM_NOTEFORMCHANGED = 2952; // wParam: the document window (QWidget *)

constexpr long S_OK = 0;
constexpr long E_FAIL = 0x80004005L;

// True for an error result; the 32-bit HRESULT sign decides, as on the host.
inline bool Failed(long result) { return qint32(quint32(result)) < 0; }

// Sends `message` to `target` and returns its answer; 0 when the target has no
// handler (as an unhandled window message).
long SendNoteMessage(QObject *target, int message, qintptr wParam, qintptr lParam);

// What a window says of a function whose part of the system is not built yet.
inline constexpr const char *kNotYetAvailable = "尚未提供此功能。";

// The form name the host gives its navigator window.
inline constexpr const char *kNavigatorFormName = "NavigatorForm";

// Tells the open "NavigatorForm" (if any) that `form` changed its init mode.
long NotifyNoteFormChanged(QWidget *form);

} // namespace pk_note
