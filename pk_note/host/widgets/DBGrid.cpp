#include "widgets/DBGrid.h"

#include "Messages.h"
#include "PubError.h"
#include "Settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace widgets {

namespace {

bool isNumeric(data::FieldType t) { return t == data::FieldType::Integer || t == data::FieldType::Float; }

QString formatNumber(const QString &format, double value)
{
    const QString fmt = format.isEmpty() ? QStringLiteral("#0.00") : format;
    return data::formatWith(data::parseDisplayFormat(fmt, data::FieldType::Float), data::FieldType::Float, value);
}

} // namespace

// ---------------------------------------------------------------- GridModel

GridModel::GridModel(TRqDBGrid *grid, data::DataSetModel *source)
    : QAbstractTableModel(grid), m_grid(grid), m_source(source)
{
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(source, &QAbstractItemModel::modelReset, this, [this] {
        if (!m_grid->m_userColumns)
            m_grid->defaultColumns();
        endResetModel();
        m_grid->applyHeader();
    });
    // While rows come and go the view's current row is not the user's choice:
    // the data set's cursor is followed afterwards.
    connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this, [this](const QModelIndex &, int first, int last) {
        m_grid->m_syncing = true;
        beginInsertRows({}, first, last);
    });
    connect(source, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
        endInsertRows();
        m_grid->m_syncing = false;
        m_grid->followCursor();
        // A record inserted at the cursor is a new line: typed from its first cell.
        data::ClientDataSet *ds = m_grid->DataSet();
        if (ds && first == last && ds->CurrentRow() == first)
            if (const int c = m_grid->firstEditableColumn(); c >= 0)
                m_grid->SetSelectedColumn(c);
    });
    connect(source, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this](const QModelIndex &, int first, int last) {
        m_grid->m_syncing = true;
        beginRemoveRows({}, first, last);
    });
    connect(source, &QAbstractItemModel::rowsRemoved, this, [this] {
        endRemoveRows();
        m_grid->m_syncing = false;
        m_grid->followCursor();
    });
    connect(source, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &tl, const QModelIndex &br) {
        if (columnCount() > 0)
            emit dataChanged(index(tl.row(), 0), index(br.row(), columnCount() - 1));
    });
    connect(source, &QAbstractItemModel::layoutChanged, this, [this] { emit layoutChanged(); });
}

void GridModel::ColumnsChanged()
{
    beginResetModel();
    endResetModel();
}

int GridModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_source->rowCount(); }

int GridModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_grid->ColumnCount(); }

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    data::ClientDataSet *ds = m_grid->DataSet();
    if (!index.isValid() || !ds || !ds->Active() || index.row() >= ds->RecordCount())
        return {};
    const data::Field *f = m_grid->FieldOfColumn(index.column());
    if (!f)
        return {};
    const GridColumn &c = m_grid->Column(index.column());
    switch (role) {
    case Qt::DisplayRole: {
        const QVariant &v = ds->ValueAt(index.row(), f->Index());
        if (c.DisplayFormat.isEmpty())
            return f->FormatValue(v);
        if (v.isNull())
            return QString();
        return data::formatWith(data::parseDisplayFormat(c.DisplayFormat, f->DataType()), f->DataType(), v);
    }
    case Qt::EditRole:
        return ds->ValueAt(index.row(), f->Index());
    case Qt::TextAlignmentRole:
        return isNumeric(f->DataType()) ? int(Qt::AlignRight | Qt::AlignVCenter) : int(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        // Read-only columns of an editable grid are tinted.
        if (!m_grid->ReadOnly() && !m_grid->CanEditColumn(index.column()))
            return QColor(0xF2, 0xF2, 0xEC);
        return {};
    default:
        return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section < m_grid->ColumnCount())
        return m_grid->ColumnTitle(section);
    if (o == Qt::Horizontal && role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (o == Qt::Vertical && role == Qt::DisplayRole)
        return section + 1;
    return {};
}

Qt::ItemFlags GridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags fl = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_grid->CanEditColumn(index.column()))
        fl |= Qt::ItemIsEditable;
    return fl;
}

bool GridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    data::ClientDataSet *ds = m_grid->DataSet();
    if (role != Qt::EditRole || !index.isValid() || !ds || !m_grid->CanEditColumn(index.column()))
        return false;
    m_grid->m_lastCommitOk = false;
    data::Field *f = m_grid->FieldOfColumn(index.column());
    // Exceptions must not cross Qt's event loop: show them and refuse the edit.
    try {
        if (index.row() != ds->CurrentRow())
            ds->MoveTo(index.row());
        QVariant v = value;
        if (v.typeId() == QMetaType::QString && v.toString().isEmpty())
            v = QVariant();
        if (m_grid->DataSource())
            m_grid->DataSource()->SetFieldValue(f, v);
        else {
            ds->Edit();
            f->SetValue(v);
        }
        m_grid->m_lastCommitOk = true;
        return true;
    } catch (const std::exception &e) {
        ShowError(e);
    }
    return false;
}

