// The demo UI application (app.so): a small focus timer that does Keelo's job through the two
// channels only, to see a host work without the real UI. It runs one session of a length and a
// block list given as entrypoint arguments (--session-seconds=N, --block=a.exe,b.exe); while it
// runs, quitting is forbidden, the tray's status line and tooltip count down, and a blocked
// program that comes to the front is minimised and the user told. The tray's "mini" and "park"
// commands are answered, and at the end quitting is allowed again. The engine draws its view as
// demo_face.h lays it out: the time left, the session's state, what was blocked and when, and the
// first installed applications with their icons; the same as text is the view's status text.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "common/scoped_handles.h"
#include "common/text_conversion.h"
#include "devkit/app_api/app_interface.h"
#include "devkit/app_api/app_start.h"
#include "devkit/apps/demo/demo_face.h"
#include "devkit/apps/demo/focus_session.h"
#include "devkit/driver/protocol/method_envelopes.h"

namespace {

constexpr char kChannelArgument[] = "--demo-channel=";
constexpr wchar_t kChannelVariable[] = L"KEELO_DEMO_CHANNEL";
// The platform raises no foreground event under Wine, so the application in front is also asked
// for, this often.
constexpr DWORD kPollMs = 500;
// Enough of the catalogue for a screenshot. It is asked for again now and then, since the window
// pass finds the host's own window only once it is shown.
constexpr size_t kShownApps = 5;
constexpr int kCataloguePolls = 6;
constexpr int32_t kIconSize = 96;
constexpr char kDefaultTooltip[] = "Keelo";

std::string DescribeFailure(const char* method, const devkit::MethodReply& reply) {
  switch (reply.kind) {
    case devkit::MethodReply::Kind::kError:
      return std::string(method) + " failed: " + reply.error_code + " " + reply.error_message;
    case devkit::MethodReply::Kind::kNotImplemented:
      return std::string(method) + " is not implemented by the host";
    case devkit::MethodReply::Kind::kSuccess:
      return std::string(method) + " answered with something unexpected";
    case devkit::MethodReply::Kind::kUndecodable:
      break;
  }
  return std::string(method) + ": the host's reply is not a reply envelope";
}

devkit::MethodReply DecodeReply(const uint8_t* data, size_t size) {
  return devkit::DecodeMethodReply(data != nullptr ? devkit::Bytes(data, data + size)
                                                   : devkit::Bytes());
}

std::string StringField(const flutter::EncodableMap& record, const char* key) {
  const auto found = record.find(flutter::EncodableValue(key));
  if (found == record.end() || !found->second.Holds<std::string>()) return std::string();
  return found->second.Get<std::string>();
}

int64_t WindowField(const flutter::EncodableValue& identity) {
  const auto* record = identity.GetIf<flutter::EncodableMap>();
  if (record == nullptr) return 0;
  const auto found = record->find(flutter::EncodableValue("hwnd"));
  if (found == record->end()) return 0;
  if (const int64_t* hwnd = found->second.GetIf<int64_t>()) return *hwnd;
  if (const int32_t* hwnd = found->second.GetIf<int32_t>()) return *hwnd;
  return 0;
}

flutter::EncodableMap Arguments(
    std::initializer_list<std::pair<const char*, flutter::EncodableValue>> entries) {
  flutter::EncodableMap map;
  for (const auto& [key, value] : entries) map[flutter::EncodableValue(key)] = value;
  return map;
}

uint32_t BigEndian32(const std::vector<uint8_t>& bytes, size_t offset) {
  return (uint32_t{bytes[offset]} << 24) | (uint32_t{bytes[offset + 1]} << 16) |
         (uint32_t{bytes[offset + 2]} << 8) | uint32_t{bytes[offset + 3]};
}

// "96x96 PNG", read from the file's signature and its first chunk (IHDR: width, then height).
std::string DescribePng(const std::vector<uint8_t>& png) {
  static constexpr uint8_t kSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (png.size() < 24 || !std::equal(std::begin(kSignature), std::end(kSignature), png.begin())) {
    return "not a PNG";
  }
  return std::to_string(BigEndian32(png, 16)) + "x" + std::to_string(BigEndian32(png, 20)) + " PNG";
}

std::string ChannelVariable() {
  const DWORD size = GetEnvironmentVariableW(kChannelVariable, nullptr, 0);
  if (size == 0) return std::string();
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(kChannelVariable, value.data(), size));
  return WideToUtf8(value);
}

