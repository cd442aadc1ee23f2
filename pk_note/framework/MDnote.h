#pragma once
// TMDnoteForm: a note with lines. The lines live in cdsDetail (one row per
// line, keyed by the master key and ITEMSNO), are shown in ItemGrid, edited
// with the master and written in the same transaction. New lines carry
// temporary negative numbers that become 1, 2, ... at save.

#include "Basenote.h"
#include "MDnoteResource.h"
#include "PackageWindows.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace widgets {
class TRqDBGrid;
}

class TMDnoteForm : public TBasenoteForm, public pk_note::ICommodityPickHost {
    Q_OBJECT
public:
    TMDnoteForm(const basenote::Resource &resource, const mdnote::DetailResource &detail, QWidget *owner = nullptr);
    ~TMDnoteForm() override;
    // The kind's line declaration (declared once, for the program's life).
    const mdnote::DetailResource &DeclaredDetail() const { return *m_detailResource; }

    // ---- virtual operations added, in slot order ----
    virtual void DetailAfterOpen(data::ClientDataSet &dataSet);
    virtual void DetailAfterScroll(data::ClientDataSet &dataSet);
    virtual void DetailBeforePost(data::ClientDataSet &dataSet);
    virtual void DetailAfterPost(data::ClientDataSet &dataSet);
    virtual void DetailCalcFields(data::ClientDataSet &dataSet);
    virtual void DetailNewRecord(data::ClientDataSet &dataSet);
    virtual void DetailHook();
    virtual void BeginDetailUpdate();
    virtual void EndDetailUpdate();
    // Begin/EndDetailUpdate for a scope: a walk over the lines runs without
    // the grid following the cursor and the line events, exceptions included.
    class DetailUpdate {
    public:
        explicit DetailUpdate(TMDnoteForm &form) : m_form(form) { m_form.BeginDetailUpdate(); }
        ~DetailUpdate() { m_form.EndDetailUpdate(); }
        DetailUpdate(const DetailUpdate &) = delete;
        DetailUpdate &operator=(const DetailUpdate &) = delete;

    private:
        TMDnoteForm &m_form;
    };
    virtual void DetailFieldChange(data::Field &field);
    virtual void DetailFieldValidate(data::Field &field);
    virtual QString GetDetailSql();
    virtual void HookDetailEvents();
    virtual void HookDetailFields();
    virtual bool CanDeleteDetailLine();
    virtual bool DeleteDetailLine();
    virtual void DetailScrolled();
    virtual void OpenDetailQuery();
    virtual bool ValidateDetailLines();
    virtual bool ValidateDetailLine();
    virtual void RemoveReferredLines(bool onlyReferred);
    virtual void SetupDetailColumn(int column); // a column index of ItemGrid
    virtual void AfterDetailSetup();

    // ---- overrides of the base operations ----
    bool OpenNoteQuery(const QString &where) override;
    bool LoadNote(int id) override;
    // The master row alone; the lines' data set is opened empty once, so the
    // rules that ask which line columns exist find them.
    bool LoadNoteRules(int id) override;
    void BeforeAppendNote() override;
    void AfterAppendNote() override;
    void PrepareSave() override;
    bool IsNoteModified() override;
    bool CanSaveNote() override;
    void AssignNoteKey() override;
    void PostPendingRecords(int action) override;
    void CancelNote() override;
    void ShowNote() override;
    void UpdateControlStates(const QString &fieldName) override;
    bool ChooseReportStyle(TCorvanReportStyle *report) override;
    void SetReportVariables(TCorvanReportStyle *report) override;
    // Every kind with lines may be copied; the copy takes the lines too.
    bool CanCloneNote() override;
    void CloneNote(int id) override;
    void RemarkKeyDown(QKeyEvent *key) override;

