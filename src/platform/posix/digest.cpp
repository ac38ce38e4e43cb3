#include "platform/digest.h"

#include "platform/posix/openSsl.h"

namespace platform {
namespace {

// One library context and one fetched SHA-256 for the process: fetching costs far more than hashing
// a small entry, and a patch hashes thousands of them. Both are safe to share between threads.
struct Sha256Algorithm {
  openssl::Library library;
  openssl::Digest digest{library.Valid() ? EVP_MD_fetch(library.Context(), "SHA256", nullptr) : nullptr};
};

const EVP_MD* Algorithm() {
  static Sha256Algorithm algorithm;
  return algorithm.digest.get();
}

}  // namespace

struct Sha256::State {
  openssl::DigestContext context{EVP_MD_CTX_new()};
  bool good = false;
};

Sha256::Sha256() : state_(new State) {
  const EVP_MD* algorithm = Algorithm();
  state_->good = algorithm && state_->context && EVP_DigestInit_ex(state_->context.get(), algorithm, nullptr) == 1;
  openssl::TakeLastError();
}

Sha256::~Sha256() = default;

bool Sha256::Valid() const { return state_->good; }

void Sha256::Update(const void* data, std::size_t size) {
  if (!state_->good || size == 0) return;
  state_->good = EVP_DigestUpdate(state_->context.get(), data, size) == 1;
}

bool Sha256::Final(Sha256Digest* digest) {
  unsigned int length = 0;
  const bool done = state_->good && EVP_DigestFinal_ex(state_->context.get(), digest->data(), &length) == 1 &&
                    length == digest->size();
  state_->good = false;
  openssl::TakeLastError();
  return done;
}

}  // namespace platform
