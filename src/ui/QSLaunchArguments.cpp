#include "ui/QSLaunchArguments.h"

QSLaunchArguments QSLaunchArguments::scan(const QStringList &arguments)
{
    QSLaunchArguments result;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("launched-from-drive")) {
            result.launchedFromDrive = true;
            result.target = QStringLiteral("QSINST");
        } else if (argument == QLatin1String("--installSilent")) {
            result.target = QStringLiteral("QSTI");
            result.data = QStringLiteral("Install");
        } else if (argument == QLatin1String("--updateSilent")) {
            result.target = QStringLiteral("QSTI");
            result.data = QStringLiteral("Update");
        }
    }
    return result;
}
