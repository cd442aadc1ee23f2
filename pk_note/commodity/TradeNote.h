#pragma once
// The rules a purchase receipt and a sale share: the amount paid (or received)
// on the spot, the payment term, the cash-partner question, the credit
// information, terminating invoicing, making a return or a payment from a
// note, and which source documents its turn-in offers. Both windows call
// these with the names of their side (supplier or customer), so a rule is
// written once and differs only in tables and texts.

#include <QString>
#include <QVariant>
#include <QVector>

#include <optional>

class QWidget;

namespace data {
class ClientDataSet;
class Field;
} // namespace data

namespace trade {

// Tables, note types and texts of one side of trade.
struct SideNames {
    int side;                   // 1 supplier, 2 customer
    int noteType;               // the trade note itself: 4 purchase receipt, 14 sale
    const char *masterTable;    // "purchasepth"
    const char *detailTable;    // "purchasepthDetail"
    const char *sequenceParam;  // "IsPSequence": documents follow order -> receipt
    const char *partnerMissing; // save without a partner
    const char *payEmpty;       // save with the paid-now box empty (null: no such check)
    const char *payMustBeNegative;
    const char *payMustBePositive;
    const char *creditExceeded; // followed by the credit limit
    const char *choosePartner;  // turn-in without a partner
    const char *settledAlready; // make payment: nothing left to settle
    const char *notAudited;     // make payment: not audited or void
    // Turn-in source note type by kind 1, 2, 3: with the sequence parameter on, off.
    int sourceTypeInSequence[3];
    int sourceTypeOutOfSequence[3];
    const char *pickerFilterInSequence;
    const char *pickerFilterOutOfSequence;
};

extern const SideNames kSupplierSide;
extern const SideNames kCustomerSide;

// The kind of a note that gives goods back (a purchase or sales return).
constexpr int kReturnKind = 2;

// The lists of document kinds for the kind combos: "dsPurchaseKind"
// (kindamth KIND 2) and "dsSaleKind" (KIND 3); registered once per session.
void RegisterKindLookups();

// ---- the sequence parameter ----
bool SequenceOn(const SideNames &side);
// The commodity picker's filter for the side and the parameter.
QString CommodityFilter(const SideNames &side);
// The source note type a note of `kind` turns in (0 for an unknown kind).
int TurnInSourceType(const SideNames &side, int kind);

// ---- checks before save ----
// The paid-now checks (empty box, its sign by kind, settlement method and
// account when something is paid) and the payment term; the first failure
// is shown and gives false.
bool CheckPayNow(const SideNames &side, const data::ClientDataSet &master);
// A cash partner must pay the whole amount now. True to go on with the save;
// false when the user chose OK to correct the amount.
bool ConfirmCashPartner(bool cashPartner, double amount, double payAmt);
// Tells (never stops) when balance + amount - credit - paid now exceeds the
// partner's credit limit.
void ShowCreditInformation(const SideNames &side, qint64 partnerId, double balance, double amount, double payAmt);

// ---- the partner ----
struct PartnerState {
    bool cash = false;
    double balance = 0;
};
// The cash flag and the current balance of a partner (nothing for 0).
PartnerState ReadPartner(qint64 partnerId);
// The balance as the box shows it, at the books' amount precision.
QString BalanceText(double balance);

// ---- master field rules ----
// PAYAMT rounded and written back; an empty or zero amount clears the
// settlement method, account and cheque number.
void PayAmtChanged(data::Field &payAmt, data::ClientDataSet &master);
// The paid-now box's text enables or disables the settlement controls.
bool PayNowTextEnables(const QString &text);
void EnablePayControls(QWidget *form, const QString &payNowText);
// PAYDAY, TERMDAYS and NOTEDATE keep each other in step.
void PayDayChanged(data::Field &field, data::ClientDataSet &master);
void TermDaysChanged(data::Field &field, data::ClientDataSet &master);
void NoteDateChanged(data::Field &field, data::ClientDataSet &master);

// ---- terminating invoicing ----
QString CloseFillMark(int closeFill);        // "完成开票", "终止开票" or empty
QString CloseFillMenuCaption(int closeFill); // "终止开票..." or "反终止开票..."
// Flips CLOSEFILL between 0 and 1 in the database; refused (false, shown) at 2.
bool ToggleCloseFill(const SideNames &side, qint64 noteId, int closeFill);

// ---- making a payment ----
// The refusals before a payment (receipt) document is made from the note.
bool PaymentAllowed(const SideNames &side, const data::ClientDataSet &master);

// ---- making a return ----
struct ReturnLine {
    int itemsNo = 0;
    QVariant commodityId, storeId, taxRate, disc, price, bcode, productDay, validDay;
    double quantity = 0; // Quantity - |ReferQty|
    QVariant batchFlowId;
};
struct ReturnSource {
    qint64 noteId = 0;
    QString noteCode;
    QVariant partnerId;
    QVector<ReturnLine> lines;
};
// The open lines of a note to return; refused (shown) for a branch's note and
// when everything was returned already.
std::optional<ReturnSource> ReadReturnSource(const SideNames &side, qint64 noteId);

// ---- turn-in ----
// "select ID from noteflowaath where noteType=..." for a source line; null when none.
QVariant BatchFlowId(int noteType, qint64 noteId, qint64 itemsNo);

} // namespace trade
