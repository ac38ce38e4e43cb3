#pragma once
// The checksums of installed files that a patch run already knows: computed when it verified the
// installation before updating, and when it wrote files. The check that ends a run takes them instead
// of reading those files a second time. A file the run deletes is forgotten; a mismatch the user chose
// to accept (Ignore) is remembered as accepted, for that content only.

#include <cstdint>
#include <map>
#include <string>

namespace patch {

class KnownChecksums {
 public:
  // `path` is a full path in the program's form; paths are compared without regard to ASCII case and
  // with either separator.
  void Record(const std::string& path, std::uint32_t crc);
  void Accept(const std::string& path, std::uint32_t crc);
  void Forget(const std::string& path);
  void Clear() { files_.clear(); }

  // The recorded checksum of `path`; false when none is known.
  bool Find(const std::string& path, std::uint32_t* crc) const;
  // True when the user accepted `path` with exactly this checksum.
  bool Accepted(const std::string& path, std::uint32_t crc) const;

 private:
  struct File {
    std::uint32_t crc = 0;
    bool known = false;
    bool accepted = false;
    std::uint32_t acceptedCrc = 0;
  };
  static std::string Key(const std::string& path);
  std::map<std::string, File> files_;
};

}  // namespace patch
