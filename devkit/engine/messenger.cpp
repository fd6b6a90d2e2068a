#include "devkit/engine/messenger.h"

#include <cstddef>
#include <utility>

#include "devkit/engine/engine_diagnostics.h"

namespace {

std::atomic<int> live_messengers{0};

// A response handle is the message's id, never dereferenced: a handle the host uses twice, or
// after the engine forgot the message, can only miss, never reach freed memory.
const FlutterDesktopMessageResponseHandle* HandleOf(uint64_t message_id) {
  return reinterpret_cast<const FlutterDesktopMessageResponseHandle*>(
      static_cast<uintptr_t>(message_id));
}

uint64_t MessageIdOf(const FlutterDesktopMessageResponseHandle* handle) {
  return reinterpret_cast<uintptr_t>(handle);
}

}  // namespace

FlutterDesktopMessenger* FlutterDesktopMessenger::Create() { return Create(Options()); }

FlutterDesktopMessenger* FlutterDesktopMessenger::Create(Options options) {
  return new FlutterDesktopMessenger(std::move(options));
}

FlutterDesktopMessenger::FlutterDesktopMessenger(Options options)
    : scheduler_(std::move(options.scheduler)),
      tracer_(std::move(options.tracer)),
      record_traffic_(options.record_traffic) {
  ++live_messengers;
}

FlutterDesktopMessenger::~FlutterDesktopMessenger() { --live_messengers; }

int FlutterDesktopMessenger::live_count() { return live_messengers.load(); }

void FlutterDesktopMessenger::ShutDown() {
  {
    // Under the engine lock, so that a host response in progress finishes first and every later
    // one sees the engine gone.
    std::lock_guard<std::mutex> engine_lock(engine_lock_);
    std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
    available_ = false;
    callbacks_.clear();
    peer_handlers_.clear();
  }
  // Dropped outside the locks: a task holds a reference whose release may end this object.
  std::deque<Task> dropped;
  {
    std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
    dropped.swap(tasks_);
  }
  dropped.clear();
  Release();
}

void FlutterDesktopMessenger::Schedule(Task task) {
  // Each task keeps this messenger alive until it has run or been dropped.
  Task guarded = [keep = KeepAlive(), task = std::move(task)] {
    if (keep->available()) task();
  };
  if (scheduler_) {
    scheduler_(std::move(guarded));
  } else {
    std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
    tasks_.push_back(std::move(guarded));
  }
}

