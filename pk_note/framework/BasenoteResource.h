#pragma once
// The compact resource block of a document kind: its form name, caption, note
// type, master select text (alias m), and the master controls with their
// fields, captions and lookups. TBasenoteForm builds the button, title, master
// and bottom panels from it.

#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

namespace basenote {

enum class Ctl {
    Edit,   // TRqDBEdit
    Date,   // TRqDBDateEdit
    Lookup, // TRqLookupCombo over a host lookup source
    Memo,   // TRqDBMemo
    Check,  // TRqDBCheckBox
    Text,   // TRqDBText: shows a field, never edited
    Label,  // a plain label (caption only, no field)
};

// One control of the master panel, in reading order. Controls flow into rows
// of `columns` caption/control pairs; a control takes `span` pairs, and
// `newRow` starts a row of its own (the panel reflows to fewer pairs when the
// window is narrow).
struct MasterControl {
    const char *field = "";   // data field ("" for Ctl::Label)
    const char *caption = ""; // label beside the control and the field's display label
    Ctl kind = Ctl::Edit;
    const char *name = nullptr;   // objectName; default "ed"/"cmb"/"lb" + field
    const char *lookup = nullptr; // Ctl::Lookup: the host lookup source ("dsAccount")
    const char *listFilter = nullptr;
    int span = 1;
    bool required = false;
    const char *displayFormat = nullptr;
    bool newRow = false;
};

struct Resource {
    const char *formName = "";
    const char *caption = "";
    int noteType = 0;
    const char *masterSql = ""; // the qryMaster SQL: "select m.* ... from <table> m"
    QVector<MasterControl> controls;
    QStringList lookups;        // host lookup data sets opened before each query
    int columns = 3;            // caption/control pairs per master row
    QSize size{960, 620};       // design size
    bool bottomPanel = true;    // cmbEmp, cmbDepartment, maker, auditor, remark
    // The maker's and auditor's names come from the operator cache as
    // calculated fields unless the master select brings them itself.
    bool operatorNamesInQuery = false;
    const char *keyField = "NOTEID";
    const char *tableName = nullptr; // fixed master table; default from the note type
};

} // namespace basenote
