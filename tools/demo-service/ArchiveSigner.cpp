#include "ArchiveSigner.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace demo {

std::optional<QByteArray> ArchiveSigner::sign(const QString &archivePath, const QString &secretKeyPath,
                                              const QString &trustedComment, QString *error)
{
    const QTemporaryDir dir;
    const QString signature = dir.filePath(QStringLiteral("archive.minisig"));
    QProcess minisign;
    minisign.setProcessChannelMode(QProcess::MergedChannels);
    minisign.start(QStringLiteral("minisign"), {QStringLiteral("-S"), QStringLiteral("-s"), secretKeyPath, QStringLiteral("-m"),
                                                archivePath, QStringLiteral("-x"), signature, QStringLiteral("-t"), trustedComment});
    minisign.closeWriteChannel();
    if (!minisign.waitForFinished(30000) || minisign.exitStatus() != QProcess::NormalExit || minisign.exitCode() != 0) {
        *error = QStringLiteral("minisign could not sign %1: %2 %3")
                     .arg(archivePath, minisign.errorString(), QString::fromLocal8Bit(minisign.readAll()).trimmed());
        return std::nullopt;
    }
    QFile file(signature);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(signature, file.errorString());
        return std::nullopt;
    }
    return file.readAll();
}

}  // namespace demo
