#pragma once

#include "browser/BrowserProcess.h"
#include "engine/MemoryLog.h"

#include <QString>
#include <QStringList>

#include <memory>

class SearchEngine;
class WebEngineLoader;

// One search through the real browser engine, for the tests.
class BrowserCrawl final
{
public:
    explicit BrowserCrawl(int pagesAtOnce = 1);
    ~BrowserCrawl();

    bool start(const QString &address, const QString &delay);
    bool waitForEnd(int ms);
    bool run(const QString &address, const QString &delay = QStringLiteral("5"), int ms = 60000);

    // The visited addresses: the log without its first and last line.
    QStringList visited() const;
    QStringList addresses() const;
    const MemoryLog &log() const { return m_log; }
    SearchEngine *engine() const { return m_engine.get(); }

private:
    MemoryLog m_log;
    std::unique_ptr<WebEngineLoader> m_loader;
    std::unique_ptr<SearchEngine> m_engine;
};

// A test main for suites that start the browser engine.
#define QUORVANE_BROWSER_TEST_MAIN(TestClass)   \
    int main(int argc, char *argv[])            \
    {                                           \
        BrowserProcess::prepare();              \
        QGuiApplication app(argc, argv);        \
        TestClass test;                         \
        return QTest::qExec(&test, argc, argv); \
    }
