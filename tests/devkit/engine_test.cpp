#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "devkit/driver/client/driver_client.h"
#include "devkit/driver/protocol/method_envelopes.h"
#include "engine_api/flutter_windows.h"
#include "engine_api/url_launcher_plugin.h"
#include "messaging/standard_method_codec.h"
#include "tests/devkit/test_host.h"

namespace devkit::testing {
namespace {

using ::testing::HasSubstr;
using namespace std::chrono_literals;

constexpr char kDesktop[] = "test.keelo/desktop";
constexpr char kUi[] = "test.keelo/desktop_ui";

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Event(const std::string& method, int32_t value) {
  return EncodeMethodCall(method, flutter::EncodableValue(value));
}

// Windows of the engine's classes that the host thread still owns, top-level or message-only.
int EngineWindowsOf(DWORD thread_id) {
  int count = 0;
  for (HWND parent : {HWND(nullptr), HWND_MESSAGE}) {
    HWND window = nullptr;
    while ((window = FindWindowExW(parent, window, nullptr, nullptr)) != nullptr) {
      wchar_t name[64] = {};
      GetClassNameW(window, name, 64);
      if (GetWindowThreadProcessId(window, nullptr) == thread_id &&
          std::wstring(name).rfind(L"KeeloDevkit", 0) == 0 &&
          std::wstring(name) != L"KeeloDevkitTestHost") {
        ++count;
      }
    }
  }
  return count;
}

class DevkitEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    client_ = DriverClient::Create(&error);
    ASSERT_NE(client_, nullptr) << error;
  }

  // Starts the engine with the driver as its UI application, listening on both channels.
  void StartWithDriver(EngineSetup setup = EngineSetup()) {
    const std::vector<std::string> driver = client_->DriverArguments({kDesktop, kUi});
    setup.arguments.insert(setup.arguments.end(), driver.begin(), driver.end());
    bool started = false;
    host_.Run([&] { started = host_.StartEngine(setup); });
    ASSERT_TRUE(started);
    const DriverResult<HelloMessage> hello = client_->WaitForDriver();
    ASSERT_TRUE(hello.ok()) << hello.error;
    EXPECT_EQ(hello.value.process_id, GetCurrentProcessId());
  }

  uint64_t FramesProduced() {
    const DriverResult<EngineStateMessage> state = client_->QueryState();
    EXPECT_TRUE(state.ok()) << state.error;
    return state.value.frames_produced;
  }

  // True once the engine has produced more than |frames| frames.
  bool WaitForFramesBeyond(uint64_t frames) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (FramesProduced() > frames) return true;
      Sleep(10);
    }
    return false;
  }

  // The client goes first: its pipe closes before the driver's goodbye, which the driver must
  // survive as it would a test process that ended.
  TestHost host_;
  std::unique_ptr<DriverClient> client_;
};

TEST_F(DevkitEngineTest, CallsReachTheHostFromItsMessageLoopAndRepliesComeBackByteForByte) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  struct Delivery {
    std::string channel;
    Bytes message;
    DWORD thread_id;
    bool inside_host_call;
  };
  std::vector<Delivery> deliveries;
  // Each reply names its channel and reverses the message, so a mix-up of channels or bytes
  // shows.
  auto expected_reply = [](const std::string& channel, Bytes message) {
    std::reverse(message.begin(), message.end());
    Bytes reply = Text(channel);
    reply.insert(reply.end(), message.begin(), message.end());
    return reply;
  };
  host_.Run([&] {
    for (const std::string channel : {kDesktop, kUi}) {
      host_.messenger()->SetHandler(
          channel, [&, channel](const uint8_t* message, size_t size,
                                const flutter::BinaryReplyCallback& reply) {
            deliveries.push_back({channel, Bytes(message, message + size), GetCurrentThreadId(),
                                  host_.in_host_call()});
            const Bytes answer = expected_reply(channel, Bytes(message, message + size));
            reply(answer.data(), answer.size());
          });
    }
  });

  Bytes every_byte(256);
  for (size_t i = 0; i < every_byte.size(); ++i) every_byte[i] = static_cast<uint8_t>(i);
  // Larger than the pipe's buffer, so that it crosses in several pieces both ways.
  Bytes large(size_t{300} * 1024);
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i * 7 % 251);
  const std::vector<std::pair<std::string, Bytes>> calls = {
      {kDesktop, every_byte}, {kUi, large}, {kDesktop, Bytes()}, {kUi, Text("x")}};
  for (const auto& [channel, message] : calls) {
    const DriverResult<Bytes> reply = client_->Call(channel, message);
    ASSERT_TRUE(reply.ok()) << reply.error;
    EXPECT_EQ(reply.value, expected_reply(channel, message)) << "on " << channel;
  }

  host_.Run([&] {
    ASSERT_EQ(deliveries.size(), calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
      EXPECT_EQ(deliveries[i].channel, calls[i].first);
      EXPECT_EQ(deliveries[i].message, calls[i].second);
      EXPECT_EQ(deliveries[i].thread_id, host_.thread_id());
      EXPECT_FALSE(deliveries[i].inside_host_call) << "delivered re-entrantly";
    }
  });
}

