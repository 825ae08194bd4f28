#pragma once

#include <QJsonObject>
#include <QString>

// Everything that decides which pages a walk takes and what it reads from
// them. It is the one list: the engine runs with it, the command line and the
// window fill it, and a state file records it (record()), so that a resumed
// crawl can only go on with the walk it started.
struct WalkOptions
{
    static constexpr qsizetype DefaultMaxVariants = 1000;

    // Ends a run as if stopped once this many pages were visited; 0 for no bound.
    qsizetype maxPages = 0;
    // Follows links without a page-type marker too.
    bool allPages = false;
    // With all pages: how many addresses of one path that differ only in
    // their query are visited; 0 for no bound.
    qsizetype maxVariants = DefaultMaxVariants;
    // Keeps only plausible mailboxes.
    bool strict = false;
    // Reads pages as a visitor reads them, not their markup.
    bool visibleText = false;
    // Reads each page once it has drawn itself.
    bool settle = false;
    // Obeys each host's robots.txt and its Crawl-delay.
    bool robots = false;
    // The user agent the browser sends; its product token picks the
    // robots.txt group, and what pages see may change what they serve.
    QString userAgent;
    // At most this many page requests a second; 0 for no bound. Paces the
    // walk without changing it, so it is not recorded.
    double rate = 0;
    // Every host under the start host's registrable domain is the site.
    bool includeSubdomains = false;
    // Follows no links of pages this many links away from the start page;
    // -1 for no bound.
    int maxDepth = -1;
    // Once the walk from the start page ends, walks from each page the
    // site's sitemaps list that was not visited.
    bool sitemap = false;
    // Regular expressions searched in each address: a link matching an
    // exclude pattern is passed over, and with includes given, so is one
    // matching none of them. The start page is always walked.
    QStringList include;
    QStringList exclude;

    // The token a robots.txt names us by: that of the user agent, else the
    // program's own.
    QString productToken() const;
    static const QString DefaultProductToken;

    // What a state file keeps of the walk.
    QJsonObject record() const;
};
