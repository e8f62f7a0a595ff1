#pragma once

#include <QString>

#include <sys/types.h>

namespace archives {

// Makes an extracted folder tree fit to be placed where other people run it: modes that nobody but
// the owner can write, no set-id or sticky bits, and links that stay inside the tree when they are
// really followed (through the other links in the tree), not only when read as text.
class ExtractedTree {
public:
    // The mode an entry ends with: folders 0755; files 0755 when any execute bit is set, else 0644.
    static mode_t normalisedMode(mode_t mode, bool isFolder);

    // Every link under top resolves to a place inside top (or to a missing name inside it).
    [[nodiscard]] static bool checkLinks(const QString &top, QString *error);

    // Whether the link at linkPath (relative to top) resolves inside top. Each step of the target
    // is looked up in the tree as it stands: a component that is itself a link is replaced by its
    // target, so `d -> .` followed by `d/d/../..` is seen to climb out.
    static bool linkResolvesInside(const QString &top, const QString &linkPath);

    // Owner of top and of everything under it (links themselves, not what they name).
    [[nodiscard]] static bool setOwner(const QString &top, uid_t owner, gid_t group, QString *error);

    ExtractedTree() = delete;
};

}  // namespace archives
