#pragma once
// What the installer and the privileged placement helper say to each other.
//
// The installer starts the helper through pkexec when Install is pressed. Once pkexec has the
// authorisation the helper writes kStartedLine, and once it has read its own settings and cleaned
// up, kReadyLine; from "started" on the installer waits for each answer within a bound. Later the
// installer writes the request on the helper's standard input while it downloads the archive:
// header lines "<key> <value>" (the signature, the most download attempts) and an empty line, then frames, each a line and what it announces:
//   "data <n>"      n bytes of the archive, following those before;
//   "restart"       the archive starts over from its first byte (a download attempt began again);
//   "end <length>"  the archive is whole and has this many bytes; nothing follows.
// Then it closes the stream. The helper stores and hashes the bytes as they come, so the archive
// is verified as soon as its last byte is in; it extracts nothing before "end". The helper writes
// a kCommentPrefix line and kVerifiedLine once the whole archive is in and its signature holds, a
// kExtractingPrefix line as it starts extracting, a kStagingPrefix line with
// the extracted bundle's folder before it swaps the bundle in, and one answer line ("placed" or
// "error") before it exits with one of the statuses below. The installer writes its records as
// these lines arrive, so they come in the same order as when it places the bundle itself.
//
// A stream that ends early (the installer quit) is refused before anything is extracted, so a
// placement either runs whole or never starts.

#include <QByteArray>

namespace archives::placement {

inline constexpr char kStartedLine[] = "started";  // first, as soon as pkexec has the authorisation
inline constexpr char kReadyLine[] = "ready";
inline constexpr char kCommentPrefix[] = "comment ";  // "comment <the signature's trusted comment>"
inline constexpr char kVerifiedLine[] = "verified";
inline constexpr char kExtractingPrefix[] = "extracting ";  // "extracting <the folder the archive is extracted to>"
inline constexpr char kStagingPrefix[] = "staging ";  // "staging <folder holding the bundle>"
inline constexpr char kPlacedPrefix[] = "placed ";   // "placed <bundle path>"
inline constexpr char kErrorPrefix[] = "error ";     // "error <reason>"

// Header keys.
inline constexpr char kSignatureKey[] = "signature";  // base64 of the whole .minisig text
inline constexpr char kAttemptsKey[] = "attempts";    // how many download attempts the installer makes at most

// Frames.
inline constexpr char kDataFrame[] = "data";
inline constexpr char kRestartFrame[] = "restart";
inline constexpr char kEndFrame[] = "end";

// The longest header and the longest frame line the helper reads; the archive itself is bounded by
// the maximum archive size of the helper's Info.plist and by the free margin of the applications
// folder, frame by frame.
inline constexpr int kMaxHeaderBytes = 64 * 1024;
inline constexpr int kMaxFrameLineBytes = 64;

enum Status : int {
    Placed = 0,
    BadRequest = 1,        // malformed header or frame, an archive above the maximum size, or a stream without its end
    NotConfigured = 2,     // the helper's own settings are missing, carry no key or are not trustworthy
    SignatureRejected = 3, // the archive does not carry a valid signature for the bundle's key
    ExtractFailed = 4,     // not a readable archive, or a hostile entry
    BadBundle = 5,         // no bundle of the configured name with an executable inside
    PlaceFailed = 6,       // the bundle could not be swapped into the applications folder
    OlderVersion = 7,      // the archive's bundle is older than the installed one
    // pkexec's own statuses: the person dismissed the dialog or was not authorised (126), or no
    // authorisation could be obtained at all (127).
    PkexecNotAuthorized = 126,
    PkexecFailed = 127,
};

}  // namespace archives::placement
