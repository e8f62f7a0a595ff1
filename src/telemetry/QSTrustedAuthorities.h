#pragma once
#include "telemetry/CoreGlobal.h"

#include "telemetry/QSLogContext.h"

#include <QList>
#include <QString>

// Certificate authorities that the environment adds to the system's, named as OpenSSL programs and
// curl read them: SSL_CERT_FILE (a PEM file of one or more certificates) and SSL_CERT_DIR (folders,
// separated by ':'). A network whose proxy inspects TLS with the company's own authority needs
// this, as do tests that serve HTTPS from an authority of their own, and neither has to touch the
// machine's trust store. The system's authorities stay trusted, and verification itself (host
// names, validity, protocols) is not changed in any way.
class QSTrustedAuthorities {
public:
    struct Note {
        bool isError;
        QString message;
    };

    // Adds the authorities to the TLS configuration that every request made afterwards starts
    // from. Records what it added (DEBUG) and every variable that names nothing readable (ERROR);
    // does nothing when neither variable is set.
    static void addFromEnvironment(const QSLogContext &context);
    // The same without the run log: returns what addFromEnvironment records.
    static QList<Note> trustEnvironmentAuthorities();

    QSTrustedAuthorities() = delete;
};
