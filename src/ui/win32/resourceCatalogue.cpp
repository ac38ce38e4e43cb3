#include "ui/win32/resourceCatalogue.h"

#include <windows.h>

#include "pe/stringTable.h"

namespace dialogs {
namespace {

struct LanguageSearch {
  WORD language;
  bool found;
};

BOOL CALLBACK VisitLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR context) {
  LanguageSearch* search = reinterpret_cast<LanguageSearch*>(context);
  if (language != search->language) return TRUE;
  search->found = true;
  return FALSE;
}

}  // namespace

bool ResourceCatalogue::Find(int language, int id, std::u16string* text) {
  if (id < 0 || language < 0 || language > 0xFFFF) return false;
  const HMODULE module = static_cast<HMODULE>(module_);
  const LPCWSTR block = MAKEINTRESOURCEW(pe::StringBlockId(static_cast<unsigned>(id)));
  LanguageSearch search{static_cast<WORD>(language), false};
  EnumResourceLanguagesW(module, MAKEINTRESOURCEW(6), block, VisitLanguage, reinterpret_cast<LONG_PTR>(&search));
  if (!search.found) return false;
  HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(6), block, static_cast<WORD>(language));
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return false;
  const pe::ByteView view{static_cast<const std::uint8_t*>(bytes), SizeofResource(module, found)};
  if (!pe::StringFromBlock(view, static_cast<unsigned>(id) % 16, text)) text->clear();
  return true;
}

std::u16string ResourceCatalogue::Neutral(int id) {
  if (id < 0) return std::u16string();
  // With no buffer size the loader hands out the resource's own text and its length.
  const wchar_t* text = nullptr;
  const int length = LoadStringW(static_cast<HINSTANCE>(module_), static_cast<UINT>(id),
                                 reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) return std::u16string();
  return std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<std::size_t>(length));
}

}  // namespace dialogs
