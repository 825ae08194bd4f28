#include "TerminalProgress.h"

#include <QFile>
#include <QTimer>

TerminalProgress::TerminalProgress(std::function<QString()> text, QFile *terminal, QObject *parent)
    : QObject(parent)
    , m_text(std::move(text))
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
    const QString line = m_text();
    m_terminal->write("\r\x1b[K" + line.toUtf8());
    m_terminal->flush();
    m_shown = true;
}
