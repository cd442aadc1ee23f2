#pragma once
// Tokenizer and translator from the T-SQL the package speaks to the dialect of the
// engine underneath. Translation works on tokens, never on raw text, so string
// literals, quoted names and comments are never rewritten.
//
// What the translation covers (both dialects unless noted):
//  - select [distinct] top N / top (expr) -> LIMIT at the end of that select (inside
//    the parentheses of a subquery; a member of a union is wrapped in a subquery).
//    TOP ... PERCENT and WITH TIES are left alone.
//  - isnull( -> ifnull( (SQLite) / coalesce( (PostgreSQL), its second argument
//    converted to the first one's type; len(x) -> length(rtrim(x)); getdate();
//    charindex(a,b) -> instr(lower(b),lower(a)) / strpos(b,a); dbo. prefixes dropped;
//    N'text' -> 'text'; [name] -> "name".
//  - + by the operands' types (literals, the schema's columns through the statement's
//    tables and aliases, typed batch variables, function results, casts, case):
//    text + text -> ||, a number on either side -> addition with the text read as a
//    number (tsql_int / tsql_num, an error when it is not one). An operand of unknown
//    type next to text is refused with a message naming it.
//  - SQLite: string literals get COLLATE TSQL (case and trailing blanks ignored, as the
//    text columns of the schema); divisors go through tsql_nz (division by zero is an
//    error); cast/convert hold the declared type (tsql_varchar, tsql_char, tsql_int,
//    tsql_dec, ...); round -> tsql_round (half away from zero, negative places).
//  - convert(varchar(n), x, style) for styles 20/21/23/120/121/126 -> substr(x,1,n)
//    (our dates are stored as 'YYYY-MM-DD HH:MM:SS'), 101/102/108/111/112 -> strftime()
//    (to_char() on PostgreSQL); convert(T, x) without a style -> as cast(x as T).
//  - a number glued to a keyword (noteID=12and ...) gets a blank, which SQLite needs.
//  - PostgreSQL only: round(x, n) -> round((x)::numeric, n); like -> ilike (SQL Server
//    compares case-insensitively); quoted names are lower-cased (unquoted names fold).
//  - Refused: unterminated comments and strings, @variables outside a batch, nesting
//    deeper than MaxNesting.
//  - datediff/dateadd/datepart/year/month/day -> tsql_datediff/dateadd/datepart with the
//    date part spelt out ('day'); parts other than year to second are refused (SQLite
//    has these functions from TsqlFunctions, PostgreSQL from the layer's server functions).
//  - Not covered: TOP in update/delete, select ... into, charindex with a start position,
//    convert styles not listed above (all left as written, so the engine reports them).

#include <QHash>
#include <QString>
#include <QVector>

#include <functional>
#include <stdexcept>

namespace db {

struct Token {
    enum Kind {
        Word,        // identifier or keyword: select, dbo, noteID
        QuotedName,  // [name] or "name"
        String,      // 'text' (N'text' too), text holds the literal as written
        Number,      // 12, 3.5, .5
        Parameter,   // :name
        Variable,    // @name, @@name
        Operator,    // punctuation and operators: ( ) , . + - * / = <> <= >= != ; etc.
        Whitespace,  // blanks and line breaks
        Comment,     // -- ... or /* ... */
    };
    Kind kind;
    QString text;
    bool unterminated = false; // a string, quoted name or block comment the text never closes
    bool is(const char *word) const; // case-insensitive match of a Word or Operator
};

QVector<Token> tokenize(const QString &sql);
QString joinTokens(const QVector<Token> &tokens);

// A statement the layer refuses to run rather than risk another answer than the
// original server's; what() is the text shown to the user.
class TranslateError : public std::runtime_error {
public:
    explicit TranslateError(const QString &text) : std::runtime_error(text.toStdString()), m_text(text) {}
    QString text() const { return m_text; }

private:
    QString m_text;
};

// What the layer knows of a value's type: enough to tell concatenation from addition.
enum class SqlType : unsigned char { Unknown, Text, Int, Num, Date, Null };

// Column types of the tables and views: lower-case table -> lower-case column -> type.
using SchemaTypes = QHash<QString, QHash<QString, SqlType>>;
// The type class of a declared column or variable type ("VARCHAR(20)", "numeric(19,6)").
SqlType sqlTypeOf(const QString &declaredType);

// Batch variables reach the translator as parameters whose name carries their type:
// ":__vt_name" text, ":__vi_" integer, ":__vn_" numeric, ":__vd_" date, ":__vu_" unknown.
QString variablePlaceholder(const QString &name, SqlType type);

// Deepest nesting of parentheses, CASE and BEGIN the layer accepts.
constexpr int MaxNesting = 200;
// The original server's text for a statement nested too deeply.
QString tooDeeplyNestedText();

// One translator per connection: the cache is not shared between threads.
class TsqlTranslator {
public:
    enum Dialect { Sqlite, Postgres };
    explicit TsqlTranslator(Dialect dialect = Sqlite) : m_dialect(dialect) {}

    // Where column types come from (called on a cache miss only; may return null).
    using SchemaSource = std::function<const SchemaTypes *()>;
    void setSchemaSource(SchemaSource source) { m_schema = std::move(source); }

    // Statements with literal keys inlined make the cache grow with use; past this
    // many entries it starts over.
    static constexpr int MaxCacheEntries = 10000;

    // Translates one statement; the result for a text already seen comes from a cache.
    // Throws TranslateError for a statement it refuses.
    QString translate(const QString &tsql);
    // Translation without the cache (what translate() stores).
    QString translateUncached(const QString &tsql) const;

    Dialect dialect() const { return m_dialect; }
    int cacheSize() const { return int(m_cache.size()); }
    void clearCache() { m_cache.clear(); }

private:
    Dialect m_dialect;
    SchemaSource m_schema;
    QHash<QString, QString> m_cache;
};

} // namespace db
