#pragma once
// Bounds on the shape of a property list, checked before libplist reads it. libplist builds and
// frees its tree recursively, so deep nesting overflows the stack; and an object of a binary list
// may be referred to many times, each reference becoming a full copy in the tree, so thirty small
// objects can stand for a billion nodes. No Info.plist comes anywhere near these bounds.

#include <QByteArray>
#include <QString>

namespace platform {

class PropertyListLimits {
public:
    static constexpr int kMaxDepth = 128;          // arrays and dictionaries inside each other
    static constexpr quint64 kMaxNodes = 1 << 20;  // values in the tree that a binary list expands to

    // False, with the reason in *error, when the list is nested too deeply or, for a binary
    // list, expands to too many values or is too malformed to tell.
    static bool check(const QByteArray &bytes, QString *error);

private:
    static bool checkXml(const QByteArray &bytes, QString *error);
    static bool checkBinary(const QByteArray &bytes, QString *error);
};

}  // namespace platform
