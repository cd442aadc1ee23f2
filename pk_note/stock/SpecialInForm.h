#pragma once
// TSpecialInForm ("独立入仓单", note type 22) and TSpecialOutForm ("独立出仓单",
// note type 23): goods into or out of a store for no business note, by an
// in/out type ("入库类型"/"出库类型"). The stock-out stores its lines at
// their cost price. Both are declarations on the stock-note base.

#include "StockNote.h"

class TSpecialInForm : public TStockNoteForm {
    Q_OBJECT
public:
    explicit TSpecialInForm(QWidget *owner = nullptr);
};

class TSpecialOutForm : public TStockNoteForm {
    Q_OBJECT
public:
    explicit TSpecialOutForm(QWidget *owner = nullptr);
};
