#include "devkit/driver/client/driver_client.h"

#include <windows.h>

#include <atomic>
#include <utility>

#include "devkit/driver/protocol/driver_config.h"

namespace devkit {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kReadChunk = size_t{64} * 1024;

DWORD Milliseconds(std::chrono::milliseconds timeout) {
  return timeout.count() <= 0 ? 0 : static_cast<DWORD>(timeout.count());
}

std::string InMilliseconds(std::chrono::milliseconds timeout) {
  return std::to_string(timeout.count()) + " ms";
}

template <typename T>
DriverResult<T> Failed(const std::string& error) {
  return {.error = error};
}

}  // namespace

std::unique_ptr<DriverClient> DriverClient::Create(std::string* error) {
  static std::atomic<uint32_t> created{0};
  // The process id and the time keep names apart across processes and runs; the counter within
  // one process.
  const std::string name = "keelo-devkit-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(GetTickCount64()) + "-" + std::to_string(++created);
  return Create(name, error);
}

std::unique_ptr<DriverClient> DriverClient::Create(const std::string& pipe_name,
                                                   std::string* error) {
  std::unique_ptr<PipeConnection> connection = PipeConnection::Create(pipe_name, error);
  if (connection == nullptr) return nullptr;
  return std::unique_ptr<DriverClient>(new DriverClient(pipe_name, std::move(connection)));
}

DriverClient::DriverClient(std::string pipe_name, std::unique_ptr<PipeConnection> connection)
    : pipe_name_(std::move(pipe_name)), connection_(std::move(connection)) {}

DriverClient::~DriverClient() {
  connection_->Cancel();
  if (reader_.joinable()) reader_.join();
}

std::vector<std::string> DriverClient::DriverArguments(
    const std::vector<std::string>& channels) const {
  return devkit::DriverArguments(DriverConfig{pipe_name_, channels});
}

DriverResult<HelloMessage> DriverClient::WaitForDriver(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  bool connected;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connected = peer_connected_;
  }
  if (!connected) {
    std::string error;
    const PipeConnection::Result result = connection_->WaitForPeer(Milliseconds(timeout), &error);
    if (result == PipeConnection::Result::kTimedOut) {
      return Failed<HelloMessage>("the driver did not connect to the pipe " + pipe_name_ +
                                  " within " + InMilliseconds(timeout) +
                                  " (is the driver's app.so in data\\, and was it given " +
                                  kPipeArgument + pipe_name_ + "?)");
    }
    if (result != PipeConnection::Result::kDone) {
      return Failed<HelloMessage>("waiting for the driver failed: " + error);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    peer_connected_ = true;
    reader_ = std::thread(&DriverClient::ReadLoop, this);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (!WaitUntil(lock, deadline, [this] { return hello_.has_value() || closed_; })) {
    return Failed<HelloMessage>("the driver connected but did not greet within " +
                                InMilliseconds(timeout));
  }
  if (!hello_) return Failed<HelloMessage>("the driver left before greeting: " + close_reason_);
  return DriverResult<HelloMessage>{*hello_, ""};
}

DriverResult<Bytes> DriverClient::Call(const std::string& channel, const Bytes& message,
                                       std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  uint32_t request_id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!hello_) return Failed<Bytes>("no driver yet: call WaitForDriver first");
    if (closed_) return Failed<Bytes>("the connection to the driver has ended: " + close_reason_);
    request_id = next_request_id_++;
    awaited_.insert(request_id);
  }
  const std::string sent = Send(CallMessage{request_id, channel, message}, timeout);
  std::unique_lock<std::mutex> lock(mutex_);
  if (!sent.empty()) {
    awaited_.erase(request_id);
    return Failed<Bytes>(sent);
  }
  const bool answered =
      WaitUntil(lock, deadline, [&] { return replies_.count(request_id) != 0 || closed_; });
  awaited_.erase(request_id);
  auto found = replies_.find(request_id);
  if (found != replies_.end()) {
    DriverResult<Bytes> reply = std::move(found->second);
    replies_.erase(found);
    return reply;
  }
  if (!answered) {
    return Failed<Bytes>("the host did not reply within " + InMilliseconds(timeout) +
                         " to the call on channel '" + channel + "'");
  }
  return Failed<Bytes>(
      "the connection to the driver ended before the host replied to the call on "
      "channel '" +
      channel + "': " + close_reason_);
}

