#include "platform/posix/openSsl.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/param_build.h>

#include "platform/keyBlob.h"

namespace platform {
namespace openssl {

Library::Library() : context_(OSSL_LIB_CTX_new()) {
  if (context_) provider_ = OSSL_PROVIDER_load(context_, "default");
}

Library::~Library() {
  if (provider_) OSSL_PROVIDER_unload(provider_);
  if (context_) OSSL_LIB_CTX_free(context_);
}

Key MakePublicKey(const Library& library, const unsigned char* modulus, std::size_t modulusSize) {
  BigNumber n(BN_bin2bn(modulus, static_cast<int>(modulusSize), nullptr));
  BigNumber e(BN_new());
  if (!n || !e || !BN_set_word(e.get(), kPublicExponent)) return nullptr;
  Owned<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free> builder(OSSL_PARAM_BLD_new());
  if (!builder || !OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) ||
      !OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, e.get())) {
    return nullptr;
  }
  Owned<OSSL_PARAM, OSSL_PARAM_free> params(OSSL_PARAM_BLD_to_param(builder.get()));
  KeyContext context(EVP_PKEY_CTX_new_from_name(library.Context(), "RSA", nullptr));
  EVP_PKEY* key = nullptr;
  if (!params || !context || EVP_PKEY_fromdata_init(context.get()) <= 0 ||
      EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) <= 0) {
    return nullptr;
  }
  return Key(key);
}

unsigned long TakeLastError() {
  const unsigned long error = ERR_peek_last_error();
  ERR_clear_error();
  return error;
}

}  // namespace openssl
}  // namespace platform