// ------------------------------------------------------ delegate and footer

// Paints the ellipsis button of the current row and keeps editors clear of it.
class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(TRqDBGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}
    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool button = m_grid->HasButton(index.column()) &&
                            index.row() == m_grid->currentIndex().row();
        if (!button) {
            QStyledItemDelegate::paint(p, option, index);
            return;
        }
        // The text keeps clear of the button (numbers are right-aligned).
        QStyleOptionViewItem text = option;
        text.rect.adjust(0, 0, -m_grid->EllipsisRect(index).width(), 0);
        QStyledItemDelegate::paint(p, text, index);
        {
            QStyleOptionButton b;
            b.rect = m_grid->EllipsisRect(index).translated(-m_grid->visualRect(index).topLeft() + option.rect.topLeft());
            b.text = QStringLiteral("...");
            b.state = QStyle::State_Enabled | QStyle::State_Raised;
            m_grid->style()->drawControl(QStyle::CE_PushButton, &b, p, m_grid);
        }
    }
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (const GridColumn *c = own(index))
            return c->Editor(parent);
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        // As the edit boxes: no more characters than the column holds.
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            if (const data::Field *f = m_grid->FieldOfColumn(index.column()))
                if (f->DataType() == data::FieldType::String && f->Size() > 0)
                    line->setMaxLength(f->Size());
        return editor;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        if (!own(index))
            QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        const GridColumn *c = own(index);
        if (!c) {
            QStyledItemDelegate::setModelData(editor, model, index);
            return;
        }
        m_grid->m_lastCommitOk = false;
        try {
            data::ClientDataSet *ds = m_grid->DataSet();
            if (ds && index.row() != ds->CurrentRow())
                ds->MoveTo(index.row());
            m_grid->m_lastCommitOk = !c->EditorCommit || c->EditorCommit(editor);
        } catch (const std::exception &e) {
            ShowError(e);
        }
    }
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::updateEditorGeometry(editor, option, index);
        if (m_grid->HasButton(index.column()))
            editor->setGeometry(editor->geometry().adjusted(0, 0, -m_grid->EllipsisRect(index).width(), 0));
    }

protected:
    // The keys that leave a cell are the grid's: it commits the editor into
    // its row first, then moves. The base would commit Enter later from the
    // event queue, after the row may have changed.
    bool eventFilter(QObject *object, QEvent *event) override
    {
        auto *editor = qobject_cast<QWidget *>(object);
        if (editor && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
            auto *key = static_cast<QKeyEvent *>(event);
            if (TRqDBGrid::isCellLeavingKey(key) || (key->key() == Qt::Key_Escape && event->type() == QEvent::ShortcutOverride)) {
                if (event->type() == QEvent::ShortcutOverride) {
                    // An open editor owns these keys, not the window's shortcuts.
                    event->accept();
                    return true;
                }
                m_grid->handleKey(key);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    const GridColumn *own(const QModelIndex &index) const
    {
        if (!index.isValid() || index.column() >= m_grid->ColumnCount())
            return nullptr;
        const GridColumn &c = m_grid->Column(index.column());
        return c.Editor ? &c : nullptr;
    }

    TRqDBGrid *m_grid;
};

class GridFooter : public QWidget {
public:
    explicit GridFooter(TRqDBGrid *grid) : QWidget(grid), m_grid(grid)
    {
        setObjectName(QStringLiteral("Footer"));
        setAutoFillBackground(true);
    }
    int preferredHeight() const { return fontMetrics().height() + 8; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().button());
        const int offset = m_grid->viewport()->geometry().x() - geometry().x();
        QHeaderView *h = m_grid->horizontalHeader();
        p.setPen(palette().mid().color());
        p.drawLine(0, 0, width(), 0);
        for (int c = 0; c < m_grid->ColumnCount(); ++c) {
            if (h->isSectionHidden(c))
                continue;
            const QRect r(offset + h->sectionViewportPosition(c), 0, h->sectionSize(c), height());
            if (r.right() < offset || r.left() > width())
                continue;
            p.setClipRect(QRect(offset, 0, width() - offset, height()));
            p.setPen(palette().mid().color());
            p.drawLine(r.topRight(), r.bottomRight());
            const GridColumn &col = m_grid->Column(c);
            if (col.FooterKind == GridColumn::Footer::None)
                continue;
            p.setPen(palette().buttonText().color());
            const Qt::Alignment a = col.FooterKind == GridColumn::Footer::Sum ? Qt::AlignRight | Qt::AlignVCenter
                                                                              : Qt::AlignCenter;
            p.drawText(r.adjusted(4, 0, -4, 0), int(a), m_grid->FooterText(c));
        }
    }

private:
    TRqDBGrid *m_grid;
};

// ---------------------------------------------------------------- TRqDBGrid

TRqDBGrid::TRqDBGrid(QWidget *parent, const QString &name) : QTableView(parent)
{
    setObjectName(name);
    setItemDelegate(new GridDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    verticalHeader()->setMinimumWidth(28);
    horizontalHeader()->setHighlightSections(false);
    m_footer = new GridFooter(this);
    m_footer->hide();
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (logical < m_columns.size() && !m_syncing && size > 0)
            m_columns[logical].Width = size;
        m_footer->update();
    });
}

