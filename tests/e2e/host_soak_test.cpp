// The long run: the real host driven through the driver with a reproducible random mix of every
// method of both channels, the tray menu opened and dismissed, mini mode in and out and the
// proxy set and put back, while its handles and memory are sampled every tenth of the run.
//
// KEELO_SOAK_CALLS sets the number of calls (default 5000) and KEELO_SOAK_SEED the mix (default:
// a fresh one, printed first, so that a failing mix can be run again); KEELO_SOAK_ONLY=<method>
// keeps one kind of call, to find which one a leak comes with.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/text_conversion.h"
#include "devkit/driver/protocol/method_envelopes.h"
#include "messaging/encodable_value.h"
#include "tests/e2e/host_control.h"
#include "tests/e2e/host_fixture.h"
#include "tests/e2e/process_metrics.h"
#include "tests/e2e/soak_mix.h"
#include "tests/e2e/soak_replies.h"
#include "tests/e2e/soak_samples.h"
#include "tests/support/fixtures.h"
#include "tests/support/host_names.h"
#include "tests/support/registry_text.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr size_t kDefaultCalls = 5000;
constexpr int kWarmUpRounds = 3;
constexpr DWORD kModalLoopTimeoutMs = 5000;
// Past this many, wrong replies are counted but no longer described one by one.
constexpr size_t kReportedMismatches = 20;
// The tray menu is tried this often before the host counts as unable to show it: a focus
// change of Wine's still on its way can end it before it is seen (see SettleForeground).
constexpr int kTrayMenuAttempts = 3;
constexpr DWORD kForegroundQuietMs = 100;
// How many of the last calls a report of a stuck host lists.
constexpr size_t kRecentCalls = 12;

// After the first tenth the host's handles have stayed level in every run (62 under Wine, to the
// last of 100,000 calls); the allowance leaves room for objects the system makes on its own
// schedule (a thread pool worker's wait objects, a cache's registry key) and no more. A leak of
// one handle per call of a method of weight 10 ("startDrag") adds about 55 over the short run's
// nine tenths; the rarest methods (weights 1 to 5 in about 800) only the long run catches, with
// a hundred or more.
constexpr DWORD kHandleAllowance = 8;
// Wine counts the private pages the host has touched, which move in steps of the heap's growth:
// after the first tenth they stayed within 100 KiB in every run. An average leak of 256 bytes a
// call passes the allowance within the short run; the rising-line check (half the allowance)
// catches six bytes a call over the long one.
constexpr uint64_t kPrivateBytesAllowance = uint64_t{1024} * 1024;

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

size_t SoakCalls() {
  const char* text = std::getenv("KEELO_SOAK_CALLS");
  if (text == nullptr || *text == '\0') return kDefaultCalls;
  return static_cast<size_t>(std::strtoull(text, nullptr, 10));
}

uint64_t SoakSeed() {
  const char* text = std::getenv("KEELO_SOAK_SEED");
  if (text != nullptr && *text != '\0') return std::strtoull(text, nullptr, 10);
  std::random_device device;
  return (static_cast<uint64_t>(device()) << 32) ^ device() ^ GetTickCount64();
}

// The proxy values as the registry holds them, missing values as empty.
struct RegistryProxy {
  DWORD enable = 0;
  std::wstring server;
  std::wstring bypass;
  std::wstring autoconfig_url;

  bool operator==(const RegistryProxy&) const = default;
};

std::wstring ReadText(const wchar_t* key, const wchar_t* name) {
  return ReadRegistryText(HKEY_CURRENT_USER, key, name).value_or(L"");
}

RegistryProxy ReadRegistryProxy() {
  RegistryProxy proxy;
  DWORD size = sizeof(proxy.enable);
  RegGetValueW(HKEY_CURRENT_USER, kInternetSettings, L"ProxyEnable", RRF_RT_REG_DWORD, nullptr,
               &proxy.enable, &size);
  proxy.server = ReadText(kInternetSettings, L"ProxyServer");
  proxy.bypass = ReadText(kInternetSettings, L"ProxyOverride");
  proxy.autoconfig_url = ReadText(kInternetSettings, L"AutoConfigURL");
  return proxy;
}

std::string Describe(const RegistryProxy& proxy) {
  return "ProxyEnable=" + std::to_string(proxy.enable) +
         " ProxyServer=" + WideToUtf8(proxy.server) + " ProxyOverride=" + WideToUtf8(proxy.bypass) +
         " AutoConfigURL=" + WideToUtf8(proxy.autoconfig_url);
}

