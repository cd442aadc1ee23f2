#include "db/TsqlTranslator.h"

#include <QSet>

#include <algorithm>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace db {

bool Token::is(const char *word) const
{
    if (kind != Word && kind != Operator)
        return false;
    const QLatin1String w(word);
    return text.size() == w.size() && text.compare(w, Qt::CaseInsensitive) == 0;
}

namespace {

bool isDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }
bool isHexDigit(QChar c)
{
    const ushort u = c.unicode();
    return isDigit(c) || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}
// Surrogates count as letters so a character outside the BMP is never split.
bool isIdentStart(QChar c) { return c.isLetter() || c == u'_' || c == u'#' || c.isSurrogate(); }
bool isIdentChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'@' || c == u'#' || c == u'$' || c.isSurrogate();
}
bool isParamChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

// Advances past a quoted run whose closing character is doubled to escape it;
// false when the text ends first.
bool skipQuoted(const QChar *s, int n, int &i, QChar close)
{
    while (i < n) {
        if (s[i] == close) {
            if (i + 1 < n && s[i + 1] == close) {
                i += 2;
                continue;
            }
            ++i;
            return true;
        }
        ++i;
    }
    return false;
}

} // namespace

QVector<Token> tokenize(const QString &sql)
{
    QVector<Token> out;
    const int n = int(sql.size());
    const QChar *s = sql.constData();
    int i = 0;
    auto push = [&](Token::Kind kind, int from, bool open = false) {
        out.push_back(Token{kind, sql.mid(from, i - from), open});
    };

    while (i < n) {
        const int start = i;
        const QChar c = s[i];
        const QChar next = i + 1 < n ? s[i + 1] : QChar();

        if (c.isSpace()) {
            while (i < n && s[i].isSpace())
                ++i;
            push(Token::Whitespace, start);
        } else if (c == u'-' && next == u'-') {
            while (i < n && s[i] != u'\n' && s[i] != u'\r')
                ++i;
            push(Token::Comment, start);
        } else if (c == u'/' && next == u'*') {
            // T-SQL block comments nest.
            int depth = 1;
            i += 2;
            while (i < n && depth > 0) {
                if (s[i] == u'/' && i + 1 < n && s[i + 1] == u'*') {
                    ++depth;
                    i += 2;
                } else if (s[i] == u'*' && i + 1 < n && s[i + 1] == u'/') {
                    --depth;
                    i += 2;
                } else {
                    ++i;
                }
            }
            push(Token::Comment, start, depth > 0);
        } else if (c == u'\'' || ((c == u'N' || c == u'n') && next == u'\'')) {
            i += c == u'\'' ? 1 : 2;
            const bool closed = skipQuoted(s, n, i, u'\'');
            push(Token::String, start, !closed);
        } else if (c == u'[') {
            ++i;
            const bool closed = skipQuoted(s, n, i, u']');
            push(Token::QuotedName, start, !closed);
        } else if (c == u'"') {
            ++i;
            const bool closed = skipQuoted(s, n, i, u'"');
            push(Token::QuotedName, start, !closed);
        } else if (isDigit(c) || (c == u'.' && isDigit(next))) {
            if (c == u'0' && (next == u'x' || next == u'X')) {
                i += 2;
                while (i < n && isHexDigit(s[i]))
                    ++i;
            } else {
                while (i < n && isDigit(s[i]))
                    ++i;
                if (i < n && s[i] == u'.') {
                    ++i;
                    while (i < n && isDigit(s[i]))
                        ++i;
                }
                if (i < n && (s[i] == u'e' || s[i] == u'E')) {
                    int j = i + 1;
                    if (j < n && (s[j] == u'+' || s[j] == u'-'))
                        ++j;
                    if (j < n && isDigit(s[j])) {
                        i = j;
                        while (i < n && isDigit(s[i]))
                            ++i;
                    }
                }
            }
            push(Token::Number, start);
        } else if (c == u':' && i + 1 < n && isParamChar(next)) {
            ++i;
            while (i < n && isParamChar(s[i]))
                ++i;
            push(Token::Parameter, start);
        } else if (c == u'@' && (next == u'@' || (i + 1 < n && isIdentChar(next)))) {
            ++i;
            while (i < n && isIdentChar(s[i]))
                ++i;
            push(Token::Variable, start);
        } else if (isIdentStart(c)) {
            while (i < n && isIdentChar(s[i]))
                ++i;
            push(Token::Word, start);
        } else {
            static const char *const pairs[] = {"<>", "<=", ">=", "!=", "!<", "!>", "||", "::"};
            i += 1;
            if (i < n) {
                for (const char *p : pairs) {
                    if (c == QLatin1Char(p[0]) && s[i] == QLatin1Char(p[1])) {
                        ++i;
                        break;
                    }
                }
            }
            push(Token::Operator, start);
        }
    }
    return out;
}

QString joinTokens(const QVector<Token> &tokens)
{
    qsizetype size = 0;
    for (const Token &t : tokens)
        size += t.text.size();
    QString out;
    out.reserve(size);
    for (const Token &t : tokens)
        out += t.text;
    return out;
}

namespace {

// The statement as a tree: parentheses become groups, a name followed by a group a call.
struct Node {
    enum Type { Leaf, Group, Call, Raw };
    Type type = Leaf;
    Token::Kind kind = Token::Operator; // Leaf only
    QString text;                       // Leaf: token; Call: function name; Raw: replacement
    std::vector<Node> kids;             // Group: content; Call: gap tokens, then the group
    bool closed = true;                 // Group: has its ')'
    SqlType vtype = SqlType::Unknown;   // Group, Call, Raw: the value's type when known
    QString pre, post;                  // text emitted around the node