TRqDBGrid::~TRqDBGrid() = default;

data::ClientDataSet *TRqDBGrid::DataSet() const { return m_source ? m_source->DataSet() : nullptr; }

void TRqDBGrid::SetDataSource(data::DataSource *source)
{
    m_source = source;
    rebuildModel();
}

void TRqDBGrid::rebuildModel()
{
    setModel(nullptr);
    delete m_model;
    delete m_dsModel;
    m_model = nullptr;
    m_dsModel = nullptr;
    data::ClientDataSet *ds = DataSet();
    if (!ds)
        return;
    m_dsModel = new data::DataSetModel(ds, this);
    if (!m_userColumns)
        defaultColumns();
    m_model = new GridModel(this, m_dsModel);
    setModel(m_model);
    auto refreshFooter = [this] { m_footer->update(); };
    connect(m_model, &QAbstractItemModel::dataChanged, this, refreshFooter);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, refreshFooter);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, refreshFooter);
    connect(m_model, &QAbstractItemModel::modelReset, this, refreshFooter);
    connect(m_dsModel, &data::DataSetModel::currentRowChanged, this, &TRqDBGrid::followDataSet);
    applyHeader();
    followDataSet(ds->CurrentRow());
}

void TRqDBGrid::defaultColumns()
{
    m_columns.clear();
    if (data::ClientDataSet *ds = DataSet()) {
        for (int i = 0; i < ds->FieldCount(); ++i) {
            const data::Field *f = ds->FieldAt(i);
            if (f->Visible()) {
                GridColumn c;
                c.FieldName = f->FieldName();
                m_columns << c;
            }
        }
    }
}

GridColumn &TRqDBGrid::AddColumn(const QString &fieldName, const QString &title, int width)
{
    if (!m_userColumns) {
        m_userColumns = true;
        m_columns.clear();
    }
    GridColumn c;
    c.FieldName = fieldName;
    c.Title = title;
    c.Width = width;
    m_columns << c;
    ColumnsChanged();
    return m_columns.last();
}

void TRqDBGrid::ClearColumns()
{
    m_userColumns = false;
    defaultColumns();
    ColumnsChanged();
}

int TRqDBGrid::ColumnOfField(const QString &fieldName) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].FieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

data::Field *TRqDBGrid::FieldOfColumn(int column) const
{
    data::ClientDataSet *ds = DataSet();
    if (!ds || !ds->Active() || column < 0 || column >= m_columns.size())
        return nullptr;
    return ds->FindField(m_columns[column].FieldName);
}

QString TRqDBGrid::ColumnTitle(int column) const
{
    if (column < 0 || column >= m_columns.size())
        return {};
    if (!m_columns[column].Title.isEmpty())
        return m_columns[column].Title;
    if (const data::Field *f = FieldOfColumn(column))
        return f->DisplayLabel();
    return m_columns[column].FieldName;
}

void TRqDBGrid::ColumnsChanged()
{
    if (m_model)
        m_model->ColumnsChanged();
    applyHeader();
    emit columnsChanged();
}

void TRqDBGrid::applyHeader()
{
    if (!m_model)
        return;
    m_syncing = true;
    const QFontMetrics fm = horizontalHeader()->fontMetrics();
    for (int i = 0; i < m_columns.size(); ++i) {
        const GridColumn &c = m_columns[i];
        setColumnHidden(i, !c.Visible);
        const int titleWidth = fm.horizontalAdvance(ColumnTitle(i)) + 20;
        setColumnWidth(i, c.Width > 0 ? c.Width : std::max(64, titleWidth));
    }
    m_syncing = false;
    if (data::ClientDataSet *ds = DataSet())
        followDataSet(ds->CurrentRow());
    updateGeometries();
    m_footer->update();
}

int TRqDBGrid::SelectedColumn() const { return currentIndex().isValid() ? currentIndex().column() : -1; }

void TRqDBGrid::SetSelectedColumn(int column)
{
    if (!m_model || column < 0 || column >= m_columns.size())
        return;
    const int row = currentIndex().isValid() ? currentIndex().row() : std::max(0, DataSet() ? DataSet()->CurrentRow() : 0);
    setCurrentIndex(m_model->index(row, column));
}

