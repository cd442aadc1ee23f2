#pragma once
// The supplier and customer pickers: one window over partnerlth given two
// declarations. Code and name contain the text typed, the area's name
// contains the area chosen, and the net balance (Balance-SurAmt, column
// CASH) lies between two amounts. Balances are shown and filtered only for
// users who hold sub-right 1 of privilege 550.

#include "MasterPickForm.h"

struct PartnerPickKind {
    const char *formName;
    const char *caption;
    const char *where; // the where clause after the fixed select and join
    bool ownClients;   // narrowed to the operator's own clients when the books say so
};

class TPartnerPickForm : public TIdPickForm {
    Q_OBJECT
public:
    TPartnerPickForm(const PartnerPickKind &kind, QWidget *owner);

    // Whether the balance column and the amount filter are offered.
    bool ShowsBalance() const { return m_showBalance; }

    QLineEdit *edCode;
    QLineEdit *edName;
    QComboBox *cmbArea;
    QLineEdit *edMinAmt;
    QLineEdit *edMaxAmt;

protected:
    QString BaseSql() const override;
    QStringList Conditions() const override;

private:
    const PartnerPickKind &m_kind;
    bool m_showBalance;
};

// "选择供应商"
class TPickpartnerForm : public TPartnerPickForm {
    Q_OBJECT
public:
    explicit TPickpartnerForm(QWidget *owner = nullptr);
};

// "选择客户"
class TPickClientForm : public TPartnerPickForm {
    Q_OBJECT
public:
    explicit TPickClientForm(QWidget *owner = nullptr);
};
