#pragma once
#include "telemetry/CoreGlobal.h"

#include "telemetry/QSLogContext.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Certificate authorities that the environment adds to the system's, named as OpenSSL programs and
// curl read them: SSL_CERT_FILE (a PEM file of one or more certificates) and SSL_CERT_DIR (folders,
// separated by ':'). A network whose proxy inspects TLS with the company's own authority needs
// this, as do tests that serve HTTPS from an authority of their own, and neither has to touch the
// machine's trust store. The system's authorities stay trusted, and verification itself (host
// names, validity, protocols) is not changed in any way. With administrator rights the variables
// are ignored (and removed from the environment), and that is recorded.
class QSTrustedAuthorities {
public:
    struct Note {
        bool isError;
        QString message;
    };

    // Starts adding the authorities to the TLS configuration that every request starts from, on a
    // thread of its own, and returns at once: Qt reads certificates slowly (the system's full list
    // takes most of a second), and the window must not wait for them. Once done, on the main
    // thread, records what it added (DEBUG) and every variable that names nothing readable
    // (ERROR). Does nothing when neither variable is set, and the second time.
    static void addFromEnvironment(const QSLogContext &context);
    // Runs then on the main thread once the authorities are in place (at once when none are being
    // added): a request made before would not trust them. Call on the main thread.
    static void whenReady(std::function<void()> then);
    // Waits until the authorities are in place; any thread.
    static void waitUntilReady();
    // The work itself, on the calling thread and without the run log: returns what
    // addFromEnvironment records. superUser: whether the process has root's rights (the
    // variables are then ignored); the platform's answer by default.
    static QList<Note> trustEnvironmentAuthorities(std::optional<bool> superUser = std::nullopt);

    QSTrustedAuthorities() = delete;
};
