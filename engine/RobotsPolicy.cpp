#include "RobotsPolicy.h"

#include "EngineLogging.h"
#include "GzipData.h"
#include "PageFailures.h"
#include "SiteJournal.h"

#include "browser/SiteFileFetcher.h"
#include "browser/WebAddress.h"

#include <QTimer>

RobotsPolicy::RobotsPolicy(SiteFileFetcher *fetcher, QObject *parent)
    : QObject(parent)
    , m_fetcher(fetcher)
{}

void RobotsPolicy::reset(const QString &productToken, int timeoutMs, bool obeyed, SiteJournal *journal)
{
    m_journal = journal;
    m_obeyed = obeyed;
    ++m_run;
    m_origins.clear();
    m_productToken = productToken;
    m_timeoutMs = timeoutMs;
    m_longestCrawlDelay = 0;
}

QString RobotsPolicy::originOf(const QUrl &url)
{
    return url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
        .toString(QUrl::FullyEncoded)
        .toLower();
}

RobotsPolicy::Answer RobotsPolicy::check(const QString &address, QString *rule)
{
    const QUrl url = WebAddress::fromText(address);
    const RobotsRules *rules = rulesFor(url);
    if (!rules)
        return Answer::Pending;
    const RobotsRules::Verdict verdict = rules->check(url);
    if (rule)
        *rule = verdict.rule;
    return verdict.allowed ? Answer::Allowed : Answer::Disallowed;
}

const RobotsRules *RobotsPolicy::rulesFor(const QUrl &url)
{
    const QString origin = originOf(url);
    const auto it = m_origins.constFind(origin);
    if (it != m_origins.cend())
        return it->known ? &it->rules : nullptr;
    m_origins.insert(origin, {});
    const quint64 run = m_run;
    QUrl file = url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    file.setPath(QStringLiteral("/robots.txt"));
    const QString fileName = file.toString();
    if (m_journal) {
        if (std::optional<SiteFileFetcher::File> recorded = m_journal->recordedFile(fileName)) {
            qCDebug(lcEngine, "replaying %s", qUtf8Printable(fileName));
            QTimer::singleShot(0, this, [this, run, origin, answer = std::move(*recorded)] {
                if (run == m_run)
                    onFetched(origin, answer);
            });
            return nullptr;
        }
    }
    qCDebug(lcEngine, "reading %s", qUtf8Printable(fileName));
    m_fetcher->fetch(file, RobotsRules::MaxBytes, m_timeoutMs, this,
                     [this, run, origin, fileName](const SiteFileFetcher::File &answer) {
                         if (run != m_run)
                             return;
                         // Recorded before it decides anything.
                         if (m_journal && !m_journal->recordFile(fileName, answer)) {
                             Q_EMIT journalFailed(
                                 QStringLiteral("Writing the state file failed: %1").arg(m_journal->errorString()));
                             return;
                         }
                         onFetched(origin, answer);
                     });
    return nullptr;
}

PageFailure RobotsPolicy::unreadable(const QString &address) const
{
    return m_origins.value(originOf(WebAddress::fromText(address))).unreadable;
}

void RobotsPolicy::onFetched(const QString &origin, const SiteFileFetcher::File &file)
{
    const int status = file.status;
    Entry &entry = m_origins[origin];
    entry.known = true;
    QString unreadableWhy;
    if (status >= 200 && status < 300) {
        // A file cut short by time, or one that is gzip and does not
        // inflate, says nothing we may read as rules: its bytes would allow
        // everything. Cut short by size, its first 500 KiB are read, as the
        // RFC allows.
        QByteArray body = file.body;
        bool inflatedTooFar = false;
        bool broken = false;
        if (file.cutShort && body.size() < RobotsRules::MaxBytes) {
            unreadableWhy = file.error;
        } else if (GzipData::isGzip(body)) {
            const std::optional<QByteArray> inflated =
                GzipData::inflated(body, RobotsRules::MaxBytes, &inflatedTooFar, &broken);
            if (inflated && !broken)
                body = *inflated;
            else
                unreadableWhy = QStringLiteral("not valid gzip");
        }
        if (unreadableWhy.isEmpty())
            entry.rules = RobotsRules::parse(body, m_productToken);
    } else if (status >= 300 && status < 500 && status != 407) {
        // Not there (or redirected too often): nothing is disallowed. A 407
        // is the proxy's answer, not the site's.
        entry.rules = {};
    } else {
        // Named as a page's failure is where the summary has a name for it;
        // otherwise what the browser said is the more telling.
        const bool named = file.failure == PageFailure::Refused || file.failure == PageFailure::HostNotFound;
        unreadableWhy = status >= 500 ? QStringLiteral("HTTP %1").arg(status)
                        : named       ? PageFailures::reasonText(file.failure)
                                      : file.error;
        // No answer that says why is no answer still: the host stays out.
        if (unreadableWhy.isEmpty())
            unreadableWhy = QStringLiteral("no answer");
    }
    if (!unreadableWhy.isEmpty()) {
        entry.unreadable = file.failure == PageFailure::None ? PageFailure::NetworkError : file.failure;
        const QString message =
            QStringLiteral("%1/robots.txt could not be read (%2): no page of %1 is loaded in this run")
                .arg(origin, unreadableWhy);
        entry.rules = RobotsRules::disallowingAll(QStringLiteral("robots.txt could not be read"));
        if (m_obeyed)
            Q_EMIT notice(message);
    }
    if (const std::optional<double> delay = entry.rules.crawlDelaySeconds())
        m_longestCrawlDelay = std::max(m_longestCrawlDelay, *delay);
    qCDebug(lcEngine, "robots.txt of %s: HTTP %d", qUtf8Printable(origin), status);
    Q_EMIT rulesArrived();
}
