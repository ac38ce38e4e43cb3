#include "patch/moduleEntrySource.h"

namespace patch {

std::unique_ptr<ModuleEntrySource> ModuleEntrySource::Open(const char* path, std::string* error) {
  std::unique_ptr<platform::ModuleResources> module =
      platform::OpenModuleResources(path && *path ? path : nullptr, error);
  if (!module) return nullptr;
  return std::unique_ptr<ModuleEntrySource>(new ModuleEntrySource(std::move(module)));
}

void ModuleEntrySource::EnumerateNames(void (*visit)(const char* name, void* context), void* context) {
  module_->EnumerateEntryNames(visit, context);
}

bool ModuleEntrySource::Find(const char* upperName, const std::uint8_t** data, std::size_t* size) {
  // A name beginning with '#' would be read as an integer identifier: no payload name looks like that.
  if (upperName[0] == '#') return false;
  std::uint32_t length = 0;
  if (!module_->FindEntry(upperName, data, &length)) return false;
  *size = length;
  return true;
}

}  // namespace patch
