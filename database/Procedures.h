#pragma once
// Server procedures and postings of the document framework and the money notes,
// registered with the database layer by name.

#include "db/Database.h"

#include <QDate>

namespace notedb {

// The print register: usrprocnoteprintabth_insert, usrprocnoteprintabth_delete
// and usrprocnoteprintabth_update (idempotent).
void registerFrameworkProcedures();

// NOTEBOOKZERO, the stock check before an audit or un-audit, over the
// declarations of notestocklinemth (idempotent).
void registerStockCheck();

// GetCommodityMultiPrice, the default, last, level and special price of a
// commodity for a new line (idempotent).
void registerCommodityPrices();

// The postings of the bank deposit/withdrawal, expense and other-income notes
// on audit, and their reversal on un-audit (idempotent).
void registerMoneyPostings();

// The postings of the payment and the receipt of money: the notes they settle,
// the partner's balance, the account and the discount (idempotent).
void registerSettlementPostings();

// The stock posting engine over the declared stock notes: the purchase
// plan/order/estimated receipt/receipt postings (StockPostings.h) (idempotent).
void registerStockPostings();

// sevengetnotecode (on every connection), FIRSTUPDATECERTAINFILL,
// PURCHASETOVALUE and salepurchasetoorder (idempotent).
void registerPurchaseProcedures();

// Store_SelectM and Store_SelectD, the sources of a stock in/out note (idempotent).
void registerStockDocProcedures();

// (Re)makes the view allnote over the master table of every kind of note the
// books keep: type, key, code, date, state, people, amount, with the row's
// MASTERTABLE and FORMNAME (types 22 and 23 keep two kinds each).
void createAllNoteView(db::Database &database);

// Demo purchase notes (requisition, plan, orders, estimated receipt, receipts
// and a return), audited through the real postings. Needs the stock demo.
void createPurchaseDemo(db::Database &database, const QDate &today);

// Demo sales notes (orders, sales, a return and a consignment), audited
// through the real postings. Needs the purchase demo's stock.
void createSalesDemo(db::Database &database, const QDate &today);
// Demo payments and receipts of money settling the demo's receipts and sales.
void createPaymentDemo(db::Database &database, const QDate &today);

// Demo notes of types 51, 52 and 53 (audited and entered), the expense and
// income items, and opening balances of the demo accounts. Needs the demo
// master data; dates fall in the month of `today`.
void createMoneyDemo(db::Database &database, const QDate &today);

// Colours and sizes with the work uniform sold by them, price levels and last
// prices of the partners, and the opening stock of the demo company: on-hand
// rows and their opening flows, batches of the batch-costed food in two stores.
// Needs the demo master data; the opening falls before the start of use.
void createStockDemo(db::Database &database, const QDate &today);

} // namespace notedb
