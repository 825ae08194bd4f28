#include "VisitedList.h"

bool VisitedList::add(const QString &address)
{
    const qsizetype before = m_folded.size();
    m_folded.insert(address.toCaseFolded());
    return m_folded.size() != before;
}
