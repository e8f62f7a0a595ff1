#include "platform/Host.h"

#include "platform/LinuxHost.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<Host *> replacementHost{nullptr};

Host &systemHost()
{
    static LinuxHost instance;
    return instance;
}
}  // namespace

Host &host()
{
    Host *replacement = replacementHost.load(std::memory_order_acquire);
    return replacement ? *replacement : systemHost();
}

void setHost(Host *replacement)
{
    replacementHost.store(replacement, std::memory_order_release);
}

}  // namespace platform
