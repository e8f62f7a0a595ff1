#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>

#include <sys/types.h>

namespace platform {

// The person behind an installer that runs as root because it was started through sudo or pkexec
// (SUDO_UID or PKEXEC_UID set). Files under HOME are that person's, and what the installer starts
// for them (the product, the links they click) runs as them, not as root.
struct InvokingPerson {
    uid_t uid = 0;
    gid_t gid = 0;
    QString name;  // from the password entry

    // nullopt unless the real user is root and SUDO_UID or PKEXEC_UID names a person with an
    // entry in the password database. Read once.
    static std::optional<InvokingPerson> current();
    static std::optional<InvokingPerson> find(uid_t realUid, const QProcessEnvironment &environment);

    // HOME, USER and LOGNAME from the password entry; the display, the session bus, the runtime
    // folder and the language from ours; a default PATH. Nothing else of root's environment.
    QProcessEnvironment cleanEnvironment(const QProcessEnvironment &ours) const;
    // The command that runs program as the person, with their groups.
    QStringList commandAs(const QString &program, const QStringList &arguments) const;
    // Starts program detached as the person with the clean environment.
    bool startDetached(const QString &program, const QStringList &arguments, QString *error) const;
};

}  // namespace platform
