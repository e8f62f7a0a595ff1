#include "platform/PreferredLanguages.h"

#include <QLocale>
#include <QRegularExpression>

namespace platform {
namespace {

struct Tag {
    QString language;  // "zh"
    QString script;    // "Hant", or empty
    QString territory; // "TW", or empty
};

bool isPosixLocale(const QString &tag)
{
    return tag == QLatin1String("C") || tag == QLatin1String("POSIX") || tag.startsWith(QLatin1String("C."))
           || tag.startsWith(QLatin1String("C-"));
}

// Splits "zh-Hant-TW", "zh_TW.UTF-8@euro" or "es-419" into its parts; the language is empty when
// the tag does not start with one.
Tag parse(const QString &tag)
{
    static const QRegularExpression separators(QStringLiteral("[-_]"));
    QString bare = tag.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    const QStringList parts = bare.split(separators, Qt::SkipEmptyParts);
    Tag result;
    static const QRegularExpression language(QStringLiteral("^[A-Za-z]{2,3}$"));
    if (parts.isEmpty() || !language.match(parts.first()).hasMatch())
        return result;
    result.language = parts.first().toLower();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString &part = parts[i];
        const bool digits = part.size() == 3 && part.toInt() > 0;
        if (part.size() == 4 && result.script.isEmpty() && result.territory.isEmpty())
            result.script = part.left(1).toUpper() + part.mid(1).toLower();
        else if ((part.size() == 2 || digits) && result.territory.isEmpty())
            result.territory = part.toUpper();
    }
    return result;
}

// Chinese is written in two scripts, and the pages and the licence differ between them: a tag
// without a script takes the one that Qt's likely-subtag data gives for its territory (Taiwan,
// Hong Kong and Macao are Traditional, the rest Simplified).
QString chineseScript(const Tag &tag)
{
    if (tag.script == QLatin1String("Hant") || tag.script == QLatin1String("Hans"))
        return tag.script;
    const QString probe = tag.territory.isEmpty() ? QStringLiteral("zh") : QStringLiteral("zh_") + tag.territory;
    return QLocale(probe).script() == QLocale::TraditionalHanScript ? QStringLiteral("Hant") : QStringLiteral("Hans");
}

}  // namespace

QStringList PreferredLanguages::fromUiLanguages(const QStringList &uiLanguages)
{
    QStringList order;          // languages in Qt's order
    QList<Tag> chosen;          // one tag per language
    for (const QString &entry : uiLanguages) {
        Tag tag = isPosixLocale(entry) ? Tag{QStringLiteral("en"), {}, {}} : parse(entry);
        if (tag.language.isEmpty())
            continue;
        const qsizetype known = order.indexOf(tag.language);
        if (known < 0) {
            order << tag.language;
            chosen << tag;
            continue;
        }
        // A later form of the same language may add what the first left out ("zh-TW", then
        // "zh-Hant-TW").
        Tag &first = chosen[known];
        if (first.territory.isEmpty())
            first.territory = tag.territory;
        if (first.script.isEmpty() && (tag.territory.isEmpty() || tag.territory == first.territory))
            first.script = tag.script;
    }
    QStringList languages;
    for (const Tag &tag : std::as_const(chosen)) {
        QString text = tag.language;
        if (tag.language == QLatin1String("zh"))
            text += QLatin1Char('-') + chineseScript(tag);
        if (!tag.territory.isEmpty())
            text += QLatin1Char('-') + tag.territory;
        languages << text;
    }
    if (languages.isEmpty())
        languages << QStringLiteral("en");
    return languages;
}

}  // namespace platform
