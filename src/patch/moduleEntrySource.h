#pragma once
// The patch store of a patch executable: its RCDATA resources, read through the portable PE reader on
// both platforms, a piece at a time from the file held open while the store lives.

#include <memory>
#include <string>

#include "patch/entrySource.h"
#include "platform/moduleResources.h"

namespace patch {

class ModuleEntrySource : public EntrySource {
 public:
  // The store of the executable at `path`, or of the running program when `path` is null or empty.
  // Null, with the reason in *error, when it cannot be opened.
  static std::unique_ptr<ModuleEntrySource> Open(const char* path, std::string* error);

  void EnumerateNames(void (*visit)(const char* name, void* context), void* context) override;
  bool Find(const char* upperName, EntryRange* entry) override;
  bool Read(const EntryRange& entry, std::uint64_t offset, void* buffer, std::size_t size,
            std::string* error) override;

 private:
  explicit ModuleEntrySource(std::unique_ptr<platform::ModuleResources> module) : module_(std::move(module)) {}
  std::unique_ptr<platform::ModuleResources> module_;
};

}  // namespace patch
