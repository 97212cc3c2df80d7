// Linux body of platform/Sha256.h: GLib's checksum, already in the process for libmsi.
#include "platform/Sha256.h"

#include "platform/ManagedResource.h"

#include <glib.h>

namespace quillon {

struct Sha256::State {
  ManagedResource<GChecksum*, g_checksum_free> checksum{g_checksum_new(G_CHECKSUM_SHA256)};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t size) {
  if (state_->checksum.get() != nullptr && size > 0) {
    g_checksum_update(state_->checksum.get(), static_cast<const guchar*>(data), static_cast<gssize>(size));
  }
}

std::optional<Sha256Digest> Sha256::finish() {
  if (state_->checksum.get() == nullptr) return std::nullopt;
  Sha256Digest digest{};
  gsize length = digest.size();
  g_checksum_get_digest(state_->checksum.get(), digest.data(), &length);
  if (length != digest.size()) return std::nullopt;
  return digest;
}

}  // namespace quillon