size_t FlutterDesktopMessenger::RunPendingTasks() {
  size_t ran = 0;
  for (;;) {
    Task task;
    {
      std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
      if (tasks_.empty()) return ran;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    ++ran;
  }
}

uint64_t FlutterDesktopMessenger::SendToHost(const std::string& channel, Bytes message,
                                             PeerResponder on_response) {
  uint64_t message_id;
  {
    std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
    message_id = next_message_id_++;
    Pending& pending = pending_[message_id];
    pending.channel = channel;
    pending.on_response = std::move(on_response);
  }
  Trace(devkit::TraceDirection::kToHost, channel, message);
  Schedule([this, channel, message_id, message = std::move(message)] {
    DeliverToHost(channel, message_id, message);
  });
  return message_id;
}

void FlutterDesktopMessenger::DeliverToHost(const std::string& channel, uint64_t message_id,
                                            const Bytes& message) {
  Callback callback{nullptr, nullptr};
  const FlutterDesktopMessageResponseHandle* handle = HandleOf(message_id);
  {
    std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
    auto found = callbacks_.find(channel);
    if (found != callbacks_.end()) callback = found->second;
  }
  if (callback.function == nullptr) {
    // Nobody listens on the channel: answered with no bytes, as the engine does.
    Lock();
    SendResponse(handle, nullptr, 0);
    Unlock();
    return;
  }
  FlutterDesktopMessage record{};
  record.struct_size = sizeof(record);
  record.channel = channel.c_str();
  record.message = message.data();
  record.message_size = message.size();
  record.response_handle = handle;
  callback.function(this, &record, callback.user_data);
}

void FlutterDesktopMessenger::DeliverToHostWithAMissingHandler() {
  // Zero-filled, and larger than any standard library's std::function.
  alignas(std::max_align_t) static const unsigned char kMissingHandler[64] = {};
  Schedule([this] {
    Callback callback{nullptr, nullptr};
    std::string channel;
    {
      std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
      if (callbacks_.empty()) return;
      channel = callbacks_.begin()->first;
      callback = callbacks_.begin()->second;
    }
    FlutterDesktopMessage record{};
    record.struct_size = sizeof(record);
    record.channel = channel.c_str();
    // Answered by nobody: no message of this id is waiting.
    record.response_handle = HandleOf(0);
    callback.function(this, &record, const_cast<unsigned char*>(kMissingHandler));
  });
}

void FlutterDesktopMessenger::SetPeerHandler(const std::string& channel, PeerHandler handler) {
  std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
  if (handler) {
    peer_handlers_[channel] = std::move(handler);
  } else {
    peer_handlers_.erase(channel);
  }
}

bool FlutterDesktopMessenger::Send(const char* channel, const uint8_t* message, size_t size,
                                   FlutterDesktopBinaryReply reply, void* user_data) {
  Bytes bytes(message, message + size);
  PeerHandler peer;
  {
    std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
    if (!available_) return false;
    if (record_traffic_) host_messages_.push_back({channel, bytes, reply != nullptr});
    auto found = peer_handlers_.find(channel);
    if (found != peer_handlers_.end()) peer = found->second;
  }
  Trace(devkit::TraceDirection::kToApp, channel, bytes);
  PeerResponder respond;
  if (reply != nullptr) {
    // The reply reaches the host later, from a task, and once only; the UI application's side
    // may answer from any thread.
    auto replied = std::make_shared<std::atomic<bool>>(false);
    respond = [keep = KeepAlive(), reply, user_data, replied,
               channel = std::string(channel)](Bytes reply_bytes) {
      if (replied->exchange(true)) return;
      keep->Trace(devkit::TraceDirection::kReplyToHost, channel, reply_bytes);
      keep->Schedule([reply, user_data, reply_bytes = std::move(reply_bytes)] {
        reply(reply_bytes.empty() ? nullptr : reply_bytes.data(), reply_bytes.size(), user_data);
      });
    };
  }
  if (peer) {
    Schedule([peer, bytes = std::move(bytes), respond] { peer(bytes, respond); });
  } else if (respond) {
    respond(Bytes());
  }
  return true;
}

void FlutterDesktopMessenger::SetCallback(const char* channel,
                                          FlutterDesktopMessageCallback callback, void* user_data) {
  std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
  if (callback == nullptr) {
    callbacks_.erase(channel);
  } else {
    callbacks_[channel] = Callback{callback, user_data};
    ++callbacks_set_[channel];
  }
}

void FlutterDesktopMessenger::SendResponse(const FlutterDesktopMessageResponseHandle* handle,
                                           const uint8_t* data, size_t size) {
  PeerResponder on_response;
  std::string channel;
  Bytes bytes(data, data + size);
  bool awaited = false;
  bool known = false;
  {
    std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
    if (!lock_held_) ++responses_outside_lock_;
    auto found = pending_.find(MessageIdOf(handle));
    known = found != pending_.end();
    if (known) {
      Pending& pending = found->second;
      channel = pending.channel;
      // A second response on one handle is recorded as the fault it is, and never forwarded.
      awaited = ++pending.response_count == 1;
      if (awaited) on_response = std::move(pending.on_response);
      if (record_traffic_) {
        pending.responses.push_back(bytes);
      } else {
        pending_.erase(found);
      }
    }
    if (!awaited) ++stray_responses_;
  }
  // A message answered twice is forgotten after its first response when no record is kept, so
  // the unknown handle is the same fault; the engine says so, since the driver's caller only
  // ever sees the first response.
  if (!awaited) devkit::WriteEngineDiagnostic(devkit::kStrayResponseDiagnostic);
  if (!known) return;
  Trace(devkit::TraceDirection::kReplyToApp, channel, bytes);
  if (on_response) {
    Schedule([on_response, bytes = std::move(bytes)] { on_response(bytes); });
  }
}

void FlutterDesktopMessenger::Trace(devkit::TraceDirection direction, const std::string& channel,
                                    const Bytes& bytes) const {
  if (tracer_) tracer_(direction, channel, bytes);
}

std::shared_ptr<FlutterDesktopMessenger> FlutterDesktopMessenger::KeepAlive() {
  AddRef();
  return std::shared_ptr<FlutterDesktopMessenger>(
      this, [](FlutterDesktopMessenger* messenger) { messenger->Release(); });
}

void FlutterDesktopMessenger::AddRef() { ++references_; }

void FlutterDesktopMessenger::Release() {
  if (--references_ == 0) delete this;
}

void FlutterDesktopMessenger::Lock() {
  engine_lock_.lock();
  lock_held_ = true;
}

void FlutterDesktopMessenger::Unlock() {
  lock_held_ = false;
  engine_lock_.unlock();
}

bool FlutterDesktopMessenger::available() const {
  std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
  return available_;
}

std::vector<FlutterDesktopMessenger::HostMessage> FlutterDesktopMessenger::host_messages() const {
  std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
  return host_messages_;
}

std::vector<FlutterDesktopMessenger::Bytes> FlutterDesktopMessenger::ResponsesTo(
    uint64_t message_id) const {
  std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
  auto found = pending_.find(message_id);
  return found == pending_.end() ? std::vector<Bytes>() : found->second.responses;
}

size_t FlutterDesktopMessenger::stray_responses() const {
  std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
  return stray_responses_;
}

size_t FlutterDesktopMessenger::responses_outside_lock() const {
  std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
  return responses_outside_lock_;
}

bool FlutterDesktopMessenger::has_callback(const std::string& channel) const {
  std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
  return callbacks_.count(channel) != 0;
}

int FlutterDesktopMessenger::callbacks_set(const std::string& channel) const {
  std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
  const auto found = callbacks_set_.find(channel);
  return found == callbacks_set_.end() ? 0 : found->second;
}

void* FlutterDesktopMessenger::callback_user_data(const std::string& channel) const {
  std::lock_guard<std::recursive_mutex> state_lock(state_mutex_);
  auto found = callbacks_.find(channel);
  return found == callbacks_.end() ? nullptr : found->second.user_data;
}

// A host whose engine could not be created passes the null messenger on unchecked; the engine
// answers as for a messenger whose engine is gone instead of crashing.
extern "C" {

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size) {
  if (messenger == nullptr) return false;
  return messenger->Send(channel, message, message_size, nullptr, nullptr);
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger, const char* channel,
                                          const uint8_t* message, size_t message_size,
                                          FlutterDesktopBinaryReply reply, void* user_data) {
  if (messenger == nullptr) return false;
  return messenger->Send(channel, message, message_size, reply, user_data);
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  if (messenger != nullptr) messenger->SendResponse(handle, data, data_length);
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char* channel,
                                        FlutterDesktopMessageCallback callback, void* user_data) {
  if (messenger != nullptr) messenger->SetCallback(channel, callback, user_data);
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) messenger->AddRef();
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) messenger->Release();
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  return messenger != nullptr && messenger->available();
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  if (messenger == nullptr) return nullptr;
  messenger->Lock();
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) messenger->Unlock();
}

}  // extern "C"