bool RunValuePresent() {
  return RegGetValueW(HKEY_CURRENT_USER, kRunKeyPath, kRunValueName, RRF_RT_ANY, nullptr, nullptr,
                      nullptr) == ERROR_SUCCESS;
}

std::map<std::string, size_t> CountLines(const std::string& text) {
  std::map<std::string, size_t> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) ++lines[line];
  }
  return lines;
}

std::string DescribeLines(const std::map<std::string, size_t>& lines) {
  std::string text;
  for (const auto& [line, count] : lines) text += std::to_string(count) + " x " + line + "\n";
  return text.empty() ? "(none)\n" : text;
}

class HostSoakTest : public HostTest {
 protected:
  // Makes |call| and checks its one reply; false when no reply came, after which the run is over.
  bool Make(const SoakCall& call) {
    ++made_;
    recent_.push_back(std::to_string(made_) + " " + call.label);
    if (recent_.size() > kRecentCalls) recent_.pop_front();
    const auto sent = std::chrono::steady_clock::now();
    auto reply = client_->Call(call.channel, call.message);
    Timing& timing = timings_[call.kind];
    ++timing.calls;
    timing.seconds += Since(sent);
    if (!reply.ok()) {
      ADD_FAILURE() << "call " << made_ << " (" << call.label << ") got no reply: " << reply.error
                    << "\nseed " << seed_ << "\nhost output:\n"
                    << host_->Output();
      return false;
    }
    const std::string mismatch = ReplyMismatch(call.expected, reply.value);
    if (!mismatch.empty() && ++mismatches_ <= kReportedMismatches) {
      ADD_FAILURE() << "call " << made_ << " (" << call.label << "), seed " << seed_ << ": "
                    << mismatch;
    }
    if (call.starts_drag) return EndDrag(call);
    return true;
  }

  // The host answers "startDrag" before it enters the move loop, and its answer reaches the
  // driver from inside that loop; Escape ends it as it would end a user's drag.
  bool EndDrag(const SoakCall& call) {
    PostMessageW(window_, WM_KEYDOWN, VK_ESCAPE, 0);
    if (WaitUntil([this] { return !InModalLoop(); }, kModalLoopTimeoutMs)) return true;
    ADD_FAILURE() << "call " << made_ << " (" << call.label << "): the move loop did not end";
    return false;
  }

  // Opens the tray menu, makes the calls the mix puts inside it, and dismisses it.
  bool TrayMenuRound(SoakMix& mix) {
    HWND menu = nullptr;
    for (int attempt = 1; menu == nullptr && attempt <= kTrayMenuAttempts; ++attempt) {
      SettleForeground();
      menu = OpenTrayMenu(window_);
      if (menu == nullptr) ++menu_retries_;
    }
    if (menu == nullptr) {
      ADD_FAILURE() << "after call " << made_ << " the tray menu did not open; " << HostState();
      return false;
    }
    ++menus_;
    for (size_t inside = mix.CallsInTrayMenu(); inside > 0; --inside) {
      if (!Make(mix.Next(true))) return false;
    }
    CloseTrayMenu(menu);
    if (WaitUntil([this] { return !InModalLoop(); }, kModalLoopTimeoutMs)) return true;
    ADD_FAILURE() << "after call " << made_ << " the tray menu did not close; " << HostState();
    return false;
  }

  // Under Wine a window of another process comes to the front through that process's queue and
  // the X server's focus events, which arrive after the change itself: one that lands while the
  // menu is up takes the activation from the host and so ends the menu, as a click elsewhere
  // would. The menu opens once the front window has stayed the same for a while.
  static void SettleForeground() {
    HWND front = GetForegroundWindow();
    DWORD unchanged_since = GetTickCount();
    WaitUntil(
        [&] {
          HWND now = GetForegroundWindow();
          if (now != front) {
            front = now;
            unchanged_since = GetTickCount();
          }
          return GetTickCount() - unchanged_since >= kForegroundQuietMs;
        },
        kModalLoopTimeoutMs);
  }

