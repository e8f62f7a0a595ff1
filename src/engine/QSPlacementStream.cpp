#include "engine/QSPlacementStream.h"

#include "archive/PlacementProtocol.h"

#include <cerrno>
#include <chrono>
#include <csignal>

#include <pthread.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

using namespace archives::placement;

namespace {

// How often a write waiting for room looks whether the stream is being closed.
constexpr int kTickMs = 100;
// A helper that takes no byte for this long is taken to be stuck (the download's own idle limit).
constexpr std::chrono::milliseconds kStallLimit = std::chrono::seconds(60);

}  // namespace

QSPlacementStream::QSPlacementStream(int fd) : fd_(fd)
{
    if (fd_ >= 0)
        (void)::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
#if defined(F_SETNOSIGPIPE)
    if (fd_ >= 0)
        (void)::fcntl(fd_, F_SETNOSIGPIPE, 1);  // macOS: this descriptor never raises SIGPIPE
#endif
}

QSPlacementStream::~QSPlacementStream()
{
    close();
}

void QSPlacementStream::beginAttempt(const QByteArray &signatureText, quint64 attempts)
{
    if (!headerSent_) {
        headerSent_ = true;
        QByteArray header;
        if (!signatureText.isEmpty())
            header += QByteArray(kSignatureKey) + ' ' + signatureText.toBase64() + '\n';
        if (attempts > 0)
            header += QByteArray(kAttemptsKey) + ' ' + QByteArray::number(attempts) + '\n';
        send(header + '\n');
        return;
    }
    restart();
}

void QSPlacementStream::append(QByteArrayView bytes)
{
    if (!bytes.isEmpty())
        send(QByteArray(kDataFrame) + ' ' + QByteArray::number(bytes.size()) + '\n', bytes);
}

void QSPlacementStream::restart()
{
    send(QByteArray(kRestartFrame) + '\n');
}

void QSPlacementStream::end(qint64 length)
{
    send(QByteArray(kEndFrame) + ' ' + QByteArray::number(length) + '\n');
    close();
}

void QSPlacementStream::close()
{
    closing_.store(true);
    const std::lock_guard lock(mutex_);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void QSPlacementStream::send(QByteArrayView line, QByteArrayView bytes)
{
    const std::lock_guard lock(mutex_);
    if (fd_ < 0 || broken_.load())
        return;
#if defined(F_SETNOSIGPIPE)
    (void)writeFrame(line, bytes);
#else
    // A helper that has gone makes a write fail with EPIPE, and raise SIGPIPE, which would end the
    // installer. Ignoring it for the whole process would pass the ignoring on to every program the
    // installer starts later (the product too), so it is held back on this thread for the write
    // and taken back if it came.
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const bool pipeBroken = !writeFrame(line, bytes) && errno == EPIPE;
    if (pipeBroken) {
        const timespec now{};
        while (sigtimedwait(&pipeSignal, nullptr, &now) == -1 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
#endif
}

bool QSPlacementStream::writeFrame(QByteArrayView line, QByteArrayView bytes)
{
    iovec parts[2] = {{const_cast<char *>(line.data()), size_t(line.size())},
                      {const_cast<char *>(bytes.data()), size_t(bytes.size())}};
    iovec *part = parts;
    int count = bytes.isEmpty() ? 1 : 2;
    auto waited = std::chrono::milliseconds(0);
    while (count > 0) {
        const ssize_t done = ::writev(fd_, part, count);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0 && errno == EAGAIN) {
            // The helper is behind: wait for room, but not past a close or a stall.
            if (closing_.load() || waited >= kStallLimit) {
                broken_.store(true);
                if (!closing_.load()) {
                    ::close(fd_);
                    fd_ = -1;
                }
                errno = ETIMEDOUT;
                return false;
            }
            pollfd room{fd_, POLLOUT, 0};
            if (::poll(&room, 1, kTickMs) == 0)
                waited += std::chrono::milliseconds(kTickMs);
            continue;
        }
        if (done < 0) {
            broken_.store(true);  // EPIPE: the helper has gone
            return false;
        }
        waited = std::chrono::milliseconds(0);
        size_t left = size_t(done);
        while (count > 0 && left >= part->iov_len) {
            left -= part->iov_len;
            ++part;
            --count;
        }
        if (count > 0) {
            part->iov_base = static_cast<char *>(part->iov_base) + left;
            part->iov_len -= left;
        }
    }
    return true;
}
