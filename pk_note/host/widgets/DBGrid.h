#pragma once
// A data-aware grid over a client data set: columns with captions, display
// formats, widths, read-only and visible flags and ellipsis buttons; a footer
// row with captions and column sums that follows the columns; a column
// settings dialog ("设置列") whose result is kept in the settings file; a find
// dialog (Ctrl+F); keys for moving, appending and deleting records.

#include "data/DataSetModel.h"
#include "data/DataSource.h"
#include "widgets/ReadOnlyControl.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QPointer>
#include <QTableView>

#include <functional>

class QCheckBox;
class QKeyEvent;
class QComboBox;
class QLineEdit;
class QListWidget;

namespace widgets {

class TRqDBGrid;

struct GridColumn {
    enum class Footer { None, Sum, Text };
    QString FieldName;
    QString Title;         // empty: the field's display label
    QString DisplayFormat; // empty: the field's own
    int Width = -1;        // -1: sized to the title
    bool ReadOnly = false;
    bool Visible = true;
    bool EllipsisButton = false;
    Footer FooterKind = Footer::None;
    QString FooterText;   // the caption when FooterKind is Text
    QString FooterFormat; // for sums; empty: the column's format, else "#0.00"
    // A cell editor of the column's own (a lookup combo bound to the row's key
    // field, say): it writes the row itself; EditorCommit settles it when the
    // cell is left and says whether it was taken.
    std::function<QWidget *(QWidget *parent)> Editor;
    std::function<bool(QWidget *editor)> EditorCommit;
};

// Grid columns over the rows of a DataSetModel.
class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    GridModel(TRqDBGrid *grid, data::DataSetModel *source);
    data::DataSetModel *Source() const { return m_source; }
    void ColumnsChanged();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

private:
    TRqDBGrid *m_grid;
    data::DataSetModel *m_source;
};

class TRqDBGrid : public QTableView, public ReadOnlyControl {
    Q_OBJECT
    Q_INTERFACES(widgets::ReadOnlyControl)
public:
    using ColumnHandler = std::function<void(TRqDBGrid *grid, int column)>;
    using SettingsHook = std::function<void(TRqDBGrid *grid, QString &state, bool save)>;

    explicit TRqDBGrid(QWidget *parent = nullptr, const QString &name = QStringLiteral("DBGrid"));
    ~TRqDBGrid() override;

    data::DataSource *DataSource() const { return m_source; }
    void SetDataSource(data::DataSource *source);
    data::ClientDataSet *DataSet() const;

    // --- columns (without any defined, one per visible field) ---
    GridColumn &AddColumn(const QString &fieldName, const QString &title = {}, int width = -1);
    void ClearColumns();
    int ColumnCount() const { return int(m_columns.size()); }
    GridColumn &Column(int i) { return m_columns[i]; }
    const GridColumn &Column(int i) const { return m_columns[i]; }
    int ColumnOfField(const QString &fieldName) const;
    data::Field *FieldOfColumn(int column) const;
    QString ColumnTitle(int column) const;
    // Applies changed column members (titles, widths, visibility, formats).
    void ColumnsChanged();
    int SelectedColumn() const;
    void SetSelectedColumn(int column);

    bool ReadOnly() const override { return m_readOnly; }
    void SetReadOnly(bool on) override;
    // Down on the last row and Insert append a record.
    bool AllowAppend() const { return m_allowAppend; }
    void SetAllowAppend(bool on) { m_allowAppend = on; }
    // Delete removes the current record, after a question when ConfirmDelete.
    bool AllowDelete() const { return m_allowDelete; }
    void SetAllowDelete(bool on) { m_allowDelete = on; }
    bool ConfirmDelete() const { return m_confirmDelete; }
    void SetConfirmDelete(bool on) { m_confirmDelete = on; }
    QString DeleteQuestion() const { return m_deleteQuestion; }
    void SetDeleteQuestion(const QString &text) { m_deleteQuestion = text; }
    bool CanEditColumn(int column) const;
    // Refinements on the current row: a hook that answers true locks the
    // column's cell there; the button hook answering false hides its button.
    using CellHook = std::function<bool(int column)>;
    void SetCellReadOnlyHook(CellHook hook) { m_cellReadOnly = std::move(hook); }
    void SetCellButtonHook(CellHook hook) { m_cellButton = std::move(hook); }
    // The column has an edit button on the current row.
    bool HasButton(int column) const;
    // Writes an open cell editor into the row it was opened on and closes it;
    // every move, append and delete goes through here first. False when the
    // row refused the value.
    bool CommitEditor();
    // Enter, Tab, Up, Down, PageUp, PageDown: keys that leave the cell.
    static bool isCellLeavingKey(const QKeyEvent *e);
    // The grid's answer to a key, the open editor committed first.
    void handleKey(QKeyEvent *e);

