#ifndef BRIDGE_APP_IDENTITY_H_
#define BRIDGE_APP_IDENTITY_H_

#include <windows.h>

#include <string>
#include <string_view>

#include "messaging/encodable_value.h"

// Which application a window or process belongs to, as the UI application names applications:
// by their executable. Shared by the foreground reports and the installed-app catalogue.

// Windows whose process has this file name are frames that host another process's window (the
// packaged apps of the system).
inline constexpr wchar_t kHostedAppFrameProcess[] = L"applicationframehost.exe";

// The identity record of |window|: "exe" (the image's file name, lower-cased), "original" (its
// version resource's OriginalFilename, lower-cased), "path" (the image path as the system gives
// it), "pid" and "hwnd". A part that cannot be read is an empty string or 0; the record always
// has all five keys.
flutter::EncodableMap BuildWindowIdentity(HWND window);

// The process of |window|; for a frame of the application frame host, the process of its first
// child window that belongs to another process, when it has one. 0 when the window is gone.
DWORD ResolveAppProcessId(HWND window);

// Where a window stands with the application frame host.
enum class FrameState {
  // The window is no frame of the application frame host.
  kNoFrame,
  // A frame with no window of another process inside it yet: it names the frame host itself.
  kWaitingForApp,
  // A frame with the hosted app's window inside: it names the app.
  kHostingApp,
};

// The frame state of a window whose process has the lower-cased file name |lowered_name|, when
// the first child window of another process belongs to |hosted_process| (0 for none).
FrameState ClassifyFrame(std::wstring_view lowered_name, DWORD hosted_process);

// The same process with its image path (GetProcessImagePath), which telling a frame host apart
// already reads, so that callers that need both open the process once; and the frame state.
struct AppProcess {
  DWORD id;
  std::wstring image_path;
  FrameState frame;
};
AppProcess ResolveAppProcess(HWND window);

// The identity record of |window| whose |process| ResolveAppProcess found.
flutter::EncodableMap BuildWindowIdentity(HWND window, const AppProcess& process);

// The process's image as a Win32 path; empty when the process cannot be opened or the path does
// not fit 520 characters.
std::wstring GetProcessImagePath(DWORD process_id);

// The string |name| of |file|'s version resource in its first translation only; empty when the
// file has no version resource, or that translation lacks the string.
std::wstring GetVersionString(const std::wstring& file, const std::wstring& name);

// The final component of a Windows path: after the last backslash or slash and never part of a
// root (a drive, a network or device prefix); empty when the path ends in a separator or is
// only a root.
std::wstring GetFileName(const std::wstring& path);

// A to Z folded to a to z; every other code unit is kept as it is.
std::wstring ToLower(std::wstring text);

// Whether a lower-cased file name or path names an executable: it ends in ".exe", after at
// least one more character.
bool IsExecutableName(std::wstring_view lowered);

#endif  // BRIDGE_APP_IDENTITY_H_
