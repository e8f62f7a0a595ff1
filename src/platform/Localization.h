#pragma once
// Localised texts by key. The tables are Qt Linguist id-based translations chosen by the user's
// preferred languages; a key without text gives the key itself.

#include <QString>

class QCoreApplication;

namespace platform {

QString localizedString(const char *key);
inline QString localizedString(const QString &key) { return localizedString(key.toUtf8().constData()); }

// Loads the table for the first preferred language that has one (English otherwise).
void installTranslations(QCoreApplication &app);

}  // namespace platform
