// Folder loops: a link (or a mount) inside a folder tree that leads back to a
// folder its own path runs through. Listing such a folder lists an ancestor
// again, without end; the folder scan passes over it.
#pragma once

namespace platform {

// True when `folder` is the same folder (by the file system's identity of a
// folder, not by name) as one of the folders above it on its own path, up to
// the top of the file system. False when it cannot be looked at.
bool IsFolderLoop(const char* folder);

}  // namespace platform
