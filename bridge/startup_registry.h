#ifndef BRIDGE_STARTUP_REGISTRY_H_
#define BRIDGE_STARTUP_REGISTRY_H_

// Where the host starts with the user's sign-in: a value of this name under the current user's
// Run key. The installer removes the same value, whichever version of the host wrote it, so the
// names never change.
inline constexpr wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunValueName[] = L"Vantrel Keelo";

// Where Task Manager's Startup tab and the Settings app switch a Run entry off without deleting
// it: a binary value of the same name, whose first byte is odd while the entry is off. Explorer
// then skips the entry at sign-in.
inline constexpr wchar_t kStartupApprovedKeyPath[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

#endif  // BRIDGE_STARTUP_REGISTRY_H_
