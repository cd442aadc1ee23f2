#include "data/DataSource.h"

namespace data {

DataSource::DataSource(ClientDataSet *dataSet, QObject *parent) : QObject(parent) { SetDataSet(dataSet); }

void DataSource::SetDataSet(ClientDataSet *dataSet)
{
    if (m_dataSet == dataSet)
        return;
    if (m_dataSet)
        disconnect(m_dataSet, nullptr, this, nullptr);
    m_dataSet = dataSet;
    if (dataSet) {
        connect(dataSet, &ClientDataSet::fieldChanged, this, [this](Field *f) {
            if (m_enabled)
                emit dataChanged(f);
        });
        auto whole = [this] {
            if (m_enabled)
                emit dataChanged(nullptr);
        };
        connect(dataSet, &ClientDataSet::recordChanged, this, whole);
        connect(dataSet, &ClientDataSet::rowInserted, this, whole);
        connect(dataSet, &ClientDataSet::rowRemoved, this, whole);
        connect(dataSet, &ClientDataSet::dataSetChanged, this, whole);
        connect(dataSet, &ClientDataSet::stateChanged, this, [this] {
            if (m_enabled)
                emit stateChanged();
        });
        connect(dataSet, &ClientDataSet::scrolled, this, [this] {
            if (m_enabled) {
                emit scrolled();
                emit dataChanged(nullptr);
            }
        });
    }
    relayAll();
}

void DataSource::SetEnabled(bool on)
{
    if (m_enabled == on)
        return;
    m_enabled = on;
    relayAll();
}

void DataSource::relayAll()
{
    if (!m_enabled)
        return;
    emit stateChanged();
    emit dataChanged(nullptr);
}

DataSetState DataSource::State() const
{
    return m_dataSet && m_enabled ? m_dataSet->State() : DataSetState::Inactive;
}

bool DataSource::Edit()
{
    if (!m_dataSet || !m_enabled || !m_dataSet->Active())
        return false;
    const DataSetState s = m_dataSet->State();
    if (s == DataSetState::Edit || s == DataSetState::Insert)
        return true;
    if (!m_autoEdit)
        return false;
    m_dataSet->Edit();
    return m_dataSet->State() == DataSetState::Edit || m_dataSet->State() == DataSetState::Insert;
}

void DataSource::SetFieldValue(Field *field, const QVariant &value)
{
    if (!Edit())
        throw DataSetError(QStringLiteral("数据集不在编辑或插入状态，不能修改字段 '%1'").arg(field->DisplayLabel()));
    field->SetValue(value);
}

} // namespace data
