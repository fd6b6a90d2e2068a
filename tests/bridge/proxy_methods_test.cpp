#include <gtest/gtest.h>
#include <windows.h>

#include "bridge/desktop_bridge.h"
// After windows.h, which it needs.
#include <psapi.h>
#include <wininet.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "common/log_file.h"
#include "proxy/durable_proxy_snapshot.h"
#include "proxy/process_identity.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/support/local_app_data.h"
#include "tests/support/proxy_registry.h"
#include "tests/support/registry_value_guard.h"

namespace keelo::testing {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

// Windows counts the commit charge in PagefileUsage; Wine counts the private pages touched.
uint64_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  EXPECT_TRUE(K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory)));
  return memory.PagefileUsage;
}

// One option list as WinINet was given it; a null text is kept apart from an empty one.
struct PassedOptions {
  DWORD size = 0;
  bool default_connection = false;
  std::vector<DWORD> ids;
  DWORD flags = 0;
  std::vector<std::optional<std::wstring>> texts;

  static PassedOptions From(const INTERNET_PER_CONN_OPTION_LISTW& list) {
    PassedOptions passed;
    passed.size = list.dwSize;
    passed.default_connection = list.pszConnection == nullptr;
    for (DWORD i = 0; i < list.dwOptionCount; ++i) {
      passed.ids.push_back(list.pOptions[i].dwOption);
      if (i == 0) {
        passed.flags = list.pOptions[i].Value.dwValue;
      } else if (list.pOptions[i].Value.pszValue == nullptr) {
        passed.texts.push_back(std::nullopt);
      } else {
        passed.texts.push_back(std::wstring(list.pOptions[i].Value.pszValue));
      }
    }
    return passed;
  }
};

LPWSTR GlobalText(const std::wstring& text) {
  auto* copy = static_cast<LPWSTR>(GlobalAlloc(GMEM_FIXED, (text.size() + 1) * sizeof(wchar_t)));
  std::wcscpy(copy, text.c_str());
  return copy;
}

// WinINet behind the seam: what the host passed, and what it answers. The durable copy of the
// snapshot is the test prefix's, for real; the guard is not started.
class ProxySeamTest : public BridgeTest {
 protected:
  ProxySeamTest() {
    RemoveProxySnapshot();
    system_->proxy.apply_options = [this](INTERNET_PER_CONN_OPTION_LISTW& list) {
      applied_.push_back(PassedOptions::From(list));
      on_disk_at_apply_.push_back(ReadProxySnapshot());
      return apply_succeeds_;
    };
    system_->proxy.guard_snapshot = [this](bool on_disk) { guard_told_.push_back(on_disk); };
    system_->proxy.query_options = [this](INTERNET_PER_CONN_OPTION_LISTW& list) {
      queried_.push_back(PassedOptions::From(list));
      if (list.pOptions[0].dwOption == INTERNET_PER_CONN_FLAGS_UI && !flags_ui_available_) {
        return FailAfterFillingTexts(list);
      }
      if (!query_succeeds_) return FailAfterFillingTexts(list);
      list.pOptions[0].Value.dwValue = 9;
      list.pOptions[1].Value.pszValue = returned_server_ = GlobalText(server_text_);
      list.pOptions[2].Value.pszValue = nullptr;
      list.pOptions[3].Value.pszValue = returned_pac_ = GlobalText(L"http://pac.example/p");
      return true;
    };
  }

  // WinINet under Wine fails a query for an option it does not know, and still fills in the
  // texts of the others.
  bool FailAfterFillingTexts(INTERNET_PER_CONN_OPTION_LISTW& list) {
    if (!fill_texts_when_failing_) return false;
    for (DWORD i = 1; i < list.dwOptionCount; ++i) {
      // Blocks this large are the heap's alone (see below), so a freed one reads as size 0.
      list.pOptions[i].Value.pszValue = GlobalText(std::wstring(400000, L'f'));
      texts_of_failed_queries_.push_back(list.pOptions[i].Value.pszValue);
    }
    return false;
  }

