#pragma once
// TMasterPickForm: what the store, partner and employee pickers share. One
// query over a master-data table whose text is rebuilt from filter boxes
// above a grid; "确定"/"取消" close the window with modal result 1/2.
//
// Keyboard: Enter in a filter box goes to the grid, Enter in the grid (or a
// double click) is OK, Esc cancels. Filters are re-applied on every change.

#include "Noteboot.h"
#include "PackageWindows.h"

#include <QHash>
#include <QStringList>

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace data {
class ClientDataSet;
class DataSource;
} // namespace data
namespace widgets {
class TRqDBGrid;
}

class TMasterPickForm : public TnoteBootForm {
    Q_OBJECT
public:
    // `keyField` names a row: the current row is kept by it and handed back.
    TMasterPickForm(const QString &formName, const QString &caption, const QString &keyField, QWidget *owner);

    // The statement the list shows now: the fixed text and, for each filter
    // in use, " AND " + its condition.
    QString SqlText() const;
    // Reopens the list with the current filters; the current row stays when
    // it is still listed. A database error is shown and leaves the list empty.
    void RefreshList();

    // Text typed by a user, ready to stand between single quotes.
    static QString EscapeQuotes(const QString &typed);

    data::ClientDataSet *cdsPick;
    data::DataSource *dsPick;
    widgets::TRqDBGrid *PickGrid;
    QPushButton *OkBtn;
    QPushButton *CancelBtn;

public slots:
    void OkBtnClick();
    void CancelBtnClick();

protected:
    struct Column {
        const char *field;
        const char *title;
        int width;
    };

    virtual QString BaseSql() const = 0;
    // The conditions of the filters in use, without the joining " AND ".
    virtual QStringList Conditions() const = 0;
    // Before the window closes on OK: false keeps it open.
    virtual bool AcceptCurrent() { return true; }

    // A labelled filter box at (row, column pair) of the filter area.
    QLineEdit *AddFilterEdit(const char *name, const QString &label, int row, int column);
    // A labelled list whose first entry "全部" means no filter, then the first
    // column of `listSql` for each row.
    QComboBox *AddFilterCombo(const char *name, const QString &label, const QString &listSql, int row, int column);
    // Hides or shows a filter together with its label.
    void SetFilterVisible(QWidget *filter, bool visible);
    // The trimmed text of a box, or of a list's entry ("全部" gives nothing).
    static QString FilterText(const QLineEdit *edit);
    static QString FilterText(const QComboBox *combo);
    void SetColumns(std::initializer_list<Column> columns);
    // Empties every filter box and list without re-reading the list.
    void ClearFilters();
    // The key of the current row; 0 when the list is empty.
    qint64 CurrentId() const;
    // Moves to the row with that key; false when it is not listed.
    bool LocateId(qint64 id);

    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void finish(int result);
    void addFilter(QWidget *filter, const QString &label, int row, int column);

    QString m_keyField;
    QGridLayout *m_filters;
    QList<QWidget *> m_filterControls;
    QHash<QWidget *, QLabel *> m_labels;
    bool m_quiet = false;
};

// A picker that note_Call drives by id (partners, employees): cleared, put on
// the field's id, and the key of the row chosen with OK handed back.
class TIdPickForm : public TMasterPickForm, public pk_note::IPicker {
    Q_OBJECT
public:
    using TMasterPickForm::TMasterPickForm;

    // Empties the filters and lists every row again.
    void Clear() override;
    void SetCurrentId(int id) override;
    // 0 before OK and when the list was empty.
    int SelectedId() const override { return m_selected; }

protected:
    bool AcceptCurrent() override;

private:
    int m_selected = 0;
};
