#pragma once
// The partners' agreed prices (partnerprice): TGetPriceForm ("价格查询")
// lists them for a customer or a supplier; TSetDefPriceForm ("定价政策")
// edits them, customers on one page and suppliers on the other.

#include "PackageWindows.h"

#include <QDialog>
#include <QVariant>

#include <functional>

class QAction;
class QComboBox;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;

namespace pricepolicy {

// A partner list of one side: "IsClient=1 and Closed=0 and partnerID>0"...
void FillPartners(QComboBox *box, const QString &condition);
// The agreed prices of `partner` into `table`: code, name, unit, price, remark.
void ReadPrices(QTableWidget *table, qint64 partner, bool editable);
} // namespace pricepolicy

class TGetPriceForm : public QDialog, public pk_note::IPriceEnquiry {
    Q_OBJECT
public:
    explicit TGetPriceForm(QWidget *parent = nullptr);

    // Shows the prices of `partner` (a customer or a supplier).
    void ShowPartner(qint64 partner) override;

    QRadioButton *rbClient = nullptr, *rbVendor = nullptr;
    QComboBox *cmbPartner = nullptr;
    QTableWidget *grdPrice = nullptr;

public slots:
    void SideChanged();
    void PartnerChanged();
};

class TSetDefPriceForm : public QDialog {
    Q_OBJECT
public:
    explicit TSetDefPriceForm(QWidget *parent = nullptr);

    struct Page {
        QComboBox *partner = nullptr;
        QTableWidget *prices = nullptr;
    };
    // 0 "销售定价政策" (customers), 1 "采购订价政策" (suppliers).
    Page page(int index) const { return m_pages[index]; }
    QTabWidget *pgPolicy = nullptr;
    QPushButton *btnSave = nullptr, *btnAdd = nullptr, *btnDelete = nullptr, *btnClose = nullptr;

    // Writes the current page's prices of its partner; false (shown) when refused.
    bool Save();

public slots:
    void btnSaveClick() { Save(); }
    void btnAddClick();
    void btnDeleteClick();

private:
    Page m_pages[2];
};
