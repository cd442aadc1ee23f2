#pragma once
// The stock posting engine. A note type that moves stock, raises quantities on
// the lines it was made from, or owes a partner, declares so in a StockNote;
// one engine turns every declaration into the postings of audit, and reverses
// them on un-audit and on the delete of an audited note. A new stock kind adds
// a declaration, not a posting routine.

#include "db/Database.h"

#include <QPair>
#include <QVector>

namespace notedb::stock {

// The column of a source line that a line taken from it raises by its
// quantity; nullptr when the line is only counted (REFERCOUNT).
struct SourceColumn {
    int sourceType;
    const char *column;
};

struct StockNote {
    int noteType = 0;
    const char *master = "";            // master table
    const char *lines = "";             // line table
    const char *store = "d.BUILDINGID"; // store column: of the line (d.) or of the master (m.)
    const char *targetStore = nullptr;  // a transfer: the store the goods go to, in the other direction
    const char *quantity = "QUANTITY";  // line columns
    const char *price = "PRICE";        // the line's cost price
    QVector<QPair<int, int>> kinds;     // NOTEKIND -> 1 into stock, -1 out of it; other kinds move none
    // An expression over the master (alias m) giving 1, -1 or 0, for a note
    // whose direction is not its kind alone; replaces `kinds` when set.
    const char *direction = nullptr;
    // Lines taken from notes of these types move no stock: the source moved it.
    QVector<int> recordedSources{21, 22};
    QVector<SourceColumn> sources;      // raised column per source type where it is not REFERQTY
    // The place split of the lines (NOTEID, ITEMSNO, PLACEID, QUANTITY), whose
    // rows move onhandaathPlace with their line; null when the kind has none.
    const char *places = nullptr;
    // A price change: every line sets its commodity's cost in the store to
    // the line price; the on-hand amount takes the difference (a flow row of
    // quantity 0 carries it), stock that is not there is not revalued.
    bool revalue = false;
    // A move between places of the store: each line takes its quantity out of
    // OUTPLACEID and into INPLACEID (onhandaathPlace); the store's stock stays.
    bool placeMove = false;
    bool payable = false;               // |AMOUNT| - |PAYAMT| owed to the partner, PAYAMT paid through ACCOUNTID
    bool customer = false;              // the partner is a customer: he owes us (receivable), PAYAMT comes in
    bool costFromStock = false;         // a line going out without a cost price takes the moving average,
                                        // written into its price column until un-audit
    // A transfer of these kinds brings the goods in at the line's `inPrice`
    // column instead of the cost they left at; the in amount less the out
    // amount is booked (subjectflowaath) to the account in the master's
    // `differenceAccount` column.
    QVector<int> inPricedKinds;
    const char *inPrice = nullptr;
    const char *differenceAccount = nullptr;
};

// Registers the posting of the note type's master table (idempotent per table).
void declare(const StockNote &note);

// Where the lines of a source note type are. `finished`, when given, is the
// expression a source line's FINISHED flag is set to after its quantities change.
void declareSource(int noteType, const char *master, const char *lines, const char *finished = nullptr);

// Lines taken from a stock in/out note (these source types) move no stock: the
// stock note moved it.
bool movedByStockNote(int referNoteType);

// The direction of a stock in/out note (iostoreith, alias m): its source type
// (NOTETYPE) issues goods or takes them in, kind 2 turns that round.
inline constexpr const char *kInOutDirection =
    "(case when m.NOTETYPE in (13,14,23,25,29,47,73,80) then -1 else 1 end) * "
    "(case when m.NOTEKIND = 2 then -1 else 1 end)";

// The declarations of the stock documents other than the in/out note
// (StockDocProcedures.cpp).
void declareStockDocuments();

} // namespace notedb::stock
