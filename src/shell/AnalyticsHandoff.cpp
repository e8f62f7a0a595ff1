#include "shell/AnalyticsHandoff.h"

#include "telemetry/QSNotificationNames.h"

#include <QPointer>
#include <QThread>

namespace shell {
namespace {

// An endpoint is a non-empty text; no object, JSON null or an empty text leaves none.
QString endpointFrom(const QVariant &object)
{
    if (!object.isValid() || object.isNull())
        return QString();
    const QString text = object.toString();
    return text.isEmpty() ? QString() : text;
}

}  // namespace

AnalyticsHandoff::AnalyticsHandoff(QObject *parent)
    : QObject(parent)
{
}

AnalyticsHandoff::~AnalyticsHandoff()
{
    stopObserving();
}

void AnalyticsHandoff::startObserving()
{
    if (!tokens_.empty())
        return;
    observe(QSNotificationNames::kLogAnalytics, &AnalyticsHandoff::addAnalytics);
    observe(QSNotificationNames::kChangeAnalyticsUrl, &AnalyticsHandoff::changeAnalyticsUrl);
    observe(QSNotificationNames::kChangeLogUploadUrl, &AnalyticsHandoff::changeLogUploadUrl);
}

void AnalyticsHandoff::stopObserving()
{
    for (const auto token : tokens_)
        platform::NotificationCenter::defaultCenter().removeObserver(token);
    tokens_.clear();
}

void AnalyticsHandoff::observe(const QString &name, void (AnalyticsHandoff::*handler)(const platform::Notification &))
{
    QPointer<AnalyticsHandoff> self(this);
    tokens_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        name, [self, handler](const platform::Notification &notification) {
            if (!self)
                return;
            if (QThread::currentThread() == self->thread()) {
                (self.data()->*handler)(notification);
                return;
            }
            QMetaObject::invokeMethod(
                self.data(),
                [self, handler, notification] {
                    if (self)
                        (self.data()->*handler)(notification);
                },
                Qt::QueuedConnection);
        }));
}

void AnalyticsHandoff::addAnalytics(const platform::Notification &notification)
{
    // The installer always sends an event text; anything without one carries nothing to send.
    const QString eventText = notification.object.isValid() ? notification.object.toString() : QString();
    if (!eventText.isEmpty())
        queue_.append(eventText);
}

void AnalyticsHandoff::changeAnalyticsUrl(const platform::Notification &notification)
{
    analyticsUrl_ = endpointFrom(notification.object);
}

void AnalyticsHandoff::changeLogUploadUrl(const platform::Notification &notification)
{
    logUploadUrl_ = endpointFrom(notification.object);
}

}  // namespace shell
