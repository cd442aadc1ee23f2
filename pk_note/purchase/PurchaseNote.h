#pragma once
// TPurchaseNoteForm: the base of the five purchase windows (plan, order,
// estimated receipt, receipt, requisition). It holds what they share: the
// supplier side and purchase prices, the stock direction by kind, the
// whole-note discount, the supplier's balance and cash flag, the line checks
// and audit rules of purchase lines, and the copying of a source line into a
// new line. Each rule is switched on by a member a kind sets in its
// constructor, so a family member takes only the rules that are its own.
//
// A derived window declares Q_OBJECT: the source selector knows a window by
// its class name.

#include "Commoditynote.h"
#include "TradeNote.h"

#include <QList>
#include <QString>
#include <QVariant>

class QAction;
class QLabel;
class QLineEdit;

class TPurchaseNoteForm : public TCommoditynoteForm {
    Q_OBJECT
public:
    TPurchaseNoteForm(const basenote::Resource &resource, const mdnote::DetailResource &detail,
                      QWidget *owner = nullptr);

    // ---- rules a kind switches on in its constructor ----
    struct PurchaseRules {
        // NOTEKIND sets the stock direction and titles the IOQTY column
        // "入库数量" / "出库数量".
        bool kindDirection = true;
        // A change of NOTEKIND also sets AMOUNT and PAYAMT to 0.
        bool kindResetsAmounts = false;
        // NOTETYPE (invoice type) titles the AMOUNT column "价税合计" / "金额".
        bool invoiceCaption = false;
        // The master's DISC must lie in (0, 100] and is applied to every line.
        bool wholeNoteDisc = false;
        // PARTNERID reads the supplier's cash flag and balance (shown in
        // BalanceBox when the kind has one).
        bool supplierBalance = false;
        // The commodity picker's filter follows IsPSequence.
        bool pickerBySequence = true;
        // A stocked commodity's line needs a store.
        bool storeRequired = false;
        // Audit refused while a line comes from a stopped purchase-order line.
        bool closedOrderLines = false;
        // Un-audit refused while a line was received or referred to (IOQTY, REFERQTY).
        bool referredLinesBlockUncheck = false;
    };
    PurchaseRules Rules;
    // Kinds whose goods leave stock (a return).
    QList<int> ReturnKinds{trade::kReturnKind};
    // The business side (1 supplier); PriceClass is 1.
    int BusinessSide = 1;

    // ---- state ----
    // 1 goods come in, -1 goods go out (by NOTEKIND).
    int StockDirection() const { return m_stockDirection; }
    bool SupplierIsCash() const { return m_supplier.cash; }
    double SupplierBalance() const { return m_supplier.balance; }
    // The tax-inclusive invoice type: its AMOUNT column reads "价税合计".
    static bool InvoiceTypeIncludesTax(const QVariant &invoiceType);

    // ---- a line made from a source line ----
    struct SourceLine {
        int referNoteType = 0;
        qint64 referNoteId = 0;
        qint64 referItemsNo = 0;
        QString referNoteCode;
        // `price` is after discount; `origPrice` (before discount) wins when given.
        QVariant commodityId, storeId, price, origPrice, disc, taxRate, quantity;
        QVariant bcode, productDay, validDay, remark;
        // The batch the line draws on; when null and `findBatch` is set, the
        // flow record of the source line (noteflowaath) is looked up.
        QVariant batchFlowId;
        bool findBatch = true;
        // The batch split record the line was made from (estimated receipts).
        QVariant splitNoteType, splitNoteId, splitItemsNo;
    };
    // Appends the line: commodity and store with their own rules, then the
    // source's discount, tax rate, price and quantity, batch and references.
    void AppendSourceLine(const SourceLine &source);
    // A line of the note already refers to this source line.
    bool HasSourceLine(qint64 referNoteId, qint64 referItemsNo) const;

    // ---- overrides ----
    void MasterFieldChange(data::Field &field) override;
    void InitNewNote(data::ClientDataSet &dataSet) override;
    bool ValidateDetailLines() override;
    bool CheckNote() override;
    bool CanUncheckNote() override;
    void ShowNote() override;
    void DetailAfterOpen(data::ClientDataSet &dataSet) override;

protected:
    // What the rules above do, for a kind that calls them from elsewhere.
    void ApplyKind(int kind);
    void ApplyInvoiceType(const QVariant &invoiceType);
    // False (and the message) when the value is outside (0, 100]; the master's
    // DISC is then put back to 100.
    bool ApplyWholeNoteDisc(data::Field &disc);
    void ReadSupplier(qint64 partnerId);
    // The closed purchase-order lines rule; true when the audit may go on.
    bool OrderLinesOpen();
    // The read-only box beside "供应商欠款" that shows the supplier's balance
    // (null: the kind shows none).
    QLineEdit *BalanceBox = nullptr;

    // ---- what the receipt and the sale show alike ----
    // The paid-now rules and box, the partner lookup's search, and the strip
    // above the lines with the partner's debt (`debtCaption`, shown with
    // privilege 550 sub-right 1) and the invoicing mark.
    void BuildTradeParts(const QString &debtCaption);
    // The invoicing mark, the terminate-invoicing menu caption and the paid-now
    // box's neighbours for the note shown.
    void ShowTradeParts(QAction *fillMenu);
    QLabel *lbFillMark = nullptr; // "完成开票" / "终止开票"
    // The invoicing menu of an audited note: flips its terminate-invoicing
    // mark as the books hold it and shows the note again.
    void ToggleCloseFillOfShownNote(const trade::SideNames &names);
    // A blank return (kind 2) of the audited note shown, its lines referring
    // to the note's lines with what is left to give back.
    void MakeReturnOfShownNote(const trade::SideNames &names);

public:
    ~TPurchaseNoteForm() override;
    // Opens the source note of the current line (the line's double-click).
    bool OpenSourceNote();

public slots:
    // The paid-now box's text enables the settlement controls.
    void edPayAmtChange(const QString &text);

private:
    void setColumnCaption(const QString &field, const QString &caption);

    int m_stockDirection = 1;
    trade::PartnerState m_supplier;
};
