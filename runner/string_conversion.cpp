#include "runner/string_conversion.h"

#include <windows.h>

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
