#include "common/text_conversion.h"

#include <windows.h>

#include <climits>
#include <cwchar>

namespace {

// The longest text Windows itself allows in a command line.
constexpr size_t kMaxConvertedUnits = 32767;

}  // namespace

std::string WideToUtf8(const wchar_t* text) {
  if (text == nullptr) return std::string();
  int length = static_cast<int>(wcsnlen(text, kMaxConvertedUnits));
  int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, nullptr, 0, nullptr,
                                 nullptr);
  if (size == 0) return std::string();
  std::string utf8(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, utf8.data(), size, nullptr,
                          nullptr) == 0) {
    return std::string();
  }
  return utf8;
}

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  return WideToUtf8(text.c_str());
}

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