    bool isWord() const { return type == Leaf && kind == Token::Word; }
    bool isWord(const char *w) const
    {
        // The length test first: most words are not the one asked for.
        const QLatin1String word(w);
        return isWord() && text.size() == word.size() && text.compare(word, Qt::CaseInsensitive) == 0;
    }
    bool isOp(const char *op) const
    {
        return type == Leaf && kind == Token::Operator && text == QLatin1String(op);
    }
    bool isBlank() const
    {
        return type == Leaf && (kind == Token::Whitespace || kind == Token::Comment);
    }
    Node &args() { return kids.back(); }
    const Node &args() const { return kids.back(); }
};

using Seq = std::vector<Node>;

// An ASCII word in lower case (keywords are ASCII); empty for anything else or longer
// than any keyword. Avoids a Unicode case mapping per token.
std::string_view asciiLower(const QString &word, char (&buf)[16])
{
    const qsizetype n = word.size();
    if (n == 0 || n >= qsizetype(sizeof buf))
        return {};
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = word[i].unicode();
        if (c >= 128)
            return {};
        buf[i] = (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : char(c);
    }
    return std::string_view(buf, size_t(n));
}

const std::unordered_set<std::string_view> &keywords()
{
    // Words that never start an operand nor name a function.
    static const std::unordered_set<std::string_view> set = {
        "select", "from", "where", "and", "or", "not", "as", "on",
        "join", "inner", "outer", "full", "cross", "group", "order", "by",
        "having", "union", "all", "distinct", "top", "when", "then", "else",
        "end", "case", "like", "in", "is", "between", "exists", "into",
        "values", "set", "update", "delete", "insert", "exec", "execute", "declare",
        "if", "begin", "commit", "rollback", "while", "return", "print", "except",
        "intersect", "asc", "desc", "with", "escape", "collate", "over", "percent",
        "output", "null",
    };
    return set;
}

bool isKeyword(const QString &word)
{
    char buf[16];
    const std::string_view w = asciiLower(word, buf);
    return !w.empty() && keywords().count(w) > 0;
}

// Words that end a select when met at its own level: the next statement or a union.
bool endsSelect(const Node &n)
{
    static const std::unordered_set<std::string_view> set = {
        "union", "except", "intersect", "select", "insert", "update", "delete", "exec",
        "execute", "declare", "if", "begin", "commit", "rollback", "while", "return",
        "print", "set", "alter", "create", "drop", "truncate", "go",
    };
    if (n.isOp(";"))
        return true;
    char buf[16];
    return n.isWord() && set.count(asciiLower(n.text, buf)) > 0;
}

bool isCompound(const Node &n) { return n.isWord("union") || n.isWord("except") || n.isWord("intersect"); }

bool isCharType(const QString &lowerName)
{
    return lowerName == u"varchar" || lowerName == u"nvarchar" || lowerName == u"char"
        || lowerName == u"nchar" || lowerName == u"text" || lowerName == u"ntext"
        || lowerName == u"sysname";
}

bool isStringFunction(const QString &lowerName)
{
    static const QSet<QString> set = {
        QStringLiteral("upper"),   QStringLiteral("lower"),     QStringLiteral("ltrim"),
        QStringLiteral("rtrim"),   QStringLiteral("trim"),      QStringLiteral("substring"),
        QStringLiteral("substr"),  QStringLiteral("left"),      QStringLiteral("right"),
        QStringLiteral("replace"), QStringLiteral("replicate"), QStringLiteral("space"),
        QStringLiteral("char"),    QStringLiteral("nchar"),     QStringLiteral("str"),
        QStringLiteral("concat"),  QStringLiteral("sevengetnotecode"),
    };
    return set.contains(lowerName);
}

void writeNode(const Node &n, QString &out, bool plain = false);

void writeSeq(const Seq &seq, QString &out, size_t from = 0, size_t to = size_t(-1), bool plain = false)
{
    to = std::min(to, seq.size());
    for (size_t i = from; i < to; ++i)
        writeNode(seq[i], out, plain);
}

// plain: without the text the translation put around nodes (for messages).
void writeNode(const Node &n, QString &out, bool plain)
{
    if (!plain)
        out += n.pre;
    switch (n.type) {
    case Node::Leaf:
    case Node::Raw:
        out += n.text;
        break;
    case Node::Group:
        out += u'(';
        writeSeq(n.kids, out, 0, size_t(-1), plain);
        if (n.closed)
            out += u')';
        break;
    case Node::Call:
        out += n.text;
        writeSeq(n.kids, out, 0, size_t(-1), plain);
        break;
    }
    if (!plain)
        out += n.post;
}

Seq build(const QVector<Token> &toks, int &i, bool inGroup, bool &closed)
{
    Seq seq;
    while (i < toks.size()) {
        const Token &t = toks[i];
        if (t.kind == Token::Operator && t.text == u"(") {
            ++i;
            Node g;
            g.type = Node::Group;
            g.kids = build(toks, i, true, g.closed);
            seq.push_back(std::move(g));
            continue;
        }
        if (inGroup && t.kind == Token::Operator && t.text == u")") {
            ++i;
            closed = true;
            return seq;
        }
        Node leaf;
        leaf.kind = t.kind;
        leaf.text = t.text;
        seq.push_back(std::move(leaf));
        ++i;
    }
    closed = false;
    return seq;
}

// Name ( ... ) becomes one call node, blanks between name and parenthesis kept.
void mergeCalls(Seq &seq)
{
    Seq out;
    out.reserve(seq.size());
    for (size_t i = 0; i < seq.size(); ++i) {
        Node &n = seq[i];
        if (n.isWord() && !isKeyword(n.text)) {
            size_t j = i + 1;
            while (j < seq.size() && seq[j].isBlank())
                ++j;
            if (j < seq.size() && seq[j].type == Node::Group) {
                Node call;
                call.type = Node::Call;
                call.text = n.text;
                for (size_t k = i + 1; k <= j; ++k)
                    call.kids.push_back(std::move(seq[k]));
                out.push_back(std::move(call));
                i = j;
                continue;
            }
        }
        out.push_back(std::move(n));
    }
    seq.swap(out);
}

// Content of a group split at its top-level commas, each argument trimmed of blanks.
QStringList splitArgs(const Node &group)
{
    QStringList args;
    QString cur;
    for (const Node &k : group.kids) {
        if (k.isOp(",")) {
            args << cur.trimmed();
            cur.clear();
        } else {
            writeNode(k, cur);
        }
    }
    if (!cur.trimmed().isEmpty() || !args.isEmpty())
        args << cur.trimmed();
    return args;
}

std::vector<size_t> significant(const Seq &seq)
{
    std::vector<size_t> sig;
    sig.reserve(seq.size());
    for (size_t i = 0; i < seq.size(); ++i) {
        if (!seq[i].isBlank())
            sig.push_back(i);
    }
    return sig;
}

QString bareName(const QString &text)
{
    if (text.size() >= 2 && (text.startsWith(u'"') || text.startsWith(u'[')))
        return text.mid(1, text.size() - 2).toLower();
    return text.toLower();
}

// Tables a statement names, with their aliases (every level of the statement).
struct Scope {
    QHash<QString, QString> aliases; // lower-case alias or table name -> lower-case table
    QStringList tables;
};

Scope collectScope(const QVector<Token> &toks)
{
    Scope scope;
    std::vector<int> sig;
    sig.reserve(size_t(toks.size()));
    for (int i = 0; i < toks.size(); ++i)
        if (toks[i].kind != Token::Whitespace && toks[i].kind != Token::Comment)
            sig.push_back(i);
    auto tok = [&](size_t k) -> const Token & { return toks[sig[k]]; };
    auto isName = [&](size_t k) {
        return k < sig.size()
            && ((tok(k).kind == Token::Word && !isKeyword(tok(k).text)) || tok(k).kind == Token::QuotedName);
    };
    // Per parenthesis level: inside a FROM list, where a comma introduces another table.
    std::vector<bool> inFrom(1, false);
    for (size_t k = 0; k < sig.size(); ++k) {
        const Token &t = tok(k);
        if (t.kind == Token::Operator && t.text == u"(") {
            inFrom.push_back(false);
            continue;
        }
        if (t.kind == Token::Operator && t.text == u")") {
            if (inFrom.size() > 1)
                inFrom.pop_back();
            continue;
        }
        bool tableNext = false;
        if (t.kind == Token::Word) {
            if (t.is("from")) {
                inFrom.back() = true;
                tableNext = true;
            } else if (t.is("join") || t.is("update") || t.is("into")) {
                tableNext = true;
            } else if (isKeyword(t.text) && !t.is("as")) {
                inFrom.back() = t.is("inner") || t.is("outer") || t.is("left") || t.is("right") || t.is("cross")
                    || t.is("full") ? inFrom.back() : false;
            }
        } else if (t.kind == Token::Operator && t.text == u"," && inFrom.back()) {
            tableNext = true;
        }
        if (!tableNext || !isName(k + 1))
            continue;
        size_t n = k + 1;
        while (n + 2 < sig.size() && tok(n + 1).kind == Token::Operator && tok(n + 1).text == u"." && isName(n + 2))
            n += 2;
        const QString table = bareName(tok(n).text);
        scope.tables << table;
        scope.aliases.insert(table, table);
        size_t a = n + 1;
        if (a < sig.size() && tok(a).is("as"))
            ++a;
        if (isName(a) && !(a + 1 < sig.size() && tok(a + 1).kind == Token::Operator && tok(a + 1).text == u"("))
            scope.aliases.insert(bareName(tok(a).text), table);
        k = n;
    }
    return scope;
}

SqlType numericOf(SqlType a, SqlType b)
{
    return (a == SqlType::Num || b == SqlType::Num || a == SqlType::Unknown || b == SqlType::Unknown) ? SqlType::Num
                                                                                                      : SqlType::Int;
}

// The type of a value that is either a or b (coalesce, the branches of a case).
SqlType merged(SqlType a, SqlType b)
{
    if (a == SqlType::Null)
        return b;
    if (b == SqlType::Null || a == b)
        return a;
    if ((a == SqlType::Int || a == SqlType::Num) && (b == SqlType::Int || b == SqlType::Num))
        return SqlType::Num;
    return SqlType::Unknown;
}

class Translator {
public:
    Translator(TsqlTranslator::Dialect d, const TsqlTranslator::SchemaSource &schema)
        : m_pg(d == TsqlTranslator::Postgres), m_schemaSource(schema)
    {
    }

