#include "shell/SignalWatcher.h"

#include "platform/Console.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace shell {
namespace {

constexpr int kWatchedSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Written once before the handlers go in, read by the handler: async-signal-safe.
std::atomic<int> writeEnd{-1};

extern "C" void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const int fd = writeEnd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // A full pipe means a wake-up is already pending; losing this byte changes nothing.
        [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

QString lastError() { return QString::fromLocal8Bit(std::strerror(errno)); }

}  // namespace

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
        platform::console(QStringLiteral("Cannot watch termination signals: %1").arg(lastError()));
        fds_[0] = fds_[1] = -1;
        return;
    }
    writeEnd.store(fds_[1]);
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::drain);

    for (const int signalNumber : kWatchedSignals) {
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        Saved saved{signalNumber, {}};
        if (::sigaction(signalNumber, &action, &saved.action) != 0) {
            platform::console(QStringLiteral("Cannot watch signal %1: %2").arg(signalNumber).arg(lastError()));
            continue;
        }
        saved_.push_back(saved);
    }
    active_ = saved_.size() == std::size(kWatchedSignals);
}

SignalWatcher::~SignalWatcher()
{
    for (const Saved &saved : saved_)
        ::sigaction(saved.signalNumber, &saved.action, nullptr);
    writeEnd.store(-1);
    delete notifier_;
    for (int &fd : fds_) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SignalWatcher::drain()
{
    unsigned char bytes[64];
    for (;;) {
        const ssize_t count = ::read(fds_[0], bytes, sizeof bytes);
        if (count <= 0)
            return;  // EAGAIN: drained
        for (ssize_t i = 0; i < count; ++i)
            emit received(bytes[i]);
    }
}

}  // namespace shell
