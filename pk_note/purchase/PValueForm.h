#pragma once
// TPValueForm: the estimated-price receipt. Goods come in before the invoice
// at an estimated price (kind 1); a reversal takes them back out, made by
// hand (kind 2) or by the system when a purchase receipt settles the
// estimate (kind 3, never entered here). A receipt whose lines are all
// reversed or settled is marked "已冲回".

#include "PNOrderForm.h"

class QAction;
class QLabel;

class TPValueForm : public TPurchaseNoteForm {
    Q_OBJECT
public:
    explicit TPValueForm(QWidget *owner = nullptr);

    void MasterFieldValidate(data::Field &field) override;
    bool CanUncheckNote() override;
    bool CanUnabateNote() override;
    void SelectSourceNote() override;
    void ShowNote() override;

    // An audited estimated receipt with nothing left open.
    bool IsReversed();

public slots:
    void muPurchaseClick();
    void muValueToClick();

protected:
    QAction *muPurchase = nullptr, *muValueTo = nullptr;
    QLabel *lbReversed = nullptr;
};
