#pragma once
// TPValueForm: the estimated-price receipt. Goods come in before the invoice
// at an estimated price (kind 1); a reversal takes them back out, made by
// hand (kind 2) or by the system when a purchase receipt settles the
// estimate (kind 3, never entered here). A receipt whose lines are all
// reversed or settled is marked "已冲回". The consignment note is the same
// window on the customer side (ValueSide): goods sent out, returned, and
// settled by a sale.

#include "PNOrderForm.h"

class HostQuery;
class QAction;
class QLabel;

// What the estimated receipt and the consignment note differ in.
struct ValueSide {
    const trade::SideNames &trade;
    const basenote::Resource &master;
    const mdnote::DetailResource &lines;
    int kindLookup;               // the record type of the kind list,
    const char *kindLookupName;   // its name ("dsXxx" / "qryXxx")
    const char *kindLookupSql;    // and its rows
    int returnKind;               // the kind that goes against kind 1
    int systemKind;               // the kind only the books make (0: none)
    const char *openQuantity;     // what is left of a kind-1 line
    int turnInInSequence;         // source type of kind 1 with the sequence parameter on,
    int turnInOutOfSequence;      // and off;
    int turnInReturn;             // of the other kinds
    const char *makeAction, *makeCaption, *makeForm;
    const char *makeRefused;      // made from a note reversed already
    const char *reverseAction, *reverseCaption;
    const char *uncheckRefused;   // un-audit of the kind that may not (null: none)
    int uncheckRefusedKind;
    const char *unabateRefused;   // un-void of the system kind
    int priceClass;
};
extern const ValueSide kEstimatedReceipt;

class TPValueForm : public TPurchaseNoteForm {
    Q_OBJECT
public:
    explicit TPValueForm(QWidget *owner = nullptr);
    TPValueForm(const ValueSide &side, QWidget *owner);

    void MasterFieldValidate(data::Field &field) override;
    bool CanUncheckNote() override;
    bool CanUnabateNote() override;
    void SelectSourceNote() override;
    void ShowNote() override;

    // An audited kind-1 note with nothing left open.
    bool IsReversed();
    const ValueSide &Side() const { return m_side; }

    // Opens the next note (receipt or sale) for the open lines.
    void MakeNextNote();
    // Makes a new note of the return kind from the open lines.
    void MakeReverseNote();

public slots:
    void muPurchaseClick() { MakeNextNote(); }
    void muValueToClick() { MakeReverseNote(); }

protected:
    // A line of the return kind was appended from `source` (its current row).
    virtual void ReversedLineAdded(const HostQuery &source) { Q_UNUSED(source); }

    QAction *muMake = nullptr, *muReverse = nullptr;
    QLabel *lbReversed = nullptr;
    const ValueSide &m_side;
};
