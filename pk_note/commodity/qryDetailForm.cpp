#include "qryDetailForm.h"

#include "Pub.h"

#include <QBrush>
#include <QColor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>

using commodity::ColorSizeKey;

namespace {

QColor rgb(const QVariant &v)
{
    const qint64 c = v.toLongLong();
    return QColor(int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF));
}

// Cell editors take numbers only.
class QuantityDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        auto *edit = new QLineEdit(parent);
        edit->setValidator(commodity::NewNumberValidator(edit));
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return edit;
    }
};

QString num(qint64 v) { return QString::number(v); }

} // namespace

TqryDetailForm::TqryDetailForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("qryDetailForm"));
    setWindowTitle(QStringLiteral("颜色\\尺码组"));

    DetailGrid = new QTableWidget(this);
    DetailGrid->setObjectName(QStringLiteral("DetailGrid"));
    DetailGrid->setItemDelegate(new QuantityDelegate(DetailGrid));
    DetailGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    DetailGrid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                | QAbstractItemView::AnyKeyPressed);
    DetailGrid->horizontalHeader()->setDefaultSectionSize(64);
    DetailGrid->installEventFilter(this);

    lbTotal = new QLabel(this);
    lbTotal->setObjectName(QStringLiteral("lbTotal"));
    OkBtn = new QPushButton(QStringLiteral("确定"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    CancelBtn = new QPushButton(QStringLiteral("取消"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(lbTotal);
    bottom->addStretch();
    bottom->addWidget(OkBtn);
    bottom->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(DetailGrid, 1);
    layout->addLayout(bottom);

    connect(OkBtn, &QPushButton::clicked, this, &TqryDetailForm::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TqryDetailForm::CancelBtnClick);
    connect(DetailGrid, &QTableWidget::cellChanged, this, &TqryDetailForm::cellChanged);
}

void TqryDetailForm::Open(const ColorSizeKey &source, const ColorSizeKey &target, bool editable)
{
    m_target = target;
    readAxes(target.commodityId);
    readCells(source);
    // Nothing to write without a table, or without a cell to type into.
    m_editable = editable && (target.openingStock || !target.table.isEmpty()) && !m_colors.isEmpty()
                 && !m_sizes.isEmpty();
    buildGrid();
    DetailGrid->setFocus();
    if (!m_colors.isEmpty() && !m_sizes.isEmpty())
        DetailGrid->setCurrentCell(0, 0);
}

void TqryDetailForm::readAxes(qint64 commodityId)
{
    m_colors.clear();
    m_sizes.clear();
    AutoQuery qryColor = CreateAutoQuery(
        QStringLiteral("select c.ColorID, c.NAME, c.ColorValue, c.FontColor from commoditycolor g "
                       "join Color c on g.ColorID = c.ColorID where g.CommodityID = ")
        + num(commodityId) + QStringLiteral(" order by c.CODE, c.ColorID"));
    for (qryColor->First(); !qryColor->Eof(); qryColor->Next())
        m_colors.push_back({qryColor->FieldByName(QStringLiteral("ColorID")).AsLargeInt(),
                            qryColor->FieldByName(QStringLiteral("NAME")).AsString(),
                            qryColor->FieldByName(QStringLiteral("ColorValue")).Value(),
                            qryColor->FieldByName(QStringLiteral("FontColor")).Value()});
    AutoQuery qrySize = CreateAutoQuery(
        QStringLiteral("select s.SizeID, s.NAME from CommoditySize g join Size s on g.SizeID = s.SizeID "
                       "where g.CommodityID = ")
        + num(commodityId) + QStringLiteral(" order by s.SORTNO, s.SizeID"));
    for (qrySize->First(); !qrySize->Eof(); qrySize->Next())
        m_sizes.push_back({qrySize->FieldByName(QStringLiteral("SizeID")).AsLargeInt(),
                           qrySize->FieldByName(QStringLiteral("NAME")).AsString(), {}, {}});
    m_cells.fill(QVector<double>(m_sizes.size(), 0.0), m_colors.size());
}

void TqryDetailForm::readCells(const ColorSizeKey &source)
{
    AutoQuery rows = CreateAutoQuery(QString(), false);
    if (source.openingStock) {
        rows->SetSql(QStringLiteral("select * from CommodityDetail where BuildingID = :BuildingID and "
                                    "CommodityID = :CommodityID order by ColorID"));
        rows->Parameters().insert(QStringLiteral("BuildingID"), source.storeId);
    } else if (!source.table.isEmpty()) {
        rows->SetSql(QStringLiteral("Select * from ") + source.table
                     + QStringLiteral(" where noteType = :noteType and noteID = :noteID and ")
                     + QStringLiteral("noteKind =:noteKind and Item = :itemsno and CommodityID =:CommodityID  order by ColorID"));
        rows->Parameters().insert(QStringLiteral("noteType"), source.noteType);
        rows->Parameters().insert(QStringLiteral("noteID"), source.noteId);
        rows->Parameters().insert(QStringLiteral("noteKind"), source.noteKind);
        rows->Parameters().insert(QStringLiteral("itemsno"), source.item);
    } else {
        return;
    }
    rows->Parameters().insert(QStringLiteral("CommodityID"), source.commodityId);
    rows->Open();
    for (rows->First(); !rows->Eof(); rows->Next()) {
        const qint64 color = rows->FieldByName(QStringLiteral("ColorID")).AsLargeInt();
        const qint64 size = rows->FieldByName(QStringLiteral("SizeID")).AsLargeInt();
        int r = -1, c = -1;
        for (int i = 0; i < m_colors.size(); ++i)
            if (m_colors[i].id == color)
                r = i;
        for (int i = 0; i < m_sizes.size(); ++i)
            if (m_sizes[i].id == size)
                c = i;
        // A colour or size the commodity no longer has cannot be shown.
        if (r >= 0 && c >= 0)
            m_cells[r][c] += rows->FieldByName(QStringLiteral("Quantity")).AsFloat();
    }
}

void TqryDetailForm::buildGrid()
{
    const QSignalBlocker quiet(DetailGrid);
    m_filling = true;
    const int rows = int(m_colors.size()), cols = int(m_sizes.size());
    DetailGrid->clear();
    DetailGrid->setRowCount(rows + 1);
    DetailGrid->setColumnCount(cols + 1);
    QStringList sizeNames, colorNames;
    for (const Axis &s : std::as_const(m_sizes))
        sizeNames << s.name;
    for (const Axis &c : std::as_const(m_colors))
        colorNames << c.name;
    DetailGrid->setHorizontalHeaderLabels(sizeNames << QStringLiteral("合计"));
    DetailGrid->setVerticalHeaderLabels(colorNames << QStringLiteral("合计"));
    QFont bold = DetailGrid->font();
    bold.setBold(true);
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= cols; ++c) {
            auto *item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            const bool total = r == rows || c == cols;
            Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
            if (!total && m_editable)
                flags |= Qt::ItemIsEditable;
            item->setFlags(flags);
            if (total) {
                item->setFont(bold);
            } else {
                const Axis &color = m_colors[r];
                if (!color.background.isNull())
                    item->setBackground(rgb(color.background));
                if (!color.foreground.isNull())
                    item->setForeground(rgb(color.foreground));
                item->setText(commodity::NumberText(m_cells[r][c], QuantityDecimals()));
            }
            DetailGrid->setItem(r, c, item);
        }
    m_filling = false;
    updateTotals();
    DetailGrid->resizeColumnsToContents();
    for (int c = 0; c <= cols; ++c)
        DetailGrid->setColumnWidth(c, std::max(DetailGrid->columnWidth(c), 64));
    // Large enough for the whole matrix, within reason.
    const int w = DetailGrid->verticalHeader()->sizeHint().width() + DetailGrid->horizontalHeader()->length() + 40;
    const int h = DetailGrid->horizontalHeader()->height() + DetailGrid->verticalHeader()->length() + 90;
    resize(std::clamp(w, 360, 1000), std::clamp(h, 200, 640));
}

double TqryDetailForm::Cell(int color, int size) const { return m_cells.value(color).value(size); }

double TqryDetailForm::Total() const
{
    double sum = 0;
    for (const auto &row : m_cells)
        for (double v : row)
            sum += v;
    return FormatQuantity(sum);
}

void TqryDetailForm::cellChanged(int row, int column)
{
    if (m_filling || row >= m_colors.size() || column >= m_sizes.size())
        return;
    QTableWidgetItem *item = DetailGrid->item(row, column);
    bool ok = false;
    const double v = item->text().trimmed().toDouble(&ok);
    m_cells[row][column] = ok ? FormatQuantity(v) : 0.0;
    m_filling = true;
    item->setText(commodity::NumberText(m_cells[row][column], QuantityDecimals()));
    m_filling = false;
    updateTotals();
}

void TqryDetailForm::updateTotals()
{
    const int rows = int(m_colors.size()), cols = int(m_sizes.size());
    const bool was = m_filling;
    m_filling = true;
    const int d = QuantityDecimals();
    for (int r = 0; r < rows; ++r) {
        double sum = 0;
        for (int c = 0; c < cols; ++c)
            sum += m_cells[r][c];
        DetailGrid->item(r, cols)->setText(commodity::NumberText(FormatQuantity(sum), d));
    }
    for (int c = 0; c < cols; ++c) {
        double sum = 0;
        for (int r = 0; r < rows; ++r)
            sum += m_cells[r][c];
        DetailGrid->item(rows, c)->setText(commodity::NumberText(FormatQuantity(sum), d));
    }
    DetailGrid->item(rows, cols)->setText(commodity::NumberText(Total(), d));
    lbTotal->setText(QStringLiteral("合计数量: ") + commodity::NumberText(Total(), d));
    m_filling = was;
}

QString TqryDetailForm::cellStatement(int color, int size) const
{
    const ColorSizeKey &k = m_target;
    const QString q = QString::number(FormatQuantity(m_cells[color][size]), 'f', QuantityDecimals());
    const QString colorId = num(m_colors[color].id), sizeId = num(m_sizes[size].id);
    if (k.openingStock) {
        const QString where = QStringLiteral("  where BuildingID = ") + num(k.storeId) + QStringLiteral(" and CommodityID =")
                              + num(k.commodityId) + QStringLiteral(" and ColorID =  ") + colorId
                              + QStringLiteral(" and SizeID = ") + sizeId;
        return QStringLiteral("if Exists(Select 1 from CommodityDetail") + where
               + QStringLiteral(") begin Update CommodityDetail set Quantity = ") + q + QStringLiteral(", StartQty = ") + q
               + where
               + QStringLiteral(" end else begin insert into CommodityDetail(BuildingID,CommodityID,ColorID,SizeID,Quantity,StartQty) values (")
               + num(k.storeId) + u',' + num(k.commodityId) + u',' + colorId + u',' + sizeId + u',' + q + u',' + q
               + QStringLiteral(") end");
    }
    const QString where = QStringLiteral("  where noteID = ") + num(k.noteId) + QStringLiteral(" and noteType = ")
                          + num(k.noteType) + QStringLiteral(" and noteKind = ") + num(k.noteKind)
                          + QStringLiteral(" and Item = ") + num(k.item) + QStringLiteral(" and BuildingID = ")
                          + num(k.storeId) + QStringLiteral(" and CommodityID =") + num(k.commodityId)
                          + QStringLiteral(" and ColorID =  ") + colorId + QStringLiteral(" and SizeID = ") + sizeId;
    return QStringLiteral("if Exists(Select 1 from ") + k.table + where + QStringLiteral(") begin Update ") + k.table
           + QStringLiteral(" set Quantity = ") + q + where + QStringLiteral(" end else begin insert into ") + k.table
           + QStringLiteral("(noteID,noteType,noteKind,Item,BuildingID,CommodityID,ColorID,SizeID,Quantity) values (")
           + num(k.noteId) + u',' + num(k.noteType) + u',' + num(k.noteKind) + u',' + num(k.item) + u','
           + num(k.storeId) + u',' + num(k.commodityId) + u',' + colorId + u',' + sizeId + u',' + q
           + QStringLiteral(") end");
}

void TqryDetailForm::Save()
{
    if (!m_editable)
        return;
    // All cells or none: a failure half-way leaves the stored breakdown as it was.
    std::unique_ptr<TransactionGuard> tran;
    if (!InTransaction())
        tran = std::make_unique<TransactionGuard>();
    for (int r = 0; r < m_colors.size(); ++r)
        for (int c = 0; c < m_sizes.size(); ++c)
            SqlExecute(cellStatement(r, c));
    if (tran)
        tran->Commit();
}

void TqryDetailForm::OkBtnClick()
{
    finishEditing();
    if (m_editable) {
        try {
            Save();
        } catch (const std::exception &e) {
            ShowError(e);
            return;
        }
    }
    accept();
}

void TqryDetailForm::CancelBtnClick() { reject(); }

QLineEdit *TqryDetailForm::openEditor() const
{
    for (QLineEdit *editor : DetailGrid->viewport()->findChildren<QLineEdit *>())
        if (editor->isVisible())
            return editor;
    return nullptr;
}

void TqryDetailForm::finishEditing()
{
    // A click on OK does not always take the focus from the cell being typed in.
    if (QLineEdit *editor = openEditor()) {
        emit DetailGrid->itemDelegate()->commitData(editor);
        emit DetailGrid->itemDelegate()->closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void TqryDetailForm::moveNext()
{
    // Row by row; after the last cell the focus goes to OK.
    const int rows = int(m_colors.size()), cols = int(m_sizes.size());
    const QModelIndex cur = DetailGrid->currentIndex();
    int r = cur.isValid() ? cur.row() : 0, c = cur.isValid() ? cur.column() + 1 : 0;
    if (c >= cols) {
        c = 0;
        ++r;
    }
    if (r >= rows || cols == 0)
        OkBtn->setFocus();
    else
        DetailGrid->setCurrentCell(r, c);
}

bool TqryDetailForm::eventFilter(QObject *watched, QEvent *event)
{
    // Enter keeps what was typed in the cell and moves on (it reaches the
    // grid from the cell editor too).
    if (watched == DetailGrid && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (openEditor()) // the editor closes with its value just after this key
                QMetaObject::invokeMethod(this, &TqryDetailForm::moveNext, Qt::QueuedConnection);
            else
                moveNext();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
