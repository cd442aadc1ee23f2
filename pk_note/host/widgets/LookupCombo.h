#pragma once
// A lookup combo: holds a key (a field of a data source, or its own value when
// unbound) and shows the list field of the list row with that key. The list
// comes from a named lookup source of the host ("dsStore", "dspartner", ...)
// or from any client data set; a drop-down grid shows the list fields of the
// rows that pass the list filter. Typing searches the list on several columns;
// Enter, F4 or Alt+Down opens the list, Enter takes the current row, Esc
// closes it, Delete clears the key. Utility commands ("新增", "编辑", "刷新")
// go to a settable handler.

#include "widgets/FieldDataLink.h"
#include "widgets/ReadOnlyControl.h"

#include <QFrame>
#include <QLineEdit>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class QTableView;
class QHBoxLayout;

namespace pub {
class LookupTable;
}

namespace widgets {

class TRqLookupCombo;
class LookupListModel;

// The drop-down of a lookup combo (a popup window).
class LookupPopup : public QFrame {
    Q_OBJECT
public:
    explicit LookupPopup(TRqLookupCombo *combo);
    QTableView *View() const { return m_view; }
    void SetCommands(const QStringList &commands);
    QWidget *ButtonBar() const { return m_buttonBar; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *e) override;

private:
    TRqLookupCombo *m_combo;
    QTableView *m_view;
    QWidget *m_buttonBar;
    QHBoxLayout *m_buttons;
};

class TRqLookupCombo : public QLineEdit, public ReadOnlyControl {
    Q_OBJECT
    Q_INTERFACES(widgets::ReadOnlyControl)
    // Set as properties (a script's `combo.text = "A4复印纸"` or `combo.keyValue = 3`):
    // a text takes the list row whose code or shown text it is, as typed and left.
    Q_PROPERTY(QString text READ text WRITE SetText)
    // A key set so must be one the list offers, as a pick from it would be.
    Q_PROPERTY(QVariant keyValue READ KeyValue WRITE SetListKey NOTIFY keyValueChanged)
public:
    bool SetText(const QString &text);
    bool SetListKey(const QVariant &key);
    using UtilityHandler = std::function<void(TRqLookupCombo *combo, const QString &command)>;
    using ListFilterFunction = std::function<bool(data::ClientDataSet &row)>;

    explicit TRqLookupCombo(QWidget *parent = nullptr, const QString &name = QStringLiteral("cmbLookup"));
    ~TRqLookupCombo() override;

    // --- the key's home ---
    data::DataSource *DataSource() const { return m_link->DataSource(); }
    void SetDataSource(data::DataSource *source) { m_link->SetDataSource(source); }
    const QString &DataField() const { return m_link->DataField(); }
    void SetDataField(const QString &name) { m_link->SetDataField(name); }
    bool ReadOnly() const override { return m_readOnly; }
    void SetReadOnly(bool on) override;
    bool Editable() const;

    // --- the list ---
    // A named lookup source of the host ("dsStore"); key field defaults to its key.
    void SetListSource(const QString &lookupName);
    const QString &ListSourceName() const { return m_sourceName; }
    void SetListDataSet(data::ClientDataSet *dataSet);
    const QString &KeyField() const { return m_keyField; }
    void SetKeyField(const QString &field);
    // Columns of the drop-down, "CODE;NAME;SPEC".
    QStringList ListFields() const { return m_listFields; }
    void SetListFields(const QString &fields);
    // The column whose text the combo shows (default NAME when listed, else the first).
    QString ListField() const;
    void SetListField(const QString &field) { m_listField = field; invalidate(); }
    // Column titles of the drop-down; no header when empty.
    void SetListFieldCaptions(const QStringList &captions);
    void SetListFieldWidths(const QList<int> &widths) { m_widths = widths; }
    const QString &ListFilter() const { return m_filter; }
    void SetListFilter(const QString &expression);
    void SetListFilterFunction(ListFilterFunction fn);
    // Columns searched while typing: "CODE*" prefix, "NAME#" contains (default:
    // every list field by prefix, then by contains).
    void SetSearchFields(const QString &fields);

    // --- the value ---
    QVariant KeyValue() const;
    // Sets the key (writing the field when bound); false when refused.
    bool setKeyValue(const QVariant &key);
    // List-field text of a key (empty when unknown).
    QString TextOfKey(const QVariant &key) const;
    // Clears the key (writes null); the Delete key does this.
    bool Clear();

    // --- the drop-down ---
    void DropDown();
    // Closes the list; takes the current row when `accept`. True when a row
    // was taken.
    bool CloseUp(bool accept);
    // Settles what the user typed: the highlighted row (or, unless
    // `highlighted`, only a row whose code or text equals the typed text); an
    // emptied text clears the key. False when nothing matched (the key's text
    // comes back).
    bool TakeTyped(bool highlighted);
    // Rows whose CLOSED column is set are never offered (default on).
    void SetHideClosed(bool on) { m_hideClosed = on; invalidate(); }
    bool ListVisible() const;
    LookupPopup *Popup() const { return m_popup; }
    // Rows now offered (after the filter and the search), and the current one.
    int ListRowCount() const;
    int CurrentListRow() const { return m_current; }
    void SetCurrentListRow(int row);
    QVariant ListValue(int row, const QString &field) const;
    QString ListDisplayText(int row, int column) const;
    // Narrows the offered rows to those matching `text`; returns how many.
    int Search(const QString &text);
    // The client data set holding the list (filter applied).
    data::ClientDataSet *ListDataSet() const;

    // --- utility commands ---
    QStringList UtilityCommands() const { return m_commands; }
    void SetUtilityCommands(const QStringList &commands);
    void SetUtilityHandler(UtilityHandler handler) { m_utility = std::move(handler); }
    bool HasUtilityHandler() const { return bool(m_utility); }
    // Runs a command (a trailing "#" is dropped) through the handler, or
    // ComboBoxUtilitys by default; then reads the list again.
    void RunUtility(const QString &command);

signals:
    void keyValueChanged(const QVariant &key);
    void listClosed(bool accepted);

protected:
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;

private:
    friend class LookupListModel;
    friend class LookupPopup;
    void invalidate();
    void ensureList() const;
    void rebuildList() const;
    void showKey();
    bool m_keyPending = false; // a hidden combo shows its key when shown
    void updateReadOnly();
    void onTextEdited(const QString &text);
    int keyRow(const QVariant &key) const; // row of the list data set, ignoring the filter
    void moveCurrent(int delta);
    bool offered(int row) const; // a row of m_list that may be offered

    FieldDataLink *m_link;
    bool m_readOnly = false;
    QVariant m_key; // when unbound
    QString m_sourceName;
    QPointer<pub::LookupTable> m_table;
    QPointer<data::ClientDataSet> m_sourceDataSet;
    QString m_keyField;
    QStringList m_listFields;
    bool m_autoListFields = true; // no columns chosen: code and name
    bool m_hideClosed = true;
    QString m_listField;
    QStringList m_captions;
    QList<int> m_widths;
    QString m_filter;
    ListFilterFunction m_filterFn;
    QStringList m_searchFields;
    QStringList m_commands;
    UtilityHandler m_utility;

    // The list, copied from its source when first needed after a change.
    mutable std::unique_ptr<data::ClientDataSet> m_list;
    mutable bool m_dirty = true;
    QVector<int> m_matches; // rows of m_list offered, in order
    int m_current = -1;
    QString m_searchText;

    LookupPopup *m_popup = nullptr;
    LookupListModel *m_model = nullptr;
};

} // namespace widgets
