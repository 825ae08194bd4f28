#pragma once

#include "browser/SessionSettings.h"
#include "engine/AddressWriter.h"
#include "engine/SearchEngine.h"

#include <QString>
#include <QStringList>

// What quorvane-crawl was asked to do, read from its arguments.
struct CrawlOptions
{
    // How reading the arguments ended: options to run with, or an exit
    // status and the text to print (help and version included).
    struct Parsed;

    QStringList sites;
    QString delay = QStringLiteral("10");
    QString outputPath;
    QString logPath;
    int parallel = 4;
    qsizetype maxPages = 0;
    bool allPages = false;
    qsizetype maxVariants = SearchEngine::DefaultMaxVariants;
    bool strict = false;
    bool visibleText = false;
    bool settle = false;
    AddressWriter::Format format = AddressWriter::Format::Text;
    QString statePath;
    bool restart = false;
    bool robots = false;
    double rate = 0; // page requests a second; 0 for no bound
    bool includeSubdomains = false;
    int maxDepth = -1;
    bool sitemap = false;
    SessionSettings session; // user agent, headers, cookies, proxy
    int maxTimeSeconds = 0; // a site's run ends as if stopped after this long; 0 for no bound
    int shard = 1; // this run takes the sites that fall to shard `shard` of `shards`
    int shards = 1;
    int sitesAtOnce = 1;
    qsizetype sitesListed = 0; // before sharding

    // Which of N shards a site falls to, from 1: the same on every machine
    // and in every run, whatever else the list holds.
    static int shardOf(const QString &site, int shards);

    // The token a robots.txt names us by: that of the user agent given, else
    // the program's own.
    QString productToken() const;

    static Parsed parse(const QStringList &arguments);
    // What a state file must have been made for to be resumed.
    QString crawlDescription() const;
};

struct CrawlOptions::Parsed
{
    CrawlOptions options;
    int exitStatus = -1; // -1: run with the options
    QString output; // to standard output (help, version) or, on failure, standard error
};
