// The placement request on the helper's standard input, written by a process of the person's
// session and read by root: the header and the archive's frames. Whatever the bytes, the helper
// stores no more than its maximum, and accepts only the archive that the maker signed.

#include "FuzzSupport.h"

#include "ArchiveReceiver.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {

// The key and signed message of the signature target (seeds/signature/good.minisig).
const QString kPublicKey = QStringLiteral("RWSHRbPKpCtHl4xriwcEc3qKWLsoI4tb9pCpiahVYsjSPHHxeLrNnBRj");
const QByteArray kMessage = "Corvala archive bytes for the seed\n";
constexpr quint64 kMaxArchiveBytes = 4096;

QByteArray contents(int fd)
{
    QByteArray bytes(qsizetype(::lseek(fd, 0, SEEK_END)), Qt::Uninitialized);
    return ::pread(fd, bytes.data(), size_t(bytes.size()), 0) == bytes.size() ? bytes : QByteArray();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const int input = ::memfd_create("request", MFD_CLOEXEC), output = ::memfd_create("archive", MFD_CLOEXEC);
    FUZZ_CHECK(input >= 0 && output >= 0);
    FUZZ_CHECK(::write(input, data, size) == ssize_t(size) && ::lseek(input, 0, SEEK_SET) == 0);
    ArchiveReceiver receiver(kPublicKey, kMaxArchiveBytes, QStringLiteral("/"));
    using archives::placement::Placed;
    archives::placement::Status status = receiver.receiveHeader(input);
    if (status == Placed)
        status = receiver.receiveArchive(input, output);
    const QByteArray stored = contents(output);
    FUZZ_CHECK(quint64(stored.size()) <= kMaxArchiveBytes);
    FUZZ_CHECK(status == Placed ? stored == kMessage : !receiver.errorString().isEmpty());
    ::close(input);
    ::close(output);
    return 0;
}
