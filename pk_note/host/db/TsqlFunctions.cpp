#include "db/TsqlFunctions.h"

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace db {

namespace {

// ------------------------------------------------------------------ collation

int trimmedLength(const char *s, int n)
{
    while (n > 0 && s[n - 1] == ' ')
        --n;
    return n;
}

unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

int collate(void *, int na, const void *a, int nb, const void *b)
{
    return compareTsql(static_cast<const char *>(a), na, static_cast<const char *>(b), nb);
}

// ------------------------------------------------------------------ errors

void fail(sqlite3_context *ctx, const std::string &text) { sqlite3_result_error(ctx, text.c_str(), -1); }

std::string textOf(sqlite3_value *v)
{
    const auto *t = reinterpret_cast<const char *>(sqlite3_value_text(v));
    return t ? std::string(t, size_t(sqlite3_value_bytes(v))) : std::string();
}

std::string trimmed(const std::string &s)
{
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r' || s[a] == '\n'))
        ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r' || s[b - 1] == '\n'))
        --b;
    return s.substr(a, b - a);
}

// ------------------------------------------------------------------ numbers from text

std::optional<int64_t> parseInteger(const std::string &raw)
{
    const std::string s = trimmed(raw);
    if (s.empty())
        return 0; // the original server reads '' as 0 for integer types
    size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
    if (i == s.size())
        return std::nullopt;
    for (size_t k = i; k < s.size(); ++k)
        if (s[k] < '0' || s[k] > '9')
            return std::nullopt;
    int64_t v = 0;
    const char *first = s.data() + (s[0] == '+' ? 1 : 0);
    const auto r = std::from_chars(first, s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size())
        return std::nullopt;
    return v;
}

std::optional<double> parseNumber(const std::string &raw)
{
    const std::string s = trimmed(raw);
    size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        size_t exp = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
            ++i;
            ++exp;
        }
        if (exp == 0)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;
    return std::strtod(s.c_str(), nullptr);
}

std::string intConversionError(const std::string &text)
{
    return "在将 varchar 值 '" + text + "' 转换成数据类型 int 时失败。";
}
const char *const kNumericConversionError = "从数据类型 varchar 转换为 numeric 时出错。";
const char *const kIntOverflow = "将 expression 转换为数据类型 int 时出现算术溢出错误。";
const char *const kDivideByZero = "遇到以零作除数错误。";

// Rounds half away from zero at `places` decimals (negative: left of the point),
// on the shortest decimal form of the value, so 2.675 rounds as the digits read.
double roundDecimal(double x, int places, bool truncate)
{
    if (!std::isfinite(x))
        return x;
    char buf[512];
    const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed);
    if (r.ec != std::errc())
        return x;
    std::string s(buf, r.ptr);
    const bool negative = !s.empty() && s[0] == '-';
    if (negative)
        s.erase(0, 1);
    const size_t dot = s.find('.');
    std::string digits = "0" + (dot == std::string::npos ? s : s.substr(0, dot) + s.substr(dot + 1));
    long point = long(dot == std::string::npos ? s.size() : dot) + 1; // digits left of the point
    const long keep = point + places;
    if (keep < 0)
        return 0.0;
    if (keep >= long(digits.size()))
        return x;
    const bool up = !truncate && digits[size_t(keep)] >= '5';
    for (size_t k = size_t(keep); k < digits.size(); ++k)
        digits[k] = '0';
    if (up) {
        long k = keep - 1;
        while (k >= 0 && digits[size_t(k)] == '9') {
            digits[size_t(k)] = '0';
            --k;
        }
        if (k >= 0)
            ++digits[size_t(k)];
        else {
            digits.insert(digits.begin(), '1');
            ++point;
        }
    }
    std::string out = (negative ? "-" : "") + digits.substr(0, size_t(point)) + "." + digits.substr(size_t(point));
    if (out.back() == '.')
        out += '0';
    return std::strtod(out.c_str(), nullptr);
}

// The value as a number for arithmetic; text must read as one.
bool numberOf(sqlite3_context *ctx, sqlite3_value *v, double &out, bool &isInt, int64_t &asInt)
{
    switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER:
        isInt = true;
        asInt = sqlite3_value_int64(v);
        out = double(asInt);
        return true;
    case SQLITE_FLOAT:
        isInt = false;
        out = sqlite3_value_double(v);
        return true;
    default: {
        const std::string t = textOf(v);
        if (const auto i = parseInteger(t); i && !trimmed(t).empty()) {
            isInt = true;
            asInt = *i;
            out = double(*i);
            return true;
        }
        if (const auto d = parseNumber(t)) {
            isInt = false;
            out = *d;
            return true;
        }
        fail(ctx, kNumericConversionError);
        return false;
    }
    }
}

