#include "bridge/proxy_settings_map.h"

#include <cstdint>
#include <string>

#include "common/text_conversion.h"

namespace {

constexpr DWORD kDefaultFlags = PROXY_TYPE_DIRECT;
constexpr double kFlagsLimit = 4294967296.0;

}  // namespace

std::optional<DWORD> ProxyFlagsFromNumber(double number) {
  // Written so that a NaN fails both comparisons.
  if (!(number >= 0.0 && number < kFlagsLimit)) return std::nullopt;
  return static_cast<DWORD>(number);
}

ProxySettings ProxySettingsFromMap(const MethodArguments& map) {
  ProxySettings settings;
  const flutter::EncodableValue* flags = map.Find("flags");
  const bool flags_is_number =
      flags != nullptr &&
      (flags->Holds<double>() || flags->Holds<int32_t>() || flags->Holds<int64_t>());
  if (flags_is_number) {
    settings.flags =
        ProxyFlagsFromNumber(map.GetNumber("flags", kDefaultFlags)).value_or(kDefaultFlags);
  }
  settings.server = map.GetWideString("server").value_or(std::wstring());
  settings.bypass = map.GetWideString("bypass").value_or(std::wstring());
  settings.autoconfig_url = map.GetWideString("pac").value_or(std::wstring());
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
