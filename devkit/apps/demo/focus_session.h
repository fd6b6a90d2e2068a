#ifndef DEVKIT_APPS_DEMO_FOCUS_SESSION_H_
#define DEVKIT_APPS_DEMO_FOCUS_SESSION_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "messaging/encodable_value.h"

namespace devkit {

// What the demo's focus timer decides, without the host: kept apart from the UI application so
// that it is tested natively.

struct FocusSettings {
  int64_t session_seconds = 0;
  // Lower-case executable names.
  std::vector<std::string> blocked_exes;
};

// From the entrypoint arguments "--session-seconds=N" and "--block=a.exe,b.exe"; anything else
// is left to the caller. The defaults work in a fresh Wine prefix, whose Notepad every prefix has.
FocusSettings ParseFocusSettings(const std::vector<std::string>& arguments);

// "12:40" for 760 seconds; hours, when there are any, come first ("1:02:03"). Never negative.
std::string FormatTimeLeft(int64_t seconds);

// "Notepad" for "notepad.exe": the name the user knows the program by, for a notification.
std::string DisplayName(std::string_view exe);

// The blocked executable an identity record ({"exe", "original", ...}) names, or empty. The
// "original" file name is checked as well, so that a renamed copy of a blocked program is caught.
std::string MatchBlocked(const std::vector<std::string>& blocked_exes,
                         const flutter::EncodableValue& identity);

// One session: its end, and what was pushed away while it ran. Times are milliseconds of any
// monotonic clock the caller keeps.
class FocusSession {
 public:
  FocusSession(int64_t start_ms, int64_t length_seconds);

  int64_t SecondsLeft(int64_t now_ms) const;
  bool IsOver(int64_t now_ms) const { return SecondsLeft(now_ms) == 0; }

  // "Focus: 12:40 left", or the line for a finished session.
  std::string StatusLine(int64_t now_ms) const;

  // Whether |hwnd| (0: none, or the host itself) is a change of the window in front. The event
  // and the half-second poll both report the front window, and a window being minimised is still
  // in front for a moment: only a change is acted on.
  bool CameToFront(int64_t hwnd);

  void RecordBlock(const std::string& exe) { blocked_.push_back(exe); }
  // The executables blocked so far, in order, once each time they came to the front.
  const std::vector<std::string>& blocked() const { return blocked_; }

 private:
  int64_t end_ms_;
  int64_t front_hwnd_ = 0;
  std::vector<std::string> blocked_;
};

}  // namespace devkit

#endif  // DEVKIT_APPS_DEMO_FOCUS_SESSION_H_
