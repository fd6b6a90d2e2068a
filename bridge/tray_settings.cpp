#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "bridge/desktop_bridge.h"

namespace {

// Leaves room in the shell's 128-unit tooltip buffer; the status line keeps the same limit.
constexpr size_t kMaxTrayTextUnits = 120;

}  // namespace

void DesktopBridge::SetQuitAllowed(const MethodArguments& arguments,
                                   flutter::MethodResult& result) {
  if (const std::optional<bool> allowed = arguments.GetBool("allowed")) quit_allowed_ = *allowed;
  result.Success(nullptr);
}

void DesktopBridge::SetTrayTooltip(const MethodArguments& arguments,
                                   flutter::MethodResult& result) {
  if (std::optional<std::wstring> text = arguments.GetWideString("text", kMaxTrayTextUnits)) {
    tray_tooltip_ = std::move(*text);
    UpdateTrayIcon();
  }
  result.Success(nullptr);
}

void DesktopBridge::SetTrayStatus(const MethodArguments& arguments, flutter::MethodResult& result) {
  // A missing status clears the line, unlike a missing tooltip, which keeps the old one.
  tray_status_ = arguments.GetWideString("status", kMaxTrayTextUnits).value_or(std::wstring());
  if (const std::optional<bool> session = arguments.GetBool("session")) session_active_ = *session;
  result.Success(nullptr);
}
