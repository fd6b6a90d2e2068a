#ifndef DEVKIT_APPS_DRIVER_DRIVER_SESSION_H_
#define DEVKIT_APPS_DRIVER_DRIVER_SESSION_H_

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/scoped_handles.h"
#include "devkit/app_api/app_interface.h"
#include "devkit/driver/pipe/pipe_connection.h"
#include "devkit/driver/protocol/driver_config.h"
#include "devkit/driver/protocol/frame_reader.h"

namespace devkit {

// The driver inside the UI application: connects to the test's pipe, makes the test's calls to
// the host through the engine, and passes on the host's messages on the channels it listens on
// and the engine's state. Its reader thread takes frames from the pipe, its writer thread puts
// frames on it; the host's messages and replies come on the UI thread and only queue frames.
class DriverSession {
 public:
  DriverSession(const KeeloPeerInterface& peer, DriverConfig config, std::string entrypoint,
                std::vector<std::string> arguments);
  // Fails the calls still waiting for the host, says goodbye, flushes what it can within a
  // bound and ends both threads.
  ~DriverSession();

  DriverSession(const DriverSession&) = delete;
  DriverSession& operator=(const DriverSession&) = delete;

 private:
  struct Listener {
    DriverSession* session;
    std::string channel;
  };
  struct PendingCall {
    DriverSession* session;
    uint32_t request_id;
  };

  static void OnHostMessage(const uint8_t* data, size_t size, uint64_t reply_id, void* user_data);
  static void OnReply(const uint8_t* data, size_t size, void* user_data);

  void ReadLoop();
  void WriteLoop();
  // False when the connection must end.
  bool HandleFrame(const Frame& frame);
  void StartCall(uint32_t request_id, const std::string& channel, const Bytes& message);
  void ReportState(uint32_t request_id);
  template <typename Message>
  void Queue(const Message& message);
  // With mutex_ held.
  template <typename Message>
  void QueueLocked(const Message& message);
  void QueueFrameLocked(Bytes frame);
  // The test can no longer be reached: nothing more is queued, and both threads end.
  void LinkDown();
  void Complain(const std::string& text);
  void SetStatus(const std::string& text);

  const KeeloPeerInterface peer_;
  const DriverConfig config_;
  const std::string entrypoint_;
  const std::vector<std::string> arguments_;
  std::vector<std::unique_ptr<Listener>> listeners_;
  // Manual-reset; set when the session ends, to abandon a connection attempt.
  ScopedHandle stop_event_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::unique_ptr<PipeConnection> connection_;
  bool connect_finished_ = false;
  bool stopping_ = false;
  bool link_down_ = false;
  std::deque<Bytes> outbox_;
  std::map<uint32_t, std::unique_ptr<PendingCall>> pending_calls_;

  std::thread reader_;
  std::thread writer_;
};

}  // namespace devkit

#endif  // DEVKIT_APPS_DRIVER_DRIVER_SESSION_H_
