// The demo UI application (app.so): asks the host once a second on the desktop channel for the
// user's idle time, the application in front and whether Keelo starts with Windows, every few
// seconds for the installed applications and the icons of the first few, and shows the answers,
// to see a host work without the real UI. The view shows text only, so each icon appears as the
// size of the PNG image that arrived. Without buttons to press, it shows the tray and the mini
// timer by itself: it sets a tray status line and tooltip, and turns the window into the mini
// timer for a few seconds after it starts.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "devkit/common/text_conversion.h"
#include "devkit/driver/protocol/method_envelopes.h"
#include "devkit/engine/app_interface.h"

namespace {

constexpr char kChannelArgument[] = "--demo-channel=";
constexpr wchar_t kChannelVariable[] = L"KEELO_DEMO_CHANNEL";
constexpr DWORD kPeriodMs = 1000;
// Seconds after the start at which the mini timer is shown, and for how long.
constexpr int kMiniModeAt = 1;
constexpr int kMiniModeFor = 3;
// Enough of the catalogue for a screenshot. It is asked for again now and then, since the window
// pass finds the host's own window only once it is shown.
constexpr size_t kShownApps = 5;
constexpr int kCataloguePeriods = 3;
constexpr int32_t kIconSize = 96;

// What the demo asks the host once a second. The platform raises no foreground event under
// Wine, so the application in front is asked for rather than waited for.
enum Question { kIdleSeconds, kForeground, kLaunchAtStartup, kQuestionCount };
constexpr const char* kMethods[kQuestionCount] = {"getIdleSeconds", "getForeground",
                                                  "getLaunchAtStartup"};

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

std::string DescribeReply(Question question, const devkit::MethodReply& reply) {
  const char* method = kMethods[question];
  if (reply.kind != devkit::MethodReply::Kind::kSuccess) return DescribeFailure(method, reply);
  const flutter::EncodableValue& value = reply.value;
  switch (question) {
    case kIdleSeconds:
      if (const int64_t* seconds = value.GetIf<int64_t>()) {
        return "Idle for " + std::to_string(*seconds) + " s";
      }
      if (const int32_t* seconds = value.GetIf<int32_t>()) {
        return "Idle for " + std::to_string(*seconds) + " s";
      }
      break;
    case kForeground:
      if (value.IsNull()) return "Keelo is in front";
      if (const auto* record = value.GetIf<flutter::EncodableMap>()) {
        const auto exe = record->find(flutter::EncodableValue("exe"));
        if (exe != record->end() && exe->second.Holds<std::string>()) {
          const std::string& name = exe->second.Get<std::string>();
          return "In front: " + (name.empty() ? std::string("(unknown)") : name);
        }
      }
      break;
    case kLaunchAtStartup:
      if (const bool* enabled = value.GetIf<bool>()) {
        return *enabled ? "Starts with Windows" : "Does not start with Windows";
      }
      break;
    case kQuestionCount:
      break;
  }
  return DescribeFailure(method, reply);
}

std::string StringField(const flutter::EncodableMap& record, const char* key) {
  const auto found = record.find(flutter::EncodableValue(key));
  if (found == record.end() || !found->second.Holds<std::string>()) return std::string();
  return found->second.Get<std::string>();
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
  return devkit::WideToUtf8(value);
}

class DemoApp {
 public:
  DemoApp(const KeeloPeerInterface& peer, std::string channel)
      : peer_(peer),
        channel_(std::move(channel)),
        stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (channel_.empty()) {
      SetStatus(std::string("Demo: no channel given (") + kChannelArgument +
                "<app id>/desktop or KEELO_DEMO_CHANNEL)");
      return;
    }
    SetStatus("Demo: asking " + channel_ + " what it knows");
    poller_ = std::thread(&DemoApp::Poll, this);
  }

  ~DemoApp() {
    SetEvent(stop_);
    if (poller_.joinable()) poller_.join();
    CloseHandle(stop_);
  }

  DemoApp(const DemoApp&) = delete;
  DemoApp& operator=(const DemoApp&) = delete;

 private:
  // One pending reply per question; the engine hands each back with its question's slot.
  struct Pending {
    DemoApp* app;
    Question question;
    std::atomic<bool> in_flight{false};
  };

  // Sends a call whose answer the demo does not need.
  void Tell(const std::string& channel, const char* method,
            const flutter::EncodableMap& arguments) {
    const devkit::Bytes call = devkit::EncodeMethodCall(method, flutter::EncodableValue(arguments));
    peer_.send_with_reply(
        peer_.context, channel.c_str(), call.data(), call.size(),
        [](const uint8_t*, size_t, void*) {}, nullptr);
  }

  void ShowTrayAndMiniTimer(int second) {
    const std::string ui_channel = channel_ + "_ui";
    if (second == 0) {
      Tell(ui_channel, "setTrayStatus", {{"status", "Demo: watching the desktop"}});
      Tell(channel_, "setTrayTooltip", {{"text", "Keelo demo"}});
    } else if (second == kMiniModeAt) {
      Tell(ui_channel, "setMiniMode", {{"enabled", true}});
    } else if (second == kMiniModeAt + kMiniModeFor) {
      Tell(ui_channel, "setMiniMode", {{"enabled", false}});
    }
  }

