// The demo UI application on the stand-in engine, answered by the test as the host would.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "devkit/driver/protocol/method_envelopes.h"
#include "messaging/encodable_value.h"
#include "messaging/standard_method_codec.h"
#include "tests/devkit/engine_fixture.h"

namespace devkit::testing {
namespace {

using namespace std::chrono_literals;

TEST_F(DevkitEngineTest, DemoApplicationForbidsQuittingWatchesTheFrontAndAsksForIcons) {
  using flutter::EncodableList;
  using flutter::EncodableMap;
  using flutter::EncodableValue;
  EngineSetup setup;
  setup.aot_library = L"data\\demo_app.so";
  setup.arguments = {std::string("--demo-channel=") + kDesktop};
  std::vector<std::string> methods;
  std::optional<EncodableValue> icon_request;
  std::optional<EncodableValue> quit_request;
  bool started = false;
  host_.Run([&] {
    started = host_.StartEngine(setup);
    if (!started) return;
    host_.messenger()->SetHandler(kDesktop, [&](const uint8_t* message, size_t size,
                                                const flutter::BinaryReplyCallback& reply) {
      const std::optional<DecodedMethodCall> call =
          DecodeMethodCall(Bytes(message, message + size));
      methods.push_back(call ? call->method : "(not a call)");
      EncodableValue answer(42);
      if (methods.back() == "listApps") {
        answer = EncodableList{EncodableMap{{"exe", "editor.exe"},
                                            {"name", "Editor"},
                                            {"path", "C:\\Editor\\editor.exe"},
                                            {"icon", "C:\\Menu\\Editor.lnk"}}};
      } else if (methods.back() == "getIcons") {
        icon_request = call->arguments;
      } else if (methods.back() == "setQuitAllowed") {
        quit_request = call->arguments;
        answer = EncodableMap{{"editor.exe", std::vector<uint8_t>(24)}};
      }
      const auto encoded =
          flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeSuccessReply(&answer);
      reply(encoded->data(), encoded->size());
    });
  });
  ASSERT_TRUE(started);
  // The session forbids quitting first; then the front is asked for twice a second, and the
  // icons once the list is there.
  ASSERT_TRUE(host_.RunUntil(
      [&] {
        return icon_request.has_value() &&
               std::count(methods.begin(), methods.end(), "getForeground") >= 2;
      },
      5s));
  host_.Run([&] {
    EXPECT_EQ(methods.front(), "setQuitAllowed");
    EXPECT_EQ(quit_request, EncodableValue(EncodableMap{{"allowed", false}}));
    for (const char* method : {"setTrayTooltip", "listApps"}) {
      EXPECT_NE(std::count(methods.begin(), methods.end(), method), 0) << method;
    }
    EXPECT_EQ(*icon_request,
              EncodableValue(EncodableMap{
                  {"size", 96}, {"items", EncodableMap{{"editor.exe", "C:\\Menu\\Editor.lnk"}}}}));
  });
}

}  // namespace
}  // namespace devkit::testing
