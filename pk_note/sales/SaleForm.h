#pragma once
// TSaleForm: the sale ("销售开单", note type 14). Goods sold to a customer
// leave stock; what is not received on the spot becomes a receivable. A sale
// may take goods back (kind 2) or settle goods sent on consignment (kind 3);
// it is made from sales orders, stock-out notes, sales or consignment notes.
// It mirrors the purchase receipt on the customer side.

#include "PackageWindows.h"
#include "PurchaseNote.h"

#include <QDialog>
#include <QHash>

class QAction;
class QLabel;
class QLineEdit;

// TMarketAPriceForm ("输入成本价"): asks the cost price of a returned line
// whose goods are costed by batch.
class TMarketAPriceForm : public QDialog {
    Q_OBJECT
public:
    explicit TMarketAPriceForm(const QString &commodityName, QWidget *parent = nullptr);
    double Price() const;
    QLineEdit *edPrice = nullptr;
public slots:
    void OkBtnClick();
};

class TSaleForm : public TPurchaseNoteForm, public pk_note::ISourceNoteLoader {
    Q_OBJECT
public:
    explicit TSaleForm(QWidget *owner = nullptr);

    void OpenOperatorLookup() override;
    void InitNewNote(data::ClientDataSet &dataSet) override;
    void DetailNewRecord(data::ClientDataSet &dataSet) override;
    void DetailFieldChange(data::Field &field) override;
    bool ValidateNote() override;
    void AfterSaveNote() override;
    bool CheckNote() override;
    bool CanUncheckNote() override;
    bool CanAbateNote() override;
    void SelectSourceNote() override;
    void ShowNote() override;
    void UpdateControlStates(const QString &fieldName) override;
    bool ValidateDetailLines() override;
    void SetReportVariables(TCorvanReportStyle *report) override;
    void SetupDetailColumn(int column) override;

    // A new sale made from a sales order (12, kind 1) or a consignment note (13, kind 3).
    bool LoadForSource(int sourceNoteType, qint64 sourceNoteId) override;

    // The display names the printed note shows ("M.MnoteKind", ...).
    QHash<QString, QVariant> ReportVariables();

public slots:
    void muMoneyClick();
    void muReturnClick();
    void mufillClick();

protected:
    QAction *muMoney = nullptr, *muReturn = nullptr, *mufill = nullptr;

private:
    // TaxAmount of the current line from its quantity and the master's IsFill.
    void setLineTaxAmount();
    // PackName, PackQty and DisAmount of the current line from its pack and quantity.
    void setPackFields();
    void checkLowPrice();
    // Kind 3: the price difference to the consignment line settled.
    void setConsignmentMargin();
    // "出库数量" on a sale, "入库数量" on a return.
    void setIoCaption();
};
