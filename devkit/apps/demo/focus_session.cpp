#include "devkit/apps/demo/focus_session.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace devkit {
namespace {

constexpr std::string_view kSessionArgument = "--session-seconds=";
constexpr std::string_view kBlockArgument = "--block=";
// Long enough to see a distraction blocked by hand, short enough to see the session end.
constexpr int64_t kDefaultSessionSeconds = 120;
constexpr char kDefaultBlocked[] = "notepad.exe";

// Executable names compare as the host reports "exe": only A to Z are folded.
std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return lower;
}

std::vector<std::string> SplitList(std::string_view list) {
  std::vector<std::string> names;
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const std::string_view name = list.substr(0, comma);
    if (!name.empty()) names.push_back(AsciiLower(name));
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return names;
}

std::string TwoDigits(int64_t value) {
  return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10);
}

std::string StringField(const flutter::EncodableMap& record, const char* key) {
  const auto found = record.find(flutter::EncodableValue(key));
  if (found == record.end() || !found->second.Holds<std::string>()) return std::string();
  return found->second.Get<std::string>();
}

}  // namespace

FocusSettings ParseFocusSettings(const std::vector<std::string>& arguments) {
  FocusSettings settings;
  settings.session_seconds = kDefaultSessionSeconds;
  settings.blocked_exes = {kDefaultBlocked};
  for (const std::string& argument : arguments) {
    const std::string_view text = argument;
    if (text.substr(0, kSessionArgument.size()) == kSessionArgument) {
      const std::string_view number = text.substr(kSessionArgument.size());
      int64_t seconds = 0;
      const auto [end, error] =
          std::from_chars(number.data(), number.data() + number.size(), seconds);
      // A length that is not a whole positive number keeps the default rather than a session
      // that is over before it starts.
      if (error == std::errc() && end == number.data() + number.size() && seconds > 0) {
        settings.session_seconds = seconds;
      }
    } else if (text.substr(0, kBlockArgument.size()) == kBlockArgument) {
      settings.blocked_exes = SplitList(text.substr(kBlockArgument.size()));
    }
  }
  return settings;
}

std::string FormatTimeLeft(int64_t seconds) {
  seconds = std::max<int64_t>(seconds, 0);
  const int64_t hours = seconds / 3600;
  const int64_t minutes = seconds / 60 % 60;
  const std::string tail = TwoDigits(seconds % 60);
  if (hours > 0) return std::to_string(hours) + ":" + TwoDigits(minutes) + ":" + tail;
  return std::to_string(minutes) + ":" + tail;
}

std::string DisplayName(std::string_view exe) {
  const size_t dot = exe.rfind('.');
  std::string name(exe.substr(0, dot));
  if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') {
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
  }
  return name;
}

std::string MatchBlocked(const std::vector<std::string>& blocked_exes,
                         const flutter::EncodableValue& identity) {
  const auto* record = identity.GetIf<flutter::EncodableMap>();
  if (record == nullptr) return std::string();
  for (const char* key : {"exe", "original"}) {
    std::string name = AsciiLower(StringField(*record, key));
    if (name.empty()) continue;
    if (std::find(blocked_exes.begin(), blocked_exes.end(), name) != blocked_exes.end()) {
      return name;
    }
  }
  return std::string();
}

FocusSession::FocusSession(int64_t start_ms, int64_t length_seconds)
    : end_ms_(start_ms + length_seconds * 1000) {}

int64_t FocusSession::SecondsLeft(int64_t now_ms) const {
  if (now_ms >= end_ms_) return 0;
  // Rounded up, so that the line reads 0:00 only once the session is over.
  return (end_ms_ - now_ms + 999) / 1000;
}

std::string FocusSession::StatusLine(int64_t now_ms) const {
  if (IsOver(now_ms)) return "Focus session over";
  return "Focus: " + FormatTimeLeft(SecondsLeft(now_ms)) + " left";
}

bool FocusSession::CameToFront(int64_t hwnd) {
  if (hwnd == front_hwnd_) return false;
  front_hwnd_ = hwnd;
  return hwnd != 0;
}

}  // namespace devkit
