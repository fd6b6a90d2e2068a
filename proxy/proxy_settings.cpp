#include "proxy/proxy_settings.h"

#include <cstddef>
#include <iterator>

namespace {

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

bool ApplyProxySettings(const ProxySettings& settings, const ProxyCalls& calls) {
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
  return calls.apply_options(options.list);
}

std::optional<ProxySettings> QueryProxySettings(const ProxyCalls& calls) {
  // The settings page's view of the flags first; systems (and Wine) without it give the plain
  // flags instead.
  OptionList options(INTERNET_PER_CONN_FLAGS_UI);
  if (!calls.query_options(options.list)) {
    DiscardOptionTexts(options);
    options.options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options.list.dwSize = sizeof(options.list);
    if (!calls.query_options(options.list)) {
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
