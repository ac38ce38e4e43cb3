#include "platform/digest.h"

#include <windows.h>
#include <wincrypt.h>

namespace platform {
namespace {

// SHA-256 comes with the AES provider, not the plain RSA one. One verification context serves the
// whole process: acquiring it costs far more than hashing a small entry.
HCRYPTPROV Provider() {
  static const HCRYPTPROV provider = [] {
    HCRYPTPROV acquired = 0;
    if (!CryptAcquireContextA(&acquired, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) acquired = 0;
    return acquired;
  }();
  return provider;
}

// CryptHashData takes a 32-bit length: larger blocks go in pieces.
constexpr std::size_t kPiece = 1u << 30;

}  // namespace

struct Sha256::State {
  HCRYPTHASH hash = 0;
  bool good = false;
};

Sha256::Sha256() : state_(new State) {
  const HCRYPTPROV provider = Provider();
  state_->good = provider && CryptCreateHash(provider, CALG_SHA_256, 0, 0, &state_->hash);
}

Sha256::~Sha256() {
  if (state_->hash) CryptDestroyHash(state_->hash);
}

bool Sha256::Valid() const { return state_->good; }

void Sha256::Update(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const BYTE*>(data);
  while (state_->good && size > 0) {
    const std::size_t piece = size < kPiece ? size : kPiece;
    state_->good = CryptHashData(state_->hash, bytes, static_cast<DWORD>(piece), 0) != FALSE;
    bytes += piece;
    size -= piece;
  }
}

bool Sha256::Final(Sha256Digest* digest) {
  DWORD length = static_cast<DWORD>(digest->size());
  const bool done = state_->good && CryptGetHashParam(state_->hash, HP_HASHVAL, digest->data(), &length, 0) &&
                    length == digest->size();
  state_->good = false;
  return done;
}

}  // namespace platform
