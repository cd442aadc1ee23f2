#pragma once
// TPBuyPlanForm: the purchase plan. It has no supplier; it covers a period
// (a year, a quarter or a month of the year in the year box), and its lines
// become purchase orders: the database makes one per usual supplier, the
// lines left open a new order window for the user to complete.

#include "PurchaseNote.h"

class QAction;
class QSpinBox;

// What the purchase plan and the sales plan differ in.
struct PlanSide {
    const basenote::Resource &master;
    const mdnote::DetailResource &lines;
    const char *orderForm;    // the order window the lines left over go to
    const char *orderCaption; // the menu that makes the orders
    int priceClass;
    int businessSide;
};
extern const PlanSide kPurchasePlan;

class TPBuyPlanForm : public TPurchaseNoteForm {
    Q_OBJECT
public:
    explicit TPBuyPlanForm(QWidget *owner = nullptr);
    TPBuyPlanForm(const PlanSide &side, QWidget *owner);

    // The periods in PLANTYPE order: "年度", the quarters, the months.
    static const QStringList &PeriodNames();
    // First and last day of period `planType` of `year`.
    static std::pair<QDate, QDate> PeriodDates(int planType, int year);

    void InitNewNote(data::ClientDataSet &dataSet) override;
    void PrepareSave() override;
    bool ValidateNote() override;
    void ShowNote() override;

    QSpinBox *YearBox() const { return edYear; }

public slots:
    void PPlanToOrderClick();

private:
    void applyPeriod();

    QSpinBox *edYear = nullptr;
    QAction *muPPlanToOrder = nullptr;
    bool m_showing = false;
    const PlanSide &m_side;
};
