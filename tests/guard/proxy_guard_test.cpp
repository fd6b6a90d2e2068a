#include "guard/proxy_guard.h"

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/scoped_handles.h"
#include "common/shared_names.h"
#include "guard/guard_command.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/guard_process.h"
#include "proxy/process_identity.h"
#include "proxy/proxy_calls.h"
#include "proxy/proxy_settings.h"
#include "tests/support/fixtures.h"
#include "tests/support/local_app_data.h"
#include "tests/support/proxy_registry.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

const ProxySettings kBlockingProxy = {PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY, L"127.0.0.1:9", L"",
                                      L""};
// Another program's, set while Keelo's was in force.
const ProxySettings kVpnProxy = {PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY, L"vpn.example:8443", L"",
                                 L""};
constexpr DWORD kDeadlineMs = 2000;

std::wstring ProxyServer() { return ReadRegistryProxy().server; }

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= timeout_ms) return condition();
    Sleep(10);
  }
  return true;
}

bool GuardWatches(DWORD host_process_id) {
  const ScopedHandle mutex(
      OpenMutexW(SYNCHRONIZE, FALSE, ProxyGuardMutexName(host_process_id).c_str()));
  return static_cast<bool>(mutex);
}

// The guard's exit code once it has ended within the deadline; nothing while it still runs.
std::optional<DWORD> ExitCode(HANDLE guard, DWORD timeout_ms) {
  if (WaitForSingleObject(guard, timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(guard, &code);
  return code;
}

ProcessIdentity IdentityOf(HANDLE process) {
  return ProcessIdentity{GetProcessId(process), ProcessCreationTime(process).value_or(0)};
}

// The proxy guards among the processes that |root| started, and that those started, as far as
// they run.
std::vector<DWORD> ProxyGuardsInTreeOf(DWORD root) {
  std::vector<PROCESSENTRY32W> entries;
  const ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    entries.push_back(entry);
  }
  std::vector<DWORD> tree = {root};
  std::vector<DWORD> guards;
  for (size_t next = 0; next < tree.size(); ++next) {
    for (const PROCESSENTRY32W& process : entries) {
      if (process.th32ParentProcessID != tree[next] || process.th32ProcessID == root) continue;
      tree.push_back(process.th32ProcessID);
      if (CompareStringOrdinal(process.szExeFile, -1, kProxyGuardExecutable, -1, TRUE) ==
          CSTR_EQUAL) {
        guards.push_back(process.th32ProcessID);
      }
    }
  }
  return guards;
}

TEST(GuardCommandTest, ParsesEachFormAndNothingElse) {
  using Mode = GuardCommand::Mode;
  EXPECT_EQ(ParseGuardCommand(L"4242"), (GuardCommand{Mode::kWatch, {4242, 0}}));
  EXPECT_EQ(ParseGuardCommand(L"4294967295"), (GuardCommand{Mode::kWatch, {4294967295u, 0}}));
  EXPECT_EQ(ParseGuardCommand(L"4242 134411728657357840"),
            (GuardCommand{Mode::kWatch, {4242, 134411728657357840u}}));
  EXPECT_EQ(ParseGuardCommand(L"--detach 7 18446744073709551615"),
            (GuardCommand{Mode::kDetach, {7, 18446744073709551615u}}));
  EXPECT_EQ(ParseGuardCommand(L"--restore-only"), (GuardCommand{Mode::kRestoreOnly, {}}));
  for (const wchar_t* arguments : {L"",
                                   L"0",
                                   L"4294967296",
                                   L"99999999999",
                                   L"12a",
                                   L" 12",
                                   L"12 ",
                                   L"-1",
                                   L"+5",
                                   L"0x10",
                                   L"12  34",
                                   L"12 34 56",
                                   L"12 18446744073709551616",
                                   L"12 -3",
                                   L"--detach",
                                   L"--detach 12",
                                   L"--detach 0 5",
                                   L"--restore-only 12",
                                   L"--restore-only ",
                                   L"--Restore-only",
                                   L"--other 12 34"}) {
    EXPECT_EQ(ParseGuardCommand(arguments), std::nullopt) << std::wstring(arguments).size();
  }
  EXPECT_EQ(ParseGuardCommand(nullptr), std::nullopt);
}

// keelo_proxy_guard.exe for real, watching a fixture program that stands in for the host, over
// the snapshot value and the WinINet settings of the test prefix.
class ProxyGuardTest : public ::testing::Test {
 protected:
  ProxyGuardTest() {
    RemoveProxySnapshot();
    host_ = FixtureProcess::Start(FixtureExecutable(L"fixture_plain.exe"), L"Keelo guard host");
    if (host_ != nullptr) host_identity_ = IdentityOf(host_->handle());
  }
  ~ProxyGuardTest() override {
    // Ended while their host still runs: a guard that saw it end would put its snapshot back
    // over the reset below.
    guards_.clear();
    // Direct connection, whatever the test did.
    ApplyProxySettings(ProxySettings{}, ProxyCalls::Real());
  }

  // A guard with |arguments|; null when it could not be started.
  HANDLE StartGuard(const std::wstring& arguments) {
    std::unique_ptr<ChildProcess> guard =
        ChildProcess::Start(WindowsPathOf(KEELO_PROXY_GUARD), arguments);
    if (guard == nullptr) return nullptr;
    guards_.push_back(std::move(guard));
    return guards_.back()->handle();
  }
  HANDLE StartGuard(const ProcessIdentity& host) { return StartGuard(GuardArguments(host)); }

  // The host's proxy in force and its snapshot on disk with what the host applied as a query
  // read it back, as while a focus session runs.
  void BlockWithSnapshotOf(const ProcessIdentity& owner) {
    ASSERT_TRUE(ApplyProxySettings(kBlockingProxy, ProxyCalls::Real()));
    const std::optional<ProxySettings> applied = QueryProxySettings(ProxyCalls::Real());
    ASSERT_TRUE(applied.has_value());
    ASSERT_TRUE(SaveProxySnapshot({owner, ProxySettings{1, L"before:guard", L"", L""}, applied}));
  }

  std::vector<std::string> Logged() const {
    return LoggedTexts(local_.KeeloFolder(L"logs") + L"\\keelo.log");
  }

  const TemporaryLocalAppData local_;
  const ProxyRegistryGuard proxy_values_;
  const ProxySnapshotGuard snapshot_values_;
  std::unique_ptr<FixtureProcess> host_;
  ProcessIdentity host_identity_;
  std::vector<std::unique_ptr<ChildProcess>> guards_;
};

TEST_F(ProxyGuardTest, PutsTheSnapshotBackWhenItsHostEndsAndWatchesAlone) {
  ASSERT_NE(host_, nullptr);
  BlockWithSnapshotOf(host_identity_);
  const HANDLE guard = StartGuard(host_identity_);
  ASSERT_NE(guard, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return GuardWatches(host_->id()); }, kDeadlineMs));

  // A second guard for the same host leaves at once.
  const HANDLE second = StartGuard(host_identity_);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(ExitCode(second, kDeadlineMs), std::optional<DWORD>(0));
  EXPECT_EQ(ExitCode(guard, 0), std::nullopt);
  EXPECT_EQ(ProxyServer(), L"127.0.0.1:9");

  host_->Terminate();
  EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));
  EXPECT_EQ(ProxyServer(), L"before:guard");
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  EXPECT_EQ(Logged(), std::vector<std::string>{"Proxy restored (guard): flags 1, server "
                                               "\"before:guard\", bypass \"\", pac \"\""});
}