DriverResult<MethodReply> DriverClient::InvokeMethod(const std::string& channel,
                                                     const std::string& method,
                                                     const flutter::EncodableValue& arguments,
                                                     std::chrono::milliseconds timeout) {
  DriverResult<Bytes> reply = Call(channel, EncodeMethodCall(method, arguments), timeout);
  if (!reply.ok()) return Failed<MethodReply>(reply.error);
  return DriverResult<MethodReply>{DecodeMethodReply(reply.value), ""};
}

DriverResult<HostEvent> DriverClient::NextEvent(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  WaitUntil(lock, Clock::now() + timeout, [this] { return !events_.empty() || closed_; });
  if (!events_.empty()) {
    HostEvent event = std::move(events_.front());
    events_.pop_front();
    return DriverResult<HostEvent>{std::move(event), ""};
  }
  if (closed_) return Failed<HostEvent>("no further message from the host: " + close_reason_);
  return Failed<HostEvent>("the host sent no message on the driver's channels within " +
                           InMilliseconds(timeout));
}

DriverResult<EngineStateMessage> DriverClient::QueryState(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  uint32_t request_id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!hello_) return Failed<EngineStateMessage>("no driver yet: call WaitForDriver first");
    if (closed_) {
      return Failed<EngineStateMessage>("the connection to the driver has ended: " + close_reason_);
    }
    request_id = next_request_id_++;
    awaited_.insert(request_id);
  }
  const std::string sent = Send(StateQueryMessage{request_id}, timeout);
  std::unique_lock<std::mutex> lock(mutex_);
  if (sent.empty()) {
    WaitUntil(lock, deadline, [&] { return states_.count(request_id) != 0 || closed_; });
  }
  awaited_.erase(request_id);
  auto found = states_.find(request_id);
  if (found != states_.end()) {
    EngineStateMessage state = std::move(found->second);
    states_.erase(found);
    return DriverResult<EngineStateMessage>{std::move(state), ""};
  }
  if (!sent.empty()) return Failed<EngineStateMessage>(sent);
  if (closed_) {
    return Failed<EngineStateMessage>(
        "the connection to the driver ended before it reported the "
        "engine's state: " +
        close_reason_);
  }
  return Failed<EngineStateMessage>("the driver did not report the engine's state within " +
                                    InMilliseconds(timeout));
}

DriverResult<std::string> DriverClient::WaitForGoodbye(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  WaitUntil(lock, Clock::now() + timeout, [this] { return goodbye_.has_value() || closed_; });
  if (goodbye_) return DriverResult<std::string>{*goodbye_, ""};
  if (closed_)
    return Failed<std::string>("the connection ended without a goodbye: " + close_reason_);
  return Failed<std::string>("the driver did not say goodbye within " + InMilliseconds(timeout) +
                             ": the engine still runs");
}

template <typename Message>
std::string DriverClient::Send(const Message& message, std::chrono::milliseconds timeout) {
  Bytes frame;
  if (!AppendMessage(message, &frame)) {
    return "the message is over the driver protocol's frame limit of " +
           std::to_string(kMaxFramePayload) + " bytes";
  }
  std::string error;
  PipeConnection::Result result;
  {
    std::lock_guard<std::mutex> lock(write_mutex_);
    result = connection_->Write(frame.data(), frame.size(), Milliseconds(timeout), &error);
  }
  switch (result) {
    case PipeConnection::Result::kDone:
      return "";
    case PipeConnection::Result::kClosed:
      return "the driver's pipe is closed";
    case PipeConnection::Result::kCancelled:
      return "the connection to the driver has ended";
    default:
      return "sending to the driver failed: " + error;
  }
}

template <typename Ready>
bool DriverClient::WaitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline,
                             Ready ready) {
  return changed_.wait_until(lock, deadline, ready);
}