  // How many snapshots appeared on disk, each of which the guard's seam was told of.
  int SnapshotsGuarded() const {
    int appeared = 0;
    for (size_t i = 0; i < guard_told_.size(); ++i) {
      if (guard_told_[i] && (i == 0 || !guard_told_[i - 1])) ++appeared;
    }
    return appeared;
  }

  // A test that leaves a snapshot ends the bridge itself, while these records still exist: its
  // teardown applies the snapshot into them and removes the durable copy.
  const ProxySnapshotGuard snapshot_values_;
  std::vector<PassedOptions> applied_;
  // The durable snapshot as each apply found it.
  std::vector<std::optional<ProxySnapshot>> on_disk_at_apply_;
  // Whether a snapshot is on disk, as the guard's seam was told each time.
  std::vector<bool> guard_told_;
  std::vector<PassedOptions> queried_;
  bool fill_texts_when_failing_ = false;
  std::vector<LPWSTR> texts_of_failed_queries_;
  bool apply_succeeds_ = true;
  bool query_succeeds_ = true;
  bool flags_ui_available_ = true;
  std::wstring server_text_ = L"proxy.example:3128";
  LPWSTR returned_server_ = nullptr;
  LPWSTR returned_pac_ = nullptr;
};

TEST_F(ProxySeamTest, ApplyPassesFourOptionsOfTheDefaultConnectionInOrder) {
  EXPECT_EQ(Call(kDesktopChannel, "setProxy",
                 EncodableMap{{"flags", 3}, {"server", "proxy:8080"}, {"bypass", "<local>"}}),
            kTrue);
  ASSERT_EQ(applied_.size(), 1u);
  const PassedOptions& passed = applied_[0];
  EXPECT_EQ(passed.size, sizeof(INTERNET_PER_CONN_OPTION_LISTW));
  EXPECT_TRUE(passed.default_connection);
  EXPECT_EQ(passed.ids, (std::vector<DWORD>{1, 2, 3, 4}));
  EXPECT_EQ(passed.flags, 3u);
  // An empty text is passed as empty text, which clears the option; never as null.
  EXPECT_EQ(passed.texts,
            (std::vector<std::optional<std::wstring>>{L"proxy:8080", L"<local>", L""}));

  EXPECT_EQ(Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}}), kTrue);
  EXPECT_EQ(applied_[1].texts, (std::vector<std::optional<std::wstring>>{L"", L"", L""}));
}

TEST_F(ProxySeamTest, QueryAsksForTheSettingsPagesFlagsFirstAndFreesTheTexts) {
  flags_ui_available_ = false;
  EXPECT_EQ(CallForValue(kDesktopChannel, "getProxy"),
            EncodableValue(EncodableMap{{"flags", int64_t{9}},
                                        {"server", "proxy.example:3128"},
                                        {"bypass", ""},
                                        {"pac", "http://pac.example/p"}}));
  ASSERT_EQ(queried_.size(), 2u);
  EXPECT_EQ(queried_[0].ids, (std::vector<DWORD>{10, 2, 3, 4}));
  EXPECT_EQ(queried_[1].ids, (std::vector<DWORD>{1, 2, 3, 4}));
  EXPECT_EQ(queried_[1].size, sizeof(INTERNET_PER_CONN_OPTION_LISTW));
  EXPECT_TRUE(queried_[1].default_connection);

  // Freed by the host. A block this large is the heap's alone and goes back to the system when
  // freed, so nothing else can take its place before the check; the text sent is cut where
  // every text to the UI application is.
  server_text_ = std::wstring(400000, L's');
  EXPECT_EQ(CallForValue(kDesktopChannel, "getProxy"),
            EncodableValue(EncodableMap{{"flags", int64_t{9}},
                                        {"server", std::string(32767, 's')},
                                        {"bypass", ""},
                                        {"pac", "http://pac.example/p"}}));
  EXPECT_EQ(GlobalSize(returned_server_), 0u);

  flags_ui_available_ = true;
  queried_.clear();
  ASSERT_TRUE(CallForValue(kDesktopChannel, "getProxy").has_value());
  EXPECT_EQ(queried_.size(), 1u);

  query_succeeds_ = false;
  EXPECT_EQ(CallForValue(kDesktopChannel, "getProxy"), EncodableValue());
}

