#ifndef DEVKIT_DRIVER_CLIENT_DRIVER_CLIENT_H_
#define DEVKIT_DRIVER_CLIENT_DRIVER_CLIENT_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "devkit/driver/pipe/pipe_connection.h"
#include "devkit/driver/protocol/driver_messages.h"
#include "devkit/driver/protocol/method_envelopes.h"
#include "messaging/encodable_value.h"

namespace devkit {

// A value, or the reason there is none. Tests write ASSERT_TRUE(result.ok()) << result.error.
template <typename T>
struct DriverResult {
  T value{};
  std::string error;

  bool ok() const { return error.empty(); }
};

struct HostEvent {
  std::string channel;
  Bytes message;
  bool wanted_reply = false;
};

// The test's side of the driver: it creates the pipe that the driver in the UI application
// connects to, and then speaks to the host over the channels as the UI application would. Every
// wait has a deadline and ends with an error that says what did not happen, never a hang.
// Calls may come from any thread of the test.
class DriverClient {
 public:
  static constexpr std::chrono::milliseconds kDefaultTimeout{10000};

  // A pipe with a name of the client's own making, unique on the machine.
  static std::unique_ptr<DriverClient> Create(std::string* error);
  static std::unique_ptr<DriverClient> Create(const std::string& pipe_name, std::string* error);
  ~DriverClient();

  DriverClient(const DriverClient&) = delete;
  DriverClient& operator=(const DriverClient&) = delete;

  const std::string& pipe_name() const { return pipe_name_; }

  // The entrypoint arguments (to go on the host's command line, or into the engine properties)
  // that make the driver connect here and pass on the host's messages on |channels|.
  std::vector<std::string> DriverArguments(const std::vector<std::string>& channels) const;

  // Waits for the driver to connect and greet; the other operations need it first.
  DriverResult<HelloMessage> WaitForDriver(std::chrono::milliseconds timeout = kDefaultTimeout);

  // Sends |message| to the host on |channel| and returns its reply byte for byte; an empty reply
  // is the not-implemented reply.
  DriverResult<Bytes> Call(const std::string& channel, const Bytes& message,
                           std::chrono::milliseconds timeout = kDefaultTimeout);
  // The same with a method call, and the reply decoded.
  DriverResult<MethodReply> InvokeMethod(
      const std::string& channel, const std::string& method,
      const flutter::EncodableValue& arguments = flutter::EncodableValue(),
      std::chrono::milliseconds timeout = kDefaultTimeout);

  // The host's messages on the driver's channels, one per call, in the order the host sent them.
  DriverResult<HostEvent> NextEvent(std::chrono::milliseconds timeout = kDefaultTimeout);

  DriverResult<EngineStateMessage> QueryState(std::chrono::milliseconds timeout = kDefaultTimeout);

  // Waits for the driver's goodbye, which it says when the engine stops the UI application, and
  // returns its reason; an error when the connection ends without one (the host crashed).
  DriverResult<std::string> WaitForGoodbye(std::chrono::milliseconds timeout = kDefaultTimeout);

 private:
  DriverClient(std::string pipe_name, std::unique_ptr<PipeConnection> connection);

  void ReadLoop();
  // False when the frame is malformed and the connection must end.
  bool Dispatch(const Frame& frame);
  // Records why the connection ended, first reason only.
  void Close(const std::string& reason);
  template <typename Message>
  std::string Send(const Message& message, std::chrono::milliseconds timeout);
  // Waits for |ready| under |lock|; false at the deadline.
  template <typename Ready>
  bool WaitUntil(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point deadline,
                 Ready ready);

  const std::string pipe_name_;
  std::unique_ptr<PipeConnection> connection_;
  std::thread reader_;
  std::mutex write_mutex_;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool peer_connected_ = false;
  std::optional<HelloMessage> hello_;
  bool closed_ = false;
  std::string close_reason_;
  std::optional<std::string> goodbye_;
  uint32_t next_request_id_ = 1;
  std::set<uint32_t> awaited_;
  std::map<uint32_t, DriverResult<Bytes>> replies_;
  std::map<uint32_t, EngineStateMessage> states_;
  std::deque<HostEvent> events_;
};

}  // namespace devkit

#endif  // DEVKIT_DRIVER_CLIENT_DRIVER_CLIENT_H_
