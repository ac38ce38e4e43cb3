#pragma once
// The Linux build's matching of a name against a folder's entries without regard to case, as Windows
// matches names, without reading the whole folder for every name that is not spelled as on the disk.
//
// A folder whose entries were read once keeps a table of them, by folded name (FoldNameCase). The
// table is kept exact by the kernel's change notifications (inotify) on that folder, which report
// every entry created, deleted or renamed in it by any process of this machine, this one included:
// each look-up first takes the notifications that arrived and checks every name they mention against
// the disk again. A table is kept only for a folder held open by its descriptor (so its identity
// cannot pass to another folder) on a file system whose changes all pass through this machine's
// kernel; elsewhere (network and user-space file systems), when notifications are not available or
// their queue overflowed, the folder is read for each look-up, as without the table. Timestamps are
// not used, so a change within the file system's timestamp tick is seen as well.
//
// Memory is bounded: a limited number of folders and of names in all tables; the least recently used
// table makes way. Safe to call from several threads.

#include <cstdint>
#include <string>

namespace platform {

// The entry of the native folder `folder` ("" for the root) that is `wanted` without regard to case:
// the exact spelling when it exists, else the first match in byte order, so that the choice does not
// depend on the order of listing. False when there is none or the folder cannot be read.
bool MatchFolderEntry(const std::string& folder, const std::string& wanted, std::string* match);

// For tests and measurements: how many times a folder's entries were read from the disk, and whether
// this process receives change notifications (without them every look-up reads its folder).
std::uint64_t FolderListingsRead();
bool FolderChangesNotified();

}  // namespace platform
