#include "shell/ShellApplication.h"

#include "shell/CrashHandling.h"

#include <QEvent>
#include <QJsonObject>
#include <QMetaEnum>

namespace shell {
namespace {

QString describeReceiver(const QObject *receiver)
{
    if (!receiver)
        return QStringLiteral("(none)");
    const QString className = QString::fromLatin1(receiver->metaObject()->className());
    const QString name = receiver->objectName();
    return name.isEmpty() ? className : QStringLiteral("%1 \"%2\"").arg(className, name);
}

QString describeEvent(const QEvent *event)
{
    if (!event)
        return QStringLiteral("(none)");
    const char *key = QMetaEnum::fromType<QEvent::Type>().valueToKey(event->type());
    return key ? QString::fromLatin1(key) : QString::number(int(event->type()));
}

}  // namespace

void reportEventException(const QObject *receiver, const QEvent *event)
{
    // Read the receiver and event before handing over: the handler may run event loops.
    const QJsonObject details{{QStringLiteral("receiver"), describeReceiver(receiver)},
                              {QStringLiteral("event"), describeEvent(event)}};
    handleEventException(CrashReport::fromCurrentException(details));
}

ShellApplication::ShellApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool ShellApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportEventException(receiver, event);
        return false;
    }
}

}  // namespace shell
