#pragma once
// TSPriceForm: the quotation ("报价单", note type 15): the sales order's
// master and lines without the delivery; sales orders take its lines. The
// button "价格政策" opens the partners' agreed prices.

#include "PNOrderForm.h"

class QPushButton;

class TSPriceForm : public TClosableNoteForm {
    Q_OBJECT
public:
    explicit TSPriceForm(QWidget *owner = nullptr);

    void ShowNote() override;

    QPushButton *btnSetPrice = nullptr;

public slots:
    void btnSetPriceClick();
};
