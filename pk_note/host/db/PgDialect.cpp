#include "db/PgDialect.h"

#include "db/TsqlTranslator.h"

#include <QRegularExpression>
#include <sqlite3.h>

namespace db {

namespace {

bool isBlank(const Token &t) { return t.kind == Token::Whitespace || t.kind == Token::Comment; }

int nextSignificant(const QVector<Token> &toks, int i)
{
    while (i < toks.size() && isBlank(toks[i]))
        ++i;
    return i;
}

int prevSignificant(const QVector<Token> &toks, int i)
{
    while (i >= 0 && isBlank(toks[i]))
        --i;
    return i;
}

QString joinRange(const QVector<Token> &toks, int from, int to)
{
    QString out;
    for (int i = from; i < to && i < toks.size(); ++i)
        out += toks[i].text;
    return out.trimmed();
}

// CREATE TRIGGER [IF NOT EXISTS] name <when> <event> ON table FOR EACH ROW
// [WHEN cond] BEGIN body END: a plpgsql function holding the condition and the
// body, and the trigger that calls it.
QStringList adaptTrigger(const QVector<Token> &toks, int triggerWord)
{
    int i = nextSignificant(toks, triggerWord + 1);
    if (toks.value(i).is("if")) {
        i = nextSignificant(toks, i + 1); // not
        i = nextSignificant(toks, i + 1); // exists
        i = nextSignificant(toks, i + 1);
    }
    const QString name = toks.value(i).text;
    const int eventFrom = i + 1;
    int on = eventFrom;
    while (on < toks.size() && !toks[on].is("on"))
        ++on;
    const QString event = joinRange(toks, eventFrom, on);
    const int tableAt = nextSignificant(toks, on + 1);
    const QString table = toks.value(tableAt).text;
    // FOR EACH ROW is optional on SQLite: every trigger there is a row trigger.
    int j = nextSignificant(toks, tableAt + 1);
    if (toks.value(j).is("for")) {
        while (j < toks.size() && !toks[j].is("row"))
            ++j;
        j = nextSignificant(toks, j + 1);
    }
    QString condition = QStringLiteral("true");
    int depth = 0;
    if (toks.value(j).is("when")) {
        const int from = j + 1;
        for (j = from; j < toks.size(); ++j) {
            if (toks[j].is("("))
                ++depth;
            else if (toks[j].is(")"))
                --depth;
            else if (depth == 0 && toks[j].is("begin"))
                break;
        }
        condition = joinRange(toks, from, j);
    }
    int end = prevSignificant(toks, int(toks.size()) - 1);
    if (toks.value(end).is(";"))
        end = prevSignificant(toks, end - 1);
    QString body = joinRange(toks, j + 1, end); // between BEGIN and the last END
    if (!body.endsWith(u';'))
        body += u';';
    // A guard's refusal: SQLite's RAISE(ABORT, text) is the server's exception.
    static const QRegularExpression abort(QStringLiteral("SELECT\\s+RAISE\\s*\\(\\s*ABORT\\s*,\\s*('(?:[^']|'')*')\\s*\\)"),
                                          QRegularExpression::CaseInsensitiveOption);
    body.replace(abort, QStringLiteral("RAISE EXCEPTION USING MESSAGE = \\1"));
    // A state change is queued in the transaction itself (see pk_postqueue).
    static const QRegularExpression queue(QStringLiteral("INSERT\\s+INTO\\s+sys_postqueue\\s*\\(\\s*TABLENAME\\s*,\\s*NOTEID\\s*,"
                                                         "\\s*OLDSTATE\\s*,\\s*NEWSTATE\\s*\\)\\s*VALUES\\s*\\("),
                                          QRegularExpression::CaseInsensitiveOption);
    body.replace(queue, QStringLiteral("PERFORM pk_postqueue("));
    const QString function = name + QStringLiteral("_fn");
    // A BEFORE trigger lets the row go on by returning it; AFTER ignores the value.
    return {QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $pk$ BEGIN IF %2 THEN %3 "
                           "END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END $pk$")
                .arg(function, condition, body),
            QStringLiteral("CREATE OR REPLACE TRIGGER %1 %2 ON %3 FOR EACH ROW EXECUTE FUNCTION %4()")
                .arg(name, event, table, function)};
}

} // namespace