  // What a report needs to tell a stuck host from a menu that went elsewhere.
  std::string HostState() {
    std::string text = InModalLoop() ? "the host is in a modal loop" : "no modal loop";
    EnumWindows(
        [](HWND window, LPARAM state) {
          wchar_t name[64] = {};
          GetClassNameW(window, name, 64);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          auto& out = *reinterpret_cast<std::string*>(state);
          out += "\n  window " + std::to_string(reinterpret_cast<intptr_t>(window)) + " " +
                 WideToUtf8(name) + " pid " + std::to_string(owner) +
                 (IsWindowVisible(window) ? " visible" : " hidden");
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    auto idle = client_->InvokeMethod(kDesktopChannel, "getIdleSeconds");
    text += idle.ok() ? "\nthe host still answers" : "\nthe host no longer answers: " + idle.error;
    text += "\nhost pid " + std::to_string(host_->id()) + "; the last calls:";
    for (const std::string& label : recent_) text += "\n  " + label;
    return text;
  }

  bool InModalLoop() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    const DWORD modal = GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE | GUI_INMOVESIZE;
    return GetGUIThreadInfo(host_thread_, &info) && (info.flags & modal) != 0;
  }

  void Sample() {
    const auto begun = std::chrono::steady_clock::now();
    struct Timed {
      std::chrono::steady_clock::time_point begun;
      Timing* timing;
      ~Timed() {
        ++timing->calls;
        timing->seconds += Since(begun);
      }
    } timed{begun, &timings_["(sample)"]};
    const std::optional<ProcessMetrics> metrics = ReadProcessMetrics(host_->handle());
    ASSERT_TRUE(metrics.has_value()) << "the host's figures could not be read";
    samples_.push_back({made_, *metrics});
    // Progress, for a run that lasts minutes.
    std::printf("soak: %zu calls, %u handles, %llu KiB private, %.0f s\n", made_,
                static_cast<unsigned>(metrics->handles),
                static_cast<unsigned long long>(metrics->private_bytes / 1024), Since(started_));
    std::fflush(stdout);
    DrainEvents();
  }

  // Tallies the host's own messages so far by method name.
  void DrainEvents() {
    for (;;) {
      auto event = client_->NextEvent(std::chrono::milliseconds(0));
      if (!event.ok()) return;
      const auto call = devkit::DecodeMethodCall(event.value.message);
      if (!call) {
        ++events_["(undecodable)"];
      } else if (call->method == "onMiniMode" &&
                 call->arguments == EncodableValue(EncodableMap{{"enabled", false}})) {
        ++events_["onMiniMode off"];
      } else {
        ++events_[call->method];
      }
    }
  }

  SoakProxy HostProxy() {
    auto reply = client_->InvokeMethod(kDesktopChannel, "getProxy");
    EXPECT_TRUE(reply.ok()) << reply.error;
    const auto* map = reply.value.value.GetIf<EncodableMap>();
    if (map == nullptr) {
      ADD_FAILURE() << "getProxy gave no map";
      return {};
    }
    SoakProxy proxy;
    const EncodableValue& flags = map->at(EncodableValue("flags"));
    if (flags.Holds<int64_t>()) proxy.flags = flags.Get<int64_t>();
    const EncodableValue& server = map->at(EncodableValue("server"));
    if (server.Holds<std::string>()) proxy.server = server.Get<std::string>();
    return proxy;
  }

  // Where the run's time goes, by method: for choosing the weights, never judged.
  struct Timing {
    size_t calls = 0;
    double seconds = 0;
  };
  std::string DescribeTimings() const {
    std::string text = "method                    calls   total s   mean ms\n";
    for (const auto& [method, timing] : timings_) {
      char line[128];
      std::snprintf(line, sizeof(line), "%-22s %8zu %9.2f %9.2f\n", method.c_str(), timing.calls,
                    timing.seconds, timing.seconds * 1000 / static_cast<double>(timing.calls));
      text += line;
    }
    return text;
  }

  // The seed comes first, so that a run that fails in any way can be made again.
  void BeginTheRun(size_t calls) {
    seed_ = SoakSeed();
    std::printf(
        "soak: %zu calls, seed %llu (KEELO_SOAK_SEED=%llu KEELO_SOAK_CALLS=%zu replays it)\n",
        calls, static_cast<unsigned long long>(seed_), static_cast<unsigned long long>(seed_),
        calls);
    std::fflush(stdout);
    started_ = std::chrono::steady_clock::now();
  }

  // The programs the calls name: an editor with icons, a plain window, and a window whose
  // program has ended.
  void StartFixtures() {
    editor_path_ = FixtureExecutable(L"fixture_versioned.exe");
    editor_ = FixtureProcess::Start(editor_path_, L"soak editor");
    plain_ = FixtureProcess::Start(FixtureExecutable(L"fixture_plain.exe"), L"soak plain");
    gone_ = FixtureProcess::Start(FixtureExecutable(L"fixture_plain.exe"), L"soak gone");
    ASSERT_TRUE(editor_ && plain_ && gone_);
    gone_window_ = gone_->window();
    gone_->Terminate();
    ASSERT_FALSE(IsWindow(gone_window_));
  }

  // The window's place and style before the run, for ExpectTheWindowAsBefore.
  void StartHostAndNoteItsWindow() {
    ASSERT_NO_FATAL_FAILURE(StartHost(L""));
    ASSERT_NO_FATAL_FAILURE(WaitForFirstFrame());
    ASSERT_TRUE(WaitUntil([this] { return IsWindowVisible(window_) != FALSE; }, kStartTimeoutMs));
    host_thread_ = GetWindowThreadProcessId(window_, nullptr);
    GetWindowRect(window_, &rect_before_);
    style_before_ = GetWindowLongPtrW(window_, GWL_STYLE);
  }

  void CollectTargets(SoakTargets* targets) {
    for (HWND window : {editor_->window(), plain_->window()}) {
      const auto handle = static_cast<int64_t>(reinterpret_cast<intptr_t>(window));
      // The mix also sends them as int32, which the host sign-extends.
      ASSERT_EQ(handle, static_cast<int32_t>(handle));
      targets->fixture_windows.push_back(handle);
    }
    targets->host_window = static_cast<int64_t>(reinterpret_cast<intptr_t>(window_));
    targets->gone_window = static_cast<int64_t>(reinterpret_cast<intptr_t>(gone_window_));
    targets->icon_path = WideToUtf8(editor_path_);
    targets->missing_path = "C:\\keelo-soak-missing-" + std::to_string(seed_) + "\\absent.exe";
  }

  // Makes |calls| calls of |mix|, tray menus among them, sampling the host before the first and
  // after every tenth.
  void RunMix(SoakMix& mix, size_t calls) {
    ASSERT_NO_FATAL_FAILURE(Sample());
    const size_t tenth = calls / 10 == 0 ? 1 : calls / 10;
    size_t next_sample = tenth;
    bool answered = true;
    for (const SoakCall& call : mix.WarmUp(kWarmUpRounds)) {
      answered = answered && Make(call);
    }
    while (answered && made_ < calls) {
      if (mix.OpensTrayMenu()) answered = TrayMenuRound(mix);
      answered = answered && Make(mix.Next(false));
      while (answered && made_ >= next_sample && next_sample <= calls) {
        ASSERT_NO_FATAL_FAILURE(Sample());
        next_sample += tenth;
      }
    }
    ASSERT_TRUE(answered) << "the run stopped after " << made_ << " calls";
  }

  // Prints where the time went and what the samples show; fails on wrong replies and on figures
  // that rose.
  void ReportAndJudgeTheRun() {
    const double seconds = Since(started_);
    std::printf("%s%s", DescribeTimings().c_str(), FormatSamples(samples_).c_str());
    std::printf("soak: %zu calls, %zu tray menus (%zu opened again), %zu wrong replies, %.1f s\n",
                made_, menus_, menu_retries_, mismatches_, seconds);
    const bool gui_counts = GuiResourceCountsAvailable();
    if (!gui_counts) {
      std::printf("soak: GDI and USER objects not judged: this system counts none (Wine)\n");
    }
    std::fflush(stdout);
    EXPECT_EQ(mismatches_, 0u) << "seed " << seed_;
    for (const std::string& fault :
         SampleFaults(samples_, {kHandleAllowance, kPrivateBytesAllowance}, gui_counts)) {
      ADD_FAILURE() << fault << " (seed " << seed_ << ")";
    }
  }

  // Back to where the run began, through the channels as the UI application would.
  void PutBackThroughTheChannels(const SoakProxy& start_proxy) {
    auto reply = client_->InvokeMethod(kUiChannel, "setMiniMode", EncodableMap{{"enabled", false}});
    EXPECT_EQ(reply.value.value, EncodableValue(false)) << reply.error;
    reply =
        client_->InvokeMethod(kDesktopChannel, "setQuitAllowed", EncodableMap{{"allowed", true}});
    EXPECT_EQ(reply.value.kind, devkit::MethodReply::Kind::kSuccess) << reply.error;
    reply = client_->InvokeMethod(kDesktopChannel, "setLaunchAtStartup",
                                  EncodableMap{{"enabled", false}});
    EXPECT_EQ(reply.value.value, EncodableValue(true)) << reply.error;
    EXPECT_FALSE(RunValuePresent());
    EncodableMap restore = SoakMix::ProxyArguments(start_proxy);
    restore[EncodableValue("restoreOnExit")] = SoakMix::ProxyArguments(start_proxy);
    reply = client_->InvokeMethod(kDesktopChannel, "setProxy", EncodableValue(restore));
    EXPECT_EQ(reply.value.value, EncodableValue(true)) << reply.error;
    const SoakProxy proxy_after = HostProxy();
    EXPECT_EQ(proxy_after.flags, start_proxy.flags);
    EXPECT_EQ(proxy_after.server, start_proxy.server);
  }

  void ExpectOnlyTheEventsOwed(const SoakModel& model) {
    DrainEvents();
    EXPECT_EQ(events_["onMiniMode off"], model.mini_mode_exits_reported) << "seed " << seed_;
    events_.erase("onMiniMode off");
    // Wine never raises the foreground event; on Windows the fixtures coming forward do.
    events_.erase("onForeground");
    EXPECT_TRUE(events_.empty()) << "unexpected messages from the host:\n"
                                 << DescribeLines(events_);
  }

  void ExpectTheWindowAsBefore() {
    EXPECT_TRUE(IsWindowVisible(window_));
    EXPECT_FALSE(IsIconic(window_));
    EXPECT_EQ(GetWindowLongPtrW(window_, GWL_STYLE), style_before_);
    EXPECT_EQ(GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    RECT rect_after = {};
    GetWindowRect(window_, &rect_after);
    EXPECT_TRUE(EqualRect(&rect_before_, &rect_after))
        << "the window was at " << rect_before_.left << "," << rect_before_.top << " "
        << rect_before_.right - rect_before_.left << "x" << rect_before_.bottom - rect_before_.top
        << " and is at " << rect_after.left << "," << rect_after.top << " "
        << rect_after.right - rect_after.left << "x" << rect_after.bottom - rect_after.top;
  }

  // Each fault of a message sent gets its line, and nothing else is said: no reply left owed,
  // none sent twice.
  void ExpectACleanQuit(const SoakModel& model) {
    AskHostToQuit(window_);
    EXPECT_EQ(host_->WaitForExit(kStartTimeoutMs), std::optional<DWORD>(0)) << host_->Output();
    EXPECT_EQ(CountLines(host_->Output()), model.diagnostics)
        << "host said:\n"
        << DescribeLines(CountLines(host_->Output())) << "expected:\n"
        << DescribeLines(model.diagnostics);
  }

  uint64_t seed_ = 0;
  std::chrono::steady_clock::time_point started_;
  std::wstring editor_path_;
  std::unique_ptr<FixtureProcess> editor_;
  std::unique_ptr<FixtureProcess> plain_;
  std::unique_ptr<FixtureProcess> gone_;
  HWND gone_window_ = nullptr;
  RECT rect_before_ = {};
  LONG_PTR style_before_ = 0;
  std::map<std::string, Timing> timings_;
  size_t made_ = 0;
  size_t mismatches_ = 0;
  size_t menus_ = 0;
  size_t menu_retries_ = 0;
  DWORD host_thread_ = 0;
  std::deque<std::string> recent_;
  std::vector<SoakSample> samples_;
  std::map<std::string, size_t> events_;
};

TEST_F(HostSoakTest, MixedCallsLeaveTheHostAsItWas) {
  const size_t calls = SoakCalls();
  BeginTheRun(calls);
  const RegistryValueGuard run_value(kRunKeyPath, kRunValueName);
  run_value.Delete();
  const RegistryValueGuard proxy_enable(kInternetSettings, L"ProxyEnable");
  const RegistryValueGuard proxy_server(kInternetSettings, L"ProxyServer");
  const RegistryValueGuard proxy_override(kInternetSettings, L"ProxyOverride");
  const RegistryValueGuard autoconfig_url(kInternetSettings, L"AutoConfigURL");
  const RegistryProxy registry_before = ReadRegistryProxy();

  ASSERT_NO_FATAL_FAILURE(StartFixtures());
  ASSERT_NO_FATAL_FAILURE(StartHostAndNoteItsWindow());
  SoakTargets targets;
  ASSERT_NO_FATAL_FAILURE(CollectTargets(&targets));
  SoakModel start;
  start.proxy = HostProxy();
  const char* only = std::getenv("KEELO_SOAK_ONLY");
  SoakMix mix(seed_, targets, start, only == nullptr ? "" : only);
  ASSERT_FALSE(mix.empty()) << "KEELO_SOAK_ONLY names no kind of call: " << only;

  ASSERT_NO_FATAL_FAILURE(RunMix(mix, calls));
  ReportAndJudgeTheRun();

  PutBackThroughTheChannels(start.proxy);
  ExpectOnlyTheEventsOwed(mix.model());
  ExpectTheWindowAsBefore();
  ExpectACleanQuit(mix.model());
  const RegistryProxy registry_after = ReadRegistryProxy();
  EXPECT_EQ(registry_after, registry_before)
      << "before: " << Describe(registry_before) << "\nafter: " << Describe(registry_after);
  EXPECT_FALSE(RunValuePresent());
}

}  // namespace
}  // namespace keelo::testing
