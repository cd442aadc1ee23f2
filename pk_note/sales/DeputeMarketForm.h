#pragma once
// TDeputeMarketForm: the consignment note ("委销单", note type 13), the
// estimated receipt on the customer side. Goods sent to a customer to sell
// on commission leave stock at their cost price (kind 1); a consignment
// return brings them back (kind 2); a sale of kind 3 settles them. A note
// whose goods all came back or were settled is marked "已冲回".

#include "PValueForm.h"

class TDeputeMarketForm : public TPValueForm {
    Q_OBJECT
public:
    explicit TDeputeMarketForm(QWidget *owner = nullptr);

    bool ValidateDetailLines() override;
    bool CheckNote() override;
    bool CanUncheckNote() override;

    // The cost price a line of commodity `goods` in `store` starts with: the
    // store's average cost, else the commodity's cost price.
    static QVariant DefaultCost(qint64 goods, qint64 store);

public slots:
    void muSaleClick() { MakeNextNote(); }
    void muDeputeClick() { MakeReverseNote(); }

protected:
    void ReversedLineAdded(const HostQuery &source) override;

private:
    void setDefaultCost();
};
