#pragma once
// Shared pieces of the Linux signature code: owning handles for OpenSSL objects and a private library
// context.
//
// Every operation works in a library context of its own with OpenSSL's default provider loaded
// explicitly and no configuration file read, so that a system-wide OpenSSL configuration (a FIPS
// provider, a crypto policy that refuses SHA-1 signatures or 1024-bit keys) cannot change whether a
// patch verifies. Security levels belong to TLS and do not apply to these calls.

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <memory>

namespace platform {
namespace openssl {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* object) const { Free(object); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Deleter<T, Free>>;

using Key = Owned<EVP_PKEY, EVP_PKEY_free>;
using KeyContext = Owned<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using Digest = Owned<EVP_MD, EVP_MD_free>;
using DigestContext = Owned<EVP_MD_CTX, EVP_MD_CTX_free>;
using BigNumber = Owned<BIGNUM, BN_free>;

// A library context with the default provider; Valid() is false when either could not be had.
class Library {
 public:
  Library();
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool Valid() const { return context_ && provider_; }
  OSSL_LIB_CTX* Context() const { return context_; }

 private:
  OSSL_LIB_CTX* context_ = nullptr;
  OSSL_PROVIDER* provider_ = nullptr;
};

// An RSA public key with the given modulus (most significant byte first) and exponent 65537; null on
// failure.
Key MakePublicKey(const Library& library, const unsigned char* modulus, std::size_t modulusSize);

// OpenSSL's last queued error of the calling thread, then the queue emptied, so that one operation's
// errors never leak into the next.
unsigned long TakeLastError();

}  // namespace openssl
}  // namespace platform
