#pragma once
// TBasenoteForm: the window of one note of one document kind. It keeps the
// master record in a client data set over the kind's master table, creates,
// loads and navigates notes, and saves, audits, voids and deletes them in a
// fixed sequence of virtual operations that kinds override.

#include "BasenoteResource.h"
#include "FieldRules.h"
#include "Noteboot.h"

#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

class QAction;
class QFrame;
class QKeyEvent;
class QLabel;
class QMenu;
class QPushButton;
class QVBoxLayout;
class TCorvanReportStyle; // the report component of the printing unit

namespace data {
class ClientDataSet;
class DataSource;
class Field;
} // namespace data

namespace widgets {
class TRqDBDateEdit;
class TRqDBEdit;
class TRqLookupCombo;
} // namespace widgets

// The ADO query that feeds cdsMaster through MasterProvider: it holds the SQL.
class TBasenoteQuery : public QObject {
    Q_OBJECT
public:
    explicit TBasenoteQuery(const QString &name, QObject *parent) : QObject(parent) { setObjectName(name); }
    const QString &SQL() const { return m_sql; }
    void SetSQL(const QString &sql) { m_sql = sql; }

private:
    QString m_sql;
};

class TBasenoteForm : public TnoteBootForm {
    Q_OBJECT
public:
    static constexpr int kNewNoteID = -9999;

    TBasenoteForm(const basenote::Resource &resource, QWidget *owner = nullptr);
    ~TBasenoteForm() override;

    // The second step of construction: what calls virtual operations (the
    // kind's lookups, its CredNo controls, the log entry). Factories call it
    // right after the constructor; see CreateNoteForm.
    void InitializeForm();

    // ---- virtual operations, in slot order ----
    virtual void SetReadOnly(bool readOnly);
    virtual bool IsNoteReadOnly();
    virtual bool NoteDateLocked(bool showMessage);
    virtual void HandleShortCut(QKeyEvent *key, bool &handled);
    virtual bool AppendBlankNote();
    virtual bool OpenNoteQuery(const QString &where);
    virtual void ReloadNote();
    virtual bool NewNote();
    virtual bool LoadNote(int id);
    // The note's master row alone, without lines, lookups or display: what the
    // audit rules (CanCheckNote, CanUncheckNote) read, for asking them of many
    // notes in turn. False when the note is not there.
    virtual bool LoadNoteRules(int id);
    virtual void ShowNoteProperties();
    virtual void MasterAfterOpen(data::ClientDataSet &dataSet);
    virtual void MasterAfterScroll(data::ClientDataSet &dataSet);
    virtual void MasterBeforePost(data::ClientDataSet &dataSet);
    virtual void MasterAfterPost(data::ClientDataSet &dataSet);
    virtual void MasterCalcFields(data::ClientDataSet &dataSet);
    virtual void MasterNewRecord(data::ClientDataSet &dataSet);
    virtual void InitNewNote(data::ClientDataSet &dataSet);
    virtual void MasterFieldChange(data::Field &field);
    virtual void MasterFieldValidate(data::Field &field);
    virtual QString GetMasterSql();
    virtual void HookMasterEvents();
    virtual void HookMasterFields();
    virtual void BeforeAppendNote();
    virtual void AfterAppendNote();
    virtual void PrepareSave();
    virtual void AfterSaveNote();
    virtual void BeforeOpenNote();
    virtual bool SaveNote();
    virtual bool ApplyNote(int action);
    virtual void PostPendingRecords(int action);
    virtual void AfterApplyNote(int action);
    virtual void CancelNote();
    virtual bool CanEditNote();
    virtual bool DeleteNote();
    virtual bool QuerySaveChanges();
    virtual bool IsNoteModified();
    virtual bool CanSaveNote();
    virtual bool ValidateNote();
    virtual bool NextNote();
    virtual bool PriorNote();
    virtual bool FirstNote();
    virtual bool LastNote();
    virtual void ShowNote();
    virtual void UpdateControlStates(const QString &fieldName);
    virtual void SelectSourceNote();
    virtual bool CheckNote();
    virtual bool UncheckNote();
    virtual bool CanCheckNote();
    virtual bool CanUncheckNote();
    virtual bool AbateNote();
    virtual bool UnabateNote();
    virtual bool CanAbateNote();
    virtual bool CanUnabateNote();
    virtual void AssignNoteKey();
    virtual void OpenOperatorLookup();
    virtual bool ChooseReportStyle(TCorvanReportStyle *report);
    virtual void SetReportVariables(TCorvanReportStyle *report);
    virtual void PrintNote(bool print);
    virtual void UpdateCredNoControls();
    virtual bool CanCloneNote();
    virtual void CloneNote(int id);
    virtual void LoadFormSize();
    virtual void SaveFormSize();
    virtual void GetMessageRecipients(int kind, QList<int> &recipients);
    virtual void RemarkKeyDown(QKeyEvent *key);