TEST_F(DevkitEngineTest, CallOnAChannelWithoutAHandlerGetsTheEmptyReply) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  DriverResult<Bytes> reply = client_->Call(kDesktop, Event("getIdleSeconds", 0));
  ASSERT_TRUE(reply.ok()) << reply.error;
  EXPECT_TRUE(reply.value.empty());

  host_.Run([&] {
    host_.messenger()->SetHandler(
        kDesktop, [](const uint8_t*, size_t, const flutter::BinaryReplyCallback& reply) {
          const uint8_t success[] = {0, 1};
          reply(success, sizeof(success));
        });
  });
  reply = client_->Call(kDesktop, Event("getIdleSeconds", 0));
  ASSERT_TRUE(reply.ok()) << reply.error;
  EXPECT_EQ(reply.value, (Bytes{0, 1}));

  host_.Run([&] { host_.messenger()->SetHandler(kDesktop, nullptr); });
  reply = client_->Call(kDesktop, Event("getIdleSeconds", 0));
  ASSERT_TRUE(reply.ok()) << reply.error;
  EXPECT_TRUE(reply.value.empty()) << "a removed handler still answered";
}

TEST_F(DevkitEngineTest, HostMessagesReachTheDriverInOrderWithTheirChannels) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  host_.Run([&] {
    const std::vector<std::pair<std::string, Bytes>> sends = {
        {kDesktop, Event("onForeground", 1)},
        {kUi, Event("onMiniMode", 2)},
        {"test.keelo/unheard", Event("onElsewhere", 3)},
        {kDesktop, Event("onTrayCommand", 4)}};
    for (const auto& [channel, message] : sends) {
      host_.messenger()->Send(channel, message.data(), message.size(), nullptr);
    }
  });
  const std::vector<std::pair<std::string, Bytes>> expected = {
      {kDesktop, Event("onForeground", 1)},
      {kUi, Event("onMiniMode", 2)},
      {kDesktop, Event("onTrayCommand", 4)}};
  for (const auto& [channel, message] : expected) {
    const DriverResult<HostEvent> event = client_->NextEvent();
    ASSERT_TRUE(event.ok()) << event.error;
    EXPECT_EQ(event.value.channel, channel);
    EXPECT_EQ(event.value.message, message);
    EXPECT_FALSE(event.value.wanted_reply);
  }
  EXPECT_FALSE(client_->NextEvent(300ms).ok()) << "a channel the driver does not listen on";

  // A message that wants a reply gets the empty one, once.
  std::vector<Bytes> replies;
  host_.Run([&] {
    const Bytes message = Event("askTheUi", 5);
    host_.messenger()->Send(
        kUi, message.data(), message.size(),
        [&](const uint8_t* reply, size_t size) { replies.emplace_back(reply, reply + size); });
  });
  const DriverResult<HostEvent> event = client_->NextEvent();
  ASSERT_TRUE(event.ok()) << event.error;
  EXPECT_TRUE(event.value.wanted_reply);
  ASSERT_TRUE(host_.RunUntil([&] { return !replies.empty(); }));
  ASSERT_TRUE(client_->QueryState().ok());
  host_.Run([&] { EXPECT_EQ(replies, std::vector<Bytes>{Bytes()}); });
}