    QString run(const QString &tsql)
    {
        QVector<Token> toks = tokenize(tsql);
        check(toks);
        prepareTokens(toks);
        for (const Token &t : toks) {
            if (t.kind == Token::Whitespace || t.kind == Token::Comment)
                continue;
            m_ddl = t.is("create") || t.is("alter") || t.is("drop") || t.is("pragma");
            break;
        }
        m_scope = collectScope(toks);
        int i = 0;
        bool closed = false;
        Seq seq = build(toks, i, false, closed);
        process(seq);
        QString out;
        out.reserve(tsql.size() + 16);
        writeSeq(seq, out);
        return out;
    }

private:
    bool m_pg;
    bool m_ddl = false;
    bool m_inValues = false;
    const TsqlTranslator::SchemaSource &m_schemaSource;
    const SchemaTypes *m_schema = nullptr;
    bool m_schemaAsked = false;
    Scope m_scope;

    struct Content {
        std::vector<SqlType> items; // type of each comma-separated item of one expression
    };

    [[noreturn]] static void refuse(const QString &text) { throw TranslateError(text); }

    // What the statement must not contain, and how deep it may nest: refused before
    // anything recursive runs, so no input exhausts the stack.
    static void check(const QVector<Token> &toks)
    {
        int depth = 0, cases = 0;
        for (const Token &t : toks) {
            if (t.unterminated) {
                if (t.kind == Token::Comment)
                    refuse(QStringLiteral("缺少注释结束标记 '*/'。"));
                refuse(QStringLiteral("字符串 '%1' 后的引号不完整。").arg(t.text.mid(t.text.startsWith(u'N') ? 2 : 1)));
            }
            if (t.kind == Token::Variable) {
                if (t.text.startsWith(QLatin1String("@@")))
                    refuse(QStringLiteral("不支持全局变量 %1。").arg(t.text));
                refuse(QStringLiteral("必须声明标量变量 \"%1\"。").arg(t.text));
            }
            if (t.kind == Token::Operator && t.text == u"(") {
                ++depth;
            } else if (t.kind == Token::Operator && t.text == u")") {
                depth = std::max(0, depth - 1);
            } else if (t.kind == Token::Word && t.is("case")) {
                ++depth;
                ++cases;
            } else if (t.kind == Token::Word && t.is("end") && cases > 0) {
                --depth;
                --cases;
            }
            if (depth > MaxNesting)
                refuse(tooDeeplyNestedText());
        }
    }

    // Token-level fixes that need no structure.
    void prepareTokens(QVector<Token> &toks) const
    {
        QVector<Token> out;
        out.reserve(toks.size() + 4);
        for (int i = 0; i < toks.size(); ++i) {
            const Token &t = toks[i];
            // dbo.name -> name ([dbo] and "dbo" too), but not the middle of db.dbo.name.
            const bool dbo = (t.kind == Token::Word && t.text.compare(u"dbo", Qt::CaseInsensitive) == 0)
                || (t.kind == Token::QuotedName && t.text.size() == 5
                    && t.text.mid(1, 3).compare(u"dbo", Qt::CaseInsensitive) == 0);
            if (dbo && i + 2 < toks.size() && toks[i + 1].kind == Token::Operator && toks[i + 1].text == u"."
                && (toks[i + 2].kind == Token::Word || toks[i + 2].kind == Token::QuotedName)
                && !(!out.isEmpty() && out.back().kind == Token::Operator && out.back().text == u".")) {
                ++i; // skip the dot as well
                continue;
            }
            out.push_back(t);
            // SQLite refuses a number glued to a word ("12and").
            if (t.kind == Token::Number && i + 1 < toks.size() && toks[i + 1].kind == Token::Word)
                out.push_back(Token{Token::Whitespace, QStringLiteral(" ")});
        }
        toks.swap(out);
    }

    // ------------------------------------------------------------ types

    const SchemaTypes *schema()
    {
        if (!m_schemaAsked) {
            m_schemaAsked = true;
            m_schema = m_schemaSource ? m_schemaSource() : nullptr;
        }
        return m_schema;
    }

    SqlType columnOf(const QString &table, const QString &column)
    {
        const SchemaTypes *s = schema();
        if (!s)
            return SqlType::Unknown;
        const auto t = s->constFind(table);
        if (t == s->constEnd())
            return SqlType::Unknown;
        return t->value(column, SqlType::Unknown);
    }

    // A bare column: its type when every table of the statement that has it agrees.
    SqlType column(const QString &name)
    {
        if (m_ddl)
            return SqlType::Unknown;
        const QString c = bareName(name);
        const SchemaTypes *s = schema();
        if (!s)
            return SqlType::Unknown;
        SqlType found = SqlType::Unknown;
        for (const QString &table : std::as_const(m_scope.tables)) {
            const auto t = s->constFind(table);
            if (t == s->constEnd())
                continue;
            const auto col = t->constFind(c);
            if (col == t->constEnd())
                continue;
            if (found != SqlType::Unknown && found != col.value())
                return SqlType::Unknown;
            found = col.value();
        }
        return found;
    }

    SqlType qualifiedColumn(const QString &qualifier, const QString &name)
    {
        if (m_ddl)
            return SqlType::Unknown;
        const QString table = m_scope.aliases.value(bareName(qualifier));
        return table.isEmpty() ? SqlType::Unknown : columnOf(table, bareName(name));
    }

    static SqlType parameterType(const QString &text)
    {
        // ":__vt_name": a batch variable of a declared type.
        if (text.size() > 6 && text.startsWith(QLatin1String(":__v")) && text[5] == u'_') {
            switch (text[4].unicode()) {
            case 't': return SqlType::Text;
            case 'i': return SqlType::Int;
            case 'n': return SqlType::Num;
            case 'd': return SqlType::Date;
            default: break;
            }
        }
        return SqlType::Unknown;
    }

    SqlType typeOf(const Node &n)
    {
        if (n.type != Node::Leaf)
            return n.vtype;
        switch (n.kind) {
        case Token::String:
            return SqlType::Text;
        case Token::Number:
            return (n.text.contains(u'.') || ((n.text.contains(u'e') || n.text.contains(u'E')) && !n.text.startsWith(QLatin1String("0x"))))
                ? SqlType::Num
                : SqlType::Int;
        case Token::Parameter:
            return parameterType(n.text);
        case Token::Word:
            if (n.isWord("null"))
                return SqlType::Null;
            return isKeyword(n.text) ? SqlType::Unknown : column(n.text);
        case Token::QuotedName:
            return column(n.text);
        default:
            return SqlType::Unknown;
        }
    }

    static SqlType declaredType(const Node &typeNode) { return sqlTypeOf(typeNode.text); }

    SqlType callType(const Node &call, const Content &args) const
    {
        const QString name = call.text.toLower();
        const SqlType a0 = args.items.empty() ? SqlType::Unknown : args.items[0];
        const SqlType a1 = args.items.size() < 2 ? SqlType::Unknown : args.items[1];
        if (isStringFunction(name))
            return SqlType::Text;
        static const QSet<QString> ints = {
            QStringLiteral("len"),       QStringLiteral("length"),   QStringLiteral("charindex"),
            QStringLiteral("instr"),     QStringLiteral("count"),    QStringLiteral("datalength"),
            QStringLiteral("funcdefcodetoserialno"), QStringLiteral("funcdefdatecomp"), QStringLiteral("datediff"),
            QStringLiteral("year"),      QStringLiteral("month"),    QStringLiteral("day"),
            QStringLiteral("ascii"),     QStringLiteral("unicode"),  QStringLiteral("patindex"),
            QStringLiteral("datepart"),
        };
        if (ints.contains(name))
            return SqlType::Int;
        if (name == u"getdate" || name == u"dateadd")
            return SqlType::Date;
        if (name == u"cast") {
            const int t = castTypeIndex(call.args());
            return t >= 0 ? declaredType(call.args().kids[size_t(t)]) : SqlType::Unknown;
        }
        if (name == u"convert") {
            const Node *t = convertType(call.args());
            return t ? declaredType(*t) : SqlType::Unknown;
        }
        if (name == u"isnull" || name == u"ifnull")
            return a0 == SqlType::Null ? a1 : a0;
        if (name == u"coalesce" || name == u"nullif") {
            SqlType t = SqlType::Null;
            for (SqlType a : args.items)
                t = merged(t, a);
            return t == SqlType::Null ? SqlType::Unknown : t;
        }
        if (name == u"max" || name == u"min")
            return a0;
        if (name == u"sum" || name == u"avg" || name == u"abs" || name == u"round" || name == u"floor"
            || name == u"ceiling" || name == u"sign")
            return (a0 == SqlType::Int || a0 == SqlType::Num) ? a0 : SqlType::Unknown;
        return SqlType::Unknown;
    }

