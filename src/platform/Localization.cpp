#include "platform/Localization.h"

#include "platform/Host.h"

#include <QCoreApplication>
#include <QFile>
#include <QTranslator>

namespace platform {

QString localizedString(const char *key)
{
    const QString text = qtTrId(key);
    if (text.isEmpty())
        return QString::fromUtf8(key);
    return text;
}

void installTranslations(QCoreApplication &app)
{
    static QTranslator *installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    QStringList candidates;
    for (const QString &tag : host().preferredLanguages()) {
        candidates << tag << tag.section(QLatin1Char('-'), 0, 0);
    }
    candidates << QStringLiteral("en");
    for (const QString &language : candidates) {
        const QString path = QStringLiteral(":/i18n/installer_%1.qm").arg(language);
        if (!QFile::exists(path))
            continue;
        auto *translator = new QTranslator(&app);
        if (translator->load(path)) {
            QCoreApplication::installTranslator(translator);
            installed = translator;
            return;
        }
        delete translator;
    }
}

}  // namespace platform
