#include "platform/posix/folderNameIndex.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/nameFolding.h"

namespace platform {
namespace {

// Enough for the folders a step works in at one time; each holds a descriptor and a watch.
constexpr std::size_t kMaxFolders = 64;
// About 150 bytes each: a folder with more names than this is read for each look-up instead.
constexpr std::size_t kMaxNames = std::size_t(1) << 18;

// The notifications that tell every change of a folder's names (a rename over an entry is a
// "moved to" of the name that stays), and the end of the folder itself.
constexpr std::uint32_t kWatched = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                   IN_ONLYDIR;

// File systems whose every change is made by this machine's kernel, which notifies it. Network and
// user-space file systems (NFS, SMB, FUSE, 9p, virtiofs) may change without a notification.
bool NotifiesEveryChange(const struct statfs& volume) {
  switch (static_cast<unsigned long>(volume.f_type)) {
    case 0xEF53UL:      // ext2, ext3, ext4
    case 0x58465342UL:  // xfs
    case 0x9123683EUL:  // btrfs
    case 0x01021994UL:  // tmpfs
    case 0xF2F52010UL:  // f2fs
    case 0x2FC12FC1UL:  // zfs
    case 0xCA451A4EUL:  // bcachefs
    case 0x3153464AUL:  // jfs
    case 0x52654973UL:  // reiserfs
    case 0x4D44UL:      // vfat
    case 0x2011BAB0UL:  // exfat
    case 0x7366746EUL:  // ntfs3
    case 0x794C7630UL:  // overlayfs
      return true;
    default:
      return false;
  }
}

using FolderId = std::pair<dev_t, ino_t>;

// Every spelling on the disk of one folded name, in byte order (almost always one).
using Spellings = std::vector<std::string>;

struct FolderTable {
  int folder = -1;  // the folder's descriptor, kept open: its identity cannot pass to another folder
  int watch = -1;
  std::uint64_t lastUse = 0;
  std::size_t names = 0;
  std::unordered_map<std::string, Spellings> byFolded;

  void Add(const std::string& name) {
    Spellings& spellings = byFolded[FoldNameCase(name)];
    const auto at = std::lower_bound(spellings.begin(), spellings.end(), name);
    if (at != spellings.end() && *at == name) return;
    spellings.insert(at, name);
    ++names;
  }
  void Remove(const std::string& name) {
    const auto found = byFolded.find(FoldNameCase(name));
    if (found == byFolded.end()) return;
    Spellings& spellings = found->second;
    const auto at = std::lower_bound(spellings.begin(), spellings.end(), name);
    if (at == spellings.end() || *at != name) return;
    spellings.erase(at);
    --names;
    if (spellings.empty()) byFolded.erase(found);
  }
};

bool IsDotEntry(const char* name) { return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)); }

class FolderNameIndex {
 public:
  bool Match(const std::string& folder, const std::string& wanted, std::string* match) {
    const std::string path = folder.empty() ? "/" : folder;
    const std::string folded = FoldNameCase(wanted);
    std::unique_lock<std::mutex> hold(lock_);
    if (Notifying()) {
      TakeNotifications();
      struct stat info;
      if (::stat(path.c_str(), &info) != 0) return false;
      FolderTable* table = Find(FolderId(info.st_dev, info.st_ino));
      if (!table && !unnotifiedVolumes_.count(info.st_dev)) table = ReadTable(path);
      if (table) {
        table->lastUse = ++clock_;
        const auto found = table->byFolded.find(folded);
        if (found == table->byFolded.end()) return false;
        *match = found->second.front();
        return true;
      }
    }
    // No table can be kept for this folder: its entries, read now (other threads need not wait).
    ++listingsRead_;
    hold.unlock();
    DIR* listing = ::opendir(path.c_str());
    if (!listing) return false;
    bool found = false;
    while (struct dirent* entry = ::readdir(listing)) {
      if (IsDotEntry(entry->d_name)) continue;
      const std::string name = entry->d_name;
      if (FoldNameCase(name) != folded) continue;
      if (!found || name < *match) *match = name;
      found = true;
    }
    ::closedir(listing);
    return found;
  }

  std::uint64_t ListingsRead() {
    std::lock_guard<std::mutex> hold(lock_);
    return listingsRead_;
  }
  bool Notified() {
    std::lock_guard<std::mutex> hold(lock_);
    return Notifying();
  }

