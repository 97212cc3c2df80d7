// Windows body of platform/Sha256.h: BCrypt, loaded from the system folder.
#include "platform/Sha256.h"

#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

#include <bcrypt.h>

namespace quillon {

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ready = false;
  ~State() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  if (loadSystemLibrary("bcrypt.dll") == nullptr) return;
  state_->ready = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
                  BCRYPT_SUCCESS(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t size) {
  // BCryptHashData takes at most 4 GiB at once.
  auto bytes = static_cast<const unsigned char*>(data);
  while (state_->ready && size > 0) {
    const ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
    state_->ready = BCRYPT_SUCCESS(BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes), piece, 0));
    bytes += piece;
    size -= piece;
  }
}

std::optional<Sha256Digest> Sha256::finish() {
  Sha256Digest digest{};
  if (!state_->ready ||
      !BCRYPT_SUCCESS(BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0))) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace quillon
