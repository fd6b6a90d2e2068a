#ifndef DEVKIT_ENGINE_MESSENGER_H_
#define DEVKIT_ENGINE_MESSENGER_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "devkit/engine/trace_line.h"
#include "engine_api/flutter_messenger.h"

// The stand-in engine's messenger: channel traffic between the host and the UI application's
// side, behind the engine's messaging functions. It keeps what the host relies on: reference
// counting that lets it outlive its engine, a real lock, availability that turns false when
// the engine goes, one response per response handle, replies that arrive later, and one
// callback per channel. Unless told otherwise, it also keeps a record of the traffic for tests.
//
// Nothing is delivered re-entrantly inside a call of the host: deliveries are tasks handed to
// the scheduler, which the owner runs from its message loop (or, without a scheduler, that
// wait for RunPendingTasks).
struct FlutterDesktopMessenger {
 public:
  using Bytes = std::vector<uint8_t>;
  using Task = std::function<void()>;
  using Scheduler = std::function<void(Task task)>;
  // Answers a message of the host; called at most once.
  using PeerResponder = std::function<void(Bytes reply)>;
  // The UI application's side of a channel. |respond| is empty when the host wants no reply.
  using PeerHandler = std::function<void(const Bytes& message, PeerResponder respond)>;
  // Sees every message and response in both directions; called from whichever thread sends.
  using Tracer = std::function<void(devkit::TraceDirection direction, const std::string& channel,
                                    const Bytes& bytes)>;

  // A message the host sent, in order.
  struct HostMessage {
    std::string channel;
    Bytes bytes;
    bool wants_reply;
  };

  struct Options {
    // Without a scheduler, tasks wait for RunPendingTasks.
    Scheduler scheduler;
    Tracer tracer;
    // Tests read the record; an engine that runs for hours keeps no copy of its traffic.
    bool record_traffic = true;
  };

  // Made with one reference, the engine's own.
  static FlutterDesktopMessenger* Create();
  static FlutterDesktopMessenger* Create(Options options);

  // The engine is going: availability turns false under the lock, callbacks and waiting tasks
  // are dropped, and the engine's reference is released.
  void ShutDown();

  // From the UI application's side to the host. Returns the message's id; the host's response
  // is recorded under it and also given to |on_response| when one is set. A channel without a
  // callback answers with no bytes, as for a method nobody handles.
  uint64_t SendToHost(const std::string& channel, Bytes message,
                      PeerResponder on_response = nullptr);
  void SetPeerHandler(const std::string& channel, PeerHandler handler);

  // Runs the tasks waiting when no scheduler was given; returns how many ran.
  size_t RunPendingTasks();

  // The record of traffic.
  std::vector<HostMessage> host_messages() const;
  // Every response the host sent for the message, in order; more than one is a host fault.
  std::vector<Bytes> ResponsesTo(uint64_t message_id) const;
  // Responses to a message that awaited none: answered already, or never sent to the host. Each
  // also writes a line on stderr, which is all a test in another process can see.
  size_t stray_responses() const;
  size_t responses_outside_lock() const;
  bool has_callback(const std::string& channel) const;
  // How many times the host set a callback on the channel (clearing it not counted).
  int callbacks_set(const std::string& channel) const;
  // The user data the host gave with the channel's callback; null when there is none.
  void* callback_user_data(const std::string& channel) const;
  int references() const { return references_.load(); }
  bool available() const;
  static int live_count();

  // The engine's messaging functions, as the host calls them.
  bool Send(const char* channel, const uint8_t* message, size_t size,
            FlutterDesktopBinaryReply reply, void* user_data);
  void SetCallback(const char* channel, FlutterDesktopMessageCallback callback, void* user_data);
  void SendResponse(const FlutterDesktopMessageResponseHandle* handle, const uint8_t* data,
                    size_t size);
  // From any thread: see kDevkitThrowChannel in fault_request.h.
  void DeliverToHostWithAMissingHandler();
  void AddRef();
  void Release();
  void Lock();
  void Unlock();

 private:
  struct Callback {
    FlutterDesktopMessageCallback function;
    void* user_data;
  };
  struct Pending {
    std::string channel;
    PeerResponder on_response;
    size_t response_count = 0;
    // Only while recording traffic.
    std::vector<Bytes> responses;
  };

  explicit FlutterDesktopMessenger(Options options);
  ~FlutterDesktopMessenger();

  // One more reference, released with the last copy of the pointer.
  std::shared_ptr<FlutterDesktopMessenger> KeepAlive();
  void Schedule(Task task);
  void DeliverToHost(const std::string& channel, uint64_t message_id, const Bytes& message);
  void Trace(devkit::TraceDirection direction, const std::string& channel,
             const Bytes& bytes) const;

  std::atomic<int> references_{1};
  // Fixed at creation, so they are read without a lock.
  const Scheduler scheduler_;
  const Tracer tracer_;
  const bool record_traffic_;

  // Taken by the host around its responses, and by ShutDown.
  std::mutex engine_lock_;
  bool lock_held_ = false;

  // Guards the fields below; the engine lock is not, since the host holds that one while it
  // calls back in.
  mutable std::recursive_mutex state_mutex_;
  bool available_ = true;
  std::map<std::string, Callback> callbacks_;
  std::map<std::string, int> callbacks_set_;
  std::map<std::string, PeerHandler> peer_handlers_;
  std::map<uint64_t, Pending> pending_;
  uint64_t next_message_id_ = 1;
  std::vector<HostMessage> host_messages_;
  size_t responses_outside_lock_ = 0;
  size_t stray_responses_ = 0;
  std::deque<Task> tasks_;
};

#endif  // DEVKIT_ENGINE_MESSENGER_H_
