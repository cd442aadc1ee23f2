#pragma once
// TItemNoteForm: the expense note and the other-income note, one class given
// two declarations. Each line names an item of ietypelth (stype 0 expense, 1
// income) and an amount; the note is paid or received through the account of
// its settlement method.

#include "MDnote.h"

struct ItemNoteKind {
    const basenote::Resource &master;
    const mdnote::DetailResource &detail;
    int itemType;              // ietypelth.stype of the kind's items
    const char *itemCaption;   // "费用项目", "收入项目": the picker and the messages
    bool partnerBringsEmployee; // a chosen customer brings its employee and department
};

class TItemNoteForm : public TMDnoteForm {
    Q_OBJECT
public:
    TItemNoteForm(const ItemNoteKind &kind, QWidget *owner = nullptr);

    bool ValidateNote() override;
    bool ValidateDetailLines() override;
    bool ValidateDetailLine() override;

public slots:
    // The item cell's edit button: choose an item for the line; false when cancelled.
    bool PickItem();

private:
    void putLine(const char *name, const QVariant &value);
    void itemChanged(data::Field &field);
    void itemNameTyped(data::Field &field);
    void partnerChanged(data::Field &field);
    void payTypeChanged(data::Field &field);

    int m_itemType;
    QString m_itemCaption;
};
