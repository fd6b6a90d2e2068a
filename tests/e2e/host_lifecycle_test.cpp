#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "common/scoped_handles.h"
#include "tests/e2e/bundle_paths.h"
#include "tests/e2e/host_fixture.h"
#include "tests/e2e/host_process.h"
#include "tests/support/host_bundle.h"

namespace keelo::testing {
namespace {

bool Visible(HWND window) { return IsWindowVisible(window) != FALSE; }

TEST_F(HostTest, WindowOfTheHostClassAppearsOnceAFrameIsDrawn) {
  StartHost(L"");
  wchar_t class_name[64] = {};
  GetClassNameW(window_, class_name, 64);
  // Spelled out rather than shared: a later host finds an earlier one by it, across versions.
  EXPECT_STREQ(class_name, L"FLUTTER_RUNNER_WIN32_WINDOW");
  ASSERT_TRUE(WaitUntil([this] { return Visible(window_); }, kStartTimeoutMs));
  devkit::EngineStateMessage state = QueryState();
  EXPECT_GT(state.frames_produced, 0u);
  EXPECT_TRUE(state.engine_running);
  EXPECT_EQ(state.registered_plugins, std::vector<std::string>{"UrlLauncherWindows"});
  // The view is the host window's child.
  EXPECT_EQ(GetAncestor(reinterpret_cast<HWND>(state.view_window), GA_PARENT), window_);
}

class MinimizedStartTest : public HostTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(MinimizedStartTest, WindowStaysHiddenAfterTheFirstFrame) {
  StartHost(GetParam());
  WaitForFirstFrame();
  EXPECT_FALSE(Visible(window_));
}

INSTANTIATE_TEST_SUITE_P(Switch, MinimizedStartTest,
                         ::testing::Values(L"--minimized",
                                           L"\"C:\\Program Files\\keelo--minimized\\x\" other"));

TEST_F(HostTest, SecondStartShowsTheFirstWindowAndExitsWithZero) {
  StartHost(L"--minimized");
  WaitForFirstFrame();
  ASSERT_FALSE(Visible(window_));

  auto second = StartHostProcess(HostExecutable(), L"", BundleDirectory());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0));
  EXPECT_TRUE(Visible(window_));

  // Hidden in the tray, a start that asks for a hidden window still shows the first one.
  ShowWindow(window_, SW_HIDE);
  second = StartHostProcess(HostExecutable(), L"--minimized", BundleDirectory());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0));
  EXPECT_TRUE(Visible(window_));

  ShowWindow(window_, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(window_));
  second = StartHostProcess(HostExecutable(), L"", BundleDirectory());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0));
  EXPECT_FALSE(IsIconic(window_));
  EXPECT_TRUE(Visible(window_));
  // The first instance never noticed: still one engine, still running.
  EXPECT_TRUE(QueryState().engine_running);
}

// The start-up benchmark reads where a start's time went from the marks the host writes once
// its first frame is shown; a second start, which shows nothing, writes none.
TEST_F(HostTest, TheStartsPhasesAreWrittenInOrderOnceTheFirstFrameIsShown) {
  wchar_t temp[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  const std::wstring marks =
      std::wstring(temp, length) + L"keelo-marks-" + std::to_wstring(GetCurrentProcessId());
  DeleteFileW(marks.c_str());
  SetEnvironmentVariableW(L"KEELO_STARTUP_MARKS", marks.c_str());
  StartHost(L"");
  const bool shown = WaitUntil([this] { return Visible(window_); }, kStartTimeoutMs);
  auto second = StartHostProcess(HostExecutable(), L"", BundleDirectory());
  SetEnvironmentVariableW(L"KEELO_STARTUP_MARKS", nullptr);
  ASSERT_TRUE(shown);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0));

  std::vector<std::string> phases;
  std::vector<double> ends;
  WaitUntil(
      [&] {
        phases.clear();
        ends.clear();
        std::ifstream in{std::filesystem::path(marks)};
        std::string phase;
        double microseconds = 0;
        while (in >> phase >> microseconds) {
          phases.push_back(phase);
          ends.push_back(microseconds);
        }
        return !phases.empty() && phases.back() == "first-frame";
      },
      kStartTimeoutMs);
  DeleteFileW(marks.c_str());
  EXPECT_EQ(phases, (std::vector<std::string>{"loaded", "log", "crash-reports", "console-and-com",
                                              "single-instance", "proxy-left-behind", "window",
                                              "engine", "plug-ins", "bridge", "first-frame"}));
  EXPECT_TRUE(std::is_sorted(ends.begin(), ends.end()));
}

