#ifndef PROXY_SIGN_IN_REPAIR_H_
#define PROXY_SIGN_IN_REPAIR_H_

#include <string>

// The entry that puts the user's proxy back at the next sign-in, whether or not Keelo starts
// then: while a snapshot is on disk, a value under the user's RunOnce key runs the proxy guard
// in its restore-only mode. A power cut, or a host and its guard ended together, would otherwise
// leave the user without internet until Keelo next ran. It goes with the snapshot (see
// RemoveProxySnapshot), and Windows deletes it as it runs it.

// The entry's command line for the guard at |guard_path|.
std::wstring SignInRepairCommand(const std::wstring& guard_path);

// Writes the entry for the guard at |guard_path|; false when the registry refused it.
bool AddSignInRepair(const std::wstring& guard_path);

// True when the entry is gone, also when it was never there.
bool RemoveSignInRepair();

#endif  // PROXY_SIGN_IN_REPAIR_H_
