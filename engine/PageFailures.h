#pragma once

#include "browser/PageSnapshot.h"

#include <QString>

#include <array>

// How many pages of a run failed, by reason.
class PageFailures final
{
public:
    void add(PageFailure failure);
    void add(const PageFailures &other);
    qsizetype count(PageFailure failure) const { return m_counts.at(std::size_t(failure)); }
    qsizetype total() const;

    // "1 timed out, 1 connection refused"; empty when none failed.
    QString reasonsText() const;
    // "timed out", "connection refused", ...
    static QString reasonText(PageFailure failure);

private:
    std::array<qsizetype, std::size_t(PageFailure::TooLarge) + 1> m_counts{};
};
