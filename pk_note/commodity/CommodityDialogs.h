#pragma once
// The dialogs a commodity line opens from its column buttons: the batch picker
// (BCODE), the price dialog (price columns) and the colour/size matrix
// (QUANTITY). Each takes what it needs and gives back what the line receives,
// so the line window and the dialogs know nothing of each other's insides.

#include "LineMath.h"

#include <QDate>
#include <QString>
#include <QVariant>

#include <optional>

class QObject;
class QValidator;
class QWidget;

namespace commodity {

// ---- batch picker: TPickbcodeForm ("请选择批次") ----

struct BatchRequest {
    qint64 commodityId = 0;
    qint64 storeId = 0; // 0: batches of every store
};

struct BatchChoice {
    qint64 flowId = 0; // noteflowaath.ID of the batch row: the line's BTURNNOTEID
    QString bcode;
    QVariant productDay; // QDate or null
    QVariant validDay;   // QDate or null
    qint64 storeId = 0;
    QString storeCode, storeName;
    double price = 0;
};

// Shows the open batches of the commodity (oldest first); nothing when the
// user cancels. A database error is shown and gives nothing.
std::optional<BatchChoice> PickBatch(const BatchRequest &request, QWidget *parent = nullptr);

// ---- price dialog: TSetPriceForm ----

struct PriceRequest {
    int noteType = 0;
    qint64 commodityId = 0;
    qint64 partnerId = 0;
    qint64 storeId = 0;
    QString commodityName, unitName;
    // The line's QUANTITY, TAXRATE, ORIGPRICE, ORIGTAXPRICE, DISC, PRICE,
    // TAXPRICE, TAXAMT, COMMODITYAMT, DISCAMT and AMOUNT (all present).
    LineValues line;
};

// Offers the commodity's list prices, the partner's price and the last price
// for choice, recomputes with the line's rules (a discount outside 0 to 100
// is refused there too) and gives the recomputed values on OK.
std::optional<LineValues> SetLinePrice(const PriceRequest &request, QWidget *parent = nullptr);

// ---- colour/size matrix: TqryDetailForm ("颜色\尺码组") ----

struct ColorSizeKey {
    QString table; // the note type's breakdown table, or "TempDetail2"
    int noteType = 0;
    qint64 noteId = 0;
    int noteKind = 1;
    int item = 0; // the line's ITEMSNO
    qint64 commodityId = 0;
    qint64 storeId = 0;
    bool openingStock = false; // cells go to CommodityDetail (Quantity, StartQty)
};

// The breakdown table of a note type ("" when the type has none).
QString BreakdownTable(int noteType);
// True when the note type has no breakdown table or the note (type, id, kind)
// has no breakdown rows in it.
bool BreakdownEmpty(const ColorSizeKey &key);

// Shows the commodity's colours by its sizes with the quantities stored under
// `source` (the line's own key, or its source line's). On OK, when `editable`,
// every cell is written under `target` (update when it exists, else insert)
// and the matrix total comes back, truncated to a whole number.
std::optional<double> EditColorSize(const ColorSizeKey &source, const ColorSizeKey &target, bool editable,
                                    QWidget *parent = nullptr);

// ---- shared by the dialogs ----

// Lets only a decimal number be typed (a sign, up to 12 digits, 8 decimals).
QValidator *NewNumberValidator(QObject *parent);
// A number as the dialogs show it: at most `decimals` decimals, no trailing zeros.
QString NumberText(double value, int decimals);

} // namespace commodity
