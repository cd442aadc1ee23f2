#pragma once
// TGSpecialCheckForm ("其他..."): more filters of the commodity picker, one
// box per user-defined field of the commodity. "确认" closes with result 1.

#include <QDialog>

class QLineEdit;
class QPushButton;

class TGSpecialCheckForm : public QDialog {
    Q_OBJECT
public:
    explicit TGSpecialCheckForm(QWidget *parent = nullptr);

    // " and g.CUSTDEFn='text'" for each filled box, the text quoted.
    QString Condition() const;

    QLineEdit *edCustDef[5];
    QPushButton *OkBtn;
    QPushButton *CancelBtn;
};
