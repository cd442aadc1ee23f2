#pragma once
// Runs a T-SQL batch step by step: procedure calls with OUTPUT arguments, local
// variables (held in their declared type), assignment select (the last row's values),
// @@trancount / @@rowcount / @@error, IF [NOT] EXISTS / IF <condition> with BEGIN ... END
// blocks and ELSE, SET XACT_ABORT, BEGIN/COMMIT/ROLLBACK TRAN, ALTER TABLE ... DISABLE|
// ENABLE TRIGGER ALL, and plain statements (translated and run by the layer). Nesting
// deeper than MaxNesting is refused before the stack runs out.

#include "db/Database.h"
#include "db/TsqlTranslator.h"

namespace db {

class BatchRunner {
public:
    BatchRunner(Database &database, const Params &params);
    ResultSet run(const QString &batch);

    // The value of @name after run() (name with or without '@', any case).
    QVariant variable(const QString &name) const;

private:
    enum class Flow { Next, Return };
    Flow runStatement(bool execute);
    Flow runBlockUntilEnd(bool execute);
    int statementEnd(int from) const; // index one past the statement starting at `from`
    int skip(int i) const;            // next significant token at or after i
    bool isWord(int i, const char *word) const;
    bool isStart(int i) const; // a keyword that starts a statement
    QString text(int from, int to, Params &binds) const;
    QVariant evaluate(int from, int to);
    QVariant argumentValue(int from, int to);
    void runPlain(int from, int to);
    void runExec(int from, int to);
    void runDeclare(int from, int to);
    void runSet(int from, int to);
    void runAlter(int from, int to);
    bool runAssignmentSelect(int from, int to);
    // Stores a value in @name converted to its declared type, as the original server does.
    void assign(const QString &name, const QVariant &value);
    [[noreturn]] void syntaxError(int at) const;

    Database &m_db;
    Params m_params;
    QVector<Token> m_tokens;
    int m_pos = 0;
    QHash<QString, QVariant> m_vars; // lower-case name without '@'
    QHash<QString, QString> m_declared; // lower-case name -> declared type as written
    qint64 m_rowCount = 0;              // @@rowcount
    int m_depth = 0;                    // nesting of IF and BEGIN ... END
    bool m_xactAbort = false;
    ResultSet m_last;
};

} // namespace db