    // ------------------------------------------------------------ tree passes

    Content process(Seq &seq)
    {
        mergeCalls(seq);
        const Node *prev = nullptr;
        for (Node &n : seq) {
            if (n.type == Node::Group) {
                // Values to store need no collation: only comparisons do.
                const bool values = prev && prev->isWord("values") && !m_inValues;
                m_inValues = m_inValues || values;
                processGroup(n);
                m_inValues = m_inValues && !values;
            } else if (n.type == Node::Call) {
                const Content args = processGroup(n.args());
                n.vtype = callType(n, args);
                rewriteCall(n, args);
            } else if (n.type == Node::Leaf) {
                rewriteLeaf(n, prev);
            }
            if (!n.isBlank())
                prev = &n;
        }
        Content c = Expressions(*this, seq).run();
        limits(seq);
        return c;
    }

    Content processGroup(Node &g)
    {
        Content c = process(g.kids);
        g.vtype = c.items.size() == 1 ? c.items[0] : SqlType::Unknown;
        return c;
    }

    void rewriteLeaf(Node &n, const Node *prev) const
    {
        switch (n.kind) {
        case Token::String:
            if (n.text.startsWith(u'N') || n.text.startsWith(u'n'))
                n.text.remove(0, 1);
            // Literals compare as the text columns do: case and trailing blanks ignored.
            // A literal right after a value or AS is a column alias (select NAME '名称').
            if (!m_pg && !m_ddl && !m_inValues
                && !(prev && (prev->isWord("as") || prev->isWord("end") || isOperand(*prev))))
                n.post += QStringLiteral(" COLLATE TSQL");
            // The server takes no string for a column alias: a quoted name instead.
            if (m_pg && !m_ddl && !m_inValues && prev
                && (prev->isWord("as") || prev->isWord("end") || namesAValue(*prev))) {
                QString inner = n.text.mid(1, n.text.size() - 2);
                inner.replace(QStringLiteral("''"), QStringLiteral("'"));
                inner.replace(QStringLiteral("\""), QStringLiteral("\"\""));
                n.text = u'"' + inner.toLower() + u'"';
                if (!prev->isWord("as"))
                    n.pre += QStringLiteral("AS ");
            }
            break;
        case Token::QuotedName:
            if (n.text.size() >= 2 && n.text.startsWith(u'[') && n.text.endsWith(u']')) {
                QString inner = n.text.mid(1, n.text.size() - 2);
                inner.replace(QStringLiteral("]]"), QStringLiteral("]"));
                inner.replace(QStringLiteral("\""), QStringLiteral("\"\""));
                n.text = u'"' + inner + u'"';
            }
            if (m_pg)
                n.text = n.text.toLower();
            break;
        case Token::Parameter:
            // The server guesses an untyped parameter's type from where it
            // stands, as text when nothing tells it: a number variable keeps its type.
            if (m_pg && (n.text.startsWith(QLatin1String(":__vi_")) || n.text.startsWith(QLatin1String(":__vn_")))) {
                n.pre += QStringLiteral("CAST(");
                n.post.prepend(n.text.startsWith(QLatin1String(":__vi_")) ? QStringLiteral(" AS bigint)")
                                                                           : QStringLiteral(" AS numeric)"));
            }
            break;
        case Token::Word:
            if (m_pg && n.text.compare(u"like", Qt::CaseInsensitive) == 0)
                n.text = QStringLiteral("ilike");
            break;
        case Token::Comment:
            // SQLite does not nest block comments: defuse the inner markers.
            if (n.text.startsWith(u"/*") && n.text.endsWith(u"*/") && n.text.size() >= 4) {
                QString inner = n.text.mid(2, n.text.size() - 4);
                if (inner.contains(u"/*") || inner.contains(u"*/")) {
                    inner.replace(QStringLiteral("/*"), QStringLiteral("/ *"));
                    inner.replace(QStringLiteral("*/"), QStringLiteral("* /"));
                    n.text = QStringLiteral("/*") + inner + QStringLiteral("*/");
                }
            }
            break;
        default:
            break;
        }
    }

    // The type word of cast(x as T): index of the node after the last top-level AS.
    static int castTypeIndex(const Node &group)
    {
        int as = -1;
        for (size_t i = 0; i < group.kids.size(); ++i) {
            if (group.kids[i].isWord("as"))
                as = int(i);
        }
        if (as < 0)
            return -1;
        for (size_t i = size_t(as) + 1; i < group.kids.size(); ++i) {
            const Node &k = group.kids[i];
            if (k.isBlank())
                continue;
            return (k.isWord() || k.type == Node::Call) ? int(i) : -1;
        }
        return -1;
    }

    static QString typeName(const Node &typeNode) { return typeNode.text.toLower(); }

    // The first significant node of a convert()'s type argument.
    static const Node *convertType(const Node &group)
    {
        for (const Node &k : group.kids) {
            if (k.isBlank())
                continue;
            return (k.isWord() || k.type == Node::Call) ? &k : nullptr;
        }
        return nullptr;
    }

    // PostgreSQL target type for cast(); empty keeps what was written.
    QString pgType(const Node &typeNode) const
    {
        const QString name = typeName(typeNode);
        QStringList params;
        if (typeNode.type == Node::Call)
            params = splitArgs(typeNode.args());
        const bool isMax = !params.isEmpty() && params.first().compare(u"max", Qt::CaseInsensitive) == 0;
        if (name == u"varchar" || name == u"nvarchar")
            return params.isEmpty() ? QStringLiteral("varchar")
                 : isMax           ? QStringLiteral("text")
                                   : QString(QStringLiteral("varchar(") + params.first() + u')');
        if (name == u"char" || name == u"nchar")
            return params.isEmpty() ? QStringLiteral("char") : QString(QStringLiteral("char(") + params.first() + u')');
        if (name == u"ntext" || name == u"text" || name == u"xml")
            return QStringLiteral("text");
        if (name == u"sysname")
            return QStringLiteral("varchar(128)");
        if (name == u"uniqueidentifier")
            return QStringLiteral("uuid");
        if (name == u"datetime" || name == u"smalldatetime" || name == u"datetime2")
            return QStringLiteral("timestamp");
        if (name == u"datetimeoffset")
            return QStringLiteral("timestamptz");
        if (name == u"money" || name == u"smallmoney")
            return QStringLiteral("numeric(19,4)");
        if (name == u"float")
            return QStringLiteral("double precision");
        if (name == u"tinyint")
            return QStringLiteral("smallint");
        if (name == u"bit")
            return QStringLiteral("integer");
        if (name == u"binary" || name == u"varbinary" || name == u"image")
            return QStringLiteral("bytea");
        return {};
    }

