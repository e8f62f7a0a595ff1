// Minisign texts: the signature that the configuration carries for an archive (and that the
// placement helper receives), and the public key line of a bundle. Whatever the bytes, parsing
// ends in a signature or a reason, and a verification of a fixed message says yes only for the
// one signature that minisign made for it.

#include "FuzzSupport.h"

#include "archive/MinisignVerifier.h"

namespace {

// Made with `minisign -G -W` and `minisign -S -t "file:Corvala.zip build:2.4.1"` over kMessage;
// the same signature is the seed seeds/signature/good.minisig.
const QByteArray kPublicKey = "RWSHRbPKpCtHl4xriwcEc3qKWLsoI4tb9pCpiahVYsjSPHHxeLrNnBRj";
const QByteArray kMessage = "Corvala archive bytes for the seed\n";
const QByteArray kGoodSignature = "RUSHRbPKpCtHl9V0HjOxk6cQR4ZUeC4u1KXabuFz3Y1ejl4BZD1umnwqn+mdtqBtHu5x01goeHhTU/sfDUwTr+18mg8qyP3EXQg=";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = fuzz::bytes(data, size);
    QString error;
    if (!archives::MinisignVerifier::parsePublicKey(text, &error))
        FUZZ_CHECK(!error.isEmpty());

    error.clear();
    const auto signature = archives::MinisignVerifier::parseSignature(text, &error);
    if (!signature) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    // Parsed: check it against the fixed key and message, fed in two pieces as a download would.
    std::unique_ptr<archives::MinisignVerifier> verifier = archives::MinisignVerifier::create(kPublicKey, text, &error);
    FUZZ_CHECK(verifier != nullptr);
    verifier->addData(QByteArrayView(kMessage).first(10));
    verifier->addData(QByteArrayView(kMessage).sliced(10));
    QString reason;
    if (verifier->verify(&reason))
        FUZZ_CHECK(text.contains(kGoodSignature));  // only minisign's own signature holds
    else
        FUZZ_CHECK(!reason.isEmpty());
    return 0;
}
