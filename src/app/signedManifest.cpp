#include "app/signedManifest.h"

#include <cstdio>

#include "El/Common/appFrame.h"
#include "app/manifest.h"
#include "patch/patchStore.h"
#include "platform/signature.h"
#include "ui/messages.h"

namespace app {
namespace {

constexpr std::uint64_t kMaxManifestEntry = 64u << 20;  // the manifest and its signature are small

bool CopyEntry(patch::EntrySource& store, const char* name, std::vector<std::uint8_t>* copy) {
  patch::EntryRange entry;
  std::string error;
  if (!patch::FindEntry(store, name, &entry)) return false;
  if (patch::ReadWholeEntry(store, entry, kMaxManifestEntry, copy, &error)) return true;
  LogF("Payload entry '%s' cannot be read: %s", name, error.c_str());
  return false;
}

void ShowCorrupted(ui::UserInterface& ui, const char* text) { ui::ShowMessage(ui, text, ui::BoxIcon::Error); }

}  // namespace

bool ReadSignedManifest(patch::EntrySource& store, const platform::KeyBlob& trustedKey, SignedManifest* manifest,
                        ui::UserInterface& ui) {
  if (!CopyEntry(store, "version.cfg", &manifest->bytes)) {
    ShowCorrupted(ui, "Patch file is corrupted, error 1.");
    return false;
  }
  if (!CopyEntry(store, "version.cfg.sign", &manifest->signature)) {
    ShowCorrupted(ui, "Patch file is corrupted, error 2.");
    return false;
  }
  // Both lengths come from entries of a PE file, whose sizes are 32-bit; a larger one cannot occur.
  platform::ManifestSignature signature;
  signature.keyBlob = trustedKey.data();
  signature.keyBlobLength = static_cast<std::uint32_t>(trustedKey.size());
  signature.signature = manifest->signature.data();
  signature.signatureLength = static_cast<std::uint32_t>(manifest->signature.size());
  const int code = platform::VerifyManifest(manifest->bytes.data(), static_cast<std::uint32_t>(manifest->bytes.size()),
                                            signature);
  const std::uint32_t systemError = platform::LastSignatureError();
  if (code != platform::kManifestVerified) {
    char text[64];
    std::snprintf(text, sizeof text, "Patch file is corrupted, error %d/%d.", code, static_cast<int>(systemError));
    ShowCorrupted(ui, text);
    return false;
  }
  return true;
}

bool LoadSignedManifest(patch::EntrySource& store, const platform::KeyBlob& trustedKey, ParamFile& file,
                        ui::UserInterface& ui) {
  SignedManifest manifest;
  if (!ReadSignedManifest(store, trustedKey, &manifest, ui)) return false;
  LoadManifestTree(manifest.bytes.data(), manifest.bytes.size(), file);
  return true;
}

}  // namespace app
