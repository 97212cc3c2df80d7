// SHA-256 of a stream of bytes: the platform's own (Windows: BCrypt from the system folder; Linux: OpenSSL's
// libcrypto).
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <optional>

namespace quillon {

using Sha256Digest = std::array<unsigned char, 32>;

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(const void* data, std::size_t size);
  // The digest of everything given so far (the object is spent afterwards); nothing when the platform could
  // not hash (its library missing, a call failed), so that whoever relies on the digest fails.
  std::optional<Sha256Digest> finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quillon
