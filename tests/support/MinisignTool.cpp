#include "MinisignTool.h"
#include "TestEnv.h"

#include <QFile>
#include <QProcess>

namespace {

// Runs minisign to its end; the error text when it failed.
QString runMinisign(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("minisign"), arguments);
    if (!process.waitForFinished(30000))
        return QStringLiteral("minisign did not run: %1").arg(process.errorString());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("minisign failed: %1").arg(QString::fromLocal8Bit(process.readAll()));
    return {};
}

}  // namespace

MinisignTool::MinisignTool()
{
    failure_ = runMinisign({"-G", "-W", "-p", dir_.filePath("key.pub"), "-s", dir_.filePath("key.sec")});
    valid_ = failure_.isEmpty();
}

QByteArray MinisignTool::publicKeyFile() const
{
    return readFile(dir_.filePath("key.pub"));
}

QByteArray MinisignTool::publicKeyLine() const
{
    const QList<QByteArray> lines = publicKeyFile().trimmed().split('\n');
    return lines.isEmpty() ? QByteArray() : lines.last().trimmed();
}

QByteArray MinisignTool::sign(const QByteArray &data, const QByteArray &trustedComment, bool legacy) const
{
    const QString file = dir_.filePath("signed.bin");
    const QString signature = dir_.filePath("signed.bin.minisig");
    QFile::remove(signature);
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(data) != data.size())
        return {};
    out.close();
    QStringList arguments{"-S", "-s", dir_.filePath("key.sec"), "-m", file, "-x", signature,
                          "-t", QString::fromUtf8(trustedComment)};
    if (legacy)
        arguments << "-l";
    if (!runMinisign(arguments).isEmpty())
        return {};
    return readFile(signature);
}
