// The portable resource access: the PE reader over a read-only mapping of the whole file, taken
// through the current FileSystem. It is the Linux build's resource access, and is available on Windows
// so that tests can hold it against the system's functions.

#include <cstring>

#include "pe/peImage.h"
#include "pe/resourceDirectory.h"
#include "pe/resourceText.h"
#include "pe/stringTable.h"
#include "pe/versionInfo.h"
#include "platform/mappedFile.h"
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

// The file's resource tree, read whole when it is opened.
struct ParsedModule {
  MappedFile file;
  pe::Image image;
  pe::ResourceDirectory resources;

  bool Open(const char* path, std::string* error) {
    std::string why;
    if (!file.Open(path, error)) return false;  // "empty" also means: not an executable
    if (!image.Parse(pe::ByteView{file.Data(), file.Size()}, &why) || !resources.Parse(image, &why)) {
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

  bool FindEntry(const char* name, const std::uint8_t** data, std::uint32_t* size) override {
    pe::ResourceId id;
    if (!pe::ParseResourceName(name, &id)) return false;
    const pe::ResourceEntry* entry = module_.resources.Find(pe::ResourceId::Number(pe::kRcDataType), id);
    if (!entry) return false;
    *data = entry->bytes.data;
    *size = static_cast<std::uint32_t>(entry->bytes.size);
    return true;
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
    if (!path) {
      *error = "this program carries no resources of its own here; name the patch executable";
      return nullptr;
    }
    auto resources = std::make_unique<PortableModuleResources>();
    if (!resources->Open(path, error)) return nullptr;
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
