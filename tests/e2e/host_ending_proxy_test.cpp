// However the host ends, the user's proxy comes back, and a proxy someone else set meanwhile (the
// user in Settings, a VPN client) stays. Under Wine, with the real host, its guard and the test
// prefix's own WinINet settings; the test process stands in for the other program, setting its
// proxy through WinINet as such a program would.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/scoped_handles.h"
#include "devkit/engine/fault_request.h"
#include "messaging/encodable_value.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/proxy_calls.h"
#include "proxy/proxy_settings.h"
#include "tests/e2e/host_control.h"
#include "tests/e2e/host_fixture.h"
#include "tests/e2e/host_process.h"
#include "tests/e2e/proxy_guard_process.h"
#include "tests/support/host_names.h"
#include "tests/support/local_app_data.h"
#include "tests/support/proxy_registry.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

// Another program's proxy, set while Keelo's is in force.
const ProxySettings kOthersProxy = {PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY, L"vpn.example:8443", L"",
                                    L""};
constexpr DWORD kRestoreDeadlineMs = 5000;
// Wine's dbghelp takes seconds over a dump, and many more on a busy machine.
constexpr DWORD kDumpTimeoutMs = 60000;
constexpr DWORD kExitCodeOfTerminate = 1;
// Where the C runtime's abort used to leave its dialog open for good.
constexpr DWORD kUncaughtExceptionEndMs = 5000;

enum class Ending {
  kQuit,
  kSessionEnd,
  kCloseApp,
  kKill,
  kTreeKill,
  kCrash,
  kCppException,
  kBothKilledThenSignIn,
};

struct Row {
  Ending ending;
  const char* name;
  // Who puts the proxy back, as the log names it.
  const char* source;
  // How the host's process ends; nothing when it is ended by the test after the host's part.
  std::optional<DWORD> exit_code;
  // Someone else set a proxy of their own after the host applied Keelo's.
  bool others_set_theirs;
};

