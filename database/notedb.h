#pragma once
// The database side of the system: schema, server procedures, SQL functions,
// state postings and the demo company, installed into the database layer.

#include "db/Database.h"

#include <QDate>
#include <functional>
#include <memory>

namespace notedb {

// Version written into the marker of books made by this build.
constexpr int kSchemaVersion = 1;

// Registers the server procedures, SQL functions and postings with the layer
// (idempotent; call before opening any books).
void install();

// Creates every table, index and trigger of the books in an empty database and
// marks the file as ours.
void createSchema(db::Database &database);

// Fills the demo company; `today` fixes the business period (its month).
void createDemo(db::Database &database, const QDate &today = QDate::currentDate());

// Opens existing books. Throws db::DbError with a clear message when the file is
// missing, unreadable or not the books of this system.
std::unique_ptr<db::Database> openBooks(const QString &path);

// Runs inside the creating transaction after schema and demo, before commit.
using BuildStep = std::function<void(db::Database &)>;

// Creates new books at `path` (with the demo company when `demo`). Refuses an
// existing file unless `force`, in which case the file is replaced. The books
// are built beside the target and only moved into place once complete, so a
// failure leaves neither half-written books nor a damaged old file.
std::unique_ptr<db::Database> createBooks(const QString &path, bool demo, bool force,
                                          const QDate &today = QDate::currentDate(),
                                          const BuildStep &extraStep = {});

// Copies every row of the books `from` into new books `to` (a file or a server
// address, on either engine), in one transaction: keys, balances, numbering and
// postings made go on where they were; nothing is posted again. Refuses an
// existing target as createBooks does.
std::unique_ptr<db::Database> copyBooks(db::Database &from, const QString &to, bool force = false);

// Adds `count` generated commodities to the books in one transaction, spread
// over the categories, units and kinds already there, with stock rows in the
// first stores for some of them; returns the first new COMMODITYID. For
// measuring the lists on large books.
qint64 growCommodities(db::Database &database, int count);

// Adds `count` notes of `noteType` (purchase and sales notes, payments and
// receipts) in one transaction, each a copy of the type's last note with a new
// key, number and date and the partner, employee and department taken in turn
// from those in the books; unaudited, so nothing is posted. Returns the first
// new NOTEID. Throws when the type is not one of these or has no note to copy.
// For measuring the lists on large books.
qint64 growNotes(db::Database &database, int noteType, int count);

// Adds the company's parameters that printed notes show (name, tax number,
// address, telephone, bank and account) with empty values where the books
// lack them.
void ensureCompanyParameters(db::Database &database);

// The stored form of a password: an argon2id string (parameters and salt inside).
QString hashPassword(const QString &password);
// Whether a stored hash is argon2id at today's cost (older forms are upgraded
// at the next good login).
bool isCurrentHash(const QString &stored);
// The id of the open operator whose login and password match, else 0. A good
// password stored in an older form (salted SHA-256) is rehashed on the spot.
int checkPassword(db::Database &database, const QString &login, const QString &password);
// Gives an operator a new password hash.
void setPassword(db::Database &database, int operatorId, const QString &password);

// Makes sure the key table has a row for `table` whose value is at least
// `atLeast` (keys handed out afterwards are above it). Idempotent.
void ensureKey(db::Database &database, const QString &table, qint64 atLeast = 0);

// Splits a script into statements at semicolons outside literals, comments and
// trigger bodies; comments are dropped, blank statements skipped.
QStringList splitStatements(const QString &script);

// The schema scripts in the order they run (resource paths).
QStringList schemaFiles();

} // namespace notedb
