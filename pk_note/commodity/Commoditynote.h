#pragma once
// TCommoditynoteForm: a note whose lines are commodities (purchase, sales,
// stock and manufacturing notes). It owns what a line means: which column is
// which, how prices, quantity, discount, tax and amounts follow each other,
// what a chosen commodity or store fills in, the stock shown for the line,
// batches, the colour/size breakdown, and the checks before save and audit.
// Kinds choose their columns in their detail query and set a few members.

#include "LineMath.h"
#include "MDnote.h"

#include <QHash>
#include <QVariant>

#include <array>

class QLabel;
namespace widgets {
class TRqLookupCombo;
}

class TCommoditynoteForm : public TMDnoteForm {
    Q_OBJECT
public:
    TCommoditynoteForm(const basenote::Resource &resource, const mdnote::DetailResource &detail,
                       QWidget *owner = nullptr);

    // ---- line column names: a kind may assign other names in its constructor ----
    struct LineColumnNames {
        QString CommodityID = QStringLiteral("COMMODITYID"), CommodityCode = QStringLiteral("COMMODITYCODE"),
                CommodityName = QStringLiteral("COMMODITYNAME"), Barcode = QStringLiteral("BARCODE"),
                Spec = QStringLiteral("SPEC"), UnitName = QStringLiteral("UNITNAME"),
                UnitSecName = QStringLiteral("UNITSECNAME"), UnitNamePak1 = QStringLiteral("UNITNAMEPAK1"),
                UnitNamePak2 = QStringLiteral("UNITNAMEPAK2"), BuildingID = QStringLiteral("BUILDINGID"),
                StoreCode = QStringLiteral("STORECODE"), BuildingName = QStringLiteral("BUILDINGNAME"),
                ReferQty = QStringLiteral("REFERQTY"), ReferCount = QStringLiteral("REFERCOUNT"),
                BTurnNoteID = QStringLiteral("BTURNNOTEID"), BCode = QStringLiteral("BCODE"),
                ProductDay = QStringLiteral("PRODUCTDAY"), ValidDay = QStringLiteral("VALIDDAY"),
                APrice = QStringLiteral("APRICE");
        // QUANTITY, ORIGPRICE, DISC, PRICE, ... by commodity::Col.
        std::array<QString, commodity::kColCount> Amounts;
        // Of the master.
        QString PartnerID = QStringLiteral("PARTNERID"), MasterAmount = QStringLiteral("AMOUNT");
        LineColumnNames();
    };
    LineColumnNames Columns;

    // ---- members kinds set in their constructors ----
    int PriceClass = 0; // 1 purchase, 2 sales, 3 stock and manufacturing, 0 none
    bool CheckPriceSign = true;
    bool AllowEmptyNote = false;
    double DefaultDisc = 100;
    double DefaultTaxRate = 0;
    QVariant DefaultStore;
    // 1: every line's quantity must be above zero, -1: below zero, 0: either.
    int QuantitySign = 0;
    // A consignment note of kind 1 draws from a specific batch unless this is set.
    bool ConsignmentWithoutBatch = false;

    // Set by the constructor.
    double TaxAmtLimit = 0;
    double CommodityAmtLimit = 0;
    bool CanEditPurchasePrice = false; // privilege 551, sub-item 5
    bool CanEditSalesPrice = false;    // privilege 552, sub-item 5

    // Totals of the last walk (Totals()).
    double SumQuantity = 0, SumCommodityAmt = 0, SumTaxAmt = 0, SumDiscAmt = 0, SumAmount = 0;

    // ---- virtual operations added, in slot order ----
    virtual void PartnerChanged(data::Field &field);
    virtual void CommodityChanged(data::Field &field);
    virtual void StoreChanged(data::Field &field);
    virtual void LineAmountChanged(data::Field &field);
    virtual void OtherDetailFieldChanged(data::Field &field);
    virtual void ProductDayChanged(data::Field &field);
    virtual void MasterStoreChanged(data::Field &field);
    // Whether the line column is read-only on the current line (taken from a
    // source, drawn on by later notes, a closed note).
    virtual bool SetupDetailField(data::Field &field);
    virtual void ClearTurnNote();
    virtual void PickBatch();
    virtual void UpdateColumnButtons();
    // A batch-costed line later notes already draw on is locked whole.
    virtual bool LockReferredLine();
    virtual bool CheckBatchLines();
    virtual qint64 StockStoreOfLine();
    virtual void PickLinePrice();
    virtual void EditColorSize();
    virtual bool ColorSizeDetailEmpty(int noteType, qint64 noteId, int noteKind);
    virtual void ShowPriceManager();