void TRqDBGrid::SetReadOnly(bool on)
{
    if (on && !m_readOnly)
        CommitEditor();
    m_readOnly = on;
    // A grid that cannot be changed looks it; it keeps the focus for reading.
    if (!property("pkEditPalette").isValid())
        setProperty("pkEditPalette", QVariant::fromValue(palette()));
    QPalette p = property("pkEditPalette").value<QPalette>();
    if (on) {
        p.setColor(QPalette::Base, p.color(QPalette::Window));
        p.setColor(QPalette::Text, p.color(QPalette::Disabled, QPalette::Text));
    }
    setPalette(p);
    viewport()->update();
}

bool TRqDBGrid::CanEditColumn(int column) const
{
    if (m_readOnly || column < 0 || column >= m_columns.size() || m_columns[column].ReadOnly)
        return false;
    if (m_cellReadOnly && m_cellReadOnly(column))
        return false;
    const data::Field *f = FieldOfColumn(column);
    return f && !f->ReadOnly() && !f->Calculated();
}

bool TRqDBGrid::HasButton(int column) const
{
    if (column < 0 || column >= m_columns.size() || !m_columns[column].EllipsisButton)
        return false;
    return !m_cellButton || m_cellButton(column);
}

void TRqDBGrid::followCursor()
{
    if (data::ClientDataSet *ds = DataSet(); ds && ds->Active())
        followDataSet(ds->CurrentRow());
}

void TRqDBGrid::followDataSet(int row)
{
    if (!m_model || m_syncing)
        return;
    m_syncing = true;
    if (row < 0) {
        setCurrentIndex(QModelIndex());
    } else if (row < m_model->rowCount()) {
        int col = currentIndex().isValid() ? currentIndex().column() : 0;
        while (col < m_columns.size() && isColumnHidden(col))
            ++col;
        if (col < m_columns.size())
            setCurrentIndex(m_model->index(row, col));
    }
    m_syncing = false;
    viewport()->update();
}

void TRqDBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    data::ClientDataSet *ds = DataSet();
    if (m_syncing || !ds || !current.isValid() || current.row() == ds->CurrentRow())
        return;
    try {
        ds->MoveTo(current.row());
    } catch (const std::exception &e) {
        ShowError(e);
        // The record could not be left: go back to it.
        QMetaObject::invokeMethod(this, [this] { if (DataSet()) followDataSet(DataSet()->CurrentRow()); },
                                  Qt::QueuedConnection);
    }
    viewport()->update();
}

int TRqDBGrid::firstEditableColumn() const
{
    for (int c = 0; c < m_columns.size(); ++c)
        if (!isColumnHidden(c) && CanEditColumn(c))
            return c;
    return -1;
}

bool TRqDBGrid::CommitEditor()
{
    if (state() != QAbstractItemView::EditingState)
        return true;
    QWidget *editor = indexWidget(currentIndex());
    if (!editor)
        return true;
    // The editor's text goes into its own row (the model moves the data set
    // there), before anything else moves; a refused value keeps the editor.
    m_lastCommitOk = true;
    commitData(editor);
    if (!m_lastCommitOk)
        return false;
    closeEditor(editor, QAbstractItemDelegate::NoHint);
    return true;
}

bool TRqDBGrid::isCellLeavingKey(const QKeyEvent *e)
{
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return mods == Qt::NoModifier;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return !(mods & (Qt::ControlModifier | Qt::AltModifier));
    default:
        return false;
    }
}

bool TRqDBGrid::isLastEditableCell(bool forward) const
{
    const QModelIndex cur = currentIndex();
    if (!m_model || !cur.isValid())
        return true;
    const int rows = m_model->rowCount();
    if (forward ? cur.row() < rows - 1 : cur.row() > 0)
        return false;
    const int step = forward ? 1 : -1;
    for (int c = cur.column() + step; c >= 0 && c < m_columns.size(); c += step)
        if (!isColumnHidden(c) && CanEditColumn(c))
            return false;
    return true;
}

void TRqDBGrid::leaveGrid(bool forward)
{
    CommitEditor();
    dropUntouchedRecord();
    QWidget::focusNextPrevChild(forward);
}

void TRqDBGrid::dropUntouchedRecord()
{
    data::ClientDataSet *ds = DataSet();
    if (ds && ds->Active() && ds->State() == data::DataSetState::Insert && !ds->Modified())
        ds->Cancel();
}

void TRqDBGrid::handleKey(QKeyEvent *e)
{
    if (!CommitEditor())
        return; // the refused text stays for the user to correct
    const int key = e->key();
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        const bool forward = key == Qt::Key_Tab && !(mods & Qt::ShiftModifier);
        if (isLastEditableCell(forward) || !(forward ? moveToNextEditable(false) : moveToPriorEditable()))
            leaveGrid(forward);
        return;
    }
    keyPressEvent(e);
}

bool TRqDBGrid::moveToPriorEditable()
{
    const QModelIndex cur = currentIndex();
    if (!m_model || !cur.isValid())
        return false;
    for (int row = cur.row(), c = cur.column() - 1; row >= 0; --row, c = int(m_columns.size()) - 1)
        for (; c >= 0; --c)
            if (!isColumnHidden(c) && CanEditColumn(c)) {
                setCurrentIndex(m_model->index(row, c));
                return true;
            }
    return false;
}

