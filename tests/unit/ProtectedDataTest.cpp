// Secrets protected for this machine: they come back as they were, and protected bytes that anyone changed,
// cut or made up are refused rather than read as something else.
#include "platform/ProtectedData.h"
#include "tests/unit/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace testing_support;

namespace {

TEST(ProtectedData, ComesBackAsItWas) {
  const std::string secrets[] = {
      "",
      "ENROLL-CODE-1234",
      std::string("with\0zero\xff\xfe bytes", 17),
      std::string(64 * 1024, 's'),
  };
  for (const std::string& secret : secrets) {
    std::string protectedBytes, plain;
    ASSERT_EQ(protectForMachine(secret, protectedBytes), 0) << secret.size();
    if (!secret.empty()) {
      EXPECT_EQ(protectedBytes.find(secret), std::string::npos) << secret.size();
    }
    ASSERT_EQ(unprotectForMachine(protectedBytes, plain), 0) << secret.size();
    EXPECT_EQ(plain, secret);
  }
}

TEST(ProtectedData, RefusesChangedCutOrMadeUpBytes) {
  const std::string secret = "URL=https://manage.example/enrol;CODE=0123456789";
  std::string protectedBytes;
  ASSERT_EQ(protectForMachine(secret, protectedBytes), 0);
  ASSERT_GE(protectedBytes.size(), secret.size() + 32);
  // Every byte changed in turn. The cipher text and the check at the end are always refused. DPAPI's header
  // has fields that it does not check (Wine's leaves 48 bytes so): a change there must give back the secret
  // itself, never another text; the Linux stand-in checks every byte.
  int refused = 0;
  for (std::size_t at = 0; at < protectedBytes.size(); ++at) {
    std::string bytes = protectedBytes;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
    std::string plain;
    const int result = unprotectForMachine(bytes, plain);
    if (result != 0) {
      ++refused;
    } else {
      EXPECT_EQ(plain, secret) << "bit 0 of byte " << at;
    }
    if (at >= protectedBytes.size() - 32 || !runsOnWindows()) {
      EXPECT_NE(result, 0) << "bit 0 of byte " << at;
    }
  }
  EXPECT_GE(refused, static_cast<int>(protectedBytes.size() / 2));

  const struct {
    std::string what;
    std::string bytes;
  } others[] = {
      {"cut to nothing", ""},
      {"cut to one byte", protectedBytes.substr(0, 1)},
      {"cut to 16 bytes", protectedBytes.substr(0, 16)},
      {"one byte short", protectedBytes.substr(0, protectedBytes.size() - 1)},
      {"made up", std::string(protectedBytes.size(), 'Q')},
  };
  for (const auto& other : others) {
    std::string plain = "untouched";
    EXPECT_NE(unprotectForMachine(other.bytes, plain), 0) << other.what;
    EXPECT_EQ(plain, "untouched") << other.what;
  }
}

}  // namespace