    // ---- overrides ----
    void DetailFieldChange(data::Field &field) override;
    void MasterFieldChange(data::Field &field) override;
    void DetailAfterOpen(data::ClientDataSet &dataSet) override;
    void InitNewNote(data::ClientDataSet &dataSet) override;
    bool ValidateDetailLine() override;
    bool CanSaveNote() override;
    bool CanCheckNote() override;
    bool CanUncheckNote() override;
    void ShowNote() override;
    void SetupDetailColumn(int column) override;
    void SetReportVariables(TCorvanReportStyle *report) override;
    void AssignNoteKey() override;
    void CancelNote() override;

    // ---- helpers ----
    // The commodity's KIND and COSTTYPE from the commodity memory table.
    static int CommodityKind(qint64 commodityId);
    static int CommodityCostType(qint64 commodityId);
    // Walks the lines and fills the sums above (totals of the printed note).
    void Totals();
    // The print variables: SumofQuantity ... UpperCaseAmount.
    QHash<QString, QVariant> CommodityReportVariables();
    QLabel *StockLabel() const { return lbStock; }
    // A store typed by code that matches nothing: the store picker's choice
    // (0: none). Until a picker is registered nothing is chosen.
    virtual qint64 ChooseStore(const QString &typed);

public slots:
    void muRefreshQuantityClick();
    void muFindCommodityClick();
    // Lines from a text file (shown by the kinds that offer it).
    void muLoadDetailClick();

protected:
    void ApplyChangeLogs(int action) override;

    // The commodity and store drop-downs of the lines (bound to COMMODITYID and
    // BUILDINGID); the grid's code cells edit through copies of them.
    widgets::TRqLookupCombo *cmbCommodity = nullptr, *cmbStore = nullptr;
    QLabel *lbStock = nullptr;
    QAction *muRefrshQuantity = nullptr, *actRefreshQuantity = nullptr, *muFindCommodity = nullptr,
            *muLoadDetail = nullptr;
    QPushButton *btnPrice = nullptr;

private:
    enum class Role : uint8_t { Other, CommodityId, CommodityCode, StoreId, StoreCode, Amount, ProductDay };
    void resolveColumns();
    widgets::TRqLookupCombo *commodityCombo(QWidget *parent, const QString &name);
    widgets::TRqLookupCombo *storeCombo(QWidget *parent, const QString &name);
    void runComboCommand(widgets::TRqLookupCombo *combo, const QString &command);
    data::Field *line(const QString &name) const { return cdsDetail ? cdsDetail->FindField(name) : nullptr; }
    bool lineHasBatch() const;
    void clearBatch(bool fire);
    bool mayEditLine() const;
    // The breakdown of the shown note lives in TempDetail2 while it is edited.
    void prepareBreakdown(const QString &table, int kind);
    void dropTempBreakdown();

    std::array<data::Field *, commodity::kColCount> m_amount{};
    // Per grid column on the current line: locked, shows its button.
    QVector<char> m_cellLocked, m_cellButton;
    bool m_lineStateValid = false;
    int m_lineStateRow = -1;
    void ensureLineState();
    struct LineFacts {
        bool closed = false, fromSource = false, turnedOn = false, locked = false;
    } m_facts;
    bool m_factsFresh = false;

protected:
    // A kind whose SetupDetailField locks cells on lines the base leaves
    // free sets this, so every line asks it.
    bool m_kindLocksCells = false;

private:
    void readLineFacts();

    QVector<Role> m_roleByIndex;
    QVector<int8_t> m_colByIndex;
    QVector<bool> m_locksCells; // by field index: a column the cell locks depend on
    const data::ClientDataSet *m_resolvedFor = nullptr;
    int m_resolvedFields = -1;
    commodity::LineContext m_context;
    // Temporary ITEMSNO -> final, from the last AssignNoteKey.
    QHash<qint64, qint64> m_renumbered;
    QStringList m_finalItems; // ITEMSNO of every line after the last AssignNoteKey
};
