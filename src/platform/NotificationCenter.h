#pragma once
// The in-process notification centre: named notifications with an optional object, delivered
// synchronously to every observer of that name, in registration order, on the posting thread.
// Safe to register and post from any thread; an observer may register or remove observers while
// it is being called.

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

struct Notification {
    QString name;
    QVariant object;  // invalid QVariant: no object
};

class NotificationCenter {
public:
    using Handler = std::function<void(const Notification &)>;
    using Token = quint64;

    static NotificationCenter &defaultCenter();

    Token addObserver(const QString &name, Handler handler);
    void removeObserver(Token token);
    void post(const QString &name, const QVariant &object = QVariant());

    // Test support: forget every observer.
    void removeAllObservers();

private:
    struct Entry {
        Token token;
        QString name;
        std::shared_ptr<Handler> handler;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
    Token nextToken_ = 1;
};

}  // namespace platform