    // ---- window messages ----
    long noteMessage(int message, qlonglong wParam, qlonglong lParam) override;

    // ---- non-virtual helpers ----
    void SetInitMode(bool initMode);
    bool InitMode() const { return m_bInitMode; }
    // The form's privilege on its note type's form; the message only when asked.
    bool HasPrivilege(int action, bool showMessage);
    // The note belongs to another user and this one may not edit others' notes.
    bool IsOtherUsersNote();
    // Removes earlier notifications of the note and sends the one of `kind`.
    void SendNoteMessage(int kind);
    void UpdatePrintedLabel();

    // Note ids for navigation; 0 when there is none.
    int LastNoteID();
    int FirstNoteID();
    int PriorNoteID(int id);
    int NextNoteID(int id);

    int NoteType() const { return noteType; }
    int CurrentNoteID() const { return m_iCurrentNoteID; }
    bool IsNewNote() const { return m_bNewNote; }
    bool ReadOnly() const { return m_bReadOnly; }
    const QString &TableName() const { return m_asTableName; }
    const QString &KeyFieldName() const { return m_asKeyField; }
    const QString &Title() const { return m_asTitle; }
    data::ClientDataSet *MasterDataSet() const { return cdsMaster; }
    data::DataSource *MasterDataSource() const { return dsMaster; }
    // The master field, null when the master lacks it.
    data::Field *MasterField(const QString &name) const;
    QVariant MasterValue(const QString &name, const QVariant &defaultValue = {}) const;
    const QStringList &LookupNames() const { return m_LookupNames; }
    // The automatic number this window holds for its unsaved new note.
    const QString &ReservedNoteCode() const { return m_asReservedCode; }
    // The kind's resource block (kinds declare it once, for the program's life).
    const basenote::Resource &DeclaredResource() const { return *m_resource; }

public slots:
    // Published handlers: they only call the operations.
    void OkBtnClick();
    void SaveAddBtnClick();
    void CancelBtnClick();
    void CheckBtnClick();
    void muAbateClick();
    void muAppendClick();
    void muDeleteClick();
    void muNextClick();
    void btnPrevClick();
    void muFirstClick();
    void muLastClick();
    void muRefreshClick();
    void muSelectnoteClick();
    void btnPropertyClick();
    void btnFindClick();
    void PrintPMItemClick();
    void PrintPreviewPMItemClick();
    void muClonenoteClick();

protected:
    // The kind's field rules: MasterFieldChange runs the master's (base rules
    // first, then each derived class's in construction order).
    void AddMasterRule(const QString &fieldName, basenote::FieldRules::Rule rule)
    {
        m_masterRules.Add(fieldName, std::move(rule));
    }
    const basenote::FieldRules &MasterRules() const { return m_masterRules; }

    // A named child the kind's resource block declares; throws when a
    // declaration and the code that uses it have drifted apart.
    template <class T>
    T &RequireChild(const QString &name) const
    {
        T *child = findChild<T *>(name);
        if (!child)
            throw std::logic_error("control missing from the window: " + name.toStdString());
        return *child;
    }