// Wine fails every query for the settings page's flags after filling in the texts; the host
// asked for one a call, and kept about a kilobyte of memory each time.
TEST_F(ProxySeamTest, TextsOfAFailedQueryAreFreedToo) {
  flags_ui_available_ = false;
  fill_texts_when_failing_ = true;
  EXPECT_EQ(CallForValue(kDesktopChannel, "getProxy"),
            EncodableValue(EncodableMap{{"flags", int64_t{9}},
                                        {"server", "proxy.example:3128"},
                                        {"bypass", ""},
                                        {"pac", "http://pac.example/p"}}));
  ASSERT_EQ(queried_.size(), 2u);
  // The second query starts without them.
  for (const std::optional<std::wstring>& text : queried_[1].texts) {
    EXPECT_FALSE(text.has_value()) << "a text of the failed query was passed on";
  }

  // Each failed query fills three texts of 800 KB, which the host must free: kept, twenty calls
  // would hold 48 MB more. Freed blocks are not looked at, since the heap may put later blocks
  // where they were; the process's private memory is.
  constexpr int kCalls = 20;
  const uint64_t before = PrivateBytes();
  for (int call = 0; call < kCalls; ++call) {
    ASSERT_TRUE(CallForValue(kDesktopChannel, "getProxy").has_value());
  }
  query_succeeds_ = false;
  EXPECT_EQ(CallForValue(kDesktopChannel, "getProxy"), EncodableValue());
  EXPECT_EQ(texts_of_failed_queries_.size(), 3u * (kCalls + 1) + 6u);
  EXPECT_LT(PrivateBytes(), before + (8u << 20));
}

TEST_F(ProxySeamTest, FlagsAreTruncatedAndUnusableNumbersCountAsAbsent) {
  for (const EncodableValue& flags :
       {EncodableValue(-1), EncodableValue(int64_t{-5}), EncodableValue(int64_t{1} << 32),
        EncodableValue(4294967296.0), EncodableValue(std::nan("")),
        EncodableValue(std::numeric_limits<double>::infinity()), EncodableValue("3")}) {
    applied_.clear();
    EXPECT_EQ(Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", flags}}), kTrue);
    ASSERT_EQ(applied_.size(), 1u);
    EXPECT_EQ(applied_[0].flags, 1u);
  }
  applied_.clear();
  Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 3.9}});
  ASSERT_EQ(applied_.size(), 1u);
  EXPECT_EQ(applied_[0].flags, 3u);
}

// A call whose arguments are no map asks for nothing; read as an empty map it would switch the
// user's proxy off and forget the snapshot.
TEST_F(ProxySeamTest, ArgumentsThatAreNoMapChangeNothing) {
  ASSERT_EQ(Call(kDesktopChannel, "setProxy",
                 EncodableMap{{"flags", 1}, {"restoreOnExit", EncodableMap{{"flags", 3}}}}),
            kTrue);
  applied_.clear();
  for (const EncodableValue& arguments :
       {EncodableValue(), EncodableValue(true), EncodableValue(3), EncodableValue("flags"),
        EncodableValue(flutter::EncodableList{"flags", 1}),
        EncodableValue(std::vector<uint8_t>{1})}) {
    EXPECT_EQ(Call(kDesktopChannel, "setProxy", arguments), kFalse);
  }
  EXPECT_TRUE(applied_.empty());
  // The snapshot is still the one put back at the end. Ended here, while the record it is
  // applied into still exists.
  bridge_.reset();
  ASSERT_EQ(applied_.size(), 1u);
  EXPECT_EQ(applied_[0].flags, 3u);
}

