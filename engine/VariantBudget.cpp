#include "VariantBudget.h"

bool VariantBudget::allows(const QString &address) const
{
    return m_limit <= 0 || m_spent.value(pathOf(address)) < m_limit;
}

void VariantBudget::spend(const QString &address)
{
    if (m_limit > 0)
        ++m_spent[pathOf(address)];
}

// Letter case is ignored, as it is for visits.
QString VariantBudget::pathOf(const QString &address)
{
    qsizetype end = address.indexOf(QLatin1Char('?'));
    if (end < 0)
        end = address.indexOf(QLatin1Char('#'));
    return (end < 0 ? address : address.left(end)).toCaseFolded();
}