    // value converted to the declared type as the original server converts it; empty
    // when the type is not one the layer knows (the statement is left as written).
    QString sqliteCast(const QString &value, const Node &typeNode) const
    {
        const QString name = typeName(typeNode);
        QStringList params;
        if (typeNode.type == Node::Call)
            params = splitArgs(typeNode.args());
        const QString p0 = params.value(0).trimmed();
        auto length = [&](int defaultLength) {
            if (p0.compare(u"max", Qt::CaseInsensitive) == 0)
                return -1;
            bool ok = false;
            const int n = p0.toInt(&ok);
            return ok && n > 0 ? n : defaultLength;
        };
        if (name == u"varchar" || name == u"nvarchar") {
            const int n = length(30);
            return n < 0 ? QString(QStringLiteral("cast(") + value + QStringLiteral(" as text)"))
                         : QString(QStringLiteral("tsql_varchar(") + value + u',' + QString::number(n) + u')');
        }
        if (name == u"char" || name == u"nchar")
            return QStringLiteral("tsql_char(") + value + u',' + QString::number(std::max(1, length(30))) + u')';
        if (name == u"sysname")
            return QStringLiteral("tsql_varchar(") + value + QStringLiteral(",128)");
        if (name == u"text" || name == u"ntext" || name == u"xml" || name == u"uniqueidentifier" || name == u"datetime"
            || name == u"smalldatetime" || name == u"datetime2" || name == u"date" || name == u"time"
            || name == u"datetimeoffset")
            return QStringLiteral("cast(") + value + QStringLiteral(" as text)");
        if (name == u"int" || name == u"smallint" || name == u"tinyint" || name == u"integer")
            return QStringLiteral("tsql_int(") + value + u')';
        if (name == u"bigint")
            return QStringLiteral("tsql_int(") + value + QStringLiteral(",64)");
        if (name == u"decimal" || name == u"numeric" || name == u"dec") {
            bool ok = false;
            int precision = p0.toInt(&ok);
            if (!ok || precision <= 0)
                precision = 18;
            int scale = params.size() > 1 ? params[1].trimmed().toInt(&ok) : 0;
            if (!ok || scale < 0)
                scale = 0;
            return QStringLiteral("tsql_dec(") + value + u',' + QString::number(precision) + u',' + QString::number(scale) + u')';
        }
        if (name == u"money" || name == u"smallmoney")
            return QStringLiteral("tsql_dec(") + value + QStringLiteral(",19,4)");
        if (name == u"float" || name == u"real")
            return QStringLiteral("cast(tsql_num(") + value + QStringLiteral(") as real)");
        if (name == u"bit")
            return QStringLiteral("(tsql_num(") + value + QStringLiteral(")<>0)");
        if (name == u"binary" || name == u"varbinary" || name == u"image")
            return QStringLiteral("cast(") + value + QStringLiteral(" as blob)");
        return {};
    }

    static void toRaw(Node &call, const QString &text)
    {
        call.type = Node::Raw;
        call.text = text;
        call.kids.clear();
    }

    // Wraps the significant nodes [first, last] of a sequence in fn( ... ).
    static void wrap(Node &first, Node &last, const QString &fn, const QString &close = QStringLiteral(")"))
    {
        first.pre.prepend(fn);
        last.post += close;
    }

    void rewriteCall(Node &call, const Content &argTypes) const
    {
        const QString name = call.text.toLower();
        Node &args = call.args();
        if (name == u"isnull") {
            call.text = m_pg ? QStringLiteral("coalesce") : QStringLiteral("ifnull");
            // The replacement takes the type of the first argument: isnull(int, '') is 0.
            if (argTypes.items.size() == 2) {
                const SqlType a = argTypes.items[0], b = argTypes.items[1];
                const std::vector<size_t> sig = significant(args.kids);
                size_t comma = 0;
                while (comma < sig.size() && !args.kids[sig[comma]].isOp(","))
                    ++comma;
                if (comma + 1 < sig.size()) {
                    Node &first = args.kids[sig[comma + 1]];
                    Node &last = args.kids[sig.back()];
                    if (b == SqlType::Text && a == SqlType::Int)
                        wrap(first, last, QStringLiteral("tsql_int("));
                    else if (b == SqlType::Text && a == SqlType::Num)
                        wrap(first, last, QStringLiteral("tsql_num("));
                    else if (a == SqlType::Text && (b == SqlType::Int || b == SqlType::Num))
                        wrap(first, last, QStringLiteral("cast("), QStringLiteral(" as text)"));
                }
            }
        } else if (name == u"len") {
            // len() ignores trailing blanks.
            const QStringList a = splitArgs(args);
            if (a.size() == 1)
                toRaw(call, m_pg ? QString(QStringLiteral("length(rtrim(") + a[0] + QStringLiteral("))"))
                                 : QString(QStringLiteral("length(rtrim(") + a[0] + QStringLiteral(",' '))")));
        } else if (!m_pg && (name == u"left" || name == u"right")) {
            // LEFT and RIGHT are join words to SQLite, never functions.
            const QStringList a = splitArgs(args);
            if (a.size() == 2)
                toRaw(call, name == u"left"
                          ? QString(QStringLiteral("substr(") + a[0] + QStringLiteral(",1,") + a[1] + u')')
                          : QString(QStringLiteral("substr(") + a[0] + QStringLiteral(",max(length(") + a[0]
                                    + QStringLiteral(")-(") + a[1] + QStringLiteral(")+1,1))")));
        } else if (name == u"datediff" || name == u"dateadd" || name == u"datepart" || name == u"year"
                   || name == u"month" || name == u"day") {
            const QStringList a = splitArgs(args);
            const bool named = name == u"datediff" || name == u"dateadd" || name == u"datepart";
            if (a.size() != (name == u"datepart" ? 2 : named ? 3 : 1))
                return;
            const QString part = named ? datePart(a[0]) : name;
            QStringList rest = a.mid(named ? 1 : 0);
            toRaw(call, QStringLiteral("tsql_") + (named ? name : QStringLiteral("datepart")) + QStringLiteral("('") + part
                      + QStringLiteral("',") + rest.join(u',') + u')');
        } else if (name == u"getdate") {
            if (significant(args.kids).empty())
                toRaw(call, m_pg ? QStringLiteral("localtimestamp(0)") : QStringLiteral("datetime('now','localtime')"));
        } else if (name == u"charindex") {
            const QStringList a = splitArgs(args);
            // The search ignores case, as the text columns' comparison does.
            if (a.size() == 2)
                toRaw(call, (m_pg ? QStringLiteral("strpos(lower(") : QStringLiteral("instr(lower(")) + a[1] + QStringLiteral("),lower(")
                                + a[0] + QStringLiteral("))"));
        } else if (name == u"cast") {
            const int t = castTypeIndex(args);
            if (t < 0)
                return;
            Node &typeNode = args.kids[size_t(t)];
            int as = t - 1;
            while (as > 0 && !args.kids[size_t(as)].isWord("as"))
                --as;
            QString value;
            writeSeq(args.kids, value, 0, size_t(as));
            if (m_pg) {
                // int as the original server has it: numbers truncate, text
                // must be a whole number, with its error text.
                if (typeNode.type == Node::Leaf && (typeName(typeNode) == u"int" || typeName(typeNode) == u"integer")) {
                    toRaw(call, QStringLiteral("tsql_int(") + value.trimmed() + u')');
                    return;
                }
                const QString mapped = pgType(typeNode);
                if (!mapped.isEmpty())
                    toRaw(typeNode, mapped);
                return;
            }
            const QString cast = sqliteCast(value.trimmed(), typeNode);
            if (!cast.isEmpty())
                toRaw(call, cast);
        } else if (name == u"convert") {
            rewriteConvert(call);
        } else if (name == u"round") {
            const QStringList a = splitArgs(args);
            if (m_pg && a.size() == 2)
                toRaw(call, QStringLiteral("round((") + a[0] + QStringLiteral(")::numeric, ") + a[1] + u')');
            else if (m_pg && a.size() == 3) // a third argument other than 0 truncates
                toRaw(call, QStringLiteral("(CASE WHEN (") + a[2] + QStringLiteral(") = 0 THEN round((") + a[0]
                                + QStringLiteral(")::numeric, ") + a[1] + QStringLiteral(") ELSE trunc((") + a[0]
                                + QStringLiteral(")::numeric, ") + a[1] + QStringLiteral(") END)"));
            else if (!m_pg && (a.size() == 2 || a.size() == 3))
                call.text = QStringLiteral("tsql_round"); // half away from zero, negative places too
        }
    }