    // ---- helpers ----
    data::ClientDataSet *DetailDataSet() const { return cdsDetail; }
    widgets::TRqDBGrid *Grid() const { return ItemGrid; }
    const QString &DetailTable() const { return m_asDetailTable; }
    bool DetailChanged() const { return m_bDetailChanged; }
    // The line field, null when the detail lacks it.
    data::Field *DetailField(const QString &name) const;
    QVariant DetailValue(const QString &name, const QVariant &defaultValue = {}) const;
    // The grid column of the lines' AMOUNT (for the footer), -1 when none.
    int AmountColumn() const { return m_iAmountColumn; }
    // The three letters typed with Ctrl+Shift in the remark that run the
    // field-catalogue command.
    static constexpr const char *kTableInfoCode = "TBL";
    // Fills TableInfo for the master and line tables (the remark command).
    void RegisterTableInfo();
    // The commodity picker on the line's store (or the master's) and the
    // master's partner; it adds the chosen commodities as lines.
    data::DataSource *DetailDataSource() const override { return dsDetail; }
    void PickCommodity(bool detailCombo) override;
    // The partner variables of a printed note ("partnerName", ...).
    QHash<QString, QVariant> PartnerReportVariables();

public slots:
    // Published handlers: they only call the operations.
    void muAppendDetailClick();
    void muDeleteDetailClick();
    void actDetailInsertExecute();
    void actDelExecute();
    void muColumnsSettingClick();

protected:
    // Line rules: DetailFieldChange runs them, base first.
    void AddDetailRule(const QString &fieldName, basenote::FieldRules::Rule rule)
    {
        m_detailRules.Add(fieldName, std::move(rule));
    }
    const basenote::FieldRules &DetailRules() const { return m_detailRules; }
    // What the edit button (Ins) of a column's cells does.
    void AddColumnButton(const QString &fieldName, std::function<void()> handler)
    {
        m_columnButtons.insert(fieldName.toUpper(), std::move(handler));
    }

    void PostEditingRecords(int action) override;
    void ApplyChangeLogs(int action) override;
    void MergeChangeLogs(int action) override;

    // Appends a line (the grid's data set in insert; defaults by DetailNewRecord).
    void AppendDetailLine();
    // The grid itself (not a cell editor) has the focus and takes input.
    bool GridAcceptsLineKeys() const;

    // Members of the form.
    QString m_asDetailTable;
    QString m_asDetailSelect;
    QString m_asDetailWhere;
    int m_iTempItemsNo = -1;
    bool m_bDetailChanged = false;
    QStringList m_CustomFields; // CUSTDEF1 ... CUSTDEF5
    int m_iAmountColumn = -1;

    // Components (object names as the resource names them).
    TBasenoteQuery *qryDetail = nullptr;
    QObject *DetailProvider = nullptr;
    data::ClientDataSet *cdsDetail = nullptr;
    data::DataSource *dsDetail = nullptr;
    widgets::TRqDBGrid *ItemGrid = nullptr;
    QMenu *DetailMenu = nullptr;
    QAction *muAppendDetail = nullptr, *muDeleteDetail = nullptr, *muColumnsSetting = nullptr;
    QAction *actDetailInsert = nullptr;

private:
    void buildDetail(const mdnote::DetailResource &detail);
    void applyDetailDefinitions();
    void detachDetailEvents();
    // "合 计" in the first shown column of the footer.
    void placeFooterCaption();

    struct ColumnDefinition {
        QString caption;
        QString displayFormat;
        bool required = false;
    };
    QHash<QString, ColumnDefinition> m_columnDefinitions; // upper-cased field name
    bool m_bColumnsLoaded = false;
    basenote::FieldRules m_detailRules;
    std::optional<double> m_storedTotal; // the lines' total as the save stored it
    QHash<QString, std::function<void()>> m_columnButtons; // upper-cased field
    QString m_asRemarkKeys; // letters typed with Ctrl+Shift in the remark
    // Saved grid state between BeginDetailUpdate and EndDetailUpdate.
    int m_iDetailUpdateDepth = 0;
    data::DataSource *m_SavedGridSource = nullptr;
    data::ClientDataSet::Event m_SavedAfterScroll, m_SavedBeforePost, m_SavedAfterPost;
    data::Bookmark m_SavedBookmark;
    int m_iSavedGridColumn = -1;
    const mdnote::DetailResource *m_detailResource = nullptr;
};
