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

struct NoteTypeInfo {
    int noteType;
    const char *formName;
    const char *displayName; // UTF-8, may be empty
    const char *masterTable; // may be empty
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
