#pragma once
// TChgPriceForm: the stock cost price change ("调价单", note type 31). Each
// line moves its commodity's cost in the store (every store when none is
// chosen) from the price before (APRICE) to the price after (PRICE), typed
// or as a rate (ADJUSTRATE percent of the price before); audit revalues the
// stock on hand. Batch-costed commodities keep their batches' prices.

#include "StockNote.h"

class TChgPriceForm : public TStockNoteForm {
    Q_OBJECT
public:
    explicit TChgPriceForm(QWidget *owner = nullptr);

    bool ValidateNote() override;
    bool ValidateDetailLine() override;

private:
    // The stock on hand of the line's commodity (in the store when chosen).
    void showOnHand();
    void showDifference();
};