const EncodableMap kSnapshot = {{"flags", 3}, {"server", "old:80"}, {"bypass", "b"}, {"pac", ""}};
const ProxySettings kSnapshotSettings = {3, L"old:80", L"b", L""};
// What the seam's query answers, and so what each apply is read back as.
const ProxySettings kReadBack = {9, L"proxy.example:3128", L"", L"http://pac.example/p"};

// This process's snapshot of |settings|, with the applied settings read back after the apply,
// or as it is on disk while the apply runs (not known yet).
ProxySnapshot Kept(const ProxySettings& settings, bool applied_known = true) {
  return ProxySnapshot{CurrentProcessIdentity(), settings,
                       applied_known ? std::optional(kReadBack) : std::nullopt};
}

TEST_F(ProxySeamTest, SnapshotIsReplacedOnSuccessOnlyAndForgottenWithoutOne) {
  EXPECT_EQ(
      Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}, {"restoreOnExit", kSnapshot}}),
      kTrue);
  EXPECT_EQ(ReadProxySnapshot(), Kept(kSnapshotSettings));

  apply_succeeds_ = false;
  EXPECT_EQ(Call(kDesktopChannel, "setProxy",
                 EncodableMap{{"flags", 2}, {"restoreOnExit", EncodableMap{{"flags", 8}}}}),
            kFalse);
  EXPECT_EQ(ReadProxySnapshot(), Kept(kSnapshotSettings));

  // A snapshot of any other type than a map counts as none given.
  apply_succeeds_ = true;
  EXPECT_EQ(
      Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}, {"restoreOnExit", "not a map"}}),
      kTrue);
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);

  Call(kDesktopChannel, "setProxy", EncodableMap{{"restoreOnExit", kSnapshot}});
  Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}});
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  applied_.clear();
  bridge_.reset();
  EXPECT_TRUE(applied_.empty()) << "a forgotten snapshot was put back";
}

TEST_F(ProxySeamTest, TeardownPutsTheSnapshotBackFirst) {
  Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}, {"restoreOnExit", kSnapshot}});
  applied_.clear();
  bridge_.reset();
  ASSERT_EQ(applied_.size(), 1u);
  EXPECT_EQ(applied_[0].flags, 3u);
  EXPECT_EQ(applied_[0].texts, (std::vector<std::optional<std::wstring>>{L"old:80", L"b", L""}));
}

TEST_F(ProxySeamTest, EndOfSessionPutsTheSnapshotBackOnceAndPassesTheMessageOn) {
  Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}, {"restoreOnExit", kSnapshot}});
  applied_.clear();
  // The session is not ending after all.
  EXPECT_EQ(bridge_->HandleWindowMessage(nullptr, WM_ENDSESSION, 0, 0), std::nullopt);
  EXPECT_TRUE(applied_.empty());

  EXPECT_EQ(bridge_->HandleWindowMessage(nullptr, WM_ENDSESSION, 1, 0), std::nullopt);
  ASSERT_EQ(applied_.size(), 1u);
  EXPECT_EQ(applied_[0].flags, 3u);
  EXPECT_EQ(bridge_->HandleWindowMessage(nullptr, WM_ENDSESSION, 1, 0), std::nullopt);
  bridge_.reset();
  EXPECT_EQ(applied_.size(), 1u);
}

TEST_F(ProxySeamTest, FailedRestoreIsNotRetried) {
  Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}, {"restoreOnExit", kSnapshot}});
  apply_succeeds_ = false;
  applied_.clear();
  bridge_->HandleWindowMessage(nullptr, WM_ENDSESSION, 1, 0);
  bridge_.reset();
  EXPECT_EQ(applied_.size(), 1u);
}

