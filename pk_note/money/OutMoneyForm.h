#pragma once
// TOutMoneyForm: the expense note (type 52), paid from the account of its
// settlement method; it may name the customer the money was spent for.

#include "ItemNoteForm.h"

class TOutMoneyForm : public TItemNoteForm {
    Q_OBJECT
public:
    explicit TOutMoneyForm(QWidget *owner = nullptr);
};