TEST_F(DevkitEngineTest, LateReplyAfterTheEngineIsDestroyedIsDroppedAndTheCallFailsClearly) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  std::optional<flutter::BinaryReplyCallback> kept;
  host_.Run([&] {
    host_.messenger()->SetHandler(kDesktop,
                                  [&](const uint8_t*, size_t, flutter::BinaryReplyCallback reply) {
                                    kept = std::move(reply);
                                  });
  });
  std::future<DriverResult<Bytes>> call =
      std::async(std::launch::async, [&] { return client_->Call(kDesktop, Text("late")); });
  ASSERT_TRUE(host_.RunUntil([&] { return kept.has_value(); }));

  host_.Run([&] { host_.DestroyEngine(); });
  const DriverResult<Bytes> result = call.get();
  EXPECT_FALSE(result.ok());
  EXPECT_THAT(result.error, HasSubstr("destroyed before the host replied"));
  const DriverResult<std::string> goodbye = client_->WaitForGoodbye();
  EXPECT_TRUE(goodbye.ok()) << goodbye.error;

  ::testing::internal::CaptureStderr();
  host_.Run([&] {
    const uint8_t reply[] = {0, 1};
    (*kept)(reply, sizeof(reply));
    kept.reset();
  });
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

struct FrameCallbackRecord {
  TestHost* host;
  int runs = 0;
  bool inside_host_call = false;
};

void RecordFrameCallback(void* user_data) {
  auto* record = static_cast<FrameCallbackRecord*>(user_data);
  ++record->runs;
  record->inside_host_call |= record->host->in_host_call();
}

TEST_F(DevkitEngineTest, NextFrameCallbackRunsOnceFromTheMessageLoopAfterTheNextFrame) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  FrameCallbackRecord replaced{&host_};
  FrameCallbackRecord record{&host_};
  host_.Run([&] {
    FlutterDesktopEngineSetNextFrameCallback(host_.engine(), &RecordFrameCallback, &replaced);
    FlutterDesktopEngineSetNextFrameCallback(host_.engine(), &RecordFrameCallback, &record);
    FlutterDesktopViewControllerForceRedraw(host_.controller());
    EXPECT_EQ(record.runs, 0) << "ran inside the call that asked for the frame";
  });
  ASSERT_TRUE(host_.RunUntil([&] { return record.runs > 0; }));

  // More frames, and the callback stays spent.
  for (int i = 0; i < 2; ++i) {
    const uint64_t frames = FramesProduced();
    host_.Run([&] { FlutterDesktopViewControllerForceRedraw(host_.controller()); });
    ASSERT_TRUE(WaitForFramesBeyond(frames)) << "ForceRedraw produced no frame";
  }
  host_.Run([&] {
    EXPECT_EQ(record.runs, 1);
    EXPECT_FALSE(record.inside_host_call);
    EXPECT_EQ(replaced.runs, 0) << "the replaced callback ran";
  });

  // A frame made inside a call of the host, by a paint it forces after a resize, still leaves
  // the callback to the message loop.
  FrameCallbackRecord painted{&host_};
  host_.Run([&] {
    ShowWindow(host_.window(), SW_SHOWNOACTIVATE);
    FlutterDesktopEngineSetNextFrameCallback(host_.engine(), &RecordFrameCallback, &painted);
    SetWindowPos(host_.window(), nullptr, 0, 0, 520, 360,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateWindow(host_.view());
    EXPECT_EQ(painted.runs, 0) << "ran inside the host's call";
  });
  ASSERT_TRUE(host_.RunUntil([&] { return painted.runs > 0; }));
  host_.Run([&] { EXPECT_FALSE(painted.inside_host_call); });
}

TEST_F(DevkitEngineTest, ViewControllerCreationFailsCleanlyWhenTheBundleIsIncomplete) {
  struct Case {
    const char* what;
    EngineSetup setup;
    const char* diagnostic;
  };
  std::vector<Case> cases(4);
  cases[0] = {"no assets folder", EngineSetup(), "assets folder not found: "};
  cases[0].setup.assets = L"missing\\flutter_assets";
  cases[1] = {"no ICU data", EngineSetup(), "ICU data not found: "};
  cases[1].setup.icu_data = L"data\\missing_icudtl.dat";
  cases[2] = {"no library", EngineSetup(), "cannot load the UI application "};
  cases[2].setup.aot_library = L"data\\missing.so";
  cases[3] = {"a library without the entry points", EngineSetup(), "is not a UI application"};
  cases[3].setup.aot_library = L"url_launcher_windows_plugin.dll";
  for (Case& failure : cases) {
    SCOPED_TRACE(failure.what);
    failure.setup.arguments = client_->DriverArguments({kDesktop});
    bool started = true;
    FlutterDesktopEngineRef engine = nullptr;
    ::testing::internal::CaptureStderr();
    host_.Run([&] {
      started = host_.StartEngine(failure.setup);
      engine = host_.engine();
    });
    const std::string diagnostics = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(started);
    EXPECT_EQ(engine, nullptr);
    EXPECT_THAT(diagnostics, HasSubstr(failure.diagnostic));
    host_.Run([&] { EXPECT_EQ(EngineWindowsOf(host_.thread_id()), 0) << "windows left behind"; });
  }
  EXPECT_FALSE(client_->WaitForDriver(200ms).ok()) << "a UI application was started";
}

