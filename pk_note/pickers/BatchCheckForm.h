#pragma once
// TBatchCheckForm: the audit centre ("审核中心", BatchCheckForm, also reached
// through the named function "BATCHCHECK"). It lists the notes of one type,
// or of every type the user may open, waiting for audit or audited, by date,
// department, employee, maker and auditor, and audits or un-audits the ticked
// ones in one action: the period and maker rules over all of them first, then
// note by note the type's audit right and the single note's own audit rules
// (the note's window answers them), each state changed by a guarded update.

#include "Noteboot.h"

#include <QHash>
#include <QPointer>

class QComboBox;
class QDateEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStyledItemDelegate;
class TBasenoteForm;
namespace data {
class ClientDataSet;
class DataSource;
} // namespace data
namespace widgets {
class TRqDBGrid;
}

class TBatchCheckForm : public TnoteBootForm {
    Q_OBJECT
public:
    explicit TBatchCheckForm(QWidget *owner = nullptr);
    ~TBatchCheckForm() override;

    // The note types listed after "<全部单据>".
    QList<int> NoteTypes() const { return m_types; }
    // The list statement for the current choices (its dates are :StartDate and :EndDate).
    QString ListSql() const;
    // Audits (waiting notes shown) or un-audits (audited shown) the ticked
    // notes; returns how many changed.
    int BatchCheck();

    QComboBox *cmbNoteType = nullptr, *cmbDepartment = nullptr, *cmbEmploy = nullptr, *cmbOperator = nullptr,
              *cmbChkor = nullptr;
    QDateEdit *edStartDate = nullptr, *edEndDate = nullptr;
    QRadioButton *rbChecked = nullptr, *rbUnchecked = nullptr;
    QPushButton *btnQuery = nullptr, *btnSelect = nullptr, *btnClear = nullptr, *btnCounter = nullptr,
                *btnCheck = nullptr, *btnExit = nullptr, *btnShownote = nullptr;
    // Shown while a batch runs: stops it before the next note.
    QPushButton *btnCancel = nullptr;
    QProgressBar *ProgressBar = nullptr;
    widgets::TRqDBGrid *NoteGrid = nullptr;
    data::ClientDataSet *cdsNotes = nullptr;

public slots:
    void btnQueryClick();
    void btnSelectClick();
    void btnClearClick();
    void btnCounterClick();
    void btnCheckClick();
    void btnShownoteClick();
    void btnCancelClick();

protected:
    // Closing while a batch runs cancels it instead (before the next note).
    void closeEvent(QCloseEvent *event) override;

private:
    void showColumns();
    void fillChoices();
    void tickAll(int how); // 1 tick, 0 untick, -1 invert
    // The window of a note type that answers its single-note rules (null when
    // the package has none); one per type while the window lives.
    TBasenoteForm *rulesWindow(const QString &form);
    // A listed kind of note: its type, master table and window.
    struct Kind {
        int type;
        QString table, form, caption;
    };
    QVector<Kind> m_kinds;
    data::DataSource *dsNotes = nullptr;
    QStyledItemDelegate *m_tick = nullptr;
    QList<int> m_types;
    QHash<QString, QPointer<QWidget>> m_rules; // by form name
    bool m_running = false, m_cancelled = false;
    int m_ticked = 0; // of the last batch
};
