#pragma once
// A table model over a client data set for grids: one column per visible field,
// cells formatted by the field's display format, edits written through the data
// set (move to the row, edit, set the value), current row following the cursor.

#include "data/ClientDataSet.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QVector>

namespace data {

class DataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DataSetModel(ClientDataSet *dataSet, QObject *parent = nullptr);

    ClientDataSet *DataSet() const { return m_dataSet; }
    Field *FieldAtColumn(int column) const;
    int ColumnOfField(const Field *field) const;
    int CurrentRow() const { return m_current; }
    // Text of the last edit the data set refused (setData returned false).
    QString LastError() const { return m_lastError; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

signals:
    void currentRowChanged(int row);
    void editRefused(const QString &text);

private:
    void reset();
    void rebuildColumns();
    void followCursor();

    QPointer<ClientDataSet> m_dataSet;
    QVector<Field *> m_columns;
    QVector<int> m_columnOfField; // field index -> column, -1 when hidden
    int m_rows = 0;
    int m_current = -1;
    QString m_lastError;
};

} // namespace data
