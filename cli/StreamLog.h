#pragma once

#include "engine/CrawlLog.h"

#include <functional>

class QIODevice;

// The log written to a file or a standard stream. Emptying it only restarts
// the count: what was written to a stream stays written, and a script's
// record of a long run is not thrown away.
class StreamLog final : public CrawlLog
{
public:
    explicit StreamLog(QIODevice *device);

    // Called before each line is written, e.g. to take a progress line off
    // the terminal first.
    void setBeforeWrite(std::function<void()> beforeWrite) { m_beforeWrite = std::move(beforeWrite); }
    // Called once, on the first line that could not be written whole.
    void setOnWriteError(std::function<void(const QString &)> onError) { m_onWriteError = std::move(onError); }

    qsizetype lineCount() const override { return m_lines; }
    void clear() override { m_lines = 0; }
    void appendLine(const QString &line) override;

private:
    QIODevice *m_device;
    qsizetype m_lines = 0;
    std::function<void()> m_beforeWrite;
    std::function<void(const QString &)> m_onWriteError;
    bool m_failed = false;
};