    // The date part of datediff/dateadd/datepart by its full name.
    static QString datePart(const QString &written)
    {
        static const QHash<QString, QString> parts = {
            {QStringLiteral("year"), QStringLiteral("year")},       {QStringLiteral("yy"), QStringLiteral("year")},
            {QStringLiteral("yyyy"), QStringLiteral("year")},       {QStringLiteral("quarter"), QStringLiteral("quarter")},
            {QStringLiteral("qq"), QStringLiteral("quarter")},      {QStringLiteral("q"), QStringLiteral("quarter")},
            {QStringLiteral("month"), QStringLiteral("month")},     {QStringLiteral("mm"), QStringLiteral("month")},
            {QStringLiteral("m"), QStringLiteral("month")},         {QStringLiteral("day"), QStringLiteral("day")},
            {QStringLiteral("dd"), QStringLiteral("day")},          {QStringLiteral("d"), QStringLiteral("day")},
            {QStringLiteral("hour"), QStringLiteral("hour")},       {QStringLiteral("hh"), QStringLiteral("hour")},
            {QStringLiteral("minute"), QStringLiteral("minute")},   {QStringLiteral("mi"), QStringLiteral("minute")},
            {QStringLiteral("n"), QStringLiteral("minute")},        {QStringLiteral("second"), QStringLiteral("second")},
            {QStringLiteral("ss"), QStringLiteral("second")},       {QStringLiteral("s"), QStringLiteral("second")},
        };
        const QString part = parts.value(written.trimmed().toLower());
        if (part.isEmpty())
            refuse(QStringLiteral("不支持日期部分 %1。").arg(written.trimmed()));
        return part;
    }

    void rewriteConvert(Node &call) const
    {
        const Node *typeNode = convertType(call.args());
        const QStringList a = splitArgs(call.args());
        if (!typeNode || a.size() < 2 || a.size() > 3)
            return;
        const QString type = typeName(*typeNode);
        const QString value = a[1];
        QString result;
        if (a.size() == 2 || !isCharType(type)) {
            if (m_pg) {
                QString mapped = pgType(*typeNode);
                if (mapped.isEmpty())
                    mapped = a[0];
                result = QStringLiteral("cast(") + value + QStringLiteral(" as ") + mapped + u')';
            } else {
                result = sqliteCast(value, *typeNode);
                if (result.isEmpty())
                    result = QStringLiteral("cast(") + value + QStringLiteral(" as ") + a[0] + u')';
            }
        } else {
            bool ok = false;
            const int style = a[2].toInt(&ok);
            if (!ok)
                return;
            int length = -1;
            if (typeNode->type == Node::Call) {
                const QStringList p = splitArgs(typeNode->args());
                if (!p.isEmpty())
                    length = p.first().toInt(&ok);
                if (!ok)
                    length = -1;
            }
            // Width of each style's output; substr() cuts it to the declared length.
            struct Style {
                int style;
                int width;
                const char *sqlite; // strftime format, null: stored text as is
                const char *pg;     // to_char format, null: the value as text
            };
            static const Style styles[] = {
                {20, 19, nullptr, nullptr},          {120, 19, nullptr, nullptr},
                {21, 23, nullptr, nullptr},          {121, 23, nullptr, nullptr},
                {23, 10, nullptr, nullptr},          {126, 23, nullptr, nullptr},
                {101, 10, "%m/%d/%Y", "MM/DD/YYYY"}, {102, 10, "%Y.%m.%d", "YYYY.MM.DD"},
                {111, 10, "%Y/%m/%d", "YYYY/MM/DD"}, {112, 8, "%Y%m%d", "YYYYMMDD"},
                {108, 8, "%H:%M:%S", "HH24:MI:SS"},  {8, 8, "%H:%M:%S", "HH24:MI:SS"},
            };
            const Style *st = nullptr;
            for (const Style &s : styles) {
                if (s.style == style)
                    st = &s;
            }
            if (!st)
                return;
            if (st->sqlite) {
                if (m_pg)
                    result = QStringLiteral("to_char(cast(") + value + QStringLiteral(" as timestamp),'")
                        + QLatin1String(st->pg) + QStringLiteral("')");
                else
                    result = QStringLiteral("strftime('") + QLatin1String(st->sqlite) + QStringLiteral("',") + value + u')';
                if (length > 0 && length < st->width)
                    result = QStringLiteral("substr(") + result + QStringLiteral(",1,") + QString::number(length) + u')';
            } else {
                const QString text = m_pg ? QString(QStringLiteral("cast(") + value + QStringLiteral(" as text)")) : value;
                result = QStringLiteral("substr(") + text + QStringLiteral(",1,")
                    + QString::number(length > 0 ? length : st->width) + u')';
            }
        }
        toRaw(call, result);
    }

    // A value a string right after it can only be the alias of: a column, a
    // quoted name, a call, a parenthesised expression (not a literal: TOP 1 'x').
    static bool namesAValue(const Node &n)
    {
        if (n.type == Node::Leaf)
            return (n.kind == Token::Word && !isKeyword(n.text) && !n.isWord("ilike")) || n.kind == Token::QuotedName;
        return isOperand(n);
    }

    static bool isOperand(const Node &n)
    {
        switch (n.type) {
        case Node::Group:
        case Node::Call:
        case Node::Raw:
            return !(n.type == Node::Raw && n.text.isEmpty());
        case Node::Leaf:
            switch (n.kind) {
            case Token::Word:
                return n.isWord("case") || n.isWord("null") || !isKeyword(n.text);
            case Token::Number:
            case Token::String:
            case Token::QuotedName:
            case Token::Parameter:
            case Token::Variable:
                return true;
            default:
                return false;
            }
        }
        return false;
    }

    // Arithmetic and concatenation of one sequence: + decided by the operands' types,
    // text read as a number where the original server converts it, divisors checked.
    class Expressions {
    public:
        Expressions(Translator &tr, Seq &seq) : m_tr(tr), m_seq(seq), m_sig(significant(seq))
        {
            // Matching END of each CASE, found once so nesting stays linear.
            m_caseEnd.assign(m_sig.size(), m_sig.size());
            std::vector<size_t> open;
            for (size_t q = 0; q < m_sig.size(); ++q) {
                if (at(q).isWord("case")) {
                    open.push_back(q);
                } else if (at(q).isWord("end") && !open.empty()) {
                    m_caseEnd[open.back()] = q;
                    open.pop_back();
                }
            }
        }

        Content run()
        {
            Content content;
            scan(0, m_sig.size(), &content, nullptr);
            return content;
        }

    private:
        struct Primary {
            size_t first, last;
            SqlType type;
        };
        struct Term {
            size_t first, last;
            SqlType type;
        };

        Translator &m_tr;
        Seq &m_seq;
        std::vector<size_t> m_sig;
        std::vector<size_t> m_caseEnd;

        Node &at(size_t q) { return m_seq[m_sig[q]]; }

        QString textOf(size_t first, size_t last)
        {
            QString out;
            writeSeq(m_seq, out, m_sig[first], m_sig[last] + 1, true);
            return out.simplified();
        }

        void wrapRange(size_t first, size_t last, const QString &fn, const QString &close = QStringLiteral(")"))
        {
            Translator::wrap(at(first), at(last), fn, close);
        }

        static bool numberList(const Node &group)
        {
            bool any = false;
            for (const Node &k : group.kids) {
                if (k.isBlank() || k.isOp(",") || k.isOp("-"))
                    continue;
                if (k.type != Node::Leaf || k.kind != Token::Number)
                    return false;
                any = true;
            }
            return any;
        }

        static bool isComparison(const Node &n)
        {
            return n.isOp("=") || n.isOp("<>") || n.isOp("!=") || n.isOp("<") || n.isOp(">") || n.isOp("<=")
                || n.isOp(">=") || n.isOp("!<") || n.isOp("!>");
        }

        static QString toNumber(SqlType other)
        {
            return other == SqlType::Int ? QStringLiteral("tsql_int(") : QStringLiteral("tsql_num(");
        }

