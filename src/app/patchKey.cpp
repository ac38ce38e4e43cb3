#include "app/patchKey.h"

#include <vector>

#include "patch/trustedKey.h"
#include "platform/fileSystem.h"
#include "platform/signing.h"

namespace app {

bool ReadKeyBlobFile(const char* path, platform::KeyBlob* key, std::string* error) {
  platform::FileSystem* files = platform::CurrentFileSystem();
  const platform::FileHandle file = files->OpenRead(path);
  if (!platform::IsValidFile(file)) {
    char reason[256];
    files->ErrorText(files->LastError(), reason, sizeof reason);
    *error = std::string("cannot open the key file ") + path + ": " + reason;
    return false;
  }
  std::uint64_t size = 0;
  std::vector<std::uint8_t> bytes;
  std::uint32_t got = 0;
  bool read = files->Size(file, &size) && size <= platform::kMaxKeyBlobSize;
  if (read) {
    bytes.resize(static_cast<std::size_t>(size));
    read = files->ReadAt(file, 0, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &got) && got == bytes.size();
  }
  files->Close(file);
  if (!read || !platform::ParseKeyBlob(bytes.data(), bytes.size(), nullptr)) {
    *error = std::string(path) +
             " is not a public key file (the public key blob of an RSA key of 1024 to 4096 bits that zrmake keygen"
             " writes)";
    return false;
  }
  *key = bytes;
  return true;
}

bool PatchTrustedKey(const std::uint8_t* bytes, std::size_t size, const char* pinnedKeyFile, platform::KeyBlob* key,
                     std::string* error) {
  pe::MemorySource file(pe::ByteView{bytes, bytes ? size : 0});
  return PatchTrustedKey(file, pinnedKeyFile, key, error);
}

bool PatchTrustedKey(pe::ByteSource& file, const char* pinnedKeyFile, platform::KeyBlob* key, std::string* error) {
  // A file that is not a Windows program at all is no patch; saying so beats naming its missing parts.
  std::uint8_t start[2] = {};
  std::string why;
  if (file.Size() < 2 || !file.Read(0, start, 2, &why) || start[0] != 'M' || start[1] != 'Z') {
    *error = why.empty() ? "not a patch: the file is not a Windows program" : why;
    return false;
  }
  const KeySlotResult found = ReadTrustedKey(file, key);
  if (found == KeySlotResult::NoMarker) {
    *error = "not a patch: a Windows program without a publisher's key slot";
    return false;
  }
  if (found != KeySlotResult::Done) {
    *error = std::string("the patch's key cannot be read: ") + KeySlotResultText(found);
    return false;
  }
  if (!pinnedKeyFile || !*pinnedKeyFile) return true;
  platform::KeyBlob pinned;
  if (!ReadKeyBlobFile(pinnedKeyFile, &pinned, error)) return false;
  if (pinned != *key) {
    *error = "the patch is signed for another key than " + std::string(pinnedKeyFile) + " (the patch's key: " +
             KeyFingerprintText(*key) + ", the trusted key: " + KeyFingerprintText(pinned) + ")";
    return false;
  }
  return true;
}

std::string KeyFingerprintText(const platform::KeyBlob& key) {
  std::string fingerprint;
  if (platform::KeyFingerprint(key, &fingerprint) != platform::SigningResult::Ok) return "(unavailable)";
  return fingerprint;
}

}  // namespace app
