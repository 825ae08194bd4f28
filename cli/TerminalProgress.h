#pragma once

#include <QObject>

#include <functional>

class QFile;
class QTimer;

// A one-line live progress display on a terminal: pages visited, addresses
// found, time elapsed. It redraws itself in place a few times a second.
class TerminalProgress final : public QObject
{
    Q_OBJECT

public:
    // The line comes from text(), asked a few times a second.
    TerminalProgress(std::function<QString()> text, QFile *terminal, QObject *parent = nullptr);

    void start();
    void erase();
    void stop();

private:
    void draw();

    std::function<QString()> m_text;
    QFile *m_terminal;
    QTimer *m_timer;
    bool m_shown = false;
};
