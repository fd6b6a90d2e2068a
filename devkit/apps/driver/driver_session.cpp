#include "devkit/apps/driver/driver_session.h"

#include <cstdio>
#include <utility>

#include "devkit/driver/protocol/driver_messages.h"

namespace devkit {
namespace {

// The test creates its pipe before it starts the host, so this only has to cover a slow start.
constexpr DWORD kConnectTimeoutMs = 30000;
// A test that reads nothing for this long while frames wait has stopped listening; the driver
// gives up on it rather than hold the engine's shut-down.
constexpr DWORD kWriteTimeoutMs = 5000;
constexpr size_t kReadChunk = size_t{64} * 1024;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

DriverSession::DriverSession(const KeeloPeerInterface& peer, DriverConfig config,
                             std::string entrypoint, std::vector<std::string> arguments)
    : peer_(peer),
      config_(std::move(config)),
      entrypoint_(std::move(entrypoint)),
      arguments_(std::move(arguments)),
      stop_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  // Listening starts before the host's bridge exists, so no message of the host is missed; what
  // arrives before the test connects waits in the outbox.
  for (const std::string& channel : config_.channels) {
    listeners_.push_back(std::make_unique<Listener>(Listener{this, channel}));
    peer_.set_handler(peer_.context, channel.c_str(), &DriverSession::OnHostMessage,
                      listeners_.back().get());
  }
  HelloMessage hello;
  hello.process_id = GetCurrentProcessId();
  Queue(hello);
  if (config_.pipe_name.empty()) {
    Complain("no pipe given (" + std::string(kPipeArgument) + "<name> or " + kPipeVariable +
             "); the driver stays idle");
    SetStatus("Driver: idle, no pipe given");
    connect_finished_ = true;
    link_down_ = true;
    outbox_.clear();
    return;
  }
  SetStatus("Driver: connecting to " + config_.pipe_name);
  reader_ = std::thread(&DriverSession::ReadLoop, this);
  writer_ = std::thread(&DriverSession::WriteLoop, this);
}

DriverSession::~DriverSession() {
  for (const auto& listener : listeners_) {
    peer_.set_handler(peer_.context, listener->channel.c_str(), nullptr, nullptr);
  }
  bool connected;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    // The engine never delivers these replies now; the test hears so instead of timing out.
    for (const auto& [request_id, call] : pending_calls_) {
      QueueLocked(
          CallFailedMessage{request_id, "the engine was destroyed before the host replied"});
    }
    pending_calls_.clear();
    QueueLocked(GoodbyeMessage{"the engine is stopping the UI application"});
    connected = connect_finished_;
  }
  if (!connected) SetEvent(stop_event_.get());
  if (writer_.joinable()) writer_.join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (connection_ != nullptr) connection_->Cancel();
  }
  SetEvent(stop_event_.get());
  if (reader_.joinable()) reader_.join();
}

void DriverSession::OnHostMessage(const uint8_t* data, size_t size, uint64_t reply_id,
                                  void* user_data) {
  auto* listener = static_cast<Listener*>(user_data);
  DriverSession* session = listener->session;
  if (reply_id != 0) {
    // The driver cannot answer for the test; the host hears that the method is not handled.
    session->peer_.respond(session->peer_.context, reply_id, nullptr, 0);
  }
  HostMessage message;
  message.channel = listener->channel;
  message.message.assign(data, data + size);
  message.wanted_reply = reply_id != 0;
  session->Queue(message);
}

void DriverSession::OnReply(const uint8_t* data, size_t size, void* user_data) {
  auto* call = static_cast<PendingCall*>(user_data);
  DriverSession* session = call->session;
  const uint32_t request_id = call->request_id;
  std::lock_guard<std::mutex> lock(session->mutex_);
  // Erasing frees |call|; nothing of it is used after this.
  if (session->pending_calls_.erase(request_id) == 0) return;
  CallReplyMessage reply;
  reply.request_id = request_id;
  reply.reply.assign(data, data + size);
  Bytes frame;
  if (!AppendMessage(reply, &frame)) {
    session->QueueLocked(
        CallFailedMessage{request_id, "the host's reply of " + std::to_string(size) +
                                          " bytes is over the driver protocol's frame limit"});
    return;
  }
  session->QueueFrameLocked(std::move(frame));
}

