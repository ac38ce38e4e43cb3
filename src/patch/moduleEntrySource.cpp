#include "patch/moduleEntrySource.h"

namespace patch {

std::unique_ptr<ModuleEntrySource> ModuleEntrySource::Open(const char* path, std::string* error) {
  // The portable reader on Windows too: the system's functions would map the whole file, which a
  // 32-bit process cannot do for a patch of a few GiB.
  std::unique_ptr<platform::ModuleResources> module =
      platform::PortableResourceAccess()->Open(path && *path ? path : nullptr, error);
  if (!module) return nullptr;
  return std::unique_ptr<ModuleEntrySource>(new ModuleEntrySource(std::move(module)));
}

void ModuleEntrySource::EnumerateNames(void (*visit)(const char* name, void* context), void* context) {
  module_->EnumerateEntryNames(visit, context);
}

bool ModuleEntrySource::Find(const char* upperName, EntryRange* entry) {
  // A name beginning with '#' would be read as an integer identifier: no payload name looks like that.
  if (upperName[0] == '#') return false;
  std::uint32_t length = 0;
  if (!module_->FindEntry(upperName, &entry->position, &length)) return false;
  entry->size = length;
  return true;
}

bool ModuleEntrySource::Read(const EntryRange& entry, std::uint64_t offset, void* buffer, std::size_t size,
                             std::string* error) {
  if (offset > entry.size || size > entry.size - offset) {
    *error = "a read past the end of the entry";
    return false;
  }
  return module_->ReadEntry(entry.position + offset, buffer, size, error);
}

}  // namespace patch
