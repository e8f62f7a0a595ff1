#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread. The signal handler only
// writes the signal number into a socket pair; everything else happens in the event loop.
// One watcher at a time; destroying it restores the previous dispositions.

#include <QObject>

#include <csignal>
#include <vector>

class QSocketNotifier;

namespace shell {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    // False (with the reason on the console) when the socket pair or a handler could not be set.
    bool isActive() const { return active_; }

signals:
    void received(int signalNumber);

private:
    void drain();

    int fds_[2] = {-1, -1};
    QSocketNotifier *notifier_ = nullptr;
    struct Saved {
        int signalNumber;
        struct sigaction action;
    };
    std::vector<Saved> saved_;
    bool active_ = false;
};

}  // namespace shell
