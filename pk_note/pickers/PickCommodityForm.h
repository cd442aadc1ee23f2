#pragma once
// TPickCommodityForm: the commodity picker ("选择货品") of a master-detail note.
// Filter controls rebuild the list query; the chosen commodities go straight
// into the note's lines, each line filled by the note's own commodity rules.

#include "PackageWindows.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace data {
class ClientDataSet;
class DataSource;
} // namespace data
namespace widgets {
class TRqDBGrid;
}

class TPickCommodityForm : public QDialog, public pk_note::ICommodityPicker {
    Q_OBJECT
public:
    // Data type choices, in the order of the radio buttons.
    enum DataType { AllTypes = 0, StockTypes = 1, DiscountTypes = 2, NonStockTypes = 3 };

    explicit TPickCommodityForm(QWidget *parent = nullptr);

    void SetDocument(QWidget *note, qint64 storeId, qint64 partnerId) override;

    // The list query as the filter controls give it now.
    QString BuildSql() const;
    // Rebuilds and reopens the list; the first page only when paging is on.
    void RefreshQuery();
    // Reads the rows the first page left out (for "全添到单据" and
    // scrolling to the end).
    void FetchAll();
    bool ListComplete() const { return m_complete; }
    // Rows read per page; 0 reads every row at once.
    int PageSize = 500;

    // Whether the note may take a row: the skip rules by the note's class.
    bool CanTake(int kind, int costType) const;
    // Adds the commodity of the list's current row; false after an error.
    bool AddCurrent();
    // "添加到单据" (the selected rows) and "全添到单据" (every listed row).
    void AddSelected();
    void AddAll();

    // Set by the opening document.
    QWidget *NoteForm = nullptr;
    qint64 StoreID = 0;     // 0: all stores
    qint64 PartnerID = 0;   // 0: none
    bool CanStock = true;   // stock commodities may be chosen
    bool OnlyStock = false; // only stock commodities may be chosen
    // Conditions of the "其它..." dialog (" and g.CUSTDEF1='...'" ...).
    QString OtherCondition;

    QLineEdit *edCode, *edName, *edSpec, *edSpeed;
    QTreeWidget *tvType;
    QCheckBox *chkRecent, *chkOnhand, *chkPartner, *chkQuantity;
    QButtonGroup *rgDataType;
    QDoubleSpinBox *edQuantity;
    QLabel *lbStore;
    widgets::TRqDBGrid *GoodsGrid, *OnhandGrid;
    QPushButton *btnAdd, *btnAddAll, *btnNew, *btnOther, *OkBtn, *CancelBtn;
    data::ClientDataSet *qryCommodity, *qryOnhand;
    data::DataSource *dsCommodity, *dsOnhand;

public slots:
    void FilterChange();
    void SpeedChange();
    void btnAddClick();
    void btnAddAllClick();
    void btnNewClick();
    void btnOtherClick();
    void OkBtnClick();
    void CancelBtnClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void loadTypes();
    void setupColumns();
    void openList(bool firstPageOnly);
    void applySpeedFilter();
    void refreshOnhand();
    QString documentClass() const;
    QString categoryCode() const;
    bool m_complete = false;
    QString m_readSpeed; // initial letters the open result was read with
    bool m_columnsDone = false;
    qint64 m_onhandFor = -1;
};
