#pragma once
// Ties one control to one field of a data source: finds the field by name each
// time (fields are recreated when a data set reopens), tells the control when
// its value or the data set's state changed, and writes values the way a
// data-aware control does (edit first when AutoEdit allows).

#include "data/DataSource.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

namespace widgets {

class FieldDataLink : public QObject {
    Q_OBJECT
public:
    explicit FieldDataLink(QObject *parent = nullptr);

    data::DataSource *DataSource() const { return m_source; }
    void SetDataSource(data::DataSource *source);
    const QString &DataField() const { return m_fieldName; }
    void SetDataField(const QString &name);

    data::ClientDataSet *DataSet() const;
    // The bound field of an active data set, else null.
    data::Field *Field() const;
    bool Active() const;
    // True when a write would be accepted right now (before any edit call).
    bool CanModify() const;
    // Writes through the data source. Errors are shown with ShowError and the
    // control is told to show the field again; returns whether it was written.
    bool Write(const QVariant &value);

signals:
    // The field's value may have changed (also on scroll, open and close).
    void valueChanged();
    void stateChanged();

private:
    QPointer<data::DataSource> m_source;
    QString m_fieldName;
};

} // namespace widgets
