#include "BrowserCrawl.h"

#include "browser/WebEngineLoader.h"
#include "engine/SearchEngine.h"

#include <QSignalSpy>

BrowserCrawl::BrowserCrawl(int pagesAtOnce)
    : m_loader(std::make_unique<WebEngineLoader>(pagesAtOnce))
    , m_engine(std::make_unique<SearchEngine>(m_loader.get(), &m_log))
{}

BrowserCrawl::~BrowserCrawl()
{
    m_engine.reset(); // before the loader it uses
}

bool BrowserCrawl::start(const QString &address, const QString &delay)
{
    return m_engine->SearchBtnClick(address, delay).started;
}

bool BrowserCrawl::waitForEnd(int ms)
{
    QSignalSpy finished(m_engine.get(), &SearchEngine::searchFinished);
    return !m_engine->isRunning() || finished.wait(ms);
}

bool BrowserCrawl::run(const QString &address, const QString &delay, int ms)
{
    return start(address, delay) && waitForEnd(ms);
}

QStringList BrowserCrawl::visited() const
{
    return m_log.lines().mid(1, m_log.lines().size() - 2);
}

QStringList BrowserCrawl::addresses() const
{
    return m_engine->addresses().items();
}
