#pragma once
// TAttaintForm: the loss report ("报损单", note type 29). Damaged or lost
// goods leave the store at their cost; every line shows the store's stock of
// its commodity (QryCommodity), read again when the store or the commodity
// changes.

#include "StockNote.h"

class TAttaintForm : public TStockNoteForm {
    Q_OBJECT
public:
    explicit TAttaintForm(QWidget *owner = nullptr);

private:
    // The on-hand quantity of the current line's commodity in the master's store.
    void showOnHand();
};
