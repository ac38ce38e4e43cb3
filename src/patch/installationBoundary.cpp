#include "patch/installationBoundary.h"

#include <cstdio>

#include "Es/Containers/nameText.h"
#include "pe/nameCase.h"

namespace patch {
namespace {

// The calling thread's refusal, answered by LastError() until its next call.
thread_local bool refused = false;

// The path with both separators made backslashes.
std::string Unified(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// The comparison form of a folder or file: separators unified, ASCII letters upper-cased.
std::string Key(const std::string& path) { return pe::UpperName(Unified(path)); }

bool IsAbsolute(const std::string& path) {
  return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

// The folder part of a path ("" at the top).
std::string Parent(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && (trimmed.back() == '\\' || trimmed.back() == '/')) trimmed.pop_back();
  const std::size_t at = trimmed.find_last_of("\\/");
  if (at == std::string::npos) return std::string();
  if (at == 0) return trimmed.substr(0, 1);
  return trimmed.substr(0, at);
}

// True when `resolved` is `root` or lies below it (both as the system resolved them).
bool ResolvesInside(const std::string& resolved, const std::string& root) {
  const std::string path = Unified(resolved), top = Unified(root);
  if (path.compare(0, top.size(), top) != 0) return false;
  return path.size() == top.size() || top.back() == '\\' || path[top.size()] == '\\';
}

}  // namespace

InstallationBoundary::InstallationBoundary(std::function<void(const std::string&)> report)
    : next_(platform::CurrentFileSystem()), previous_(platform::SetFileSystem(this)), report_(std::move(report)) {}

InstallationBoundary::~InstallationBoundary() { platform::SetFileSystem(previous_); }

bool InstallationBoundary::AddFolder(const std::string& folder) {
  Folder entry;
  entry.shown = folder;
  entry.lexical = Key(Absolute(folder.c_str()));
  if (entry.lexical.empty() || entry.lexical.back() != '\\') entry.lexical += '\\';
  if (!next_->ResolvedPath(folder.c_str(), &entry.resolved)) return false;
  for (Folder& known : folders_) {
    if (known.lexical == entry.lexical) {
      known = entry;
      return true;
    }
  }
  folders_.push_back(entry);
  return true;
}

bool InstallationBoundary::Permits(const std::string& path) {
  return Check(path.c_str(), Reach::Name, "write") != Place::Refused;
}

std::string InstallationBoundary::Absolute(const char* name) {
  std::string path = name ? name : "";
  if (IsAbsolute(path)) return path;
  std::string current;
  if (!next_->CurrentFolder(&current)) return path;
  if (!current.empty() && current.back() != '\\' && current.back() != '/') current += '\\';
  return current + path;
}

InstallationBoundary::Place InstallationBoundary::Check(const char* name, Reach reach, const char* operation) {
  refused = false;
  const std::string path = Absolute(name);
  const std::string key = Key(path);
  for (const Folder& folder : folders_) {
    const bool itself = key + "\\" == folder.lexical || key == folder.lexical;
    if (!itself && key.compare(0, folder.lexical.size(), folder.lexical) != 0) continue;
    // The boundary's own folder is the run's to create and remove.
    if (itself) return Place::Inside;
    // The deepest part of the path that is there says where the change lands: a link on the way takes
    // it wherever the link leads. A name that is itself a link counts when the change goes through it.
    std::string probe = reach == Reach::Name ? path : Parent(path);
    bool isFolder = false;
    while (!probe.empty() && !next_->Exists(probe.c_str(), &isFolder) && !next_->IsLink(probe.c_str())) {
      probe = Parent(probe);  // not there yet: its folder decides
    }
    std::string resolved;
    const bool resolves = !probe.empty() && next_->ResolvedPath(probe.c_str(), &resolved);
    if (resolves && ResolvesInside(resolved, folder.resolved)) return Place::Inside;
    refused = true;
    // The link to name: the one nearest the folder on the way down to the probe.
    std::string link;
    for (std::string at = probe; !at.empty() && Key(at).size() >= folder.lexical.size(); at = Parent(at)) {
      if (next_->IsLink(at.c_str())) link = at;
    }
    std::string text = std::string("Refused to ") + operation + " " + path + ": ";
    text += link.empty() ? std::string("it leads ") : "the link " + link + " leads ";
    text += resolves ? "out of " + folder.shown + " (to " + resolved + ")" : "nowhere that can be checked";
    if (report_) report_(text);
    return Place::Refused;
  }
  return Place::Outside;
}

void InstallationBoundary::ReportFailure(Place place, const char* operation, const std::string& name,
                                         bool quietWhenMissing) {
  if (place != Place::Inside || !report_) return;  // outside: the caller's own business
  const int error = next_->LastError();
  if (quietWhenMissing && next_->ErrorKind(error) == platform::FileError::NotFound) return;
  char text[512];
  next_->ErrorText(error, text, sizeof text);
  report_(std::string("Cannot ") + operation + " " + name + ": " + text);
}

platform::FileHandle InstallationBoundary::OpenRead(const char* name) {
  refused = false;
  return next_->OpenRead(name);
}

platform::FileHandle InstallationBoundary::OpenWrite(const char* name) {
  const Place place = Check(name, Reach::Name, "write");
  if (place == Place::Refused) return platform::kInvalidFile;
  const platform::FileHandle handle = next_->OpenWrite(name);
  if (!platform::IsValidFile(handle)) {
    ReportFailure(place, "create", name);
  } else if (place == Place::Inside) {
    std::lock_guard<std::mutex> lock(handlesLock_);
    writing_[handle] = name;
  }
  return handle;
}

platform::FileHandle InstallationBoundary::OpenAppend(const char* name) {
  const Place place = Check(name, Reach::Name, "write");
  if (place == Place::Refused) return platform::kInvalidFile;
  const platform::FileHandle handle = next_->OpenAppend(name);
  if (!platform::IsValidFile(handle)) {
    ReportFailure(place, "open for writing", name);
  } else if (place == Place::Inside) {
    std::lock_guard<std::mutex> lock(handlesLock_);
    writing_[handle] = name;
  }
  return handle;
}

bool InstallationBoundary::Close(platform::FileHandle handle) {
  refused = false;
  std::string name;
  {
    std::lock_guard<std::mutex> lock(handlesLock_);
    const auto found = writing_.find(handle);
    if (found != writing_.end()) {
      name = found->second;
      writing_.erase(found);
    }
  }
  const bool closed = next_->Close(handle);
  if (!closed && !name.empty()) ReportFailure(Place::Inside, "finish writing", name);
  return closed;
}

bool InstallationBoundary::ReadAt(platform::FileHandle handle, std::uint64_t position, void* buffer,
                                  std::uint32_t size, std::uint32_t* bytesRead) {
  refused = false;
  return next_->ReadAt(handle, position, buffer, size, bytesRead);
}

bool InstallationBoundary::Write(platform::FileHandle handle, const void* buffer, std::uint32_t size,
                                 std::uint32_t* bytesWritten) {
  refused = false;
  const bool written = next_->Write(handle, buffer, size, bytesWritten);
  if (!written || *bytesWritten < size) {
    std::string name;
    {
      std::lock_guard<std::mutex> lock(handlesLock_);
      const auto found = writing_.find(handle);
      if (found != writing_.end()) name = found->second;
    }
    if (name.empty()) {
      // not a file of the installation
    } else if (!written) {
      ReportFailure(Place::Inside, "write", name);
    } else if (report_) {
      report_("Cannot write " + name + ": only " + std::to_string(*bytesWritten) + " of " + std::to_string(size) +
              " bytes went to the disk (it is full)");
    }
  }
  return written;
}

bool InstallationBoundary::Flush(platform::FileHandle handle) {
  refused = false;
  const bool flushed = next_->Flush(handle);
  if (!flushed) {
    std::string name;
    {
      std::lock_guard<std::mutex> lock(handlesLock_);
      const auto found = writing_.find(handle);
      if (found != writing_.end()) name = found->second;
    }
    if (!name.empty()) ReportFailure(Place::Inside, "write to the disk", name);
  }
  return flushed;
}

void InstallationBoundary::StartFlush(platform::FileHandle handle) { next_->StartFlush(handle); }

bool InstallationBoundary::Seek(platform::FileHandle handle, std::uint64_t position) {
  refused = false;
  return next_->Seek(handle, position);
}

bool InstallationBoundary::Size(platform::FileHandle handle, std::uint64_t* size) {
  refused = false;
  return next_->Size(handle, size);
}

bool InstallationBoundary::LastWriteTime(platform::FileHandle handle, std::int64_t* seconds) {
  refused = false;
  return next_->LastWriteTime(handle, seconds);
}

bool InstallationBoundary::Delete(const char* name) {
  const Place place = Check(name, Reach::Folder, "delete");
  if (place == Place::Refused) return false;
  const bool deleted = next_->Delete(name);
  if (!deleted) ReportFailure(place, "delete", name, true);
  return deleted;
}

bool InstallationBoundary::MakeWritable(const char* name) {
  const Place place = Check(name, Reach::Name, "change the attributes of");
  if (place == Place::Refused) return false;
  const bool changed = next_->MakeWritable(name);
  if (!changed) ReportFailure(place, "make writable", name, true);
  return changed;
}

bool InstallationBoundary::RenameReplacing(const char* from, const char* to) {
  const Place source = Check(from, Reach::Folder, "move");
  if (source == Place::Refused) return false;
  const Place target = Check(to, Reach::Folder, "replace");
  if (target == Place::Refused) return false;
  const bool renamed = next_->RenameReplacing(from, to);
  if (!renamed) {
    ReportFailure(source == Place::Inside ? source : target, "move into place", std::string(from) + " -> " + to);
  }
  return renamed;
}

bool InstallationBoundary::CreateFolder(const char* name) {
  const Place place = Check(name, Reach::Name, "create the folder");
  if (place == Place::Refused) return false;
  const bool created = next_->CreateFolder(name);
  if (!created) ReportFailure(place, "create the folder", name);
  return created;
}

bool InstallationBoundary::RemoveFolder(const char* name) {
  const Place place = Check(name, Reach::Folder, "remove the folder");
  if (place == Place::Refused) return false;
  const bool removed = next_->RemoveFolder(name);
  if (!removed) ReportFailure(place, "remove the folder", name, true);
  return removed;
}

bool InstallationBoundary::Exists(const char* name, bool* isFolder) {
  refused = false;
  return next_->Exists(name, isFolder);
}

bool InstallationBoundary::CopyFileReplacing(const char* from, const char* to) {
  const Place place = Check(to, Reach::Name, "write");
  if (place == Place::Refused) return false;
  const bool copied = next_->CopyFileReplacing(from, to);
  if (!copied) ReportFailure(place, "copy", std::string(from) + " -> " + to);
  return copied;
}

bool InstallationBoundary::FreeSpace(const char* name, std::uint64_t* bytes) {
  refused = false;
  return next_->FreeSpace(name, bytes);
}

bool InstallationBoundary::ActualName(const char* name, std::string* actual) {
  refused = false;
  return next_->ActualName(name, actual);
}

bool InstallationBoundary::CurrentFolder(std::string* folder) {
  refused = false;
  return next_->CurrentFolder(folder);
}

bool InstallationBoundary::SetCurrentFolder(const char* name) {
  refused = false;
  return next_->SetCurrentFolder(name);
}

bool InstallationBoundary::ResolvedPath(const char* name, std::string* path) {
  refused = false;
  return next_->ResolvedPath(name, path);
}

bool InstallationBoundary::IsLink(const char* name) {
  refused = false;
  return next_->IsLink(name);
}

bool InstallationBoundary::CanCreateFileIn(const char* name) {
  refused = false;
  return next_->CanCreateFileIn(name);
}

bool InstallationBoundary::ListFolder(const char* name, void (*visit)(const platform::FolderEntry& entry, void* context),
                                      void* context) {
  refused = false;
  return next_->ListFolder(name, visit, context);
}

bool InstallationBoundary::MapView(platform::FileHandle handle, std::uint64_t offset, std::size_t size,
                                   platform::MappedView* view) {
  refused = false;
  return next_->MapView(handle, offset, size, view);
}

void InstallationBoundary::UnmapView(platform::MappedView* view) { next_->UnmapView(view); }

int InstallationBoundary::LastError() { return refused ? kLeadsOutside : next_->LastError(); }

platform::FileError InstallationBoundary::ErrorKind(int systemError) {
  return systemError == kLeadsOutside ? platform::FileError::AccessDenied : next_->ErrorKind(systemError);
}

void InstallationBoundary::ErrorText(int systemError, char* buffer, std::size_t bufferSize) {
  if (systemError != kLeadsOutside) return next_->ErrorText(systemError, buffer, bufferSize);
  if (bufferSize == 0) return;
  std::snprintf(buffer, bufferSize, "%s", "the path leads out of the installation through a link");
}

}  // namespace patch
