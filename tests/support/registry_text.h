#ifndef TESTS_SUPPORT_REGISTRY_TEXT_H_
#define TESTS_SUPPORT_REGISTRY_TEXT_H_

#include <windows.h>

#include <cwchar>
#include <optional>
#include <string>

namespace keelo::testing {

// The text of value |name| under |hive|\|key|, whatever its length; nothing when the value is
// missing or holds no text.
inline std::optional<std::wstring> ReadRegistryText(HKEY hive, const std::wstring& key,
                                                    const wchar_t* name) {
  DWORD size = 0;
  if (RegGetValueW(hive, key.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (RegGetValueW(hive, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_REGISTRY_TEXT_H_
