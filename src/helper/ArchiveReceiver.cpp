#include "ArchiveReceiver.h"

#include "ArchiveSignature.h"
#include "BackgroundHash.h"

#include "platform/FreeSpaceMargin.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace archives::placement;

namespace {

// The archive comes through a pipe: with the default 64 KiB of pipe the installer and the helper
// take turns every 64 KiB, thousands of wake-ups per archive. A pipe of 1 MiB (the size anyone may
// ask for) read in blocks of as much lets each side run for longer at a time.
constexpr size_t kBlockSize = 1024 * 1024;
constexpr int kPipeBytes = 1024 * 1024;
// Blocks read and stored ahead of the hash: enough that neither side waits for the other's
// unevenness, few enough to keep the helper small.
constexpr size_t kBlocksAhead = 4;

// Reads what is there, waiting at most idleMs for it: -1 with errno ETIMEDOUT when nothing came.
ssize_t readSome(int fd, char *buffer, size_t size, int idleMs)
{
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, idleMs);
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled == 0)
            errno = ETIMEDOUT;
        if (polled <= 0)
            return -1;
        const ssize_t got = ::read(fd, buffer, size);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

bool writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = EIO;
            return false;
        }
        data += done;
        size -= size_t(done);
    }
    return true;
}

enum class LineRead { Line, Ended, TooLong, Idle };

// One line without its line feed, read byte by byte so that not one byte of what follows is taken.
LineRead readLine(int input, qsizetype limit, int idleMs, QByteArray *line)
{
    line->clear();
    char byte = 0;
    while (line->size() <= limit) {
        if (readSome(input, &byte, 1, idleMs) != 1)
            return errno == ETIMEDOUT ? LineRead::Idle : LineRead::Ended;
        if (byte == '\n')
            return LineRead::Line;
        line->append(byte);
    }
    return LineRead::TooLong;
}

// The number of a frame line "<name> <digits>"; nullopt when the line is not that.
std::optional<quint64> frameNumber(const QByteArray &line, const char *name)
{
    const QByteArray prefix = QByteArray(name) + ' ';
    if (!line.startsWith(prefix))
        return std::nullopt;
    const QByteArray digits = line.mid(prefix.size());
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    bool ok = false;
    const quint64 value = digits.toULongLong(&ok);
    return ok ? std::optional<quint64>(value) : std::nullopt;
}

}  // namespace

Status ArchiveReceiver::fail(Status status, const QString &message)
{
    error_ = message;
    return status;
}

Status ArchiveReceiver::idle()
{
    return fail(BadRequest, QStringLiteral("nothing came from the installer for %1 s").arg(idleMs_ / 1000.0));
}

Status ArchiveReceiver::receiveHeader(int input)
{
    // Lines up to an empty one, within kMaxHeaderBytes in all.
    QByteArray line;
    for (qsizetype left = kMaxHeaderBytes;; left -= line.size() + 1) {
        const LineRead read = readLine(input, left, idleMs_, &line);
        if (read == LineRead::Idle)
            return idle();
        const qsizetype space = line.indexOf(' ');
        if (read != LineRead::Line || (!line.isEmpty() && space <= 0))
            return fail(BadRequest, QStringLiteral("the request has no valid header"));
        if (line.isEmpty())
            return Placed;
        if (line.left(space) == kSignatureKey)
            signature_ = QByteArray::fromBase64(line.mid(space + 1));
        else if (line.left(space) == kAttemptsKey)
            maxRestarts_ = qMin(line.mid(space + 1).toULongLong(), kMaxAttempts) + kRestartMargin;
        // other keys belong to other installers and are ignored
    }
}

