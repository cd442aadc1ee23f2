#pragma once
// Data-aware edits bound to a data source and a field name: a line edit, a
// date edit with a calendar and an empty (null) date, a check box, a memo and
// a label. Each shows its field's value, writes on edit finish, and is
// read-only while its field, its data set or the control itself is.

#include "widgets/FieldDataLink.h"
#include "widgets/ReadOnlyControl.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace widgets {

// A control that cannot be changed looks it (the window's background behind
// grey text) and Tab passes it by; a click still reaches it, to copy its text.
void ShowReadOnly(QWidget *control, bool readOnly);

// The binding members every control shares.
#define PK_DATA_AWARE_MEMBERS                                                                   \
public:                                                                                         \
    data::DataSource *DataSource() const { return m_link->DataSource(); }                      \
    void SetDataSource(data::DataSource *source) { m_link->SetDataSource(source); }            \
    const QString &DataField() const { return m_link->DataField(); }                           \
    void SetDataField(const QString &name) { m_link->SetDataField(name); }                     \
    data::Field *Field() const { return m_link->Field(); }                                     \
    FieldDataLink *DataLink() const { return m_link; }                                         \
    bool ReadOnly() const override { return m_readOnly; }                                      \
    void SetReadOnly(bool on) override                                                         \
    {                                                                                          \
        m_readOnly = on;                                                                       \
        updateReadOnly();                                                                      \
    }                                                                                          \
    /* Whether the user can change the value now. */                                          \
    bool Editable() const { return !m_readOnly && m_link->CanModify(); }                       \
                                                                                               \
private:                                                                                       \
    FieldDataLink *m_link;                                                                     \
    bool m_readOnly = false;

class TRqDBEdit : public QLineEdit, public ReadOnlyControl {
    Q_OBJECT
    Q_INTERFACES(widgets::ReadOnlyControl)
    // The text set as a property (a script's `edit.text = ...`) goes to the field
    // at once, as if typed and left.
    Q_PROPERTY(QString text READ text WRITE SetText)
    PK_DATA_AWARE_MEMBERS
public:
    explicit TRqDBEdit(QWidget *parent = nullptr, const QString &name = QStringLiteral("DBEdit"));
    // Writes the typed text now (also done on Enter and on leaving the edit).
    bool UpdateRecord();
    bool SetText(const QString &text);

protected:
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    void showField();
    void updateReadOnly();
};

class TRqDBDateEdit : public QDateEdit, public ReadOnlyControl {
    Q_OBJECT
    Q_INTERFACES(widgets::ReadOnlyControl)
    PK_DATA_AWARE_MEMBERS
public:
    explicit TRqDBDateEdit(QWidget *parent = nullptr, const QString &name = QStringLiteral("DateDBEdit"));
    // The shown date; invalid when empty.
    QDate Date() const;
    // Sets the shown date (invalid: empty) and writes it.
    bool SetDateValue(const QDate &date);
    bool IsNull() const { return date() == minimumDate(); }

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    // One Tab stop: Tab leaves the date instead of walking its sections.
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }

private:
    void showField();
    void updateReadOnly();
    void writeShown();
    bool m_updating = false;
    bool m_movedOn = false; // the last digit completed its part of the date
};

class TRqDBCheckBox : public QCheckBox, public ReadOnlyControl {
    Q_OBJECT
    Q_INTERFACES(widgets::ReadOnlyControl)
    // Checked as a property (a script's `box.checked = true`): written as a click.
    Q_PROPERTY(bool checked READ isChecked WRITE SetChecked)
    PK_DATA_AWARE_MEMBERS
public:
    explicit TRqDBCheckBox(QWidget *parent = nullptr, const QString &name = QStringLiteral("DBCheckBox"));
    void SetChecked(bool on);
    // Stored values; default: true/false for a boolean field, 1/0 otherwise.
    void SetValues(const QVariant &checked, const QVariant &unchecked);
    QVariant ValueChecked() const;
    QVariant ValueUnchecked() const;

protected:
    void nextCheckState() override;

private:
    void showField();
    void updateReadOnly();
    QVariant m_checked, m_unchecked;
    bool m_updating = false;
};

class TRqDBMemo : public QPlainTextEdit, public ReadOnlyControl {
    Q_OBJECT
    Q_INTERFACES(widgets::ReadOnlyControl)
    // As the edit's text property: written to the field at once.
    Q_PROPERTY(QString plainText READ toPlainText WRITE SetText)
    PK_DATA_AWARE_MEMBERS
public:
    explicit TRqDBMemo(QWidget *parent = nullptr, const QString &name = QStringLiteral("DBMemo"));
    bool UpdateRecord();
    bool SetText(const QString &text);

protected:
    void focusOutEvent(QFocusEvent *e) override;

private:
    void showField();
    void updateReadOnly();
};

class TRqDBText : public QLabel, public ReadOnlyControl {
    Q_OBJECT
    Q_INTERFACES(widgets::ReadOnlyControl)
    PK_DATA_AWARE_MEMBERS
public:
    explicit TRqDBText(QWidget *parent = nullptr, const QString &name = QStringLiteral("DBText"));

private:
    void showField();
    void updateReadOnly() {}
};

} // namespace widgets