    // Steps of ApplyNote, the one write sequence. Before the lock: post what the
    // controls are editing. Inside the transaction: write the change logs.
    // After the commit: merge them.
    virtual void PostEditingRecords(int action);
    virtual void ApplyChangeLogs(int action);
    virtual void MergeChangeLogs(int action);

    // Where a master-detail kind puts its lines, between the master panel and
    // the bottom panel.
    QVBoxLayout *CenterLayout() const { return m_centerLayout; }
    QWidget *MasterPanel() const { return m_masterPanel; }
    // The business period and the start period from the system parameters.
    static bool PeriodIsStartPeriod();
    // The message of the POS/invoice kinds when there is no note to show.
    bool ShowLatestOrRefuse();
    // Automatic numbers ("noteAutoValue" on, not in init mode): the number of
    // the shown new note stays reserved until it is saved or abandoned.
    bool AutoNoteCodeOn() const;
    void ReleaseReservedNoteCode();
    // Inside the save's transaction: a new note whose number a saved note
    // already holds gets a fresh reserved number (automatic numbers only).
    void EnsureUniqueNoteCode();
    // After a failed save: the renumbering above was rolled back with it, so
    // the window holds its earlier number again.
    void UndoNoteCodeRenumbering();

    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

    // Members of the form.
    QString m_asKeyField;
    QString m_asTableName;
    bool m_bFixedTable = false;
    QString m_asMasterSelect;
    QString m_asMasterWhere;
    int noteType = 0;
    bool m_bInitMode = false;
    int m_iKeyUpper = 2147483647;
    int m_iKeyLower = 0;
    bool m_bReadOnly = false;
    int m_iCurrentNoteID = kNewNoteID;
    bool m_bNewNote = false;
    bool m_bPrinting = false;
    bool m_bFirstActive = true;
    QString m_asTitle;
    int m_iDesignWidth = 0;
    int m_iDesignHeight = 0;
    bool m_bModifiedAtSave = false;
    bool m_bPSequence = false;
    bool m_bSSequence = false;
    QStringList m_LookupNames;
    QStringList m_ReadOnlyExempt;
    QString m_asLastYearMonth; // first 7 characters of the shown note's date
    int m_iApplyNoteID = 0;    // the note ApplyNote writes (the print register, messages)
    QString m_asReservedCode;  // the automatic number held for the new note
    QString m_asRenumberedFrom; // the number EnsureUniqueNoteCode replaced in this save

    // Components (object names as the resource names them).
    TBasenoteQuery *qryMaster = nullptr;
    QObject *MasterProvider = nullptr;
    data::ClientDataSet *cdsMaster = nullptr;
    data::DataSource *dsMaster = nullptr;
    data::ClientDataSet *cdsPrint = nullptr;
    data::DataSource *dsPrint = nullptr;
    QFrame *palButton = nullptr;
    QPushButton *SaveAddBtn = nullptr, *OkBtn = nullptr, *CancelBtn = nullptr, *CheckBtn = nullptr;
    QPushButton *btnFind = nullptr, *btnPrev = nullptr, *btnNext = nullptr, *btnOperate = nullptr;
    QPushButton *btnPrint = nullptr, *btnProperty = nullptr, *btnTurnIn = nullptr;
    widgets::TRqLookupCombo *RptStyleCB = nullptr;
    QFrame *palTitle = nullptr;
    QLabel *lblTitle = nullptr, *lbAbate = nullptr, *lbShoperatename = nullptr, *lblPrinted = nullptr;
    QFrame *spAbate = nullptr;
    widgets::TRqDBDateEdit *DateDBEdit = nullptr;
    widgets::TRqDBEdit *NoDBEdit = nullptr;
    QFrame *palBottom = nullptr;
    widgets::TRqLookupCombo *cmbEmp = nullptr, *cmbDepartment = nullptr;
    widgets::TRqDBEdit *edoperatename = nullptr, *edchkor = nullptr, *edRemark = nullptr;
    QMenu *noteMenu = nullptr, *PrintMenu = nullptr;
    QAction *muAppend = nullptr, *muClonenote = nullptr, *muAbate = nullptr, *muFirst = nullptr,
            *muPrior = nullptr, *muNext = nullptr, *muLast = nullptr, *muSelectnote = nullptr,
            *muDelete = nullptr, *FindnoteItem = nullptr, *muToExcel = nullptr, *muRefresh = nullptr;
    QAction *PrintPMItem = nullptr, *PrintPreviewPMItem = nullptr;
    QAction *actPrev = nullptr, *actNext = nullptr, *actNew = nullptr, *actDelete = nullptr,
            *actChecknote = nullptr, *actSaveAdd = nullptr, *actOk = nullptr, *actCancel = nullptr,
            *actFindnote = nullptr, *actPrint = nullptr, *actPreview = nullptr, *actIns = nullptr,
            *actDel = nullptr, *actFind = nullptr, *actOprateMenu = nullptr, *actPrintMenu = nullptr;

private:
    void noteDateChanged(data::Field &field);
    void empIdChanged(data::Field &field);

