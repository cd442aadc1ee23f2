#include "FieldRules.h"

#include "data/ClientDataSet.h"

namespace basenote {

void FieldRules::Add(const QString &fieldName, Rule rule)
{
    m_byName[fieldName.toUpper()].append(std::move(rule));
    // The index points into the table, which may have moved.
    if (m_resolved)
        Resolve(*m_resolved);
}

void FieldRules::Resolve(const data::ClientDataSet &dataSet)
{
    m_resolved = &dataSet;
    const int count = dataSet.FieldCount();
    m_byIndex.fill(nullptr, count);
    m_upperNames.clear();
    m_upperNames.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString upper = dataSet.FieldAt(i)->FieldName().toUpper();
        m_upperNames.append(upper);
        const auto it = m_byName.constFind(upper);
        if (it != m_byName.constEnd())
            m_byIndex[i] = &it.value();
    }
}

bool FieldRules::Run(data::Field &field) const
{
    const int index = field.Index();
    if (index < 0 || index >= m_byIndex.size() || !m_byIndex[index])
        return false;
    for (const Rule &rule : *m_byIndex[index])
        rule(field);
    return true;
}

const QString &FieldRules::UpperName(const data::Field &field) const
{
    static const QString none;
    const int index = field.Index();
    return index >= 0 && index < m_upperNames.size() ? m_upperNames[index] : none;
}

} // namespace basenote
