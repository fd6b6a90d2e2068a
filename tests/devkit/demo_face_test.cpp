#include "devkit/apps/demo/demo_face.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace devkit {
namespace {

const KeeloDrawItem* FindText(const Face& face, std::string_view text) {
  for (const KeeloDrawItem& item : face.items()) {
    if (item.kind == KEELO_DRAW_TEXT && item.text == text) return &item;
  }
  return nullptr;
}

size_t CountKind(const Face& face, uint32_t kind) {
  size_t count = 0;
  for (const KeeloDrawItem& item : face.items()) count += item.kind == kind;
  return count;
}

// Every item lies within the view, with an area.
void ExpectWithin(const Face& face, float width, float height) {
  for (const KeeloDrawItem& item : face.items()) {
    const std::string what = item.text != nullptr ? item.text : "kind " + std::to_string(item.kind);
    EXPECT_GE(item.x, 0) << what;
    EXPECT_GE(item.y, 0) << what;
    EXPECT_GT(item.width, 0) << what;
    EXPECT_GT(item.height, 0) << what;
    EXPECT_LE(item.x + item.width, width) << what;
    EXPECT_LE(item.y + item.height, height) << what;
  }
}

FaceState RunningSession(const std::vector<uint8_t>* icon) {
  FaceState state;
  state.seconds_left = 754;
  state.session_seconds = 1500;
  state.blocking = {"notepad.exe"};
  state.blocked = {{"Notepad", "14:03:27"}};
  state.front = "In front: explorer.exe";
  state.app_count = 7;
  state.apps = {{"Editor", icon}, {"Mail", nullptr}};
  return state;
}

TEST(DemoFaceTest, MiniTimerShowsTheTimeLeftLargeAndTheStateWithinItsBounds) {
  const std::vector<uint8_t> icon = {0x89, 'P', 'N', 'G'};
  FaceState state = RunningSession(&icon);
  const Face face = BuildFace(state, 380, 88);
  ASSERT_FALSE(face.items().empty());
  EXPECT_EQ(face.items().front().kind, KEELO_DRAW_FILL);
  const KeeloDrawItem* time = FindText(face, "12:34");
  ASSERT_NE(time, nullptr);
  // Readable at a glance from across the desk, and never cut: it shrinks to fit instead.
  EXPECT_GE(time->text_size, 40);
  EXPECT_NE(time->text_flags & KEELO_TEXT_FIT, 0u);
  EXPECT_NE(FindText(face, "Focus session"), nullptr);
  EXPECT_NE(FindText(face, "Notepad blocked at 14:03:27"), nullptr);
  // The mini timer has no room for the apps.
  EXPECT_EQ(CountKind(face, KEELO_DRAW_IMAGE), 0u);
  ExpectWithin(face, 380, 88);

  state.seconds_left = 0;
  state.blocked.clear();
  const Face over = BuildFace(state, 380, 88);
  EXPECT_NE(FindText(over, "0:00"), nullptr);
  EXPECT_NE(FindText(over, "Session over"), nullptr);
  EXPECT_NE(FindText(over, "Nothing blocked yet"), nullptr);
}

TEST(DemoFaceTest, FullViewShowsTheStateTheTimeWhatWasBlockedAndWhenAndTheAppIcons) {
  const std::vector<uint8_t> icon = {0x89, 'P', 'N', 'G'};
  const FaceState state = RunningSession(&icon);
  // The host's window on a 1920x1080 screen at 96 and at 144 DPI, and a narrow one.
  for (const auto& [width, height] :
       {std::pair{1272.0F, 833.0F}, std::pair{1232.0F, 650.0F}, std::pair{600.0F, 700.0F}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    const Face face = BuildFace(state, width, height);
    const KeeloDrawItem* time = FindText(face, "12:34");
    ASSERT_NE(time, nullptr);
    EXPECT_GE(time->text_size, 60);
    EXPECT_NE(FindText(face, "Focus session"), nullptr);
    EXPECT_NE(FindText(face, "Notepad"), nullptr);
    EXPECT_NE(FindText(face, "at 14:03:27"), nullptr);
    EXPECT_NE(FindText(face, "7 found"), nullptr);
    EXPECT_NE(FindText(face, "Editor"), nullptr);
    EXPECT_NE(FindText(face, "Mail"), nullptr);
    EXPECT_NE(FindText(face, "In front: explorer.exe"), nullptr);
    // The icon that came is drawn from its own bytes; the app without one gets none.
    ASSERT_EQ(CountKind(face, KEELO_DRAW_IMAGE), 1u);
    for (const KeeloDrawItem& item : face.items()) {
      if (item.kind != KEELO_DRAW_IMAGE) continue;
      EXPECT_EQ(item.image, icon.data());
      EXPECT_EQ(item.image_size, icon.size());
      EXPECT_EQ(item.width, item.height);
    }
    ExpectWithin(face, width, height);
  }
}

TEST(DemoFaceTest, BlocksThatDoNotFitAreCountedWithTheLatestFirst) {
  FaceState state = RunningSession(nullptr);
  state.blocked.clear();
  for (int index = 0; index < 50; ++index) {
    state.blocked.push_back({"App" + std::to_string(index), "10:00:" + std::to_string(index)});
  }
  const Face face = BuildFace(state, 1000, 600);
  EXPECT_NE(FindText(face, "App49"), nullptr);
  EXPECT_EQ(FindText(face, "App0"), nullptr);
  size_t rows = 0;
  for (const KeeloDrawItem& item : face.items()) {
    rows += item.kind == KEELO_DRAW_TEXT && std::string_view(item.text).rfind("App", 0) == 0;
  }
  ASSERT_GT(rows, 0u);
  EXPECT_NE(FindText(face, "and " + std::to_string(50 - rows) + " earlier"), nullptr);
  ExpectWithin(face, 1000, 600);
}

TEST(DemoFaceTest, ItemsPointIntoTheFaceEvenAfterItIsMoved) {
  const FaceState state = RunningSession(nullptr);
  Face built = BuildFace(state, 1000, 700);
  const Face moved = std::move(built);
  const KeeloDrawItem* time = FindText(moved, "12:34");
  ASSERT_NE(time, nullptr);
  EXPECT_STREQ(time->text, "12:34");
}

}  // namespace
}  // namespace devkit
