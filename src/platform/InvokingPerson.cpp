#include "platform/InvokingPerson.h"

#include <QProcess>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace platform {
namespace {

constexpr char kSetpriv[] = "/usr/bin/setpriv";
constexpr char kDefaultPath[] = "/usr/local/bin:/usr/bin:/bin";

struct PasswordEntry {
    gid_t gid = 0;
    QString name;
    QString home;
};

std::optional<PasswordEntry> passwordEntry(uid_t uid)
{
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd *result = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &result) != 0 || !result)
        return std::nullopt;
    return PasswordEntry{result->pw_gid, QString::fromLocal8Bit(result->pw_name), QString::fromLocal8Bit(result->pw_dir)};
}

}  // namespace

std::optional<InvokingPerson> InvokingPerson::current()
{
    static const std::optional<InvokingPerson> person = find(::getuid(), QProcessEnvironment::systemEnvironment());
    return person;
}

std::optional<InvokingPerson> InvokingPerson::find(uid_t realUid, const QProcessEnvironment &environment)
{
    if (realUid != 0)
        return std::nullopt;
    for (const char *variable : {"PKEXEC_UID", "SUDO_UID"}) {
        bool ok = false;
        const uint uid = environment.value(QString::fromLatin1(variable)).toUInt(&ok);
        if (!ok || uid == 0)
            continue;
        const auto entry = passwordEntry(uid_t(uid));
        if (!entry)
            return std::nullopt;
        return InvokingPerson{uid_t(uid), entry->gid, entry->name};
    }
    return std::nullopt;
}

QProcessEnvironment InvokingPerson::cleanEnvironment(const QProcessEnvironment &ours) const
{
    QProcessEnvironment clean;
    const auto entry = passwordEntry(uid);
    clean.insert(QStringLiteral("HOME"), entry ? entry->home : QStringLiteral("/"));
    clean.insert(QStringLiteral("USER"), name);
    clean.insert(QStringLiteral("LOGNAME"), name);
    clean.insert(QStringLiteral("PATH"), QString::fromLatin1(kDefaultPath));
    for (const QString &key : ours.keys()) {
        const bool kept = key == QLatin1String("DISPLAY") || key == QLatin1String("WAYLAND_DISPLAY")
            || key == QLatin1String("XDG_RUNTIME_DIR") || key == QLatin1String("DBUS_SESSION_BUS_ADDRESS")
            || key == QLatin1String("LANG") || key.startsWith(QLatin1String("LC_"));
        if (kept)
            clean.insert(key, ours.value(key));
    }
    return clean;
}

QStringList InvokingPerson::commandAs(const QString &program, const QStringList &arguments) const
{
    return QStringList{QString::fromLatin1(kSetpriv), QStringLiteral("--reuid=%1").arg(uid),
                       QStringLiteral("--regid=%1").arg(gid), QStringLiteral("--init-groups"), QStringLiteral("--"),
                       program}
        + arguments;
}

bool InvokingPerson::startDetached(const QString &program, const QStringList &arguments, QString *error) const
{
    QStringList command = commandAs(program, arguments);
    QProcess process;
    process.setProgram(command.takeFirst());
    process.setArguments(command);
    process.setProcessEnvironment(cleanEnvironment(QProcessEnvironment::systemEnvironment()));
    process.setWorkingDirectory(cleanEnvironment({}).value(QStringLiteral("HOME")));
    if (!process.startDetached()) {
        if (error)
            *error = QStringLiteral("could not start %1 as %2").arg(program, name);
        return false;
    }
    return true;
}

}  // namespace platform
