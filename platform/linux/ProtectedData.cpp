// Linux stand-in for platform/ProtectedData.h, which Linux has no service for: AES-256-GCM (OpenSSL's
// libcrypto) with a key derived from the machine's identity, /etc/machine-id (or the file that
// QUILLON_MACHINE_ID_FILE names). It shows the contract (bound to this machine, a changed byte refused), not
// DPAPI's protection: anyone who can read the machine id and the protected bytes can read the secret, so the
// file's own rights (platform/DurableFile.h) are what keeps users out.
//
// Layout: "QPD1", a 12-byte random nonce, the cipher text, the 16-byte tag; the 4-byte mark is authenticated
// too.
#include "platform/ProtectedData.h"

#include "platform/WholeFile.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace quillon {
namespace {

constexpr char kMark[] = "QPD1";
constexpr std::size_t kMarkSize = 4, kNonceSize = 12, kTagSize = 16, kKeySize = 32;

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

// The key: SHA-256 of a label of the tool's own and the machine's identity (128 random bits, made when
// the system was installed).
int machineKey(unsigned char (&key)[kKeySize]) {
  const char* named = std::getenv("QUILLON_MACHINE_ID_FILE");
  std::string identity;
  if (!readWholeFile(named != nullptr && *named != 0 ? named : "/etc/machine-id", identity, Sharing::Shared)) {
    return ENOENT;
  }
  while (!identity.empty() && (identity.back() == '\n' || identity.back() == ' ')) identity.pop_back();
  if (identity.empty()) return ENOENT;
  const std::string material = std::string("QuillonMigrationTool machine key") + '\0' + identity;
  unsigned int size = 0;
  return EVP_Digest(material.data(), material.size(), key, &size, EVP_sha256(), nullptr) == 1 ? 0 : EIO;
}

// Encrypts (protect) or decrypts and checks (unprotect) with AES-256-GCM; false on any failure, a tag that
// does not match included.
bool gcm(bool protect, const unsigned char* key, const unsigned char* nonce, const unsigned char* in, std::size_t size,
         unsigned char* out, unsigned char* tag) {
  const CipherContext context(EVP_CIPHER_CTX_new());
  int length = 0;
  if (!context || EVP_CipherInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, key, nonce, protect ? 1 : 0) != 1 ||
      EVP_CipherUpdate(context.get(), nullptr, &length, reinterpret_cast<const unsigned char*>(kMark), kMarkSize) != 1) {
    return false;
  }
  // EVP_CipherUpdate takes an int count: the secrets here are a few hundred bytes.
  if (size > 0 && EVP_CipherUpdate(context.get(), out, &length, in, static_cast<int>(size)) != 1) return false;
  if (!protect && EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, tag) != 1) return false;
  if (EVP_CipherFinal_ex(context.get(), out + (size > 0 ? length : 0), &length) != 1) return false;
  return !protect || EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, kTagSize, tag) == 1;
}

}  // namespace

int protectForMachine(std::string_view plain, std::string& protectedBytes) {
  if (plain.size() > (1u << 30)) return E2BIG;
  unsigned char key[kKeySize];
  if (const int error = machineKey(key)) return error;
  std::string out(kMarkSize + kNonceSize + plain.size() + kTagSize, '\0');
  auto* bytes = reinterpret_cast<unsigned char*>(out.data());
  out.replace(0, kMarkSize, kMark, kMarkSize);
  if (RAND_bytes(bytes + kMarkSize, kNonceSize) != 1 ||
      !gcm(true, key, bytes + kMarkSize, reinterpret_cast<const unsigned char*>(plain.data()), plain.size(),
           bytes + kMarkSize + kNonceSize, bytes + kMarkSize + kNonceSize + plain.size())) {
    return EIO;
  }
  protectedBytes = std::move(out);
  return 0;
}

int unprotectForMachine(std::string_view protectedBytes, std::string& plain) {
  if (protectedBytes.size() < kMarkSize + kNonceSize + kTagSize || protectedBytes.substr(0, kMarkSize) != kMark) {
    return EBADMSG;
  }
  unsigned char key[kKeySize];
  if (const int error = machineKey(key)) return error;
  const std::size_t size = protectedBytes.size() - kMarkSize - kNonceSize - kTagSize;
  std::string out(size, '\0');
  std::string tag(protectedBytes.substr(kMarkSize + kNonceSize + size));
  const auto* bytes = reinterpret_cast<const unsigned char*>(protectedBytes.data());
  if (!gcm(false, key, bytes + kMarkSize, bytes + kMarkSize + kNonceSize, size,
           reinterpret_cast<unsigned char*>(out.data()), reinterpret_cast<unsigned char*>(tag.data()))) {
    return EBADMSG;
  }
  plain = std::move(out);
  return 0;
}

}  // namespace quillon
