// Windows body of platform/Sha256.h: BCrypt, loaded from the system folder.
#include "platform/Sha256.h"

#include "platform/windows/SystemLibrary.h"
#include "platform/windows/WindowsSupport.h"

#include <bcrypt.h>

namespace quillon {

namespace {

void closeAlgorithm(BCRYPT_ALG_HANDLE algorithm) { BCryptCloseAlgorithmProvider(algorithm, 0); }

}  // namespace

struct Sha256::State {
  // Members end in reverse order: the hash before the algorithm provider it was made from.
  ManagedResource<BCRYPT_ALG_HANDLE, closeAlgorithm> algorithm;
  ManagedResource<BCRYPT_HASH_HANDLE, BCryptDestroyHash> hash;
  bool ready = false;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  if (loadSystemLibrary("bcrypt.dll") == nullptr) return;
  State& state = *state_;
  state.ready =
      BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(state.algorithm.receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
      BCRYPT_SUCCESS(BCryptCreateHash(state.algorithm.get(), state.hash.receive(), nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t size) {
  // BCryptHashData takes at most 4 GiB at once.
  auto bytes = static_cast<const unsigned char*>(data);
  while (state_->ready && size > 0) {
    const ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
    state_->ready = BCRYPT_SUCCESS(BCryptHashData(state_->hash.get(), const_cast<PUCHAR>(bytes), piece, 0));
    bytes += piece;
    size -= piece;
  }
}

std::optional<Sha256Digest> Sha256::finish() {
  Sha256Digest digest{};
  if (!state_->ready ||
      !BCRYPT_SUCCESS(BCryptFinishHash(state_->hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0))) {
    return std::nullopt;
  }
  return digest;
}

}  // namespace quillon