bool TRqDBGrid::moveToNextEditable(bool appendAtEnd)
{
    if (!m_model || m_model->rowCount() == 0)
        return false;
    const QModelIndex cur = currentIndex();
    int row = cur.isValid() ? cur.row() : 0;
    int col = cur.isValid() ? cur.column() : -1;
    for (int c = col + 1; c < m_columns.size(); ++c) {
        if (!isColumnHidden(c) && CanEditColumn(c)) {
            setCurrentIndex(m_model->index(row, c));
            return true;
        }
    }
    int first = -1;
    for (int c = 0; c < m_columns.size() && first < 0; ++c)
        if (!isColumnHidden(c) && CanEditColumn(c))
            first = c;
    if (first < 0)
        return false;
    if (row + 1 < m_model->rowCount()) {
        setCurrentIndex(m_model->index(row + 1, first));
        return true;
    }
    if (appendAtEnd && m_allowAppend && !m_readOnly) {
        if (!appendRecord())
            return false;
        SetSelectedColumn(first);
        return true;
    }
    return false;
}

bool TRqDBGrid::appendRecord()
{
    data::ClientDataSet *ds = DataSet();
    if (!ds || !ds->Active() || m_readOnly || !CommitEditor())
        return false;
    // An untouched new record is not followed by another one.
    if (ds->State() == data::DataSetState::Insert && !ds->Modified())
        return false;
    try {
        ds->Append();
    } catch (const std::exception &e) {
        ShowError(e);
        return false;
    }
    return true;
}

void TRqDBGrid::deleteRecord()
{
    data::ClientDataSet *ds = DataSet();
    if (!ds || !ds->Active() || ds->IsEmpty() || m_readOnly)
        return;
    CommitEditor();
    if (m_confirmDelete && ShowYesNoQuestion(m_deleteQuestion) != AnswerYes)
        return;
    try {
        ds->Delete();
    } catch (const std::exception &e) {
        ShowError(e);
    }
}

void TRqDBGrid::keyPressEvent(QKeyEvent *e)
{
    const int key = e->key();
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    const int col = SelectedColumn();
    const bool ellipsis = HasButton(col);
    if (key == Qt::Key_F && mods == Qt::ControlModifier) {
        ShowFindDialog();
        return;
    }
    if (isCellLeavingKey(e) && !CommitEditor())
        return;
    const QKeySequence pressed(e->keyCombination());
    const bool enterVariant = key == Qt::Key_Enter && m_editButtonKey == QKeySequence(mods | Qt::Key_Return);
    if (ellipsis && (pressed == m_editButtonKey || enterVariant)) {
        ClickEditButton(col);
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::NoModifier) {
        moveToNextEditable(true);
        return;
    }
    if (key == Qt::Key_Tab && mods == Qt::ControlModifier) {
        leaveGrid(true);
        return;
    }
    if (key == Qt::Key_Insert && mods == Qt::NoModifier && m_allowAppend) {
        appendRecord();
        return;
    }
    if (key == Qt::Key_Down && mods == Qt::NoModifier && m_allowAppend && m_model &&
        currentIndex().row() == m_model->rowCount() - 1) {
        appendRecord();
        return;
    }
    if (key == Qt::Key_Delete && mods == Qt::NoModifier && m_allowDelete) {
        deleteRecord();
        return;
    }
    QTableView::keyPressEvent(e);
}

bool TRqDBGrid::event(QEvent *e)
{
    if (e->type() == QEvent::ShortcutOverride) {
        // Ins is the grid's (append, or the cell's button) while it has the focus.
        auto *k = static_cast<QKeyEvent *>(e);
        const int col = SelectedColumn();
        const bool ellipsis = HasButton(col);
        if (k->key() == Qt::Key_Insert && (k->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
            !m_readOnly && (m_allowAppend || ellipsis)) {
            e->accept();
            return true;
        }
    }
    if (e->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(e);
        if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) &&
            !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            handleKey(k);
            return true;
        }
    }
    return QTableView::event(e);
}

void TRqDBGrid::focusInEvent(QFocusEvent *e)
{
    QTableView::focusInEvent(e);
    if (m_readOnly || !m_model)
        return;
    // Arriving by keyboard: an empty grid offers its first line, and the
    // cursor stands on an editable cell.
    if (m_model->rowCount() == 0 && m_allowAppend && e->reason() != Qt::PopupFocusReason &&
        e->reason() != Qt::ActiveWindowFocusReason)
        appendRecord();
    QModelIndex cur = currentIndex();
    if (m_model->rowCount() > 0 && (!cur.isValid() || !CanEditColumn(cur.column()))) {
        const int row = cur.isValid() ? cur.row() : std::max(0, DataSet() ? DataSet()->CurrentRow() : 0);
        for (int c = 0; c < m_columns.size(); ++c)
            if (!isColumnHidden(c) && CanEditColumn(c)) {
                setCurrentIndex(m_model->index(row, c));
                break;
            }
    }
}

