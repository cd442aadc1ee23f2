#pragma once
// What the expense and the other-income notes share: lines that name an item
// of ietypelth (stype 0 expense, 1 income) and an amount, and a settlement
// method that brings its account. Both windows derive from TMDnoteForm and
// call these from their own operations.

#include <QString>
#include <QVariant>

class QWidget;
class TMDnoteForm;

namespace data {
class Field;
}

namespace moneylines {

// The master rule of PAYTYPESID: ACCOUNTID becomes the method's account.
void PayTypeChanged(TMDnoteForm &form, data::Field &payType);

// Line rules keyed by the upper-cased field: IETYPESID fills the item name,
// a typed IENAME (code or name) finds the item, AMOUNT is rounded.
void LineFieldChange(TMDnoteForm &form, data::Field &field, int stype);

// The per-line check; false after its message.
bool ValidateLine(TMDnoteForm &form);
// The checks of the whole note before its lines; false after the message.
bool ValidateMaster(TMDnoteForm &form);
// No lines: the note records no business.
bool HasLines(TMDnoteForm &form);

// Lets the user choose an item of `stype` for the current line (the item
// cell's edit button); false when cancelled.
bool PickItem(TMDnoteForm &form, int stype);

} // namespace moneylines
