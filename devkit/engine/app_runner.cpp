#include "devkit/engine/app_runner.h"

#include <cstring>
#include <utility>
#include <vector>

#include "common/text_conversion.h"
#include "devkit/engine/engine.h"
#include "devkit/engine/engine_diagnostics.h"
#include "devkit/engine/fault_request.h"

namespace devkit {
namespace {

using Bytes = FlutterDesktopMessenger::Bytes;

Bytes CopyBytes(const uint8_t* data, size_t size) {
  return data == nullptr ? Bytes() : Bytes(data, data + size);
}

bool IsFaultRequest(const char* channel) { return std::strcmp(channel, kDevkitFaultChannel) == 0; }

}  // namespace

AppRunner::AppRunner(Engine* engine) : state_(std::make_shared<PeerState>()) {
  state_->engine = engine;
  peer_.struct_size = sizeof(peer_);
  peer_.version = KEELO_APP_INTERFACE_VERSION;
  peer_.context = state_.get();
  peer_.send = &AppRunner::Send;
  peer_.send_with_reply = &AppRunner::SendWithReply;
  peer_.set_handler = &AppRunner::SetHandler;
  peer_.respond = &AppRunner::Respond;
  peer_.view_window = &AppRunner::ViewWindowOf;
  peer_.set_status_text = &AppRunner::SetStatusText;
  peer_.get_state = &AppRunner::GetState;
  peer_.registered_plugins = &AppRunner::RegisteredPlugins;
  peer_.set_painter = &AppRunner::SetPainter;
}

std::unique_ptr<AppRunner> AppRunner::Start(Engine* engine, const std::wstring& library_path,
                                            const KeeloAppStartInfo& info, std::string* error) {
  std::unique_ptr<AppRunner> runner(new AppRunner(engine));
  const std::string path = WideToUtf8(library_path);
  runner->library_.reset(LoadLibraryW(library_path.c_str()));
  if (!runner->library_) {
    *error = "cannot load the UI application " + path + " (error " +
             std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  auto start = reinterpret_cast<KeeloAppStartFunction>(
      reinterpret_cast<void*>(GetProcAddress(runner->library_.get(), KEELO_APP_START_SYMBOL)));
  runner->stop_ = reinterpret_cast<KeeloAppStopFunction>(
      reinterpret_cast<void*>(GetProcAddress(runner->library_.get(), KEELO_APP_STOP_SYMBOL)));
  if (start == nullptr || runner->stop_ == nullptr) {
    *error = path + " is not a UI application: it does not export " KEELO_APP_START_SYMBOL
                    " and " KEELO_APP_STOP_SYMBOL;
    return nullptr;
  }
  runner->app_ = start(&info, &runner->peer_);
  if (runner->app_ == nullptr) {
    *error = "the UI application in " + path + " did not start";
    return nullptr;
  }
  return runner;
}

AppRunner::~AppRunner() {
  state_->stopping = true;
  if (app_ != nullptr) stop_(app_);
  std::set<std::string> channels;
  std::map<uint64_t, FlutterDesktopMessenger::PeerResponder> responders;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    channels.swap(state_->channels);
    responders.swap(state_->responders);
  }
  for (const std::string& channel : channels) {
    state_->engine->messenger()->SetPeerHandler(channel, nullptr);
  }
  // Replies the application never gave are dropped: the host gets none for those messages, as
  // from an application that stopped.
  responders.clear();
  // Unloaded last: nothing of the application's code may be left to run.
  library_.reset();
}

bool AppRunner::Send(void* context, const char* channel, const uint8_t* data, size_t size) {
  PeerState* state = static_cast<PeerState*>(context);
  FlutterDesktopMessenger* messenger = state->engine->messenger();
  if (channel == nullptr || state->stopping || !messenger->available()) return false;
  if (IsFaultRequest(channel)) {
    state->engine->FaultOnUiThread();
    return true;
  }
  messenger->SendToHost(channel, CopyBytes(data, size));
  return true;
}

bool AppRunner::SendWithReply(void* context, const char* channel, const uint8_t* data, size_t size,
                              KeeloReplyFunction reply, void* user_data) {
  PeerState* state = static_cast<PeerState*>(context);
  FlutterDesktopMessenger* messenger = state->engine->messenger();
  if (channel == nullptr || reply == nullptr || state->stopping || !messenger->available()) {
    return false;
  }
  // Never answered: the process ends first.
  if (IsFaultRequest(channel)) {
    state->engine->FaultOnUiThread();
    return true;
  }
  messenger->SendToHost(channel, CopyBytes(data, size),
                        [keep = state->shared_from_this(), reply, user_data](Bytes response) {
                          if (keep->stopping) return;
                          reply(response.empty() ? nullptr : response.data(), response.size(),
                                user_data);
                        });
  return true;
}

void AppRunner::SetHandler(void* context, const char* channel, KeeloMessageHandler handler,
                           void* user_data) {
  PeerState* state = static_cast<PeerState*>(context);
  if (channel == nullptr) return;
  FlutterDesktopMessenger* messenger = state->engine->messenger();
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    if (handler == nullptr) {
      state->channels.erase(channel);
    } else {
      state->channels.insert(channel);
    }
  }
  if (handler == nullptr) {
    messenger->SetPeerHandler(channel, nullptr);
    return;
  }
  messenger->SetPeerHandler(
      channel, [state = state->shared_from_this(), handler, user_data](
                   const Bytes& message, FlutterDesktopMessenger::PeerResponder respond) {
        if (state->stopping) return;
        uint64_t reply_id = 0;
        if (respond) {
          std::lock_guard<std::mutex> lock(state->mutex);
          reply_id = state->next_reply_id++;
          state->responders.emplace(reply_id, std::move(respond));
        }
        handler(message.empty() ? nullptr : message.data(), message.size(), reply_id, user_data);
      });
}

