#include "proxy/proxy_snapshot.h"

#include <cstdint>
#include <limits>
#include <utility>

namespace {

constexpr wchar_t kFirstVersion[] = L"v1";
constexpr wchar_t kVersion[] = L"v2";
constexpr wchar_t kAppliedUnknown[] = L" applied unknown";
constexpr wchar_t kApplied[] = L" applied";

void AppendText(std::wstring& out, const wchar_t* key, const std::wstring& text) {
  out.append(L" ").append(key).append(L"=").append(std::to_wstring(text.size()));
  out.append(L":").append(text);
}

void AppendSettings(std::wstring& out, const ProxySettings& settings) {
  out.append(L" flags=").append(std::to_wstring(settings.flags));
  AppendText(out, L"server", settings.server);
  AppendText(out, L"bypass", settings.bypass);
  AppendText(out, L"pac", settings.autoconfig_url);
}

// Takes the fields off the front of the text one by one; any mismatch is final.
class SnapshotReader {
 public:
  explicit SnapshotReader(std::wstring_view text) : rest_(text) {}

  bool Literal(std::wstring_view expected) {
    if (rest_.substr(0, expected.size()) != expected) return false;
    rest_.remove_prefix(expected.size());
    return true;
  }

  // A decimal number of at most |max|, without sign or leading space.
  std::optional<uint64_t> Number(uint64_t max) {
    // The largest 64-bit value has twenty digits.
    constexpr size_t kMaxDigits = 20;
    size_t digits = 0;
    uint64_t value = 0;
    while (digits < rest_.size() && rest_[digits] >= L'0' && rest_[digits] <= L'9') {
      const auto digit = static_cast<uint64_t>(rest_[digits] - L'0');
      if (++digits > kMaxDigits || value > (max - digit) / 10) return std::nullopt;
      value = value * 10 + digit;
    }
    if (digits == 0) return std::nullopt;
    rest_.remove_prefix(digits);
    return value;
  }

  std::optional<DWORD> Dword() {
    const std::optional<uint64_t> value = Number(0xFFFFFFFFu);
    if (!value) return std::nullopt;
    return static_cast<DWORD>(*value);
  }

  std::optional<std::wstring> Text() {
    const std::optional<DWORD> length = Dword();
    if (!length || !Literal(L":") || *length > rest_.size()) return std::nullopt;
    std::wstring text(rest_.substr(0, *length));
    rest_.remove_prefix(*length);
    return text;
  }

  // " flags=… server=… bypass=… pac=…"
  std::optional<ProxySettings> Settings() {
    if (!Literal(L" flags=")) return std::nullopt;
    const std::optional<DWORD> flags = Dword();
    if (!flags || !Literal(L" server=")) return std::nullopt;
    std::optional<std::wstring> server = Text();
    if (!server || !Literal(L" bypass=")) return std::nullopt;
    std::optional<std::wstring> bypass = Text();
    if (!bypass || !Literal(L" pac=")) return std::nullopt;
    std::optional<std::wstring> pac = Text();
    if (!pac) return std::nullopt;
    return ProxySettings{*flags, std::move(*server), std::move(*bypass), std::move(*pac)};
  }

  bool AtEnd() const { return rest_.empty(); }

 private:
  std::wstring_view rest_;
};

std::optional<ProxySnapshot> DecodeFirstVersion(SnapshotReader& reader) {
  const std::optional<DWORD> owner = reader.Dword();
  if (!owner) return std::nullopt;
  std::optional<ProxySettings> settings = reader.Settings();
  if (!settings || !reader.AtEnd()) return std::nullopt;
  return ProxySnapshot{ProcessIdentity{*owner, 0}, std::move(*settings), std::nullopt};
}

}  // namespace

std::wstring EncodeProxySnapshot(const ProxySnapshot& snapshot) {
  std::wstring text = kVersion;
  text.append(L" owner=").append(std::to_wstring(snapshot.owner.id));
  text.append(L" created=").append(std::to_wstring(snapshot.owner.created));
  AppendSettings(text, snapshot.settings);
  if (!snapshot.applied) {
    text.append(kAppliedUnknown);
  } else {
    text.append(kApplied);
    AppendSettings(text, *snapshot.applied);
  }
  return text;
}

std::optional<ProxySnapshot> DecodeProxySnapshot(std::wstring_view text) {
  SnapshotReader reader(text);
  if (reader.Literal(kFirstVersion) && reader.Literal(L" owner=")) {
    return DecodeFirstVersion(reader);
  }
  reader = SnapshotReader(text);
  if (!reader.Literal(kVersion) || !reader.Literal(L" owner=")) return std::nullopt;
  const std::optional<DWORD> owner = reader.Dword();
  if (!owner || !reader.Literal(L" created=")) return std::nullopt;
  const std::optional<uint64_t> created = reader.Number(std::numeric_limits<uint64_t>::max());
  if (!created) return std::nullopt;
  std::optional<ProxySettings> settings = reader.Settings();
  if (!settings) return std::nullopt;
  ProxySnapshot snapshot{ProcessIdentity{*owner, *created}, std::move(*settings), std::nullopt};
  if (reader.Literal(kAppliedUnknown))
    return reader.AtEnd() ? std::optional(snapshot) : std::nullopt;
  if (!reader.Literal(kApplied)) return std::nullopt;
  snapshot.applied = reader.Settings();
  if (!snapshot.applied || !reader.AtEnd()) return std::nullopt;
  return snapshot;
}
