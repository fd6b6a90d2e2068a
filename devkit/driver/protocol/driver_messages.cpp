#include "devkit/driver/protocol/driver_messages.h"

#include "devkit/driver/protocol/payload.h"

namespace devkit {
namespace {

bool Done(PayloadReader& reader, bool read, std::string* error) {
  if (read && reader.Finish()) return true;
  *error = reader.error();
  return false;
}

}  // namespace

Bytes EncodePayload(const HelloMessage& message) {
  PayloadWriter writer;
  writer.U32(message.protocol_version);
  writer.U32(message.process_id);
  return writer.Take();
}

bool DecodePayload(const Bytes& payload, HelloMessage* message, std::string* error) {
  PayloadReader reader(payload, "hello");
  const bool read = reader.U32(&message->protocol_version) && reader.U32(&message->process_id);
  return Done(reader, read, error);
}

Bytes EncodePayload(const CallMessage& message) {
  PayloadWriter writer;
  writer.U32(message.request_id);
  writer.String(message.channel);
  writer.Blob(message.message);
  return writer.Take();
}

bool DecodePayload(const Bytes& payload, CallMessage* message, std::string* error) {
  PayloadReader reader(payload, "call");
  const bool read = reader.U32(&message->request_id) && reader.String(&message->channel) &&
                    reader.Blob(&message->message);
  return Done(reader, read, error);
}

Bytes EncodePayload(const CallReplyMessage& message) {
  PayloadWriter writer;
  writer.U32(message.request_id);
  writer.Blob(message.reply);
  return writer.Take();
}

bool DecodePayload(const Bytes& payload, CallReplyMessage* message, std::string* error) {
  PayloadReader reader(payload, "call reply");
  const bool read = reader.U32(&message->request_id) && reader.Blob(&message->reply);
  return Done(reader, read, error);
}

Bytes EncodePayload(const CallFailedMessage& message) {
  PayloadWriter writer;
  writer.U32(message.request_id);
  writer.String(message.reason);
  return writer.Take();
}

bool DecodePayload(const Bytes& payload, CallFailedMessage* message, std::string* error) {
  PayloadReader reader(payload, "call failure");
  const bool read = reader.U32(&message->request_id) && reader.String(&message->reason);
  return Done(reader, read, error);
}

Bytes EncodePayload(const HostMessage& message) {
  PayloadWriter writer;
  writer.String(message.channel);
  writer.Blob(message.message);
  writer.Bool(message.wanted_reply);
  return writer.Take();
}

bool DecodePayload(const Bytes& payload, HostMessage* message, std::string* error) {
  PayloadReader reader(payload, "host message");
  const bool read = reader.String(&message->channel) && reader.Blob(&message->message) &&
                    reader.Bool(&message->wanted_reply);
  return Done(reader, read, error);
}

Bytes EncodePayload(const StateQueryMessage& message) {
  PayloadWriter writer;
  writer.U32(message.request_id);
  return writer.Take();
}

bool DecodePayload(const Bytes& payload, StateQueryMessage* message, std::string* error) {
  PayloadReader reader(payload, "state query");
  const bool read = reader.U32(&message->request_id);
  return Done(reader, read, error);
}

Bytes EncodePayload(const EngineStateMessage& message) {
  PayloadWriter writer;
  writer.U32(message.request_id);
  writer.String(message.entrypoint);
  writer.StringList(message.entrypoint_arguments);
  writer.U64(message.frames_produced);
  writer.U64(message.font_reloads);
  writer.StringList(message.registered_plugins);
  writer.Bool(message.engine_running);
  writer.U64(message.view_window);
  return writer.Take();
}

bool DecodePayload(const Bytes& payload, EngineStateMessage* message, std::string* error) {
  PayloadReader reader(payload, "engine state");
  const bool read = reader.U32(&message->request_id) && reader.String(&message->entrypoint) &&
                    reader.StringList(&message->entrypoint_arguments) &&
                    reader.U64(&message->frames_produced) && reader.U64(&message->font_reloads) &&
                    reader.StringList(&message->registered_plugins) &&
                    reader.Bool(&message->engine_running) && reader.U64(&message->view_window);
  return Done(reader, read, error);
}

Bytes EncodePayload(const GoodbyeMessage& message) {
  PayloadWriter writer;
  writer.String(message.reason);
  return writer.Take();
}

bool DecodePayload(const Bytes& payload, GoodbyeMessage* message, std::string* error) {
  PayloadReader reader(payload, "goodbye");
  const bool read = reader.String(&message->reason);
  return Done(reader, read, error);
}

}  // namespace devkit
