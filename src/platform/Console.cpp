#include "platform/Console.h"

#include <QByteArray>

#include <mutex>
#include <unistd.h>

namespace platform {
namespace {
std::mutex sinkMutex;
ConsoleSink &currentSink()
{
    static ConsoleSink sink;
    return sink;
}
}  // namespace

void console(const QString &message)
{
    {
        std::lock_guard lock(sinkMutex);
        if (currentSink()) {
            currentSink()(message);
            return;
        }
    }
    // One write per line, so lines from two threads never mix.
    QByteArray line = message.toUtf8();
    line.append('\n');
    const char *data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, data, static_cast<size_t>(left));
        if (written <= 0)
            return;
        data += written;
        left -= written;
    }
}

void setConsoleSink(ConsoleSink sink)
{
    std::lock_guard lock(sinkMutex);
    currentSink() = std::move(sink);
}

}  // namespace platform
