#pragma once
// Field rules of a kind: a table from field name to handler. The table is
// resolved once each time its data set opens, so a changed field finds its
// rules by its index instead of by building and comparing names.

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace data {
class ClientDataSet;
class Field;
} // namespace data

namespace basenote {

class FieldRules {
public:
    using Rule = std::function<void(data::Field &)>;

    // Rules of one field run in the order they were added (base first).
    void Add(const QString &fieldName, Rule rule);
    void Resolve(const data::ClientDataSet &dataSet);
    // Runs the field's rules; false when it has none.
    bool Run(data::Field &field) const;
    // The field's name in upper case, as resolved (empty before Resolve).
    const QString &UpperName(const data::Field &field) const;
    bool Has(const QString &fieldName) const { return m_byName.contains(fieldName.toUpper()); }

private:
    QHash<QString, QVector<Rule>> m_byName; // upper-cased name
    QVector<const QVector<Rule> *> m_byIndex;
    QStringList m_upperNames;
    const data::ClientDataSet *m_resolved = nullptr;
};

} // namespace basenote
