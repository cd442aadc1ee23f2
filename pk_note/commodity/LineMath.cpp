#include "LineMath.h"

#include "Rounding.h"

#include <cmath>

namespace commodity {

const char *const kDiscRangeMessage = "折扣字段的值必须在0到100之间。";
const char *const kTaxRateZeroMessage = "税率为0时不能由税额反算单价，请先输入税率或改单价。";

namespace {

constexpr const char *kNames[kColCount] = {
    "QUANTITY", "ORIGPRICE", "DISC",     "PRICE",     "ORIGTAXPRICE", "TAXRATE",   "TAXPRICE",
    "COMMODITYAMT", "TAXAMT", "AMOUNT",  "DISCAMT",   "PRICESEC",     "PRICEPAK1", "PRICEPAK2",
    "AMOUTSEC", "AMOUTPAK1", "AMOUTPAK2", "TIMESEC",  "TIMEPAK1",     "TIMEPAK2"};

// The rules of one edit. Reads go to the line as it stands after the
// previous write, as the rules are written.
class Rules {
public:
    Rules(LineValues &line, LineContext &context) : l(line), ctx(context) {}

    RecomputeResult run(Col edited)
    {
        RecomputeResult result;
        switch (edited) {
        case Col::Quantity: quantity(); break;
        case Col::OrigPrice: origPrice(); break;
        case Col::PriceSec:
        case Col::PricePak1:
        case Col::PricePak2: unitAmounts(); break;
        case Col::OrigTaxPrice: origTaxPrice(); break;
        case Col::Disc:
            if (!disc()) {
                result.error = QString::fromUtf8(kDiscRangeMessage);
                return result; // DISC is back at 100, its event recomputes
            }
            break;
        case Col::Price: price(); break;
        case Col::TaxRate: taxRate(); break;
        case Col::TaxPrice: taxPrice(); break;
        case Col::Amount: amount(); break;
        case Col::TaxAmt:
            if (l.IsNull(Col::TaxAmt))
                return result;
            if (!taxAmt()) {
                result.error = QString::fromUtf8(kTaxRateZeroMessage);
                return result;
            }
            break;
        case Col::CommodityAmt:
            if (l.IsNull(Col::CommodityAmt))
                return result;
            commodityAmt();
            break;
        default: return result;
        }
        if (l.Present(Col::CommodityAmt)) {
            ctx.lastCommodityAmt = l.Get(Col::CommodityAmt);
            ctx.lastTaxAmt = l.Get(Col::TaxAmt);
        }
        return result;
    }

private:
    double r() const { return 0.01 * l.Get(Col::TaxRate); }
    double d() const { return l.Get(Col::Disc, 100); }
    void price(Col c, double v) { l.Set(c, FormatPrice(v)); }
    void amountOf(Col c, double v) { l.Set(c, FormatAmount(v)); }

    // A discount of 0 is taken as none and written back.
    double discOrHundred()
    {
        double dd = d();
        if (dd == 0) {
            dd = 100;
            l.Set(Col::Disc, 100);
        }
        return dd;
    }
    // A quantity of 0 is taken as 1 and written back.
    double quantityOrOne()
    {
        double q = l.Get(Col::Quantity, 1);
        if (q == 0) {
            q = 1;
            l.Set(Col::Quantity, 1);
        }
        return q;
    }

    double discAmt() const
    {
        return FormatAmount(l.Get(Col::OrigPrice) * (1 - 0.01 * l.Get(Col::Disc, 100)) * l.Get(Col::Quantity));
    }
    // COMMODITYAMT, TAXAMT, AMOUNT, DISCAMT from price and quantity.
    void amounts(bool writeCommodityAmt = true, bool writeDiscAmt = true)
    {
        const double p = l.Get(Col::Price), q = l.Get(Col::Quantity);
        const double c = FormatAmount(p * q);
        if (writeCommodityAmt)
            l.Set(Col::CommodityAmt, c);
        const double tp = l.IsNull(Col::TaxPrice) ? FormatPrice(p * (1 + r())) : l.Get(Col::TaxPrice);
        const double t = FormatAmount((tp - p) * q);
        l.Set(Col::TaxAmt, t);
        l.Set(Col::Amount, c + t);
        if (writeDiscAmt)
            l.Set(Col::DiscAmt, discAmt());
    }
    void unitAmounts()
    {
        const double q = l.Get(Col::Quantity);
        l.Set(Col::AmoutSec, l.Get(Col::PriceSec) * q, true);
        l.Set(Col::AmoutPak1, l.Get(Col::PricePak1) * q, true);
        l.Set(Col::AmoutPak2, l.Get(Col::PricePak2) * q, true);
    }

