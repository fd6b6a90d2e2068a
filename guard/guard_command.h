#ifndef GUARD_GUARD_COMMAND_H_
#define GUARD_GUARD_COMMAND_H_

#include <optional>

#include "proxy/process_identity.h"

// What keelo_proxy_guard.exe is asked to do, from the arguments after its name:
//
//   <id> [<creation time>]            watch the host of that id (and creation time, when given)
//   --detach <id> <creation time>     start the guard that watches that host, and end at once
//   --restore-only                    put back a snapshot whose host has ended, and end
//
// Numbers are decimal, without sign; an id is never 0.
struct GuardCommand {
  enum class Mode { kWatch, kDetach, kRestoreOnly };

  Mode mode = Mode::kWatch;
  // The host to watch; none for kRestoreOnly.
  ProcessIdentity host;

  bool operator==(const GuardCommand&) const = default;
};

// Nothing for arguments of any other form.
std::optional<GuardCommand> ParseGuardCommand(const wchar_t* arguments);

#endif  // GUARD_GUARD_COMMAND_H_
