#pragma once
// TRePurchaseForm: the purchase requisition, the order's master with a
// wanted purchase date; it can be stopped as the order can, and orders take
// its lines through their turn-in.

#include "PNOrderForm.h"

class TRePurchaseForm : public TClosableNoteForm {
    Q_OBJECT
public:
    explicit TRePurchaseForm(QWidget *owner = nullptr);
};
