#pragma once
// TSetPriceForm: the price dialog of a commodity line. Offers the commodity's
// list prices, the partner's agreed price and the last price dealt with the
// partner, and recomputes prices, discount, tax and amounts by the line's own
// rules as each box is changed.

#include "CommodityDialogs.h"

#include <QDialog>
#include <array>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

class TSetPriceForm : public QDialog {
    Q_OBJECT
public:
    explicit TSetPriceForm(QWidget *parent = nullptr);

    // Shows the line and reads the prices on offer; throws the database's error.
    void Open(const commodity::PriceRequest &request);
    const commodity::LineValues &Line() const { return m_line; }
    QLineEdit *Edit(commodity::Col c) const { return m_edits[size_t(c)]; }

    QLabel *lbCommodity;
    QLabel *lbUnit;
    QLabel *lbQuantity;
    QListWidget *lstPrice;
    QPushButton *OkBtn;
    QPushButton *CancelBtn;

public slots:
    void OkBtnClick();
    void CancelBtnClick();
    void lstPriceChoose(QListWidgetItem *item);

    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *addEdit(commodity::Col c, bool readOnly, QWidget *parent);
    void readPrices(const commodity::PriceRequest &request);
    // Takes the box's text into the line and recomputes; false when refused.
    bool commit(commodity::Col c);
    bool commitPending();
    // Recomputes after `c` took `value`; false (and shown) when refused.
    bool edited(commodity::Col c, double value);
    void showLine();
    QString text(commodity::Col c) const;

    commodity::LineValues m_line;
    commodity::LineContext m_context;
    std::array<QLineEdit *, commodity::kColCount> m_edits{};
    std::array<QString, commodity::kColCount> m_shown; // each box's text after the last recomputation
    bool m_closing = false;
};
