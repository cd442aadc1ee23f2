#pragma once
// Pieces shared by the postings of libnotedb: the action named in a refusal,
// the books' amount precision, settlement accounts and their flow rows, and
// the number of a note the database makes itself.

#include "db/Database.h"

#include <QDate>
#include <optional>

namespace notedb::posting {

// The postings' own reads and writes, the same few for every note: on the
// server through the connection's kept statements (no savepoint each), on
// SQLite through the layer's cached statements.
db::ResultSet postingRead(db::Database &d, const QString &sql, const db::Params &params = {});
QVariant postingScalar(db::Database &d, const QString &sql, const db::Params &params = {});
int postingWrite(db::Database &d, const QString &sql, const db::Params &params);

// The action named in a refusal, after the state the note was moving to
// (1 audit, 0 un-audit, 2 void, -1 delete).
QString actionOf(int newState);

// On the server, where clients post at once: runs `sql` (a select ending in
// FOR UPDATE, or any statement taking a lock) as it is, with `values` bound by
// position, so that what a posting reads and then writes is not changed by
// another client before it commits. Does nothing on SQLite, where a writer
// holds the whole file.
void lockOnServer(db::Database &d, const QString &sql, const QVariantList &values = {});

// The books' amount precision ("AmtDecimals"), read on the posting's connection.
int amountDecimals(db::Database &d);
// The same from the parameter's value, read with its select beside another one.
constexpr const char *kAmountDecimals = "select DATAVALUE from sysparamamth where upper(PARAMNAME) = 'AMTDECIMALS'";
int amountDecimalsOf(const QVariant &value);

struct Account {
    QString name;
    bool closed = false;
};
// Null when the account does not exist.
std::optional<Account> findAccount(db::Database &d, qint64 id);
void refuseClosed(const Account &a, const QString &action);
// Refuses a missing, unknown or closed account; `role` names it in the text.
void checkAccount(db::Database &d, const QString &noteCode, const QString &role, const QVariant &accountId,
                  const QString &action);

// Moves `delta` into the account and returns its balance afterwards, both
// rounded to the amount precision so that sums stay exact in cents.
double addToBalance(db::Database &d, qint64 accountId, double delta, int decimals);

// Moves in - out into the account and writes its flow row for the note.
void postAccountFlow(db::Database &d, qint64 accountId, int noteType, qint64 noteId, const QVariant &noteCode,
                     const QVariant &noteDate, double in, double out, const QVariant &checker, int decimals);

// Undoes the note's account-flow rows, newest first; later rows of the same
// account have their running balance corrected so the chain stays whole.
void reverseAccountFlows(db::Database &d, int noteType, qint64 noteId, const QString &action);

// The next number of a note of `noteType` dated `date` in `table`, after the
// rule of notetypelth (head, separator, year, month, four-digit serial); a
// type without a rule numbers as "<type>-yyyyMM-serial".
QString newNoteCode(db::Database &d, int noteType, const QString &table, const QDate &date);

} // namespace notedb::posting
