#pragma once
// The package's fixed tables: the registered forms with their privilege ids and
// classes, and the note types with form name, display name and master table.

#include <QString>
#include <QVector>

namespace pk_note {

struct FormRegistration {
    const char *formName;
    int privilegeId;
    const char *className;
    const char *baseClass;
};

// The 53 forms in registration order (duplicated ids kept).
const QVector<FormRegistration> &RegistrationTable();

// What sets a note type apart in the framework's rules.
enum NoteTypeFlag : unsigned {
    // Made elsewhere (POS, invoicing): the window only shows the latest note.
    kViewOnly = 1u << 0,
    // Plans, orders and sale prices may be saved in a closed period.
    kNoDateLock = 1u << 1,
    // Plans and sale prices may be audited or voided in a closed period.
    kNoPeriodRule = 1u << 2,
    // A chosen employee does not bring the department (plans).
    kEmployeeKeepsDepartment = 1u << 3,
    // No row in the print register.
    kNoPrintRegister = 1u << 4,
};

struct NoteTypeInfo {
    int noteType;
    const char *formName;
    const char *displayName; // UTF-8, may be empty
    const char *masterTable; // may be empty
    unsigned flags = 0;
    const char *nothingToView = nullptr; // kViewOnly: shown when there is no note yet
};

// Every known note type, ascending.
const QVector<NoteTypeInfo> &NoteTypeTable();

// The note type that only counts while the system parameter "UsePlace" is "1".
constexpr int kPlaceNoteType = 32;

} // namespace pk_note

// Empty for an unknown type (and for type 32 unless "UsePlace" is "1").
QString NoteTypeFormName(int noteType);
QString NoteTypeName(int noteType);
QString NoteTypeMasterTable(int noteType);
// The type's NoteTypeFlag bits (0 for an unknown type).
unsigned NoteTypeFlags(int noteType);
inline bool NoteTypeHas(int noteType, pk_note::NoteTypeFlag flag) { return (NoteTypeFlags(noteType) & flag) != 0; }
// Whether `form` shows notes of the type: its own form, or the second window
// of a type kept in two pairs of tables (22 and 23: the independent stock
// notes beside the lending).
bool NoteTypeHasForm(int noteType, const QString &form);
// `form` when that window is built, else the type's other window that is.
QString BuiltFormOfType(int noteType, const QString &form);
// The message of a view-only type when it has no note to show.
QString NoteTypeNothingToView(int noteType);
