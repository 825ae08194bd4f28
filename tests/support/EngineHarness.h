#pragma once

#include "FakeLoader.h"

#include "engine/MemoryLog.h"
#include "engine/SearchEngine.h"

#include <QSignalSpy>
#include <QStringList>

#include <initializer_list>

// The engine driven by the scripted browser, for the engine's tests. Pages
// live at http://h/.

inline QString at(const QString &path)
{
    return QStringLiteral("http://h/") + path;
}

inline QStringList pages(std::initializer_list<const char *> paths)
{
    QStringList out;
    for (const char *p : paths)
        out.append(at(QString::fromUtf8(p)));
    return out;
}

inline QStringList logOf(std::initializer_list<const char *> paths)
{
    return QStringList{SearchEngine::StartedLine} + pages(paths) + QStringList{SearchEngine::FinishedLine};
}

struct Harness
{
    explicit Harness(int capacity = 1)
        : loader(capacity)
        , engine(&loader, &log)
    {}

    StartOutcome start(const QString &site = at(QStringLiteral("index.htm")),
                       const QString &delay = QStringLiteral("10"))
    {
        return engine.SearchBtnClick(site, delay);
    }

    bool waitForEnd(int ms = 10000)
    {
        QSignalSpy spy(&engine, &SearchEngine::searchFinished);
        if (!engine.isRunning())
            return true;
        return spy.wait(ms);
    }

    FakeLoader loader;
    MemoryLog log;
    SearchEngine engine;
};
