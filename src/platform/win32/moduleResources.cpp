// The system's resource functions: the executable loaded as a data file (or the running program's own
// module), its RCDATA names enumerated, entries found, loaded and locked, string blocks found by
// language, and version texts through the version library.

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "pe/stringTable.h"
#include "platform/fileSystem.h"
#include "platform/moduleResources.h"
#include "platform/win32/wideText.h"

namespace platform {
namespace {

// Copies `length` characters (fewer when a NUL comes first) into buffer, cut to size - 1 bytes.
void CopyText(const char* text, std::size_t length, char* buffer, std::size_t size) {
  if (size == 0) return;
  std::size_t count = 0;
  while (count < length && count < size - 1 && text[count]) ++count;
  std::memcpy(buffer, text, count);
  buffer[count] = 0;
}

// The module's memory: the view of a data file, or the running program's image. The system's resource
// functions take a resource's offset and size from the file as they stand, so a damaged or hostile
// directory can name bytes beyond the view; every entry is checked against it before it is used.
struct MappedModule {
  const std::uint8_t* base = nullptr;
  std::size_t extent = 0;  // committed bytes from base, in one allocation
};

MappedModule MappedExtent(HMODULE module) {
  MappedModule mapped;
  // A module loaded as a data file is the view's address with its low bits set.
  mapped.base = reinterpret_cast<const std::uint8_t*>(reinterpret_cast<std::uintptr_t>(module) & ~std::uintptr_t(3));
  MEMORY_BASIC_INFORMATION info;
  while (VirtualQuery(mapped.base + mapped.extent, &info, sizeof info) == sizeof info &&
         info.AllocationBase == mapped.base && info.State == MEM_COMMIT && info.RegionSize > 0) {
    mapped.extent += info.RegionSize;
  }
  return mapped;
}

// The bytes of one resource, valid while the module stays loaded; false when they do not lie whole in
// the module's memory.
bool LockedBytes(HMODULE module, const MappedModule& mapped, HRSRC found, const std::uint8_t** data,
                 std::uint32_t* size) {
  if (!found) return false;
  HGLOBAL loaded = LoadResource(module, found);
  const auto* bytes = static_cast<const std::uint8_t*>(loaded ? LockResource(loaded) : nullptr);
  if (!bytes) return false;
  const DWORD length = SizeofResource(module, found);
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(bytes);
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(mapped.base);
  if (at < start || at - start > mapped.extent || length > mapped.extent - (at - start)) return false;
  *data = bytes;
  *size = length;
  return true;
}

struct Enumeration {
  void (*visit)(const char* name, void* context);
  void* context;
};

BOOL CALLBACK VisitName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR parameter) {
  const auto* enumeration = reinterpret_cast<const Enumeration*>(parameter);
  if (!IS_INTRESOURCE(name)) enumeration->visit(Utf8Text(name).c_str(), enumeration->context);
  return TRUE;  // always to the end
}

struct LanguageSearch {
  WORD language;
  bool found;
};

BOOL CALLBACK VisitLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR parameter) {
  auto* search = reinterpret_cast<LanguageSearch*>(parameter);
  if (language == search->language) search->found = true;
  return TRUE;
}

class Win32ModuleResources : public ModuleResources {
 public:
  Win32ModuleResources(HMODULE module, bool owned) : module_(module), owned_(owned), mapped_(MappedExtent(module)) {}
  ~Win32ModuleResources() override {
    if (owned_) FreeLibrary(module_);
  }

  void EnumerateEntryNames(void (*visit)(const char* name, void* context), void* context) override {
    Enumeration enumeration{visit, context};
    EnumResourceNamesW(module_, MAKEINTRESOURCEW(10), VisitName, reinterpret_cast<LONG_PTR>(&enumeration));
  }

