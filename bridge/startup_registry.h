#ifndef BRIDGE_STARTUP_REGISTRY_H_
#define BRIDGE_STARTUP_REGISTRY_H_

// Where the host starts with the user's sign-in: a value of this name under the current user's
// Run key. The installer removes the same value, whichever version of the host wrote it, so the
// names never change.
inline constexpr wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunValueName[] = L"Vantrel Keelo";

#endif  // BRIDGE_STARTUP_REGISTRY_H_
