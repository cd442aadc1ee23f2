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
    QVector<SourceColumn> sources;      // raised column per source type where it is not REFERQTY
    bool payable = false;               // |AMOUNT| - |PAYAMT| owed to the partner, PAYAMT paid through ACCOUNTID
    bool customer = false;              // the partner is a customer: he owes us (receivable), PAYAMT comes in
    bool costFromStock = false;         // a line going out without a cost price takes the moving average,
                                        // written into its price column until un-audit
};

// Registers the posting of the note type's master table (idempotent per table).
void declare(const StockNote &note);

// Where the lines of a source note type are. `finished`, when given, is the
// expression a source line's FINISHED flag is set to after its quantities change.
void declareSource(int noteType, const char *master, const char *lines, const char *finished = nullptr);

// Lines taken from a stock in/out note (these source types) move no stock: the
// stock note moved it.
bool movedByStockNote(int referNoteType);

} // namespace notedb::stock
