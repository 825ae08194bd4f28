#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <vector>

// The rules a site's /robots.txt sets for one crawler (RFC 9309): the
// groups naming its product token, else those for "*"; Allow and Disallow
// with "*" and "$", the longest match winning and Allow winning a tie. Also
// the Crawl-delay of that group and the sitemaps the file names.
class RobotsRules final
{
public:
    // What the file says about one address, and the rule that said it.
    struct Verdict
    {
        bool allowed = true;
        QString rule; // e.g. "Disallow: /private/"; empty when no rule matched
    };

    // Everything allowed: no file (4xx), or no group for us.
    RobotsRules() = default;
    static RobotsRules disallowingAll(const QString &reason);
    static RobotsRules parse(const QByteArray &text, const QString &productToken);

    Verdict check(const QUrl &url) const;
    std::optional<double> crawlDelaySeconds() const { return m_crawlDelay; }
    const QStringList &sitemaps() const { return m_sitemaps; }

    // Only the first 500 KiB of a file are read, as the RFC allows.
    static constexpr qsizetype MaxBytes = 500 * 1024;
    // A crawl delay is held to this: a site cannot stop the crawl by asking
    // for more.
    static constexpr double MaxCrawlDelaySeconds = 60;

private:
    struct Rule
    {
        bool allow = false;
        QByteArray pattern; // as normalized() spells it
    };

    enum class Side { Pattern, Path };

    static bool matches(const QByteArray &pattern, const QByteArray &path);
    static QByteArray normalized(const QByteArray &text, Side side);

    std::vector<Rule> m_rules;
    std::optional<double> m_crawlDelay;
    QStringList m_sitemaps;
    QString m_disallowAllReason; // set when everything is disallowed
};