std::string Utf8(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Whether a dialog box (class #32770) of process |process_id| ever appears while it runs: a
// fatal error must end the host, never wait for a click.
class DialogWatch {
 public:
  explicit DialogWatch(DWORD process_id)
      : thread_([this, process_id] {
          while (!stop_.load()) {
            HWND candidate = nullptr;
            while ((candidate = FindWindowExW(nullptr, candidate, L"#32770", nullptr)) != nullptr) {
              DWORD owner = 0;
              GetWindowThreadProcessId(candidate, &owner);
              if (owner == process_id) seen_.store(true);
            }
            Sleep(10);
          }
        }) {}
  ~DialogWatch() {
    stop_.store(true);
    thread_.join();
  }

  bool seen() const { return seen_.load(); }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<bool> seen_{false};
  std::thread thread_;
};

class HostEndingTest : public HostTest, public ::testing::WithParamInterface<Row> {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    RemoveProxySnapshot();
  }
  void TearDown() override {
    HostTest::TearDown();
    ApplyProxySettings(ProxySettings{}, ProxyCalls::Real());
  }

  // An uncaught C++ exception ends the host at once, with a dump and a line that says why, and
  // without the C runtime's dialog (see DialogWatch).
  void ExpectUncaughtExceptionReport(DWORD ended_after_ms) {
    EXPECT_LE(ended_after_ms, kUncaughtExceptionEndMs) << Log();
    // What std::bad_function_call says, which the engine made the host's own code throw.
    const std::string line = "Ending on an uncaught exception: bad_function_call";
    EXPECT_NE(host_->Output().find(line), std::string::npos) << host_->Output();
    EXPECT_NE(Log().find(line), std::string::npos) << Log();
    const std::wstring crashes = local_.KeeloFolder(L"crashes");
    const std::vector<std::wstring> dumps = TemporaryLocalAppData::FilesIn(crashes);
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_EQ(TemporaryLocalAppData::FileBytes(crashes + L"\\" + dumps[0]).substr(0, 4), "MDMP");
    EXPECT_NE(Log().find("Crash dump written to " + Utf8(crashes + L"\\" + dumps[0])),
              std::string::npos)
        << Log();
  }

  std::string Log() const {
    return TemporaryLocalAppData::FileBytes(local_.KeeloFolder(L"logs") + L"\\keelo.log");
  }

  // Ends the host as |row| says, once it holds the user's settings to put back and has applied
  // Keelo's proxy, with |guard| watching it.
  void End(const Row& row, HANDLE guard) {
    switch (row.ending) {
      case Ending::kQuit:
        AskHostToQuit(window_);
        break;
      case Ending::kSessionEnd:
        SendMessageW(window_, WM_QUERYENDSESSION, 0, 0);
        SendMessageW(window_, WM_ENDSESSION, TRUE, 0);
        // The system ends the process once the message has returned.
        ASSERT_TRUE(TerminateProcess(host_->handle(), kExitCodeOfTerminate));
        break;
      case Ending::kCloseApp:
        // The Restart Manager, for an installer or an update.
        SendMessageW(window_, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP);
        SendMessageW(window_, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
        break;
      case Ending::kKill:
        // End task, as Task Manager does it.
        ASSERT_TRUE(TerminateProcess(host_->handle(), kExitCodeOfTerminate));
        break;
      case Ending::kTreeKill:
        // End process tree: the host alone, since its guard is not of its tree.
        EXPECT_EQ(EndProcessTree(host_->id()), 1);
        EXPECT_EQ(WaitForSingleObject(guard, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        break;
      case Ending::kCrash:
        // Never answered: the host dies first.
        client_->Call(kDevkitFaultChannel, {}, std::chrono::milliseconds(100));
        break;
      case Ending::kCppException:
        // Never answered: the host's own code throws inside its message callback.
        client_->Call(kDevkitThrowChannel, {}, std::chrono::milliseconds(100));
        break;
      case Ending::kBothKilledThenSignIn:
        // As a power cut takes both: the guard can do nothing before it goes.
        ASSERT_TRUE(FreezeProcess(GetProcessId(guard)));
        ASSERT_TRUE(TerminateProcess(host_->handle(), kExitCodeOfTerminate));
        ASSERT_TRUE(TerminateProcess(guard, kExitCodeOfTerminate));
        ASSERT_EQ(host_->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(1));
        EXPECT_TRUE(ReadProxySnapshotText().has_value());
        // The next sign-in.
        EXPECT_EQ(RunSignInRepairAsWindowsDoes(kStartTimeoutMs), std::optional<DWORD>(0));
        break;
    }
  }

  TemporaryLocalAppData local_;
  ProxyRegistryGuard proxy_values_;
  ProxySnapshotGuard snapshot_values_;
};

TEST_P(HostEndingTest, PutsTheProxyBackUnlessSomeoneElseSetTheirs) {
  const Row& row = GetParam();
  StartHost(L"--minimized");
  const DialogWatch dialogs(host_->id());
  const std::string before = std::string("before:") + row.name;
  auto reply = client_->InvokeMethod(
      kDesktopChannel, "setProxy",
      EncodableValue(
          EncodableMap{{"flags", 3},
                       {"server", "127.0.0.1:9"},
                       {"restoreOnExit", EncodableMap{{"flags", 1}, {"server", before}}}}));
  ASSERT_TRUE(reply.ok()) << reply.error;
  ASSERT_EQ(reply.value.value, EncodableValue(true));
  ASSERT_EQ(ReadRegistryProxy(), (RegistryProxy{1, L"127.0.0.1:9"}));
  const ScopedHandle guard = WaitForProxyGuardOf(host_->id(), kStartTimeoutMs);
  ASSERT_TRUE(guard) << "no proxy guard watches the host";
  ASSERT_TRUE(SignInRepairEntry().has_value());
  if (row.others_set_theirs) {
    ASSERT_TRUE(ApplyProxySettings(kOthersProxy, ProxyCalls::Real()));
  }

  const DWORD ending = GetTickCount();
  End(row, guard.get());

  const RegistryProxy expected = row.others_set_theirs
                                     ? RegistryProxy{1, kOthersProxy.server}
                                     : RegistryProxy{0, std::wstring(before.begin(), before.end())};
  EXPECT_TRUE(WaitUntil([&] { return ReadRegistryProxy() == expected; }, kRestoreDeadlineMs))
      << Describe(ReadRegistryProxy());
  const std::optional<DWORD> exit_code = host_->WaitForExit(kDumpTimeoutMs);
  const DWORD ended_after_ms = GetTickCount() - ending;
  if (row.exit_code) {
    EXPECT_EQ(exit_code, row.exit_code) << host_->Output();
  }
  if (row.ending == Ending::kCppException) ExpectUncaughtExceptionReport(ended_after_ms);
  EXPECT_TRUE(WaitUntil([] { return !ReadProxySnapshotText().has_value(); }, kRestoreDeadlineMs));
  EXPECT_EQ(SignInRepairEntry(), std::nullopt);
  // A guard the test did not end ends by itself once the snapshot is gone.
  if (row.ending != Ending::kBothKilledThenSignIn) {
    EXPECT_EQ(WaitForSingleObject(guard.get(), kRestoreDeadlineMs),
              static_cast<DWORD>(WAIT_OBJECT_0));
  }
  EXPECT_FALSE(dialogs.seen()) << "the host showed a dialog box";
  // Proxy settings stay as they are found: the one line says which.
  const std::string line =
      row.others_set_theirs
          ? std::string("Proxy left as someone else set it (") + row.source +
                "): flags 2, server \"vpn.example:8443\", bypass \"\", pac \"\"; not restored: "
                "flags 1, server \"" +
                before + "\", bypass \"\", pac \"\"\r\n"
          : std::string("Proxy restored (") + row.source + "): flags 1, server \"" + before +
                "\", bypass \"\", pac \"\"\r\n";
  EXPECT_TRUE(WaitUntil([&] { return Log().find(line) != std::string::npos; }, kRestoreDeadlineMs))
      << Log();
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  std::string name;
  for (const char* character = info.param.name; *character != '\0'; ++character) {
    if (*character != '-') name += *character;
  }
  return name + (info.param.others_set_theirs ? "_OthersProxyStays" : "_ProxyBack");
}

constexpr DWORD kCrashCode = EXCEPTION_ACCESS_VIOLATION;
constexpr DWORD kUncaughtCode = 3;

INSTANTIATE_TEST_SUITE_P(
    EveryWayOfEnding, HostEndingTest,
    ::testing::Values(
        Row{Ending::kQuit, "quit", "quit", 0, false}, Row{Ending::kQuit, "quit", "quit", 0, true},
        Row{Ending::kSessionEnd, "SessionEnd", "session end", 1, false},
        Row{Ending::kSessionEnd, "SessionEnd", "session end", 1, true},
        Row{Ending::kCloseApp, "CloseApp", "close app", 0, false},
        Row{Ending::kCloseApp, "CloseApp", "close app", 0, true},
        Row{Ending::kKill, "kill", "guard", 1, false}, Row{Ending::kKill, "kill", "guard", 1, true},
        Row{Ending::kTreeKill, "TreeKill", "guard", 1, false},
        Row{Ending::kTreeKill, "TreeKill", "guard", 1, true},
        Row{Ending::kCrash, "crash", "guard", kCrashCode, false},
        Row{Ending::kCrash, "crash", "guard", kCrashCode, true},
        Row{Ending::kCppException, "CppException", "guard", kUncaughtCode, false},
        Row{Ending::kCppException, "CppException", "guard", kUncaughtCode, true},
        Row{Ending::kBothKilledThenSignIn, "BothKilledThenSignIn", "sign-in", 1, false},
        Row{Ending::kBothKilledThenSignIn, "BothKilledThenSignIn", "sign-in", 1, true}),
    RowName);

}  // namespace
}  // namespace keelo::testing
