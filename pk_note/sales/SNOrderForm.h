#pragma once
// TSNOrderForm: the sales order ("销售订单", note type 12), the purchase order
// on the customer side: a shipping date, the salesman of the operator, stops
// per note and line. It makes sales (and purchase orders for what has to be
// bought) from its open lines and is filled from a sales plan or quotations.
// TSalePlanForm: the sales plan (11), the purchase plan on the customer side.

#include "PBuyPlanForm.h"
#include "PNOrderForm.h"

// Audit of a note whose lines come from sales orders: refused (shown) while
// one of those order lines stopped trading. True when the audit may go on.
bool SalesOrderLinesOpen(TCommoditynoteForm &form);

class TSNOrderForm : public TPNOrderForm {
    Q_OBJECT
public:
    explicit TSNOrderForm(QWidget *owner = nullptr);

    void InitNewNote(data::ClientDataSet &dataSet) override;
    void ShowNote() override;

    // The employee the current operator logs in as (null: none).
    static QVariant OperatorEmployee();

public slots:
    void muSaleClick() { MakeNextNote(); }
    void muPNOrderClick();
    void muProcClick();

protected:
    QAction *muPNOrder = nullptr, *muProc = nullptr;
};

class TSalePlanForm : public TPBuyPlanForm {
    Q_OBJECT
public:
    explicit TSalePlanForm(QWidget *owner = nullptr);
};
