#include "app/patchManifest.h"

#include "El/ParamFile/paramFile.h"
#include "app/signedManifest.h"
#include "patch/moduleEntrySource.h"

namespace app {

bool ReadPatchManifest(const std::string& storePath, const platform::KeyBlob& trustedKey, Manifest* manifest,
                       std::string* error, ui::UserInterface& ui) {
  std::unique_ptr<patch::ModuleEntrySource> store = patch::ModuleEntrySource::Open(storePath.c_str(), error);
  if (!store) return false;
  error->clear();
  ParamFile file;
  if (!LoadSignedManifest(*store, trustedKey, file, ui)) return false;
  *manifest = ReadManifest(file);
  return true;
}

}  // namespace app
