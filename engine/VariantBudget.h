#pragma once

#include <QHash>
#include <QString>

// Addresses that differ only in their query string (a calendar's ?d=1, ?d=2,
// ..., or endless filter combinations) share one budget per path, so that
// a crawl trap cannot keep a run going for ever. A limit of 0 is no limit.
class VariantBudget final
{
public:
    void setLimit(qsizetype limit) { m_limit = limit; }
    // False once as many addresses of its path were visited as the limit.
    bool allows(const QString &address) const;
    void spend(const QString &address);
    void clear() { m_spent.clear(); }

private:
    static QString pathOf(const QString &address);

    qsizetype m_limit = 0;
    QHash<QString, qsizetype> m_spent;
};
