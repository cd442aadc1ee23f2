#include "widgets/LookupCombo.h"

#include "widgets/DBControls.h"

#include "ComboUtility.h"
#include "Lookup.h"
#include "Messages.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QRegularExpression>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace widgets {

namespace {

QString stripCommand(QString command)
{
    command = command.trimmed();
    if (command.endsWith(u'#'))
        command.chop(1);
    return command;
}

bool sameKey(const QVariant &a, const QVariant &b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    bool okA = false, okB = false;
    const double da = a.toDouble(&okA), db = b.toDouble(&okB);
    if (okA && okB)
        return da == db;
    return a.toString().compare(b.toString(), Qt::CaseInsensitive) == 0;
}

data::FieldType typeOfColumn(const pub::LookupTable &t, int column)
{
    for (int r = 0; r < t.rowCount(); ++r) {
        const QVariant v = t.value(r, column);
        if (v.isNull())
            continue;
        switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            return data::FieldType::Integer;
        case QMetaType::Double:
            return data::FieldType::Float;
        default:
            return data::FieldType::String;
        }
    }
    return data::FieldType::String;
}

} // namespace

// The rows a lookup combo offers, one column per list field.
class LookupListModel : public QAbstractTableModel {
public:
    explicit LookupListModel(TRqLookupCombo *combo) : QAbstractTableModel(combo), m_combo(combo) {}
    void reload()
    {
        beginResetModel();
        endResetModel();
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : m_combo->ListRowCount();
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_combo->m_listFields.size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        if (role == Qt::DisplayRole)
            return m_combo->ListDisplayText(index.row(), index.column());
        return {};
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override
    {
        if (o == Qt::Horizontal && role == Qt::DisplayRole && section < m_combo->m_listFields.size())
            return m_combo->m_captions.value(section, m_combo->m_listFields[section]);
        return {};
    }

private:
    TRqLookupCombo *m_combo;
};

// ------------------------------------------------------------- LookupPopup

LookupPopup::LookupPopup(TRqLookupCombo *combo)
    : QFrame(combo, Qt::Popup), m_combo(combo), m_view(new QTableView(this)), m_buttonBar(new QWidget(this)),
      m_buttons(new QHBoxLayout(m_buttonBar))
{
    setObjectName(combo->objectName() + QStringLiteral("List"));
    setFrameShape(QFrame::Box);
    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(1, 1, 1, 1);
    lay->setSpacing(0);
    m_view->setObjectName(QStringLiteral("ListGrid"));
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    m_view->horizontalHeader()->setHighlightSections(false);
    m_view->setFocusPolicy(Qt::NoFocus);
    m_view->setWordWrap(false);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lay->addWidget(m_view);
    m_buttons->setContentsMargins(2, 2, 2, 2);
    m_buttons->setSpacing(2);
    m_buttons->addStretch();
    lay->addWidget(m_buttonBar);
    installEventFilter(this);
    connect(m_view, &QTableView::clicked, this, [this](const QModelIndex &i) {
        m_combo->SetCurrentListRow(i.row());
        m_combo->CloseUp(true);
    });
}

void LookupPopup::SetCommands(const QStringList &commands)
{
    while (m_buttons->count() > 1) {
        QLayoutItem *it = m_buttons->takeAt(0);
        delete it->widget();
        delete it;
    }
    int i = 0;
    for (const QString &c : commands) {
        auto *b = new QToolButton(m_buttonBar);
        const QString cmd = stripCommand(c);
        b->setText(cmd);
        b->setObjectName(QStringLiteral("btnUtility%1").arg(i));
        b->setAutoRaise(true);
        connect(b, &QToolButton::clicked, m_combo, [this, cmd] {
            hide();
            m_combo->RunUtility(cmd);
        });
        m_buttons->insertWidget(i++, b);
    }
    m_buttonBar->setVisible(!commands.isEmpty());
}

bool LookupPopup::eventFilter(QObject *watched, QEvent *event)
{
    // The popup takes the keyboard; the combo still does the typing and moving.
    if (watched == this && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        if (event->type() == QEvent::KeyPress)
            QApplication::sendEvent(m_combo, event);
        event->accept();
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

void LookupPopup::hideEvent(QHideEvent *e)
{
    QFrame::hideEvent(e);
    // Closed by a click outside: the typed text gives way to the key's text.
    QMetaObject::invokeMethod(m_combo, [c = QPointer<TRqLookupCombo>(m_combo)] {
        if (c && !c->ListVisible())
            c->CloseUp(false);
    }, Qt::QueuedConnection);
}

// ----------------------------------------------------------- TRqLookupCombo

TRqLookupCombo::TRqLookupCombo(QWidget *parent, const QString &name)
    : QLineEdit(parent), m_link(new FieldDataLink(this)),
      m_commands({QStringLiteral("新增"), QStringLiteral("编辑"), QStringLiteral("刷新")})
{
    setObjectName(name);
    m_model = new LookupListModel(this);
    QAction *arrow = addAction(style()->standardIcon(QStyle::SP_ArrowDown), QLineEdit::TrailingPosition);
    arrow->setObjectName(QStringLiteral("DropDownButton"));
    connect(arrow, &QAction::triggered, this, [this] {
        if (ListVisible())
            CloseUp(false);
        else
            DropDown();
    });
    connect(m_link, &FieldDataLink::valueChanged, this, &TRqLookupCombo::showKey);
    connect(m_link, &FieldDataLink::stateChanged, this, &TRqLookupCombo::updateReadOnly);
    connect(this, &QLineEdit::textEdited, this, &TRqLookupCombo::onTextEdited);
    updateReadOnly();
}

TRqLookupCombo::~TRqLookupCombo() = default;

void TRqLookupCombo::SetReadOnly(bool on)
{
    m_readOnly = on;
    updateReadOnly();
}

bool TRqLookupCombo::Editable() const
{
    if (m_readOnly)
        return false;
    return m_link->DataSource() ? m_link->CanModify() : true;
}

void TRqLookupCombo::updateReadOnly()
{
    setReadOnly(!Editable());
    ShowReadOnly(this, !Editable());
}

void TRqLookupCombo::SetListSource(const QString &lookupName)
{
    if (m_table)
        disconnect(m_table, nullptr, this, nullptr);
    if (m_sourceDataSet)
        disconnect(m_sourceDataSet, nullptr, this, nullptr);
    m_sourceDataSet = nullptr;
    m_sourceName = lookupName;
    setProperty("lookupSource", lookupName); // ComboBoxUtilitys finds the source by it
    m_table = FindLookupDataSource(lookupName);
    if (m_table) {
        if (m_keyField.isEmpty())
            m_keyField = m_table->keyColumn();
        connect(m_table, &pub::LookupTable::refreshed, this, &TRqLookupCombo::invalidate);
    }
    invalidate();
}

void TRqLookupCombo::SetListDataSet(data::ClientDataSet *dataSet)
{
    if (m_table)
        disconnect(m_table, nullptr, this, nullptr);
    if (m_sourceDataSet)
        disconnect(m_sourceDataSet, nullptr, this, nullptr);
    m_table = nullptr;
    m_sourceName.clear();
    setProperty("lookupSource", QVariant());
    m_sourceDataSet = dataSet;
    if (dataSet) {
        connect(dataSet, &data::ClientDataSet::dataSetChanged, this, &TRqLookupCombo::invalidate);
        connect(dataSet, &data::ClientDataSet::recordChanged, this, &TRqLookupCombo::invalidate);
        connect(dataSet, &data::ClientDataSet::rowInserted, this, &TRqLookupCombo::invalidate);
        connect(dataSet, &data::ClientDataSet::rowRemoved, this, &TRqLookupCombo::invalidate);
    }
    invalidate();
}

void TRqLookupCombo::SetKeyField(const QString &field)
{
    m_keyField = field;
    invalidate();
}

void TRqLookupCombo::SetListFields(const QString &fields)
{
    m_autoListFields = fields.trimmed().isEmpty();
    m_listFields.clear();
    for (const QString &f : fields.split(u';', Qt::SkipEmptyParts))
        m_listFields << f.trimmed();
    invalidate();
}

QString TRqLookupCombo::ListField() const
{
    if (!m_listField.isEmpty())
        return m_listField;
    for (const QString &f : m_listFields)
        if (f.compare(QLatin1String("NAME"), Qt::CaseInsensitive) == 0)
            return f;
    return m_listFields.value(0, QStringLiteral("NAME"));
}

void TRqLookupCombo::SetListFieldCaptions(const QStringList &captions)
{
    m_captions = captions;
    invalidate();
}

void TRqLookupCombo::SetListFilter(const QString &expression)
{
    m_filter = expression;
    m_filterFn = nullptr;
    invalidate();
}

void TRqLookupCombo::SetListFilterFunction(ListFilterFunction fn)
{
    m_filterFn = std::move(fn);
    m_filter.clear();
    invalidate();
}

void TRqLookupCombo::SetSearchFields(const QString &fields)
{
    m_searchFields = fields.split(u';', Qt::SkipEmptyParts);
    for (QString &f : m_searchFields)
        f = f.trimmed();
}

void TRqLookupCombo::SetUtilityCommands(const QStringList &commands)
{
    m_commands = commands;
    if (m_popup)
        m_popup->SetCommands(m_commands);
}

void TRqLookupCombo::invalidate()
{
    m_dirty = true;
    if (ListVisible()) {
        ensureList();
        Search(m_searchText);
    }
    showKey();
}

void TRqLookupCombo::ensureList() const
{
    if (m_dirty)
        rebuildList();
}

void TRqLookupCombo::rebuildList() const
{
    m_dirty = false;
    auto list = std::make_unique<data::ClientDataSet>();
    if (m_table) {
        for (int c = 0; c < m_table->columnCount(); ++c)
            list->AddField(m_table->columns()[c], typeOfColumn(*m_table, c));
    } else if (m_sourceDataSet && m_sourceDataSet->Active()) {
        for (int c = 0; c < m_sourceDataSet->FieldCount(); ++c) {
            const data::Field *src = m_sourceDataSet->FieldAt(c);
            data::Field *f = list->AddField(src->FieldName(), src->DataType(), src->Size());
            f->SetDisplayLabel(src->DisplayLabel());
            f->SetDisplayFormat(src->DisplayFormat());
        }
    }
    if (list->FieldCount() == 0)
        list->AddField(m_keyField.isEmpty() ? QStringLiteral("KEY") : m_keyField, data::FieldType::String);
    list->CreateDataSet();
    list->DisableControls();
    if (m_table) {
        for (int r = 0; r < m_table->rowCount(); ++r) {
            list->Append();
            for (int c = 0; c < m_table->columnCount(); ++c)
                list->FieldAt(c)->SetValueSilent(m_table->value(r, c));
            list->Post();
        }
    } else if (m_sourceDataSet && m_sourceDataSet->Active()) {
        for (int r = 0; r < m_sourceDataSet->RecordCount(); ++r) {
            list->Append();
            for (int c = 0; c < list->FieldCount(); ++c)
                list->FieldAt(c)->SetValueSilent(m_sourceDataSet->ValueAt(r, c));
            list->Post();
        }
    }
    list->MergeChangeLog();
    list->SetFilterCaseInsensitive(true);
    try {
        if (m_filterFn) {
            list->SetFilterFunction(m_filterFn);
            list->SetFiltered(true);
        } else if (!m_filter.trimmed().isEmpty()) {
            list->SetFilter(m_filter);
            list->SetFiltered(true);
        }
    } catch (const std::exception &e) {
        ShowError(e); // a filter naming an unknown column
    }
    list->EnableControls();
    m_list = std::move(list);
    auto *self = const_cast<TRqLookupCombo *>(this);
    if (m_autoListFields) {
        // Without chosen columns the list shows code and name, and typing
        // also finds the speed symbol.
        self->m_listFields.clear();
        for (const char *f : {"CODE", "NAME"})
            if (m_list->FindField(QString::fromLatin1(f)))
                self->m_listFields << QString::fromLatin1(f);
        if (!m_list->FindField(QStringLiteral("NAME"))) {
            for (int c = 0; c < m_list->FieldCount(); ++c) {
                const data::Field *f = m_list->FieldAt(c);
                if (f->DataType() == data::FieldType::String && !self->m_listFields.contains(f->FieldName())) {
                    self->m_listFields << f->FieldName();
                    break;
                }
            }
        }
        if (self->m_listFields.isEmpty() && m_list->FieldCount() > 0)
            self->m_listFields << m_list->FieldAt(0)->FieldName();
    }
    self->m_matches.clear();
    for (int r = 0; r < m_list->RecordCount(); ++r)
        if (offered(r))
            self->m_matches << r;
    self->m_current = m_matches.isEmpty() ? -1 : 0;
    self->m_model->reload();
}

bool TRqLookupCombo::offered(int row) const
{
    // Closed master data is never offered, whatever the list filter says; the
    // name of a closed key already held still shows (TextOfKey).
    if (!m_hideClosed)
        return true;
    const data::Field *closed = m_list->FindField(QStringLiteral("CLOSED"));
    if (!closed)
        return true;
    const QVariant v = m_list->ValueAt(row, closed->Index());
    return v.isNull() || v.toString().isEmpty() || v.toString() == QLatin1String("0") ||
           v.toString().compare(QLatin1String("false"), Qt::CaseInsensitive) == 0;
}

data::ClientDataSet *TRqLookupCombo::ListDataSet() const
{
    ensureList();
    return m_list.get();
}

int TRqLookupCombo::ListRowCount() const { return int(m_matches.size()); }

QVariant TRqLookupCombo::ListValue(int row, const QString &field) const
{
    ensureList();
    if (row < 0 || row >= m_matches.size())
        return {};
    const data::Field *f = m_list->FindField(field);
    return f ? m_list->ValueAt(m_matches[row], f->Index()) : QVariant();
}

QString TRqLookupCombo::ListDisplayText(int row, int column) const
{
    ensureList();
    if (row < 0 || row >= m_matches.size() || column < 0 || column >= m_listFields.size())
        return {};
    const data::Field *f = m_list->FindField(m_listFields[column]);
    return f ? f->FormatValue(m_list->ValueAt(m_matches[row], f->Index())) : QString();
}

void TRqLookupCombo::showEvent(QShowEvent *e)
{
    QLineEdit::showEvent(e);
    if (m_keyPending)
        showKey();
}

QString TRqLookupCombo::TextOfKey(const QVariant &key) const
{
    if (key.isNull())
        return {};
    ensureList();
    const data::Field *k = m_list->FindField(m_keyField);
    const data::Field *t = m_list->FindField(ListField());
    if (!k || !t)
        return {};
    // A memory table keyed by the same column finds the row by its index.
    if (m_table && m_table->keyColumn().compare(m_keyField, Qt::CaseInsensitive) == 0) {
        const int row = m_table->rowOfKey(key);
        if (row >= 0 && m_table->columnIndex(ListField()) >= 0)
            return t->FormatValue(m_table->value(row, ListField()));
    }
    // The current key may be filtered out of the list (a closed store): its name still shows.
    const bool wasFiltered = m_list->Filtered();
    QString text;
    if (wasFiltered)
        m_list->SetFiltered(false);
    for (int r = 0; r < m_list->RecordCount(); ++r) {
        if (sameKey(m_list->ValueAt(r, k->Index()), key)) {
            text = t->FormatValue(m_list->ValueAt(r, t->Index()));
            break;
        }
    }
    if (wasFiltered)
        m_list->SetFiltered(true);
    return text;
}

QVariant TRqLookupCombo::KeyValue() const
{
    if (!m_link->DataSource())
        return m_key;
    const data::Field *f = m_link->Field();
    return f ? f->Value() : QVariant();
}

bool TRqLookupCombo::setKeyValue(const QVariant &key)
{
    if (m_link->DataSource()) {
        if (m_readOnly || !m_link->Write(key)) {
            showKey();
            return false;
        }
    } else {
        m_key = key;
    }
    showKey();
    emit keyValueChanged(key);
    return true;
}

bool TRqLookupCombo::Clear()
{
    if (!Editable())
        return false;
    CloseUp(false);
    return setKeyValue(QVariant());
}

void TRqLookupCombo::showKey()
{
    if (ListVisible())
        return; // the user is searching
    if (isHidden() && testAttribute(Qt::WA_WState_ExplicitShowHide)) {
        // A combo kept hidden (a window's spare one for automation) follows
        // every row of its data set: name the key only when it is shown.
        m_keyPending = true;
        return;
    }
    m_keyPending = false;
    setText(TextOfKey(KeyValue()));
    setCursorPosition(0);
    updateReadOnly();
}

int TRqLookupCombo::Search(const QString &text)
{
    ensureList();
    m_searchText = text;
    m_matches.clear();
    const QString needle = text.trimmed();
    QVector<int> contains;
    struct Spec {
        int field;
        bool prefix;
    };
    QVector<Spec> specs;
    const QStringList names = m_searchFields.isEmpty() ? m_listFields : m_searchFields;
    for (QString n : names) {
        bool prefix = true, both = m_searchFields.isEmpty();
        if (n.endsWith(u'#')) {
            prefix = false;
            n.chop(1);
        } else if (n.endsWith(u'*')) {
            n.chop(1);
        }
        if (const data::Field *f = m_list->FindField(n)) {
            specs.push_back({f->Index(), prefix});
            if (both)
                specs.push_back({f->Index(), false});
        }
    }
    if (m_searchFields.isEmpty())
        if (const data::Field *f = m_list->FindField(QStringLiteral("SPEEDSYMBOL")))
            specs.push_back({f->Index(), true});
    for (int r = 0; r < m_list->RecordCount(); ++r) {
        if (!offered(r))
            continue;
        if (needle.isEmpty()) {
            m_matches << r;
            continue;
        }
        bool byPrefix = false, byContains = false;
        for (const Spec &s : specs) {
            const QString v = m_list->ValueAt(r, s.field).toString();
            if (s.prefix && v.startsWith(needle, Qt::CaseInsensitive))
                byPrefix = true;
            else if (!s.prefix && v.contains(needle, Qt::CaseInsensitive))
                byContains = true;
        }
        // Rows found by a prefix come first.
        if (byPrefix)
            m_matches << r;
        else if (byContains)
            contains << r;
    }
    m_matches += contains;
    m_current = m_matches.isEmpty() ? -1 : 0;
    m_model->reload();
    if (m_popup && m_current >= 0)
        m_popup->View()->selectRow(m_current);
    return int(m_matches.size());
}

void TRqLookupCombo::SetCurrentListRow(int row)
{
    if (m_matches.isEmpty()) {
        m_current = -1;
        return;
    }
    m_current = std::clamp(row, 0, int(m_matches.size()) - 1);
    if (m_popup && m_popup->isVisible()) {
        m_popup->View()->selectRow(m_current);
        m_popup->View()->scrollTo(m_model->index(m_current, 0));
    }
}

void TRqLookupCombo::moveCurrent(int delta) { SetCurrentListRow(m_current < 0 ? 0 : m_current + delta); }

bool TRqLookupCombo::ListVisible() const { return m_popup && m_popup->isVisible(); }

void TRqLookupCombo::DropDown()
{
    if (!Editable() || ListVisible())
        return;
    ensureList();
    if (!m_popup) {
        m_popup = new LookupPopup(this);
        m_popup->View()->setModel(m_model);
        m_popup->SetCommands(m_commands);
    }
    const QString typed = isModified() ? text() : QString();
    Search(typed);
    // Start on the current key when nothing was typed.
    if (typed.isEmpty()) {
        const data::Field *k = m_list->FindField(m_keyField);
        const QVariant key = KeyValue();
        for (int i = 0; k && !key.isNull() && i < m_matches.size(); ++i)
            if (sameKey(m_list->ValueAt(m_matches[i], k->Index()), key))
                m_current = i;
    }
    QTableView *v = m_popup->View();
    v->horizontalHeader()->setVisible(!m_captions.isEmpty());
    int width = 0;
    for (int c = 0; c < m_listFields.size(); ++c) {
        if (c < m_widths.size())
            v->setColumnWidth(c, m_widths[c]);
        else
            v->resizeColumnToContents(c);
        width += v->columnWidth(c);
    }
    v->horizontalHeader()->setStretchLastSection(true);
    const int rowH = m_matches.isEmpty() ? v->verticalHeader()->defaultSectionSize() : v->rowHeight(0);
    const int rows = std::clamp(int(m_matches.size()), 1, 10);
    const int headerH = v->horizontalHeader()->isVisible() ? v->horizontalHeader()->sizeHint().height() : 0;
    const int barH = m_commands.isEmpty() ? 0 : m_popup->ButtonBar()->sizeHint().height();
    const int frames = 2 * v->frameWidth() + 2 * m_popup->frameWidth();
    const int vbar = int(m_matches.size()) > rows ? v->verticalScrollBar()->sizeHint().width() : 0;
    const int w = std::max(this->width(), width + vbar + frames + 2);
    // The grid gets exactly the rows shown; the popup fits around it.
    v->setFixedHeight(rows * rowH + headerH + 2 * v->frameWidth());
    m_popup->setFixedWidth(w);
    m_popup->adjustSize();
    (void)barH;
    QPoint pos = mapToGlobal(QPoint(0, height()));
    if (const QScreen *s = screen()) {
        const QRect avail = s->availableGeometry();
        if (pos.y() + m_popup->height() > avail.bottom() && avail.height() > m_popup->height())
            pos.setY(mapToGlobal(QPoint(0, 0)).y() - m_popup->height());
    }
    m_popup->move(pos);
    m_popup->show();
    // Row and header sizes are final only once shown.
    if (!m_matches.isEmpty()) {
        const int hh = v->horizontalHeader()->isVisible() ? v->horizontalHeader()->height() : 0;
        const int need = rows * v->rowHeight(0) + hh + 2 * v->frameWidth();
        if (v->height() != need) {
            v->setFixedHeight(need);
            m_popup->adjustSize();
        }
    }
    SetCurrentListRow(m_current);
}

bool TRqLookupCombo::CloseUp(bool accept)
{
    const bool wasOpen = ListVisible();
    QVariant key;
    bool take = false;
    if (accept && m_current >= 0 && m_current < m_matches.size()) {
        if (const data::Field *k = m_list->FindField(m_keyField)) {
            key = m_list->ValueAt(m_matches[m_current], k->Index());
            take = true;
        }
    }
    if (wasOpen)
        m_popup->hide();
    m_searchText.clear();
    setModified(false);
    bool taken = false;
    if (take && Editable())
        taken = setKeyValue(key);
    else
        showKey();
    if (wasOpen)
        emit listClosed(take);
    return taken;
}

bool TRqLookupCombo::TakeTyped(bool highlighted)
{
    const bool open = ListVisible();
    if (!open && !isModified())
        return true;
    const QString typed = text().trimmed();
    if (isModified() && typed.isEmpty()) {
        // Emptied by the user: the key goes too.
        CloseUp(false);
        return Editable() && setKeyValue(QVariant());
    }
    ensureList();
    if (!open)
        Search(typed);
    if (!highlighted) {
        // Only a row whose code or shown text is exactly what was typed.
        m_current = -1;
        for (int i = 0; i < m_matches.size(); ++i)
            for (const QString &f : {QStringLiteral("CODE"), ListField()})
                if (const data::Field *fd = m_list->FindField(f);
                    m_current < 0 && fd && m_list->ValueAt(m_matches[i], fd->Index()).toString().compare(typed, Qt::CaseInsensitive) == 0)
                    m_current = i;
    }
    return CloseUp(true);
}

bool TRqLookupCombo::SetText(const QString &text)
{
    if (!Editable())
        return false;
    CloseUp(false);
    setText(text);
    setModified(true);
    return TakeTyped(false);
}

bool TRqLookupCombo::SetListKey(const QVariant &key)
{
    if (!Editable())
        return false;
    CloseUp(false);
    if (key.isNull() || !key.isValid() || key.toString().isEmpty())
        return setKeyValue(QVariant());
    ensureList();
    if (const data::Field *k = m_list->FindField(m_keyField))
        for (int r = 0; r < m_list->RecordCount(); ++r)
            if (offered(r) && m_list->ValueAt(r, k->Index()).toString() == key.toString())
                return setKeyValue(m_list->ValueAt(r, k->Index()));
    const data::Field *f = m_link->Field();
    // A caption spaced out for alignment ("客    户") is named without the blanks.
    static const QRegularExpression spacing(QStringLiteral("(?<=\\p{Han})\\s+(?=\\p{Han})"));
    const QString label = f ? QString(f->DisplayLabel()).remove(spacing) : objectName();
    ShowError(QStringLiteral("'%1' 不是 '%2' 列表中可选的值。").arg(key.toString(), label));
    showKey();
    return false;
}

void TRqLookupCombo::onTextEdited(const QString &text)
{
    if (!Editable())
        return;
    if (!ListVisible())
        DropDown();
    Search(text);
}

void TRqLookupCombo::RunUtility(const QString &command)
{
    const QString cmd = stripCommand(command);
    if (ListVisible())
        CloseUp(false);
    if (m_utility) {
        m_utility(this, cmd);
    } else {
        // Without a form's handler: "编辑" needs a key, the others no privilege id.
        const QVariant key = KeyValue();
        if (cmd == QStringLiteral("编辑")) {
            if (key.isNull())
                return;
            ComboBoxUtilitys(this, cmd, key.toInt());
        } else {
            ComboBoxUtilitys(this, cmd, 0);
        }
    }
    invalidate();
}

void TRqLookupCombo::keyPressEvent(QKeyEvent *e)
{
    const int key = e->key();
    const bool alt = e->modifiers() & Qt::AltModifier;
    const bool open = ListVisible();
    if (key == Qt::Key_F4 || (alt && (key == Qt::Key_Down || key == Qt::Key_Up))) {
        if (open)
            CloseUp(false);
        else
            DropDown();
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // Enter takes the highlighted row; a closed list leaves Enter to the
        // window (it moves on to the next field).
        if (open || isModified())
            TakeTyped(true);
        else
            e->ignore();
        return;
    }
    if (key == Qt::Key_Escape) {
        if (open || isModified()) {
            CloseUp(false);
            return;
        }
        e->ignore();
        return;
    }
    if (key == Qt::Key_Delete && e->modifiers() == Qt::NoModifier) {
        Clear();
        return;
    }
    if (open) {
        switch (key) {
        case Qt::Key_Down: moveCurrent(1); return;
        case Qt::Key_Up: moveCurrent(-1); return;
        case Qt::Key_PageDown: moveCurrent(9); return;
        case Qt::Key_PageUp: moveCurrent(-9); return;
        default: break;
        }
    } else if (key == Qt::Key_Down && Editable()) {
        DropDown();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

bool TRqLookupCombo::event(QEvent *e)
{
    if (e->type() == QEvent::ShortcutOverride) {
        // While the list is open or a search is typed, Esc, Enter and the
        // moving keys are the combo's, not the window's shortcuts.
        auto *k = static_cast<QKeyEvent *>(e);
        const int key = k->key();
        if ((ListVisible() || isModified()) &&
            (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Up ||
             key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown)) {
            e->accept();
            return true;
        }
    }
    if (e->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(e);
        const QString typed = text().trimmed();
        if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) && (ListVisible() || isModified()) &&
            !TakeTyped(true) && !typed.isEmpty())
            return true; // nothing matches what was typed: stay
    }
    return QLineEdit::event(e);
}

void TRqLookupCombo::focusOutEvent(QFocusEvent *e)
{
    QLineEdit::focusOutEvent(e);
    // The list never outlives the focus; an exact code or name still counts.
    if (e->reason() != Qt::PopupFocusReason && (ListVisible() || isModified()))
        TakeTyped(false);
}

void TRqLookupCombo::contextMenuEvent(QContextMenuEvent *e)
{
    if (m_commands.isEmpty()) {
        QLineEdit::contextMenuEvent(e);
        return;
    }
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("UtilityMenu"));
    for (const QString &c : m_commands) {
        const QString cmd = stripCommand(c);
        menu.addAction(cmd, this, [this, cmd] { RunUtility(cmd); });
    }
    menu.exec(e->globalPos());
}

} // namespace widgets
