// The Linux stand-in's binding to the machine: its key comes from the machine's identity, so bytes protected
// on one machine are refused on another, and no identity means nothing is protected at all.
#include "platform/ProtectedData.h"
#include "tests/unit/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace quillon;
using namespace testing_support;

namespace {

TEST(MachineKey, BytesProtectedOnOneMachineAreRefusedOnAnother) {
  TempDirectory temp;
  writeBytes(temp.path() / "this", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
  writeBytes(temp.path() / "other", "5b7e0c2f9a8d4e61b3c0f2a1d4e5f607\n");
  writeBytes(temp.path() / "empty", "\n");
  std::string protectedBytes, plain;
  {
    ScopedEnvironment machine("QUILLON_MACHINE_ID_FILE", (temp.path() / "this").string());
    ASSERT_EQ(protectForMachine("ENROLL-CODE", protectedBytes), 0);
    ASSERT_EQ(unprotectForMachine(protectedBytes, plain), 0);
    EXPECT_EQ(plain, "ENROLL-CODE");
  }
  const struct {
    const char* what;
    const char* identity;
    bool protects;
  } others[] = {{"another machine", "other", true}, {"an empty identity", "empty", false}, {"no identity", "missing", false}};
  for (const auto& other : others) {
    ScopedEnvironment machine("QUILLON_MACHINE_ID_FILE", (temp.path() / other.identity).string());
    std::string none;
    EXPECT_NE(unprotectForMachine(protectedBytes, none), 0) << other.what;
    EXPECT_TRUE(none.empty()) << other.what;
    EXPECT_EQ(protectForMachine("ENROLL-CODE", none) == 0, other.protects) << other.what;
  }
}

}  // namespace
