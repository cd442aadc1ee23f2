#pragma once
// The arithmetic of a commodity line: when one of its prices, quantity,
// discount, tax rate or amounts is edited, the others follow. It works on a
// small array of values so the window, the price dialog and the benchmarks run
// the same rules; the window reads the line's columns in, recomputes, and
// writes back only what changed (silently, except where a rule fires events).

#include <QString>

#include <array>
#include <cstdint>

namespace commodity {

// The columns the arithmetic knows. The order is only internal.
enum class Col : uint8_t {
    Quantity,
    OrigPrice,
    Disc,
    Price,
    OrigTaxPrice,
    TaxRate,
    TaxPrice,
    CommodityAmt,
    TaxAmt,
    Amount,
    DiscAmt,
    PriceSec,
    PricePak1,
    PricePak2,
    AmoutSec,
    AmoutPak1,
    AmoutPak2,
    TimeSec,
    TimePak1,
    TimePak2,
    Count
};
constexpr int kColCount = int(Col::Count);

// Upper-case column name of each Col (default names of the line model).
const char *DefaultColumnName(Col c);
// Whether editing the column recomputes the line (the LineAmountChanged set).
bool RecomputesLine(Col c);

// One line's values. A column the data set lacks reads as the given default
// and ignores writes; a null column reads as the default too.
class LineValues {
public:
    void SetPresent(Col c, bool on) { bit(m_present, c, on); }
    bool Present(Col c) const { return test(m_present, c); }
    // Loads a value as read from the data set (not marked changed).
    void Load(Col c, double v, bool isNull)
    {
        m_v[size_t(c)] = v;
        bit(m_null, c, isNull);
    }
    bool IsNull(Col c) const { return !Present(c) || test(m_null, c); }
    double Get(Col c, double defaultValue = 0) const { return IsNull(c) ? defaultValue : m_v[size_t(c)]; }
    // Writes a present column and marks it changed; `fire` asks the window to
    // run the column's change event for this write.
    void Set(Col c, double v, bool fire = false)
    {
        if (!Present(c))
            return;
        m_v[size_t(c)] = v;
        bit(m_null, c, false);
        bit(m_changed, c, true);
        if (fire)
            bit(m_fire, c, true);
    }
    bool Changed(Col c) const { return test(m_changed, c); }
    bool Fires(Col c) const { return test(m_fire, c); }
    void ClearChanges() { m_changed = m_fire = 0; }

private:
    static void bit(uint32_t &bits, Col c, bool on)
    {
        const uint32_t m = 1u << uint32_t(c);
        bits = on ? (bits | m) : (bits & ~m);
    }
    static bool test(uint32_t bits, Col c) { return bits & (1u << uint32_t(c)); }

    std::array<double, kColCount> m_v{};
    uint32_t m_present = 0, m_null = 0, m_changed = 0, m_fire = 0;
};

// What the rules keep between edits and read from the books.
struct LineContext {
    double taxAmtLimit = 0;       // system parameter TaxAmtLimit
    double commodityAmtLimit = 0; // system parameter CommodityAmtLimit
    double lastTaxAmt = 0;        // kept after every recomputation
    double lastCommodityAmt = 0;
    bool previousTaxAmtNull = false; // TAXAMT was null before this edit
};

struct RecomputeResult {
    // Non-empty: the edit is refused with this message; for the discount the
    // rules have already put DISC back to 100 (fired), for the others nothing
    // was written.
    QString error;
    bool ok() const { return error.isEmpty(); }
};

// The discount range message.
extern const char *const kDiscRangeMessage;
// A tax or untaxed amount cannot give prices back when the tax rate is 0.
extern const char *const kTaxRateZeroMessage;

// Recomputes the line after `edited` changed (its new value already in
// `line`). Prices go through FormatPrice, amounts through FormatAmount and the
// quantity through FormatQuantity, as the books' precisions say.
RecomputeResult Recompute(LineValues &line, Col edited, LineContext &context);

} // namespace commodity
