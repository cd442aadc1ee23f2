#pragma once
// TnoteSelectorForm: the source-document selector ("请选择单据") behind a
// document's turn-in button. The class of the opening document picks a query
// pair (source documents above, their lines below); the user ticks whole
// documents or single lines and the document copies the ticked lines.
//
// Keyboard: Space ticks the current row of either grid, Tab moves between the
// grids, Enter is OK, Esc cancels.

#include "PackageWindows.h"

#include <QDialog>
#include <QStringList>
#include <QVector>

class QCheckBox;
class QPushButton;
class QStyledItemDelegate;

namespace data {
class ClientDataSet;
class DataSource;
} // namespace data
namespace widgets {
class TRqDBGrid;
}

struct SelectorColumn {
    QString field;
    QString title;
    int width = 80;
};

// The source lists of one target document: two statements with the same
// parameters, set in order from the opening document's values.
struct SelectorQueryPair {
    QString masterName; // object names of the data sets, e.g. "qryPBuyM"
    QString masterSql;
    QString detailName;
    QString detailSql;
    QStringList params;
    QVector<SelectorColumn> masterColumns;
    QVector<SelectorColumn> detailColumns;
    QStringList tables; // every table the statements read
};

// One kind of source document offered to a target: where its rows come from
// and which of its lines are still open.
struct SelectorBranch {
    int noteType = 0;        // the source note type the rows carry
    QString offeredWhen;     // condition on the parameters, e.g. "2=:noteType"
    QString masterTable;     // read as m
    QString detailTable;     // read as b
    QString masterCondition; // on m, besides audited and no shop ("" none)
    QString lineCondition;   // on b, always ("" none)
    QString openCondition;   // on b, waived by showall=1 ("" none)
    QString sumQty;          // remaining quantity of a line
    QString quantity = QStringLiteral("b.quantity");
    QString taxPrice = QStringLiteral("Round(b.Price*(1+b.TaxRate/100.0),8)");
    bool storeOnMaster = false; // the lines take the master's store
    bool salesMaster = false;   // the master has IsFill and CONTRACTNO
};

class TnoteSelectorForm : public QDialog, public pk_note::INoteSelector {
    Q_OBJECT
public:
    // With a document form as owner the selector is set up for it at once.
    explicit TnoteSelectorForm(QWidget *owner = nullptr);

    bool SetDocument(QWidget *note) override;
    // Chooses the query pair of a target class ("TPBUYFORM"); an unknown
    // class is shown as an error and leaves the selector without lists.
    bool SetTargetClass(const QString &className);
    QString TargetClass() const { return m_class; }
    // Closes both lists, sets the parameters in order and reopens them.
    bool OpenSelection(const QVariantList &params) override;
    data::ClientDataSet *SelectedLines() const override { return qryDetail; }
    bool SplitByBatch() const override;

    // Flips the current document and gives all its lines the same value.
    void ToggleDocument();
    // Flips the current line only.
    void ToggleLine();
    // "SumQty>0" on the lines unless "show all" is ticked.
    void ApplyShowAll();

    // The query pairs by upper-case target class; a kind may add its own.
    static void RegisterQueryPair(const QString &className, const SelectorQueryPair &pair);
    static const SelectorQueryPair *QueryPair(const QString &className);
    static QStringList QueryPairClasses();
    // The source kinds declared for a target class (empty for a procedure pair).
    static QVector<SelectorBranch> Branches(const QString &className);
    // The statements of a pair over source branches; `sales` adds the sales columns.
    static SelectorQueryPair ComposePair(const QString &masterName, const QString &detailName,
                                         const QVector<SelectorBranch> &branches, bool sales);

    data::ClientDataSet *qryMaster, *qryDetail;
    data::DataSource *dsMaster, *dsDetail;
    widgets::TRqDBGrid *MasterGrid, *DetailGrid;
    QCheckBox *chkShowAll, *chkSplit;
    QPushButton *OkBtn, *CancelBtn;

public slots:
    void OkBtnClick();
    void CancelBtnClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void setupColumns(widgets::TRqDBGrid *grid, data::ClientDataSet *ds, const QVector<SelectorColumn> &columns);
    void locateDetail();
    static QString documentClass(const QWidget *note);
    QString m_class;
    QStyledItemDelegate *m_tick = nullptr;
};
