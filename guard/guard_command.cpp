#include "guard/guard_command.h"

#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "common/shared_names.h"

namespace {

// The words between single spaces; an empty word (two spaces, or one at either end) is kept, so
// that it fails as a number.
std::vector<std::wstring_view> Words(std::wstring_view text) {
  std::vector<std::wstring_view> words;
  for (;;) {
    const size_t space = text.find(L' ');
    words.push_back(text.substr(0, space));
    if (space == std::wstring_view::npos) return words;
    text.remove_prefix(space + 1);
  }
}

std::optional<uint64_t> Number(std::wstring_view word, uint64_t max) {
  if (word.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const wchar_t character : word) {
    if (character < L'0' || character > L'9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(character - L'0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

// "<id>" or "<id> <creation time>".
std::optional<ProcessIdentity> Host(const std::vector<std::wstring_view>& words, size_t first,
                                    bool creation_time_required) {
  const size_t count = words.size() - first;
  if (count < (creation_time_required ? 2u : 1u) || count > 2) return std::nullopt;
  const std::optional<uint64_t> id = Number(words[first], 0xFFFFFFFFu);
  if (!id || *id == 0) return std::nullopt;
  ProcessIdentity host{static_cast<DWORD>(*id), 0};
  if (count == 2) {
    const std::optional<uint64_t> created =
        Number(words[first + 1], std::numeric_limits<uint64_t>::max());
    if (!created) return std::nullopt;
    host.created = *created;
  }
  return host;
}

}  // namespace

std::optional<GuardCommand> ParseGuardCommand(const wchar_t* arguments) {
  if (arguments == nullptr) return std::nullopt;
  const std::vector<std::wstring_view> words = Words(arguments);
  if (words.size() == 1 && words[0] == kGuardRestoreOnlySwitch) {
    return GuardCommand{GuardCommand::Mode::kRestoreOnly, ProcessIdentity()};
  }
  const bool detach = words[0] == kGuardDetachSwitch;
  const std::optional<ProcessIdentity> host = Host(words, detach ? 1 : 0, detach);
  if (!host) return std::nullopt;
  return GuardCommand{detach ? GuardCommand::Mode::kDetach : GuardCommand::Mode::kWatch, *host};
}
