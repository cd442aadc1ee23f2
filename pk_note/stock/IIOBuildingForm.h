#pragma once
// TIIOBuildingForm: the stock in/out note ("出入库单", note type 21). It
// receives or issues goods at the master's store for a business note of
// another kind, the source type NOTETYPE ("开单类型"); kind 2 sends goods
// back. Lines are keyed in or taken from source notes through the selector;
// with place management on (UsePlace "1") every line is split over the
// store's leaf places (iostoreithPLACE). Notes the system generated (ISAUTO
// 1, marked "机制") are never un-audited or un-voided here.

#include "StockNote.h"

class QLabel;

class TIIOBuildingForm : public TStockNoteForm {
    Q_OBJECT
public:
    explicit TIIOBuildingForm(QWidget *owner = nullptr);

    // Source types: purchase (3, 4) and sales (13, 14) ones name a partner.
    static bool IsPurchaseType(int type) { return type == 3 || type == 4; }
    static bool IsSalesType(int type) { return type == 13 || type == 14; }
    int SourceType() const;
    bool UsesPlaces() const { return m_usePlace; }
    // The client-side list of source types (noteType, noteName).
    data::ClientDataSet *NoteTypes() const { return cdsnoteType; }

    // ---- overrides ----
    void InitNewNote(data::ClientDataSet &dataSet) override;
    void ShowNote() override;
    bool ValidateNote() override;
    bool CanUncheckNote() override;
    bool CanUnabateNote() override;
    void SelectSourceNote() override;
    bool SetupDetailField(data::Field &field) override;
    // Opens the source note of the current line.
    void ItemGridDblClick();

private:
    // The partner field and its list follow the source type.
    void applySourceType();
    bool isAuto() const;

    data::ClientDataSet *cdsnoteType = nullptr;
    QLabel *lbAuto = nullptr;
    bool m_usePlace = false;
};
