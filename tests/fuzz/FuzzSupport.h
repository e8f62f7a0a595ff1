#pragma once
// What every fuzz target shares: a quiet, side-effect-free process (a fake host whose home cannot
// be written, a console that drops its lines), the input as Qt bytes, and a check that turns a
// broken promise of the parser into a finding.

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Call once from LLVMFuzzerInitialize.
void setUp();

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Reports the broken promise and aborts, which libFuzzer records as a crash.
[[noreturn]] void fail(const char *what, const char *file, int line);

}  // namespace fuzz

#define FUZZ_CHECK(condition) \
    do { \
        if (!(condition)) \
            ::fuzz::fail(#condition, __FILE__, __LINE__); \
    } while (false)
