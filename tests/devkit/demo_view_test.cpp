#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devkit/apps/demo/demo_face.h"
#include "devkit/driver/protocol/method_envelopes.h"
#include "messaging/encodable_value.h"
#include "messaging/standard_method_codec.h"
#include "tests/devkit/bitmap_support.h"
#include "tests/devkit/test_host.h"

namespace devkit::testing {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using std::chrono_literals::operator""s;

constexpr char kDesktop[] = "test.keelo/demo-desktop";
constexpr uint32_t kRed = 0xE03020;

std::wstring WindowText(HWND window) {
  wchar_t text[4096] = {};
  GetWindowTextW(window, text, 4096);
  return text;
}

// The demo application under the engine, with the host's answers a test gives: its face is drawn
// with the icon the host sent, and its state stays readable as the view window's text.
TEST(DemoViewTest, DrawsTheIconTheHostSentAndKeepsItsStateReadableAsText) {
  TestHost host;
  HRESULT com = E_FAIL;
  std::vector<uint8_t> icon;
  bool started = false;
  host.Run([&] {
    // The host's UI thread has COM, as the real host's has; the engine decodes icons with WIC.
    com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    icon = SolidPng(16, kRed);
    SetWindowPos(host.window(), nullptr, 0, 0, 1000, 760, SWP_NOMOVE | SWP_NOZORDER);
    EngineSetup setup;
    setup.aot_library = L"data\\demo_app.so";
    setup.arguments = {std::string("--demo-channel=") + kDesktop, "--session-seconds=600"};
    started = host.StartEngine(setup);
    if (!started) return;
    host.messenger()->SetHandler(kDesktop, [&](const uint8_t* message, size_t size,
                                               const flutter::BinaryReplyCallback& reply) {
      const std::optional<DecodedMethodCall> call =
          DecodeMethodCall(Bytes(message, message + size));
      EncodableValue answer(true);
      if (call && call->method == "listApps") {
        answer = EncodableList{EncodableMap{{"exe", "editor.exe"},
                                            {"name", "Editor"},
                                            {"path", "C:\\Editor\\editor.exe"},
                                            {"icon", "C:\\Menu\\Editor.lnk"}}};
      } else if (call && call->method == "getIcons") {
        answer = EncodableMap{{"editor.exe", icon}};
      } else if (call && call->method == "getForeground") {
        answer = EncodableValue();
      }
      const auto encoded =
          flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeSuccessReply(&answer);
      reply(encoded->data(), encoded->size());
    });
  });
  ASSERT_TRUE(SUCCEEDED(com));
  ASSERT_FALSE(icon.empty());
  ASSERT_TRUE(started);

  std::wstring text;
  EXPECT_TRUE(host.RunUntil(
      [&] {
        text = WindowText(host.view());
        return text.find(L"editor.exe (Editor)  16x16 PNG") != std::wstring::npos;
      },
      10s))
      << "the view's text: " << std::string(text.begin(), text.end());
  EXPECT_NE(text.find(L"Focus: "), std::wstring::npos);

  // Where the face puts the icon and the time for a view of this size; only the layout counts,
  // which the texts do not change.
  FaceState expected;
  expected.seconds_left = 1;
  expected.apps = {{"Editor", &icon}};
  Pixels frame;
  const KeeloDrawItem* image = nullptr;
  const KeeloDrawItem* time = nullptr;
  std::optional<Face> face;
  const bool drawn = host.RunUntil(
      [&] {
        RECT client{};
        GetClientRect(host.view(), &client);
        face = BuildFace(expected, static_cast<float>(client.right),
                         static_cast<float>(client.bottom));
        for (const KeeloDrawItem& item : face->items()) {
          if (item.kind == KEELO_DRAW_IMAGE) image = &item;
          if (item.kind == KEELO_DRAW_TEXT && (item.text_flags & KEELO_TEXT_FIT) != 0) time = &item;
        }
        frame = Capture(client.right, client.bottom, [&](HDC canvas) {
          SendMessageW(host.view(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas), PRF_CLIENT);
        });
        return image != nullptr && !frame.rgb.empty() &&
               frame.At(static_cast<int>(image->x + image->width / 2),
                        static_cast<int>(image->y + image->height / 2)) == kRed;
      },
      10s);
  EXPECT_TRUE(drawn) << "no icon drawn from the host's PNG";
  ASSERT_NE(time, nullptr);
  EXPECT_GT(frame.InkIn(*time, 1.0, face->items().front().color).pixels, 0);

  host.Run([&] {
    host.DestroyEngine();
    CoUninitialize();
  });
}

}  // namespace
}  // namespace devkit::testing
