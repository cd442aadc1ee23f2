#include "db/TsqlFunctions.h"

#include <sqlite3.h>

#include <charconv>
#include <cstdio>
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

// ------------------------------------------------------------------ dates

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t &y, unsigned &m, unsigned &d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

struct Moment {
    int64_t days = 0;    // since 1970-01-01
    int64_t seconds = 0; // within the day
};

// 'YYYY-MM-DD', 'YYYY-MM-DD HH:MM[:SS[.fff]]' or 'YYYY-MM-DDTHH:MM:SS'.
bool parseMoment(const std::string &raw, Moment &m)
{
    const std::string s = trimmed(raw);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    int n = 0;
    if (std::sscanf(s.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &n) != 3 || mo < 1 || mo > 12 || d < 1 || d > 31)
        return false;
    if (size_t(n) < s.size()) {
        if ((s[size_t(n)] != ' ' && s[size_t(n)] != 'T')
            || std::sscanf(s.c_str() + n + 1, "%2d:%2d:%2d", &h, &mi, &se) < 2 || h > 23 || mi > 59 || se > 59)
            return false;
    }
    m.days = daysFromCivil(y, unsigned(mo), unsigned(d));
    m.seconds = h * 3600 + mi * 60 + se;
    return true;
}

std::string momentText(const Moment &m)
{
    int64_t y = 0;
    unsigned mo = 0, d = 0;
    civilFromDays(m.days, y, mo, d);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02lld:%02lld:%02lld", static_cast<long long>(y), mo, d,
                  static_cast<long long>(m.seconds / 3600), static_cast<long long>(m.seconds / 60 % 60),
                  static_cast<long long>(m.seconds % 60));
    return buf;
}

bool momentOf(sqlite3_context *ctx, sqlite3_value *v, Moment &m)
{
    const std::string t = textOf(v);
    if (parseMoment(t, m))
        return true;
    fail(ctx, "从字符串转换日期和/或时间时，转换失败。");
    return false;
}

// tsql_datediff(part, a, b): boundaries of `part` crossed from a to b.
void fnDateDiff(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const std::string part = textOf(argv[0]);
    Moment a, b;
    if (!momentOf(ctx, argv[1], a) || !momentOf(ctx, argv[2], b))
        return;
    int64_t ya = 0, yb = 0;
    unsigned ma = 0, mb = 0, da = 0, db = 0;
    civilFromDays(a.days, ya, ma, da);
    civilFromDays(b.days, yb, mb, db);
    int64_t r = 0;
    if (part == "year")
        r = yb - ya;
    else if (part == "quarter")
        r = (yb * 4 + (mb - 1) / 3) - (ya * 4 + (ma - 1) / 3);
    else if (part == "month")
        r = (yb * 12 + mb) - (ya * 12 + ma);
    else if (part == "day")
        r = b.days - a.days;
    else if (part == "hour")
        r = (b.days * 24 + b.seconds / 3600) - (a.days * 24 + a.seconds / 3600);
    else if (part == "minute")
        r = (b.days * 1440 + b.seconds / 60) - (a.days * 1440 + a.seconds / 60);
    else
        r = (b.days * 86400 + b.seconds) - (a.days * 86400 + a.seconds);
    sqlite3_result_int64(ctx, r);
}

// tsql_dateadd(part, n, d): the date-time n parts later (months keep the day, clamped).
void fnDateAdd(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const std::string part = textOf(argv[0]);
    const int64_t n = sqlite3_value_int64(argv[1]);
    Moment m;
    if (!momentOf(ctx, argv[2], m))
        return;
    if (part == "year" || part == "quarter" || part == "month") {
        int64_t y = 0;
        unsigned mo = 0, d = 0;
        civilFromDays(m.days, y, mo, d);
        const int64_t months = y * 12 + (mo - 1) + (part == "year" ? n * 12 : part == "quarter" ? n * 3 : n);
        const int64_t ny = months >= 0 ? months / 12 : (months - 11) / 12;
        const unsigned nm = unsigned(months - ny * 12) + 1;
        static const unsigned lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = (ny % 4 == 0 && ny % 100 != 0) || ny % 400 == 0;
        const unsigned last = nm == 2 && leap ? 29 : lengths[nm - 1];
        m.days = daysFromCivil(ny, nm, d > last ? last : d);
    } else {
        const int64_t unit = part == "day" ? 86400 : part == "hour" ? 3600 : part == "minute" ? 60 : 1;
        const int64_t total = m.days * 86400 + m.seconds + n * unit;
        m.days = total >= 0 ? total / 86400 : (total - 86399) / 86400;
        m.seconds = total - m.days * 86400;
    }
    const std::string out = momentText(m);
    sqlite3_result_text(ctx, out.data(), int(out.size()), SQLITE_TRANSIENT);
}

// tsql_datepart(part, d): year, quarter, month, day, hour, minute or second of d.
void fnDatePart(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(ctx);
    const std::string part = textOf(argv[0]);
    Moment m;
    if (!momentOf(ctx, argv[1], m))
        return;
    int64_t y = 0;
    unsigned mo = 0, d = 0;
    civilFromDays(m.days, y, mo, d);
    const int64_t r = part == "year"    ? y
                    : part == "quarter" ? (mo - 1) / 3 + 1
                    : part == "month"   ? mo
                    : part == "day"     ? d
                    : part == "hour"    ? m.seconds / 3600
                    : part == "minute"  ? m.seconds / 60 % 60
                                        : m.seconds % 60;
    sqlite3_result_int64(ctx, r);
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
        {"tsql_datediff", 3, fnDateDiff}, {"tsql_dateadd", 3, fnDateAdd}, {"tsql_datepart", 2, fnDatePart},
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
