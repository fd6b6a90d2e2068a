#ifndef DEVKIT_COMMON_TEXT_CONVERSION_H_
#define DEVKIT_COMMON_TEXT_CONVERSION_H_

#include <windows.h>

#include <string>
#include <string_view>

namespace devkit {

// Lenient both ways: the development kit converts names and messages for people to read, where a
// replacement character is better than losing the whole text.
inline std::string WideToUtf8(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string converted(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, converted.data(), size, nullptr, nullptr);
  return converted;
}

inline std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring converted(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, converted.data(), size);
  return converted;
}

}  // namespace devkit

#endif  // DEVKIT_COMMON_TEXT_CONVERSION_H_
