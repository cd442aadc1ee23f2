#pragma once
// Fixture of the money-note tests: fresh demo books, scripted messages and
// modal windows, and the real plug-in loaded with QLibrary so every window is
// opened the way the host opens it (note_Call "SHOWNOTEFORM"/"LOCATENOTE").

#include "Pub.h"
#include "TestSupport.h"

#include <QLibrary>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace data {
class ClientDataSet;
}

namespace moneytest {

constexpr int kAdmin = 1;
constexpr int kClerk = 2;

class MoneyTest : public testsupport::SessionTest {
protected:
    void SetUp() override;

    long call(const QString &function, const QString &argument, QnParams *params = nullptr);
    // The window the host's menu entry opens; fails the test when none opens.
    QWidget *show(const QString &formName);
    // Shown and active, for keys typed into it.
    void showActive(const QString &formName);
    // The window positioned on a saved note.
    QWidget *locate(int noteType, int noteId);

    data::ClientDataSet *master() const;
    data::ClientDataSet *detail() const;
    // Types into a master field as its control would (change rules run).
    void setMaster(const QString &field, const QVariant &value);
    QVariant masterValue(const QString &field) const;
    // Appends a line and types its fields in order.
    void addLine(const QList<QPair<QString, QVariant>> &values);
    // Into the open expense window: cash, two lines of 120.50 ("墨盒") and 300.
    void enterExpenseNote();
    void click(const QString &button);
    void invoke(const char *slot);
    template <class T = QWidget>
    T *child(const QString &name) const
    {
        return m_window ? m_window->findChild<T *>(name) : nullptr;
    }

    // Keys to whatever has the focus, as a clerk's keyboard sends them: one
    // key at a time (typing into a cell moves the focus into its editor).
    static QWidget *focus();
    static QString focusName();
    void type(const QString &text);
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier);
    void enter(const QString &text) // typed, then Enter
    {
        type(text);
        key(Qt::Key_Return);
    }

    double balance(int account);
    // Message texts shown since the last call.
    QStringList takeMessages();

    QPointer<QWidget> m_window;
    int m_seen = 0;
};

} // namespace moneytest
