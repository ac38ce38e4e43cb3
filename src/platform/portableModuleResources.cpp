// The portable resource access: the PE reader over the file held open and read a piece at a time,
// through the current FileSystem. It is the Linux build's resource access, and the payload store's on
// Windows too; tests hold it against the system's functions.

#include <cstring>

#include "pe/peImage.h"
#include "pe/resourceDirectory.h"
#include "pe/resourceText.h"
#include "pe/stringTable.h"
#include "pe/versionInfo.h"
#include "platform/openedFile.h"
#include "platform/moduleResources.h"

namespace platform {
namespace {

// Copies UTF-8 `text` into buffer, cut to size - 1 bytes without splitting a character.
void CopyText(const std::string& text, char* buffer, std::size_t size) {
  if (size == 0) return;
  std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
  if (length < text.size()) {
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(buffer, text.data(), length);
  buffer[length] = 0;
}

// The file's resource tree, read whole when it is opened; entries' bytes are read when asked for.
struct ParsedModule {
  OpenedFile file;
  pe::Image image;
  pe::ResourceDirectory resources;

  bool Open(const char* path, std::string* error) {
    std::string why;
    if (!file.Open(path, error)) return false;  // "empty" also means: not an executable
    if (!image.Parse(file, &why) || !resources.Parse(image, file, &why)) {
      *error = std::string(path) + ": " + why;
      return false;
    }
    return true;
  }
};

class PortableModuleResources : public ModuleResources {
 public:
  bool Open(const char* path, std::string* error) { return module_.Open(path, error); }

  void EnumerateEntryNames(void (*visit)(const char* name, void* context), void* context) override {
    for (const pe::ResourceEntry* entry : module_.resources.Names(pe::ResourceId::Number(pe::kRcDataType))) {
      if (entry->name.isName) visit(pe::Utf16ToUtf8(entry->name.name).c_str(), context);
    }
  }

  bool FindEntry(const char* name, std::uint64_t* position, std::uint32_t* size) override {
    pe::ResourceId id;
    if (!pe::ParseResourceName(name, &id)) return false;
    const pe::ResourceEntry* entry = module_.resources.Find(pe::ResourceId::Number(pe::kRcDataType), id);
    if (!entry) return false;
    *position = entry->offset;
    *size = entry->size;
    return true;
  }

  bool ReadEntry(std::uint64_t position, void* buffer, std::size_t size, std::string* error) override {
    return module_.file.Read(position, buffer, size, error);
  }

  bool StringInLanguage(unsigned id, unsigned language, char* buffer, std::size_t size) override {
    std::u16string text;
    if (language > 0xFFFF || !pe::FindString(module_.resources, id, static_cast<std::uint16_t>(language), &text)) {
      return false;
    }
    CopyText(pe::Utf16ToUtf8(text), buffer, size);
    return true;
  }

  void DefaultString(unsigned id, char* buffer, std::size_t size) override {
    CopyText(pe::Utf16ToUtf8(pe::DefaultString(module_.resources, id)), buffer, size);
  }

 private:
  ParsedModule module_;
};

class PortableAccess : public ResourceAccess {
 public:
  std::unique_ptr<ModuleResources> Open(const char* path, std::string* error) override {
    std::string own;
    if (!path && !RunningProgramFile(&own)) {
      *error = "this program carries no resources of its own here; name the patch executable";
      return nullptr;
    }
    auto resources = std::make_unique<PortableModuleResources>();
    if (!resources->Open(path ? path : own.c_str(), error)) return nullptr;
    return resources;
  }

  void FileVersionText(const char* path, char* buffer, std::size_t size) override {
    ParsedModule module;
    std::string error;
    CopyText(module.Open(path, &error) ? pe::FileVersionText(module.resources) : std::string(), buffer, size);
  }
};

}  // namespace

ResourceAccess* PortableResourceAccess() {
  static PortableAccess access;
  return &access;
}

}  // namespace platform