TEST_F(ProxySeamTest, DurableCopyIsOnDiskBeforeEachApplyAndFollowsTheSnapshot) {
  const ProxySnapshot kept = Kept(kSnapshotSettings);
  ASSERT_EQ(
      Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}, {"restoreOnExit", kSnapshot}}),
      kTrue);
  EXPECT_EQ(on_disk_at_apply_.back(), Kept(kSnapshotSettings, false));
  EXPECT_EQ(ReadProxySnapshot(), kept);
  EXPECT_EQ(SnapshotsGuarded(), 1);

  // Failed: the new snapshot was on disk while the apply ran, the earlier one is back after.
  apply_succeeds_ = false;
  ASSERT_EQ(Call(kDesktopChannel, "setProxy",
                 EncodableMap{{"flags", 2}, {"restoreOnExit", EncodableMap{{"flags", 8}}}}),
            kFalse);
  EXPECT_EQ(on_disk_at_apply_.back(), Kept(ProxySettings{8, L"", L"", L""}, false));
  EXPECT_EQ(ReadProxySnapshot(), kept);

  // Replaced: the copy follows, and the guard already watching it stays the only one.
  apply_succeeds_ = true;
  const ProxySnapshot second = Kept(ProxySettings{1, L"second", L"", L""});
  ASSERT_EQ(Call(kDesktopChannel, "setProxy",
                 EncodableMap{{"flags", 1}, {"restoreOnExit", EncodableMap{{"server", "second"}}}}),
            kTrue);
  EXPECT_EQ(ReadProxySnapshot(), second);
  EXPECT_EQ(SnapshotsGuarded(), 1);
  EXPECT_EQ(guard_told_.back(), true);

  // None given: the copy goes once the apply succeeded, not before, and not on a failure.
  apply_succeeds_ = false;
  ASSERT_EQ(Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}}), kFalse);
  EXPECT_EQ(ReadProxySnapshot(), second);
  apply_succeeds_ = true;
  ASSERT_EQ(Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}}), kTrue);
  EXPECT_EQ(on_disk_at_apply_.back(), second);
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  EXPECT_EQ(guard_told_.back(), false);

  // Failed with none before it: none after it either.
  apply_succeeds_ = false;
  ASSERT_EQ(
      Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}, {"restoreOnExit", kSnapshot}}),
      kFalse);
  EXPECT_EQ(on_disk_at_apply_.back(), Kept(kSnapshotSettings, false));
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  EXPECT_EQ(guard_told_.back(), false);

  // Each copy that appears gets its guard; the one above found its copy gone and left.
  apply_succeeds_ = true;
  ASSERT_EQ(
      Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}, {"restoreOnExit", kSnapshot}}),
      kTrue);
  EXPECT_EQ(SnapshotsGuarded(), 3);
  bridge_.reset();
}

TEST_F(ProxySeamTest, RestoreRemovesTheDurableCopyAfterItsAttemptAndLogsWhereItCameFrom) {
  const TemporaryLocalAppData local;
  LogFile log(local.KeeloFolder(L"logs"));
  const ProcessLogScope log_scope(&log);
  const ProxySnapshot kept = Kept(kSnapshotSettings);
  const std::string snapshot_text = "flags 3, server \"old:80\", bypass \"b\", pac \"\"";

  // The session's end last: after it, no "setProxy" changes anything.
  for (const UINT quit_message : {QuitMessage(), static_cast<UINT>(WM_ENDSESSION)}) {
    Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}, {"restoreOnExit", kSnapshot}});
    on_disk_at_apply_.clear();
    bridge_->HandleWindowMessage(nullptr, quit_message, 1, 0);
    EXPECT_EQ(on_disk_at_apply_, std::vector<std::optional<ProxySnapshot>>{kept});
    EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  }
  // A failed restore is not retried, on disk either.
  MakeBridge(nullptr);
  Call(kDesktopChannel, "setProxy", EncodableMap{{"flags", 1}, {"restoreOnExit", kSnapshot}});
  apply_succeeds_ = false;
  bridge_.reset();
  EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);

  ASSERT_TRUE(log.Flush(std::chrono::seconds(10)));
  const std::string set =
      "setProxy applied flags 1, server \"\", bypass \"\", pac \"\"; to "
      "restore on exit: " +
      snapshot_text;
  EXPECT_EQ(LoggedTexts(LogFilePath(local.KeeloFolder(L"logs"), 0)),
            (std::vector<std::string>{set, "Proxy restored (quit): " + snapshot_text, set,
                                      "Proxy restored (session end): " + snapshot_text, set,
                                      "Proxy restore failed (teardown): " + snapshot_text}));
}

