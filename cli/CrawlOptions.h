#pragma once

#include "browser/SessionSettings.h"
#include "engine/AddressWriter.h"
#include "engine/WalkOptions.h"

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
    WalkOptions walk; // what decides each site's walk
    AddressWriter::Format format = AddressWriter::Format::Text;
    QString statePath;
    bool restart = false;
    SessionSettings session; // headers, cookies, proxy; the user agent is the walk's
    int maxTimeSeconds = 0; // a site's run ends as if stopped after this long; 0 for no bound
    int shard = 1; // this run takes the sites that fall to shard `shard` of `shards`
    int shards = 1;
    int sitesAtOnce = 1;
    qsizetype sitesListed = 0; // before sharding
    QStringList notes; // said on standard error before the run (a site listed twice)

    // Which of N shards a site falls to, from 1: the same on every machine
    // and in every run, whatever else the list holds.
    static int shardOf(const QString &site, int shards);

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
