#include "fuzz/fuzz_targets.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "devkit/engine/messenger.h"
#include "messaging/binary_messenger_impl.h"
#include "messaging/byte_buffer_streams.h"
#include "messaging/method_call_channel.h"
#include "messaging/standard_codec_serializer.h"
#include "messaging/standard_method_codec.h"

namespace keelo::fuzz {
namespace {

using flutter::EncodableValue;

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz expectation broken: %s\n", what);
  std::abort();
}

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  flutter::SharedSerializer().WriteValue(value, &writer);
  return bytes;
}

// Counts the replies a sink gets; the codec must deliver exactly one per recognised envelope.
class CountingResult : public flutter::MethodResult {
 public:
  void Success(const EncodableValue*) override { ++replies; }
  void Error(const std::string&, const std::string&, const EncodableValue*) override { ++replies; }
  void NotImplemented() override { ++replies; }
  int replies = 0;
};

bool HoldsEmptyPaddedList(const EncodableValue& value) {
  if (const auto* list = std::get_if<flutter::EncodableList>(&value.variant())) {
    return std::any_of(list->begin(), list->end(), HoldsEmptyPaddedList);
  }
  if (const auto* map = std::get_if<flutter::EncodableMap>(&value.variant())) {
    return std::any_of(map->begin(), map->end(), [](const auto& entry) {
      return HoldsEmptyPaddedList(entry.first) || HoldsEmptyPaddedList(entry.second);
    });
  }
  return std::visit(
      [](const auto& contents) {
        using T = std::decay_t<decltype(contents)>;
        if constexpr (std::is_same_v<T, std::vector<int32_t>> ||
                      std::is_same_v<T, std::vector<int64_t>> ||
                      std::is_same_v<T, std::vector<double>> ||
                      std::is_same_v<T, std::vector<float>>) {
          return contents.empty();
        } else {
          return false;
        }
      },
      value.variant());
}

}  // namespace

void FuzzReadTaggedValue(const uint8_t* data, size_t size) {
  flutter::ByteBufferStreamReader reader(data, size);
  const EncodableValue value = flutter::SharedSerializer().ReadTaggedValue(&reader);
  // Whatever was decoded encodes again, within the size the encoder reserves for it.
  const std::vector<uint8_t> bytes = Encode(value);
  Require(bytes.size() <= flutter::MaxEncodedSize(value), "encoded size bound");
}

void FuzzDecodeCall(const uint8_t* data, size_t size) {
  const auto& codec = flutter::StandardMethodCodec::ForSerializer(nullptr);
  std::unique_ptr<flutter::MethodCall> call = codec.DecodeCall(data, size);
  if (call == nullptr) return;
  Require(call->arguments() != nullptr, "a decoded call always has arguments");
  const auto bytes = codec.EncodeCall(*call);
  const auto again = codec.DecodeCall(bytes->data(), bytes->size());
  // The encoder writes no padding before an empty typed list and the decoder skips it anyway,
  // so a value after one is read from the wrong place, as the peer's own encoder never causes.
  if (again == nullptr && HoldsEmptyPaddedList(*call->arguments())) return;
  Require(again != nullptr && again->method_name() == call->method_name(),
          "a re-encoded call decodes to the same name");
}

void FuzzDecodeReply(const uint8_t* data, size_t size) {
  const auto& codec = flutter::StandardMethodCodec::ForSerializer(nullptr);
  CountingResult result;
  const bool recognised = codec.DecodeReply(data, size, &result);
  Require(result.replies == (recognised ? 1 : 0), "one reply per recognised envelope");
}

void FuzzMethodChannel(const uint8_t* data, size_t size) {
  FlutterDesktopMessenger* engine = FlutterDesktopMessenger::Create();
  {
    flutter::BinaryMessengerImpl messenger(engine);
    flutter::MethodCallChannel channel(&messenger, "fuzz/desktop",
                                       &flutter::StandardMethodCodec::ForSerializer(nullptr));
    // The reply depends on the call, and sometimes a second reply is attempted: only the first
    // may reach the engine.
    channel.SetCallHandler(
        [](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
          const size_t choice = call.method_name().size() % 4;
          if (choice == 0) {
            result->Success(call.arguments());
          } else if (choice == 1) {
            result->Error(call.method_name(), "fuzz", call.arguments());
          } else if (choice == 2) {
            result->NotImplemented();
          } else {
            result->Success(nullptr);
            result->NotImplemented();
          }
        });
    const uint64_t id = engine->SendToHost("fuzz/desktop", std::vector<uint8_t>(data, data + size));
    engine->RunPendingTasks();
    Require(engine->ResponsesTo(id).size() == 1, "every message is answered exactly once");
    Require(engine->responses_outside_lock() == 0, "responses are sent under the engine lock");
  }
  engine->ShutDown();
}

}  // namespace keelo::fuzz
