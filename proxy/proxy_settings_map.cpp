#include "proxy/proxy_settings_map.h"

#include <cstdint>
#include <string>

#include "common/text_conversion.h"

namespace {

constexpr DWORD kDefaultFlags = PROXY_TYPE_DIRECT;
constexpr double kFlagsLimit = 4294967296.0;

const flutter::EncodableValue* Find(const flutter::EncodableMap& map, const char* key) {
  const auto found = map.find(flutter::EncodableValue(std::string(key)));
  return found == map.end() ? nullptr : &found->second;
}

std::optional<double> NumberOf(const flutter::EncodableValue* value) {
  if (value == nullptr) return std::nullopt;
  if (value->Holds<double>()) return value->Get<double>();
  if (value->Holds<int32_t>()) return value->Get<int32_t>();
  if (value->Holds<int64_t>()) return static_cast<double>(value->Get<int64_t>());
  return std::nullopt;
}

std::wstring WideTextOf(const flutter::EncodableValue* value) {
  if (value == nullptr || !value->Holds<std::string>()) return std::wstring();
  return Utf8ToWide(value->Get<std::string>());
}

}  // namespace

std::optional<DWORD> ProxyFlagsFromNumber(double number) {
  // Written so that a NaN fails both comparisons.
  if (!(number >= 0.0 && number < kFlagsLimit)) return std::nullopt;
  return static_cast<DWORD>(number);
}

ProxySettings ProxySettingsFromMap(const flutter::EncodableMap& map) {
  ProxySettings settings;
  if (const std::optional<double> flags = NumberOf(Find(map, "flags"))) {
    settings.flags = ProxyFlagsFromNumber(*flags).value_or(kDefaultFlags);
  }
  settings.server = WideTextOf(Find(map, "server"));
  settings.bypass = WideTextOf(Find(map, "bypass"));
  settings.autoconfig_url = WideTextOf(Find(map, "pac"));
  return settings;
}

flutter::EncodableMap ProxySettingsToMap(const ProxySettings& settings) {
  return flutter::EncodableMap{
      {flutter::EncodableValue("flags"),
       flutter::EncodableValue(static_cast<int64_t>(settings.flags))},
      {flutter::EncodableValue("server"), flutter::EncodableValue(WideToUtf8(settings.server))},
      {flutter::EncodableValue("bypass"), flutter::EncodableValue(WideToUtf8(settings.bypass))},
      {flutter::EncodableValue("pac"),
       flutter::EncodableValue(WideToUtf8(settings.autoconfig_url))},
  };
}