        // One primary: case ... end, a dotted name or a single node; q moves past it.
        Primary primary(size_t &q, size_t limit)
        {
            const size_t start = q;
            if (at(q).isWord("case")) {
                const size_t r = std::min(m_caseEnd[q], limit);
                std::vector<SqlType> branches;
                scan(q + 1, r, nullptr, &branches);
                q = std::min(r + 1, limit);
                SqlType t = SqlType::Null;
                for (SqlType b : branches)
                    t = merged(t, b);
                return {start, q - 1, t == SqlType::Null ? SqlType::Unknown : t};
            }
            size_t r = q;
            while (r + 2 < limit && at(r + 1).isOp(".")
                   && (at(r + 2).isWord() || (at(r + 2).type == Node::Leaf && at(r + 2).kind == Token::QuotedName)
                       || at(r + 2).isOp("*") || at(r + 2).type == Node::Call))
                r += 2;
            q = r + 1;
            if (r == start)
                return {start, r, m_tr.typeOf(at(start))};
            const Node &name = at(r);
            const bool column = name.isWord() || (name.type == Node::Leaf && name.kind == Token::QuotedName);
            return {start, r, column ? m_tr.qualifiedColumn(at(r - 2).text, name.text) : SqlType::Unknown};
        }

        // primary { * / % primary }: a product is a number; text in it is converted,
        // and a divisor of zero is an error as on the original server.
        Term term(size_t &q, size_t limit)
        {
            std::vector<Primary> parts{primary(q, limit)};
            std::vector<size_t> ops;
            while (q + 1 < limit && (at(q).isOp("*") || at(q).isOp("/") || at(q).isOp("%")) && isOperand(at(q + 1))) {
                ops.push_back(q);
                ++q;
                parts.push_back(primary(q, limit));
            }
            const Term t{parts.front().first, parts.back().last, parts.front().type};
            if (parts.size() == 1 || m_tr.m_ddl)
                return t;
            bool allInt = true;
            for (const Primary &p : parts) {
                if (p.type == SqlType::Date)
                    Translator::refuse(QStringLiteral("不能对日期值做乘除运算: %1").arg(textOf(t.first, t.last)));
                allInt = allInt && (p.type == SqlType::Int || p.type == SqlType::Text);
            }
            for (size_t k = 0; k < parts.size(); ++k) {
                const Primary &p = parts[k];
                if (p.type == SqlType::Text)
                    wrapRange(p.first, p.last, allInt ? QStringLiteral("tsql_int(") : QStringLiteral("tsql_num("));
                if (k > 0 && !m_tr.m_pg && !at(ops[k - 1]).isOp("*")) {
                    const Node &d = at(p.first);
                    const bool nonZeroLiteral = p.first == p.last && d.type == Node::Leaf && d.kind == Token::Number
                        && d.text.toDouble() != 0.0;
                    if (!nonZeroLiteral)
                        wrapRange(p.first, p.last, QStringLiteral("tsql_nz("));
                }
            }
            // A numeric column keeps whole values as integers in SQLite, and integer
            // division would drop the fraction the original server keeps.
            const bool decimal = std::any_of(parts.begin(), parts.end(), [](const Primary &p) { return p.type == SqlType::Num; });
            const auto firstDivision = std::find_if(ops.begin(), ops.end(), [this](size_t o) { return at(o).isOp("/"); });
            // Dividing by a decimal literal (x / 100.0) is a real division already.
            const bool realDivisor = firstDivision != ops.end() && at(*firstDivision + 1).type == Node::Leaf
                && at(*firstDivision + 1).kind == Token::Number && at(*firstDivision + 1).text.contains(u'.');
            if (decimal && firstDivision != ops.end() && !realDivisor && !m_tr.m_pg)
                wrapRange(parts[0].first, parts[0].last, QStringLiteral("cast("), QStringLiteral(" as real)"));
            return {t.first, t.last, allInt ? SqlType::Int : SqlType::Num};
        }

        // term { +|- term }, evaluated left to right as the original server does.
        SqlType chain(const std::vector<Term> &terms, const std::vector<size_t> &ops)
        {
            SqlType acc = terms[0].type;
            if (ops.empty() || m_tr.m_ddl)
                return ops.empty() ? acc : SqlType::Unknown;
            for (size_t i = 1; i < terms.size(); ++i) {
                Node &op = at(ops[i - 1]);
                const bool plus = op.isOp("+");
                const SqlType b = terms[i].type;
                const size_t accLast = terms[i - 1].last;
                if (acc == SqlType::Null || b == SqlType::Null) {
                    acc = acc == SqlType::Null ? b : acc; // NULL either way
                    continue;
                }
                if (acc == SqlType::Date || b == SqlType::Date)
                    Translator::refuse(QStringLiteral("不支持日期值的 %1 运算: %2")
                                           .arg(op.text, textOf(terms[0].first, terms.back().last)));
                if (plus && acc == SqlType::Text && b == SqlType::Text) {
                    op.text = QStringLiteral("||");
                    continue;
                }
                if (acc == SqlType::Unknown || b == SqlType::Unknown) {
                    const SqlType other = acc == SqlType::Unknown ? b : acc;
                    if (plus && (other == SqlType::Text || other == SqlType::Unknown)) {
                        const Term &unknown = acc == SqlType::Unknown ? Term{terms[0].first, accLast, acc} : terms[i];
                        Translator::refuse(
                            QStringLiteral("无法确定 %1 的类型，不能判断 %2 中的 + 是字符串连接还是加法；请用 cast 或 convert 写明类型。")
                                .arg(textOf(unknown.first, unknown.last), textOf(terms[0].first, terms.back().last)));
                    }
                    if (other == SqlType::Text) {
                        if (b == SqlType::Text)
                            wrapRange(terms[i].first, terms[i].last, QStringLiteral("tsql_num("));
                        else
                            wrapRange(terms[0].first, accLast, QStringLiteral("tsql_num("));
                    }
                    acc = SqlType::Num;
                    continue;
                }
                if (acc == SqlType::Text && b == SqlType::Text)
                    Translator::refuse(QStringLiteral("操作数数据类型 varchar 对于 subtract 运算符无效。"));
                if (acc == SqlType::Text)
                    wrapRange(terms[0].first, accLast, toNumber(b));
                if (b == SqlType::Text)
                    wrapRange(terms[i].first, terms[i].last, toNumber(acc));
                acc = numericOf(acc == SqlType::Text ? b : acc, b == SqlType::Text ? acc : b);
            }
            return acc;
        }

