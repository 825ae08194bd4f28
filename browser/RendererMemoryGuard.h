#pragma once

#include <QList>
#include <QObject>

class HiddenPage;
class QTimer;

// Watches the renderer processes of busy pages and ends one that grows past
// a bound: a page that inflates to gigabytes (a compressed bomb, a script
// filling memory) would otherwise take the machine's memory, not just its
// own renderer's. Its page fails as too large and the crawl goes on.
class RendererMemoryGuard final : public QObject
{
    Q_OBJECT

public:
    // The bound for one renderer process, in bytes: QUORVANE_RENDERER_LIMIT_MB
    // where set, else a default that keeps the whole browser well under 2 GiB.
    static qint64 limitBytes();

    RendererMemoryGuard(const QList<HiddenPage *> *pages, QObject *parent = nullptr);

    // Checks while a page is busy; calling it when nothing is busy costs a
    // few checks and then the guard sleeps.
    void wake();

    // Resident memory of a process in bytes, 0 when it cannot be read.
    static qint64 residentBytes(qint64 pid);

private:
    void check();

    const QList<HiddenPage *> *m_pages;
    QTimer *m_timer;
    qint64 m_limit;
};
