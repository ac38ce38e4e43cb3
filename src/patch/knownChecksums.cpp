#include "patch/knownChecksums.h"

#include "Es/Containers/nameText.h"
#include "pe/nameCase.h"

namespace patch {

std::string KnownChecksums::Key(const std::string& path) {
  std::string key = pe::UpperName(path);
  for (char& c : key) {
    if (c == '/') c = '\\';
  }
  return key;
}

void KnownChecksums::Record(const std::string& path, std::uint32_t crc) {
  File& file = files_[Key(path)];
  file.crc = crc;
  file.known = true;
}

void KnownChecksums::Accept(const std::string& path, std::uint32_t crc) {
  File& file = files_[Key(path)];
  file.accepted = true;
  file.acceptedCrc = crc;
}

void KnownChecksums::Forget(const std::string& path) { files_.erase(Key(path)); }

bool KnownChecksums::Find(const std::string& path, std::uint32_t* crc) const {
  const auto found = files_.find(Key(path));
  if (found == files_.end() || !found->second.known) return false;
  *crc = found->second.crc;
  return true;
}

bool KnownChecksums::Accepted(const std::string& path, std::uint32_t crc) const {
  const auto found = files_.find(Key(path));
  return found != files_.end() && found->second.accepted && found->second.acceptedCrc == crc;
}

}  // namespace patch
