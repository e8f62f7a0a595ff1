// What Qt resolves from the locale environment, turned into the languages a Mac would list. The
// common locales are run through the real environment in tests/integration/platform.

#include "platform/PreferredLanguages.h"

#include <gtest/gtest.h>

TEST(PreferredLanguages, EachLanguageOnceWithChineseScriptAndTerritory)
{
    const std::pair<QStringList, QStringList> rows[] = {
        {{"fr", "fr-Latn-FR", "fr-FR", "en", "en-Latn-US", "en-US"}, {"fr-FR", "en-US"}},  // LANGUAGE=fr:en
        // Chinese without a script takes the one of its territory; Macao is Traditional; an
        // explicit script wins over the territory's.
        {{"zh-MO"}, {"zh-Hant-MO"}}, {{"zh-SG"}, {"zh-Hans-SG"}}, {{"zh"}, {"zh-Hans"}}, {{"zh_TW.UTF-8"}, {"zh-Hant-TW"}},
        {{"zh-Hans-TW"}, {"zh-Hans-TW"}}, {{"es-419"}, {"es-419"}},
        // The POSIX locale is English without a territory; nothing usable still gives a language.
        {{"POSIX"}, {"en"}}, {{}, {"en"}}, {{"", "-", "1234"}, {"en"}},
    };
    for (const auto &[uiLanguages, expected] : rows)
        EXPECT_EQ(platform::PreferredLanguages::fromUiLanguages(uiLanguages), expected) << uiLanguages.join(',').toStdString();
}
