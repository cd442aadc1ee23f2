#include "Rounding.h"

#include "Globals.h"
#include "SysParams.h"

#include <QString>

#include <charconv>
#include <system_error>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

double RoundToEx(double value, int digits)
{
    if (!std::isfinite(value) || value == 0)
        return value;
    // 15 significant digits: d.dddddddddddddde[+-]x (to_chars rounds as printf does, faster)
    char buf[40];
    const auto printed = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    *printed.ptr = '\0';
    char mant[16];
    int n = 0;
    const char *p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            mant[n++] = *p;
    const int exponent = std::atoi(p + 1);
    const double sign = value < 0 ? -1.0 : 1.0;
    // Significant digits that stay: those down to 10^-digits.
    const int keep = exponent + 1 + digits;
    if (keep >= n)
        return value;
    if (keep < 0)
        return 0.0 * sign;
    long long kept = 0;
    for (int i = 0; i < keep; ++i)
        kept = kept * 10 + (mant[i] - '0');
    if (mant[keep] >= '5')
        ++kept;
    // kept * 10^-digits, parsed back so the result is the nearest double.
    char out[48];
    // The mantissa leaves room for "e" and the exponent.
    const std::to_chars_result digitsEnd = std::to_chars(out, out + 32, kept);
    if (digitsEnd.ec != std::errc())
        return value;
    char *end = digitsEnd.ptr;
    *end++ = 'e';
    end = std::to_chars(end, out + sizeof out, -digits).ptr;
    double result = 0;
    std::from_chars(out, end, result);
    return sign * result;
}

namespace {

struct Decimals {
    bool loaded = false;
    int qty = 4;
    int price = 6;
    int amount = 2;
};

Decimals s_decimals;

Decimals &decimals()
{
    Decimals &d = s_decimals;
    if (!d.loaded) {
        auto read = [](const char *name, int fallback) {
            bool ok = false;
            const int v = LookupSysParam(QString::fromLatin1(name)).trimmed().toInt(&ok);
            return ok && v >= 0 && v <= 10 ? v : fallback;
        };
        d.qty = read("QtyDecimals", 4);
        d.price = read("PriceDecimals", 6);
        d.amount = read("AmtDecimals", 2);
        d.loaded = true;
    }
    return d;
}

} // namespace

double FormatQuantity(double value) { return RoundToEx(value, decimals().qty); }
double FormatPrice(double value) { return RoundToEx(value, decimals().price); }
double FormatAmount(double value) { return RoundToEx(value, decimals().amount); }
int QuantityDecimals() { return decimals().qty; }
int PriceDecimals() { return decimals().price; }
int AmountDecimals() { return decimals().amount; }

// Read again on next use, so a refresh without books costs nothing.
void RefreshDecimals() { s_decimals = Decimals(); }

namespace {
// New books may keep another number of decimals.
const bool s_refreshesOnNewBooks = (OnBooksChanged(RefreshDecimals), true);
} // namespace
