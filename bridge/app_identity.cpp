#include "bridge/app_identity.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>

#include "common/scoped_handles.h"
#include "common/text_conversion.h"

namespace {

constexpr DWORD kImagePathCapacity = 520;
constexpr size_t kSubBlockCapacity = 128;
// Larger than the version resources of nearly all programs, which take a few hundred bytes to a
// few kilobytes.
constexpr DWORD kVersionBlockGuess = 8192;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// What EnumChildWindows reports back: the frame's own process, and the first other one found.
struct HostedProcessSearch {
  DWORD frame_process;
  DWORD hosted_process;
};

BOOL CALLBACK FindHostedProcess(HWND child, LPARAM lparam) noexcept {
  auto* search = reinterpret_cast<HostedProcessSearch*>(lparam);
  DWORD process_id = 0;
  GetWindowThreadProcessId(child, &process_id);
  if (process_id == search->frame_process) return TRUE;
  search->hosted_process = process_id;
  return FALSE;
}

// The version resource of |file| as GetFileVersionInfoW gives it; empty when there is none.
// GetFileVersionInfoSizeW maps the file only to learn the size, and GetFileVersionInfoW maps it
// again: under Wine each mapping costs about a millisecond, nearly all of what naming a window's
// program costs. The resource begins with its own length (VS_VERSIONINFO's wLength), so a first
// reading into a buffer that holds that length is already whole, and only a larger resource
// needs the size and a second reading. The size asked for also leaves room for the conversions
// of the ANSI queries, which the wide ones never make.
std::vector<uint8_t> ReadVersionBlock(const std::wstring& file) {
  std::vector<uint8_t> block(kVersionBlockGuess, 0);
  if (!GetFileVersionInfoW(file.c_str(), 0, kVersionBlockGuess, block.data())) return {};
  WORD length = 0;
  std::memcpy(&length, block.data(), sizeof(length));
  if (length <= kVersionBlockGuess) return block;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), nullptr);
  if (size == 0) return {};
  block.assign(size, 0);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return {};
  return block;
}

}  // namespace

flutter::EncodableMap BuildWindowIdentity(HWND window) {
  return BuildWindowIdentity(window, ResolveAppProcess(window));
}

flutter::EncodableMap BuildWindowIdentity(HWND window, const AppProcess& process) {
  const DWORD process_id = process.id;
  const std::wstring& path = process.image_path;
  const std::wstring original = ToLower(GetVersionString(path, L"OriginalFilename"));
  const std::wstring exe = ToLower(GetFileName(path));
  return flutter::EncodableMap{
      {flutter::EncodableValue("exe"), flutter::EncodableValue(WideToUtf8(exe))},
      {flutter::EncodableValue("original"), flutter::EncodableValue(WideToUtf8(original))},
      {flutter::EncodableValue("path"), flutter::EncodableValue(WideToUtf8(path))},
      {flutter::EncodableValue("pid"), flutter::EncodableValue(static_cast<int64_t>(process_id))},
      // Handles cross the channel as integers.
      {flutter::EncodableValue("hwnd"),
       flutter::EncodableValue(static_cast<int64_t>(reinterpret_cast<intptr_t>(window)))},
  };
}

DWORD ResolveAppProcessId(HWND window) { return ResolveAppProcess(window).id; }

FrameState ClassifyFrame(std::wstring_view lowered_name, DWORD hosted_process) {
  if (lowered_name != kHostedAppFrameProcess) return FrameState::kNoFrame;
  return hosted_process != 0 ? FrameState::kHostingApp : FrameState::kWaitingForApp;
}

AppProcess ResolveAppProcess(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  std::wstring image_path = GetProcessImagePath(process_id);
  const std::wstring name = ToLower(GetFileName(image_path));
  HostedProcessSearch search{process_id, 0};
  if (name == kHostedAppFrameProcess) {
    EnumChildWindows(window, &FindHostedProcess, reinterpret_cast<LPARAM>(&search));
  }
  const FrameState frame = ClassifyFrame(name, search.hosted_process);
  if (frame != FrameState::kHostingApp) return {process_id, std::move(image_path), frame};
  return {search.hosted_process, GetProcessImagePath(search.hosted_process), frame};
}

std::wstring GetProcessImagePath(DWORD process_id) {
  const ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  if (!process) return std::wstring();
  wchar_t path[kImagePathCapacity];
  DWORD size = kImagePathCapacity;
  if (!QueryFullProcessImageNameW(process.get(), 0, path, &size)) return std::wstring();
  return std::wstring(path, size);
}

std::wstring GetVersionString(const std::wstring& file, const std::wstring& name) {
  const std::vector<uint8_t> block = ReadVersionBlock(file);
  if (block.empty()) return std::wstring();

  void* translations = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &translations, &length) ||
      length < 4) {
    return std::wstring();
  }
  WORD language_and_code_page[2];
  std::memcpy(language_and_code_page, translations, sizeof(language_and_code_page));

  wchar_t sub_block[kSubBlockCapacity];
  if (std::swprintf(sub_block, kSubBlockCapacity, L"\\StringFileInfo\\%04x%04x\\%ls",
                    language_and_code_page[0], language_and_code_page[1], name.c_str()) < 0) {
    return std::wstring();
  }
  void* text = nullptr;
  if (!VerQueryValueW(block.data(), sub_block, &text, &length) || length == 0) {
    return std::wstring();
  }
  return std::wstring(static_cast<const wchar_t*>(text));
}

std::wstring GetFileName(const std::wstring& path) {
  size_t root_end = 0;
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':') {
    root_end = 2;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // A network share or a device: the server or device prefix up to the next separator is the
    // root, never a file name.
    const size_t next = path.find_first_of(L"\\/", 2);
    if (next == std::wstring::npos) return std::wstring();
    root_end = next;
  }
  const size_t last_separator = path.find_last_of(L"\\/");
  const size_t start = last_separator != std::wstring::npos && last_separator >= root_end
                           ? last_separator + 1
                           : root_end;
  return path.substr(start);
}

std::wstring ToLower(std::wstring text) {
  // The runtime's towlower in its default "C" locale does exactly this; done here directly so
  // that no locale the process might be given can change what an executable is called.
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

bool IsExecutableName(std::wstring_view lowered) {
  constexpr std::wstring_view kExecutableSuffix = L".exe";
  return lowered.size() > kExecutableSuffix.size() && lowered.ends_with(kExecutableSuffix);
}