int64_t NowMs() { return static_cast<int64_t>(GetTickCount64()); }

// "14:03:27", the user's wall-clock time.
std::string ClockTime() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char text[16];
  std::snprintf(text, sizeof(text), "%02u:%02u:%02u", now.wHour, now.wMinute, now.wSecond);
  return text;
}

class DemoApp {
 public:
  DemoApp(const KeeloPeerInterface& peer, std::string channel, devkit::FocusSettings settings)
      : peer_(peer),
        channel_(std::move(channel)),
        ui_channel_(channel_ + "_ui"),
        settings_(std::move(settings)),
        stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        session_(NowMs(), settings_.session_seconds) {
    if (channel_.empty()) {
      SetStatus(std::string("Demo: no channel given (") + kChannelArgument +
                "<app id>/desktop or KEELO_DEMO_CHANNEL)");
      return;
    }
    peer_.set_handler(peer_.context, channel_.c_str(), &DemoApp::OnDesktopEvent, this);
    peer_.set_handler(peer_.context, ui_channel_.c_str(), &DemoApp::OnUiEvent, this);
    Tell(channel_, "setQuitAllowed", Arguments({{"allowed", flutter::EncodableValue(false)}}));
    peer_.set_painter(peer_.context, &DemoApp::Paint, this);
    ShowTimeLeft();
    poller_ = std::thread(&DemoApp::Poll, this);
  }

  ~DemoApp() {
    SetEvent(stop_.get());
    if (poller_.joinable()) poller_.join();
    if (!channel_.empty()) {
      peer_.set_handler(peer_.context, channel_.c_str(), nullptr, nullptr);
      peer_.set_handler(peer_.context, ui_channel_.c_str(), nullptr, nullptr);
    }
  }

  DemoApp(const DemoApp&) = delete;
  DemoApp& operator=(const DemoApp&) = delete;

 private:
  // Sends a call whose answer the demo does not need.
  void Tell(const std::string& channel, const char* method,
            const flutter::EncodableMap& arguments) {
    const devkit::Bytes call = devkit::EncodeMethodCall(method, flutter::EncodableValue(arguments));
    peer_.send_with_reply(
        peer_.context, channel.c_str(), call.data(), call.size(),
        [](const uint8_t*, size_t, void*) {}, nullptr);
  }

  // The only thread of the demo's own: it asks, and the answers are handled on the UI thread.
  void Poll() {
    int poll = 0;
    do {
      if (poll++ % kCataloguePolls == 0 && !catalogue_in_flight_.exchange(true)) {
        AskForCatalogue();
      }
      // One question at a time: a host that is slow to answer is not buried.
      if (foreground_in_flight_.exchange(true)) continue;
      const devkit::Bytes call = devkit::EncodeMethodCall("getForeground");
      if (!peer_.send_with_reply(peer_.context, channel_.c_str(), call.data(), call.size(),
                                 &DemoApp::OnForegroundReply, this)) {
        foreground_in_flight_ = false;
      }
    } while (WaitForSingleObject(stop_.get(), kPollMs) == WAIT_TIMEOUT);
  }

  // On the UI thread, twice a second: the reply is also the demo's clock tick, which keeps all of
  // the session's state on one thread.
  static void OnForegroundReply(const uint8_t* data, size_t size, void* user_data) {
    auto* app = static_cast<DemoApp*>(user_data);
    app->foreground_in_flight_ = false;
    const devkit::MethodReply reply = DecodeReply(data, size);
    if (reply.kind == devkit::MethodReply::Kind::kSuccess) {
      app->OnFront(reply.value);
    } else {
      app->front_ = DescribeFailure("getForeground", reply);
    }
    app->ShowTimeLeft();
  }

