#pragma once
// TShipBillForm: the import/export cargo card (note type 99). Not a
// commodity note: the master holds the facts of one shipment for a customer
// (bill of lading, ports, vessel, dates, pieces, weight, volume, containers,
// broker, trucking), each line a charge item with what is received from the
// customer and what is paid out; the profit is the difference.

#include "MDnote.h"

class TShipBillForm : public TMDnoteForm {
    Q_OBJECT
public:
    explicit TShipBillForm(QWidget *owner = nullptr);

    bool ValidateNote() override;
    bool ValidateDetailLine() override;
    void PrepareSave() override;

    // Received less paid over the lines as they stand.
    double Profit() const;

private:
    void putLine(const char *name, const QVariant &value);
    void itemCodeTyped(data::Field &field);
    void partnerChanged(data::Field &field);
    void showProfit();
};
