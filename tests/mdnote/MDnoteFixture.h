#pragma once
// Fixture of the master-detail window tests: fresh demo books, scripted
// messages and modal windows, and an expense kind with lines built from one
// resource block, over the real expense tables or over test tables without
// the database's line-deleting trigger.

#include "MDnote.h"
#include "Pub.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace mdnotetest {

constexpr int kAdmin = 1;
constexpr int kType = 52;            // expense
constexpr int kFormPrivilege = 2052; // OutMoneyForm

enum class Tables { Expense, Test };

// The kind under test: an expense note with one line per expense item.
class TTestExpenseForm : public TMDnoteForm {
    Q_OBJECT
public:
    explicit TTestExpenseForm(Tables tables = Tables::Expense, QWidget *owner = nullptr);
    // A line whose REMARK is "bad" fails; every line checked is counted.
    bool ValidateDetailLine() override;
    void DetailScrolled() override { ++scrolls; }
    void DetailFieldChange(data::Field &field) override;

    int validated = 0;
    int scrolls = 0;
    QStringList changedFields;
};

class MDnoteTest : public testsupport::SessionTest {
protected:
    void SetUp() override;
    void TearDown() override;

    TTestExpenseForm *openForm(Tables tables = Tables::Expense);
    // Types into the master or the current line as a control would.
    void setField(const QString &field, const QVariant &value);
    void setLine(const QString &field, const QVariant &value);
    // Appends a line through the menu and fills it.
    void addLine(double amount, const QString &remark = {}, int referNoteId = 0, int referCount = 0);
    QVariant field(const QString &name) const { return m_form->MasterValue(name); }
    // ITEMSNO (or another column) of every line, in grid order.
    QVariantList lineValues(const QString &column) const;
    QString detailTable() const { return m_tables == Tables::Expense ? QStringLiteral("expenseathdetail") : QStringLiteral("testmdathdetail"); }
    int lineRows(int noteId);
    QString rows(const QString &sql) { return testsupport::rowsText(*m_db, sql); }

    std::unique_ptr<TTestExpenseForm> m_form;
    Tables m_tables = Tables::Expense;
};

} // namespace mdnotetest
