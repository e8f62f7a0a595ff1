#pragma once
// Command URLs such as qsd://licenseAgreement: the whole text is compared, exactly, with the
// address QSConfigProvider::getAction builds for each command, in a fixed order; the first equal
// one posts its notification. Anything else is ignored without a word.

#include <QString>

namespace shell {

// Returns true when the text was one of the commands (and its notification has been posted).
bool dispatchCommandUrl(const QString &text);

}  // namespace shell
