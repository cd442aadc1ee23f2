#pragma once
// TInComeForm: the other-income note (type 53). Each line names an income
// item and its amount; the money reaches the account of the settlement method.

#include "MDnote.h"

#include <QHash>

class TInComeForm : public TMDnoteForm {
    Q_OBJECT
public:
    explicit TInComeForm(QWidget *owner = nullptr);

    void MasterFieldChange(data::Field &field) override;
    void DetailFieldChange(data::Field &field) override;
    bool ValidateNote() override;
    bool ValidateDetailLines() override;
    bool ValidateDetailLine() override;

public slots:
    // The item cell's edit button: choose an income item for the line.
    bool PickItem();

private:
    using Rule = void (TInComeForm::*)(data::Field &);
    static const QHash<QString, Rule> &fieldRules();
    void payTypeChanged(data::Field &field);
};
