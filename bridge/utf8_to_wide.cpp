#include "bridge/utf8_to_wide.h"

#include <windows.h>

#include <climits>

std::wstring Utf8ToWide(std::string_view utf8) {
  // The system takes the length as an int; a longer text cannot be converted, not even in part.
  if (utf8.empty() || utf8.size() > static_cast<size_t>(INT_MAX)) return std::wstring();
  const int utf8_length = static_cast<int>(utf8.size());
  // Flags 0 rather than MB_ERR_INVALID_CHARS: a malformed sequence is replaced, not refused.
  const int wide_length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8_length, nullptr, 0);
  if (wide_length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(wide_length), L'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, utf8.data(), utf8_length, wide.data(), wide_length) !=
      wide_length) {
    return std::wstring();
  }
  return wide;
}
