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

#include <QVector>

class TIIOBuildingForm : public TStockNoteForm {
    Q_OBJECT
public:
    explicit TIIOBuildingForm(QWidget *owner = nullptr);

    // Source types: purchase (3, 4) and sales (13, 14) ones name a partner.
    static bool IsPurchaseType(int type) { return type == 3 || type == 4; }
    static bool IsSalesType(int type) { return type == 13 || type == 14; }
    int SourceType() const;
    bool UsesPlaces() const { return m_usePlace; }
    // The client-side list of source types (noteType, noteName) and the
    // place rows of the note's lines (NOTEID, ITEMSNO, PLACEID, QUANTITY, NAME, CODE).
    data::ClientDataSet *NoteTypes() const { return cdsnoteType; }
    data::ClientDataSet *Places() const { return cdsUsePlace; }
    // The place rows of a line as {PLACEID, QUANTITY, NAME} and their replacement.
    QVector<QVariantList> LinePlaces(const QVariant &itemsNo) const;
    void SetLinePlaces(const QVariant &itemsNo, const QVector<QVariantList> &rows);

    // ---- overrides ----
    void InitNewNote(data::ClientDataSet &dataSet) override;
    void ShowNote() override;
    bool ValidateNote() override;
    bool CanUncheckNote() override;
    bool CanUnabateNote() override;
    void SelectSourceNote() override;
    bool SetupDetailField(data::Field &field) override;
    bool ValidateDetailLines() override;
    void AssignNoteKey() override;
    bool DeleteDetailLine() override;
    void CancelNote() override;
    // Place rows changed in the dialog count as a change of the note.
    bool IsNoteModified() override;

    // The place dialog of the current line (the PlaceFlag cell's button).
    void ItemGridEditButtonClick();
    // Opens the source note of the current line.
    void ItemGridDblClick();

protected:
    void ApplyChangeLogs(int action) override;
    void MergeChangeLogs(int action) override;

private:
    // Reads the note's place rows (place management on).
    void loadPlaces();
    // Replaces the current line's place rows by one row holding its whole
    // quantity on the commodity's place in the store, else the store's first leaf place.
    void defaultPlace();
    // The partner field and its list follow the source type.
    void applySourceType();
    bool isAuto() const;

    data::ClientDataSet *cdsnoteType = nullptr;
    data::ClientDataSet *cdsUsePlace = nullptr;
    bool m_placesChanged = false;
    QLabel *lbAuto = nullptr;
    bool m_usePlace = false;
};
