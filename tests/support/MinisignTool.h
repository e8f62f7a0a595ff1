#pragma once
// Key pairs and signatures made by the real minisign tool, kept in a temporary folder, so tests
// check our verifier against what signers actually produce.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class MinisignTool {
public:
    // Generates a key pair without a password; isValid() tells whether minisign ran.
    MinisignTool();

    bool isValid() const { return valid_; }
    QString failure() const { return failure_; }

    // The key line alone ("RW...") and the whole ".pub" file.
    QByteArray publicKeyLine() const;
    QByteArray publicKeyFile() const;
    // The whole ".minisig" text for data; legacy makes the non-prehashed kind. Empty on failure.
    QByteArray sign(const QByteArray &data, const QByteArray &trustedComment = "build 1234", bool legacy = false) const;

private:
    QTemporaryDir dir_;
    bool valid_ = false;
    QString failure_;
};
