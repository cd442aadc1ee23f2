#include "MasterPickForm.h"

#include "Pub.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "widgets/DBGrid.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kAll = QStringLiteral("全部");

bool isEnter(const QKeyEvent *key)
{
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
        && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

} // namespace

TMasterPickForm::TMasterPickForm(const QString &formName, const QString &caption, const QString &keyField,
                                 QWidget *owner)
    : TnoteBootForm(formName, owner), m_keyField(keyField)
{
    setWindowFlag(Qt::Dialog);
    setWindowTitle(caption);

    cdsPick = new data::ClientDataSet(StartupDB(), this);
    cdsPick->setObjectName(QStringLiteral("cdsPick"));
    dsPick = new data::DataSource(cdsPick, this);
    dsPick->setObjectName(QStringLiteral("dsPick"));
    dsPick->SetAutoEdit(false);

    PickGrid = new widgets::TRqDBGrid(this, QStringLiteral("PickGrid"));
    PickGrid->SetReadOnly(true);
    // A list to choose from, not a locked note: keep the normal colours.
    PickGrid->setPalette(PickGrid->property("pkEditPalette").value<QPalette>());
    PickGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    PickGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    PickGrid->SetDataSource(dsPick);
    PickGrid->installEventFilter(this);

    OkBtn = new QPushButton(QStringLiteral("确定"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    CancelBtn = new QPushButton(QStringLiteral("取消"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));

    m_filters = new QGridLayout;
    m_filters->setHorizontalSpacing(6);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(m_filters);
    layout->addWidget(PickGrid, 1);
    layout->addLayout(buttons);

    connect(OkBtn, &QPushButton::clicked, this, &TMasterPickForm::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TMasterPickForm::CancelBtnClick);
    connect(PickGrid, &QAbstractItemView::doubleClicked, this, &TMasterPickForm::OkBtnClick);
    resize(640, 420);
}

QString TMasterPickForm::EscapeQuotes(const QString &typed)
{
    return QString(typed).replace(u'\'', QStringLiteral("''"));
}

QString TMasterPickForm::SqlText() const
{
    QString sql = BaseSql();
    for (const QString &condition : Conditions())
        sql += QStringLiteral(" AND ") + condition;
    return sql;
}

void TMasterPickForm::RefreshList()
{
    const qint64 current = CurrentId();
    cdsPick->Close();
    cdsPick->SetCommandText(SqlText());
    try {
        cdsPick->Open();
    } catch (const std::exception &e) {
        ShowError(e);
        return;
    }
    if (current != 0)
        LocateId(current);
}

QLineEdit *TMasterPickForm::AddFilterEdit(const char *name, const QString &label, int row, int column)
{
    auto *edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    addFilter(edit, label, row, column);
    connect(edit, &QLineEdit::textChanged, this, [this] {
        if (!m_quiet)
            RefreshList();
    });
    return edit;
}

QComboBox *TMasterPickForm::AddFilterCombo(const char *name, const QString &label, const QString &listSql, int row,
                                           int column)
{
    auto *combo = new QComboBox(this);
    combo->setObjectName(QString::fromLatin1(name));
    combo->addItem(kAll);
    try {
        AutoQuery q = CreateAutoQuery(listSql);
        for (q->First(); !q->Eof(); q->Next())
            combo->addItem(q->Fields(0).AsString());
    } catch (const std::exception &e) {
        ShowError(e);
    }
    addFilter(combo, label, row, column);
    connect(combo, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_quiet)
            RefreshList();
    });
    return combo;
}

void TMasterPickForm::addFilter(QWidget *filter, const QString &label, int row, int column)
{
    auto *caption = new QLabel(label, this);
    caption->setBuddy(filter);
    caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    filter->setMinimumWidth(120);
    filter->installEventFilter(this);
    m_filters->addWidget(caption, row, 2 * column);
    m_filters->addWidget(filter, row, 2 * column + 1);
    m_filters->setColumnStretch(2 * column + 1, 1);
    m_labels.insert(filter, caption);
    // Filters first, in reading order, then the list and the buttons.
    if (!m_filterControls.isEmpty())
        setTabOrder(m_filterControls.last(), filter);
    m_filterControls << filter;
    setTabOrder(filter, PickGrid);
    setTabOrder(PickGrid, OkBtn);
    setTabOrder(OkBtn, CancelBtn);
}

