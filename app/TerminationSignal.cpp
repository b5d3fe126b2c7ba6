#include "TerminationSignal.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1}; // the handler may only write a byte: the loop reads it

extern "C" void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[0], &byte, 1);
}

} // namespace

TerminationSignal::TerminationSignal(QObject* parent) : QObject(parent)
{
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_pipe) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignal::readRequest);
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(s, &action, nullptr);
}

TerminationSignal::~TerminationSignal()
{
    if (!m_notifier)
        return;
    for (const int s : {SIGTERM, SIGHUP, SIGINT})
        ::signal(s, SIG_DFL);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TerminationSignal::readRequest()
{
    char byte = 0;
    [[maybe_unused]] const ssize_t n = ::read(g_pipe[1], &byte, 1);
    emit requested();
}

#else

TerminationSignal::TerminationSignal(QObject* parent) : QObject(parent) {}
TerminationSignal::~TerminationSignal() = default;
void TerminationSignal::readRequest() {}

#endif
