// What Qt resolves from the locale environment, turned into the languages a Mac would list.

#include "platform/PreferredLanguages.h"

#include <gtest/gtest.h>

using platform::PreferredLanguages;

TEST(PreferredLanguages, EachLanguageOnceWithChineseScriptAndTerritory)
{
    const struct {
        QStringList uiLanguages;
        QStringList expected;
    } rows[] = {
        // What Qt 6 gives for LANG=zh_TW, zh_HK, zh_CN, de_DE, he_IL
        {{"zh-TW", "zh-Hant-TW"}, {"zh-Hant-TW"}},
        {{"zh-HK", "zh-Hant-HK"}, {"zh-Hant-HK"}},
        {{"zh-CN", "zh-Hans-CN", "zh"}, {"zh-Hans-CN"}},
        {{"de-DE", "de-Latn-DE", "de"}, {"de-DE"}},
        {{"he-IL", "he-Hebr-IL", "he"}, {"he-IL"}},
        // LANGUAGE=fr:en
        {{"fr", "fr-Latn-FR", "fr-FR", "en", "en-Latn-US", "en-US"}, {"fr-FR", "en-US"}},
        // Chinese without a script takes the one of its territory; Macao is Traditional.
        {{"zh-MO"}, {"zh-Hant-MO"}},
        {{"zh-SG"}, {"zh-Hans-SG"}},
        {{"zh"}, {"zh-Hans"}},
        {{"zh_TW.UTF-8"}, {"zh-Hant-TW"}},
        // An explicit script wins over the territory's.
        {{"zh-Hans-TW"}, {"zh-Hans-TW"}},
        // The POSIX locale is English without a territory.
        {{"C"}, {"en"}},
        {{"POSIX"}, {"en"}},
        {{"es-419"}, {"es-419"}},
        // Nothing usable still gives a language.
        {{}, {"en"}},
        {{"", "-", "1234"}, {"en"}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(PreferredLanguages::fromUiLanguages(row.uiLanguages), row.expected) << row.uiLanguages.join(',').toStdString();
}
