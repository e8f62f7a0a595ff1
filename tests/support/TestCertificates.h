#pragma once
// The certificates of the TLS tests, made once per test program by make-test-certificates (with
// openssl) in a temporary folder: a test authority, a good server certificate for 127.0.0.1 and
// localhost, and the bad ones.

#include "ScopedEnv.h"

#include <QSslConfiguration>
#include <QString>

namespace TestCertificates {

enum class Server { Good, Expired, OtherHost, UnknownAuthority };

// The test authority's certificate, for SSL_CERT_FILE; empty when openssl failed.
QString authorityFile();
// PEM files of a server certificate and its key.
QString certificateFile(Server server);
QString keyFile(Server server);

// While it lives, the installer's requests trust the test authority as a machine told of it
// would: through SSL_CERT_FILE, which the installer reads at start-up. What was trusted before
// is trusted again afterwards.
class TrustedAuthority {
public:
    TrustedAuthority();
    ~TrustedAuthority();
    TrustedAuthority(const TrustedAuthority &) = delete;
    TrustedAuthority &operator=(const TrustedAuthority &) = delete;

private:
    QSslConfiguration before_ = QSslConfiguration::defaultConfiguration();
    ScopedEnv file_;
    ScopedEnv folders_;  // none but the test's: a machine may name its own folders
};

}  // namespace TestCertificates