void TRqDBGrid::focusOutEvent(QFocusEvent *e)
{
    QTableView::focusOutEvent(e);
    // Leaving the grid for another control drops a line nobody typed into.
    QWidget *to = QApplication::focusWidget();
    if (e->reason() != Qt::PopupFocusReason && to && to != this && !isAncestorOf(to) && to->window() == window())
        dropUntouchedRecord();
}

QRect TRqDBGrid::EllipsisRect(const QModelIndex &index) const
{
    const QRect r = visualRect(index);
    const int w = std::min(20, r.width() / 2);
    return QRect(r.right() - w + 1, r.top(), w, r.height());
}

void TRqDBGrid::mousePressEvent(QMouseEvent *e)
{
    const QModelIndex i = indexAt(e->position().toPoint());
    const bool onButton = i.isValid() && HasButton(i.column()) &&
                          i.row() == currentIndex().row() && EllipsisRect(i).contains(e->position().toPoint());
    if (onButton && e->button() == Qt::LeftButton) {
        if (i != currentIndex())
            setCurrentIndex(i);
        ClickEditButton(i.column());
        return;
    }
    QTableView::mousePressEvent(e);
}

void TRqDBGrid::ClickEditButton(int column)
{
    if (column < 0 || column >= m_columns.size())
        return;
    // The editor's text belongs to the record before a picker replaces it.
    CommitEditor();
    emit editButtonClicked(column);
    if (m_onEditButton)
        m_onEditButton(this, column);
}

// ------------------------------------------------------------------ footer

void TRqDBGrid::SetFooterVisible(bool on)
{
    m_footerVisible = on;
    m_footer->setVisible(on);
    if (!on) {
        const QMargins m = viewportMargins();
        setViewportMargins(m.left(), m.top(), m.right(), 0);
    }
    updateGeometries();
}

void TRqDBGrid::SetFooterCaption(int column, const QString &text)
{
    if (column < 0 || column >= m_columns.size())
        return;
    m_columns[column].FooterKind = GridColumn::Footer::Text;
    m_columns[column].FooterText = text;
    if (!m_footerVisible)
        SetFooterVisible(true);
    m_footer->update();
}

void TRqDBGrid::SetFooterSum(int column, const QString &format)
{
    if (column < 0 || column >= m_columns.size())
        return;
    m_columns[column].FooterKind = GridColumn::Footer::Sum;
    m_columns[column].FooterFormat = format;
    if (!m_footerVisible)
        SetFooterVisible(true);
    m_footer->update();
}

void TRqDBGrid::SetFooterFont(const QFont &font)
{
    m_footer->setFont(font);
    updateGeometries();
}

QFont TRqDBGrid::FooterFont() const { return m_footer->font(); }

double TRqDBGrid::sumOf(int column) const
{
    data::ClientDataSet *ds = DataSet();
    const data::Field *f = FieldOfColumn(column);
    if (!ds || !f)
        return 0;
    // Kept by the data set as lines change, so the footer costs the same at
    // ten lines and at ten thousand.
    return ds->Total(f->Index());
}

double TRqDBGrid::FooterValue(int column) const { return sumOf(column); }

QString TRqDBGrid::FooterText(int column) const
{
    if (column < 0 || column >= m_columns.size())
        return {};
    const GridColumn &c = m_columns[column];
    switch (c.FooterKind) {
    case GridColumn::Footer::Text:
        return c.FooterText;
    case GridColumn::Footer::Sum: {
        QString fmt = c.FooterFormat.isEmpty() ? c.DisplayFormat : c.FooterFormat;
        if (fmt.isEmpty())
            if (const data::Field *f = FieldOfColumn(column); f && f->DataType() == data::FieldType::Float)
                fmt = f->DisplayFormat();
        return formatNumber(fmt, sumOf(column));
    }
    default:
        return {};
    }
}

void TRqDBGrid::updateGeometries()
{
    if (m_inGeometry)
        return;
    m_inGeometry = true;
    const bool vbarShown = verticalScrollBar()->isVisible();
    QTableView::updateGeometries();
    if (m_footerVisible) {
        const int fh = static_cast<GridFooter *>(m_footer)->preferredHeight();
        const QMargins m = viewportMargins();
        setViewportMargins(m.left(), m.top(), m.right(), fh);
        // The base sized the vertical range for a viewport without the footer.
        if (verticalScrollMode() == QAbstractItemView::ScrollPerItem) {
            QHeaderView *vh = verticalHeader();
            const int count = vh->count();
            const int height = viewport()->height();
            int fit = 0;
            for (int h = 0, row = count - 1; row >= 0; --row) {
                const int logical = vh->logicalIndex(row);
                if (vh->isSectionHidden(logical))
                    continue;
                h += vh->sectionSize(logical);
                if (h > height)
                    break;
                ++fit;
            }
            fit = std::max(fit, 1);
            verticalScrollBar()->setRange(0, std::max(0, count - fit));
            verticalScrollBar()->setPageStep(fit);
        } else {
            verticalScrollBar()->setRange(0, std::max(0, verticalHeader()->length() - viewport()->height()));
        }
    }
    placeFooter();
    m_inGeometry = false;
    // A scroll bar that came or went changed the width the headers were laid out for.
    if (m_footerVisible && vbarShown != verticalScrollBar()->isVisible())
        QMetaObject::invokeMethod(this, [this] { updateGeometries(); }, Qt::QueuedConnection);
}

