#include <gtest/gtest.h>

#include <string>

#include "messaging/encodable_value.h"
#include "tests/e2e/host_fixture.h"
#include "tests/support/host_names.h"

namespace keelo::testing {
namespace {

using devkit::MethodReply;
using flutter::EncodableMap;
using flutter::EncodableValue;

TEST_F(HostTest, BothChannelsAnswerTheirOwnMethodsOnly) {
  StartHost(L"--minimized");

  auto idle = client_->InvokeMethod(kDesktopChannel, "getIdleSeconds");
  ASSERT_TRUE(idle.ok()) << idle.error;
  ASSERT_EQ(idle.value.kind, MethodReply::Kind::kSuccess);
  ASSERT_TRUE(idle.value.value.Holds<int64_t>());
  EXPECT_GE(idle.value.value.Get<int64_t>(), 0);

  auto status = client_->InvokeMethod(
      kUiChannel, "setTrayStatus",
      EncodableValue(EncodableMap{{EncodableValue("status"), EncodableValue("Focus")}}));
  ASSERT_TRUE(status.ok()) << status.error;
  EXPECT_EQ(status.value.kind, MethodReply::Kind::kSuccess);
  EXPECT_TRUE(status.value.value.IsNull());

  auto unknown = client_->InvokeMethod(kDesktopChannel, "noSuchMethod");
  ASSERT_TRUE(unknown.ok()) << unknown.error;
  EXPECT_EQ(unknown.value.kind, MethodReply::Kind::kNotImplemented);

  auto wrong_channel = client_->InvokeMethod(kUiChannel, "getIdleSeconds");
  ASSERT_TRUE(wrong_channel.ok()) << wrong_channel.error;
  EXPECT_EQ(wrong_channel.value.kind, MethodReply::Kind::kNotImplemented);

  // A message that is no method call at all gets the empty reply, and the host goes on.
  auto garbage = client_->Call(kDesktopChannel, {0xff, 0x00});
  ASSERT_TRUE(garbage.ok()) << garbage.error;
  EXPECT_TRUE(garbage.value.empty());
  auto again = client_->InvokeMethod(kDesktopChannel, "getIdleSeconds");
  ASSERT_TRUE(again.ok()) << again.error;
  EXPECT_EQ(again.value.kind, MethodReply::Kind::kSuccess);
}

}  // namespace
}  // namespace keelo::testing
