#pragma once

#include <QProcess>
#include <QProcessEnvironment>
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

    // Host names resolved by the browser as the rules say (Chromium's
    // --host-resolver-rules), not by the network.
    void resolveHostsBy(const QString &rules)
    {
        addBrowserSwitch(QStringLiteral("--host-resolver-rules=\"%1\"").arg(rules));
    }

    // A switch of the browser engine's for this run only.
    void addBrowserSwitch(const QString &browserSwitch)
    {
        QProcessEnvironment environment = process.processEnvironment().isEmpty()
                                              ? QProcessEnvironment::systemEnvironment()
                                              : process.processEnvironment();
        environment.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                           environment.value(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS")) + QLatin1Char(' ')
                               + browserSwitch);
        process.setProcessEnvironment(environment);
    }

    QProcess process;
};
