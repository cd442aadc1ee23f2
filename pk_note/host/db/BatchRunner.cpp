#include "db/BatchRunner.h"

#include <cmath>

#include <QSqlRecord>

#include <algorithm>

namespace db {

namespace {

const char *const kStarts[] = {"select", "insert", "update", "delete", "exec",   "execute", "declare", "if",
                               "else",   "begin",  "end",    "set",    "commit", "rollback", "alter",  "create",
                               "drop",   "return", "print",  "while",  "truncate"};

QString unquote(const QString &literal)
{
    QString s = literal;
    if (s.startsWith(u'N') || s.startsWith(u'n'))
        s = s.mid(1);
    s = s.mid(1, s.size() - 2);
    s.replace(QStringLiteral("''"), QStringLiteral("'"));
    return s;
}

} // namespace

BatchRunner::BatchRunner(Database &database, const Params &params) : m_db(database), m_params(params) {}

QVariant BatchRunner::variable(const QString &name) const
{
    QString n = name.toLower();
    if (n.startsWith(u'@'))
        n = n.mid(1);
    return m_vars.value(n);
}

int BatchRunner::skip(int i) const
{
    while (i < m_tokens.size() && (m_tokens[i].kind == Token::Whitespace || m_tokens[i].kind == Token::Comment))
        ++i;
    return i;
}

bool BatchRunner::isWord(int i, const char *word) const
{
    return i < m_tokens.size() && m_tokens[i].kind == Token::Word && m_tokens[i].is(word);
}

bool BatchRunner::isStart(int i) const
{
    if (i >= m_tokens.size() || m_tokens[i].kind != Token::Word)
        return false;
    for (const char *w : kStarts)
        if (m_tokens[i].is(w))
            return true;
    return false;
}

void BatchRunner::syntaxError(int at) const
{
    QString near = at < m_tokens.size() ? m_tokens[at].text : QStringLiteral("<end>");
    throw DbError(QStringLiteral("'%1' 附近有语法错误。").arg(near));
}

// A statement runs to ';' or to the next keyword that starts a statement at
// parenthesis depth 0, allowing INSERT ... SELECT, UPDATE ... SET, UNION SELECT
// and CASE ... ELSE ... END inside it.
int BatchRunner::statementEnd(int from) const
{
    const int first = skip(from);
    const QString kind = first < m_tokens.size() ? m_tokens[first].text.toLower() : QString();
    int depth = 0, caseDepth = 0;
    bool usedSelect = false, usedSet = false;
    int prev = -1;
    for (int i = skip(first + 1); i < m_tokens.size(); i = skip(i + 1)) {
        const Token &t = m_tokens[i];
        if (t.kind == Token::Operator) {
            if (t.text == u'(')
                ++depth;
            else if (t.text == u')')
                --depth;
            else if (t.text == u';' && depth == 0)
                return i;
        } else if (t.kind == Token::Word && depth == 0) {
            if (t.is("case"))
                ++caseDepth;
            else if (t.is("end") && caseDepth > 0)
                --caseDepth;
            else if (caseDepth > 0 && t.is("else"))
                ;
            else if (isStart(i)) {
                const bool afterSetOp = prev >= 0 && (m_tokens[prev].is("union") || m_tokens[prev].is("all") ||
                                                      m_tokens[prev].is("except") || m_tokens[prev].is("intersect"));
                if (t.is("select") && (afterSetOp || (kind == u"insert" && !usedSelect))) {
                    usedSelect = true;
                } else if (t.is("set") && kind == u"update" && !usedSet) {
                    usedSet = true;
                } else {
                    return i;
                }
            }
        }
        prev = i;
    }
    return int(m_tokens.size());
}

// Joins tokens [from, to) into one statement, turning @variables into bound
// parameters so their values never become part of the SQL text.
QString BatchRunner::text(int from, int to, Params &binds) const
{
    QString out;
    for (int i = from; i < to; ++i) {
        const Token &t = m_tokens[i];
        if (t.kind == Token::Variable && !t.text.startsWith(QLatin1String("@@"))) {
            const QString name = t.text.mid(1).toLower();
            if (!m_vars.contains(name))
                throw DbError(QStringLiteral("必须声明标量变量 \"%1\"。").arg(t.text));
            // The placeholder carries the declared type, so + can tell text from numbers.
            const QString ph = variablePlaceholder(name, sqlTypeOf(m_declared.value(name)));
            binds.insert(ph, m_vars.value(name));
            out += u':' + ph;
        } else if (t.kind == Token::Variable) {
            const QString name = t.text.toLower();
            if (name == u"@@trancount")
                out += QString::number(m_db.tranDepth());
            else if (name == u"@@rowcount")
                out += QString::number(m_rowCount);
            else if (name == u"@@error")
                out += u'0'; // a failing statement ends the batch, so a later one always sees 0
            else if (name == u"@@identity")
                throw DbError(QStringLiteral("不支持 @@identity：本系统的表没有标识列，键值来自键值表。"));
            else
                throw DbError(QStringLiteral("不支持全局变量 %1。").arg(t.text));
        } else {
            out += t.text;
        }
    }
    return out;
}

void BatchRunner::assign(const QString &name, const QVariant &value)
{
    const QString type = m_declared.value(name);
    if (value.isNull() || sqlTypeOf(type) == SqlType::Unknown) {
        m_vars.insert(name, value);
        return;
    }
    QVariant v = value;
    // The server sees a bound value as text: a number going into an integer
    // variable is truncated here, as the original server truncates it.
    if (m_db.isPostgres() && sqlTypeOf(type) == SqlType::Int &&
        (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::Float))
        v = std::isfinite(v.toDouble()) ? QVariant(qlonglong(std::trunc(v.toDouble()))) : v;
    m_vars.insert(name, m_db.scalar(QStringLiteral("select cast(:v as ") + type + u')', {{QStringLiteral("v"), v}}));
}

QVariant BatchRunner::evaluate(int from, int to)
{
    Params binds = m_params;
    const QString expr = text(from, to, binds);
    return m_db.scalar(QStringLiteral("select ") + expr, binds);
}

QVariant BatchRunner::argumentValue(int from, int to)
{
    from = skip(from);
    int last = to;
    while (last > from && (m_tokens[last - 1].kind == Token::Whitespace || m_tokens[last - 1].kind == Token::Comment))
        --last;
    if (last - from == 1) {
        const Token &t = m_tokens[from];
        switch (t.kind) {
        case Token::String: return unquote(t.text);
        case Token::Number: {
            bool ok = false;
            const qlonglong v = t.text.toLongLong(&ok);
            return ok ? QVariant(v) : QVariant(t.text.toDouble());
        }
        case Token::Parameter: {
            const QString bare = t.text.mid(1);
            for (auto i = m_params.constBegin(); i != m_params.constEnd(); ++i)
                if (i.key().compare(bare, Qt::CaseInsensitive) == 0)
                    return i.value();
            throw DbError(QStringLiteral("参数 %1 没有赋值").arg(t.text));
        }
        case Token::Variable: return variable(t.text);
        case Token::Word:
            if (t.is("null"))
                return QVariant();
            return t.text; // a bare word passed as text, as T-SQL allows for procedure arguments
        default: break;
        }
    }
    return evaluate(from, last);
}

ResultSet BatchRunner::run(const QString &batch)
{
    m_tokens = tokenize(batch);
    m_pos = 0;
    for (const Token &t : std::as_const(m_tokens)) {
        if (!t.unterminated)
            continue;
        if (t.kind == Token::Comment)
            throw DbError(QStringLiteral("缺少注释结束标记 '*/'。"));
        throw DbError(QStringLiteral("字符串 '%1' 后的引号不完整。").arg(t.text.mid(t.text.startsWith(u'N') ? 2 : 1)));
    }
    const int startDepth = m_db.tranDepth();
    try {
        for (;;) {
            m_pos = skip(m_pos);
            if (m_pos >= m_tokens.size())
                break;
            if (runStatement(true) == Flow::Return)
                break;
        }
    } catch (...) {
        // XACT_ABORT rolls back the whole transaction; otherwise only a transaction
        // this batch opened itself is undone, the caller's stays for it to decide.
        if (m_db.inTransaction() && (m_xactAbort || startDepth == 0))
            m_db.rollbackTran();
        throw;
    }
    return m_last;
}

BatchRunner::Flow BatchRunner::runBlockUntilEnd(bool execute)
{
    for (;;) {
        m_pos = skip(m_pos);
        if (m_pos >= m_tokens.size())
            syntaxError(m_pos);
        if (isWord(m_pos, "end")) {
            ++m_pos;
            return Flow::Next;
        }
        if (runStatement(execute) == Flow::Return && execute) {
            // skip the rest of the block so the caller sees its END
            int depth = 1;
            while (m_pos < m_tokens.size() && depth > 0) {
                m_pos = skip(m_pos);
                if (isWord(m_pos, "begin") && !isWord(skip(m_pos + 1), "tran") && !isWord(skip(m_pos + 1), "transaction"))
                    ++depth;
                else if (isWord(m_pos, "end"))
                    --depth;
                ++m_pos;
            }
            return Flow::Return;
        }
    }
}

BatchRunner::Flow BatchRunner::runStatement(bool execute)
{
    // IF and BEGIN recurse: refuse a batch nested deeper than the stack allows.
    struct Depth {
        int &d;
        explicit Depth(int &depth) : d(depth)
        {
            if (++d > MaxNesting) {
                --d;
                throw DbError(tooDeeplyNestedText());
            }
        }
        ~Depth() { --d; }
    } depth(m_depth);
    const int start = skip(m_pos);
    m_pos = start;
    if (start >= m_tokens.size())
        return Flow::Next;
    const Token &t = m_tokens[start];
    if (t.kind == Token::Operator && t.text == u';') {
        ++m_pos;
        return Flow::Next;
    }
    if (t.kind != Token::Word) {
        const int end = statementEnd(start);
        if (execute)
            runPlain(start, end);
        m_pos = end;
        return Flow::Next;
    }

    if (t.is("begin")) {
        const int next = skip(start + 1);
        if (isWord(next, "tran") || isWord(next, "transaction")) {
            m_pos = next + 1;
            if (execute) {
                m_db.beginTran();
                m_rowCount = 0;
            }
            return Flow::Next;
        }
        m_pos = start + 1;
        return runBlockUntilEnd(execute);
    }
    if (t.is("commit") || t.is("rollback")) {
        int next = skip(start + 1);
        if (isWord(next, "tran") || isWord(next, "transaction") || isWord(next, "work"))
            next = next + 1;
        m_pos = next;
        if (execute) {
            if (t.is("commit"))
                m_db.commitTran();
            else
                m_db.rollbackTran();
            m_rowCount = 0;
        }
        return Flow::Next;
    }
    if (t.is("if")) {
        // The condition runs to the first statement keyword outside parentheses.
        int i = skip(start + 1), depth = 0;
        const int condFrom = i;
        for (; i < m_tokens.size(); i = skip(i + 1)) {
            const Token &c = m_tokens[i];
            if (c.kind == Token::Operator && c.text == u'(')
                ++depth;
            else if (c.kind == Token::Operator && c.text == u')')
                --depth;
            else if (depth == 0 && isStart(i))
                break;
        }
        if (i >= m_tokens.size() || i == condFrom)
            syntaxError(i);
        bool cond = false;
        if (execute) {
            Params binds = m_params;
            const QString c = text(condFrom, i, binds);
            cond = m_db.scalar(QStringLiteral("select case when ") + c + QStringLiteral(" then 1 else 0 end"), binds).toInt() == 1;
        }
        m_pos = i;
        Flow f = runStatement(execute && cond);
        const int afterThen = skip(m_pos);
        if (isWord(afterThen, "else")) {
            m_pos = afterThen + 1;
            const Flow g = runStatement(execute && !cond);
            if (f == Flow::Next)
                f = g;
        }
        return f;
    }
    if (t.is("return")) {
        m_pos = start + 1;
        return execute ? Flow::Return : Flow::Next;
    }

    const int end = statementEnd(start);
    m_pos = end;
    if (!execute)
        return Flow::Next;
    if (t.is("exec") || t.is("execute"))
        runExec(skip(start + 1), end);
    else if (t.is("declare"))
        runDeclare(skip(start + 1), end);
    else if (t.is("set"))
        runSet(skip(start + 1), end);
    else if (t.is("alter"))
        runAlter(skip(start + 1), end);
    else if (t.is("print"))
        ;
    else if (t.is("else") || t.is("end"))
        syntaxError(start);
    else
        runPlain(start, end);
    return Flow::Next;
}

void BatchRunner::runPlain(int from, int to)
{
    if (runAssignmentSelect(from, to))
        return;
    Params binds = m_params;
    const QString sql = text(from, to, binds);
    QSqlQuery q = m_db.exec(sql, binds);
    if (!q.isSelect()) {
        if (q.isActive())
            m_rowCount = std::max(0, q.numRowsAffected());
        return;
    }
    const pg_result *result = m_db.isPostgres() ? Database::pgResultOf(q) : nullptr;
    ResultSet rs = Database::resultOf(q);
    if (m_db.isPostgres()) // the names as on SQLite, as every other read gives them
        m_db.pgRespell(rs.columns, sql, result);
    m_rowCount = rs.rows.size();
    m_last = std::move(rs);
}

// select @a = expr, @b = expr from ...: each variable takes its value from the last
// row; with no row the variables keep their values.
bool BatchRunner::runAssignmentSelect(int from, int to)
{
    const int select = skip(from);
    if (!isWord(select, "select"))
        return false;
    int listFrom = skip(select + 1);
    if (isWord(listFrom, "distinct") || isWord(listFrom, "all"))
        listFrom = skip(listFrom + 1);
    if (isWord(listFrom, "top")) {
        int n = skip(listFrom + 1);
        if (n < to && m_tokens[n].text == u'(') {
            for (int depth = 0; n < to; ++n) {
                if (m_tokens[n].text == u'(')
                    ++depth;
                else if (m_tokens[n].text == u')' && --depth == 0)
                    break;
            }
        }
        listFrom = skip(n + 1);
    }
    struct Item {
        QString variable; // empty: not an assignment
        int from, to;
    };
    QVector<Item> items;
    int listTo = to, itemFrom = listFrom, depth = 0;
    auto addItem = [&](int a, int b) {
        a = skip(a);
        const int eq = skip(a + 1);
        if (a < b && m_tokens[a].kind == Token::Variable && !m_tokens[a].text.startsWith(QLatin1String("@@")) && eq < b
            && m_tokens[eq].kind == Token::Operator && m_tokens[eq].text == u'=')
            items.push_back({m_tokens[a].text.mid(1).toLower(), eq + 1, b});
        else
            items.push_back({QString(), a, b});
    };
    for (int i = listFrom; i < to; ++i) {
        const Token &t = m_tokens[i];
        if (t.kind == Token::Operator && t.text == u'(')
            ++depth;
        else if (t.kind == Token::Operator && t.text == u')')
            --depth;
        else if (depth == 0 && t.kind == Token::Operator && t.text == u',') {
            addItem(itemFrom, i);
            itemFrom = i + 1;
        } else if (depth == 0 && t.kind == Token::Word && (t.is("from") || t.is("where") || t.is("group") || t.is("order")
                                                            || t.is("having") || t.is("union"))) {
            listTo = i;
            break;
        }
    }
    addItem(itemFrom, listTo);
    int assignments = 0;
    for (const Item &item : std::as_const(items))
        assignments += item.variable.isEmpty() ? 0 : 1;
    if (assignments == 0)
        return false;
    if (assignments != items.size())
        throw DbError(QStringLiteral("向变量赋值的 SELECT 语句不能与数据检索操作结合使用。"));

    Params binds = m_params;
    QString sql = text(from, listFrom, binds);
    for (int k = 0; k < items.size(); ++k) {
        const Item &item = items[k];
        if (!m_vars.contains(item.variable))
            throw DbError(QStringLiteral("必须声明标量变量 \"@%1\"。").arg(item.variable));
        // Row by row accumulation (select @s = @s + x) is not reproduced: refuse it.
        for (int i = item.from; i < item.to; ++i) {
            const Token &t = m_tokens[i];
            if (t.kind == Token::Variable && std::any_of(items.begin(), items.end(), [&](const Item &o) {
                    return t.text.mid(1).compare(o.variable, Qt::CaseInsensitive) == 0;
                }))
                throw DbError(QStringLiteral("不支持在赋值 SELECT 中读取被赋值的变量 %1。").arg(t.text));
        }
        const QString expr = text(item.from, item.to, binds).trimmed();
        const QString type = m_declared.value(item.variable);
        if (k > 0)
            sql += QStringLiteral(", ");
        sql += sqlTypeOf(type) == SqlType::Unknown ? QString(u'(' + expr + u')')
                                                   : QString(QStringLiteral("cast((") + expr + QStringLiteral(") as ") + type + u')');
    }
    sql += u' ' + text(listTo, to, binds);
    QSqlQuery q = m_db.exec(sql, binds);
    qint64 rows = 0;
    QVector<QVariant> last(items.size());
    while (q.next()) {
        ++rows;
        for (int k = 0; k < items.size(); ++k)
            last[k] = q.value(k);
    }
    if (rows > 0)
        for (int k = 0; k < items.size(); ++k)
            m_vars.insert(items[k].variable, last[k]);
    m_rowCount = rows;
    return true;
}

void BatchRunner::runExec(int from, int to)
{
    int i = skip(from);
    // exec @ret = proc ...
    QString returnVar;
    if (i < to && m_tokens[i].kind == Token::Variable) {
        const int eq = skip(i + 1);
        if (eq < to && m_tokens[eq].text == u'=') {
            returnVar = m_tokens[i].text.mid(1).toLower();
            i = skip(eq + 1);
        }
    }
    QString name;
    while (i < to && (m_tokens[i].kind == Token::Word || m_tokens[i].kind == Token::QuotedName ||
                      (m_tokens[i].kind == Token::Operator && m_tokens[i].text == u'.'))) {
        QString part = m_tokens[i].text;
        if (m_tokens[i].kind == Token::QuotedName)
            part = part.mid(1, part.size() - 2);
        name += part;
        ++i;
    }
    if (name.isEmpty())
        syntaxError(i);
    const int dot = int(name.lastIndexOf(u'.'));
    if (dot >= 0)
        name = name.mid(dot + 1);

    QVector<ProcArg> args;
    int argFrom = i, depth = 0;
    auto addArg = [&](int a, int b) {
        a = skip(a);
        if (a >= b)
            return;
        // @name = value passes by position; the name is only documentation here.
        if (m_tokens[a].kind == Token::Variable) {
            const int eq = skip(a + 1);
            if (eq < b && m_tokens[eq].text == u'=')
                a = skip(eq + 1);
        }
        int last = b;
        while (last > a && (m_tokens[last - 1].kind == Token::Whitespace || m_tokens[last - 1].kind == Token::Comment))
            --last;
        ProcArg arg;
        if (last > a && (m_tokens[last - 1].is("output") || m_tokens[last - 1].is("out"))) {
            const int v = skip(a);
            if (m_tokens[v].kind != Token::Variable)
                syntaxError(v);
            arg.output = true;
            arg.variable = m_tokens[v].text;
            arg.value = variable(arg.variable);
            if (!m_vars.contains(arg.variable.mid(1).toLower()))
                throw DbError(QStringLiteral("必须声明标量变量 \"%1\"。").arg(arg.variable));
        } else {
            arg.value = argumentValue(a, last);
        }
        args.push_back(arg);
    };
    for (; i < to; ++i) {
        const Token &t = m_tokens[i];
        if (t.kind != Token::Operator)
            continue;
        if (t.text == u'(')
            ++depth;
        else if (t.text == u')')
            --depth;
        else if (t.text == u',' && depth == 0) {
            addArg(argFrom, i);
            argFrom = i + 1;
        }
    }
    addArg(argFrom, to);

    ResultSet rs = m_db.callProcedure(name, args);
    for (const ProcArg &a : std::as_const(args))
        if (a.output)
            assign(a.variable.mid(1).toLower(), a.value);
    if (!returnVar.isEmpty())
        m_vars.insert(returnVar, 0);
    if (!rs.columns.isEmpty())
        m_last = std::move(rs);
}

void BatchRunner::runDeclare(int from, int to)
{
    // declare @a type [= value], @b type(10,2) ...
    int i = skip(from);
    while (i < to) {
        if (m_tokens[i].kind != Token::Variable)
            syntaxError(i);
        const QString name = m_tokens[i].text.mid(1).toLower();
        const int typeFrom = skip(i + 1);
        int j = typeFrom, depth = 0, eq = -1;
        for (; j < to; j = skip(j + 1)) {
            const Token &t = m_tokens[j];
            if (t.text == u'(')
                ++depth;
            else if (t.text == u')')
                --depth;
            else if (depth == 0 && t.text == u'=' && eq < 0)
                eq = j;
            else if (depth == 0 && t.text == u',')
                break;
        }
        QString type;
        for (int k = typeFrom; k < (eq >= 0 ? eq : j); ++k)
            type += m_tokens[k].text;
        type = type.trimmed();
        if (type.startsWith(QLatin1String("as "), Qt::CaseInsensitive))
            type = type.mid(3).trimmed();
        // A character type declared without a length holds one character.
        const QString lower = type.toLower();
        if (lower == u"varchar" || lower == u"nvarchar" || lower == u"char" || lower == u"nchar")
            type += QStringLiteral("(1)");
        m_declared.insert(name, type);
        m_vars.insert(name, QVariant());
        if (eq >= 0) {
            assign(name, argumentValue(eq + 1, j));
            m_rowCount = 1;
        }
        i = j < to ? skip(j + 1) : to;
    }
}

void BatchRunner::runSet(int from, int to)
{
    const int i = skip(from);
    if (i < to && m_tokens[i].kind == Token::Variable) {
        const int eq = skip(i + 1);
        if (eq >= to || m_tokens[eq].text != u'=')
            syntaxError(eq);
        const QString name = m_tokens[i].text.mid(1).toLower();
        if (!m_vars.contains(name))
            throw DbError(QStringLiteral("必须声明标量变量 \"%1\"。").arg(m_tokens[i].text));
        assign(name, argumentValue(eq + 1, to));
        m_rowCount = 1;
        return;
    }
    const int v = skip(i + 1);
    if (isWord(i, "xact_abort")) {
        m_xactAbort = isWord(v, "on");
        return;
    }
    // Session options of the server (NOCOUNT, ANSI_NULLS, ...) mean nothing here.
    if (isWord(v, "on") || isWord(v, "off"))
        return;
    syntaxError(i);
}

void BatchRunner::runAlter(int from, int to)
{
    // alter table NAME disable|enable trigger all
    int i = skip(from);
    if (!isWord(i, "table"))
        syntaxError(i);
    i = skip(i + 1);
    QString table;
    while (i < to && (m_tokens[i].kind == Token::Word || m_tokens[i].kind == Token::QuotedName || m_tokens[i].text == u'.')) {
        table += m_tokens[i].kind == Token::QuotedName ? m_tokens[i].text.mid(1, m_tokens[i].text.size() - 2) : m_tokens[i].text;
        ++i;
    }
    const int dot = int(table.lastIndexOf(u'.'));
    if (dot >= 0)
        table = table.mid(dot + 1);
    i = skip(i);
    const bool disable = isWord(i, "disable");
    if (!disable && !isWord(i, "enable"))
        syntaxError(i);
    const int trig = skip(i + 1);
    const int all = skip(trig + 1);
    if (!isWord(trig, "trigger") || !isWord(all, "all"))
        syntaxError(trig);
    const Params p{{QStringLiteral("t"), table.toLower()}};
    if (disable)
        m_db.exec(QStringLiteral("INSERT INTO sys_disabledtriggers(TABLENAME) SELECT :t WHERE NOT EXISTS "
                                  "(SELECT 1 FROM sys_disabledtriggers WHERE TABLENAME = :t)"), p);
    else
        m_db.exec(QStringLiteral("DELETE FROM sys_disabledtriggers WHERE TABLENAME = :t"), p);
}

} // namespace db
