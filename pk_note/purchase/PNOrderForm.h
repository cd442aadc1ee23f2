#pragma once
// The purchase order (TPNOrderForm) and what it shares with the purchase
// requisition: the whole note and each line can be stopped ("中止"), a note
// needs its date of arrival, a stopped or referred note can't be un-audited.
// The order also makes purchase receipts from its open lines, takes lines
// from requisitions and is filled from the open lines of a purchase plan.
// The sales order is the same window on the customer side (OrderSide).

#include "PackageWindows.h"
#include "PurchaseNote.h"

#include <QHash>
#include <QVariant>

class QAction;
namespace widgets {
class TRqDBCheckBox;
}

// The line select of the purchase family over a line table (aliased m): the
// commodity, unit and store names and the prices derived from PRICE and DISC.
#define PURCHASE_FAMILY_LINE_SQL(table)                                                                        \
    "select m.*, g.CODE as COMMODITYCODE, g.NAME as COMMODITYNAME, g.BARCODE, g.SPEC, u.NAME as UNITNAME, "    \
    "g.TIMESEC, s.CODE as STORECODE, s.NAME as BUILDINGNAME, "                                                 \
    "Round(m.Price*(1+m.TaxRate/100.0),8) as TaxPrice, Round(m.Price / (m.Disc/100),8) as ORIGPRICE, "         \
    "Round((m.Price/(m.Disc/100))*(1-m.Disc/100)*m.Quantity,2) as DiscAmt, "                                   \
    "Round((m.Price/(m.Disc/100))*(1+m.TaxRate/100),8) as ORIGTAXPRICE from " table                           \
    " m left join Commoditylth g on g.COMMODITYID = m.COMMODITYID left join unitlth u on u.UNITSID = g.UNITSID " \
    "left join storelth s on s.BUILDINGID = m.BUILDINGID"

// Copies the lines ticked in the source selector that the form lacks; the
// quantity is what is left of each.
void AppendSelectedLines(TPurchaseNoteForm &form, data::ClientDataSet *chosen);

class TClosableNoteForm : public TPurchaseNoteForm {
    Q_OBJECT
public:
    // `referredLines`: the condition on a line that later notes took from it.
    TClosableNoteForm(const basenote::Resource &resource, const mdnote::DetailResource &detail,
                      const char *referredLines, QWidget *owner = nullptr);

    bool ValidateNote() override;
    bool CanUncheckNote() override;
    void ShowNote() override;
    void DetailCalcFields(data::ClientDataSet &dataSet) override;
    void SetReportVariables(TCorvanReportStyle *report) override;

    // M.MClosed: "已中止" or "未中止".
    QHash<QString, QVariant> ClosedReportVariables() const;
    // Stops (or restarts) every line with the whole note. On an audited note
    // the stop marks are written at once; an entered note saves them.
    void SetAllLinesClosed(bool closed);
    // Flips the stop mark of the current line.
    void ToggleLineClosed();

public slots:
    void cbClosedClick();

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
    // Shown when the note is saved without its date (REVDATE); empty: the
    // date may stay empty.
    QString DateMissing = QStringLiteral("请选择到货时间！");
    widgets::TRqDBCheckBox *cbClosed = nullptr;
    // The same as the box, from the keyboard (the note menu, Alt+T).
    QAction *muClosed = nullptr;

private:
    // Writes the stop marks of an audited note and shows it again.
    void writeAuditedMarks(const QString &lineWhere, bool closed, bool wholeNote);
    bool closedColumnIsCurrent() const;
    QString m_referredLines;
};

// What the purchase order and the sales order differ in: tables, captions,
// texts and the notes of their side they take from and make.
struct OrderSide {
    const trade::SideNames &trade;
    const basenote::Resource &master;
    const mdnote::DetailResource &lines;
    const char *referredLines;   // a line later notes took from (blocks the un-audit)
    const char *dateMissing;     // saved without its date
    const char *deliveredColumn; // what the next notes delivered: BUYQTY, SALEQTY
    const char *finishedColumn;  // the books' finished mark of a line (null: none)
    const char *makeAction;      // the menu that makes the next note: object name,
    const char *makeCaption;     // caption,
    const char *makeForm;        // the form it opens
    const char *makeRefused;     // complete or stopped
    int planType;                // the plan the order is filled from
    const char *planLines;       // its line table
    const char *planOtherSide;   // a plan line whose usual partner is of the other side waits here
    int turnInType;              // the source type the selector is asked for
    int priceClass;
};
extern const OrderSide kPurchaseOrder;

class TPNOrderForm : public TClosableNoteForm, public pk_note::ISourceNoteLoader {
    Q_OBJECT
public:
    explicit TPNOrderForm(QWidget *owner = nullptr);
    TPNOrderForm(const OrderSide &side, QWidget *owner);

    void SelectSourceNote() override;
    void ShowNote() override;
    void DetailCalcFields(data::ClientDataSet &dataSet) override;
    // From a plan of the side: a new order holding the plan's lines left
    // over once the plan made its orders. False when none are left.
    bool LoadForSource(int sourceNoteType, qint64 sourceNoteId) override;

    // The select of the plan lines that no partner's order took.
    static QString PlanLinesLeftSql(qint64 planId, const OrderSide &side = kPurchaseOrder);
    const OrderSide &Side() const { return m_side; }

    // Opens the next note (receipt or sale) for the order's open lines;
    // refused for a branch's, a complete or a stopped order.
    void MakeNextNote();
    // No line that trades still has anything left to deliver.
    bool IsComplete();

public slots:
    void muPurchaseClick() { MakeNextNote(); }

protected:
    QAction *muMake = nullptr;
    const OrderSide &m_side;

private:
    // A purchase order for the open lines of sales order `orderId`.
    bool loadFromSalesOrder(qint64 orderId);
};
