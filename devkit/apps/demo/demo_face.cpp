#include "devkit/apps/demo/demo_face.h"

#include <algorithm>
#include <utility>

#include "devkit/apps/demo/focus_session.h"

namespace devkit {
namespace {

constexpr uint32_t kBackground = 0x141C25;
constexpr uint32_t kCard = 0x1E2935;
constexpr uint32_t kTrack = 0x2C3A48;
constexpr uint32_t kPrimary = 0xECF0F4;
constexpr uint32_t kSecondary = 0x98A6B3;
constexpr uint32_t kRunning = 0x4CC9A0;
constexpr uint32_t kOver = 0x8090A0;
constexpr uint32_t kBlocked = 0xF0A050;

constexpr float kMargin = 24;
constexpr float kGap = 16;
constexpr float kRowHeight = 30;
constexpr float kTileWidth = 104;
constexpr float kTileHeight = 92;
constexpr float kIconSize = 48;

bool Running(const FaceState& state) { return state.seconds_left > 0; }

double Elapsed(const FaceState& state) {
  if (state.session_seconds <= 0) return 1;
  const double left =
      static_cast<double>(state.seconds_left) / static_cast<double>(state.session_seconds);
  return std::clamp(1 - left, 0.0, 1.0);
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

void ProgressBar(Face& face, float x, float y, float width, float height, const FaceState& state) {
  face.Fill(x, y, width, height, kTrack, height / 2);
  const float done = static_cast<float>(width * Elapsed(state));
  if (done > 0) face.Fill(x, y, done, height, Running(state) ? kRunning : kOver, height / 2);
}

// The mini timer: the time left, large, and the state beside it.
void Compact(Face& face, const FaceState& state, float width, float height) {
  constexpr float kPadding = 14;
  constexpr float kBar = 4;
  const float split = width * 0.55F;
  face.Text(kPadding, 0, split - kPadding, height - kBar, FormatTimeLeft(state.seconds_left),
            std::min(height * 0.6F, 56.0F), kPrimary, KEELO_TEXT_BOLD | KEELO_TEXT_FIT);
  const float right = width - split - kPadding;
  face.Text(split, height / 2 - 22, right, 20, Running(state) ? "Focus session" : "Session over",
            14, Running(state) ? kRunning : kOver, KEELO_TEXT_BOLD | KEELO_TEXT_RIGHT);
  const std::string blocked =
      state.blocked.empty() ? "Nothing blocked yet"
                            : state.blocked.back().name + " blocked at " + state.blocked.back().at;
  face.Text(split, height / 2, right, 20, blocked, 12, kSecondary, KEELO_TEXT_RIGHT);
  ProgressBar(face, 0, height - kBar, width, kBar, state);
}

// The time left, what the session blocks, and how far it is.
float Hero(Face& face, const FaceState& state, float top, float width, float height) {
  const float card_height = std::clamp(height * 0.36F, 150.0F, 240.0F);
  const float inner = width - 2 * kMargin;
  face.Fill(kMargin, top, inner, card_height, kCard, 12);
  face.Text(kMargin, top + 12, inner, 20, Running(state) ? "TIME LEFT" : "FOCUS SESSION OVER", 13,
            kSecondary, KEELO_TEXT_BOLD | KEELO_TEXT_CENTER);
  const float time_size = std::min(card_height * 0.42F, 120.0F);
  face.Text(kMargin + kGap, top + 34, inner - 2 * kGap, time_size * 1.25F,
            FormatTimeLeft(state.seconds_left), time_size, kPrimary,
            KEELO_TEXT_BOLD | KEELO_TEXT_CENTER | KEELO_TEXT_FIT);
  std::string line = "of a " + FormatTimeLeft(state.session_seconds) + " session";
  if (!state.blocking.empty()) line += "  \xC2\xB7  blocking " + Joined(state.blocking);
  face.Text(kMargin + kGap, top + card_height - 48, inner - 2 * kGap, 20, line, 14, kSecondary,
            KEELO_TEXT_CENTER);
  ProgressBar(face, kMargin + 24, top + card_height - 20, inner - 48, 6, state);
  return top + card_height;
}

void CardTitle(Face& face, float x, float y, float width, const std::string& title,
               const std::string& count) {
  face.Text(x + kGap, y + 12, width - 2 * kGap, 24, title, 16, kPrimary, KEELO_TEXT_BOLD);
  face.Text(x + kGap, y + 12, width - 2 * kGap, 24, count, 13, kSecondary, KEELO_TEXT_RIGHT);
}

void BlockedCard(Face& face, const FaceState& state, float x, float y, float width, float height) {
  face.Fill(x, y, width, height, kCard, 12);
  CardTitle(face, x, y, width, "Blocked", std::to_string(state.blocked.size()) + " this session");
  const float first = y + 48;
  if (state.blocked.empty()) {
    face.Text(x + kGap, first, width - 2 * kGap, kRowHeight,
              "Nothing yet: a blocked app is minimised when it comes to the front", 14, kSecondary);
    return;
  }
  const size_t fit = static_cast<size_t>(std::max(0.0F, (y + height - 8 - first) / kRowHeight));
  // The latest first; when they do not all fit, the last row counts the rest.
  const size_t shown = state.blocked.size() <= fit ? state.blocked.size() : fit - (fit > 0);
  for (size_t row = 0; row < shown; ++row) {
    const FaceBlock& block = state.blocked[state.blocked.size() - 1 - row];
    const float top = first + static_cast<float>(row) * kRowHeight;
    face.Fill(x + kGap, top + kRowHeight / 2 - 4, 8, 8, kBlocked, 4);
    face.Text(x + kGap + 18, top, width / 2, kRowHeight, block.name, 15, kPrimary);
    face.Text(x + width / 2, top, width / 2 - kGap, kRowHeight, "at " + block.at, 14, kSecondary,
              KEELO_TEXT_RIGHT);
  }
  if (shown < state.blocked.size() && fit > 0) {
    face.Text(x + kGap + 18, first + static_cast<float>(shown) * kRowHeight, width - 2 * kGap,
              kRowHeight, "and " + std::to_string(state.blocked.size() - shown) + " earlier", 14,
              kSecondary);
  }
}

void AppsCard(Face& face, const FaceState& state, float x, float y, float width, float height) {
  face.Fill(x, y, width, height, kCard, 12);
  CardTitle(face, x, y, width, "Installed apps",
            state.app_count == 0 ? std::string() : std::to_string(state.app_count) + " found");
  const float first = y + 48;
  if (state.apps.empty()) {
    face.Text(x + kGap, first, width - 2 * kGap, kRowHeight, state.apps_note, 14, kSecondary);
    return;
  }
  const size_t columns = static_cast<size_t>(std::max(1.0F, (width - 2 * kGap) / kTileWidth));
  for (size_t index = 0; index < state.apps.size(); ++index) {
    const size_t row = index / columns;
    const float left = x + kGap + static_cast<float>(index % columns) * kTileWidth;
    const float top = first + static_cast<float>(row) * kTileHeight;
    if (top + kTileHeight > y + height) break;
    const FaceApp& app = state.apps[index];
    const float icon_left = left + (kTileWidth - kIconSize) / 2;
    if (app.png != nullptr && !app.png->empty()) {
      face.Image(icon_left, top, kIconSize, kIconSize, *app.png);
    } else {
      face.Fill(icon_left, top, kIconSize, kIconSize, kTrack, 10);
    }
    face.Text(left + 4, top + kIconSize + 6, kTileWidth - 8, 20, app.name, 13, kPrimary,
              KEELO_TEXT_CENTER);
  }
}

// Everything: the state, the time left, what was blocked and when, and the installed apps.
void Full(Face& face, const FaceState& state, float width, float height) {
  face.Text(kMargin, kMargin, width / 2, 28, "Keelo", 20, kPrimary, KEELO_TEXT_BOLD);
  constexpr float kPillWidth = 150;
  const float pill_left = width - kMargin - kPillWidth;
  face.Fill(pill_left, kMargin, kPillWidth, 28, Running(state) ? kRunning : kOver, 14);
  face.Text(pill_left, kMargin, kPillWidth, 28, Running(state) ? "Focus session" : "Session over",
            13, kBackground, KEELO_TEXT_BOLD | KEELO_TEXT_CENTER);

  const float top = Hero(face, state, kMargin + 44, width, height) + kGap;
  constexpr float kFooter = 28;
  const float bottom = height - kMargin - kFooter;
  const float inner = width - 2 * kMargin;
  constexpr float kLeastCardHeight = 120;
  // A short window shows the time rather than cards too small to read.
  if (bottom - top >= kLeastCardHeight) {
    if (width >= 640) {
      const float column = (inner - kGap) / 2;
      BlockedCard(face, state, kMargin, top, column, bottom - top);
      AppsCard(face, state, kMargin + column + kGap, top, column, bottom - top);
    } else {
      const float half = (bottom - top - kGap) / 2;
      BlockedCard(face, state, kMargin, top, inner, half);
      AppsCard(face, state, kMargin, top + half + kGap, inner, half);
    }
  }
  face.Text(kMargin, height - kMargin - 20, inner / 2, 20, state.front, 13, kSecondary);
  face.Text(kMargin + inner / 2, height - kMargin - 20, inner / 2, 20, state.note, 13, kSecondary,
            KEELO_TEXT_RIGHT);
}

KeeloDrawItem Placed(uint32_t kind, float x, float y, float width, float height) {
  KeeloDrawItem item{};
  item.kind = kind;
  item.x = x;
  item.y = y;
  item.width = width;
  item.height = height;
  return item;
}

}  // namespace

void Face::Fill(float x, float y, float width, float height, uint32_t color, float radius) {
  KeeloDrawItem item = Placed(KEELO_DRAW_FILL, x, y, width, height);
  item.color = color;
  item.radius = radius;
  items_.push_back(item);
}

void Face::Text(float x, float y, float width, float height, std::string text, float size,
                uint32_t color, uint32_t flags) {
  if (text.empty()) return;
  texts_.push_back(std::move(text));
  KeeloDrawItem item = Placed(KEELO_DRAW_TEXT, x, y, width, height);
  item.color = color;
  item.text_size = size;
  item.text_flags = flags;
  item.text = texts_.back().c_str();
  items_.push_back(item);
}

void Face::Image(float x, float y, float width, float height, const std::vector<uint8_t>& png) {
  KeeloDrawItem item = Placed(KEELO_DRAW_IMAGE, x, y, width, height);
  item.image = png.data();
  item.image_size = png.size();
  items_.push_back(item);
}

Face BuildFace(const FaceState& state, float width, float height) {
  Face face;
  face.Fill(0, 0, width, height, kBackground);
  if (height <= kCompactFaceHeight) {
    Compact(face, state, width, height);
  } else {
    Full(face, state, width, height);
  }
  return face;
}

}  // namespace devkit
