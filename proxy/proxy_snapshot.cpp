#include "proxy/proxy_snapshot.h"

#include <cstdint>

namespace {

constexpr wchar_t kVersion[] = L"v1";
// A DWORD's largest value has ten digits.
constexpr size_t kMaxDigits = 10;

void AppendText(std::wstring& out, const wchar_t* key, const std::wstring& text) {
  out.append(L" ").append(key).append(L"=").append(std::to_wstring(text.size()));
  out.append(L":").append(text);
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

  std::optional<DWORD> Number() {
    size_t digits = 0;
    uint64_t value = 0;
    while (digits < rest_.size() && digits <= kMaxDigits && rest_[digits] >= L'0' &&
           rest_[digits] <= L'9') {
      value = value * 10 + static_cast<uint64_t>(rest_[digits] - L'0');
      ++digits;
    }
    if (digits == 0 || digits > kMaxDigits || value > 0xFFFFFFFFu) return std::nullopt;
    rest_.remove_prefix(digits);
    return static_cast<DWORD>(value);
  }

  std::optional<std::wstring> Text() {
    const std::optional<DWORD> length = Number();
    if (!length || !Literal(L":") || *length > rest_.size()) return std::nullopt;
    std::wstring text(rest_.substr(0, *length));
    rest_.remove_prefix(*length);
    return text;
  }

  bool AtEnd() const { return rest_.empty(); }

 private:
  std::wstring_view rest_;
};

}  // namespace

std::wstring EncodeProxySnapshot(const ProxySnapshot& snapshot) {
  std::wstring text = kVersion;
  text.append(L" owner=").append(std::to_wstring(snapshot.owner_process_id));
  text.append(L" flags=").append(std::to_wstring(snapshot.settings.flags));
  AppendText(text, L"server", snapshot.settings.server);
  AppendText(text, L"bypass", snapshot.settings.bypass);
  AppendText(text, L"pac", snapshot.settings.autoconfig_url);
  return text;
}

std::optional<ProxySnapshot> DecodeProxySnapshot(std::wstring_view text) {
  SnapshotReader reader(text);
  if (!reader.Literal(kVersion) || !reader.Literal(L" owner=")) return std::nullopt;
  const std::optional<DWORD> owner = reader.Number();
  if (!owner || !reader.Literal(L" flags=")) return std::nullopt;
  const std::optional<DWORD> flags = reader.Number();
  if (!flags || !reader.Literal(L" server=")) return std::nullopt;
  std::optional<std::wstring> server = reader.Text();
  if (!server || !reader.Literal(L" bypass=")) return std::nullopt;
  std::optional<std::wstring> bypass = reader.Text();
  if (!bypass || !reader.Literal(L" pac=")) return std::nullopt;
  std::optional<std::wstring> pac = reader.Text();
  if (!pac || !reader.AtEnd()) return std::nullopt;
  return ProxySnapshot{
      *owner, ProxySettings{*flags, std::move(*server), std::move(*bypass), std::move(*pac)}};
}
