#include "devkit/engine/scene_painter.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "devkit/apps/demo/demo_face.h"
#include "tests/devkit/bitmap_support.h"

namespace devkit::testing {
namespace {

constexpr uint32_t kRed = 0xE03020;

class ScenePainterTest : public ::testing::Test {
 protected:
  // WIC, with which the painter decodes, is COM.
  void SetUp() override { com_ = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override {
    if (SUCCEEDED(com_)) CoUninitialize();
  }

  // The face drawn as the engine draws a frame, at |scale| device pixels to the logical one.
  Pixels Paint(const Face& face, float width, float height, double scale) {
    return Capture(static_cast<int>(std::lround(width * scale)),
                   static_cast<int>(std::lround(height * scale)), [&](HDC canvas) {
                     painter_.BeginFrame();
                     painter_.Draw(canvas, face.items().data(), face.items().size(), scale,
                                   L"Tahoma");
                     painter_.EndFrame();
                   });
  }

  HRESULT com_ = E_FAIL;
  ScenePainter painter_;
};

const KeeloDrawItem& Item(const Face& face, uint32_t kind, std::string_view text = {}) {
  for (const KeeloDrawItem& item : face.items()) {
    if (item.kind == kind && (text.empty() || (item.text != nullptr && item.text == text))) {
      return item;
    }
  }
  ADD_FAILURE() << "no item of kind " << kind << " " << text;
  return face.items().front();
}

FaceState Session(const std::vector<uint8_t>* icon, const std::vector<uint8_t>* broken) {
  FaceState state;
  state.seconds_left = 754;
  state.session_seconds = 1500;
  state.blocking = {"notepad.exe"};
  state.blocked = {{"Notepad", "14:03:27"}};
  state.app_count = 2;
  state.apps = {{"Editor", icon}, {"Broken", broken}};
  return state;
}

// The time left is drawn, large, where the face put it, in the mini timer and in the window, at
// 96 and at 144 DPI.
TEST_F(ScenePainterTest, TimeLeftIsDrawnLargeWhereTheFacePutsItAtBothDpis) {
  const FaceState state = Session(nullptr, nullptr);
  for (const double scale : {1.0, 1.5}) {
    for (const auto& [width, height] : {std::pair{380.0F, 88.0F}, std::pair{1000.0F, 700.0F}}) {
      SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " at " +
                   std::to_string(scale));
      const Face face = BuildFace(state, width, height);
      const Pixels pixels = Paint(face, width, height, scale);
      ASSERT_EQ(pixels.rgb.size(), static_cast<size_t>(pixels.width) * pixels.height);
      const uint32_t background = face.items().front().color;
      EXPECT_EQ(pixels.At(1, 1), background);
      const KeeloDrawItem& time = Item(face, KEELO_DRAW_TEXT, "12:34");
      const Pixels::Ink ink = pixels.InkIn(time, scale, background);
      // Digits in the face's size: ink over at least half of the em height, and a fair share of
      // the box.
      EXPECT_GE(ink.rows, time.text_size * scale * 0.5) << ink.rows;
      EXPECT_GT(ink.pixels, time.text_size * scale * time.text_size * scale * 0.3) << ink.pixels;
    }
  }
}

TEST_F(ScenePainterTest, IconsAreDecodedFromTheirPngsAndAnUnreadableOneIsLeftOut) {
  const std::vector<uint8_t> icon = SolidPng(16, kRed);
  ASSERT_FALSE(icon.empty());
  const std::vector<uint8_t> broken = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0};
  const Face face = BuildFace(Session(&icon, &broken), 1000, 700);
  for (const double scale : {1.0, 1.5}) {
    SCOPED_TRACE(scale);
    const Pixels pixels = Paint(face, 1000, 700, scale);
    std::vector<const KeeloDrawItem*> images;
    for (const KeeloDrawItem& item : face.items()) {
      if (item.kind == KEELO_DRAW_IMAGE) images.push_back(&item);
    }
    ASSERT_EQ(images.size(), 2u);
    const auto centre = [&](const KeeloDrawItem& item) {
      return pixels.At(static_cast<int>((item.x + item.width / 2) * scale),
                       static_cast<int>((item.y + item.height / 2) * scale));
    };
    // Scaled from 16 to 48 or 72 pixels, a solid image stays that colour.
    EXPECT_EQ(centre(*images[0]), kRed);
    // Nothing is drawn for bytes that are no image: the card shows through.
    EXPECT_EQ(centre(*images[1]), pixels.At(static_cast<int>((images[1]->x - 8) * scale),
                                            static_cast<int>((images[1]->y + 2) * scale)));
    EXPECT_NE(centre(*images[1]), kRed);
    // Both are remembered for the next frame, the broken one so as not to be tried again.
    EXPECT_EQ(painter_.decoded_images(), 2u);
  }
  // A frame without them lets them go.
  Paint(BuildFace(Session(nullptr, nullptr), 1000, 700), 1000, 700, 1.0);
  EXPECT_EQ(painter_.decoded_images(), 0u);
}

}  // namespace
}  // namespace devkit::testing
