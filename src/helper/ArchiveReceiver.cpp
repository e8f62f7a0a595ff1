#include "ArchiveReceiver.h"

#include "ArchiveSignature.h"
#include "BackgroundHash.h"

#include "platform/FreeSpaceMargin.h"

#include <QList>

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
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

ssize_t readSome(int fd, char *buffer, size_t size)
{
    for (;;) {
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

}  // namespace

Status ArchiveReceiver::fail(Status status, const QString &message)
{
    error_ = message;
    return status;
}

bool ArchiveReceiver::readHeader(int input)
{
    // Byte by byte, so not one byte of the archive is taken into the header.
    QByteArray header;
    char byte = 0;
    while (!header.endsWith("\n\n") && header != "\n") {
        if (header.size() >= kMaxHeaderBytes || readSome(input, &byte, 1) != 1)
            return false;
        header.append(byte);
    }
    bool haveLength = false;
    for (const QByteArray &line : header.split('\n')) {
        if (line.isEmpty())
            continue;
        const qsizetype space = line.indexOf(' ');
        if (space <= 0)
            return false;
        const QByteArray key = line.left(space);
        const QByteArray value = line.mid(space + 1);
        if (key == kLengthKey) {
            length_ = value.toULongLong(&haveLength);
        } else if (key == kSignatureKey) {
            signature_ = QByteArray::fromBase64(value);
        }  // other keys belong to newer installers and are ignored
    }
    return haveLength;
}

Status ArchiveReceiver::receiveHeader(int input)
{
    if (!readHeader(input))
        return fail(BadRequest, QStringLiteral("the request has no valid header"));
    if (length_ == 0)
        return fail(BadRequest, QStringLiteral("the request announces an empty archive"));
    if (length_ > maxArchiveBytes_)
        return fail(BadRequest, QStringLiteral("an archive of %1 bytes is larger than the maximum of %2 (kQSMaximumArchiveBytes)")
                                    .arg(length_)
                                    .arg(maxArchiveBytes_));
    QString why;
    if (!platform::FreeSpaceMargin::keepsMargin(folder_, length_, 1, &why))
        return fail(PlaceFailed, why);
    return Placed;
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
    BackgroundHash hash(*signature, kBlockSize, kBlocksAhead);
    quint64 left = length_;
    while (left > 0) {
        char *block = hash.freeBlock();
        const ssize_t got = readSome(input, block, size_t(qMin<quint64>(left, kBlockSize)));
        if (got < 0)
            return fail(BadRequest, QStringLiteral("cannot read the archive"));
        if (got == 0)
            return fail(BadRequest, QStringLiteral("the archive ended %1 bytes early").arg(left));
        if (!writeAll(output, block, size_t(got)))
            return fail(PlaceFailed, QStringLiteral("cannot store the archive: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        hash.hash(block, size_t(got));
        left -= quint64(got);
    }
    hash.finish();
    char extra = 0;
    if (readSome(input, &extra, 1) != 0)
        return fail(BadRequest, QStringLiteral("more bytes than announced"));
    if (!signature->verify(&checkError))
        return fail(SignatureRejected, checkError);
    return Placed;
}
