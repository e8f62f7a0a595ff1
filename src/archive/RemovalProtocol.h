#pragma once
// What the removal helper tells the installer. pkexec starts it under its own polkit action; it
// reads nothing from the installer. It writes one line per thing it removed or left alone, then
// exits with one of the statuses below (an "error <reason>" line before a failure):
//   "removed <path>"
//   "kept <path>\t<reason>"
// The person's own files (the version file) are the installer's business, never root's.

namespace archives::removal {

inline constexpr char kRemovedPrefix[] = "removed ";
inline constexpr char kKeptPrefix[] = "kept ";
inline constexpr char kErrorPrefix[] = "error ";

enum Status : int {
    Removed = 0,
    NotConfigured = 2,    // the helper's own settings are missing or not trustworthy
    Failed = 6,           // something of the product's could not be removed
    NothingToRemove = 8,  // neither the bundle nor its menu entry is there
    Refused = 9,          // what stands at the bundle's place is not the product's: nothing changed
    // pkexec's own: not authorised or dismissed (126), no authorisation possible (127).
    PkexecNotAuthorized = 126,
    PkexecFailed = 127,
};

}  // namespace archives::removal
