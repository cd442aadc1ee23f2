#pragma once
// TBadsthForm: the transfer between stores ("调拔单", note type 26). Goods
// leave the out store ("调出仓库") and enter the in store ("调入仓库") at the
// cost they left at. Kind 2, offered only when costs are kept per store
// (IsDistinctStore), is the transfer that changes the price: every line's in
// price (PRICE) must differ from its out price (APRICE), and with the books
// linked to accounting (IsBand) the price difference needs a detail account.

#include "StockNote.h"

class QLabel;

class TBadsthForm : public TStockNoteForm {
    Q_OBJECT
public:
    explicit TBadsthForm(QWidget *owner = nullptr);

    bool ValidateNote() override;
    void ShowNote() override;
    // Keeps the line's out amount and difference in step with its prices.
    void DetailFieldChange(data::Field &field) override;

private:
    // "调出机构:  总部" or the shop the store belongs to.
    void showOrganisations();
    QLabel *lbOutOrg = nullptr, *lbInOrg = nullptr;
};
