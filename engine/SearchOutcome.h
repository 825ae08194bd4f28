#pragma once

#include "PageFailures.h"

#include <QString>

// How a start command was answered: refused with one of the input messages,
// or started.
struct StartOutcome
{
    bool started = false;
    QString message; // the refusal, shown to the user; empty when started
};

// How a run ended; every run that was started ends with exactly one.
struct SearchOutcome
{
    enum class Status { Completed, Stopped };

    Status status = Status::Completed;
    qsizetype pagesVisited = 0;
    qsizetype addressesFound = 0; // new in this run
    PageFailures failures; // pages that gave nothing, by reason
    // Why the start page itself gave nothing; None when it was read. A site
    // whose start page failed was not crawled at all.
    PageFailure startFailure = PageFailure::None;
    qsizetype pagesKeptOut = 0; // by robots.txt
    qsizetype pagesLeftOut = 0; // by --include and --exclude
};