QStringList pgAdaptDdl(const QString &sql)
{
    QVector<Token> toks = tokenize(sql);
    const int first = nextSignificant(toks, 0);
    if (!toks.value(first).is("create") && !toks.value(first).is("alter"))
        return {sql};
    const int second = nextSignificant(toks, first + 1);
    if (toks.value(first).is("create") && toks.value(second).is("trigger"))
        return adaptTrigger(toks, second);
    // The table a CREATE TABLE or ALTER TABLE names.
    QString table;
    if (toks.value(second).is("table")) {
        int at = nextSignificant(toks, second + 1);
        if (toks.value(at).is("if")) // IF NOT EXISTS
            at = nextSignificant(toks, nextSignificant(toks, nextSignificant(toks, at + 1) + 1) + 1);
        table = toks.value(at).text;
    }
    // citext has no length: the declared type is kept as the column's comment,
    // so client data sets learn the same sizes as on SQLite.
    QStringList comments;
    const auto keepDeclared = [&](int typeAt, const QString &declared) {
        const int column = prevSignificant(toks, typeAt - 1);
        if (!table.isEmpty() && column >= 0 && toks[column].kind != Token::Operator)
            comments << QStringLiteral("COMMENT ON COLUMN %1.%2 IS '%3'").arg(table, toks[column].text, declared);
    };
    // Column types: integers are 64-bit as on SQLite; text that compares as
    // the original server does (case ignored) is citext.
    for (int i = 0; i < toks.size(); ++i) {
        Token &t = toks[i];
        if (t.kind != Token::Word)
            continue;
        if (t.is("integer") || t.is("int")) {
            t.text = QStringLiteral("bigint");
        } else if (t.is("bit") && !toks.value(nextSignificant(toks, i + 1)).is("(")) {
            // The original server's flag takes 0 and 1 as numbers; the server's bit is a bit string.
            keepDeclared(i, QStringLiteral("BIT"));
            t.text = QStringLiteral("smallint");
        } else if (t.is("datetime") && !toks.value(nextSignificant(toks, i + 1)).is("(")) {
            // the original server's name for a timestamp (not SQLite's function)
            t.text = QStringLiteral("timestamp");
        } else if (t.is("collate")) {
            const int what = nextSignificant(toks, i + 1);
            if (!toks.value(what).is("tsql") && !toks.value(what).is("nocase"))
                continue;
            // The type before it: VARCHAR(n), CHAR(n) or TEXT.
            int typeEnd = prevSignificant(toks, i - 1);
            int typeStart = typeEnd;
            if (toks.value(typeEnd).is(")")) {
                while (typeStart >= 0 && !toks[typeStart].is("("))
                    --typeStart;
                typeStart = prevSignificant(toks, typeStart - 1);
            }
            if (typeStart >= 0 && (toks[typeStart].is("varchar") || toks[typeStart].is("char") ||
                                   toks[typeStart].is("nvarchar") || toks[typeStart].is("text"))) {
                keepDeclared(typeStart, joinRange(toks, typeStart, typeEnd + 1).remove(u' ').toUpper());
                toks[typeStart].text = QStringLiteral("citext");
                for (int k = typeStart + 1; k <= typeEnd; ++k)
                    toks[k].text.clear();
            }
            for (int k = i; k <= what; ++k)
                toks[k].text.clear();
        }
    }
    return QStringList{joinTokens(toks)} + comments;
}

qint64 pgLockKey(const QString &name)
{
    // FNV-1a over the UTF-8 name: stable across processes and builds.
    quint64 h = 1469598103934665603ULL;
    for (const char c : QByteArray("pk_note:") + name.toUpper().toUtf8()) {
        h ^= quint8(c);
        h *= 1099511628211ULL;
    }
    return qint64(h);
}

int pgResultCode(const QString &state, bool connectionError)
{
    if (connectionError || state.startsWith(QLatin1String("08")) || state == QLatin1String("57P01") ||
        state == QLatin1String("57P02") || state == QLatin1String("57P03"))
        return 0;
    if (state == QLatin1String("53100"))
        return SQLITE_FULL;
    if (state == QLatin1String("25006"))
        return SQLITE_READONLY;
    if (state == QLatin1String("55P03") || state == QLatin1String("40P01") || state == QLatin1String("40001"))
        return SQLITE_BUSY;
    if (state == QLatin1String("42501") || state.startsWith(QLatin1String("28")))
        return SQLITE_PERM;
    if (state.startsWith(QLatin1String("23")))
        return SQLITE_CONSTRAINT;
    if (state.startsWith(QLatin1String("53")))
        return SQLITE_NOMEM;
    if (state == QLatin1String("57014"))
        return SQLITE_INTERRUPT;
    return SQLITE_ERROR;
}

QString pgErrorText(int code, bool connectionLost, const QString &serverText)
{
    const char *sentence = nullptr;
    if (connectionLost)
        sentence = "与数据库服务器的连接已断开，数据没有保存。请检查网络和服务器后重新打开帐套。";
    else if (code == SQLITE_READONLY)
        sentence = "帐套所在的服务器只允许读取，不能保存数据。";
    else if (code == SQLITE_FULL)
        sentence = "数据库服务器的磁盘空间已满，数据没有保存。";
    else if (code == SQLITE_BUSY)
        sentence = "帐套正被其他用户使用，等待超时，数据没有保存。请稍后再试。";
    else if (code == SQLITE_PERM)
        sentence = "没有访问帐套的权限，请联系数据库管理员。";
    else if (code == SQLITE_NOMEM)
        sentence = "数据库服务器资源不足，操作没有完成。";
    else if (code == SQLITE_INTERRUPT)
        sentence = "操作被中断，数据没有保存。";
    if (!sentence)
        return serverText;
    return QString::fromUtf8(sentence) + u'\n' + serverText;
}

} // namespace db
