#pragma once
// TInComeForm: the other-income note (type 53), received into the account
// of its settlement method.

#include "ItemNoteForm.h"

class TInComeForm : public TItemNoteForm {
    Q_OBJECT
public:
    explicit TInComeForm(QWidget *owner = nullptr);
};
