#pragma once
// Rounding of quantities, prices and amounts to the precisions configured in
// the system parameters "QtyDecimals" (default 4), "PriceDecimals" (default 6)
// and "AmtDecimals" (default 2). They are read once and cached; RefreshDecimals
// reads them again (also done when the start-up connection changes and when
// the lookup set "qrySysParam" is refreshed).

// Rounds half away from zero at `digits` decimals (negative: tens, hundreds),
// on the value's shortest decimal form (15 significant digits), so that 2.675
// gives 2.68 although the double holds 2.67499999...
double RoundToEx(double value, int digits);

double FormatQuantity(double value);
double FormatPrice(double value);
double FormatAmount(double value);

int QuantityDecimals();
int PriceDecimals();
int AmountDecimals();
void RefreshDecimals();
