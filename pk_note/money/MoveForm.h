#pragma once
// TMoveForm: the bank deposit and withdrawal note (type 51). Money moves from
// the paying account to the receiving account; the note has no lines. Beside
// each account the window shows the organisation owning it.

#include "Basenote.h"

class QLabel;

class TMoveForm : public TBasenoteForm {
    Q_OBJECT
public:
    explicit TMoveForm(QWidget *owner = nullptr);

    bool ValidateNote() override;
    void UpdateControlStates(const QString &fieldName) override;

    // "调出机构:  总部" style text of one side for the shop that owns its account.
    static QString OrganisationText(bool paying, qint64 shopId);

private:
    void accountChanged(data::Field &field, const QString &shopField);
    void showOrganisations();

    QLabel *lbOutShop = nullptr;
    QLabel *lbInShop = nullptr;
};