  static void OnDesktopEvent(const uint8_t* data, size_t size, uint64_t reply_id, void* user_data) {
    auto* app = static_cast<DemoApp*>(user_data);
    const std::optional<devkit::DecodedMethodCall> event =
        devkit::DecodeMethodCall(devkit::Bytes(data, data + size));
    if (event && event->method == "onForeground") app->OnFront(event->arguments);
    app->Acknowledge(reply_id);
  }

  static void OnUiEvent(const uint8_t* data, size_t size, uint64_t reply_id, void* user_data) {
    auto* app = static_cast<DemoApp*>(user_data);
    const std::optional<devkit::DecodedMethodCall> event =
        devkit::DecodeMethodCall(devkit::Bytes(data, data + size));
    if (event) {
      const auto* arguments = event->arguments.GetIf<flutter::EncodableMap>();
      if (event->method == "onTrayCommand" && arguments != nullptr) {
        app->OnTrayCommand(StringField(*arguments, "command"));
      } else if (event->method == "onMiniMode") {
        app->mini_mode_ = false;
        app->last_tray_command_ = "The host left the mini timer";
      }
    }
    app->Acknowledge(reply_id);
    app->ShowTimeLeft();
  }

  // The host's events want no answer; should one ever ask, it learns the demo knows no reply.
  void Acknowledge(uint64_t reply_id) {
    if (reply_id != 0) peer_.respond(peer_.context, reply_id, nullptr, 0);
  }

  void OnTrayCommand(const std::string& command) {
    const std::string at = devkit::FormatTimeLeft(session_.SecondsLeft(NowMs())) + " left";
    if (command == "mini") {
      mini_mode_ = true;
      Tell(ui_channel_, "setMiniMode", Arguments({{"enabled", flutter::EncodableValue(true)}}));
      last_tray_command_ = "Tray: mini timer at " + at;
    } else if (command == "park") {
      last_tray_command_ = "Tray: thought parked at " + at;
    } else {
      last_tray_command_ = "Tray: unknown command \"" + command + "\"";
    }
  }

  void OnFront(const flutter::EncodableValue& identity) {
    const int64_t hwnd = WindowField(identity);
    const auto* record = identity.GetIf<flutter::EncodableMap>();
    const std::string exe = record != nullptr ? StringField(*record, "exe") : std::string();
    front_ = identity.IsNull() ? "Keelo is in front" : "In front: " + exe;
    if (!session_.CameToFront(hwnd) || session_over_) return;
    const std::string blocked = devkit::MatchBlocked(settings_.blocked_exes, identity);
    if (blocked.empty()) return;
    session_.RecordBlock(blocked);
    blocks_.push_back({devkit::DisplayName(blocked), ClockTime()});
    Tell(channel_, "blockWindow", Arguments({{"hwnd", flutter::EncodableValue(hwnd)}}));
    // blockWindow takes the host out of mini mode.
    mini_mode_ = false;
    Tell(ui_channel_, "notify",
         Arguments(
             {{"title", flutter::EncodableValue(devkit::DisplayName(blocked) + " was blocked")},
              {"body", flutter::EncodableValue(session_.StatusLine(NowMs()))}}));
  }

  void ShowTimeLeft() {
    const int64_t now = NowMs();
    const std::string line = session_.StatusLine(now);
    if (line != tray_line_) {
      tray_line_ = line;
      const bool running = !session_.IsOver(now);
      Tell(ui_channel_, "setTrayStatus",
           Arguments({{"status", flutter::EncodableValue(line)},
                      {"session", flutter::EncodableValue(running)}}));
      Tell(channel_, "setTrayTooltip",
           Arguments({{"text", flutter::EncodableValue(running ? line : kDefaultTooltip)}}));
      if (!running && !session_over_) EndSession();
    }
    ShowView();
  }

