#pragma once
// TMoneynoteForm: the payment to a supplier and the receipt of money from a
// customer, one class given two declarations. The master holds the amount
// settled (AMOUNT), the whole-note discount (DISC) and the money that moves
// (FACTAMT); each line settles part of an open purchase receipt or sale. The
// audit makes the database raise REFERAMT of those notes.

#include "MDnote.h"
#include "PackageWindows.h"

class QAbstractItemDelegate;
class QLabel;
class QLineEdit;
class QPushButton;

struct MoneynoteKind {
    const basenote::Resource &master;
    const mdnote::DetailResource &detail;
    int settledType;          // the note type the lines settle: 4 receipt, 14 sale
    const char *settledTable; // its master table
    const char *settledName;  // "采购单", "销售单": the load-for-source messages
    const char *turnInName;   // "采购开单", "销售开单": the turn-in list
};

class TMoneynoteForm : public TMDnoteForm, public pk_note::ISourceNoteLoader {
    Q_OBJECT
public:
    TMoneynoteForm(const MoneynoteKind &kind, QWidget *owner = nullptr);

    static constexpr const char *kClearAll = "全部清除";

    void InitNewNote(data::ClientDataSet &dataSet) override;
    bool ValidateNote() override;
    void SelectSourceNote() override;
    void UpdateControlStates(const QString &fieldName) override;
    void ShowNote() override;
    void SetReportVariables(TCorvanReportStyle *report) override;

    // The names the printed note shows for its partner, kind, settlement
    // method and account ("M.MPARTNERID", ...).
    QHash<QString, QVariant> ReportVariables();

    // A new note settling the open note `sourceNoteId` of the kind's settled
    // type; false (with the reason shown) when there is none to settle.
    bool LoadForSource(int sourceNoteType, qint64 sourceNoteId) override;

    // The rows a turn-in selected (Selected = 1) become lines, except notes
    // the payment has already; returns how many were added.
    int AddSettledNotes(data::ClientDataSet &rows);

    // The caption the allocation button returns to ("自动付款", "自动收款").
    QString AutoCaption() const;
    int SettledType() const { return m_kind.settledType; }

    QPushButton *AutoApplyBtn = nullptr;
    QLineEdit *edBalance = nullptr;
    QPushButton *btnSub = nullptr;

public slots:
    void AutoApplyBtnClick();
    // The line's PayNow box: an unpaid line takes what is open, any other goes to 0.
    void PayNowClick();
    void btnSubClick();

protected:
    // The master's AMOUNT is the amount settled, not the total of the lines:
    // neither the save nor the write makes it their sum.
    void PrepareSave() override;
    void ApplyChangeLogs(int action) override;

private:
    void amountChanged(data::Field &field);
    void discChanged(data::Field &field);
    void factAmtChanged(data::Field &field);
    void subCodeChanged(data::Field &field);
    void subIdChanged(data::Field &field);
    void payTypeChanged(data::Field &field);
    void partnerChanged(data::Field &field);
    void lineAmountChanged(data::Field &field);
    // FACTAMT follows the lines' total (AMOUNT grows to it when smaller).
    void applyLineTotal();
    void showBalance();
    void setLine(const char *name, const QVariant &value);
    bool discountSubjectShown() const;

    const MoneynoteKind &m_kind;
    QAbstractItemDelegate *m_tick = nullptr;
    bool m_bAllocating = false;
};
