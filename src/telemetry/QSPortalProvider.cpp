#include "telemetry/QSPortalProvider.h"

#include "platform/Console.h"
#include "platform/Host.h"
#include "telemetry/QSSystemInfo.h"

#include <QCryptographicHash>
#include <QMutex>

namespace {

struct Identifier {
    QMutex mutex;
    QString value;
};

Identifier &identifier()
{
    static Identifier instance;
    return instance;
}

}  // namespace

QString QSPortalProvider::hexadecimalString(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

QString QSPortalProvider::ciFrom(const QString &macAddress, const QString &homeDirectory)
{
    const QString source = QStringLiteral("%1_%2").arg(macAddress.isNull() ? QStringLiteral("(null)") : macAddress,
                                                       homeDirectory);
    // ASCII for ASCII-only input, as everywhere; UTF-8 keeps other home directories distinct
    // instead of failing to make an identifier.
    const QByteArray digest = QCryptographicHash::hash(source.toUtf8(), QCryptographicHash::Sha256);
    QString ci = hexadecimalString(digest).left(36);
    ci[8] = QLatin1Char('-');
    ci[13] = QLatin1Char('-');
    ci[14] = QLatin1Char('4');
    ci[18] = QLatin1Char('-');
    ci[19] = QLatin1Char('8');
    ci[23] = QLatin1Char('-');
    return ci;
}

void QSPortalProvider::createCi()
{
    const QString mac = QSSystemInfo::getMacAddress();
    const QString home = platform::host().homeDirectory();
    platform::console(QStringLiteral("Home directory is %1").arg(home));
    platform::console(QStringLiteral("MAC Address %1").arg(mac.isNull() ? QStringLiteral("(null)") : mac));
    const QString ci = ciFrom(mac, home);
    QMutexLocker lock(&identifier().mutex);
    identifier().value = ci;
}

QString QSPortalProvider::getCi()
{
    {
        QMutexLocker lock(&identifier().mutex);
        if (!identifier().value.isNull())
            return identifier().value;
    }
    // Making the identifier may log (an unreadable interface listing, say); those records are
    // written without an identifier instead of starting another creation.
    thread_local bool creating = false;
    if (creating)
        return {};
    creating = true;
    createCi();
    creating = false;
    QMutexLocker lock(&identifier().mutex);
    return identifier().value;
}

void QSPortalProvider::resetForTesting()
{
    QMutexLocker lock(&identifier().mutex);
    identifier().value = QString();
}