  // Puts back what the session changed: quitting, the tray, and the mini timer.
  void EndSession() {
    session_over_ = true;
    Tell(channel_, "setQuitAllowed", Arguments({{"allowed", flutter::EncodableValue(true)}}));
    if (mini_mode_) {
      mini_mode_ = false;
      Tell(ui_channel_, "setMiniMode", Arguments({{"enabled", flutter::EncodableValue(false)}}));
    }
    const size_t count = session_.blocked().size();
    Tell(ui_channel_, "notify",
         Arguments(
             {{"title", flutter::EncodableValue("Focus session over")},
              {"body", flutter::EncodableValue(std::to_string(count) +
                                               (count == 1 ? " distraction" : " distractions") +
                                               " blocked; Keelo can be quit again")}}));
  }

  void ShowView() {
    std::string text = tray_line_ + "   (session of " +
                       devkit::FormatTimeLeft(settings_.session_seconds) + ")\nBlocking:";
    for (const std::string& exe : settings_.blocked_exes) text += " " + exe;
    text += "\nBlocked:";
    if (session_.blocked().empty()) text += " nothing yet";
    for (const std::string& exe : session_.blocked()) text += " " + exe;
    text += "\n" + front_;
    if (!last_tray_command_.empty()) text += "\n" + last_tray_command_;
    if (!catalogue_.empty()) text += "\n\n" + catalogue_;
    SetStatus(text);
  }

  // The icons are asked for once the list is there; the next list waits for them.
  void AskForCatalogue() {
    const devkit::Bytes call = devkit::EncodeMethodCall("listApps");
    if (!peer_.send_with_reply(peer_.context, channel_.c_str(), call.data(), call.size(),
                               &DemoApp::OnCatalogue, this)) {
      catalogue_in_flight_ = false;
    }
  }

  // On the UI thread: keeps the first entries and asks for their icons.
  static void OnCatalogue(const uint8_t* data, size_t size, void* user_data) {
    auto* app = static_cast<DemoApp*>(user_data);
    const devkit::MethodReply reply = DecodeReply(data, size);
    const auto* entries = reply.kind == devkit::MethodReply::Kind::kSuccess
                              ? reply.value.GetIf<flutter::EncodableList>()
                              : nullptr;
    if (entries == nullptr) {
      app->catalogue_ = DescribeFailure("listApps", reply);
      app->catalogue_in_flight_ = false;
      app->ShowView();
      return;
    }
    // The icons already shown stay until their new ones come, rather than blink out.
    std::vector<ShownApp> previous = std::move(app->shown_apps_);
    app->shown_apps_.clear();
    flutter::EncodableMap items;
    for (const flutter::EncodableValue& entry : *entries) {
      const auto* record = entry.GetIf<flutter::EncodableMap>();
      if (record == nullptr) continue;
      app->shown_apps_.push_back({StringField(*record, "exe"),
                                  StringField(*record, "name"),
                                  StringField(*record, "icon"),
                                  {}});
      for (ShownApp& earlier : previous) {
        if (earlier.exe == app->shown_apps_.back().exe) {
          app->shown_apps_.back().png = std::move(earlier.png);
        }
      }
      items[flutter::EncodableValue(app->shown_apps_.back().exe)] =
          flutter::EncodableValue(app->shown_apps_.back().icon);
      if (app->shown_apps_.size() == kShownApps) break;
    }
    app->catalogue_count_ = entries->size();
    app->catalogue_ = std::to_string(entries->size()) + " applications; asking for icons";
    app->ShowView();
    const devkit::Bytes call = devkit::EncodeMethodCall(
        "getIcons", flutter::EncodableMap{{flutter::EncodableValue("size"), kIconSize},
                                          {flutter::EncodableValue("items"), items}});
    if (!app->peer_.send_with_reply(app->peer_.context, app->channel_.c_str(), call.data(),
                                    call.size(), &DemoApp::OnIcons, app)) {
      app->catalogue_in_flight_ = false;
    }
  }

