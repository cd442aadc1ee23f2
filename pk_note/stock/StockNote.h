#pragma once
// TStockNoteForm: the base of the stock movement documents (in/out note,
// independent in and out, loans, transfer, loss, price change, place move).
// Their lines carry the stock side's prices (PriceClass 3: the cost price
// APRICE); the store is the master's. What a member adds is declared in its
// own unit and switched on here by a member it sets in its constructor.
//
// A derived window declares Q_OBJECT: the source selector knows a window by
// its class name.

#include "Commoditynote.h"

// The line query of a stock document over its line table (alias m).
#define STOCK_LINE_SQL(table)                                                                                          \
    "select m.*, g.CODE as COMMODITYCODE, g.NAME as COMMODITYNAME, g.BARCODE, g.SPEC, u.NAME as UNITNAME, "             \
    "dbo.sevengetnotecode(m.refernotetype, m.refernoteid) as RefernoteCode from " table " m "                          \
    "left join Commoditylth g on g.Commodityid = m.Commodityid left join unitlth u on u.UNITSID = g.unitsid"

class TStockNoteForm : public TCommoditynoteForm {
    Q_OBJECT
public:
    TStockNoteForm(const basenote::Resource &resource, const mdnote::DetailResource &detail, QWidget *owner = nullptr);

    // An issuing note stores every line's price as its cost price.
    bool PriceIsCost = false;

    void PrepareSave() override;
    void InitNewNote(data::ClientDataSet &dataSet) override;

    // The cost price of a commodity in a store (the moving average on hand, 0 when none).
    static double StockCost(qint64 commodityId, qint64 storeId);

protected:
    // The caption of a master control's label ("lb" + the control's name
    // without its prefix), for the member whose field means something else.
    void SetMasterCaption(const char *labelName, const QString &caption);
};