 private:
  // The notification queue, opened on first use; false when the system gives none.
  bool Notifying() {
    if (!triedNotify_) {
      triedNotify_ = true;
      notify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    return notify_ >= 0;
  }

  FolderTable* Find(const FolderId& id) {
    const auto found = tables_.find(id);
    return found == tables_.end() ? nullptr : &found->second;
  }

  // Applies every notification that has arrived. Each name a notification mentions is looked up on
  // the disk again rather than taken from the notification, so their order does not matter (an
  // exchange of two names reports each as both leaving and arriving).
  void TakeNotifications() {
    alignas(struct inotify_event) char buffer[16384];
    for (;;) {
      const ssize_t got = ::read(notify_, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return;  // EAGAIN: nothing more has arrived
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(struct inotify_event)) <= got;) {
        const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
        if (event->mask & IN_Q_OVERFLOW) {
          DropAll();  // changes were lost: every table is read again
          continue;
        }
        const auto watched = byWatch_.find(event->wd);
        if (watched == byWatch_.end()) continue;  // a table dropped since
        const FolderId id = watched->second;
        FolderTable& table = *Find(id);
        if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_UNMOUNT)) {
          Drop(id);
          continue;
        }
        if (event->len == 0 || at > got) continue;
        const std::string name(event->name);  // padded with zero bytes
        struct stat info;
        if (::fstatat(table.folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
          const std::size_t before = table.names;
          table.Add(name);
          names_ += table.names - before;
        } else if (errno == ENOENT) {
          const std::size_t before = table.names;
          table.Remove(name);
          names_ -= before - table.names;
        } else {
          Drop(id);  // the name cannot be checked (the folder cannot be searched): read it again
        }
      }
      if (names_ > kMaxNames) EvictLeastRecent();
    }
  }

  // Reads the folder at `path` into a new table, watched from before the first entry is read so that
  // no change after the reading is missed. Null when no table can be kept for it.
  FolderTable* ReadTable(const std::string& path) {
    const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return nullptr;
    struct stat info;
    struct statfs volume;
    if (::fstat(folder, &info) != 0 || ::fstatfs(folder, &volume) != 0) {
      ::close(folder);
      return nullptr;
    }
    if (!NotifiesEveryChange(volume)) {
      if (unnotifiedVolumes_.size() < kMaxFolders) unnotifiedVolumes_.insert(info.st_dev);
      ::close(folder);
      return nullptr;
    }
    const FolderId id(info.st_dev, info.st_ino);
    if (FolderTable* known = Find(id)) {  // the path changed to a folder read before
      ::close(folder);
      return known;
    }
    while (tables_.size() >= kMaxFolders) EvictLeastRecent();
    // The watch goes on the folder held open, never on whatever the path names by then.
    const std::string held = "/proc/self/fd/" + std::to_string(folder);
    const int watch = ::inotify_add_watch(notify_, held.c_str(), kWatched);
    const auto owned = watch < 0 ? byWatch_.end() : byWatch_.find(watch);
    if (owned != byWatch_.end()) {  // the folder is watched for a table already (the same folder)
      ::close(folder);
      return Find(owned->second);
    }
    const int reading = watch < 0 ? -1 : ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    DIR* listing = reading < 0 ? nullptr : ::fdopendir(reading);
    if (!listing) {
      if (reading >= 0) ::close(reading);
      if (watch >= 0) ::inotify_rm_watch(notify_, watch);
      ::close(folder);
      return nullptr;
    }
    ++listingsRead_;
    FolderTable table;
    table.folder = folder;
    table.watch = watch;
    // A listing that ends in an error is incomplete and kept by no table.
    bool fits = true;
    for (;;) {
      errno = 0;
      const struct dirent* entry = ::readdir(listing);
      if (!entry) {
        fits = errno == 0;
        break;
      }
      if (IsDotEntry(entry->d_name)) continue;
      table.Add(entry->d_name);
      if (table.names > kMaxNames) {
        fits = false;
        break;
      }
    }
    ::closedir(listing);
    if (!fits) {
      ::inotify_rm_watch(notify_, watch);
      ::close(folder);
      return nullptr;
    }
    while (!tables_.empty() && names_ + table.names > kMaxNames) EvictLeastRecent();
    names_ += table.names;
    byWatch_[watch] = id;
    return &(tables_[id] = std::move(table));
  }

  void Drop(const FolderId& id) {
    const auto found = tables_.find(id);
    if (found == tables_.end()) return;
    ::inotify_rm_watch(notify_, found->second.watch);  // fails harmlessly when the watch has ended
    ::close(found->second.folder);
    byWatch_.erase(found->second.watch);
    names_ -= found->second.names;
    tables_.erase(found);
  }
  void DropAll() {
    while (!tables_.empty()) Drop(tables_.begin()->first);
  }
  void EvictLeastRecent() {
    auto oldest = tables_.begin();
    for (auto at = tables_.begin(); at != tables_.end(); ++at) {
      if (at->second.lastUse < oldest->second.lastUse) oldest = at;
    }
    if (oldest != tables_.end()) Drop(oldest->first);
  }

  std::mutex lock_;
  bool triedNotify_ = false;
  int notify_ = -1;
  std::map<FolderId, FolderTable> tables_;
  std::unordered_map<int, FolderId> byWatch_;
  std::set<dev_t> unnotifiedVolumes_;  // file systems whose folders are read for each look-up
  std::size_t names_ = 0;  // in all tables
  std::uint64_t clock_ = 0;
  std::uint64_t listingsRead_ = 0;
};

// Never destroyed: a thread may still look up names while the process ends; the system closes its
// descriptors.
FolderNameIndex& Index() {
  static FolderNameIndex* index = new FolderNameIndex;
  return *index;
}

}  // namespace

bool MatchFolderEntry(const std::string& folder, const std::string& wanted, std::string* match) {
  struct stat info;
  if (::lstat((folder + "/" + wanted).c_str(), &info) == 0) {
    *match = wanted;
    return true;
  }
  return Index().Match(folder, wanted, match);
}

std::uint64_t FolderListingsRead() { return Index().ListingsRead(); }

bool FolderChangesNotified() { return Index().Notified(); }

}  // namespace platform