        void scan(size_t from, size_t to, Content *content, std::vector<SqlType> *branches)
        {
            size_t chains = 0;
            bool other = false;
            SqlType itemType = SqlType::Unknown;
            auto closeItem = [&] {
                if (content)
                    content->items.push_back(chains == 1 && !other ? itemType : SqlType::Unknown);
                chains = 0;
                other = false;
                itemType = SqlType::Unknown;
            };
            // The operand before a comparison operator, for text compared with a number.
            struct Operand {
                size_t first = 0, last = 0, end = size_t(-1);
                SqlType type = SqlType::Unknown;
            } left;
            size_t comparison = size_t(-1);
            size_t p = from;
            bool any = false;
            bool inSet = false; // the assignments of an UPDATE, where = is no comparison
            // A scalar subquery has the type of its one select item.
            if (content && p < to && at(p).isWord("select")) {
                ++p;
                if (p < to && (at(p).isWord("distinct") || at(p).isWord("all")))
                    ++p;
            }
            while (p < to) {
                any = true;
                Node &n = at(p);
                if (n.isOp(",")) {
                    closeItem();
                    ++p;
                    continue;
                }
                if (content && (n.isWord("from") || n.isWord("where") || n.isWord("group") || n.isWord("order")
                                || n.isWord("union"))) {
                    closeItem();
                    content = nullptr; // the rest of a subquery does not make its type

                }
                if (n.isWord("as") && p + 1 < to && (at(p + 1).isWord() || at(p + 1).kind == Token::QuotedName)) {
                    p += 2; // a column alias
                    continue;
                }
                if (!isOperand(n)) {
                    if (n.isWord("set"))
                        inSet = true;
                    else if (n.isWord("where") || n.isWord("from"))
                        inSet = false;
                    comparison = p == left.end && isComparison(n) ? p : size_t(-1);
                    // A sign before a number keeps the item a single value.
                    const bool sign = (n.isOp("-") || n.isOp("+")) && p + 1 < to && isOperand(at(p + 1))
                        && (p == from || !isOperand(at(p - 1)));
                    if (!sign)
                        other = true;
                    ++p;
                    continue;
                }
                std::vector<Term> terms;
                std::vector<size_t> ops;
                size_t q = p;
                terms.push_back(term(q, to));
                while (q + 1 < to && (at(q).isOp("+") || at(q).isOp("-")) && isOperand(at(q + 1))) {
                    ops.push_back(q);
                    ++q;
                    terms.push_back(term(q, to));
                }
                const SqlType t = chain(terms, ops);
                // Text compared with a number is read as a number, as the original server
                // converts it (where CODE = 1 finds '01'; a code that is no number fails).
                if (comparison != size_t(-1) && p == comparison + 1 && !m_tr.m_pg && !m_tr.m_ddl) {
                    const bool leftText = left.type == SqlType::Text;
                    const bool rightText = t == SqlType::Text;
                    const bool leftNumber = left.type == SqlType::Int || left.type == SqlType::Num;
                    const bool rightNumber = t == SqlType::Int || t == SqlType::Num;
                    if (leftText && rightNumber)
                        wrapRange(left.first, left.last, toNumber(t));
                    else if (rightText && leftNumber)
                        wrapRange(terms.front().first, terms.back().last, toNumber(left.type));
                }
                // Text compared with text ignores case as on the original server:
                // the server's columns do (citext), literals and expressions are made to.
                if (comparison != size_t(-1) && p == comparison + 1 && m_tr.m_pg && !m_tr.m_ddl && !inSet
                    && left.type == SqlType::Text && t == SqlType::Text) {
                    // Trailing blanks do not count either; a bare column keeps its index.
                    const auto asCitext = [&](size_t first, size_t last) {
                        const bool column = (first == last && (at(first).isWord() || at(first).kind == Token::QuotedName))
                            || (last == first + 2 && at(first + 1).isOp(".") && at(last).isWord());
                        wrapRange(first, last, column ? QStringLiteral("CAST(") : QStringLiteral("CAST(rtrim("),
                                  column ? QStringLiteral(" AS citext)") : QStringLiteral(") AS citext)"));
                    };
                    asCitext(left.first, left.last);
                    asCitext(terms.front().first, terms.back().last);
                }
                // text in (1, 2): the list of numbers makes the text a number too.
                if (t == SqlType::Text && !m_tr.m_pg && !m_tr.m_ddl && q + 1 < to && at(q).isWord("in")
                    && at(q + 1).type == Node::Group && numberList(at(q + 1)))
                    wrapRange(terms.front().first, terms.back().last, QStringLiteral("tsql_num("));
                comparison = size_t(-1);
                left = {terms.front().first, terms.back().last, q, t};
                if (branches && p > from && (at(p - 1).isWord("then") || at(p - 1).isWord("else")))
                    branches->push_back(t);
                ++chains;
                itemType = t;
                p = q > p ? q : p + 1;
            }
            if (any || (content && !content->items.empty()))
                closeItem();
        }
    };
    friend class Expressions;

    static void blank(Node &n)
    {
        n.type = Node::Raw;
        n.text.clear();
        n.kids.clear();
        n.pre.clear();
        n.post.clear();
    }

    // select [distinct] top N ... -> select ... LIMIT N, at this level of parentheses.
    void limits(Seq &seq) const
    {
        const std::vector<size_t> sig = significant(seq);
        const size_t count = sig.size();
        for (size_t k = 0; k < count; ++k) {
            if (!seq[sig[k]].isWord("select"))
                continue;
            size_t t = k + 1;
            if (t < count && (seq[sig[t]].isWord("distinct") || seq[sig[t]].isWord("all")))
                ++t;
            if (t + 1 >= count || !seq[sig[t]].isWord("top"))
                continue;
            const Node &n = seq[sig[t + 1]];
            QString limit;
            if (n.type == Node::Leaf
                && (n.kind == Token::Number || n.kind == Token::Parameter || n.kind == Token::Variable)) {
                limit = n.text;
            } else if (n.type == Node::Group && n.closed) {
                QString inner;
                writeSeq(n.kids, inner);
                inner = inner.trimmed();
                const QVector<Token> it = tokenize(inner);
                const bool simple = it.size() == 1
                    && (it[0].kind == Token::Number || it[0].kind == Token::Parameter || it[0].kind == Token::Variable);
                limit = simple ? inner : QString(u'(' + inner + u')');
            } else {
                continue;
            }
            if (t + 2 < count
                && (seq[sig[t + 2]].isWord("percent")
                    || (seq[sig[t + 2]].isWord("with") && t + 3 < count && seq[sig[t + 3]].isWord("ties"))))
                continue;
            size_t e = t + 2;
            while (e < count && !endsSelect(seq[sig[e]]))
                ++e;
            const bool compound = (e < count && isCompound(seq[sig[e]]))
                || (k >= 1 && isCompound(seq[sig[k - 1]]))
                || (k >= 2 && seq[sig[k - 1]].isWord("all") && isCompound(seq[sig[k - 2]]));

            // Drop "top N" and the blanks up to the next significant node.
            const size_t dropEnd = t + 2 < count ? sig[t + 2] : seq.size();
            for (size_t i = sig[t]; i < dropEnd; ++i)
                blank(seq[i]);
            if (e == t + 2) {
                // Nothing after TOP N: keep the LIMIT on the select itself.
                seq[sig[k]].post += QStringLiteral(" LIMIT ") + limit;
                continue;
            }
            Node &last = seq[sig[e - 1]];
            if (compound) {
                seq[sig[k]].pre += QStringLiteral("select * from (");
                // PostgreSQL wants a name for every derived table.
                last.post += QStringLiteral(" LIMIT ") + limit + (m_pg ? QStringLiteral(") AS pk_top") : QStringLiteral(")"));
            } else {
                last.post += QStringLiteral(" LIMIT ") + limit;
            }
        }
    }
};


} // namespace

SqlType sqlTypeOf(const QString &declaredType)
{
    const QString t = declaredType.toLower();
    if (t.contains(u"char") || t.contains(u"text") || t.contains(u"clob") || t == u"sysname" || t == u"xml"
        || t == u"uniqueidentifier")
        return SqlType::Text;
    if (t.contains(u"date") || t.contains(u"time"))
        return SqlType::Date;
    if (t.contains(u"int") || t == u"bit")
        return SqlType::Int;
    if (t.contains(u"dec") || t.contains(u"num") || t.contains(u"money") || t.contains(u"real") || t.contains(u"floa")
        || t.contains(u"doub"))
        return SqlType::Num;
    return SqlType::Unknown;
}

QString variablePlaceholder(const QString &name, SqlType type)
{
    const char *prefix = type == SqlType::Text ? "__vt_"
                       : type == SqlType::Int  ? "__vi_"
                       : type == SqlType::Num  ? "__vn_"
                       : type == SqlType::Date ? "__vd_"
                                               : "__vu_";
    return QLatin1String(prefix) + name;
}

QString tooDeeplyNestedText()
{
    return QStringLiteral("SQL 语句的某些部分嵌套太深。请重写查询或将其分解为若干较小的查询。");
}

QString TsqlTranslator::translate(const QString &tsql)
{
    const auto it = m_cache.constFind(tsql);
    if (it != m_cache.constEnd())
        return it.value();
    if (m_cache.size() >= MaxCacheEntries)
        m_cache.clear();
    const QString out = translateUncached(tsql);
    m_cache.insert(tsql, out);
    return out;
}

QString TsqlTranslator::translateUncached(const QString &tsql) const
{
    return Translator(m_dialect, m_schema).run(tsql);
}

} // namespace db