    void buildWindow(const basenote::Resource &resource);
    void buildButtons();
    void buildTitle();
    void buildMaster(const basenote::Resource &resource);
    void buildBottom();
    void buildMenus();
    void buildActions();
    void applyFieldDefinitions();
    void loadPrintTemplates();
    int navigationQuery(const QString &aggregate, const QString &comparison, int id);
    bool showPeriodRule(const QString &message);
    // The shared audit and un-audit rules; `check` picks the direction's messages.
    bool auditRulesAllow(bool check);
    // The shared void and un-void rules; `abate` picks the direction's messages.
    bool voidRulesAllow(bool abate);
    // Runs "Update <table>" + updateHead + "<key>=<id>", reloads, sends the note message.
    bool changeNoteState(const QString &updateHead, int messageKind);
    QWidget *controlOfField(const QString &fieldName) const;
    void rememberYearMonth();
    // A note not saved yet (no key, a pending insert, or just appended).
    bool noteIsNew() const;
    // SaveNote with the status line saying so, the focus on a refused field.
    bool saveWithStatus();
    // Reserves the number for the master's date and writes it into NOTECODE,
    // giving back the one held before.
    void reserveNoteCode();
    static QString idText(const QVariant &v) { return QString::number(v.toLongLong()); }

    struct FieldDefinition {
        QString caption;
        bool required = false;
        QString displayFormat;
    };
    QHash<QString, FieldDefinition> m_fieldDefinitions; // upper-cased field name
    QWidget *m_masterPanel = nullptr;
    QVBoxLayout *m_centerLayout = nullptr;
    QWidget *m_firstControl = nullptr;
    // The caption/control pairs of a panel (master, bottom) in reading order,
    // placed in rows of `columns` pairs, fewer when the window is narrow.
    struct PanelFlow {
        struct Cell {
            QWidget *label; // null for labels and check boxes, which carry their caption
            QWidget *control;
            int span;
            bool newRow;
        };
        QWidget *panel = nullptr;
        QVector<Cell> cells;
        int columns = 1; // as declared
        int shown = 0;   // as laid out now
        void layout(int count);
        void fitWidth(int width);
    };
    PanelFlow m_masterFlow;
    PanelFlow m_bottomFlow;
    QString m_asClassName;
    bool m_bLogged = false;
    bool m_bInitialized = false;
    const basenote::Resource *m_resource = nullptr;
    basenote::FieldRules m_masterRules;
    QStringList m_ResourceLookups;
    // Sees the keys of the window and its children before the shortcuts do.
    class ShortcutHook;
    friend class ShortcutHook;
    ShortcutHook *m_shortcutHook = nullptr;
};

// Creates a window of a kind in two steps, so its overrides are reached.
template <class Form, class... Args>
Form *CreateNoteForm(Args &&...args)
{
    auto *form = new Form(std::forward<Args>(args)...);
    form->InitializeForm();
    return form;
}