TEST_F(ProxyGuardTest, LeavesTheProxyAloneOnceTheSnapshotIsGoneOrNotItsHosts) {
  ASSERT_NE(host_, nullptr);
  // Put back by the host itself, which then removed it.
  BlockWithSnapshotOf(host_identity_);
  HANDLE guard = StartGuard(host_identity_);
  ASSERT_TRUE(WaitUntil([&] { return GuardWatches(host_->id()); }, kDeadlineMs));
  ASSERT_TRUE(RemoveProxySnapshot());
  EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));

  // Replaced by a later host's while watching: that one is not this guard's to put back.
  ASSERT_TRUE(SaveProxySnapshot({host_identity_, ProxySettings{1, L"before:guard", L"", L""}}));
  guard = StartGuard(host_identity_);
  ASSERT_TRUE(WaitUntil([&] { return GuardWatches(host_->id()); }, kDeadlineMs));
  const ProxySnapshot later{{host_->id() + 4, 1}, ProxySettings{1, L"later", L"", L""}};
  ASSERT_TRUE(SaveProxySnapshot(later));
  EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));

  // Another host's from the start.
  guard = StartGuard(host_identity_);
  EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));

  host_->Terminate();
  EXPECT_EQ(ProxyServer(), L"127.0.0.1:9");
  EXPECT_EQ(ReadProxySnapshot(), later);
  EXPECT_TRUE(Logged().empty());
}

