#pragma once
// TIIOBuildingPlaceForm: the place entry of one line of a stock in/out note
// ("货位录入"). It shows the commodity, the store and the line's quantity,
// and lets the user split the quantity over the store's leaf places (the
// place combo lists each with its stock of the commodity). A place may not
// repeat; on OK every row needs a place and, except on a stocktaking's note,
// a quantity not below 0. The checks use a plain message box and keep the
// dialog open.

#include <QDialog>
#include <QVariant>
#include <QVector>

class QCheckBox;
class QLabel;
class QPushButton;
namespace data {
class ClientDataSet;
class DataSource;
} // namespace data
namespace widgets {
class TRqDBGrid;
class TRqLookupCombo;
} // namespace widgets

class TIIOBuildingPlaceForm : public QDialog {
    Q_OBJECT
public:
    struct Line {
        int noteType = 0; // the in/out note's source type
        qint64 commodityId = 0;
        QString commodityName;
        int noteKind = 1;
        qint64 storeId = 0;
        QString storeName;
        double quantity = 0;
        QVector<QVariantList> rows; // {PLACEID, QUANTITY, NAME}
    };

    explicit TIIOBuildingPlaceForm(QWidget *owner = nullptr);
    void SetLine(const Line &line);
    // The rows as OK left them.
    QVector<QVariantList> Rows() const;
    // The sum of the rows' quantities (shown in the footer).
    double Total() const;

    data::ClientDataSet *cdsPlace = nullptr;  // PLACEID, NAME, QUANTITY
    data::ClientDataSet *qryPlaces = nullptr; // the leaf places with their stock
    widgets::TRqDBGrid *PlaceGrid = nullptr;
    widgets::TRqLookupCombo *cmbCommodityNo = nullptr;
    QCheckBox *cbUsePlace = nullptr;
    QPushButton *OkBtn = nullptr, *btDelete = nullptr, *CancelBtn = nullptr;

public slots:
    void OkBtnClick();
    void btDeleteClick();
    void cbUsePlaceClick();

private:
    void afterPost();
    data::DataSource *dsPlace = nullptr;
    QLabel *lbCommodity = nullptr, *lbStore = nullptr, *lbQuantity = nullptr;
    int m_noteType = 0;
    bool m_posting = false;
};
