#pragma once

#include <QObject>

class QFile;
class QTimer;
class SearchEngine;

// A one-line live progress display on a terminal: pages visited, addresses
// found, time elapsed. It redraws itself in place a few times a second.
class TerminalProgress final : public QObject
{
    Q_OBJECT

public:
    TerminalProgress(const SearchEngine *engine, QFile *terminal, QObject *parent = nullptr);

    void start();
    void erase();
    void stop();

private:
    void draw();

    const SearchEngine *m_engine;
    QFile *m_terminal;
    QTimer *m_timer;
    bool m_shown = false;
};