// ------------------------------------------------------------------ functions

// tsql_int(x [, bits]): conversion to int (32 bits) or bigint (64): numbers truncate
// toward zero, text must be an integer.
void fnInt(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    sqlite3_value *v = argv[0];
    const bool big = argc > 1 && sqlite3_value_int(argv[1]) == 64;
    const double lo = big ? -9223372036854775808.0 : -2147483648.0;
    const double hi = big ? 9223372036854775807.0 : 2147483647.0;
    switch (sqlite3_value_type(v)) {
    case SQLITE_NULL:
        sqlite3_result_null(ctx);
        return;
    case SQLITE_INTEGER: {
        const int64_t i = sqlite3_value_int64(v);
        if (!big && (i < int64_t(lo) || i > int64_t(hi)))
            return fail(ctx, kIntOverflow);
        sqlite3_result_int64(ctx, i);
        return;
    }
    case SQLITE_FLOAT: {
        const double d = std::trunc(sqlite3_value_double(v));
        if (!(d >= lo && d <= hi))
            return fail(ctx, kIntOverflow);
        sqlite3_result_int64(ctx, int64_t(d));
        return;
    }
    default: {
        const std::string t = textOf(v);
        const auto i = parseInteger(t);
        if (!i)
            return fail(ctx, intConversionError(t));
        if (!big && (*i < int64_t(lo) || *i > int64_t(hi)))
            return fail(ctx, kIntOverflow);
        sqlite3_result_int64(ctx, *i);
    }
    }
}

