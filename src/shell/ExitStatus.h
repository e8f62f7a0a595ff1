#pragma once
// The process's exit statuses: one per outcome that a script or a configuration-management run must
// tell apart. docs/exit-statuses.md lists them for administrators; keep the two together.

namespace shell {

enum ExitStatus : int {
    kExitPlaced = 0,            // the product was placed (or, with --remove, removed)
    kExitNothingChanged = 3,    // already installed, the same build or a newer one (or nothing to remove)
    kExitNoConfiguration = 10,  // no network, or the configuration could not be fetched or used
    kExitDownloadFailed = 11,   // the download failed after every attempt
    kExitSignatureRefused = 12, // the archive's signature did not hold (or none where one is required)
    kExitNoSpace = 13,          // not enough free space
    kExitSystemTooOld = 14,     // the operating system is older than the product supports
    kExitExtractionRefused = 15,// the archive could not be extracted, or its contents were refused
    kExitPlacementFailed = 16,  // the bundle could not be moved into the applications folder
    kExitNotAuthorised = 17,    // the authorisation to place (or remove) was refused, or not given
    kExitLicenseNotAccepted = 18,  // an unattended run without --accept-license
    kExitAlreadyRunning = 19,   // another instance runs for this person
    kExitRemovalRefused = 20,   // what stands at the product's place is not ours to remove
    kExitUsage = 64,            // EX_USAGE: the command line could not be understood
    kExitCrash = 70,            // EX_SOFTWARE: the installer crashed and ended in order
    kExitInterruptedBase = 128, // + the signal's number (130 for SIGINT, 143 for SIGTERM), as shells report
};

}  // namespace shell
