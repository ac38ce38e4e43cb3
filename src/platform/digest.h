#pragma once
// SHA-256 from the system's cryptography: OpenSSL's libcrypto on Linux, CryptoAPI's AES provider on
// Windows. It proves that payload bytes are the ones the publisher signed, and that a delta's inputs
// are the files it was made from. Both builds give the same digest for the same bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

// A running SHA-256: feed bytes in any number of pieces, then take the digest once. An object whose
// library failed (Valid() false, or a failed Update) gives no digest; callers treat that as a failed
// check, never as a match. One object belongs to one thread; separate objects may run on separate
// threads at once.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  bool Valid() const;
  void Update(const void* data, std::size_t size);
  // The digest of everything fed; false when the library failed at any point. The object is spent.
  bool Final(Sha256Digest* digest);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The digest of one block of memory; false when the library failed.
bool Sha256Of(const void* data, std::size_t size, Sha256Digest* digest);

// The digest and size of a whole file read through the file-system seam in large blocks; false when
// it cannot be opened or read, or the library failed.
bool Sha256OfFile(const char* name, Sha256Digest* digest, std::uint64_t* size);

// 64 lower-case hexadecimal digits, and back (exactly 64 digits of either case; false otherwise).
std::string DigestText(const Sha256Digest& digest);
bool ParseDigestText(const std::string& text, Sha256Digest* digest);

}  // namespace platform