// tsql_num(x): text read as a number (an error when it is not one), numbers as they are.
void fnNum(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    sqlite3_value *v = argv[0];
    if (sqlite3_value_type(v) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    double d = 0;
    bool isInt = false;
    int64_t i = 0;
    if (!numberOf(ctx, v, d, isInt, i))
        return;
    if (isInt)
        sqlite3_result_int64(ctx, i);
    else
        sqlite3_result_double(ctx, d);
}

// tsql_dec(x, precision, scale): decimal(p,s) rounds half away from zero to s places.
void fnDec(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const int precision = sqlite3_value_int(argv[1]);
    const int scale = sqlite3_value_int(argv[2]);
    double d = 0;
    bool isInt = false;
    int64_t i = 0;
    if (!numberOf(ctx, argv[0], d, isInt, i))
        return;
    const double r = isInt ? double(i) : roundDecimal(d, scale, false);
    if (std::fabs(r) >= std::pow(10.0, precision - scale))
        return fail(ctx, std::string("将 ") + (isInt ? "int" : "numeric") + " 转换为数据类型 numeric 时出现算术溢出错误。");
    if (scale == 0 && std::fabs(r) < 9.0e18)
        sqlite3_result_int64(ctx, isInt ? i : int64_t(r));
    else
        sqlite3_result_double(ctx, r);
}

// Number of code points of a UTF-8 text, and the byte length of its first n.
size_t utf8Prefix(const std::string &s, long n, long &count)
{
    count = 0;
    size_t i = 0;
    while (i < s.size()) {
        if (n >= 0 && count == n)
            return i;
        const unsigned char c = static_cast<unsigned char>(s[i]);
        i += c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        ++count;
    }
    return std::min(i, s.size());
}

// Text of a value converted to a character type of n characters (n < 0: no limit).
bool charText(sqlite3_context *ctx, sqlite3_value *v, long n, std::string &out)
{
    const int type = sqlite3_value_type(v);
    out = textOf(v);
    long count = 0;
    const size_t cut = utf8Prefix(out, n, count);
    if (cut >= out.size())
        return true;
    if (type == SQLITE_INTEGER) {
        out = "*"; // an integer too wide for the target shows as '*' on the original server
        return true;
    }
    if (type == SQLITE_FLOAT) {
        fail(ctx, "将 numeric 转换为数据类型 varchar 时出现算术溢出错误。");
        return false;
    }
    out.resize(cut);
    return true;
}

// The original server's largest character type is 8000 long (beyond it, max).
bool sizeAllowed(sqlite3_context *ctx, long n, const char *type)
{
    if (n <= 8000)
        return true;
    fail(ctx, std::string("为类型 '") + type + "' 指定的大小(" + std::to_string(n) + ")超过了任意数据类型所允许的最大值(8000)。");
    return false;
}

// tsql_varchar(x, n): varchar(n) keeps the first n characters.
void fnVarchar(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const long n = sqlite3_value_int(argv[1]);
    if (!sizeAllowed(ctx, n, "varchar"))
        return;
    std::string s;
    if (!charText(ctx, argv[0], n, s))
        return;
    sqlite3_result_text(ctx, s.data(), int(s.size()), SQLITE_TRANSIENT);
}

// tsql_char(x, n): char(n) keeps n characters and pads with blanks.
void fnChar(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const long n = sqlite3_value_int(argv[1]);
    if (!sizeAllowed(ctx, n, "char"))
        return;
    std::string s;
    if (!charText(ctx, argv[0], n, s))
        return;
    long count = 0;
    utf8Prefix(s, -1, count);
    if (count < n)
        s.append(size_t(n - count), ' ');
    sqlite3_result_text(ctx, s.data(), int(s.size()), SQLITE_TRANSIENT);
}

// tsql_round(x, n [, f]): half away from zero, negative n left of the point, f <> 0 truncates;
// an integer stays an integer.
void fnRound(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const int places = sqlite3_value_int(argv[1]);
    const bool truncate = argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL && sqlite3_value_int(argv[2]) != 0;
    double d = 0;
    bool isInt = false;
    int64_t i = 0;
    if (!numberOf(ctx, argv[0], d, isInt, i))
        return;
    if (isInt) {
        if (places >= 0)
            return sqlite3_result_int64(ctx, i);
        if (places < -18)
            return sqlite3_result_int64(ctx, 0);
        int64_t p = 1;
        for (int k = 0; k < -places; ++k)
            p *= 10;
        int64_t q = i / p;
        const int64_t rem = i % p;
        if (!truncate && (rem < 0 ? -rem : rem) * 2 >= p)
            q += i < 0 ? -1 : 1;
        int64_t r = 0;
        if (__builtin_mul_overflow(q, p, &r))
            return fail(ctx, "将 expression 转换为数据类型 bigint 时出现算术溢出错误。");
        return sqlite3_result_int64(ctx, r);
    }
    sqlite3_result_double(ctx, roundDecimal(d, places, truncate));
}

// tsql_nz(x): the divisor, refused when it is zero.
void fnNonZero(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    sqlite3_value *v = argv[0];
    if (sqlite3_value_type(v) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    double d = 0;
    bool isInt = false;
    int64_t i = 0;
    if (!numberOf(ctx, v, d, isInt, i))
        return;
    if (isInt ? i == 0 : d == 0.0)
        return fail(ctx, kDivideByZero);
    if (isInt)
        sqlite3_result_int64(ctx, i);
    else
        sqlite3_result_double(ctx, d);
}

// replicate(x, n) and space(n): n copies, NULL for a negative count; capped at 8000
// characters like the original's non-max text.
void repeatText(sqlite3_context *ctx, const std::string &unit, long n)
{
    if (n < 0)
        return sqlite3_result_null(ctx);
    std::string out;
    long chars = 0, unitChars = 0;
    utf8Prefix(unit, -1, unitChars);
    for (long k = 0; k < n && unitChars > 0 && chars + unitChars <= 8000; ++k) {
        out += unit;
        chars += unitChars;
    }
    sqlite3_result_text(ctx, out.data(), int(out.size()), SQLITE_TRANSIENT);
}

void fnReplicate(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    repeatText(ctx, textOf(argv[0]), sqlite3_value_int(argv[1]));
}

void fnSpace(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    repeatText(ctx, " ", sqlite3_value_int(argv[0]));
}

} // namespace

int compareTsql(const char *a, int na, const char *b, int nb)
{
    na = trimmedLength(a, na);
    nb = trimmedLength(b, nb);
    const int n = na < nb ? na : nb;
    for (int i = 0; i < n; ++i) {
        const unsigned char x = fold(static_cast<unsigned char>(a[i]));
        const unsigned char y = fold(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

bool installTsqlSupport(sqlite3 *h)
{
    if (!h)
        return false;
    if (sqlite3_create_collation_v2(h, "TSQL", SQLITE_UTF8, nullptr, collate, nullptr) != SQLITE_OK)
        return false;
    const struct {
        const char *name;
        int args;
        void (*fn)(sqlite3_context *, int, sqlite3_value **);
    } functions[] = {
        {"tsql_int", 1, fnInt},       {"tsql_int", 2, fnInt},       {"tsql_num", 1, fnNum},
        {"tsql_dec", 3, fnDec},       {"tsql_varchar", 2, fnVarchar}, {"tsql_char", 2, fnChar},
        {"tsql_round", 2, fnRound},   {"tsql_round", 3, fnRound},   {"tsql_nz", 1, fnNonZero},
        {"replicate", 2, fnReplicate}, {"space", 1, fnSpace},
    };
    for (const auto &f : functions) {
        if (sqlite3_create_function_v2(h, f.name, f.args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, f.fn, nullptr,
                                       nullptr, nullptr)
            != SQLITE_OK)
            return false;
    }
    return true;
}

} // namespace db
