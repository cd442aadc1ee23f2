#pragma once
// TBrowOutForm ("借出单", note type 23) lends goods to a customer: they leave
// the store at cost, "不需要退还" marks a lending that is not coming back,
// and each line may carry a deposit (REAMOUNT). TBrowInForm ("借出还入单",
// note type 22) takes lent goods back in. Both are declarations on the
// stock-note base; the types are the independent stock notes' too, kept in
// tables of their own (BrowOut, BrowIn).

#include "StockNote.h"

class QLabel;

class TBrowOutForm : public TStockNoteForm {
    Q_OBJECT
public:
    explicit TBrowOutForm(QWidget *owner = nullptr);

    // What the customer holds on loan: lent and to come back, less returned.
    static double LentTo(qint64 partnerId);

    void ShowNote() override;
    void AfterSaveNote() override;

    QLabel *lbLent = nullptr; // "累计借出" for the chosen customer

private:
    void showLent();
};

class TBrowInForm : public TStockNoteForm {
    Q_OBJECT
public:
    explicit TBrowInForm(QWidget *owner = nullptr);
};