TEST_F(ProxyGuardTest, AHostThatEndedBeforeItsGuardWatchedStillGetsItsProxyBack) {
  ASSERT_NE(host_, nullptr);
  BlockWithSnapshotOf(host_identity_);
  host_->Terminate();
  const HANDLE guard = StartGuard(host_identity_);
  EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));
  EXPECT_EQ(ProxyServer(), L"before:guard");
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
}

// A host that crashed says so before its dump is written, which takes seconds.
TEST_F(ProxyGuardTest, ADyingHostHasItsProxyBackBeforeItHasEnded) {
  ASSERT_NE(host_, nullptr);
  BlockWithSnapshotOf(host_identity_);
  const ScopedHandle ending(
      CreateEventW(nullptr, TRUE, FALSE, HostEndingEventName(host_->id()).c_str()));
  ASSERT_TRUE(ending);
  const HANDLE guard = StartGuard(host_identity_);
  ASSERT_TRUE(WaitUntil([&] { return GuardWatches(host_->id()); }, kDeadlineMs));
  EXPECT_EQ(ProxyServer(), L"127.0.0.1:9");
  SetEvent(ending.get());
  EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));
  EXPECT_EQ(ProxyServer(), L"before:guard");
  EXPECT_EQ(WaitForSingleObject(host_->handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

// Someone else set a proxy of their own after the host had applied Keelo's: when the host ends,
// that proxy stays, and the guard forgets the snapshot and says so.
TEST_F(ProxyGuardTest, LeavesAProxySomeoneElseSetAndForgetsTheSnapshot) {
  ASSERT_NE(host_, nullptr);
  BlockWithSnapshotOf(host_identity_);
  const HANDLE guard = StartGuard(host_identity_);
  ASSERT_TRUE(WaitUntil([&] { return GuardWatches(host_->id()); }, kDeadlineMs));
  ASSERT_TRUE(ApplyProxySettings(kVpnProxy, ProxyCalls::Real()));

  host_->Terminate();
  EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));
  EXPECT_EQ(ProxyServer(), L"vpn.example:8443");
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  EXPECT_EQ(SignInRepairEntry(), std::nullopt);
  EXPECT_EQ(Logged(), std::vector<std::string>{
                          "Proxy left as someone else set it (guard): flags 2, server "
                          "\"vpn.example:8443\", bypass \"\", pac \"\"; not restored: flags 1, "
                          "server \"before:guard\", bypass \"\", pac \"\""});
}

// A process id alone names a process only while it runs: once the host has ended, another
// process may get its id (after a reboot above all). A live process of that id created at
// another time is not the owner, whoever judges it.
TEST_F(ProxyGuardTest, AnOwnerIsItsIdAndItsCreationTime) {
  ASSERT_NE(host_, nullptr);
  // The fixture runs, with the id the snapshot names, but was not created when it says.
  const ProcessIdentity reused{host_->id(), host_identity_.created + 1};
  struct Case {
    const char* name;
    // The host the guard is told to watch; none for the restorers of a snapshot left behind.
    std::optional<ProcessIdentity> watched;
    ProcessIdentity owner;
    bool put_back;
  };
  const Case cases[] = {
      // The guard's host has ended; the live process of its id is another's.
      {"guard of a host whose id was reused", reused, reused, true},
      // The snapshot of an earlier host of the same id is not this guard's.
      {"guard of a live host, snapshot of an earlier one", host_identity_, reused, false},
      // The installer and the repair at sign-in put back what no running host owns.
      {"left behind by a host whose id was reused", std::nullopt, reused, true},
      {"left behind by a host that runs", std::nullopt, host_identity_, false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    BlockWithSnapshotOf(test.owner);
    if (test.watched) {
      const HANDLE guard = StartGuard(*test.watched);
      ASSERT_NE(guard, nullptr);
      // Either way it does not stay: its host has ended, or the snapshot is not its host's.
      EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));
    } else {
      const std::optional<ProxyRestoreOutcome> restored =
          RestoreSnapshotLeftBehind(ProxyCalls::Real());
      EXPECT_EQ(restored.has_value(), test.put_back);
    }
    EXPECT_EQ(ProxyServer(), test.put_back ? L"before:guard" : L"127.0.0.1:9");
    EXPECT_EQ(ReadProxySnapshotText().has_value(), !test.put_back);
    RemoveProxySnapshot();
  }
}

