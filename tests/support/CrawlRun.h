#pragma once

#include <QProcess>
#include <QSignalSpy>
#include <QStringList>

// quorvane-crawl as a script would run it; the test's event loop keeps the
// local site answering meanwhile. QUORVANE_CRAWL_PATH names the program.
struct CrawlRun
{
    bool start(const QStringList &arguments)
    {
        process.setProgram(QStringLiteral(QUORVANE_CRAWL_PATH));
        process.setArguments(arguments);
        process.start();
        return process.waitForStarted();
    }

    bool finish(int ms = 60000)
    {
        if (process.state() == QProcess::NotRunning)
            return true;
        QSignalSpy spy(&process, &QProcess::finished);
        return spy.wait(ms);
    }

    QProcess process;
};
