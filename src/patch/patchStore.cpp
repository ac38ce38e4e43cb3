#include "patch/patchStore.h"

#include <cstdio>

#include "El/Common/appFrame.h"
#include "El/QStream/crc32.h"
#include "patch/entryNames.h"
#include "pe/nameCase.h"
#include "platform/fileSystem.h"

namespace patch {
namespace {

constexpr std::size_t kWritePiece = 0x100000;  // entries are written in pieces of 1 MiB

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

bool EntryBytes(EntrySource& store, const char* name, const std::uint8_t** data, std::size_t* size) {
  *data = nullptr;
  *size = 0;
  return store.Find(pe::UpperName(name).c_str(), data, size);
}

std::size_t EntrySize(EntrySource& store, const char* name, RunInterface* ui) {
  const std::uint8_t* data;
  std::size_t size;
  if (EntryBytes(store, name, &data, &size)) return size;
  ShowSystemError(*ui, ("resource: " + pe::UpperName(name)).c_str());
  return 0;
}

bool EntryText(EntrySource& store, const char* name, std::string* text) {
  const std::uint8_t* data;
  std::size_t size;
  if (!EntryBytes(store, name, &data, &size) || size == 0) return false;
  text->assign(reinterpret_cast<const char*>(data), size);
  return true;
}

std::string TemporaryFileOf(const std::string& targetPath) { return targetPath + ".tmp"; }

bool WriteEntry(EntrySource& store, const char* name, const char* targetPath, WrittenFile* written, RunInterface* ui) {
  const std::uint8_t* data;
  std::size_t size;
  if (!EntryBytes(store, name, &data, &size)) {
    ShowSystemError(*ui, (std::string("resource: ") + name).c_str());
    return false;
  }
  int writeError = 0;
  if (WriteBytesToFile(data, size, TemporaryFileOf(targetPath).c_str(), written, &writeError)) return true;
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

bool WriteBytesToFile(const std::uint8_t* data, std::size_t size, const char* path, WrittenFile* writtenFile,
                      int* writeError) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  *writeError = 0;
  CreateFoldersOnTheWay(path);
  const platform::FileHandle file = files->OpenWrite(path);
  if (!platform::IsValidFile(file)) return false;
  bool written = true;
  Crc32 crc;
  for (std::size_t offset = 0; offset < size && written;) {
    const std::uint32_t piece = static_cast<std::uint32_t>(size - offset < kWritePiece ? size - offset : kWritePiece);
    std::uint32_t put = 0;
    if (!files->Write(file, data + offset, piece, &put) || put < piece) {
      *writeError = files->LastError();
      written = false;
    }
    crc.Update(data + offset, put);
    offset += put;
    files->StartFlush(file);
  }
  if (writtenFile) {
    writtenFile->crc = crc.Value();
    writtenFile->size = size;
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
