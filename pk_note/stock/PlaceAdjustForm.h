#pragma once
// TPlaceAdjustForm: the move between places of one store ("货位调整单", note
// type 32), only with place management on. Each line takes its quantity of a
// commodity from the place before ("调前货位", a leaf place holding it) to
// the place after ("调后货位"); the store's stock stays as it is.

#include "StockNote.h"

namespace widgets {
class TRqLookupCombo;
}

class TPlaceAdjustForm : public TStockNoteForm {
    Q_OBJECT
public:
    explicit TPlaceAdjustForm(QWidget *owner = nullptr);

    // Refuses to open without place management.
    long noteMessage(int message, qlonglong wParam, qlonglong lParam) override;
    bool ValidateDetailLine() override;
    void ShowNote() override;
    void DetailAfterScroll(data::ClientDataSet &dataSet) override;

    widgets::TRqLookupCombo *cmbOutPlace = nullptr, *cmbInPlace = nullptr;

private:
    // The store's leaf places, and those holding the current line's commodity.
    void readPlaces();
    void filterOutPlaces();
    data::ClientDataSet *qryOutPlaces = nullptr, *qryInPlaces = nullptr;
};
