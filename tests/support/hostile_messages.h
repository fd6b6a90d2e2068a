#ifndef TESTS_SUPPORT_HOSTILE_MESSAGES_H_
#define TESTS_SUPPORT_HOSTILE_MESSAGES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace keelo::testing {

// The families of messages a hostile or broken UI application could send the host.
enum class HostileKind {
  kRandomBytes,
  // A real method call cut short at one of its bytes.
  kTruncatedCall,
  // A string, list or map whose size prefix promises far more bytes than the message has.
  kOversizedDeclaration,
  // Lists or maps nested past the codec's limit.
  kDeepNesting,
  // A real method name with arguments of a kind the method does not take.
  kWrongKindArguments,
  // A well-formed call carrying an 8 MiB byte list or string.
  kLargePayload,
  // A method name with an embedded zero byte or invalid UTF-8.
  kOddName,
};

const char* HostileKindName(HostileKind kind);

// What the host must answer, as far as the message alone decides it.
enum class ExpectedReply {
  // Any single reply, the empty one included.
  kAny,
  // The not-implemented (empty) reply.
  kNotImplemented,
  // A success envelope: the bridge answers every call of its methods, never with an error.
  kSuccess,
};

struct HostileMessage {
  HostileKind kind = HostileKind::kRandomBytes;
  // "<app id>/desktop" or "<app id>/desktop_ui".
  std::string channel;
  std::vector<uint8_t> bytes;
  // A complete, correctly encoded method call whatever its name and arguments, about which the
  // codec has nothing to report: the host must write no line for it.
  bool well_formed = false;
  ExpectedReply expected = ExpectedReply::kAny;
};

// |count| messages in an order fixed by |seed|. Every message of the fixed families is in it
// (each reference call cut at every length, every oversized declaration, every nesting, every
// wrong argument kind of every method but "launchApp", the large payloads, the odd names);
// random byte strings make up the rest, so |count| must leave room for them.
std::vector<HostileMessage> MakeHostileMessages(uint64_t seed, size_t count);

// The first |limit| bytes in hex for a failure message, with the full length when cut.
std::string HexDump(const std::vector<uint8_t>& bytes, size_t limit = 256);

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_HOSTILE_MESSAGES_H_