  void Poll() {
    int period = 0;
    do {
      if (period % kCataloguePeriods == 0 && !catalogue_in_flight_.exchange(true)) {
        AskForCatalogue();
      }
      ShowTrayAndMiniTimer(period++);
      for (int question = 0; question < kQuestionCount; ++question) {
        Pending& pending = pending_[question];
        // One question of a kind at a time: a host that is slow to answer is not buried.
        if (pending.in_flight.exchange(true)) continue;
        const devkit::Bytes call = devkit::EncodeMethodCall(kMethods[question]);
        if (!peer_.send_with_reply(peer_.context, channel_.c_str(), call.data(), call.size(),
                                   &DemoApp::OnReply, &pending)) {
          pending.in_flight = false;
        }
      }
    } while (WaitForSingleObject(stop_, kPeriodMs) == WAIT_TIMEOUT);
  }

  // On the UI thread; the engine never calls it once the app is stopping.
  static void OnReply(const uint8_t* data, size_t size, void* user_data) {
    auto* pending = static_cast<Pending*>(user_data);
    const devkit::Bytes reply =
        data != nullptr ? devkit::Bytes(data, data + size) : devkit::Bytes();
    DemoApp* app = pending->app;
    app->answers_[pending->question] =
        DescribeReply(pending->question, devkit::DecodeMethodReply(reply));
    pending->in_flight = false;
    app->ShowAnswers();
  }

  void ShowAnswers() {
    std::string text;
    for (const std::string& answer : answers_) {
      if (answer.empty()) continue;
      if (!text.empty()) text += "  |  ";
      text += answer;
    }
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
    const devkit::MethodReply reply = devkit::DecodeMethodReply(
        data != nullptr ? devkit::Bytes(data, data + size) : devkit::Bytes());
    const auto* entries = reply.kind == devkit::MethodReply::Kind::kSuccess
                              ? reply.value.GetIf<flutter::EncodableList>()
                              : nullptr;
    if (entries == nullptr) {
      app->catalogue_ = DescribeFailure("listApps", reply);
      app->catalogue_in_flight_ = false;
      app->ShowAnswers();
      return;
    }
    app->shown_apps_.clear();
    flutter::EncodableMap items;
    for (const flutter::EncodableValue& entry : *entries) {
      const auto* record = entry.GetIf<flutter::EncodableMap>();
      if (record == nullptr) continue;
      app->shown_apps_.push_back({StringField(*record, "exe"), StringField(*record, "name"),
                                  StringField(*record, "icon")});
      items[flutter::EncodableValue(app->shown_apps_.back().exe)] =
          flutter::EncodableValue(app->shown_apps_.back().icon);
      if (app->shown_apps_.size() == kShownApps) break;
    }
    app->catalogue_count_ = entries->size();
    app->catalogue_ = std::to_string(entries->size()) + " applications; asking for icons";
    app->ShowAnswers();
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
    const devkit::MethodReply reply = devkit::DecodeMethodReply(
        data != nullptr ? devkit::Bytes(data, data + size) : devkit::Bytes());
    const auto* images = reply.kind == devkit::MethodReply::Kind::kSuccess
                             ? reply.value.GetIf<flutter::EncodableMap>()
                             : nullptr;
    std::string text = "Installed applications: " + std::to_string(app->catalogue_count_) +
                       "; the first " + std::to_string(app->shown_apps_.size()) + ":";
    for (const ShownApp& shown : app->shown_apps_) {
      std::string picture = "no icon";
      if (images == nullptr) {
        picture = DescribeFailure("getIcons", reply);
      } else if (const auto found = images->find(flutter::EncodableValue(shown.exe));
                 found != images->end() && found->second.Holds<std::vector<uint8_t>>()) {
        picture = DescribePng(found->second.Get<std::vector<uint8_t>>());
      }
      text += "\n    " + shown.exe + " (" + shown.name + ")  " + picture;
    }
    app->catalogue_ = text;
    app->catalogue_in_flight_ = false;
    app->ShowAnswers();
  }

  void SetStatus(const std::string& text) { peer_.set_status_text(peer_.context, text.c_str()); }

  const KeeloPeerInterface peer_;
  const std::string channel_;
  HANDLE stop_;
  Pending pending_[kQuestionCount] = {
      {this, kIdleSeconds}, {this, kForeground}, {this, kLaunchAtStartup}};
  struct ShownApp {
    std::string exe;
    std::string name;
    std::string icon;
  };

  // A list or its icons are on their way; set by the poller, cleared on the UI thread.
  std::atomic<bool> catalogue_in_flight_{false};
  // Read and written on the UI thread only.
  std::string answers_[kQuestionCount];
  std::vector<ShownApp> shown_apps_;
  size_t catalogue_count_ = 0;
  std::string catalogue_;
  std::thread poller_;
};

}  // namespace

extern "C" __declspec(dllexport) void* KeeloAppStart(const KeeloAppStartInfo* info,
                                                     const KeeloPeerInterface* peer) {
  if (info == nullptr || peer == nullptr || peer->struct_size < sizeof(KeeloPeerInterface) ||
      peer->version != KEELO_APP_INTERFACE_VERSION) {
    return nullptr;
  }
  std::string channel = ChannelVariable();
  for (int i = 0; i < info->argument_count; ++i) {
    const std::string_view argument = info->arguments[i];
    if (argument.substr(0, sizeof(kChannelArgument) - 1) == kChannelArgument) {
      channel = std::string(argument.substr(sizeof(kChannelArgument) - 1));
    }
  }
  return new DemoApp(*peer, std::move(channel));
}

extern "C" __declspec(dllexport) void KeeloAppStop(void* app) { delete static_cast<DemoApp*>(app); }
