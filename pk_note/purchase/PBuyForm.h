#pragma once
// TPBuyForm: the purchase receipt ("采购开单", note type 4). Goods bought from
// a supplier enter stock; what is not paid on the spot becomes a payable. A
// receipt may return goods (kind 2) or settle estimated-price receipts
// (kind 3); it is made from purchase orders, stock-in notes or estimated
// receipts and leads to payments and returns.

#include "PackageWindows.h"
#include "PurchaseNote.h"

#include <QHash>

class QAction;
class QLabel;

class TPBuyForm : public TPurchaseNoteForm, public pk_note::ISourceNoteLoader {
    Q_OBJECT
public:
    explicit TPBuyForm(QWidget *owner = nullptr);

    // ---- overrides ----
    void OpenOperatorLookup() override;
    void InitNewNote(data::ClientDataSet &dataSet) override;
    void DetailNewRecord(data::ClientDataSet &dataSet) override;
    bool ValidateNote() override;
    void AfterSaveNote() override;
    void AfterApplyNote(int action) override;
    bool CanCheckNote() override;
    bool CanUncheckNote() override;
    bool CanAbateNote() override;
    void SelectSourceNote() override;
    void ShowNote() override;
    void UpdateControlStates(const QString &fieldName) override;
    void SetReportVariables(TCorvanReportStyle *report) override;

    // A new receipt made from a purchase order (2) or an estimated receipt (3).
    bool LoadForSource(int sourceNoteType, qint64 sourceNoteId) override;

    // The display names the printed note shows for the kind, invoice type,
    // delivery method, settlement method and account ("M.MnoteKind", ...).
    QHash<QString, QVariant> ReportVariables();
    // Kind 3: every line that reverses a whole estimated batch reverses all of it.
    bool WholeBatchesMatch();

public slots:
    void muPToPayClick();
    void muPToReturnClick();
    void mufillClick();

protected:
    QAction *muPToPay = nullptr, *muPToReturn = nullptr, *mufill = nullptr;

private:
    // An estimated-receipt line as it is turned in: whole, or split by what
    // issuing notes drew from its batch (the user chooses when they did,
    // unless `split` says so already).
    void appendEstimatedLine(SourceLine line, bool split = false);
    void readMasterFrom(const QString &table, qint64 noteId, bool payMethod);
};
