#include "proxy/proxy_guard_watch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/log_file.h"
#include "common/scoped_handles.h"
#include "tests/support/local_app_data.h"

namespace keelo::testing {
namespace {

using std::chrono::milliseconds;

// Generous: what is waited for happens within moments, on a machine that may be busy.
constexpr DWORD kDeadlineMs = 10000;

bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= timeout_ms) return condition();
    Sleep(5);
  }
  return true;
}

// A guard as the watch sees one: a thread of this process that owns the guard's mutex while it
// "watches", and lets go of it as a guard whose watch is over does, or dies holding it as a
// guard ended from Task Manager does.
class FakeGuard {
 public:
  explicit FakeGuard(const std::wstring& mutex_name) {
    thread_ = std::thread([this, mutex_name] {
      HANDLE mutex = CreateMutexW(nullptr, TRUE, mutex_name.c_str());
      watching_ = mutex != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
      started_.store(true);
      if (!watching_) {
        if (mutex != nullptr) CloseHandle(mutex);
        return;
      }
      WaitForSingleObject(end_.get(), INFINITE);
      if (!die_) ReleaseMutex(mutex);
      // Closed while still owned when dying: the thread's end then abandons it.
      CloseHandle(mutex);
    });
    while (!started_.load()) Sleep(1);
  }
  ~FakeGuard() { End(false); }

  bool watching() const { return watching_; }

  void End(bool die) {
    if (!thread_.joinable()) return;
    die_ = die;
    SetEvent(end_.get());
    thread_.join();
  }

 private:
  const ScopedHandle end_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<bool> started_{false};
  bool watching_ = false;
  bool die_ = false;
  std::thread thread_;
};

class ProxyGuardWatchTest : public ::testing::Test {
 protected:
  ProxyGuardWatchTest()
      : mutex_name_(L"Local\\KeeloTestGuardWatch-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(++made_)) {}

  std::unique_ptr<ProxyGuardWatch> MakeWatch() {
    return std::make_unique<ProxyGuardWatch>(
        [this] {
          std::lock_guard<std::mutex> lock(mutex_);
          ++starts_;
          if (starts_failing_ > 0) {
            --starts_failing_;
            return false;
          }
          if (!start_never_watches_) guards_.push_back(std::make_unique<FakeGuard>(mutex_name_));
          start_never_watches_ = false;
          return true;
        },
        mutex_name_, ProxyGuardWatch::Timing{milliseconds(300), milliseconds(50)});
  }

  int starts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return starts_;
  }
  FakeGuard* LastGuard() {
    std::lock_guard<std::mutex> lock(mutex_);
    return guards_.empty() ? nullptr : guards_.back().get();
  }
  std::vector<std::string> Logged() {
    EXPECT_TRUE(log_.Flush(std::chrono::seconds(10)));
    return LoggedTexts(LogFilePath(local_.KeeloFolder(L"logs"), 0));
  }

  // Each test's guards have a mutex of their own.
  static inline int made_ = 0;
  const std::wstring mutex_name_;
  const TemporaryLocalAppData local_;
  LogFile log_{local_.KeeloFolder(L"logs")};
  const ProcessLogScope log_scope_{&log_};
  std::mutex mutex_;
  int starts_ = 0;
  int starts_failing_ = 0;
  bool start_never_watches_ = false;
  std::vector<std::unique_ptr<FakeGuard>> guards_;
};

TEST_F(ProxyGuardWatchTest, StartsOneGuardWhileTheSnapshotIsOnDiskAndLetsItGoAfter) {
  std::unique_ptr<ProxyGuardWatch> watch = MakeWatch();
  // Nothing held, nothing started.
  Sleep(100);
  EXPECT_EQ(starts(), 0);

  watch->SetSnapshotOnDisk(true);
  ASSERT_TRUE(WaitUntil([&] { return starts() == 1; }, kDeadlineMs));
  ASSERT_TRUE(LastGuard()->watching());
  // Told again, and given time to look again: the one guard watching is enough.
  watch->SetSnapshotOnDisk(true);
  Sleep(200);
  EXPECT_EQ(starts(), 1);

  // The snapshot goes, and its guard with it, as a guard's watch ends: nothing in its place.
  watch->SetSnapshotOnDisk(false);
  LastGuard()->End(false);
  Sleep(200);
  EXPECT_EQ(starts(), 1);

  // A guard that already watches (started by an earlier snapshot, still on its way out) is not
  // doubled.
  const FakeGuard earlier(mutex_name_);
  ASSERT_TRUE(earlier.watching());
  watch->SetSnapshotOnDisk(true);
  Sleep(200);
  EXPECT_EQ(starts(), 1);
  watch.reset();
  EXPECT_TRUE(Logged().empty());
}

// A guard that fails to start, never begins to watch, or ends while the snapshot is still on
// disk is replaced, and the log says so each time.
TEST_F(ProxyGuardWatchTest, ReplacesAGuardThatIsNotWatchingAndSaysSo) {
  struct Case {
    const char* name;
    int failing_starts;
    bool never_watches;
    bool dies;
    const char* line;
  };
  const Case cases[] = {
      {"failed to start", 2, false, false, "Could not start the proxy guard; trying again"},
      {"never watched", 0, true, false, "The proxy guard did not begin to watch; starting another"},
      {"ended from outside", 0, false, true,
       "The proxy guard ended while the proxy was held; starting another"},
  };
  std::vector<std::string> expected;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      starts_ = 0;
      starts_failing_ = test.failing_starts;
      start_never_watches_ = test.never_watches;
      guards_.clear();
    }
    std::unique_ptr<ProxyGuardWatch> watch = MakeWatch();
    watch->SetSnapshotOnDisk(true);
    const int first_watching = test.failing_starts + (test.never_watches ? 2 : 1);
    ASSERT_TRUE(WaitUntil([&] { return starts() == first_watching; }, kDeadlineMs));
    ASSERT_TRUE(WaitUntil([&] { return LastGuard() != nullptr; }, kDeadlineMs));
    ASSERT_TRUE(LastGuard()->watching());
    if (test.dies) {
      LastGuard()->End(true);
      ASSERT_TRUE(WaitUntil([&] { return starts() == first_watching + 1; }, kDeadlineMs));
      ASSERT_TRUE(WaitUntil([&] { return LastGuard()->watching(); }, kDeadlineMs));
    }
    const int started = starts();
    Sleep(200);
    EXPECT_EQ(starts(), started) << "a guard watches, and yet another was started";
    watch->SetSnapshotOnDisk(false);
    watch.reset();
    const int lines = test.failing_starts > 0 ? test.failing_starts : 1;
    for (int line = 0; line < lines; ++line) expected.push_back(test.line);
  }
  EXPECT_EQ(Logged(), expected);
}

}  // namespace
}  // namespace keelo::testing
