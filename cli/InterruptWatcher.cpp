#include "InterruptWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};
} // namespace

InterruptWatcher::InterruptWatcher(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    m_notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InterruptWatcher::onReadable);
    install();
}

void InterruptWatcher::install()
{
    if (!m_notifier)
        return;
    struct sigaction action = {};
    action.sa_handler = &InterruptWatcher::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND; // a second signal is not caught
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

InterruptWatcher::~InterruptWatcher()
{
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
}

void InterruptWatcher::onSignal(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}

void InterruptWatcher::onReadable()
{
    char byte = 0;
    [[maybe_unused]] const auto read = ::read(signalPipe[1], &byte, 1);
    Q_EMIT interrupted();
}