  bool FindEntry(const char* name, std::uint64_t* position, std::uint32_t* size) override {
    // "#12" names an integer identifier, as the resource functions read it; other names go as UTF-16.
    const std::uint8_t* data = nullptr;
    if (!LockedBytes(module_, mapped_, FindResourceW(module_, WideText(name).c_str(), MAKEINTRESOURCEW(10)), &data,
                     size)) {
      return false;
    }
    *position = reinterpret_cast<std::uintptr_t>(data);  // the bytes are in memory: their address
    return true;
  }

  bool ReadEntry(std::uint64_t position, void* buffer, std::size_t size, std::string*) override {
    if (size) std::memcpy(buffer, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(position)), size);
    return true;
  }

  bool StringInLanguage(unsigned id, unsigned language, char* buffer, std::size_t size) override {
    if (id > 0xFFFF || language > 0xFFFF) return false;
    // FindResourceEx falls back to other languages when the asked one is missing; only a block in
    // exactly this language counts, so the module's languages for the block are listed first.
    LanguageSearch search{static_cast<WORD>(language), false};
    EnumResourceLanguagesA(module_, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(pe::StringBlockId(id)), VisitLanguage,
                           reinterpret_cast<LONG_PTR>(&search));
    if (!search.found) return false;
    const std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
    HRSRC found = FindResourceExA(module_, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(pe::StringBlockId(id)),
                                  static_cast<WORD>(language));
    std::u16string text;
    if (!LockedBytes(module_, mapped_, found, &data, &length) || !pe::StringFromBlock(pe::ByteView{data, length}, id % 16, &text)) {
      return false;
    }
    std::string narrow;
    if (!text.empty()) {
      const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
      const int units = static_cast<int>(text.size());
      const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
      narrow.resize(bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
      if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, wide, units, &narrow[0], bytes, nullptr, nullptr);
    }
    CopyText(narrow.data(), narrow.size(), buffer, size);
    return true;
  }

  void DefaultString(unsigned id, char* buffer, std::size_t size) override {
    if (size == 0) return;
    buffer[0] = 0;
    const int room = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
    if (LoadStringA(module_, id, buffer, room) <= 0) buffer[0] = 0;
  }

 private:
  HMODULE module_;
  bool owned_;
  MappedModule mapped_;
};

class Win32Access : public ResourceAccess {
 public:
  std::unique_ptr<ModuleResources> Open(const char* path, std::string* error) override {
    if (!path) return std::make_unique<Win32ModuleResources>(GetModuleHandleA(nullptr), false);
    HMODULE module = LoadLibraryExW(WideText(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
      char text[256];
      CurrentFileSystem()->ErrorText(static_cast<int>(GetLastError()), text, sizeof text);
      *error = std::string(path) + ": " + text;
      return nullptr;
    }
    return std::make_unique<Win32ModuleResources>(module, true);
  }

  void FileVersionText(const char* path, char* buffer, std::size_t size) override {
    if (size == 0) return;
    buffer[0] = 0;
    DWORD ignored = 0;
    const std::wstring file = WideText(path);
    const DWORD blockSize = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (blockSize == 0) return;
    std::vector<char> block(blockSize);
    if (!GetFileVersionInfoW(file.c_str(), 0, blockSize, block.data())) return;
    void* value = nullptr;
    UINT length = 0;  // in characters
    wchar_t query[] = L"\\StringFileInfo\\040904b0\\FileVersion";
    if (VerQueryValueW(block.data(), query, &value, &length) && value) {
      const auto* text = static_cast<const wchar_t*>(value);
      const std::string utf8 = Utf8Text(text, static_cast<int>(wcsnlen(text, length)));
      CopyText(utf8.c_str(), utf8.size(), buffer, size);
    }
  }
};

}  // namespace

ResourceAccess* NativeResourceAccess() {
  static Win32Access access;
  return &access;
}

bool RunningProgramFile(std::string* path) {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &name[0], static_cast<DWORD>(name.size()));
    if (length == 0) return false;
    if (length < name.size()) {
      *path = Utf8Text(name.c_str(), static_cast<int>(length));
      return true;
    }
    if (name.size() >= 0x8000) return false;  // longer than any Windows path
    name.resize(name.size() * 2);
  }
}

}  // namespace platform
