// The archive's signature: when the bundle carries a minisign public key, every downloaded body
// must match the signature that the configuration gives for it, or nothing of it is extracted.
#include "engine/QSInstallFlow.h"

#include "archive/MinisignVerifier.h"
#include "config/QSConfig.h"
#include "config/QSConfigProvider.h"
#include "engine/QSFlowTexts.h"
#include "platform/Host.h"
#include "telemetry/QSAnalyticSender.h"
#include "telemetry/QSLogger.h"

using namespace flowtext;

namespace {

const QString kArchivePublicKey = QStringLiteral("kQSArchivePublicKey");
const QString kSignatureFailed = QStringLiteral("Signature verification failed");

}  // namespace

bool QSInstallFlow::armSignatureCheck(QSDownloader &downloader)
{
    signatureCheck_.reset();
    // A missing or empty key means the build does not sign its archives. A key that is there but
    // malformed refuses every archive: a broken key must never turn the check off.
    const QString key = QSConfigProvider::getStringFromPlist(kArchivePublicKey).trimmed();
    if (key.isEmpty()) {
        // No key, no root: running as the superuser, however it was started (sudo, pkexec, a
        // login, su), the installer places only what the maker signed. (The helper checks itself.)
        // The words avoid the account's name, which the log masks.
        if (privileged_.isNull() && platform::host().isSuperUser()) {
            signatureFailed(kBegin, QStringLiteral("the installer has administrator rights and its Info.plist carries no %1, "
                                                   "so it places no unsigned archive")
                                        .arg(kArchivePublicKey));
            return false;
        }
        return true;
    }
    QString problem;
    const QByteArray keyText = key.toUtf8(), signatureText = config_->latestMacSignature.toUtf8();
    signatureCheck_ = archives::MinisignVerifier::create(keyText, signatureText, &problem);
    if (!signatureCheck_) {
        if (config_->latestMacSignature.isNull())
            problem = QStringLiteral("the configuration has no signature for the archive");
        signatureFailed(kBegin, problem);
        return false;
    }
    if (!privileged_.isNull()) {
        // Placed through the helper, the archive is checked there, with the key of the helper's
        // own bundle, before anything of it is read, and a refusal is told as this check tells
        // one. Hashing it here as well would only hold up the download (about 2 s a GiB).
        signatureCheck_.reset();
        return true;
    }
    // The downloader hands over every byte of the body from the first, bytes of an earlier
    // attempt that it resumes included; when the server sends the body whole again, the hash
    // starts over with it. Both run on the download's thread, which then has the hash to itself:
    // this thread touches signatureCheck_ only before start(), after cancel() (which returns once
    // that thread has ended) and in signatureHolds(), reached from the outcome, which arrives
    // after the last body byte and after that thread has ended.
    downloader.onBodyBytes = [this](QByteArrayView bytes) { signatureCheck_->addData(bytes); };
    downloader.onBodyRestarted = [this, keyText, signatureText] {
        signatureCheck_ = archives::MinisignVerifier::create(keyText, signatureText, nullptr);
    };
    return true;
}

bool QSInstallFlow::signatureHolds()
{
    if (!signatureCheck_)
        return true;
    QString problem;
    const bool holds = signatureCheck_->verify(&problem);
    const QString comment = QString::fromUtf8(signatureCheck_->trustedComment());
    signatureCheck_.reset();
    if (!holds) {
        signatureFailed(kFinished, problem);
        return false;
    }
    signatureVerified(comment);
    return true;
}

void QSInstallFlow::signatureVerified(const QString &trustedComment)
{
    QSLogger::debug(QStringLiteral("Archive signature verified (trusted comment: %1)").arg(trustedComment),
                    QS_FLOW_CONTEXT(kFinished));
}

void QSInstallFlow::signatureFailed(const QString &function, const QString &problem)
{
    QSLogger::error(QStringLiteral("[Attempt %1 ] :Download %2 installer failed (error = %3: %4)")
                        .arg(downloadAttempt_)
                        .arg(kProductName, kSignatureFailed, problem),
                    QS_FLOW_CONTEXT(function));
    removeTemporaryFiles();
    signatureRefused_ = true;
    // Not retried: the same host would send the same bytes, and a forged archive stays forged.
    screens_.makeMainViewVisible();
    showGenericError(QStringLiteral("Download Error"));
    QJsonObject data = productFields(kFail);
    data.insert(QStringLiteral("RSN"), kSignatureFailed);
    data.insert(QStringLiteral("T"), QSAnalyticSender::singlePrecision(secondsSinceDownloadStart()));
    data.insert(QStringLiteral("Tries"), qint64(downloadAttempt_));
    sendEvent(QStringLiteral("Download"), data);
}
