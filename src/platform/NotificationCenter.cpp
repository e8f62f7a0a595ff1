#include "platform/NotificationCenter.h"

#include <algorithm>

namespace platform {

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString &name, Handler handler)
{
    std::lock_guard lock(mutex_);
    const Token token = nextToken_++;
    entries_.push_back({token, name, std::make_shared<Handler>(std::move(handler))});
    return token;
}

void NotificationCenter::removeObserver(Token token)
{
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [token](const Entry &entry) { return entry.token == token; });
}

void NotificationCenter::removeAllObservers()
{
    std::lock_guard lock(mutex_);
    entries_.clear();
}

void NotificationCenter::post(const QString &name, const QVariant &object)
{
    // Deliver outside the lock, to a snapshot: observers may post, register or remove while
    // they run without deadlocking or invalidating the walk.
    std::vector<std::shared_ptr<Handler>> receivers;
    {
        std::lock_guard lock(mutex_);
        for (const Entry &entry : entries_) {
            if (entry.name == name)
                receivers.push_back(entry.handler);
        }
    }
    const Notification notification{name, object};
    for (const auto &handler : receivers)
        (*handler)(notification);
}

}  // namespace platform