TEST_F(DevkitEngineTest, RelativePathsResolveAgainstTheExecutablesFolder) {
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  wchar_t elsewhere[MAX_PATH];
  GetTempPathW(MAX_PATH, elsewhere);
  ASSERT_TRUE(SetCurrentDirectoryW(elsewhere));
  EngineSetup setup;
  setup.entrypoint = "devkitMain";
  setup.arguments = {"--minimized", "caf\xC3\xA9"};
  StartWithDriver(setup);
  SetCurrentDirectoryW(previous);
  if (HasFatalFailure()) return;

  const DriverResult<EngineStateMessage> state = client_->QueryState();
  ASSERT_TRUE(state.ok()) << state.error;
  EXPECT_EQ(state.value.entrypoint, "devkitMain");
  std::vector<std::string> expected = {"--minimized", "caf\xC3\xA9"};
  const std::vector<std::string> driver = client_->DriverArguments({kDesktop, kUi});
  expected.insert(expected.end(), driver.begin(), driver.end());
  EXPECT_EQ(state.value.entrypoint_arguments, expected);
}

TEST_F(DevkitEngineTest, ViewIsAChildWindowThatFollowsItsParentsSize) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  host_.Run([&] {
    HWND view = host_.view();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(GetParent(view), host_.window());
    EXPECT_NE(GetWindowLongPtrW(view, GWL_STYLE) & WS_CHILD, 0);
    // Only the engine's own handling of the window's messages moves the view now.
    host_.set_moves_view(false);
    SetWindowPos(host_.window(), nullptr, 0, 0, 640, 420,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT parent;
    RECT child;
    GetClientRect(host_.window(), &parent);
    GetClientRect(view, &child);
    EXPECT_EQ(child.right, parent.right);
    EXPECT_EQ(child.bottom, parent.bottom);
  });
  const DriverResult<EngineStateMessage> state = client_->QueryState();
  ASSERT_TRUE(state.ok()) << state.error;
  host_.Run([&] { EXPECT_EQ(state.value.view_window, reinterpret_cast<uintptr_t>(host_.view())); });
}

TEST_F(DevkitEngineTest, EngineReportsFramesFontReloadsAndTheRegisteredPlugin) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  DriverResult<EngineStateMessage> state = client_->QueryState();
  ASSERT_TRUE(state.ok()) << state.error;
  EXPECT_TRUE(state.value.engine_running);
  EXPECT_EQ(state.value.font_reloads, 0u);
  EXPECT_TRUE(state.value.registered_plugins.empty());

  ::testing::internal::CaptureStderr();
  host_.Run([&] {
    FlutterDesktopEngineReloadSystemFonts(host_.engine());
    FlutterDesktopEngineReloadSystemFonts(host_.engine());
    // A registrar under another name is refused by the plug-in, and not recorded.
    UrlLauncherWindowsRegisterWithRegistrar(
        FlutterDesktopEngineGetPluginRegistrar(host_.engine(), "SomethingElse"));
    UrlLauncherWindowsRegisterWithRegistrar(
        FlutterDesktopEngineGetPluginRegistrar(host_.engine(), "UrlLauncherWindows"));
  });
  EXPECT_THAT(::testing::internal::GetCapturedStderr(),
              HasSubstr("the registrar is for \"SomethingElse\""));
  state = client_->QueryState();
  ASSERT_TRUE(state.ok()) << state.error;
  EXPECT_EQ(state.value.font_reloads, 2u);
  EXPECT_EQ(state.value.registered_plugins, std::vector<std::string>{"UrlLauncherWindows"});
  // A font reload asks for a frame; the driver's own status lines made some before.
  const uint64_t frames = state.value.frames_produced;
  EXPECT_GT(frames, 0u);
  host_.Run([&] { FlutterDesktopEngineReloadSystemFonts(host_.engine()); });
  EXPECT_TRUE(WaitForFramesBeyond(frames));
}