void TRqDBGrid::placeFooter()
{
    if (!m_footerVisible)
        return;
    const QRect vg = viewport()->geometry();
    const int fw = frameWidth();
    const int fh = static_cast<GridFooter *>(m_footer)->preferredHeight();
    m_footer->setGeometry(fw, vg.bottom() + 1, vg.right() + 1 - fw, fh);
    m_footer->raise();
    m_footer->update();
}

void TRqDBGrid::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    if (dx)
        m_footer->update();
}

// --------------------------------------------------------- column settings

QString TRqDBGrid::ColumnsState() const
{
    QStringList parts;
    for (const GridColumn &c : m_columns)
        parts << QStringLiteral("%1:%2:%3").arg(c.FieldName).arg(c.Visible ? 1 : 0).arg(std::max(c.Width, 0));
    return parts.join(u';');
}

void TRqDBGrid::ApplyColumnsState(const QString &state)
{
    QVector<GridColumn> ordered;
    QVector<GridColumn> rest = m_columns;
    for (const QString &part : state.split(u';', Qt::SkipEmptyParts)) {
        const QStringList p = part.split(u':');
        for (int i = 0; i < rest.size(); ++i) {
            if (rest[i].FieldName.compare(p.value(0), Qt::CaseInsensitive) != 0)
                continue;
            GridColumn c = rest.takeAt(i);
            if (p.size() > 1)
                c.Visible = p[1] != QLatin1String("0");
            if (p.size() > 2 && p[2].toInt() > 0)
                c.Width = p[2].toInt();
            ordered << c;
            break;
        }
    }
    // Columns the saved state does not know keep their place at the end.
    ordered += rest;
    m_userColumns = true;
    m_columns = ordered;
    ColumnsChanged();
}

QString TRqDBGrid::SettingsSection() const
{
    if (!m_settingsSection.isEmpty())
        return m_settingsSection;
    const QString form = window() && window() != this ? window()->objectName() : QString();
    return QStringLiteral("GRID_%1_%2").arg(form, objectName());
}

void TRqDBGrid::SaveColumnSettings()
{
    QString state = ColumnsState();
    if (m_settingsHook) {
        m_settingsHook(this, state, true);
        return;
    }
    try {
        WriteIni(QStringLiteral("System.ini"), SettingsSection(), QStringLiteral("COLUMNS"), state);
    } catch (const std::exception &e) {
        ShowError(e);
    }
}

bool TRqDBGrid::LoadColumnSettings()
{
    QString state;
    if (m_settingsHook)
        m_settingsHook(this, state, false);
    else
        state = ReadIni(QStringLiteral("System.ini"), SettingsSection(), QStringLiteral("COLUMNS"));
    if (state.isEmpty())
        return false;
    ApplyColumnsState(state);
    return true;
}

bool TRqDBGrid::ShowColumnSettings()
{
    ColumnSettingsDialog dialog(this, window());
    if (ShowModal(&dialog) != QDialog::Accepted)
        return false;
    ApplyColumnsState(dialog.State());
    SaveColumnSettings();
    return true;
}

ColumnSettingsDialog::ColumnSettingsDialog(TRqDBGrid *grid, QWidget *parent)
    : QDialog(parent), m_grid(grid), m_list(new QListWidget(this))
{
    setObjectName(QStringLiteral("ColumnSettingsForm"));
    setWindowTitle(QStringLiteral("设置列"));
    m_list->setObjectName(QStringLiteral("ColumnList"));
    for (int i = 0; i < grid->ColumnCount(); ++i) {
        auto *item = new QListWidgetItem(grid->ColumnTitle(i), m_list);
        item->setData(Qt::UserRole, grid->Column(i).FieldName);
        item->setData(Qt::UserRole + 1, grid->Column(i).Width);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(grid->Column(i).Visible ? Qt::Checked : Qt::Unchecked);
    }
    if (m_list->count())
        m_list->setCurrentRow(0);
    auto button = [this](const QString &text, const QString &name) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(name);
        return b;
    };
    QPushButton *up = button(QStringLiteral("上移"), QStringLiteral("btnUp"));
    QPushButton *down = button(QStringLiteral("下移"), QStringLiteral("btnDown"));
    QPushButton *ok = button(QStringLiteral("确定"), QStringLiteral("OkBtn"));
    QPushButton *cancel = button(QStringLiteral("取消"), QStringLiteral("CancelBtn"));
    ok->setDefault(true);
    connect(up, &QPushButton::clicked, this, [this] { MoveCurrent(-1); });
    connect(down, &QPushButton::clicked, this, [this] { MoveCurrent(1); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto *side = new QVBoxLayout;
    for (QPushButton *b : {up, down})
        side->addWidget(b);
    side->addStretch();
    for (QPushButton *b : {ok, cancel})
        side->addWidget(b);
    auto *lay = new QHBoxLayout(this);
    lay->addWidget(m_list, 1);
    lay->addLayout(side);
    resize(320, 360);
}

void ColumnSettingsDialog::MoveCurrent(int delta)
{
    const int row = m_list->currentRow();
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= m_list->count())
        return;
    QListWidgetItem *item = m_list->takeItem(row);
    m_list->insertItem(to, item);
    m_list->setCurrentRow(to);
}

