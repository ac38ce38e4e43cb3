#include "patch/patchStore.h"

#include <cstdio>
#include <vector>

#include "El/Common/appFrame.h"
#include "El/QStream/crc32.h"
#include "patch/entryNames.h"
#include "pe/nameCase.h"
#include "platform/fileSystem.h"

namespace patch {
namespace {

constexpr std::size_t kWritePiece = 0x100000;   // entries are read and written in pieces of 1 MiB
constexpr std::uint64_t kMaxEntryText = 256u << 20;  // a text entry (a checksum list) read whole

struct Collection {
  PatchJob* job;
  std::string prefix;
};

void CollectName(const char* name, void* context) {
  auto* collection = static_cast<Collection*>(context);
  const std::string entry = name;
  if (!StartsWithIgnoringCase(entry, collection->prefix)) return;
  if (!IsContainedRelativePath(WithoutDistributionSuffix(entry.substr(collection->prefix.size())))) {
    ErrorMessage("Payload entry '%s' would be written outside its folder; it is not used.", name);
    return;
  }
  collection->job->names.Add(RefString(name));
  collection->job->applied = true;
}

// Creates every folder on the way to `path`; failures (a drive, a folder already there) are ignored.
void CreateFoldersOnTheWay(const std::string& path) {
  for (std::size_t at = path.find_first_of("\\/"); at != std::string::npos; at = path.find_first_of("\\/", at + 1)) {
    if (at > 0) platform::CurrentFileSystem()->CreateFolder(path.substr(0, at).c_str());
  }
}

}  // namespace

void CollectEntries(PatchJob& job) {
  if (!job.store) return;
  Collection collection{&job, job.prefix.Data()};
  job.store->EnumerateNames(CollectName, &collection);
}

bool FindEntry(EntrySource& store, const char* name, EntryRange* entry) {
  *entry = EntryRange();
  return store.Find(pe::UpperName(name).c_str(), entry);
}

bool ForEachPiece(EntrySource& store, const EntryRange& entry,
                  const std::function<bool(const std::uint8_t* data, std::size_t size)>& piece, std::string* error) {
  error->clear();
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(entry.size < kWritePiece ? entry.size : kWritePiece));
  for (std::uint64_t offset = 0; offset < entry.size;) {
    const std::size_t size = static_cast<std::size_t>(entry.size - offset < kWritePiece ? entry.size - offset : kWritePiece);
    if (!store.Read(entry, offset, buffer.data(), size, error) || !piece(buffer.data(), size)) return false;
    offset += size;
  }
  return true;
}

bool ReadWholeEntry(EntrySource& store, const EntryRange& entry, std::uint64_t limit, std::vector<std::uint8_t>* bytes,
                    std::string* error) {
  bytes->clear();
  if (entry.size > limit) {
    *error = "larger than " + std::to_string(limit) + " bytes";
    return false;
  }
  bytes->resize(static_cast<std::size_t>(entry.size));
  return entry.size == 0 || store.Read(entry, 0, bytes->data(), bytes->size(), error);
}

std::size_t EntrySize(EntrySource& store, const char* name, RunInterface* ui) {
  EntryRange entry;
  if (FindEntry(store, name, &entry)) return static_cast<std::size_t>(entry.size);
  ShowSystemError(*ui, ("resource: " + pe::UpperName(name)).c_str());
  return 0;
}

bool EntryText(EntrySource& store, const char* name, std::string* text) {
  EntryRange entry;
  std::vector<std::uint8_t> bytes;
  std::string error;
  if (!FindEntry(store, name, &entry) || entry.size == 0) return false;
  if (!ReadWholeEntry(store, entry, kMaxEntryText, &bytes, &error)) {
    ErrorMessage("Payload entry '%s' cannot be read: %s", name, error.c_str());
    return false;
  }
  text->assign(bytes.begin(), bytes.end());
  return true;
}

std::string TemporaryFileOf(const std::string& targetPath) { return targetPath + ".tmp"; }

bool WriteEntry(EntrySource& store, const char* name, const char* targetPath, WrittenFile* written, RunInterface* ui) {
  EntryRange entry;
  if (!FindEntry(store, name, &entry)) {
    ShowSystemError(*ui, (std::string("resource: ") + name).c_str());
    return false;
  }
  int writeError = 0;
  std::string readError;
  if (WriteEntryToFile(store, entry, TemporaryFileOf(targetPath).c_str(), written, &writeError, &readError)) {
    return true;
  }
  if (!readError.empty()) ui->ShowStoreError("Error", (readError + " resource: " + name).c_str());
  if (writeError != 0) {
    char text[600];
    std::snprintf(text, sizeof text, "errno = %d (0x%x), %s", writeError, static_cast<unsigned>(writeError),
                  targetPath);
    ui->ShowStoreError("Error in write", text);
  }
  return false;
}

bool ExtractEntry(EntrySource& store, const char* name, const char* targetPath, WrittenFile* written, RunInterface* ui) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  const std::string temporary = TemporaryFileOf(targetPath);
  if (!WriteEntry(store, name, targetPath, written, ui)) return false;
  // Only a complete file replaces the target, in one step; a read-only target is made writable first.
  bool isFolder = false;
  if (files->Exists(targetPath, &isFolder) && !isFolder) files->MakeWritable(targetPath);
  if (files->RenameReplacing(temporary.c_str(), targetPath)) return true;
  files->Delete(temporary.c_str());
  return false;
}

bool WriteEntryToFile(EntrySource& store, const EntryRange& entry, const char* path, WrittenFile* writtenFile,
                      int* writeError, std::string* readError) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  *writeError = 0;
  CreateFoldersOnTheWay(path);
  const platform::FileHandle file = files->OpenWrite(path);
  if (!platform::IsValidFile(file)) return false;
  Crc32 crc;
  const auto put = [&](const std::uint8_t* data, std::size_t size) {
    std::uint32_t wrote = 0;
    if (!files->Write(file, data, static_cast<std::uint32_t>(size), &wrote) || wrote < size) {
      *writeError = files->LastError();
      return false;
    }
    crc.Update(data, wrote);
    files->StartFlush(file);
    return true;
  };
  std::string error;
  const bool written = ForEachPiece(store, entry, put, &error);
  if (readError) *readError = error;
  if (writtenFile) {
    writtenFile->crc = crc.Value();
    writtenFile->size = entry.size;
  }
  // On disk before it can replace anything, so that not even a power cut leaves an empty file.
  const bool flushed = written && files->Flush(file);
  const bool closed = files->Close(file) && flushed;
  if (written && closed) return true;
  files->Delete(path);
  return false;
}

void ShowSystemError(RunInterface& ui, const char* contextLine) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  char systemText[512];
  files->ErrorText(files->LastError(), systemText, sizeof systemText);
  const std::string text = std::string(systemText) + " " + contextLine;
  ui.ShowStoreError("Error", text.c_str());
}

}  // namespace patch
