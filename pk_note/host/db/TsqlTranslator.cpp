#include "db/TsqlTranslator.h"

#include <QSet>

#include <algorithm>
#include <vector>

namespace db {

bool Token::is(const char *word) const
{
    if (kind != Word && kind != Operator)
        return false;
    return text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
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

// Advances past a quoted run whose closing character is doubled to escape it.
void skipQuoted(const QChar *s, int n, int &i, QChar close)
{
    while (i < n) {
        if (s[i] == close) {
            if (i + 1 < n && s[i + 1] == close) {
                i += 2;
                continue;
            }
            ++i;
            return;
        }
        ++i;
    }
}

} // namespace

QVector<Token> tokenize(const QString &sql)
{
    QVector<Token> out;
    const int n = int(sql.size());
    const QChar *s = sql.constData();
    int i = 0;
    auto push = [&](Token::Kind kind, int from) { out.push_back(Token{kind, sql.mid(from, i - from)}); };

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
            push(Token::Comment, start);
        } else if (c == u'\'' || ((c == u'N' || c == u'n') && next == u'\'')) {
            i += c == u'\'' ? 1 : 2;
            skipQuoted(s, n, i, u'\'');
            push(Token::String, start);
        } else if (c == u'[') {
            ++i;
            skipQuoted(s, n, i, u']');
            push(Token::QuotedName, start);
        } else if (c == u'"') {
            ++i;
            skipQuoted(s, n, i, u'"');
            push(Token::QuotedName, start);
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
            static const char *const pairs[] = {"<>", "<=", ">=", "!=", "!<", "!>", "||"};
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
    bool stringy = false;               // known to be a character value
    bool anyStringy = false;            // Group: some term of its content is a character value
    QString pre, post;                  // text emitted around the node

    bool isWord() const { return type == Leaf && kind == Token::Word; }
    bool isWord(const char *w) const
    {
        return isWord() && text.compare(QLatin1String(w), Qt::CaseInsensitive) == 0;
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

const QSet<QString> &keywords()
{
    // Words that never start an operand nor name a function.
    static const QSet<QString> set = {
        QStringLiteral("select"),  QStringLiteral("from"),     QStringLiteral("where"),
        QStringLiteral("and"),     QStringLiteral("or"),       QStringLiteral("not"),
        QStringLiteral("as"),      QStringLiteral("on"),       QStringLiteral("join"),
        QStringLiteral("inner"),   QStringLiteral("outer"),    QStringLiteral("full"),
        QStringLiteral("cross"),   QStringLiteral("group"),    QStringLiteral("order"),
        QStringLiteral("by"),      QStringLiteral("having"),   QStringLiteral("union"),
        QStringLiteral("all"),     QStringLiteral("distinct"), QStringLiteral("top"),
        QStringLiteral("when"),    QStringLiteral("then"),     QStringLiteral("else"),
        QStringLiteral("end"),     QStringLiteral("case"),     QStringLiteral("like"),
        QStringLiteral("in"),      QStringLiteral("is"),       QStringLiteral("between"),
        QStringLiteral("exists"),  QStringLiteral("into"),     QStringLiteral("values"),
        QStringLiteral("set"),     QStringLiteral("update"),   QStringLiteral("delete"),
        QStringLiteral("insert"),  QStringLiteral("exec"),     QStringLiteral("execute"),
        QStringLiteral("declare"), QStringLiteral("if"),       QStringLiteral("begin"),
        QStringLiteral("commit"),  QStringLiteral("rollback"), QStringLiteral("while"),
        QStringLiteral("return"),  QStringLiteral("print"),    QStringLiteral("except"),
        QStringLiteral("intersect"), QStringLiteral("asc"),    QStringLiteral("desc"),
        QStringLiteral("with"),    QStringLiteral("escape"),   QStringLiteral("collate"),
        QStringLiteral("over"),    QStringLiteral("percent"),  QStringLiteral("output"),
    };
    return set;
}

bool isKeyword(const QString &word) { return keywords().contains(word.toLower()); }

// Words that end a select when met at its own level: the next statement or a union.
bool endsSelect(const Node &n)
{
    static const QSet<QString> set = {
        QStringLiteral("union"),  QStringLiteral("except"),  QStringLiteral("intersect"),
        QStringLiteral("select"), QStringLiteral("insert"),  QStringLiteral("update"),
        QStringLiteral("delete"), QStringLiteral("exec"),    QStringLiteral("execute"),
        QStringLiteral("declare"), QStringLiteral("if"),     QStringLiteral("begin"),
        QStringLiteral("commit"), QStringLiteral("rollback"), QStringLiteral("while"),
        QStringLiteral("return"), QStringLiteral("print"),   QStringLiteral("set"),
        QStringLiteral("alter"),  QStringLiteral("create"),  QStringLiteral("drop"),
        QStringLiteral("truncate"), QStringLiteral("go"),
    };
    if (n.isOp(";"))
        return true;
    return n.isWord() && set.contains(n.text.toLower());
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

void writeNode(const Node &n, QString &out);

void writeSeq(const Seq &seq, QString &out, size_t from = 0, size_t to = size_t(-1))
{
    to = std::min(to, seq.size());
    for (size_t i = from; i < to; ++i)
        writeNode(seq[i], out);
}

void writeNode(const Node &n, QString &out)
{
    out += n.pre;
    switch (n.type) {
    case Node::Leaf:
    case Node::Raw:
        out += n.text;
        break;
    case Node::Group:
        out += u'(';
        writeSeq(n.kids, out);
        if (n.closed)
            out += u')';
        break;
    case Node::Call:
        out += n.text;
        writeSeq(n.kids, out);
        break;
    }
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

class Translator {
public:
    explicit Translator(TsqlTranslator::Dialect d) : m_pg(d == TsqlTranslator::Postgres) {}

    QString run(const QString &tsql) const
    {
        QVector<Token> toks = tokenize(tsql);
        prepareTokens(toks);
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

    struct Content {
        bool hasConcat = false;
        bool anyStringy = false;
        bool singleStringy = false;
    };

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

    Content process(Seq &seq) const
    {
        mergeCalls(seq);
        for (Node &n : seq) {
            if (n.type == Node::Group) {
                processGroup(n);
            } else if (n.type == Node::Call) {
                processGroup(n.args());
                n.stringy = callIsStringy(n);
            } else if (n.type == Node::Leaf) {
                rewriteLeaf(n);
            }
        }
        for (Node &n : seq) {
            if (n.type == Node::Call)
                rewriteCall(n);
        }
        Content c = concatenations(seq);
        limits(seq);
        return c;
    }

    void processGroup(Node &g) const
    {
        const Content c = process(g.kids);
        g.anyStringy = c.anyStringy;
        g.stringy = c.hasConcat || c.singleStringy;
    }

    void rewriteLeaf(Node &n) const
    {
        switch (n.kind) {
        case Token::String:
            if (n.text.startsWith(u'N') || n.text.startsWith(u'n'))
                n.text.remove(0, 1);
            n.stringy = true;
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

    bool callIsStringy(const Node &call) const
    {
        const QString name = call.text.toLower();
        if (isStringFunction(name))
            return true;
        if (name == u"cast") {
            const int t = castTypeIndex(call.args());
            return t >= 0 && isCharType(typeName(call.args().kids[size_t(t)]));
        }
        if (name == u"convert") {
            const Node *t = convertType(call.args());
            return t && isCharType(typeName(*t));
        }
        if (name == u"isnull" || name == u"coalesce" || name == u"ifnull" || name == u"nullif"
            || name == u"max" || name == u"min")
            return call.args().anyStringy;
        return false;
    }

    // Target type for cast(); empty keeps what was written.
    QString mapType(const Node &typeNode) const
    {
        const QString name = typeName(typeNode);
        QStringList params;
        if (typeNode.type == Node::Call)
            params = splitArgs(typeNode.args());
        const bool isMax = !params.isEmpty() && params.first().compare(u"max", Qt::CaseInsensitive) == 0;
        if (!m_pg) {
            if (isCharType(name) || name == u"uniqueidentifier" || name == u"xml" || name == u"datetime"
                || name == u"smalldatetime" || name == u"datetime2" || name == u"date" || name == u"time"
                || name == u"datetimeoffset")
                return QStringLiteral("text");
            if (name == u"money" || name == u"smallmoney" || name == u"decimal" || name == u"numeric"
                || name == u"float" || name == u"real")
                return QStringLiteral("real");
            if (name == u"bit")
                return QStringLiteral("integer");
            if (name == u"binary" || name == u"varbinary" || name == u"image")
                return QStringLiteral("blob");
            return {};
        }
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

    void rewriteCall(Node &call) const
    {
        const QString name = call.text.toLower();
        Node &args = call.args();
        auto toRaw = [&call](const QString &text) {
            call.type = Node::Raw;
            call.text = text;
            call.kids.clear();
        };
        if (name == u"isnull") {
            call.text = m_pg ? QStringLiteral("coalesce") : QStringLiteral("ifnull");
        } else if (name == u"len") {
            call.text = QStringLiteral("length");
        } else if (name == u"getdate") {
            if (significant(args.kids).empty())
                toRaw(m_pg ? QStringLiteral("now()") : QStringLiteral("datetime('now','localtime')"));
        } else if (name == u"charindex") {
            const QStringList a = splitArgs(args);
            if (a.size() == 2)
                toRaw((m_pg ? QStringLiteral("strpos(") : QStringLiteral("instr(")) + a[1] + u',' + a[0] + u')');
        } else if (name == u"cast") {
            const int t = castTypeIndex(args);
            if (t >= 0) {
                const QString mapped = mapType(args.kids[size_t(t)]);
                if (!mapped.isEmpty()) {
                    Node &typeNode = args.kids[size_t(t)];
                    typeNode.type = Node::Raw;
                    typeNode.text = mapped;
                    typeNode.kids.clear();
                }
            }
        } else if (name == u"convert") {
            rewriteConvert(call);
        } else if (m_pg && name == u"round") {
            const QStringList a = splitArgs(args);
            if (a.size() == 2)
                toRaw(QStringLiteral("round((") + a[0] + QStringLiteral(")::numeric, ") + a[1] + u')');
        }
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
            QString mapped = mapType(*typeNode);
            if (mapped.isEmpty())
                mapped = a[0];
            result = QStringLiteral("cast(") + value + QStringLiteral(" as ") + mapped + u')';
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
        const bool stringy = call.stringy;
        call.type = Node::Raw;
        call.text = result;
        call.kids.clear();
        call.stringy = stringy;
    }

    static bool isOperand(const Node &n)
    {
        switch (n.type) {
        case Node::Group:
        case Node::Call:
        case Node::Raw:
            return true;
        case Node::Leaf:
            switch (n.kind) {
            case Token::Word:
                return n.isWord("case") || !isKeyword(n.text);
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

    // Marks string concatenation: chains of + whose terms include a character value.
    class Concatenation {
    public:
        explicit Concatenation(Seq &seq) : m_seq(seq), m_sig(significant(seq)) {}

        Content run()
        {
            Content content;
            scan(0, m_sig.size(), &content);
            return content;
        }

    private:
        struct Term {
            size_t first, last;
            bool multi;
            bool stringy;
        };
        using Ranges = std::vector<std::pair<size_t, size_t>>;

        Seq &m_seq;
        std::vector<size_t> m_sig;

        Node &at(size_t q) { return m_seq[m_sig[q]]; }

        // One primary: case ... end, a dotted name or a single node; q moves past it.
        // Returns whether it is known to be a character value.
        bool primary(size_t &q, size_t limit, Ranges &inner)
        {
            if (at(q).isWord("case")) {
                bool stringy = false;
                int depth = 0;
                size_t r = q;
                for (; r < limit; ++r) {
                    Node &n = at(r);
                    if (n.isWord("case")) {
                        ++depth;
                    } else if (n.isWord("end")) {
                        if (--depth == 0)
                            break;
                    } else if (depth == 1 && (at(r - 1).isWord("then") || at(r - 1).isWord("else")) && n.stringy) {
                        stringy = true;
                    }
                }
                inner.emplace_back(q + 1, r);
                q = std::min(r + 1, limit);
                return stringy;
            }
            const size_t start = q;
            size_t r = q;
            while (r + 2 < limit && at(r + 1).isOp(".")
                   && (at(r + 2).isWord() || (at(r + 2).type == Node::Leaf && at(r + 2).kind == Token::QuotedName)
                       || at(r + 2).isOp("*") || at(r + 2).type == Node::Call))
                r += 2;
            q = r + 1;
            // A dotted name is a column: its type is not known here.
            return r == start && at(start).stringy;
        }

        Term term(size_t &q, size_t limit, Ranges &inner)
        {
            Term t{q, q, false, false};
            t.stringy = primary(q, limit, inner);
            while (q + 1 < limit && (at(q).isOp("*") || at(q).isOp("/") || at(q).isOp("%")) && isOperand(at(q + 1))) {
                ++q;
                primary(q, limit, inner);
                t.multi = true;
                t.stringy = false;
            }
            t.last = q - 1;
            return t;
        }

        void scan(size_t from, size_t to, Content *content)
        {
            Ranges inner;
            size_t p = from;
            size_t terms = 0;
            while (p < to) {
                if (!isOperand(at(p))) {
                    ++p;
                    continue;
                }
                std::vector<Term> chain;
                std::vector<size_t> pluses;
                size_t q = p;
                chain.push_back(term(q, to, inner));
                while (q + 1 < to && at(q).isOp("+") && isOperand(at(q + 1))) {
                    pluses.push_back(q);
                    ++q;
                    chain.push_back(term(q, to, inner));
                }
                terms += chain.size();
                bool stringy = false;
                for (const Term &t : chain)
                    stringy = stringy || t.stringy;
                if (content) {
                    content->anyStringy = content->anyStringy || stringy;
                    if (chain.size() == 1)
                        content->singleStringy = stringy;
                }
                if (stringy && !pluses.empty()) {
                    if (content)
                        content->hasConcat = true;
                    for (size_t pl : pluses)
                        at(pl).text = QStringLiteral("||");
                    // || binds tighter than * in SQL, so a product keeps its own parentheses.
                    for (const Term &t : chain) {
                        if (t.multi) {
                            at(t.first).pre.prepend(u'(');
                            at(t.last).post += u')';
                        }
                    }
                }
                p = q > p ? q : p + 1;
            }
            if (content && terms != 1)
                content->singleStringy = false;
            for (const auto &[a, b] : inner)
                scan(a, b, nullptr);
        }
    };

    Content concatenations(Seq &seq) const { return Concatenation(seq).run(); }

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
                last.post += QStringLiteral(" LIMIT ") + limit + u')';
            } else {
                last.post += QStringLiteral(" LIMIT ") + limit;
            }
        }
    }
};

} // namespace

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
    return Translator(m_dialect).run(tsql);
}

} // namespace db
