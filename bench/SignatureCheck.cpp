// The signature check's peer in bench/signature: reads a file in 1 MiB pieces, as the download
// writes them, through the installer's own verifier, and prints the seconds it took.
//
//   bench-signature <public key file> <.minisig file> <file>

#include "archive/MinisignVerifier.h"

#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench-signature <public key file> <.minisig file> <file>\n");
        return 2;
    }
    QFile key(QString::fromLocal8Bit(argv[1])), signature(QString::fromLocal8Bit(argv[2])),
        data(QString::fromLocal8Bit(argv[3]));
    if (!key.open(QIODevice::ReadOnly) || !signature.open(QIODevice::ReadOnly) || !data.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "bench-signature: cannot read the inputs\n");
        return 2;
    }
    QElapsedTimer timer;
    timer.start();
    QString error;
    auto verifier = archives::MinisignVerifier::create(key.readAll(), signature.readAll(), &error);
    if (!verifier) {
        std::fprintf(stderr, "bench-signature: %s\n", qPrintable(error));
        return 1;
    }
    QByteArray piece(1 << 20, Qt::Uninitialized);
    for (qint64 n; (n = data.read(piece.data(), piece.size())) > 0;)
        verifier->addData(QByteArrayView(piece.constData(), n));
    const bool verified = verifier->verify(&error);
    std::printf("%.6f\n", double(timer.nsecsElapsed()) / 1e9);
    if (!verified)
        std::fprintf(stderr, "bench-signature: %s\n", qPrintable(error));
    return verified ? 0 : 1;
}
