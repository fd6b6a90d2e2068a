#ifndef DEVKIT_ENGINE_APP_RUNNER_H_
#define DEVKIT_ENGINE_APP_RUNNER_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "common/scoped_handles.h"
#include "devkit/app_api/app_interface.h"
#include "devkit/engine/messenger.h"

namespace devkit {

class Engine;

// One running UI application: its library, its instance, and the peer interface it was given.
class AppRunner {
 public:
  // Loads the library at |library_path| and starts the application in it. Null, with |error|
  // set and the library unloaded, when it cannot.
  static std::unique_ptr<AppRunner> Start(Engine* engine, const std::wstring& library_path,
                                          const KeeloAppStartInfo& info, std::string* error);
  // Stops the application, removes its handlers, drops the replies it still owes and unloads it.
  ~AppRunner();

  AppRunner(const AppRunner&) = delete;
  AppRunner& operator=(const AppRunner&) = delete;

 private:
  // What the peer functions (whose context it is) and the closures handed to the messenger
  // share. The closures may outlive the runner inside tasks that never run, so they hold this,
  // not the runner.
  struct PeerState : std::enable_shared_from_this<PeerState> {
    Engine* engine;
    std::atomic<bool> stopping{false};
    std::mutex mutex;
    std::set<std::string> channels;
    std::map<uint64_t, FlutterDesktopMessenger::PeerResponder> responders;
    uint64_t next_reply_id = 1;
  };

  explicit AppRunner(Engine* engine);

  static bool Send(void* context, const char* channel, const uint8_t* data, size_t size);
  static bool SendWithReply(void* context, const char* channel, const uint8_t* data, size_t size,
                            KeeloReplyFunction reply, void* user_data);
  static void SetHandler(void* context, const char* channel, KeeloMessageHandler handler,
                         void* user_data);
  static bool Respond(void* context, uint64_t reply_id, const uint8_t* data, size_t size);
  static HWND ViewWindowOf(void* context);
  static void SetStatusText(void* context, const char* text);
  static bool GetState(void* context, KeeloEngineState* state);
  static size_t RegisteredPlugins(void* context, char* buffer, size_t capacity);
  static void SetPainter(void* context, KeeloPaintFunction paint, void* user_data);

  std::shared_ptr<PeerState> state_;
  KeeloPeerInterface peer_{};
  ScopedLibrary library_;
  KeeloAppStopFunction stop_ = nullptr;
  void* app_ = nullptr;
};

}  // namespace devkit

#endif  // DEVKIT_ENGINE_APP_RUNNER_H_
