#pragma once
// The user's preferred languages in the form a Mac gives them ("en-US", "de-DE", "zh-Hant-TW",
// "zh-Hans-CN"), made from the tags that Qt resolves from the locale environment.

#include <QString>
#include <QStringList>

namespace platform {

class PreferredLanguages {
public:
    // Qt lists each language several times ("de-DE", "de-Latn-DE", "de"); the result names each
    // language once, in Qt's order: language, then script where it matters (Chinese always),
    // then territory when one was named. The "C" and "POSIX" locales are English without a
    // territory. Never empty.
    static QStringList fromUiLanguages(const QStringList &uiLanguages);

    PreferredLanguages() = delete;
};

}  // namespace platform