void DriverSession::ReadLoop() {
  std::string error;
  std::unique_ptr<PipeConnection> opened =
      PipeConnection::Open(config_.pipe_name, kConnectTimeoutMs, stop_event_.get(), &error);
  PipeConnection* pipe = opened.get();
  bool stopping;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connection_ = std::move(opened);
    connect_finished_ = true;
    stopping = stopping_;
  }
  changed_.notify_all();
  if (pipe == nullptr) {
    if (!stopping) {
      Complain(error);
      SetStatus("Driver: " + error);
    }
    LinkDown();
    return;
  }
  SetStatus("Driver: connected to " + config_.pipe_name);

  FrameReader reader;
  std::vector<uint8_t> buffer(kReadChunk);
  for (;;) {
    size_t received = 0;
    const PipeConnection::Result result =
        pipe->Read(buffer.data(), buffer.size(), &received, INFINITE, &error);
    if (result == PipeConnection::Result::kDone) {
      reader.Append(buffer.data(), received);
      Frame frame;
      FrameReader::Status status;
      while ((status = reader.Next(&frame)) == FrameReader::Status::kFrame) {
        if (!HandleFrame(frame)) {
          LinkDown();
          return;
        }
      }
      if (status == FrameReader::Status::kError) {
        Complain("the test's stream is malformed: " + reader.error());
        LinkDown();
        return;
      }
      continue;
    }
    if (result == PipeConnection::Result::kClosed && !reader.Finish()) {
      Complain("the test's stream is malformed: " + reader.error());
    } else if (result == PipeConnection::Result::kFailed) {
      Complain(error);
    }
    // A closed pipe is the test leaving.
    LinkDown();
    return;
  }
}

void DriverSession::WriteLoop() {
  for (;;) {
    Bytes frame;
    PipeConnection* pipe;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] {
        return connect_finished_ && (!outbox_.empty() || stopping_ || link_down_);
      });
      pipe = connection_.get();
      if (pipe == nullptr || link_down_ || outbox_.empty()) return;
      frame = std::move(outbox_.front());
      outbox_.pop_front();
    }
    std::string error;
    const PipeConnection::Result result =
        pipe->Write(frame.data(), frame.size(), kWriteTimeoutMs, &error);
    if (result == PipeConnection::Result::kDone) continue;
    if (result == PipeConnection::Result::kTimedOut || result == PipeConnection::Result::kFailed) {
      Complain(error);
    }
    LinkDown();
    return;
  }
}

bool DriverSession::HandleFrame(const Frame& frame) {
  std::string error;
  switch (frame.type) {
    case FrameType::kCall: {
      CallMessage call;
      if (!DecodeMessage(frame, &call, &error)) break;
      StartCall(call.request_id, call.channel, call.message);
      return true;
    }
    case FrameType::kStateQuery: {
      StateQueryMessage query;
      if (!DecodeMessage(frame, &query, &error)) break;
      ReportState(query.request_id);
      return true;
    }
    default:
      error = "frame type " + std::to_string(static_cast<int>(frame.type)) +
              " is one only the driver sends";
      break;
  }
  Complain("the test sent a malformed frame: " + error);
  return false;
}

void DriverSession::StartCall(uint32_t request_id, const std::string& channel,
                              const Bytes& message) {
  PendingCall* call;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    auto& slot = pending_calls_[request_id];
    if (slot != nullptr) {
      QueueLocked(CallFailedMessage{request_id, "request id " + std::to_string(request_id) +
                                                    " is already waiting for a reply"});
      return;
    }
    slot = std::make_unique<PendingCall>(PendingCall{this, request_id});
    call = slot.get();
  }
  if (peer_.send_with_reply(peer_.context, channel.c_str(), message.data(), message.size(),
                            &DriverSession::OnReply, call)) {
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  pending_calls_.erase(request_id);
  QueueLocked(CallFailedMessage{request_id, "the engine refused the message: it is shutting down"});
}

void DriverSession::ReportState(uint32_t request_id) {
  EngineStateMessage state;
  state.request_id = request_id;
  state.entrypoint = entrypoint_;
  state.entrypoint_arguments = arguments_;
  KeeloEngineState engine{};
  engine.struct_size = sizeof(engine);
  if (peer_.get_state(peer_.context, &engine)) {
    state.frames_produced = engine.frames_produced;
    state.font_reloads = engine.font_reloads;
    state.engine_running = engine.engine_running;
  }
  std::string names(peer_.registered_plugins(peer_.context, nullptr, 0) + 1, '\0');
  names.resize(peer_.registered_plugins(peer_.context, names.data(), names.size()));
  state.registered_plugins = SplitLines(names);
  state.view_window = reinterpret_cast<uintptr_t>(peer_.view_window(peer_.context));
  Queue(state);
}

template <typename Message>
void DriverSession::Queue(const Message& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  QueueLocked(message);
}

template <typename Message>
void DriverSession::QueueLocked(const Message& message) {
  Bytes frame;
  if (!AppendMessage(message, &frame)) {
    Complain("a frame of type " + std::to_string(static_cast<int>(Message::kType)) +
             " is over the frame limit and was dropped");
    return;
  }
  QueueFrameLocked(std::move(frame));
}

void DriverSession::QueueFrameLocked(Bytes frame) {
  // Without a test to read them, frames would only pile up.
  if (link_down_) return;
  outbox_.push_back(std::move(frame));
  changed_.notify_all();
}

void DriverSession::LinkDown() {
  std::lock_guard<std::mutex> lock(mutex_);
  link_down_ = true;
  outbox_.clear();
  if (connection_ != nullptr) connection_->Cancel();
  changed_.notify_all();
}

void DriverSession::Complain(const std::string& text) {
  const std::string line = "keelo devkit driver: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void DriverSession::SetStatus(const std::string& text) {
  peer_.set_status_text(peer_.context, text.c_str());
}

}  // namespace devkit
