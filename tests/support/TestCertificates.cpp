#include "TestCertificates.h"

#include "telemetry/QSTrustedAuthorities.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace TestCertificates {
namespace {

const QTemporaryDir &folder()
{
    static const QTemporaryDir dir = [] {
        QTemporaryDir made;
        QProcess script;
        script.setProcessChannelMode(QProcess::ForwardedChannels);
        script.start(QStringLiteral(TI_MAKE_TEST_CERTIFICATES), {made.path()});
        if (!script.waitForFinished(60000) || script.exitCode() != 0)
            qWarning("make-test-certificates failed");
        return made;
    }();
    return dir;
}

// The file names that make-test-certificates gives, in the order of Server.
QString baseName(Server server)
{
    static const char *const names[] = {"good", "expired", "other-host", "unknown"};
    return QLatin1String(names[int(server)]);
}

QString existing(const QString &path)
{
    return QFile::exists(path) ? path : QString();
}

}  // namespace

QString authorityFile()
{
    return existing(folder().filePath(QStringLiteral("authority.pem")));
}

QString certificateFile(Server server)
{
    return existing(folder().filePath(baseName(server) + QStringLiteral(".pem")));
}

QString keyFile(Server server)
{
    return existing(folder().filePath(baseName(server) + QStringLiteral(".key")));
}

TrustedAuthority::TrustedAuthority() : file_("SSL_CERT_FILE", authorityFile().toUtf8()), folders_("SSL_CERT_DIR", {})
{
    // Without records: a test may trust the authority before its own run log exists. As the person
    // the tests stand for: with root's rights, as they run here, the variables would be ignored.
    QSTrustedAuthorities::trustEnvironmentAuthorities(false);
}

TrustedAuthority::~TrustedAuthority()
{
    QSslConfiguration::setDefaultConfiguration(before_);
}

}  // namespace TestCertificates
