#ifndef BRIDGE_STARTUP_ENTRY_H_
#define BRIDGE_STARTUP_ENTRY_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>

// Starting with the user's sign-in: a value under the current user's Run key that starts the
// executable hidden in the tray (names in common/shared_names.h). A packaged installation never
// uses the Run key. Every call reads or writes the registry; nothing is kept in memory.
class StartupEntry {
 public:
  // Whether the process runs with package identity.
  using IsPackagedCheck = std::function<bool()>;

  explicit StartupEntry(IsPackagedCheck is_packaged);

  bool IsPackaged() const;

  // Whether Windows will start the host at sign-in: a string value of that name is under the Run
  // key (its data is not compared) and no startup-approval value switches it off.
  bool IsEnabled() const;

  // The user's own choice, made in the host: on writes the Run value and removes an approval
  // value that switches it off; off removes both. True when the registry now matches |enabled|.
  bool Set(bool enabled) const;

 private:
  IsPackagedCheck is_packaged_;
};

// The Run value's data: the quoted executable path, then " --minimized".
std::wstring RunValueData(const std::wstring& executable_path);

// Whether the startup-approval value's |data| switches the entry off: its first byte is odd
// (Windows writes 03 or 07 then, 02 or 06 while on). No data is no switch.
bool StartupApprovalDisables(std::span<const uint8_t> data);

#endif  // BRIDGE_STARTUP_ENTRY_H_