// The host's own window, as the system's session end and the Restart Manager (an installer or an
// update closing the host) reach it, with WinINet behind the seam. The records outlive the test
// body: the fixture ends the bridge, which may still restore into them.
class ProxyWindowTest : public WindowBridgeTest {
 protected:
  struct Record {
    std::vector<std::wstring> applied_servers;
  };

  ProxyWindowTest() {
    system_->proxy.apply_options = [record = record_](INTERNET_PER_CONN_OPTION_LISTW& list) {
      record->applied_servers.push_back(list.pOptions[1].Value.pszValue);
      return true;
    };
    system_->proxy.query_options = [](INTERNET_PER_CONN_OPTION_LISTW&) { return false; };
    system_->proxy.guard_snapshot = [](bool) {};
  }

  void SetProxyWithSnapshot() {
    ASSERT_EQ(Call(kDesktopChannel, "setProxy",
                   EncodableMap{{"server", "blocking"}, {"restoreOnExit", kSnapshot}}),
              kTrue);
    record_->applied_servers.clear();
  }

  const ProxySnapshotGuard snapshot_values_;
  const std::shared_ptr<Record> record_ = std::make_shared<Record>();
};

TEST_F(ProxyWindowTest, SessionEndAndCloseAppPutTheProxyBackOnceAndOnlyCloseAppEndsTheHost) {
  const TemporaryLocalAppData local;
  LogFile log(local.KeeloFolder(L"logs"));
  const ProcessLogScope log_scope(&log);
  struct Case {
    const char* name;
    LPARAM reason;
    bool ends;
    const char* source;
  };
  const Case cases[] = {
      {"shut-down", 0, false, "session end"},
      {"log-off", static_cast<LPARAM>(ENDSESSION_LOGOFF), false, "session end"},
      {"closed by an installer", static_cast<LPARAM>(ENDSESSION_CLOSEAPP), true, "close app"},
  };
  std::vector<std::string> restores;
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    MakeBridge(window_);
    SetProxyWithSnapshot();
    // Asked first; the host never stands in the way.
    EXPECT_NE(SendMessageW(window_, WM_QUERYENDSESSION, 0, test.reason), 0);
    EXPECT_TRUE(record_->applied_servers.empty());
    SendMessageW(window_, WM_ENDSESSION, TRUE, test.reason);
    EXPECT_EQ(record_->applied_servers, std::vector<std::wstring>{L"old:80"});
    EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
    restores.push_back(std::string("Proxy restored (") + test.source +
                       "): flags 3, server \"old:80\", bypass \"b\", pac \"\"");
    PumpMessages();
    EXPECT_EQ(IsWindow(window_) == FALSE, test.ends);
    if (test.ends) break;
    record_->applied_servers.clear();
    // The system may end the process at any moment now, and nothing would put a new proxy back.
    EXPECT_EQ(Call(kDesktopChannel, "setProxy",
                   EncodableMap{{"server", "late"}, {"restoreOnExit", kSnapshot}}),
              kFalse);
    EXPECT_TRUE(record_->applied_servers.empty());
    EXPECT_EQ(ReadProxySnapshotText(), std::nullopt);
  }
  EXPECT_FALSE(IsWindow(window_));
  bridge_.reset();
  EXPECT_EQ(record_->applied_servers.size(), 1u) << "put back a second time";
  ASSERT_TRUE(log.Flush(std::chrono::seconds(10)));
  std::vector<std::string> logged_restores;
  for (const std::string& text : LoggedTexts(LogFilePath(local.KeeloFolder(L"logs"), 0))) {
    if (text.rfind("Proxy ", 0) == 0) logged_restores.push_back(text);
  }
  EXPECT_EQ(logged_restores, restores);
}

}  // namespace
}  // namespace keelo::testing
