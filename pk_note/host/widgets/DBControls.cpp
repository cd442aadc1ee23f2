#include "widgets/DBControls.h"

#include <QCalendarWidget>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPalette>

namespace widgets {

namespace {

// The first date a QDateEdit allows stands for "no date".
const QDate kNullDate(1899, 12, 30);

template <class W>
FieldDataLink *makeLink(W *w, const QString &name)
{
    w->setObjectName(name);
    return new FieldDataLink(w);
}

} // namespace

void ShowReadOnly(QWidget *w, bool readOnly)
{
    const QVariant was = w->property("pkReadOnly");
    if (was.isValid() && was.toBool() == readOnly)
        return;
    if (!was.isValid())
        w->setProperty("pkEditPalette", QVariant::fromValue(w->palette()));
    w->setProperty("pkReadOnly", readOnly);
    w->setFocusPolicy(readOnly ? Qt::ClickFocus : Qt::StrongFocus);
    QPalette p = w->property("pkEditPalette").value<QPalette>();
    if (readOnly) {
        p.setColor(QPalette::Base, p.color(QPalette::Window));
        p.setColor(QPalette::Text, p.color(QPalette::Disabled, QPalette::Text));
        p.setColor(QPalette::WindowText, p.color(QPalette::Disabled, QPalette::WindowText));
    }
    w->setPalette(p);
}

// ---------------------------------------------------------------- TRqDBEdit

TRqDBEdit::TRqDBEdit(QWidget *parent, const QString &name) : QLineEdit(parent), m_link(makeLink(this, name))
{
    connect(m_link, &FieldDataLink::valueChanged, this, &TRqDBEdit::showField);
    connect(m_link, &FieldDataLink::stateChanged, this, &TRqDBEdit::updateReadOnly);
    connect(this, &QLineEdit::returnPressed, this, &TRqDBEdit::UpdateRecord);
    updateReadOnly();
}

void TRqDBEdit::showField()
{
    data::Field *f = Field();
    if (!f) {
        setText(QString());
    } else if (hasFocus() && isModified()) {
        return; // keep what the user is typing
    } else {
        // Raw text while editing, formatted text otherwise.
        setText(hasFocus() ? f->AsString() : f->DisplayText());
        setMaxLength(f->DataType() == data::FieldType::String && f->Size() > 0 ? f->Size() : 32767);
    }
    setModified(false);
    updateReadOnly();
}

void TRqDBEdit::updateReadOnly()
{
    setReadOnly(!Editable());
    ShowReadOnly(this, !Editable());
}

bool TRqDBEdit::UpdateRecord()
{
    if (!isModified())
        return true;
    setModified(false);
    const QString t = text();
    const bool ok = m_link->Write(t.isEmpty() ? QVariant() : QVariant(t));
    if (ok)
        showField();
    return ok;
}

bool TRqDBEdit::SetText(const QString &text)
{
    setText(text);
    setModified(true);
    return UpdateRecord();
}

void TRqDBEdit::focusInEvent(QFocusEvent *e)
{
    QLineEdit::focusInEvent(e);
    if (data::Field *f = Field(); f && !isModified())
        setText(f->AsString());
}

void TRqDBEdit::focusOutEvent(QFocusEvent *e)
{
    UpdateRecord();
    QLineEdit::focusOutEvent(e);
    if (data::Field *f = Field())
        setText(f->DisplayText());
}

void TRqDBEdit::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape && isModified()) {
        setModified(false);
        showField();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

// ------------------------------------------------------------ TRqDBDateEdit

TRqDBDateEdit::TRqDBDateEdit(QWidget *parent, const QString &name)
    : QDateEdit(parent), m_link(makeLink(this, name))
{
    setCalendarPopup(true);
    setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    setMinimumDate(kNullDate);
    setSpecialValueText(QStringLiteral(" "));
    connect(m_link, &FieldDataLink::valueChanged, this, &TRqDBDateEdit::showField);
    connect(m_link, &FieldDataLink::stateChanged, this, &TRqDBDateEdit::updateReadOnly);
    connect(this, &QDateEdit::editingFinished, this, &TRqDBDateEdit::writeShown);
    // A pick in the calendar is a finished edit; typing waits for the edit to end.
    connect(this, &QDateEdit::dateChanged, this, [this] {
        if (!m_updating && !hasFocus())
            writeShown();
    });
    if (QCalendarWidget *cal = calendarWidget())
        connect(cal, &QCalendarWidget::clicked, this, [this] { writeShown(); });
    showField();
}

QDate TRqDBDateEdit::Date() const { return IsNull() ? QDate() : date(); }

void TRqDBDateEdit::showField()
{
    m_updating = true;
    data::Field *f = Field();
    const QDate d = f && !f->IsNull() ? f->AsDate() : QDate();
    setDate(d.isValid() ? d : kNullDate);
    m_updating = false;
    updateReadOnly();
}

void TRqDBDateEdit::updateReadOnly()
{
    setReadOnly(!Editable());
    ShowReadOnly(this, !Editable());
}

void TRqDBDateEdit::writeShown()
{
    data::Field *f = Field();
    if (m_updating || !f)
        return;
    const QDate shown = Date();
    const QDate stored = f->IsNull() ? QDate() : f->AsDate();
    if (shown == stored)
        return;
    if (!Editable()) {
        showField();
        return;
    }
    m_link->Write(shown.isValid() ? QVariant(shown) : QVariant());
}

bool TRqDBDateEdit::SetDateValue(const QDate &d)
{
    if (!Editable())
        return false;
    m_updating = true;
    setDate(d.isValid() ? d : kNullDate);
    m_updating = false;
    data::Field *f = Field();
    return m_link->Write(d.isValid() ? QVariant(d) : QVariant()) && f;
}

void TRqDBDateEdit::keyPressEvent(QKeyEvent *e)
{
    // Delete empties the date.
    if (e->key() == Qt::Key_Delete && e->modifiers() == Qt::NoModifier) {
        if (Editable())
            SetDateValue(QDate());
        return;
    }
    // An empty box has no sections to type into: the first digit starts a
    // date in the year section, so "2026-12-20" can be keyed straight in.
    if (IsNull() && Editable() && e->text().size() == 1 && e->text().at(0).isDigit()) {
        m_updating = true;
        setDate(QDate::currentDate());
        m_updating = false;
        setCurrentSection(QDateTimeEdit::YearSection);
        lineEdit()->setSelection(0, 4);
    }
    // A separator goes to the next part of the date (Tab leaves the box),
    // unless the digits just typed completed their part and moved on already.
    static const QString separators = QStringLiteral("-/.");
    const bool separator = e->text().size() == 1 && separators.contains(e->text());
    if (separator && !IsNull()) {
        if (!m_movedOn && currentSectionIndex() + 1 < sectionCount())
            QDateEdit::focusNextPrevChild(true); // the date's own walk through its parts
        m_movedOn = false;
        return;
    }
    const int section = currentSectionIndex();
    QDateEdit::keyPressEvent(e);
    m_movedOn = e->text().size() == 1 && e->text().at(0).isDigit() && currentSectionIndex() != section;
}

void TRqDBDateEdit::focusOutEvent(QFocusEvent *e)
{
    QDateEdit::focusOutEvent(e);
    writeShown();
}

// ------------------------------------------------------------ TRqDBCheckBox

TRqDBCheckBox::TRqDBCheckBox(QWidget *parent, const QString &name) : QCheckBox(parent), m_link(makeLink(this, name))
{
    connect(m_link, &FieldDataLink::valueChanged, this, &TRqDBCheckBox::showField);
    connect(m_link, &FieldDataLink::stateChanged, this, &TRqDBCheckBox::updateReadOnly);
    connect(this, &QCheckBox::clicked, this, [this](bool on) {
        if (m_updating || !Editable())
            return;
        m_link->Write(on ? ValueChecked() : ValueUnchecked());
    });
    showField();
}

void TRqDBCheckBox::SetChecked(bool on)
{
    if (on != isChecked())
        click(); // refused, as a click is, when read-only
}

void TRqDBCheckBox::SetValues(const QVariant &checked, const QVariant &unchecked)
{
    m_checked = checked;
    m_unchecked = unchecked;
    showField();
}

QVariant TRqDBCheckBox::ValueChecked() const
{
    if (m_checked.isValid())
        return m_checked;
    data::Field *f = Field();
    return f && f->DataType() == data::FieldType::Boolean ? QVariant(true) : QVariant(1);
}

QVariant TRqDBCheckBox::ValueUnchecked() const
{
    if (m_unchecked.isValid())
        return m_unchecked;
    data::Field *f = Field();
    return f && f->DataType() == data::FieldType::Boolean ? QVariant(false) : QVariant(0);
}

void TRqDBCheckBox::showField()
{
    m_updating = true;
    data::Field *f = Field();
    bool on = false;
    if (f && !f->IsNull()) {
        const QVariant v = f->Value();
        const QVariant c = ValueChecked();
        if (c.typeId() == QMetaType::QString)
            on = v.toString().compare(c.toString(), Qt::CaseInsensitive) == 0;
        else if (c.typeId() == QMetaType::Bool)
            on = f->AsBoolean();
        else
            on = v.toString() == c.toString() || (v.canConvert<double>() && v.toDouble() == c.toDouble());
    }
    setChecked(on);
    m_updating = false;
    updateReadOnly();
}

void TRqDBCheckBox::updateReadOnly()
{
    // Kept enabled so the caption reads normally; clicks are refused instead.
    setFocusPolicy(Editable() ? Qt::StrongFocus : Qt::NoFocus);
}

void TRqDBCheckBox::nextCheckState()
{
    if (Editable())
        QCheckBox::nextCheckState();
}

// ----------------------------------------------------------------- TRqDBMemo

TRqDBMemo::TRqDBMemo(QWidget *parent, const QString &name) : QPlainTextEdit(parent), m_link(makeLink(this, name))
{
    connect(m_link, &FieldDataLink::valueChanged, this, &TRqDBMemo::showField);
    connect(m_link, &FieldDataLink::stateChanged, this, &TRqDBMemo::updateReadOnly);
    showField();
}

void TRqDBMemo::showField()
{
    data::Field *f = Field();
    if (hasFocus() && f && toPlainText() != f->AsString())
        return; // keep what the user is typing
    setPlainText(f ? f->AsString() : QString());
    document()->setModified(false);
    updateReadOnly();
}

void TRqDBMemo::updateReadOnly()
{
    setReadOnly(!Editable());
    ShowReadOnly(this, !Editable());
}

bool TRqDBMemo::UpdateRecord()
{
    data::Field *f = Field();
    const QString t = toPlainText();
    if (!f || t == f->AsString())
        return true;
    const bool ok = m_link->Write(t.isEmpty() ? QVariant() : QVariant(t));
    showField();
    return ok;
}

bool TRqDBMemo::SetText(const QString &text)
{
    setPlainText(text);
    return UpdateRecord();
}

void TRqDBMemo::focusOutEvent(QFocusEvent *e)
{
    UpdateRecord();
    QPlainTextEdit::focusOutEvent(e);
}

// ----------------------------------------------------------------- TRqDBText

TRqDBText::TRqDBText(QWidget *parent, const QString &name) : QLabel(parent), m_link(makeLink(this, name))
{
    connect(m_link, &FieldDataLink::valueChanged, this, &TRqDBText::showField);
    showField();
}

void TRqDBText::showField()
{
    data::Field *f = Field();
    setText(f ? f->DisplayText() : QString());
}

} // namespace widgets
