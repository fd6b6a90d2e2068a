#include "bridge/method_arguments.h"

#include <cstdint>

#include "common/text_conversion.h"

MethodArguments::MethodArguments(const flutter::EncodableValue* arguments)
    : map_(arguments == nullptr ? nullptr : arguments->GetIf<flutter::EncodableMap>()) {}

const flutter::EncodableValue* MethodArguments::Find(std::string_view key) const {
  if (map_ == nullptr) return nullptr;
  const auto found = map_->find(flutter::EncodableValue(std::string(key)));
  return found == map_->end() ? nullptr : &found->second;
}

std::optional<bool> MethodArguments::GetBool(std::string_view key) const {
  const flutter::EncodableValue* value = Find(key);
  if (value == nullptr || !value->Holds<bool>()) return std::nullopt;
  return value->Get<bool>();
}

HWND MethodArguments::GetWindowHandle(std::string_view key) const {
  const flutter::EncodableValue* value = Find(key);
  int64_t handle = 0;
  if (value != nullptr && value->Holds<int64_t>()) {
    handle = value->Get<int64_t>();
  } else if (value != nullptr && value->Holds<int32_t>()) {
    // Handle values are sign-extended when a 64-bit process widens a 32-bit one.
    handle = value->Get<int32_t>();
  }
  // Handles cross the channel as integers; the cast back to a pointer cannot be avoided.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  return reinterpret_cast<HWND>(static_cast<intptr_t>(handle));
}

double MethodArguments::GetNumber(std::string_view key, double default_value) const {
  const flutter::EncodableValue* value = Find(key);
  if (value == nullptr) return default_value;
  if (value->Holds<double>()) return value->Get<double>();
  if (value->Holds<int32_t>()) return value->Get<int32_t>();
  if (value->Holds<int64_t>()) return static_cast<double>(value->Get<int64_t>());
  return default_value;
}

std::optional<std::wstring> MethodArguments::GetWideString(std::string_view key,
                                                           size_t max_units) const {
  const flutter::EncodableValue* value = Find(key);
  if (value == nullptr || !value->Holds<std::string>()) return std::nullopt;
  std::wstring text = Utf8ToWide(value->Get<std::string>());
  if (text.size() > max_units) text.resize(max_units);
  return text;
}