    void quantity()
    {
        l.Set(Col::Quantity, FormatQuantity(l.Get(Col::Quantity, 1)));
        amounts();
        unitAmounts();
    }
    void origPrice()
    {
        price(Col::OrigPrice, l.Get(Col::OrigPrice));
        const double op = l.Get(Col::OrigPrice), dd = d(), rr = r();
        price(Col::Price, 0.01 * dd * op);
        price(Col::OrigTaxPrice, (1 + rr) * op);
        price(Col::TaxPrice, 0.01 * dd * op * (1 + rr));
        amounts();
    }
    void origTaxPrice()
    {
        price(Col::OrigTaxPrice, l.Get(Col::OrigTaxPrice));
        const double otp = l.Get(Col::OrigTaxPrice), dd = d(), rr = r();
        price(Col::Price, otp / (1 + rr) * 0.01 * dd);
        price(Col::OrigPrice, otp / (1 + rr));
        price(Col::TaxPrice, 0.01 * dd * otp);
        amounts();
    }
    bool disc()
    {
        const double dd = d();
        if (!(dd > 0 && dd <= 100)) {
            l.Set(Col::Disc, 100, true);
            return false;
        }
        const double op = l.Get(Col::OrigPrice);
        price(Col::Price, 0.01 * dd * op);
        price(Col::TaxPrice, 0.01 * dd * op * (1 + r()));
        amounts();
        return true;
    }
    void price()
    {
        price(Col::Price, l.Get(Col::Price));
        const double dd = discOrHundred(), rr = r();
        double p = l.Get(Col::Price);
        if (l.Present(Col::OrigPrice)) {
            // A typed price is the price before discount.
            l.Set(Col::OrigPrice, p);
            price(Col::Price, l.Get(Col::OrigPrice) * 0.01 * dd);
            p = l.Get(Col::Price);
        }
        price(Col::OrigPrice, p / (0.01 * dd));
        price(Col::OrigTaxPrice, p / (0.01 * dd) * (1 + rr));
        price(Col::TaxPrice, (1 + rr) * p);
        amounts();
        const double pp = l.Get(Col::Price);
        l.Set(Col::PriceSec, pp * l.Get(Col::TimeSec));
        l.Set(Col::PricePak1, pp * l.Get(Col::TimePak1));
        l.Set(Col::PricePak2, pp * l.Get(Col::TimePak2));
        unitAmounts();
    }
    void taxRate()
    {
        if (l.IsNull(Col::TaxRate) || l.Get(Col::TaxRate) < 0)
            l.Set(Col::TaxRate, 0);
        const double rr = r(), op = l.Get(Col::OrigPrice);
        price(Col::OrigTaxPrice, (1 + rr) * op);
        price(Col::TaxPrice, (1 + rr) * op * 0.01 * d());
        amounts(false, false);
    }
    void taxPrice()
    {
        price(Col::TaxPrice, l.Get(Col::TaxPrice));
        const double dd = discOrHundred(), rr = r(), tp = l.Get(Col::TaxPrice);
        price(Col::Price, tp / (1 + rr));
        price(Col::OrigPrice, tp / (1 + rr) / (0.01 * dd));
        price(Col::OrigTaxPrice, tp / (0.01 * dd));
        amounts();
    }
    void amount()
    {
        amountOf(Col::Amount, l.Get(Col::Amount));
        const double a = l.Get(Col::Amount);
        const double q = quantityOrOne(), dd = discOrHundred(), rr = r();
        price(Col::TaxPrice, a / q);
        price(Col::Price, a / (1 + rr) / q);
        price(Col::OrigTaxPrice, a / (0.01 * dd) / q);
        price(Col::OrigPrice, a / (1 + rr) / (0.01 * dd) / q);
        const double t = FormatAmount(rr * a / (1 + rr));
        l.Set(Col::TaxAmt, t);
        amountOf(Col::CommodityAmt, a - t);
        l.Set(Col::DiscAmt, discAmt());
    }
    bool taxAmt()
    {
        const bool wasNull = ctx.previousTaxAmtNull;
        const double x = FormatAmount(l.Get(Col::TaxAmt));
        const bool large = wasNull || std::fabs(x - ctx.lastTaxAmt) > ctx.taxAmtLimit;
        if (large && r() == 0)
            return false; // nothing written: the caller puts the old value back
        l.Set(Col::TaxAmt, x);
        if (!large) {
            // A rounding correction of the tax keeps the line total.
            amountOf(Col::CommodityAmt, l.Get(Col::Amount) - x);
            return true;
        }
        const double q = quantityOrOne(), dd = discOrHundred(), rr = r(), t = x;
        price(Col::Price, t / rr / q);
        price(Col::TaxPrice, t / rr * (1 + rr) / q);
        price(Col::OrigTaxPrice, t / rr * (1 + rr) / (0.01 * dd) / q);
        price(Col::OrigPrice, t / rr / (0.01 * dd) / q);
        amountOf(Col::CommodityAmt, t / rr);
        l.Set(Col::DiscAmt, discAmt());
        amountOf(Col::Amount, t / rr + t);
        return true;
    }
    void commodityAmt()
    {
        const double x = FormatAmount(l.Get(Col::CommodityAmt));
        l.Set(Col::CommodityAmt, x);
        if (std::fabs(x - ctx.lastCommodityAmt) <= ctx.commodityAmtLimit) {
            amountOf(Col::TaxAmt, l.Get(Col::Amount) - x);
            return;
        }
        const double q = quantityOrOne(), dd = discOrHundred(), rr = r(), c = x;
        price(Col::Price, c / q);
        price(Col::TaxPrice, (1 + rr) * c / q);
        price(Col::OrigTaxPrice, (1 + rr) * c / (0.01 * dd) / q);
        price(Col::OrigPrice, c / (0.01 * dd) / q);
        amountOf(Col::TaxAmt, c * rr);
        l.Set(Col::DiscAmt, discAmt());
        amountOf(Col::Amount, c * rr + c);
    }

    LineValues &l;
    LineContext &ctx;
};

} // namespace

const char *DefaultColumnName(Col c) { return kNames[int(c)]; }

bool RecomputesLine(Col c)
{
    switch (c) {
    case Col::Quantity:
    case Col::OrigPrice:
    case Col::OrigTaxPrice:
    case Col::Disc:
    case Col::Price:
    case Col::TaxRate:
    case Col::TaxPrice:
    case Col::TaxAmt:
    case Col::CommodityAmt:
    case Col::Amount:
    case Col::PriceSec:
    case Col::PricePak1:
    case Col::PricePak2: return true;
    default: return false;
    }
}

RecomputeResult Recompute(LineValues &line, Col edited, LineContext &context)
{
    return Rules(line, context).run(edited);
}

} // namespace commodity
