// The demo UI application (app.so): asks the host for the user's idle time once a second on the
// desktop channel and shows the answer in the view, to see a host work without the real UI.

#include <windows.h>

#include <atomic>
#include <string>
#include <string_view>
#include <thread>

#include "devkit/common/text_conversion.h"
#include "devkit/driver/protocol/method_envelopes.h"
#include "devkit/engine/app_interface.h"

namespace {

constexpr char kChannelArgument[] = "--demo-channel=";
constexpr wchar_t kChannelVariable[] = L"KEELO_DEMO_CHANNEL";
constexpr char kMethod[] = "getIdleSeconds";
constexpr DWORD kPeriodMs = 1000;

std::string DescribeReply(const devkit::MethodReply& reply) {
  switch (reply.kind) {
    case devkit::MethodReply::Kind::kSuccess:
      if (const int32_t* seconds = reply.value.GetIf<int32_t>()) {
        return "Idle for " + std::to_string(*seconds) + " s";
      }
      if (const int64_t* seconds = reply.value.GetIf<int64_t>()) {
        return "Idle for " + std::to_string(*seconds) + " s";
      }
      return std::string(kMethod) + " answered with something other than a number";
    case devkit::MethodReply::Kind::kError:
      return std::string(kMethod) + " failed: " + reply.error_code + " " + reply.error_message;
    case devkit::MethodReply::Kind::kNotImplemented:
      return std::string(kMethod) + " is not implemented by the host";
    case devkit::MethodReply::Kind::kUndecodable:
      break;
  }
  return std::string(kMethod) + ": the host's reply is not a reply envelope";
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
    SetStatus("Demo: asking " + channel_ + " for " + kMethod);
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
  void Poll() {
    const devkit::Bytes call = devkit::EncodeMethodCall(kMethod);
    do {
      // One question at a time: a host that is slow to answer is not buried in more of them.
      if (in_flight_.exchange(true)) continue;
      if (!peer_.send_with_reply(peer_.context, channel_.c_str(), call.data(), call.size(),
                                 &DemoApp::OnReply, this)) {
        in_flight_ = false;
      }
    } while (WaitForSingleObject(stop_, kPeriodMs) == WAIT_TIMEOUT);
  }

  // On the UI thread; the engine never calls it once the app is stopping.
  static void OnReply(const uint8_t* data, size_t size, void* user_data) {
    auto* app = static_cast<DemoApp*>(user_data);
    const devkit::Bytes reply =
        data != nullptr ? devkit::Bytes(data, data + size) : devkit::Bytes();
    app->SetStatus(DescribeReply(devkit::DecodeMethodReply(reply)));
    app->in_flight_ = false;
  }

  void SetStatus(const std::string& text) { peer_.set_status_text(peer_.context, text.c_str()); }

  const KeeloPeerInterface peer_;
  const std::string channel_;
  HANDLE stop_;
  std::atomic<bool> in_flight_{false};
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
