#pragma once
// Links a data set to data-aware controls: relays its notifications (unless
// disabled) and lets a control put the data set into edit before it writes.

#include "data/ClientDataSet.h"

#include <QObject>
#include <QPointer>

namespace data {

class DataSource : public QObject {
    Q_OBJECT
public:
    explicit DataSource(ClientDataSet *dataSet = nullptr, QObject *parent = nullptr);

    ClientDataSet *DataSet() const { return m_dataSet; }
    void SetDataSet(ClientDataSet *dataSet);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool on);
    bool AutoEdit() const { return m_autoEdit; }
    void SetAutoEdit(bool on) { m_autoEdit = on; }
    // The data set's state; Inactive without a data set or while disabled.
    DataSetState State() const;

    // For a control about to write: true when the data set is (now) in edit or insert.
    bool Edit();
    // Writes a value as a control does: edit first when AutoEdit allows, then set.
    void SetFieldValue(Field *field, const QVariant &value);

signals:
    void dataChanged(data::Field *field); // null: the whole record or data set
    void stateChanged();
    void scrolled();

private:
    void relayAll();

    QPointer<ClientDataSet> m_dataSet;
    bool m_enabled = true;
    bool m_autoEdit = true;
};

} // namespace data