  // On the UI thread: one line per shown application with the picture that came for it.
  static void OnIcons(const uint8_t* data, size_t size, void* user_data) {
    auto* app = static_cast<DemoApp*>(user_data);
    const devkit::MethodReply reply = DecodeReply(data, size);
    const auto* images = reply.kind == devkit::MethodReply::Kind::kSuccess
                             ? reply.value.GetIf<flutter::EncodableMap>()
                             : nullptr;
    std::string text = "Installed applications: " + std::to_string(app->catalogue_count_) +
                       "; the first " + std::to_string(app->shown_apps_.size()) + ":";
    for (ShownApp& shown : app->shown_apps_) {
      std::string picture = "no icon";
      if (images == nullptr) {
        picture = DescribeFailure("getIcons", reply);
      } else if (const auto found = images->find(flutter::EncodableValue(shown.exe));
                 found != images->end() && found->second.Holds<std::vector<uint8_t>>()) {
        shown.png = found->second.Get<std::vector<uint8_t>>();
        picture = DescribePng(shown.png);
      }
      text += "\n    " + shown.exe + " (" + shown.name + ")  " + picture;
    }
    app->catalogue_ = text;
    app->catalogue_in_flight_ = false;
    app->ShowView();
  }

  void SetStatus(const std::string& text) { peer_.set_status_text(peer_.context, text.c_str()); }

  // On the UI thread, for every frame; the status text changes whenever the face would, so its
  // frame requests are the face's too.
  static void Paint(float width, float height, KeeloDrawFunction draw, void* frame,
                    void* user_data) {
    const auto* app = static_cast<const DemoApp*>(user_data);
    devkit::FaceState state;
    state.seconds_left = app->session_.SecondsLeft(NowMs());
    state.session_seconds = app->settings_.session_seconds;
    state.blocking = app->settings_.blocked_exes;
    state.blocked = app->blocks_;
    state.front = app->front_;
    state.note = app->last_tray_command_;
    state.app_count = app->catalogue_count_;
    for (const ShownApp& shown : app->shown_apps_) {
      state.apps.push_back({shown.name.empty() ? shown.exe : shown.name, &shown.png});
    }
    state.apps_note =
        app->catalogue_.empty() ? "Asking the host for the installed apps" : app->catalogue_;
    const devkit::Face face = devkit::BuildFace(state, width, height);
    draw(frame, face.items().data(), face.items().size());
  }

  struct ShownApp {
    std::string exe;
    std::string name;
    std::string icon;
    // The icon that came for it, a PNG; empty until then.
    std::vector<uint8_t> png;
  };

  const KeeloPeerInterface peer_;
  const std::string channel_;
  const std::string ui_channel_;
  const devkit::FocusSettings settings_;
  ScopedHandle stop_;

  // Set by the poller, cleared on the UI thread when the answer is in.
  std::atomic<bool> foreground_in_flight_{false};
  std::atomic<bool> catalogue_in_flight_{false};
  // Read and written on the UI thread only, once the poller runs.
  devkit::FocusSession session_;
  bool session_over_ = false;
  bool mini_mode_ = false;
  std::string tray_line_;
  std::string front_ = "Waiting for the application in front";
  std::string last_tray_command_;
  std::vector<ShownApp> shown_apps_;
  std::vector<devkit::FaceBlock> blocks_;
  size_t catalogue_count_ = 0;
  std::string catalogue_;
  std::thread poller_;
};

}  // namespace

extern "C" __declspec(dllexport) void* KeeloAppStart(const KeeloAppStartInfo* info,
                                                     const KeeloPeerInterface* peer) {
  if (!devkit::IsUsableStart(info, peer)) return nullptr;
  std::string channel = ChannelVariable();
  const std::vector<std::string> arguments = devkit::StartArguments(*info);
  for (const std::string_view argument : arguments) {
    if (argument.substr(0, sizeof(kChannelArgument) - 1) == kChannelArgument) {
      channel = std::string(argument.substr(sizeof(kChannelArgument) - 1));
    }
  }
  return new DemoApp(*peer, std::move(channel), devkit::ParseFocusSettings(arguments));
}

extern "C" __declspec(dllexport) void KeeloAppStop(void* app) { delete static_cast<DemoApp*>(app); }
