#pragma once
// What the installer and the privileged placement helper say to each other.
//
// The installer starts the helper through pkexec when Install is pressed. Once pkexec has the
// authorisation and the helper has read its own settings, the helper writes kReadyLine. Later the
// installer writes the request on the helper's standard input: header lines "<key> <value>", an
// empty line, then exactly "length" bytes of archive, then closes the stream. The helper places
// the bundle in one step and writes one answer line before it exits with one of the statuses below.
//
// A stream that ends early (the installer quit) is refused before anything is extracted, so a
// placement either runs whole or never starts.

#include <QByteArray>

namespace platform::placement {

inline constexpr char kReadyLine[] = "ready";
inline constexpr char kPlacedPrefix[] = "placed ";   // "placed <bundle path>"
inline constexpr char kErrorPrefix[] = "error ";     // "error <reason>"

// Header keys.
inline constexpr char kLengthKey[] = "length";        // decimal byte count of the archive
inline constexpr char kSignatureKey[] = "signature";  // base64 of the whole .minisig text

// The longest header the helper reads; the archive itself is bounded by the free space.
inline constexpr int kMaxHeaderBytes = 64 * 1024;

enum Status : int {
    Placed = 0,
    BadRequest = 1,        // malformed header, or fewer archive bytes than announced
    NotConfigured = 2,     // the helper's own settings are missing or not trustworthy
    SignatureRejected = 3, // the archive does not carry a valid signature for the bundle's key
    ExtractFailed = 4,     // not a readable archive, or a hostile entry
    BadBundle = 5,         // no bundle of the configured name with an executable inside
    PlaceFailed = 6,       // the bundle could not be swapped into the applications folder
    // pkexec's own statuses: the person dismissed the dialog or was not authorised (126), or no
    // authorisation could be obtained at all (127).
    PkexecNotAuthorized = 126,
    PkexecFailed = 127,
};

}  // namespace platform::placement
