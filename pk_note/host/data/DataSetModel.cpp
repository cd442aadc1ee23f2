#include "data/DataSetModel.h"

#include "db/Database.h"

namespace data {

DataSetModel::DataSetModel(ClientDataSet *dataSet, QObject *parent) : QAbstractTableModel(parent), m_dataSet(dataSet)
{
    connect(dataSet, &ClientDataSet::dataSetChanged, this, &DataSetModel::reset);
    connect(dataSet, &ClientDataSet::fieldChanged, this, [this](Field *f) {
        const int col = ColumnOfField(f);
        const int row = m_dataSet->CurrentRow();
        if (col >= 0 && row >= 0 && row < m_rows)
            emit dataChanged(index(row, col), index(row, col));
    });
    connect(dataSet, &ClientDataSet::recordChanged, this, [this](int row) {
        if (row >= 0 && row < m_rows && !m_columns.isEmpty())
            emit dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
        followCursor();
    });
    connect(dataSet, &ClientDataSet::rowInserted, this, [this](int row) {
        beginInsertRows(QModelIndex(), row, row);
        m_rows = m_dataSet->RecordCount();
        endInsertRows();
        followCursor();
    });
    connect(dataSet, &ClientDataSet::rowRemoved, this, [this](int row) {
        if (row >= m_rows) {
            reset();
            return;
        }
        beginRemoveRows(QModelIndex(), row, row);
        m_rows = m_dataSet->RecordCount();
        endRemoveRows();
        followCursor();
    });
    connect(dataSet, &ClientDataSet::scrolled, this, &DataSetModel::followCursor);
    reset();
}

void DataSetModel::rebuildColumns()
{
    m_columns.clear();
    m_columnOfField.fill(-1, m_dataSet ? m_dataSet->FieldCount() : 0);
    if (!m_dataSet)
        return;
    for (int i = 0; i < m_dataSet->FieldCount(); ++i) {
        Field *f = m_dataSet->FieldAt(i);
        if (f->Visible()) {
            m_columnOfField[i] = int(m_columns.size());
            m_columns << f;
        }
    }
}

void DataSetModel::reset()
{
    beginResetModel();
    rebuildColumns();
    m_rows = m_dataSet && m_dataSet->Active() ? m_dataSet->RecordCount() : 0;
    endResetModel();
    followCursor();
}

void DataSetModel::followCursor()
{
    const int row = m_dataSet && m_dataSet->Active() ? m_dataSet->CurrentRow() : -1;
    if (row != m_current) {
        m_current = row;
        emit currentRowChanged(row);
    }
}

Field *DataSetModel::FieldAtColumn(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns[column] : nullptr;
}

int DataSetModel::ColumnOfField(const Field *field) const
{
    if (!field || field->Index() < 0 || field->Index() >= m_columnOfField.size())
        return -1;
    return m_columns.value(m_columnOfField[field->Index()]) == field ? m_columnOfField[field->Index()] : -1;
}

int DataSetModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_rows; }

int DataSetModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_columns.size()); }

QVariant DataSetModel::data(const QModelIndex &index, int role) const
{
    if (!m_dataSet || !index.isValid() || index.row() >= m_rows || index.row() >= m_dataSet->RecordCount() ||
        index.column() >= m_columns.size())
        return QVariant();
    const Field *f = m_columns[index.column()];
    switch (role) {
    case Qt::DisplayRole:
        return f->FormatValue(m_dataSet->ValueAt(index.row(), f->Index()));
    case Qt::EditRole:
        return m_dataSet->ValueAt(index.row(), f->Index());
    case Qt::TextAlignmentRole:
        if (f->DataType() == FieldType::Integer || f->DataType() == FieldType::Float)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_columns.size())
        return m_columns[section]->DisplayLabel();
    if (orientation == Qt::Vertical && role == Qt::DisplayRole)
        return section + 1;
    return QVariant();
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || index.column() >= m_columns.size())
        return Qt::NoItemFlags;
    Qt::ItemFlags fl = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const Field *f = m_columns[index.column()];
    if (!f->ReadOnly() && !f->Calculated())
        fl |= Qt::ItemIsEditable;
    return fl;
}

bool DataSetModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !m_dataSet || !index.isValid() || index.column() >= m_columns.size())
        return false;
    Field *f = m_columns[index.column()];
    if (f->ReadOnly() || f->Calculated())
        return false;
    // Exceptions must not cross Qt's event loop: report and refuse instead.
    try {
        if (index.row() != m_dataSet->CurrentRow())
            m_dataSet->MoveTo(index.row());
        m_dataSet->Edit();
        f->SetValue(value);
        m_lastError.clear();
        return true;
    } catch (const DataSetError &e) {
        m_lastError = e.text();
    } catch (const db::DbError &e) {
        m_lastError = e.text();
    } catch (const std::exception &e) {
        m_lastError = QString::fromUtf8(e.what());
    }
    emit editRefused(m_lastError);
    return false;
}

} // namespace data