void TMasterPickForm::SetFilterVisible(QWidget *filter, bool visible)
{
    filter->setVisible(visible);
    if (QLabel *caption = m_labels.value(filter))
        caption->setVisible(visible);
}

QString TMasterPickForm::FilterText(const QLineEdit *edit)
{
    return edit->text().trimmed();
}

QString TMasterPickForm::FilterText(const QComboBox *combo)
{
    return combo->currentIndex() <= 0 ? QString() : combo->currentText().trimmed();
}

void TMasterPickForm::SetColumns(std::initializer_list<Column> columns)
{
    PickGrid->ClearColumns();
    for (const Column &c : columns)
        PickGrid->AddColumn(QString::fromLatin1(c.field), QString::fromUtf8(c.title), c.width).ReadOnly = true;
    PickGrid->ColumnsChanged();
    // The list fills the window; the last column takes what is left.
    PickGrid->horizontalHeader()->setStretchLastSection(true);
    // Wide enough for every column, within the screen.
    int width = PickGrid->verticalHeader()->sizeHint().width() + 4 * PickGrid->frameWidth() + 60;
    for (const Column &c : columns)
        width += c.width;
    if (const QScreen *s = screen())
        width = std::min(width, s->availableGeometry().width() - 40);
    resize(std::max(width, this->width()), height());
}

void TMasterPickForm::ClearFilters()
{
    m_quiet = true;
    for (QWidget *w : std::as_const(m_filterControls)) {
        if (auto *edit = qobject_cast<QLineEdit *>(w))
            edit->clear();
        else if (auto *combo = qobject_cast<QComboBox *>(w))
            combo->setCurrentIndex(0);
    }
    m_quiet = false;
}

qint64 TMasterPickForm::CurrentId() const
{
    if (!cdsPick->Active() || cdsPick->IsEmpty())
        return 0;
    return cdsPick->FieldByName(m_keyField)->AsInteger();
}

bool TMasterPickForm::LocateId(qint64 id)
{
    if (!cdsPick->Active())
        RefreshList();
    return cdsPick->Active() && cdsPick->Locate(m_keyField, id);
}

void TMasterPickForm::OkBtnClick()
{
    if (AcceptCurrent())
        finish(1);
}

void TMasterPickForm::CancelBtnClick() { finish(2); }

void TMasterPickForm::finish(int result)
{
    // The host's modal loop ends when the window hides and reads this property.
    setProperty("modalResult", result);
    close();
}

void TMasterPickForm::showEvent(QShowEvent *event)
{
    if (!cdsPick->Active())
        RefreshList();
    TnoteBootForm::showEvent(event);
    if (!m_filterControls.isEmpty() && !focusWidget())
        m_filterControls.first()->setFocus();
}

bool TMasterPickForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape) {
            CancelBtnClick();
            return true;
        }
        if (isEnter(key)) {
            if (watched == PickGrid)
                OkBtnClick();
            else
                PickGrid->setFocus();
            return true;
        }
    }
    return TnoteBootForm::eventFilter(watched, event);
}

void TMasterPickForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        CancelBtnClick();
        return;
    }
    TnoteBootForm::keyPressEvent(event);
}

void TIdPickForm::Clear()
{
    m_selected = 0;
    ClearFilters();
    RefreshList();
    cdsPick->First();
}

void TIdPickForm::SetCurrentId(int id)
{
    if (id != 0)
        LocateId(id);
}

bool TIdPickForm::AcceptCurrent()
{
    m_selected = int(CurrentId());
    return true;
}
