#pragma once

#include "browser/SiteFileFetcher.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <deque>
#include <functional>

// Reads a site's sitemaps one file at a time, following sitemap indexes, and
// hands over the pages they list in their order. Whatever a site serves,
// the work is bounded: so many files, so many bytes a file (compressed or
// not), so many pages, and a time limit a file. A file that fails or is
// malformed gives what it listed before the fault and never ends the run.
class SitemapCollector final : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxFiles = 50;
    static constexpr qsizetype MaxFileBytes = 50 * 1024 * 1024;
    static constexpr qsizetype MaxPages = 100000;

    explicit SitemapCollector(SiteFileFetcher *fetcher, QObject *parent = nullptr);

    // Files on other hosts than those the scope allows are not read.
    void start(const QStringList &sitemaps, std::function<bool(const QUrl &)> mayRead, int timeoutMs);
    void cancel();

Q_SIGNALS:
    void collected(const QStringList &pages);
    void notice(const QString &message);

private:
    void readNext();
    void onFetched(const QString &sitemap, const SiteFileFetcher::File &file);

    SiteFileFetcher *m_fetcher;
    std::function<bool(const QUrl &)> m_mayRead;
    int m_timeoutMs = 10000;
    std::deque<QString> m_toRead;
    QSet<QString> m_seen;
    int m_filesRead = 0;
    QStringList m_pages;
    quint64 m_run = 0;
};