TEST_F(DevkitEngineTest, WindowMessagesAreNeverConsumedAndDpiIsTheSystems) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  host_.Run([&] {
    for (UINT message : {WM_SIZE, WM_FONTCHANGE, WM_ACTIVATE, WM_CLOSE, WM_APP + 7}) {
      LRESULT result = 12345;
      EXPECT_FALSE(FlutterDesktopViewControllerHandleTopLevelWindowProc(
          host_.controller(), host_.window(), message, 0, 0, &result));
      EXPECT_EQ(result, 12345) << "the result slot was written for message " << message;
    }
    HDC screen = GetDC(nullptr);
    const UINT screen_dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(FlutterDesktopGetDpiForHWND(host_.window()), screen_dpi);
    EXPECT_EQ(FlutterDesktopGetDpiForHWND(nullptr), screen_dpi);
    EXPECT_EQ(
        FlutterDesktopGetDpiForMonitor(MonitorFromWindow(host_.window(), MONITOR_DEFAULTTONEAREST)),
        screen_dpi);
  });
}

TEST_F(DevkitEngineTest, HostThatDoesNotAnswerFailsTheCallWithAClearMessage) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  std::optional<flutter::BinaryReplyCallback> kept;
  host_.Run([&] {
    host_.messenger()->SetHandler(kUi,
                                  [&](const uint8_t*, size_t, flutter::BinaryReplyCallback reply) {
                                    kept = std::move(reply);
                                  });
  });
  const DriverResult<Bytes> unanswered = client_->Call(kUi, Text("hello?"), 300ms);
  EXPECT_FALSE(unanswered.ok());
  EXPECT_THAT(unanswered.error, HasSubstr("did not reply within 300 ms"));
  EXPECT_THAT(unanswered.error, HasSubstr(kUi));

  // Its reply, when it comes at last, is not mistaken for the reply to a later call.
  host_.Run([&] {
    const uint8_t late[] = {9, 9};
    (*kept)(late, sizeof(late));
    host_.messenger()->SetHandler(
        kUi, [](const uint8_t*, size_t, const flutter::BinaryReplyCallback& reply) {
          const uint8_t now[] = {1};
          reply(now, sizeof(now));
        });
  });
  const DriverResult<Bytes> answered = client_->Call(kUi, Text("again"));
  ASSERT_TRUE(answered.ok()) << answered.error;
  EXPECT_EQ(answered.value, Bytes{1});
}

TEST_F(DevkitEngineTest, EngineTracesEveryMessageWhenAsked) {
  wchar_t directory[MAX_PATH];
  GetTempPathW(MAX_PATH, directory);
  wchar_t path[MAX_PATH];
  GetTempFileNameW(directory, L"kdt", 0, path);
  SetEnvironmentVariableW(L"KEELO_DEVKIT_TRACE", path);
  StartWithDriver();
  SetEnvironmentVariableW(L"KEELO_DEVKIT_TRACE", nullptr);
  if (HasFatalFailure()) return;

  host_.Run([&] {
    host_.messenger()->SetHandler(
        kDesktop, [](const uint8_t*, size_t, const flutter::BinaryReplyCallback& reply) {
          const uint8_t success[] = {0, 1};
          reply(success, sizeof(success));
        });
  });
  ASSERT_TRUE(client_->Call(kDesktop, EncodeMethodCall("ping")).ok());
  host_.Run([&] {
    const Bytes event = EncodeMethodCall("onMiniMode");
    host_.messenger()->Send(kUi, event.data(), event.size(), nullptr);
  });
  ASSERT_TRUE(client_->NextEvent().ok());
  host_.Run([&] { host_.DestroyEngine(); });

  std::string trace;
  if (FILE* file = _wfopen(path, L"rb")) {
    char buffer[4096];
    size_t read;
    while ((read = std::fread(buffer, 1, sizeof(buffer), file)) > 0) trace.append(buffer, read);
    std::fclose(file);
  }
  DeleteFileW(path);
  EXPECT_EQ(trace, std::string("to-host\t") + kDesktop + "\tping\t7\t070470696E6700\n" +
                       "reply-to-app\t" + kDesktop + "\t-\t2\t0001\n" + "to-app\t" + kUi +
                       "\tonMiniMode\t13\t070A6F6E4D696E694D6F646500\n");
}

