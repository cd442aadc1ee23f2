#pragma once
// The payment to a supplier (TPayForm, "应付款单", type 61) and the receipt of
// money from a customer (TGetMoneyForm, "应收款单", type 62): two declarations
// of TMoneynoteForm.

#include "Moneynote.h"

class TPayForm : public TMoneynoteForm {
public:
    explicit TPayForm(QWidget *owner = nullptr);
};

class TGetMoneyForm : public TMoneynoteForm {
public:
    explicit TGetMoneyForm(QWidget *owner = nullptr);
};
