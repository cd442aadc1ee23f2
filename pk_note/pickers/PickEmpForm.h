#pragma once
// TPickEmpForm: the employee picker ("选择领料人"; note_Call gives the
// production documents "选择生产工人"). Open employees whose code and name
// contain the text typed, of the department and employee type chosen.

#include "MasterPickForm.h"

class TPickEmpForm : public TIdPickForm {
    Q_OBJECT
public:
    explicit TPickEmpForm(QWidget *owner = nullptr);

    QLineEdit *edCode;
    QLineEdit *edName;
    QComboBox *cmbDepartment;
    QComboBox *cmbEmpType;

protected:
    QString BaseSql() const override;
    QStringList Conditions() const override;
};
