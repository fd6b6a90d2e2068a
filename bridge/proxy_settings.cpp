#include "bridge/proxy_settings.h"

#include <wininet.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <utility>

#include "bridge/desktop_bridge.h"
#include "common/text_conversion.h"

namespace {

constexpr DWORD kDefaultFlags = PROXY_TYPE_DIRECT;
constexpr double kFlagsLimit = 4294967296.0;

// The four options in the order both directions use: flags, server, bypass, autoconfig URL.
struct OptionList {
  INTERNET_PER_CONN_OPTIONW options[4] = {};
  INTERNET_PER_CONN_OPTION_LISTW list = {};

  explicit OptionList(DWORD flags_option) {
    options[0].dwOption = flags_option;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    options[3].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
    list.dwSize = sizeof(list);
    // Null names the default connection, the one the LAN settings page shows.
    list.pszConnection = nullptr;
    list.dwOptionCount = 4;
    list.pOptions = options;
  }
  OptionList(const OptionList&) = delete;
  OptionList& operator=(const OptionList&) = delete;
};

// Takes a string WinINet returned, which the caller must free with GlobalFree.
std::wstring TakeOptionText(LPWSTR text) {
  if (text == nullptr) return std::wstring();
  std::wstring copy(text);
  GlobalFree(text);
  return copy;
}

// A query that fails on one option still fills the others it knows (Wine's does, on every
// query for the settings page's flags), and those texts are the caller's to free as well.
void DiscardOptionTexts(OptionList& options) {
  for (size_t i = 1; i < std::size(options.options); ++i) {
    TakeOptionText(options.options[i].Value.pszValue);
    options.options[i].Value.pszValue = nullptr;
  }
}

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

bool ApplyProxySettings(const ProxySettings& settings, const SystemCalls& system) {
  // WinINet takes the texts as writable pointers; copies keep the settings untouched. An empty
  // text is still a pointer, never null, so that it clears its option.
  std::wstring server = settings.server;
  std::wstring bypass = settings.bypass;
  std::wstring autoconfig_url = settings.autoconfig_url;
  OptionList options(INTERNET_PER_CONN_FLAGS);
  options.options[0].Value.dwValue = settings.flags;
  options.options[1].Value.pszValue = server.data();
  options.options[2].Value.pszValue = bypass.data();
  options.options[3].Value.pszValue = autoconfig_url.data();
  return system.apply_proxy_options(options.list);
}

std::optional<ProxySettings> QueryProxySettings(const SystemCalls& system) {
  // The settings page's view of the flags first; systems (and Wine) without it give the plain
  // flags instead.
  OptionList options(INTERNET_PER_CONN_FLAGS_UI);
  if (!system.query_proxy_options(options.list)) {
    DiscardOptionTexts(options);
    options.options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options.list.dwSize = sizeof(options.list);
    if (!system.query_proxy_options(options.list)) {
      DiscardOptionTexts(options);
      return std::nullopt;
    }
  }
  ProxySettings settings;
  settings.flags = options.options[0].Value.dwValue;
  settings.server = TakeOptionText(options.options[1].Value.pszValue);
  settings.bypass = TakeOptionText(options.options[2].Value.pszValue);
  settings.autoconfig_url = TakeOptionText(options.options[3].Value.pszValue);
  return settings;
}

void DesktopBridge::RestoreProxyIfSaved() {
  if (!proxy_to_restore_) return;
  // At most once: the snapshot is gone after the attempt, whatever its result.
  const ProxySettings snapshot = std::move(*proxy_to_restore_);
  proxy_to_restore_.reset();
  ApplyProxySettings(snapshot, system_);
}

void DesktopBridge::GetProxy(const MethodArguments&, flutter::MethodResult& result) {
  const std::optional<ProxySettings> settings = QueryProxySettings(system_);
  if (!settings) {
    result.Success(nullptr);
    return;
  }
  const flutter::EncodableValue reply(ProxySettingsToMap(*settings));
  result.Success(&reply);
}

void DesktopBridge::SetProxy(const MethodArguments& arguments, flutter::MethodResult& result) {
  // Arguments that are no map at all ask for nothing; read as an empty map, they would switch
  // the user's proxy off.
  if (!arguments.is_map()) {
    const flutter::EncodableValue refused(false);
    result.Success(&refused);
    return;
  }
  const flutter::EncodableValue* restore = arguments.Find("restoreOnExit");
  // A snapshot of any other type than a map counts as none given.
  const bool restore_given = restore != nullptr && restore->Holds<flutter::EncodableMap>();
  const bool applied = ApplyProxySettings(ProxySettingsFromMap(arguments), system_);
  if (applied) {
    if (restore_given) {
      proxy_to_restore_ = ProxySettingsFromMap(MethodArguments(restore));
    } else {
      proxy_to_restore_.reset();
    }
  }
  const flutter::EncodableValue reply(applied);
  result.Success(&reply);
}
