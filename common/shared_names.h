#ifndef COMMON_SHARED_NAMES_H_
#define COMMON_SHARED_NAMES_H_

#include <windows.h>

#include <string>

// The names by which Keelo's processes find each other and what they leave behind: the host, a
// second start of it, its proxy guard, the installer of this version and of every later one. A
// name changed here would no longer reach what an older or newer copy made, so none of them may
// change between versions.

// The single-instance lock of the user's session: its existence says that a host runs.
inline constexpr wchar_t kInstanceMutexName[] = L"Local\\VantrelKeeloDesktop";

// The host's main window, by which a second start and the installer find a running host.
inline constexpr wchar_t kWindowClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";
inline constexpr wchar_t kWindowTitle[] = L"Keelo";

// Registered message that whoever must end a running host (its installer) sends: the tray's Quit,
// from outside.
inline constexpr wchar_t kQuitMessageName[] = L"VantrelKeeloQuit";

// Where the host starts with the user's sign-in: a value of this name under the current user's
// Run key. The installer removes the same value, whichever version of the host wrote it.
inline constexpr wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr wchar_t kRunValueName[] = L"Vantrel Keelo";

// Where Task Manager's Startup tab and the Settings app switch a Run entry off without deleting
// it: a binary value of the same name, whose first byte is odd while the entry is off. Explorer
// then skips the entry at sign-in.
inline constexpr wchar_t kStartupApprovedKeyPath[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

// The durable copy of the proxy settings a host is to put back, which a host, its proxy guard,
// its next start and the installer read alike.
inline constexpr wchar_t kProxySnapshotKeyPath[] = L"Software\\Vantrel\\Keelo";
inline constexpr wchar_t kProxySnapshotValueName[] = L"Proxy to restore";

// The watcher that a host starts beside it while it keeps a proxy snapshot.
inline constexpr wchar_t kProxyGuardExecutable[] = L"keelo_proxy_guard.exe";

// How the guard is started besides "<host process id> <host creation time>": by a host, to start
// the watching guard outside the host's process tree and end at once ("--detach <id> <time>");
// and at sign-in, to put back a snapshot that nobody put back ("--restore-only"), by an entry
// that one version wrote and the installed version, perhaps a later one, runs.
inline constexpr wchar_t kGuardDetachSwitch[] = L"--detach";
inline constexpr wchar_t kGuardRestoreOnlySwitch[] = L"--restore-only";

// The entry that repairs the user's proxy at the next sign-in while a snapshot is on disk: a
// value of this name under the current user's RunOnce key, which Windows deletes as it runs it.
inline constexpr wchar_t kRunOnceKeyPath[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr wchar_t kSignInRepairValueName[] = L"Vantrel Keelo proxy repair";

// The mutex whose existence says that a guard watches the host |host_process_id|: one guard a
// host, in the session's namespace. The guard owns it while it watches, so that the host sees it
// abandoned when the guard is ended.
inline std::wstring ProxyGuardMutexName(DWORD host_process_id) {
  return L"Local\\VantrelKeeloProxyGuard-" + std::to_wstring(host_process_id);
}

// The event by which a dying host tells its guard to put the proxy back now, not only once the
// process has ended (a crash report takes seconds to write): one per host, of the session, set
// and never reset.
inline std::wstring HostEndingEventName(DWORD host_process_id) {
  return L"Local\\VantrelKeeloHostEnding-" + std::to_wstring(host_process_id);
}

// Taken in turn by every process of the session that writes the log, so that one does not move
// the file aside while another appends to it.
inline constexpr wchar_t kLogMutexName[] = L"Local\\VantrelKeeloLog";

#endif  // COMMON_SHARED_NAMES_H_
