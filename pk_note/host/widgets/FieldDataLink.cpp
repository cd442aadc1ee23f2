#include "widgets/FieldDataLink.h"

#include "Messages.h"

namespace widgets {

FieldDataLink::FieldDataLink(QObject *parent) : QObject(parent) {}

void FieldDataLink::SetDataSource(data::DataSource *source)
{
    if (m_source == source)
        return;
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        connect(source, &data::DataSource::dataChanged, this, [this](data::Field *f) {
            if (!f || f->FieldName().compare(m_fieldName, Qt::CaseInsensitive) == 0)
                emit valueChanged();
        });
        connect(source, &data::DataSource::stateChanged, this, [this] {
            emit stateChanged();
            emit valueChanged();
        });
        connect(source, &QObject::destroyed, this, [this] {
            emit stateChanged();
            emit valueChanged();
        });
    }
    emit stateChanged();
    emit valueChanged();
}

void FieldDataLink::SetDataField(const QString &name)
{
    m_fieldName = name;
    emit stateChanged();
    emit valueChanged();
}

data::ClientDataSet *FieldDataLink::DataSet() const { return m_source ? m_source->DataSet() : nullptr; }

bool FieldDataLink::Active() const
{
    return m_source && m_source->State() != data::DataSetState::Inactive;
}

data::Field *FieldDataLink::Field() const
{
    if (!Active() || m_fieldName.isEmpty())
        return nullptr;
    return DataSet()->FindField(m_fieldName);
}

bool FieldDataLink::CanModify() const
{
    data::Field *f = Field();
    if (!f || f->ReadOnly() || f->Calculated())
        return false;
    const data::DataSetState s = m_source->State();
    if (s == data::DataSetState::Edit || s == data::DataSetState::Insert)
        return true;
    // Browsing an empty data set: an edit would have no record to change.
    return m_source->AutoEdit() && !DataSet()->IsEmpty();
}

bool FieldDataLink::Write(const QVariant &value)
{
    data::Field *f = Field();
    if (!f || !CanModify()) {
        emit valueChanged();
        return false;
    }
    // Exceptions must not cross Qt's event loop: show them instead.
    try {
        m_source->SetFieldValue(f, value);
        return true;
    } catch (const std::exception &e) {
        ShowError(e);
    }
    emit valueChanged();
    return false;
}

} // namespace widgets