// The repair at sign-in, as Windows runs the entry: put back what a host that no longer runs
// left, unless someone else set a proxy since; at once when there is nothing to do.
TEST_F(ProxyGuardTest, RestoreOnlyModeRepairsWhatNoRunningHostHolds) {
  ASSERT_NE(host_, nullptr);
  const ProcessIdentity ended{host_->id(), host_identity_.created + 1};
  struct Case {
    const char* name;
    std::optional<ProcessIdentity> owner;
    bool others_set_theirs;
    const wchar_t* server_after;
    bool snapshot_stays;
    const char* line;
  };
  const Case cases[] = {
      {"nothing left behind", std::nullopt, false, L"127.0.0.1:9", false, nullptr},
      {"left by a host that ended", ended, false, L"before:guard", false,
       "Proxy restored (sign-in): flags 1, server \"before:guard\", bypass \"\", pac \"\""},
      {"someone else set theirs since", ended, true, L"vpn.example:8443", false,
       "Proxy left as someone else set it (sign-in): flags 2, server \"vpn.example:8443\", "
       "bypass \"\", pac \"\"; not restored: flags 1, server \"before:guard\", bypass \"\", pac "
       "\"\""},
      {"held by a host that runs", host_identity_, false, L"127.0.0.1:9", true, nullptr},
  };
  std::vector<std::string> lines;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    ASSERT_TRUE(ApplyProxySettings(kBlockingProxy, ProxyCalls::Real()));
    if (test.owner) BlockWithSnapshotOf(*test.owner);
    if (test.others_set_theirs) {
      ASSERT_TRUE(ApplyProxySettings(kVpnProxy, ProxyCalls::Real()));
    }
    const HANDLE guard = StartGuard(kGuardRestoreOnlySwitch);
    ASSERT_NE(guard, nullptr);
    EXPECT_EQ(ExitCode(guard, kDeadlineMs), std::optional<DWORD>(0));
    EXPECT_EQ(ProxyServer(), test.server_after);
    EXPECT_EQ(ReadProxySnapshotText().has_value(), test.snapshot_stays);
    // Windows deleted the entry that ran the guard; a snapshot that stays keeps a repair for the
    // next sign-in, should its host end without anyone putting it back.
    if (test.snapshot_stays) {
      const std::optional<std::wstring> repair = SignInRepairEntry();
      ASSERT_TRUE(repair.has_value());
      EXPECT_NE(repair->find(L"keelo_proxy_guard.exe\" --restore-only"), std::wstring::npos);
    } else {
      EXPECT_EQ(SignInRepairEntry(), std::nullopt);
    }
    if (test.line != nullptr) lines.push_back(test.line);
    RemoveProxySnapshot();
  }
  EXPECT_EQ(Logged(), lines);
}

// Ending a host's process tree (Task Manager's "End process tree", taskkill /T) must not end its
// guard: started in the detaching form, the watching guard's parent is a process that ended at
// once, and nothing of the starter's tree is left running.
TEST_F(ProxyGuardTest, DetachingFormStartsAWatchingGuardOutsideTheStartersTree) {
  ASSERT_NE(host_, nullptr);
  BlockWithSnapshotOf(host_identity_);
  const HANDLE detaching = StartGuard(GuardArguments(host_identity_, kGuardDetachSwitch));
  ASSERT_NE(detaching, nullptr);
  EXPECT_EQ(ExitCode(detaching, kDeadlineMs), std::optional<DWORD>(0));
  ASSERT_TRUE(WaitUntil([&] { return GuardWatches(host_->id()); }, kDeadlineMs));
  EXPECT_TRUE(ProxyGuardsInTreeOf(GetCurrentProcessId()).empty());

  host_->Terminate();
  EXPECT_TRUE(WaitUntil([] { return ProxyServer() == L"before:guard"; }, kDeadlineMs));
  EXPECT_TRUE(WaitUntil([&] { return !GuardWatches(host_->id()); }, kDeadlineMs));
}

}  // namespace
}  // namespace keelo::testing