namespace {

// A start while the lock is held leaves with 0 instead of running beside its holder, and with
// no window to find it shows nothing.
void ExpectStartLeavesQuietly() {
  auto second = StartHostProcess(HostExecutable(), L"", BundleDirectory());
  ASSERT_NE(second, nullptr);
  bool window_seen = false;
  WaitUntil(
      [&] {
        window_seen = window_seen || WaitForHostWindow(second->id(), 0) != nullptr;
        return second->WaitForExit(0).has_value();
      },
      kStartTimeoutMs);
  EXPECT_EQ(second->WaitForExit(0), std::optional<DWORD>(0));
  EXPECT_FALSE(window_seen);
  EXPECT_EQ(second->Output(), "");
}

}  // namespace

// The first host holds the session's lock but has no window (yet, or any more).
TEST(SecondStartTest, FindingNoWindowExitsWithZeroAndShowsNothing) {
  const ScopedHandle lock(CreateMutexW(nullptr, TRUE, L"Local\\VantrelKeeloDesktop"));
  ASSERT_TRUE(lock);
  ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "a host is running";
  ExpectStartLeavesQuietly();
}

// An elevated first host holds a lock that a normal start may not even open: its CreateMutexW
// fails with access denied instead of naming the lock as already there. A DACL that grants
// nothing does the same to every other process.
TEST(SecondStartTest, ALockThatCannotBeOpenedStillMeansAnotherHostRuns) {
  SECURITY_DESCRIPTOR nobody = {};
  ASSERT_TRUE(InitializeSecurityDescriptor(&nobody, SECURITY_DESCRIPTOR_REVISION));
  ACL empty_dacl;
  ASSERT_TRUE(InitializeAcl(&empty_dacl, sizeof(empty_dacl), ACL_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&nobody, TRUE, &empty_dacl, FALSE));
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &nobody, FALSE};
  const ScopedHandle lock(CreateMutexW(&attributes, TRUE, L"Local\\VantrelKeeloDesktop"));
  ASSERT_TRUE(lock);
  ASSERT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "a host is running";
  ExpectStartLeavesQuietly();
}

TEST_F(HostTest, EntrypointArgumentsArriveWithoutTheProgramName) {
  StartHost(L"");
  EXPECT_TRUE(QueryState().entrypoint_arguments.empty());
}

TEST_F(HostTest, ArgumentThatIsNotValidUtf16ArrivesEmptyInItsPlace) {
  StartHost(L"alpha \"two words\" \"\" bad\xd800tail gr\u00fc\u00df");
  EXPECT_EQ(QueryState().entrypoint_arguments,
            (std::vector<std::string>{"alpha", "two words", "", "", "gr\xc3\xbc\xc3\x9f"}));
}

// The bundle's programs without its data folder.
class MissingDataTest : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kPrograms[] = {kHostExecutable, L"flutter_windows.dll",
                                                 L"url_launcher_windows_plugin.dll"};

  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    directory_ = std::wstring(temp) + L"keelo-no-data-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(directory_.c_str(), nullptr);
    for (const wchar_t* file : kPrograms) {
      ASSERT_TRUE(CopyFileW((BundleDirectory() + L"\\" + file).c_str(),
                            (directory_ + L"\\" + file).c_str(), FALSE))
          << "copying " << GetLastError();
    }
  }
  void TearDown() override {
    for (const wchar_t* file : kPrograms) {
      DeleteFileW((directory_ + L"\\" + file).c_str());
    }
    RemoveDirectoryW(directory_.c_str());
  }

  std::wstring directory_;
};

TEST_F(MissingDataTest, HostReportsTheViewControllerAndExitsWithOne) {
  auto host = StartHostProcess(HostIn(directory_), L"", directory_);
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(1));
  // The runtime writes its end of line as CR LF.
  EXPECT_NE(host->Output().find("Failed to create view controller.\r\n"), std::string::npos)
      << host->Output();
  EXPECT_EQ(WaitForHostWindow(host->id(), 0), nullptr);
}

}  // namespace
}  // namespace keelo::testing