QString ColumnSettingsDialog::State() const
{
    QStringList parts;
    for (int i = 0; i < m_list->count(); ++i) {
        const QListWidgetItem *it = m_list->item(i);
        parts << QStringLiteral("%1:%2:%3")
                     .arg(it->data(Qt::UserRole).toString())
                     .arg(it->checkState() == Qt::Checked ? 1 : 0)
                     .arg(std::max(it->data(Qt::UserRole + 1).toInt(), 0));
    }
    return parts.join(u';');
}

// ------------------------------------------------------------------- find

bool TRqDBGrid::FindNext(const QString &text, int column, bool caseSensitive)
{
    data::ClientDataSet *ds = DataSet();
    if (!m_model || !ds || !ds->Active() || text.isEmpty() || ds->IsEmpty())
        return false;
    const int n = m_model->rowCount();
    const int start = std::max(0, ds->CurrentRow()) + 1;
    const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (int i = 0; i < n; ++i) {
        const int r = (start + i) % n;
        for (int c = 0; c < m_columns.size(); ++c) {
            if ((column >= 0 && c != column) || (column < 0 && isColumnHidden(c)))
                continue;
            if (!m_model->data(m_model->index(r, c), Qt::DisplayRole).toString().contains(text, cs))
                continue;
            try {
                ds->MoveTo(r);
            } catch (const std::exception &e) {
                ShowError(e);
                return false;
            }
            setCurrentIndex(m_model->index(r, c));
            return true;
        }
    }
    return false;
}

QDialog *TRqDBGrid::ShowFindDialog(const QString &title)
{
    if (!m_findDialog)
        m_findDialog = new FindDialog(this, title);
    m_findDialog->setWindowTitle(title);
    if (auto *fd = qobject_cast<FindDialog *>(m_findDialog.data())) {
        // Start in the column the user is on.
        const int col = SelectedColumn();
        const int at = fd->ColumnBox()->findData(col);
        fd->ColumnBox()->setCurrentIndex(at >= 0 ? at : 0);
    }
    m_findDialog->show();
    m_findDialog->raise();
    m_findDialog->activateWindow();
    return m_findDialog;
}

FindDialog::FindDialog(TRqDBGrid *grid, const QString &title)
    : QDialog(grid->window()), m_grid(grid), m_text(new QLineEdit(this)), m_column(new QComboBox(this)),
      m_case(new QCheckBox(QStringLiteral("区分大小写"), this))
{
    setObjectName(QStringLiteral("FindDialog"));
    setWindowTitle(title);
    m_text->setObjectName(QStringLiteral("edFindText"));
    m_column->setObjectName(QStringLiteral("cmbFindColumn"));
    m_case->setObjectName(QStringLiteral("cbCaseSensitive"));
    m_column->addItem(QStringLiteral("全部列"), -1);
    for (int c = 0; c < grid->ColumnCount(); ++c)
        if (!grid->isColumnHidden(c))
            m_column->addItem(grid->ColumnTitle(c), c);
    auto *next = new QPushButton(QStringLiteral("查找下一个"), this);
    next->setObjectName(QStringLiteral("btnFindNext"));
    next->setDefault(true);
    auto *close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("btnClose"));
    connect(next, &QPushButton::clicked, this, &FindDialog::FindNext);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("查找内容:"), m_text);
    form->addRow(QStringLiteral("查找列:"), m_column);
    form->addRow(QString(), m_case);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(next);
    buttons->addWidget(close);
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(form);
    lay->addLayout(buttons);
}

bool FindDialog::FindNext()
{
    const QString text = m_text->text();
    if (text.isEmpty())
        return false;
    if (m_grid->FindNext(text, m_column->currentData().toInt(), m_case->isChecked()))
        return true;
    ShowInformation(QStringLiteral("找不到\"%1\"。").arg(text));
    return false;
}

} // namespace widgets
