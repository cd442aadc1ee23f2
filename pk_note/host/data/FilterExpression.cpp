#include "db/Database.h"
#include "data/FilterExpression.h"

#include "data/ClientDataSet.h"
#include "db/TsqlTranslator.h"

#include <QRegularExpression>

#include <memory>

namespace data {

namespace {

using Value = std::function<QVariant()>;
using Pred = std::function<bool()>;

struct Operand {
    Value get;
    Field *field = nullptr; // set when the operand is a field
    bool literal = false;
    QVariant constant;
};

int compareValues(const QVariant &a, const QVariant &b, Qt::CaseSensitivity cs, bool *comparable)
{
    *comparable = true;
    const int ta = a.typeId(), tb = b.typeId();
    auto numeric = [](int t) {
        return t == QMetaType::LongLong || t == QMetaType::Int || t == QMetaType::Double || t == QMetaType::Bool ||
               t == QMetaType::UInt || t == QMetaType::ULongLong;
    };
    if (numeric(ta) || numeric(tb)) {
        bool ok1 = false, ok2 = false;
        const double x = a.toDouble(&ok1), y = b.toDouble(&ok2);
        if (!ok1 || !ok2) {
            *comparable = false;
            return 0;
        }
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (ta == QMetaType::QDate || ta == QMetaType::QDateTime || tb == QMetaType::QDate || tb == QMetaType::QDateTime) {
        const QDateTime x = ta == QMetaType::QDate ? QDateTime(a.toDate(), QTime(0, 0)) : a.toDateTime();
        const QDateTime y = tb == QMetaType::QDate ? QDateTime(b.toDate(), QTime(0, 0)) : b.toDateTime();
        if (!x.isValid() || !y.isValid()) {
            *comparable = false;
            return 0;
        }
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    return a.toString().compare(b.toString(), cs);
}

class Parser {
public:
    Parser(ClientDataSet &ds, const QString &text, bool ci) : m_ds(ds), m_text(text), m_cs(ci ? Qt::CaseInsensitive : Qt::CaseSensitive)
    {
        for (const db::Token &t : db::tokenize(text))
            if (t.kind != db::Token::Whitespace && t.kind != db::Token::Comment)
                m_tokens << t;
    }

    Pred parse()
    {
        Pred p = orExpr();
        if (m_pos < m_tokens.size())
            fail();
        return p;
    }

private:
    [[noreturn]] void fail() const
    {
        const QString near = m_pos < m_tokens.size() ? m_tokens[m_pos].text : QStringLiteral("结尾");
        throw DataSetError(QStringLiteral("过滤条件 \"%1\" 在 \"%2\" 附近有语法错误").arg(m_text, near));
    }
    bool atWord(const char *w) const { return m_pos < m_tokens.size() && m_tokens[m_pos].kind == db::Token::Word && m_tokens[m_pos].is(w); }
    bool atOp(const char *op) const
    {
        return m_pos < m_tokens.size() && m_tokens[m_pos].kind == db::Token::Operator && m_tokens[m_pos].text == QLatin1String(op);
    }
    void expectOp(const char *op)
    {
        if (!atOp(op))
            fail();
        ++m_pos;
    }

    Pred orExpr()
    {
        Pred left = andExpr();
        while (atWord("or")) {
            ++m_pos;
            Pred right = andExpr();
            left = [left, right] { return left() || right(); };
        }
        return left;
    }
    Pred andExpr()
    {
        Pred left = notExpr();
        while (atWord("and")) {
            ++m_pos;
            Pred right = notExpr();
            left = [left, right] { return left() && right(); };
        }
        return left;
    }
    Pred notExpr()
    {
        if (atWord("not")) {
            ++m_pos;
            Pred inner = notExpr();
            return [inner] { return !inner(); };
        }
        return comparison();
    }

    Pred comparison()
    {
        if (atOp("(")) { // a parenthesised condition
            const int save = m_pos;
            ++m_pos;
            try {
                Pred inner = orExpr();
                expectOp(")");
                return inner;
            } catch (const DataSetError &) {
                m_pos = save;
                throw;
            }
        }
        Operand left = operand();
        if (atWord("is")) {
            ++m_pos;
            bool negate = false;
            if (atWord("not")) {
                negate = true;
                ++m_pos;
            }
            if (!atWord("null"))
                fail();
            ++m_pos;
            Value get = left.get;
            return [get, negate] {
                const QVariant v = get();
                return (v.isNull() || !v.isValid()) != negate;
            };
        }
        bool negate = false;
        if (atWord("not")) {
            negate = true;
            ++m_pos;
        }
        if (atWord("like")) {
            ++m_pos;
            Operand pat = operand();
            if (!pat.literal)
                fail();
            QString rx;
            for (const QChar c : pat.constant.toString())
                rx += c == u'%' ? QStringLiteral(".*") : c == u'_' ? QStringLiteral(".") : QRegularExpression::escape(QString(c));
            auto re = std::make_shared<QRegularExpression>(
                QRegularExpression::anchoredPattern(rx),
                m_cs == Qt::CaseInsensitive ? QRegularExpression::CaseInsensitiveOption : QRegularExpression::NoPatternOption);
            Value get = left.get;
            return [get, re, negate] {
                const QVariant v = get();
                if (v.isNull())
                    return false;
                return re->match(v.toString()).hasMatch() != negate;
            };
        }
        if (atWord("in")) {
            ++m_pos;
            expectOp("(");
            QVector<QVariant> list;
            for (;;) {
                Operand o = operand();
                if (!o.literal)
                    fail();
                list << convertFor(left, o.constant);
                if (atOp(",")) {
                    ++m_pos;
                    continue;
                }
                break;
            }
            expectOp(")");
            Value get = left.get;
            const Qt::CaseSensitivity cs = m_cs;
            return [get, list, negate, cs] {
                const QVariant v = get();
                if (v.isNull())
                    return false;
                for (const QVariant &x : list) {
                    bool ok = false;
                    if (compareValues(v, x, cs, &ok) == 0 && ok)
                        return !negate;
                }
                return negate;
            };
        }
        if (negate)
            fail();
        static const char *ops[] = {"=", "<>", "!=", "<", ">", "<=", ">="};
        int op = -1;
        for (int i = 0; i < 7; ++i)
            if (atOp(ops[i]))
                op = i;
        if (op < 0)
            fail();
        ++m_pos;
        Operand right = operand();
        // a literal takes the type of the field it is compared with
        if (right.literal && left.field)
            right = literalOperand(convertFor(left, right.constant));
        else if (left.literal && right.field)
            left = literalOperand(convertFor(right, left.constant));
        const Qt::CaseSensitivity cs = m_cs;
        // 'ABC*' compared for equality is a prefix match
        if ((op == 0 || op == 1 || op == 2) && right.literal && right.constant.typeId() == QMetaType::QString &&
            right.constant.toString().endsWith(u'*')) {
            const QString prefix = right.constant.toString().chopped(1);
            Value get = left.get;
            const bool eq = op == 0;
            return [get, prefix, cs, eq] {
                const QVariant v = get();
                if (v.isNull())
                    return false;
                return v.toString().startsWith(prefix, cs) == eq;
            };
        }
        Value a = left.get, b = right.get;
        return [a, b, op, cs] {
            const QVariant x = a(), y = b();
            if (x.isNull() || !x.isValid() || y.isNull() || !y.isValid())
                return false;
            bool ok = false;
            const int c = compareValues(x, y, cs, &ok);
            if (!ok)
                return false;
            switch (op) {
            case 0: return c == 0;
            case 1:
            case 2: return c != 0;
            case 3: return c < 0;
            case 4: return c > 0;
            case 5: return c <= 0;
            default: return c >= 0;
            }
        };
    }

    static Operand literalOperand(const QVariant &v)
    {
        Operand o;
        o.literal = true;
        o.constant = v;
        o.get = [v] { return v; };
        return o;
    }

    QVariant convertFor(const Operand &fieldOperand, const QVariant &v) const
    {
        if (!fieldOperand.field)
            return v;
        const FieldType t = fieldOperand.field->DataType();
        if (t == FieldType::String || t == FieldType::Memo)
            return v.toString();
        try {
            return fieldOperand.field->Convert(v);
        } catch (const DataSetError &) {
            return v;
        }
    }

    Operand operand()
    {
        if (m_pos >= m_tokens.size())
            fail();
        const db::Token &t = m_tokens[m_pos];
        switch (t.kind) {
        case db::Token::String: {
            ++m_pos;
            QString s = t.text;
            if (s.startsWith(u'N') || s.startsWith(u'n'))
                s = s.mid(1);
            s = s.mid(1, s.size() - 2).replace(QLatin1String("''"), QLatin1String("'"));
            return literalOperand(s);
        }
        case db::Token::Number: {
            ++m_pos;
            bool isInt = false;
            const qint64 i = t.text.toLongLong(&isInt);
            return literalOperand(isInt ? QVariant(i) : QVariant(t.text.toDouble()));
        }
        case db::Token::Operator:
            if (t.text == QLatin1String("-") && m_pos + 1 < m_tokens.size() && m_tokens[m_pos + 1].kind == db::Token::Number) {
                m_pos += 2;
                const QString num = m_tokens[m_pos - 1].text;
                bool isInt = false;
                const qint64 i = num.toLongLong(&isInt);
                return literalOperand(isInt ? QVariant(-i) : QVariant(-num.toDouble()));
            }
            fail();
        case db::Token::Word:
        case db::Token::QuotedName: {
            if (t.kind == db::Token::Word && (t.is("true") || t.is("false"))) {
                ++m_pos;
                return literalOperand(QVariant(t.is("true")));
            }
            if (t.kind == db::Token::Word && t.is("null")) {
                ++m_pos;
                return literalOperand(QVariant());
            }
            QString name = t.text;
            if (t.kind == db::Token::QuotedName)
                name = name.mid(1, name.size() - 2);
            Field *f = m_ds.FindField(name);
            if (!f)
                throw DataSetError(QStringLiteral("过滤条件中的字段 '%1' 不存在").arg(name));
            ++m_pos;
            Operand o;
            o.field = f;
            o.get = [f] { return f->Value(); };
            return o;
        }
        default:
            fail();
        }
    }

    ClientDataSet &m_ds;
    QString m_text;
    Qt::CaseSensitivity m_cs;
    QVector<db::Token> m_tokens;
    int m_pos = 0;
};

} // namespace

std::function<bool(ClientDataSet &)> compileFilter(ClientDataSet &ds, const QString &expression, bool caseInsensitive)
{
    Parser parser(ds, expression, caseInsensitive);
    Pred p = parser.parse();
    return [p](ClientDataSet &) { return p(); };
}

} // namespace data
