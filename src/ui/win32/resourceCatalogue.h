#pragma once
// The message table as the Windows program carries it: string-table resources of its own module, one
// table per language, made from the compiled-in table (messageResources tool).

#include <string>

#include "ui/win32/consoleWindow.h"
#include "ui/messages.h"

namespace dialogs {

class ResourceCatalogue : public ui::MessageCatalogue {
 public:
  explicit ResourceCatalogue(ModuleHandle module) : module_(module) {}
  // The block of 16 strings holding `id` in exactly `language` (the system's look-up would fall back to
  // another language, so the block's languages are listed first).
  bool Find(int language, int id, std::u16string* text) override;
  // The system's standard string loading.
  std::u16string Neutral(int id) override;

 private:
  ModuleHandle module_;
};

}  // namespace dialogs
