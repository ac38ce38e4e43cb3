#pragma once
// The file system as a patch run sees it while it changes an installation: every operation that
// creates, writes, renames, deletes or changes the attributes of a path inside one of the boundary's
// folders (the installation folder, the working folder) must resolve inside that folder at the moment
// it is made. A link on the way that leads out of the folder is refused, never followed; the paths
// outside every folder (the registry files, the start menu, the logs) are the run's own business and
// pass as they are. Every change that fails, refused or not, is reported once with the operation, the
// file and the system's text for the cause, before the caller reports the failure its own way.
//
// It installs itself as the process's file system while it lives and forwards to the one it replaced,
// so the tests' fault-injecting file systems stay underneath it.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/fileSystem.h"

namespace patch {

class InstallationBoundary : public platform::FileSystem {
 public:
  // `report` receives one line for every failed change ("Cannot write C:\Game\Data\Map.pak.tmp: ...").
  explicit InstallationBoundary(std::function<void(const std::string&)> report);
  ~InstallationBoundary() override;
  InstallationBoundary(const InstallationBoundary&) = delete;
  InstallationBoundary& operator=(const InstallationBoundary&) = delete;

  // A folder whose paths must stay inside it (in the program's form, with or without a final
  // separator). False when it cannot be resolved (it does not exist).
  bool AddFolder(const std::string& folder);

  // Whether a file at `path` could be written, for the checks before a run changes anything: false,
  // after the report, when it lies in a boundary folder but leads out of it.
  bool Permits(const std::string& path);

  // The system error number LastError() gives after a refusal; ErrorKind calls it AccessDenied.
  static constexpr int kLeadsOutside = -20001;

  platform::FileHandle OpenRead(const char* name) override;
  platform::FileHandle OpenWrite(const char* name) override;
  platform::FileHandle OpenAppend(const char* name) override;
  bool Close(platform::FileHandle handle) override;
  bool ReadAt(platform::FileHandle handle, std::uint64_t position, void* buffer, std::uint32_t size,
              std::uint32_t* bytesRead) override;
  bool Write(platform::FileHandle handle, const void* buffer, std::uint32_t size,
             std::uint32_t* bytesWritten) override;
  bool Flush(platform::FileHandle handle) override;
  void StartFlush(platform::FileHandle handle) override;
  bool Seek(platform::FileHandle handle, std::uint64_t position) override;
  bool Size(platform::FileHandle handle, std::uint64_t* size) override;
  bool LastWriteTime(platform::FileHandle handle, std::int64_t* seconds) override;
  bool Delete(const char* name) override;
  bool MakeWritable(const char* name) override;
  bool RenameReplacing(const char* from, const char* to) override;
  bool CreateFolder(const char* name) override;
  bool RemoveFolder(const char* name) override;
  bool Exists(const char* name, bool* isFolder) override;
  bool CopyFileReplacing(const char* from, const char* to) override;
  bool FreeSpace(const char* name, std::uint64_t* bytes) override;
  bool ActualName(const char* name, std::string* actual) override;
  bool CurrentFolder(std::string* folder) override;
  bool SetCurrentFolder(const char* name) override;
  bool ResolvedPath(const char* name, std::string* path) override;
  bool IsLink(const char* name) override;
  bool CanCreateFileIn(const char* name) override;
  bool ListFolder(const char* name, void (*visit)(const platform::FolderEntry& entry, void* context),
                  void* context) override;
  bool MapView(platform::FileHandle handle, std::uint64_t offset, std::size_t size,
               platform::MappedView* view) override;
  void UnmapView(platform::MappedView* view) override;
  int LastError() override;
  platform::FileError ErrorKind(int systemError) override;
  void ErrorText(int systemError, char* buffer, std::size_t bufferSize) override;

 private:
  struct Folder {
    std::string shown;     // the folder as the run names it, for messages
    std::string lexical;   // the same in the form names are compared in, with a final separator
    std::string resolved;  // where it really is, every link resolved
  };
  // How far a change reaches: only the name's folder (the operation acts on the name itself: delete,
  // rename), or the name too (it writes through the name to whatever it is: open, chmod).
  enum class Reach { Folder, Name };

  enum class Place { Outside, Inside, Refused };
  // Where `name` lies: outside every boundary folder, inside one (and resolving inside it), or inside
  // one but resolving outside it: refused, after the report.
  Place Check(const char* name, Reach reach, const char* operation);
  // The report of a failed change inside the boundary with the system's error, unless
  // `quietWhenMissing` and the file was simply not there.
  void ReportFailure(Place place, const char* operation, const std::string& name, bool quietWhenMissing = false);
  std::string Absolute(const char* name);

  platform::FileSystem* next_;
  platform::FileSystem* previous_;
  std::function<void(const std::string&)> report_;
  std::vector<Folder> folders_;
  std::mutex handlesLock_;
  std::map<platform::FileHandle, std::string> writing_;  // the installation's files open for writing
};

}  // namespace patch