    // --- footer ---
    bool FooterVisible() const { return m_footerVisible; }
    void SetFooterVisible(bool on);
    void SetFooterCaption(int column, const QString &text);
    void SetFooterSum(int column, const QString &format = {});
    void SetFooterFont(const QFont &font);
    QFont FooterFont() const;
    QString FooterText(int column) const;
    double FooterValue(int column) const;
    QWidget *Footer() const { return m_footer; }

    // --- ellipsis buttons: a click or the edit-button key on such a cell ---
    void SetEditButtonHandler(ColumnHandler handler) { m_onEditButton = std::move(handler); }
    QKeySequence EditButtonKey() const { return m_editButtonKey; }
    void SetEditButtonKey(const QKeySequence &key) { m_editButtonKey = key; }
    QRect EllipsisRect(const QModelIndex &index) const;
    void ClickEditButton(int column);

    // --- column settings ---
    // "NAME:1:120;CODE:0:80": field, shown, width, in display order.
    QString ColumnsState() const;
    void ApplyColumnsState(const QString &state);
    // Where the state is kept; the default hook writes System.ini, section
    // SettingsSection(), key "COLUMNS".
    void SetSettingsHook(SettingsHook hook) { m_settingsHook = std::move(hook); }
    QString SettingsSection() const;
    void SetSettingsSection(const QString &section) { m_settingsSection = section; }
    void SaveColumnSettings();
    bool LoadColumnSettings();
    // The "设置列" dialog, shown modally; true when accepted.
    bool ShowColumnSettings();

    // --- find ---
    // Looks from the row after the current one (wrapping) for a cell whose
    // text contains `text`, in `column` or in every shown column (-1); moves
    // the data set there. Returns whether found.
    bool FindNext(const QString &text, int column = -1, bool caseSensitive = false);
    // The find dialog (Ctrl+F), modeless.
    QDialog *ShowFindDialog(const QString &title = QStringLiteral("查找"));

signals:
    void editButtonClicked(int column);
    void columnsChanged();

protected:
    bool event(QEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void updateGeometries() override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    friend class GridModel;
    friend class GridFooter;
    void rebuildModel();
    void defaultColumns();
    void applyHeader();
    void followDataSet(int row);
    void followCursor();
    // Enter moves on and may append at the end; Tab never appends.
    bool moveToNextEditable(bool appendAtEnd);
    bool moveToPriorEditable();
    bool isLastEditableCell(bool forward) const;
    int firstEditableColumn() const;
    void leaveGrid(bool forward);
    void dropUntouchedRecord();
    bool appendRecord();
    void deleteRecord();
    void placeFooter();
    double sumOf(int column) const;

    QPointer<data::DataSource> m_source;
    data::DataSetModel *m_dsModel = nullptr;
    GridModel *m_model = nullptr;
    QVector<GridColumn> m_columns;
    bool m_userColumns = false;
    bool m_readOnly = false;
    bool m_allowAppend = false;
    bool m_allowDelete = false;
    bool m_confirmDelete = true;
    QString m_deleteQuestion = QStringLiteral("确认删除当前记录吗？");
    bool m_footerVisible = false;
    QWidget *m_footer = nullptr;
    bool m_inGeometry = false;
    bool m_syncing = false;
    friend class GridDelegate;
    bool m_lastCommitOk = true;
    CellHook m_cellReadOnly, m_cellButton;
    ColumnHandler m_onEditButton;
    QKeySequence m_editButtonKey{Qt::CTRL | Qt::Key_Return};
    SettingsHook m_settingsHook;
    QString m_settingsSection;
    QPointer<QDialog> m_findDialog;
};

// "设置列": show or hide and reorder the columns of a grid.
class ColumnSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ColumnSettingsDialog(TRqDBGrid *grid, QWidget *parent = nullptr);
    QListWidget *List() const { return m_list; }
    // Moves the current entry up (-1) or down (+1).
    void MoveCurrent(int delta);
    // The state chosen, in the grid's ColumnsState form.
    QString State() const;

private:
    TRqDBGrid *m_grid;
    QListWidget *m_list;
};

// "查找": text, column, find next.
class FindDialog : public QDialog {
    Q_OBJECT
public:
    explicit FindDialog(TRqDBGrid *grid, const QString &title);
    QLineEdit *TextEdit() const { return m_text; }
    QComboBox *ColumnBox() const { return m_column; }
    QCheckBox *CaseBox() const { return m_case; }
    // Finds the next match; shows a message when there is none.
    bool FindNext();

private:
    TRqDBGrid *m_grid;
    QLineEdit *m_text;
    QComboBox *m_column;
    QCheckBox *m_case;
};

} // namespace widgets
