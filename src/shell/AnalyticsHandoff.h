#pragma once
// What the shell keeps for the exit: the analytics events of the run and the two endpoints that
// the configuration names. Filled through three notifications; owned by the main thread (a
// notification posted from another thread is carried over to it before it touches anything).

#include <QObject>
#include <QStringList>

#include "platform/NotificationCenter.h"

#include <vector>

namespace shell {

class AnalyticsHandoff : public QObject {
    Q_OBJECT
public:
    explicit AnalyticsHandoff(QObject *parent = nullptr);
    ~AnalyticsHandoff() override;

    // Registers the observers of "LOG_ANALYTICS", "CHANGE_ANALYTICS_URL", "CHANGE_LOGUPLOAD_URL".
    void startObserving();
    void stopObserving();

    const QStringList &queue() const { return queue_; }
    void append(const QString &eventText) { queue_.append(eventText); }
    // Null when not set (or cleared by a notification without a usable object).
    QString analyticsUrl() const { return analyticsUrl_; }
    QString logUploadUrl() const { return logUploadUrl_; }

    void addAnalytics(const platform::Notification &notification);
    void changeAnalyticsUrl(const platform::Notification &notification);
    void changeLogUploadUrl(const platform::Notification &notification);

private:
    void observe(const QString &name, void (AnalyticsHandoff::*handler)(const platform::Notification &));

    QStringList queue_;
    QString analyticsUrl_;
    QString logUploadUrl_;
    std::vector<platform::NotificationCenter::Token> tokens_;
};

}  // namespace shell
