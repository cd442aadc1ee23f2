#pragma once
// TFindnoteForm ("单据速查"): the notes of one chosen type in a grid, filtered
// and sorted by the user, exported, and opened in their own windows. Each
// type's list is a declared query (FinderQuery): its master table read as b,
// the display names joined in under fixed aliases, and for every field the
// expression a filter condition is built on.

#include "Noteboot.h"
#include "PackageWindows.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

class QComboBox;
class QLabel;
class QPushButton;

namespace data {
class ClientDataSet;
class DataSource;
} // namespace data
namespace widgets {
class TRqDBGrid;
class TFindInstance;
} // namespace widgets

// What a type's list joins in beyond the common names (maker, auditor,
// employee, department, state).
enum FinderPart : unsigned {
    kPartner = 1u << 0,   // td: partnerlth on PARTNERID -> PARTNERNAME
    kPayMethod = 1u << 1, // pm: paymethodlth on PAYTYPESID -> PAYMETHODNAME
    kAccount = 1u << 2,   // ac: accountacth on ACCOUNTID -> ACCOUNTNAME
    kTranslate = 1u << 3, // kt: delivery methods (kindamth 4) on TRANSLATETYPE -> TRANSLATETYPENAME
    kClosed = 1u << 4,    // kc: close states (kindamth 9) on CLOSED -> CLOSEDNAME
    kStore = 1u << 5,     // st: storelth on BUILDINGID -> BUILDINGNAME
    kMoveAccounts = 1u << 6, // ac/ai: accountacth on OUTACCOUNTID and INACCOUNTID
};

// Whose names the partner filter offers.
enum class FinderSide { Any, Vendor, Client };

struct FinderQuery {
    QString name; // object name of the data set, "qryPNOrder"
    int noteType = 0;
    QString caption; // in "单据名称"
    QString table;   // master table, read as b
    unsigned parts = 0;
    FinderSide side = FinderSide::Any;
    int kindGroup = 0; // kindamth group naming NOTEKIND (0: none)
    QString form;      // the window its notes open in; empty: the note type's
};

// One column of a list: its name in the data set, the expression behind it
// (what a filter condition and a sort use) and, when the filter offers a
// choice of values, the statement that lists them.
struct FinderField {
    QString name;
    QString expression;
    QString pickSql;
};

class TFindnoteForm : public TnoteBootForm, public pk_note::INoteFinder {
    Q_OBJECT
public:
    explicit TFindnoteForm(QWidget *owner = nullptr);
    ~TFindnoteForm() override;

    // Every declared list, in the order "单据名称" offers them.
    static const QVector<FinderQuery> &Queries();
    static const FinderQuery *QueryOfType(int noteType);
    // The statement of a list, without condition or order.
    static QString QuerySql(const FinderQuery &q);
    // The joined fields of a list with their expressions and pick lists
    // (the master's own fields are b.<name>).
    static QVector<FinderField> JoinedFields(const FinderQuery &q);

    // INoteFinder: selects the type (when offered) and opens its list.
    void SelectNoteType(int noteType) override;
    int CurrentNoteType() const;
    // The types offered: their tables exist and the user may browse them.
    QList<int> OfferedTypes() const;

    // The expression behind a field of the current list ("" when unknown).
    QString FieldExpression(const QString &fieldName) const;
    // Sorts by the grid column: ascending first, the same column again flips.
    void SortByColumn(int column);
    // Reopens the current list with the filter's condition.
    void ApplyFilter();
    // Reads the rows the first page left out (scrolling to its end, export).
    void FetchAll();
    bool Complete() const { return m_complete; }
    // Rows read per page; 0 reads every row at once.
    int PageSize = 500;

    data::ClientDataSet *CurrentQuery() const { return m_current; }
    widgets::TRqDBGrid *Grid() const { return dbgNotes; }
    widgets::TFindInstance *FindInstance() const { return m_find; }

public slots:
    void cmbNoteNameChange();
    void btnFilterClick();
    void btnOpenNoteClick();
    void btnToExcelClick();
    void btnCloseClick();

protected:
    // Enter on the list opens the current note, as a double-click does.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    void fillTypeList();
    bool openCurrent(bool firstPageOnly = true);
    void bindColumns();
    void showSortMarker();
    void prepareFilter();
    data::ClientDataSet *queryOf(const FinderQuery &q);

    QComboBox *cmbNoteName = nullptr;
    QLabel *lblEmpty = nullptr;
    QPushButton *btnFilter = nullptr, *btnOpenNote = nullptr, *btnToExcel = nullptr, *btnClose = nullptr;
    widgets::TRqDBGrid *dbgNotes = nullptr;
    data::DataSource *dsNotes = nullptr;
    data::ClientDataSet *m_current = nullptr;
    const FinderQuery *m_query = nullptr;
    const FinderQuery *m_bound = nullptr; // the list whose columns the grid shows
    QHash<QString, data::ClientDataSet *> m_queries; // by object name, created on first use
    QHash<QString, QString> m_expressions;           // upper-cased field -> expression
    widgets::TFindInstance *m_find = nullptr;
    QString m_filter;     // the condition in force on the current list
    QString m_sortField;  // the field sorted by, "" none
    bool m_sortAscending = true;
    bool m_complete = true; // every row of the list has been read
};