TEST_F(DevkitEngineTest, EngineHandlesAreGuardedAgainstMisuse) {
  ASSERT_NO_FATAL_FAILURE(StartWithDriver());
  ::testing::internal::CaptureStderr();
  host_.Run([&] {
    // The controller owns the engine; destroying it under the controller would leave that
    // dangling.
    EXPECT_FALSE(FlutterDesktopEngineDestroy(host_.engine()));
    EXPECT_EQ(FlutterDesktopViewControllerCreate(100, 100, host_.engine()), nullptr);
    // What a host that failed to create its engine passes on.
    EXPECT_EQ(FlutterDesktopEngineGetMessenger(nullptr), nullptr);
    flutter::BinaryMessengerImpl orphan(nullptr);
    bool replied = false;
    orphan.Send(kDesktop, nullptr, 0, [&](const uint8_t*, size_t) { replied = true; });
    EXPECT_FALSE(replied);
    EXPECT_EQ(FlutterDesktopViewControllerCreate(100, 100, nullptr), nullptr);
  });
  const std::string diagnostics = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(diagnostics, HasSubstr("goes with the controller"));
  EXPECT_THAT(diagnostics, HasSubstr("already runs in another view controller"));
  // The engine still runs.
  const DriverResult<Bytes> reply = client_->Call(kDesktop, Text("still there?"));
  EXPECT_TRUE(reply.ok()) << reply.error;
}

TEST_F(DevkitEngineTest, DemoApplicationForbidsQuittingWatchesTheFrontAndAsksForIcons) {
  using flutter::EncodableList;
  using flutter::EncodableMap;
  using flutter::EncodableValue;
  EngineSetup setup;
  setup.aot_library = L"data\\demo_app.so";
  setup.arguments = {std::string("--demo-channel=") + kDesktop};
  std::vector<std::string> methods;
  std::optional<EncodableValue> icon_request;
  std::optional<EncodableValue> quit_request;
  bool started = false;
  host_.Run([&] {
    started = host_.StartEngine(setup);
    if (!started) return;
    host_.messenger()->SetHandler(kDesktop, [&](const uint8_t* message, size_t size,
                                                const flutter::BinaryReplyCallback& reply) {
      const std::optional<DecodedMethodCall> call =
          DecodeMethodCall(Bytes(message, message + size));
      methods.push_back(call ? call->method : "(not a call)");
      EncodableValue answer(42);
      if (methods.back() == "listApps") {
        answer = EncodableList{EncodableMap{{"exe", "editor.exe"},
                                            {"name", "Editor"},
                                            {"path", "C:\\Editor\\editor.exe"},
                                            {"icon", "C:\\Menu\\Editor.lnk"}}};
      } else if (methods.back() == "getIcons") {
        icon_request = call->arguments;
      } else if (methods.back() == "setQuitAllowed") {
        quit_request = call->arguments;
        answer = EncodableMap{{"editor.exe", std::vector<uint8_t>(24)}};
      }
      const auto encoded =
          flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeSuccessReply(&answer);
      reply(encoded->data(), encoded->size());
    });
  });
  ASSERT_TRUE(started);
  // The session forbids quitting first; then the front is asked for twice a second, and the
  // icons once the list is there.
  ASSERT_TRUE(host_.RunUntil(
      [&] {
        return icon_request.has_value() &&
               std::count(methods.begin(), methods.end(), "getForeground") >= 2;
      },
      5s));
  host_.Run([&] {
    EXPECT_EQ(methods.front(), "setQuitAllowed");
    EXPECT_EQ(quit_request, EncodableValue(EncodableMap{{"allowed", false}}));
    for (const char* method : {"setTrayTooltip", "listApps"}) {
      EXPECT_NE(std::count(methods.begin(), methods.end(), method), 0) << method;
    }
    EXPECT_EQ(*icon_request,
              EncodableValue(EncodableMap{
                  {"size", 96}, {"items", EncodableMap{{"editor.exe", "C:\\Menu\\Editor.lnk"}}}}));
  });
}

}  // namespace
}  // namespace devkit::testing
