#include "archive/BundleVersion.h"

#include "platform/Bundle.h"

#include <QFile>
#include <QStringList>

#include <sys/stat.h>

namespace archives {
namespace {

// The leading digits of a component without leading zeros: compared by length, then by text, so
// no number is too large.
QString numberOf(const QString &component)
{
    qsizetype end = 0;
    while (end < component.size() && component.at(end).isDigit() && component.at(end).unicode() < 128)
        ++end;
    qsizetype start = 0;
    while (start < end && component.at(start) == QLatin1Char('0'))
        ++start;
    return component.mid(start, end - start);
}

}  // namespace

BundleVersion BundleVersion::ofBundle(const QString &bundlePath)
{
    const auto info = platform::Bundle::infoOfBundleAt(bundlePath);
    if (!info)
        return {};
    return {info->value(QStringLiteral("CFBundleShortVersionString")).toString().trimmed(),
            info->value(QStringLiteral("CFBundleVersion")).toString().trimmed()};
}

int BundleVersion::compareText(const QString &a, const QString &b)
{
    const QStringList left = a.split(QLatin1Char('.'));
    const QStringList right = b.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < qMax(left.size(), right.size()); ++i) {
        const QString x = i < left.size() ? numberOf(left.at(i)) : QString();
        const QString y = i < right.size() ? numberOf(right.at(i)) : QString();
        if (x.size() != y.size())
            return x.size() < y.size() ? -1 : 1;
        if (const int order = x.compare(y); order != 0)
            return order < 0 ? -1 : 1;
    }
    return 0;
}

int BundleVersion::compare(const BundleVersion &a, const BundleVersion &b)
{
    if (const int order = compareText(a.shortVersion, b.shortVersion); order != 0)
        return order;
    return compareText(a.buildVersion, b.buildVersion);
}

QString BundleVersion::text() const
{
    if (shortVersion.isEmpty() && buildVersion.isEmpty())
        return QStringLiteral("none");
    if (buildVersion.isEmpty())
        return shortVersion;
    return QStringLiteral("%1 (%2)").arg(shortVersion, buildVersion);
}

QString BundleVersion::refusalToReplace(const QString &installedPath, const QString &incomingPath)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(installedPath).constData(), &info) != 0)
        return {};  // nothing installed yet
    const BundleVersion installed = ofBundle(installedPath);
    const BundleVersion incoming = ofBundle(incomingPath);
    if (compare(incoming, installed) >= 0)
        return {};
    return QStringLiteral("version %1 is older than the installed %2").arg(incoming.text(), installed.text());
}

}  // namespace archives
