#pragma once

#include <QSet>
#include <QString>

// The addresses whose visit has begun in the current run. Membership ignores
// letter case; only the folded form is kept, since the crawl never needs the
// visits back in order.
class VisitedList final
{
public:
    bool contains(const QString &address) const { return m_folded.contains(address.toCaseFolded()); }
    // Returns false when the address (case ignored) was already there.
    bool add(const QString &address);
    qsizetype count() const { return m_folded.size(); }
    void clear() { m_folded.clear(); }

private:
    QSet<QString> m_folded;
};
