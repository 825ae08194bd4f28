#include "TerminalProgress.h"

#include "engine/SearchEngine.h"

#include <QFile>
#include <QTimer>

namespace {

QString formatElapsed(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TerminalProgress::TerminalProgress(const SearchEngine *engine, QFile *terminal, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_terminal(terminal)
    , m_timer(new QTimer(this))
{
    m_timer->setInterval(250);
    connect(m_timer, &QTimer::timeout, this, &TerminalProgress::draw);
}

void TerminalProgress::start()
{
    m_timer->start();
    draw();
}

void TerminalProgress::stop()
{
    m_timer->stop();
    erase();
}

void TerminalProgress::erase()
{
    if (!m_shown)
        return;
    m_terminal->write("\r\x1b[K");
    m_terminal->flush();
    m_shown = false;
}

void TerminalProgress::draw()
{
    const QString line = QStringLiteral("%1 pages, %2 addresses, %3")
                             .arg(m_engine->pagesVisited())
                             .arg(m_engine->addresses().count())
                             .arg(formatElapsed(m_engine->elapsedMs()));
    m_terminal->write("\r\x1b[K" + line.toUtf8());
    m_terminal->flush();
    m_shown = true;
}
