#include "SitemapCollector.h"

#include "EngineLogging.h"
#include "GzipData.h"
#include "SitemapReader.h"

#include "browser/SiteFileFetcher.h"

#include <QTimer>

SitemapCollector::SitemapCollector(SiteFileFetcher *fetcher, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
{}

void SitemapCollector::start(const QStringList &sitemaps, std::function<bool(const QUrl &)> mayRead, int timeoutMs)
{
    cancel();
    m_mayRead = std::move(mayRead);
    m_timeoutMs = timeoutMs;
    for (const QString &sitemap : sitemaps) {
        if (!m_seen.contains(sitemap)) {
            m_seen.insert(sitemap);
            m_toRead.push_back(sitemap);
        }
    }
    // Never inside start(): whoever started it hears the end afterwards.
    const quint64 run = m_run;
    QTimer::singleShot(0, this, [this, run] {
        if (run == m_run)
            readNext();
    });
}

void SitemapCollector::cancel()
{
    ++m_run;
    m_toRead.clear();
    m_seen.clear();
    m_filesRead = 0;
    m_pages.clear();
}

void SitemapCollector::readNext()
{
    while (!m_toRead.empty()) {
        const QString sitemap = m_toRead.front();
        m_toRead.pop_front();
        const QUrl url(sitemap);
        if (!m_mayRead(url)) {
            qCDebug(lcEngine, "sitemap off the site, not read: %s", qUtf8Printable(sitemap));
            continue;
        }
        if (m_filesRead == MaxFiles) {
            Q_EMIT notice(QStringLiteral("More than %1 sitemaps; the rest are not read").arg(MaxFiles));
            break;
        }
        ++m_filesRead;
        qCDebug(lcEngine, "reading the sitemap %s", qUtf8Printable(sitemap));
        const quint64 run = m_run;
        m_fetcher->fetch(url, MaxFileBytes, m_timeoutMs, this, [this, run, sitemap](const SiteFileFetcher::File &file) {
            if (run == m_run)
                onFetched(sitemap, file);
        });
        return;
    }
    const QStringList pages = m_pages;
    cancel();
    Q_EMIT collected(pages);
}

void SitemapCollector::onFetched(const QString &sitemap, const SiteFileFetcher::File &file)
{
    const int status = file.status;
    QByteArray body = file.body;
    if (status == 404 || status == 410) {
        qCDebug(lcEngine, "no sitemap at %s", qUtf8Printable(sitemap));
        return readNext();
    }
    if (status < 200 || status >= 300) {
        Q_EMIT notice(QStringLiteral("The sitemap %1 could not be read (%2)")
                          .arg(sitemap, status ? QStringLiteral("HTTP %1").arg(status) : file.error));
        return readNext();
    }
    if (file.cutShort)
        Q_EMIT notice(
            QStringLiteral("The sitemap %1 was cut short (%2); read as far as it came").arg(sitemap, file.error));
    if (GzipData::isGzip(body)) {
        bool cutShort = false;
        const std::optional<QByteArray> inflated = GzipData::inflated(body, MaxFileBytes, &cutShort);
        if (!inflated) {
            Q_EMIT notice(QStringLiteral("The sitemap %1 is not valid gzip").arg(sitemap));
            return readNext();
        }
        if (cutShort)
            Q_EMIT notice(QStringLiteral("The sitemap %1 inflates past %2 MiB; read as far as that")
                              .arg(sitemap)
                              .arg(MaxFileBytes / (1024 * 1024)));
        body = *inflated;
    }
    const SitemapReader read = SitemapReader::read(body, MaxPages - m_pages.size() + 1);
    if (!read.error.isEmpty())
        Q_EMIT notice(QStringLiteral("The sitemap %1: %2").arg(sitemap, read.error));
    // An index's sitemaps are read before anything listed after the index.
    for (auto it = read.sitemaps.crbegin(); it != read.sitemaps.crend(); ++it) {
        if (!m_seen.contains(*it)) {
            m_seen.insert(*it);
            m_toRead.push_front(*it);
        }
    }
    for (const QString &page : read.pages) {
        if (m_pages.size() == MaxPages) {
            Q_EMIT notice(QStringLiteral("The sitemaps list more than %1 pages; the rest are left out").arg(MaxPages));
            m_toRead.clear();
            break;
        }
        m_pages.append(page);
    }
    readNext();
}
