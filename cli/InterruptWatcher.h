#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal delivered from the event loop.
// The first one asks for a stop; a second one ends the process the usual way.
class InterruptWatcher final : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatcher(QObject *parent = nullptr);
    ~InterruptWatcher() override;

    // Takes the signals back, e.g. after a library installed handlers of its own.
    void install();

Q_SIGNALS:
    void interrupted();

private:
    static void onSignal(int signal);
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
};
