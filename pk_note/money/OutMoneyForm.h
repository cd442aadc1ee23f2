#pragma once
// TOutMoneyForm: the expense note (type 52). Each line names an expense item
// and its amount; the note is paid from the account of its settlement method
// and may name the customer it was spent for.

#include "MDnote.h"

#include <QHash>

class TOutMoneyForm : public TMDnoteForm {
    Q_OBJECT
public:
    explicit TOutMoneyForm(QWidget *owner = nullptr);

    void MasterFieldChange(data::Field &field) override;
    void DetailFieldChange(data::Field &field) override;
    bool ValidateNote() override;
    bool ValidateDetailLines() override;
    bool ValidateDetailLine() override;

public slots:
    // The item cell's edit button: choose an expense item for the line.
    bool PickItem();

private:
    using Rule = void (TOutMoneyForm::*)(data::Field &);
    static const QHash<QString, Rule> &fieldRules();
    void partnerChanged(data::Field &field);
    void payTypeChanged(data::Field &field);
};
