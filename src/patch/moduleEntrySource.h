#pragma once
// The patch store of a patch executable: its RCDATA resources, read through the platform's resource
// access (the system's resource functions on Windows, the portable PE reader on Linux).

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
  bool Find(const char* upperName, const std::uint8_t** data, std::size_t* size) override;

 private:
  explicit ModuleEntrySource(std::unique_ptr<platform::ModuleResources> module) : module_(std::move(module)) {}
  std::unique_ptr<platform::ModuleResources> module_;
};

}  // namespace patch