bool AppRunner::Respond(void* context, uint64_t reply_id, const uint8_t* data, size_t size) {
  PeerState* state = static_cast<PeerState*>(context);
  FlutterDesktopMessenger::PeerResponder responder;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    auto found = state->responders.find(reply_id);
    if (found == state->responders.end()) return false;
    responder = std::move(found->second);
    state->responders.erase(found);
  }
  responder(CopyBytes(data, size));
  return true;
}

HWND AppRunner::ViewWindowOf(void* context) {
  ViewWindow* view = static_cast<PeerState*>(context)->engine->view();
  return view != nullptr ? view->window() : nullptr;
}

void AppRunner::SetStatusText(void* context, const char* text) {
  static_cast<PeerState*>(context)->engine->SetStatusText(text != nullptr ? text : "");
}

bool AppRunner::GetState(void* context, KeeloEngineState* state) {
  if (state == nullptr || state->struct_size < sizeof(KeeloEngineState)) return false;
  PeerState* peer = static_cast<PeerState*>(context);
  Engine* engine = peer->engine;
  state->frames_produced = engine->frames_produced();
  state->font_reloads = engine->font_reloads();
  state->engine_running = !peer->stopping && engine->messenger()->available();
  return true;
}

void AppRunner::SetPainter(void* context, KeeloPaintFunction paint, void* user_data) {
  PeerState* state = static_cast<PeerState*>(context);
  if (paint == nullptr) {
    state->engine->SetPainter(nullptr);
    return;
  }
  // The view may keep the painter past the application's stop, until the view goes too.
  state->engine->SetPainter([keep = state->shared_from_this(), paint, user_data](
                                float width, float height, KeeloDrawFunction draw, void* frame) {
    if (!keep->stopping) paint(width, height, draw, frame, user_data);
  });
}

size_t AppRunner::RegisteredPlugins(void* context, char* buffer, size_t capacity) {
  std::string text;
  for (const std::string& name : static_cast<PeerState*>(context)->engine->RegisteredPlugins()) {
    if (!text.empty()) text.push_back('\n');
    text += name;
  }
  if (capacity > 0) {
    const size_t copied = text.size() < capacity ? text.size() : capacity - 1;
    std::memcpy(buffer, text.data(), copied);
    buffer[copied] = '\0';
  }
  return text.size();
}

}  // namespace devkit