Status ArchiveReceiver::receiveArchive(int input, int output)
{
    // The archive is checked over exactly the bytes extracted later.
    if (publicKey_.isEmpty())
        return fail(NotConfigured, QStringLiteral("the helper's Info.plist carries no kQSArchivePublicKey"));
    QString checkError;
    std::unique_ptr<ArchiveSignature> signature = ArchiveSignature::forKey(publicKey_, signature_, &checkError);
    if (!signature)
        return fail(SignatureRejected, checkError);

    // Not a pipe (a file, a socket), or a size refused: the bytes come all the same, in smaller turns.
    (void)::fcntl(input, F_SETPIPE_SZ, kPipeBytes);
    auto hash = std::make_unique<BackgroundHash>(*signature, kBlockSize, kBlocksAhead);
    received_ = 0;
    quint64 restarts = 0;
    QByteArray line;
    for (;;) {
        switch (readLine(input, kMaxFrameLineBytes, idleMs_, &line)) {
        case LineRead::Line: break;
        case LineRead::Ended: return fail(BadRequest, QStringLiteral("the archive ended before its end frame, after %1 bytes").arg(received_));
        case LineRead::TooLong: return fail(BadRequest, QStringLiteral("a frame line is longer than %1 bytes").arg(kMaxFrameLineBytes));
        case LineRead::Idle: return idle();
        }
        if (const auto size = frameNumber(line, kDataFrame)) {
            const Status status = receiveData(input, output, *size, *hash);
            if (status != Placed)
                return status;
        } else if (line == kRestartFrame) {
            // A new download attempt: the file and the check start over; the hashing thread and
            // its blocks stay. No more attempts than the installer makes.
            if (++restarts > maxRestarts_)
                return fail(BadRequest, QStringLiteral("more than %1 restarts of the archive").arg(maxRestarts_));
            std::unique_ptr<ArchiveSignature> fresh = ArchiveSignature::forKey(publicKey_, signature_, &checkError);
            if (!fresh)
                return fail(SignatureRejected, checkError);
            hash->restart(*fresh);
            signature = std::move(fresh);
            if (::ftruncate(output, 0) != 0 || ::lseek(output, 0, SEEK_SET) != 0)
                return fail(PlaceFailed, QStringLiteral("cannot store the archive: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            received_ = 0;
        } else if (const auto length = frameNumber(line, kEndFrame)) {
            if (*length != received_)
                return fail(BadRequest, QStringLiteral("the archive ends after %1 bytes, but %2 were sent").arg(*length).arg(received_));
            break;
        } else {
            return fail(BadRequest, QStringLiteral("the request has a malformed frame"));
        }
    }
    if (received_ == 0)
        return fail(BadRequest, QStringLiteral("the request carries an empty archive"));
    hash->finish();
    char extra = 0;
    if (readSome(input, &extra, 1, idleMs_) != 0)
        return fail(BadRequest, QStringLiteral("more bytes after the archive's end"));
    if (!signature->verify(&checkError))
        return fail(SignatureRejected, checkError);
    trustedComment_ = signature->trustedComment();
    return Placed;
}

Status ArchiveReceiver::receiveData(int input, int output, quint64 size, BackgroundHash &hash)
{
    if (size > maxArchiveBytes_ || received_ + size > maxArchiveBytes_)
        return fail(BadRequest, QStringLiteral("an archive of more than %1 bytes is larger than the maximum of %2 (kQSMaximumArchiveBytes)")
                                    .arg(received_ + size)
                                    .arg(maxArchiveBytes_));
    QString why;
    if (!platform::FreeSpaceMargin::keepsMargin(folder_, size, 1, &why))
        return fail(PlaceFailed, why);
    quint64 left = size;
    while (left > 0) {
        char *block = hash.freeBlock();
        const ssize_t got = readSome(input, block, size_t(qMin<quint64>(left, kBlockSize)), idleMs_);
        if (got < 0 && errno == ETIMEDOUT)
            return idle();
        if (got < 0)
            return fail(BadRequest, QStringLiteral("cannot read the archive"));
        if (got == 0)
            return fail(BadRequest, QStringLiteral("the archive ended %1 bytes into a frame of %2").arg(size - left).arg(size));
        if (!writeAll(output, block, size_t(got)))
            return fail(PlaceFailed, QStringLiteral("cannot store the archive: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        hash.hash(block, size_t(got));
        left -= quint64(got);
        received_ += quint64(got);
    }
    return Placed;
}
