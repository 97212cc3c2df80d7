// Linux body of platform/Sha256.h: OpenSSL's libcrypto, already in the process through libcurl. Its SHA-256
// uses the processor's SHA instructions where there are any, several times faster than a portable one: the
// package is hashed twice on its way to the installer, so the hash's speed is part of the download's.
#include "platform/Sha256.h"

#include "platform/ManagedResource.h"

#include <openssl/evp.h>

namespace quillon {

struct Sha256::State {
  ManagedResource<EVP_MD_CTX*, EVP_MD_CTX_free> context{EVP_MD_CTX_new()};
  bool ready = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->ready = state_->context.get() != nullptr &&
                  EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t size) {
  if (state_->ready && size > 0) state_->ready = EVP_DigestUpdate(state_->context.get(), data, size) == 1;
}

std::optional<Sha256Digest> Sha256::finish() {
  Sha256Digest digest{};
  unsigned int length = 0;
  if (!state_->ready || EVP_DigestFinal_ex(state_->context.get(), digest.data(), &length) != 1 ||
      length != digest.size()) {
    return std::nullopt;
  }
  state_->ready = false;
  return digest;
}

}  // namespace quillon
