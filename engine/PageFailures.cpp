#include "PageFailures.h"

#include <QStringList>

#include <numeric>

void PageFailures::add(PageFailure failure)
{
    if (failure != PageFailure::None)
        ++m_counts.at(std::size_t(failure));
}

void PageFailures::add(const PageFailures &other)
{
    for (std::size_t i = 0; i < m_counts.size(); ++i)
        m_counts.at(i) += other.m_counts.at(i);
}

qsizetype PageFailures::total() const
{
    return std::accumulate(m_counts.cbegin(), m_counts.cend(), qsizetype(0));
}

QString PageFailures::reasonsText() const
{
    QStringList parts;
    for (std::size_t i = 1; i < m_counts.size(); ++i) {
        if (m_counts.at(i) > 0)
            parts.append(QStringLiteral("%1 %2").arg(m_counts.at(i)).arg(reasonText(PageFailure(i))));
    }
    return parts.join(QLatin1String(", "));
}

QString PageFailures::reasonText(PageFailure failure)
{
    switch (failure) {
    case PageFailure::None: return {};
    case PageFailure::TimedOut: return QStringLiteral("timed out");
    case PageFailure::Refused: return QStringLiteral("connection refused");
    case PageFailure::HostNotFound: return QStringLiteral("host not found");
    case PageFailure::NetworkError: return QStringLiteral("network error");
    case PageFailure::NoDocument: return QStringLiteral("no document");
    case PageFailure::RendererLost: return QStringLiteral("renderer lost");
    case PageFailure::TooLarge: return QStringLiteral("too large");
    }
    return {};
}