void DriverClient::ReadLoop() {
  FrameReader reader;
  std::vector<uint8_t> buffer(kReadChunk);
  for (;;) {
    size_t received = 0;
    std::string error;
    const PipeConnection::Result result =
        connection_->Read(buffer.data(), buffer.size(), &received, INFINITE, &error);
    if (result == PipeConnection::Result::kDone) {
      reader.Append(buffer.data(), received);
      Frame frame;
      FrameReader::Status status;
      while ((status = reader.Next(&frame)) == FrameReader::Status::kFrame) {
        if (!Dispatch(frame)) {
          connection_->Cancel();
          return;
        }
      }
      if (status == FrameReader::Status::kError) {
        Close("the driver's stream is malformed: " + reader.error());
        connection_->Cancel();
        return;
      }
      continue;
    }
    switch (result) {
      case PipeConnection::Result::kClosed:
        Close(reader.Finish()
                  ? "the driver closed the pipe without a goodbye (did the host exit or "
                    "crash?)"
                  : "the driver's stream is malformed: " + reader.error());
        break;
      case PipeConnection::Result::kCancelled:
        Close("the client was closed");
        break;
      default:
        Close(error);
        break;
    }
    return;
  }
}

bool DriverClient::Dispatch(const Frame& frame) {
  std::string error;
  std::lock_guard<std::mutex> lock(mutex_);
  switch (frame.type) {
    case FrameType::kHello: {
      HelloMessage hello;
      if (!DecodeMessage(frame, &hello, &error)) break;
      if (hello.protocol_version != kDriverProtocolVersion) {
        error = "the driver speaks protocol version " + std::to_string(hello.protocol_version) +
                ", this client " + std::to_string(kDriverProtocolVersion);
        break;
      }
      hello_ = hello;
      changed_.notify_all();
      return true;
    }
    case FrameType::kCallReply: {
      CallReplyMessage reply;
      if (!DecodeMessage(frame, &reply, &error)) break;
      // A reply to a call that timed out has nobody waiting for it.
      if (awaited_.count(reply.request_id) != 0) {
        replies_[reply.request_id] = DriverResult<Bytes>{std::move(reply.reply), ""};
      }
      changed_.notify_all();
      return true;
    }
    case FrameType::kCallFailed: {
      CallFailedMessage failure;
      if (!DecodeMessage(frame, &failure, &error)) break;
      if (awaited_.count(failure.request_id) != 0) {
        replies_[failure.request_id] =
            Failed<Bytes>("the driver could not complete the call: " + failure.reason);
      }
      changed_.notify_all();
      return true;
    }
    case FrameType::kHostMessage: {
      HostMessage message;
      if (!DecodeMessage(frame, &message, &error)) break;
      events_.push_back(
          HostEvent{std::move(message.channel), std::move(message.message), message.wanted_reply});
      changed_.notify_all();
      return true;
    }
    case FrameType::kEngineState: {
      EngineStateMessage state;
      if (!DecodeMessage(frame, &state, &error)) break;
      if (awaited_.count(state.request_id) != 0) states_[state.request_id] = std::move(state);
      changed_.notify_all();
      return true;
    }
    case FrameType::kGoodbye: {
      GoodbyeMessage goodbye;
      if (!DecodeMessage(frame, &goodbye, &error)) break;
      goodbye_ = goodbye.reason;
      if (!closed_) {
        closed_ = true;
        close_reason_ = "the driver said goodbye: " + goodbye.reason;
      }
      changed_.notify_all();
      return true;
    }
    default:
      error = "frame type " + std::to_string(static_cast<int>(frame.type)) +
              " is one only the test sends";
      break;
  }
  if (!closed_) {
    closed_ = true;
    close_reason_ = "the driver sent a malformed frame: " + error;
  }
  changed_.notify_all();
  return false;
}

void DriverClient::Close(const std::string& reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!closed_) {
    closed_ = true;
    close_reason_ = reason;
  }
  changed_.notify_all();
}

}  // namespace devkit
