#include "tests/support/hostile_messages.h"

#include <memory>
#include <utility>

#include "bridge/app_identifier.h"
#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"

namespace keelo::testing {
namespace {

using Bytes = std::vector<uint8_t>;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr size_t kLargePayloadBytes = size_t{8} << 20;
constexpr uint8_t kStringTag = 7;
constexpr uint8_t kListTag = 12;
constexpr uint8_t kMapTag = 13;

const std::string& DesktopChannel() {
  static const std::string channel = kDesktopChannel;
  return channel;
}

const std::string& UiChannel() {
  static const std::string channel = kUiChannel;
  return channel;
}

// SplitMix64: small, and the same numbers from the same seed with any standard library, so that
// a seed printed by one build replays in another.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // In [0, bound); the modulo bias is irrelevant at these bounds.
  size_t Below(size_t bound) { return static_cast<size_t>(Next() % bound); }

 private:
  uint64_t state_;
};

Bytes EncodeCall(const std::string& method, EncodableValue arguments) {
  const flutter::MethodCall call(method, std::make_unique<EncodableValue>(std::move(arguments)));
  return *flutter::StandardMethodCodec::ForSerializer(nullptr).EncodeCall(call);
}

Bytes EncodeName(const std::string& method) {
  Bytes bytes = EncodeCall(method, EncodableValue());
  bytes.pop_back();  // the null argument
  return bytes;
}

struct Method {
  const std::string* channel;
  const char* name;
  // Whether it reads named arguments from a map; the others take none.
  bool takes_map;
};

// Every method of both channels but "launchApp": no test may start a program, and a wrong
// argument that reached it by mistake would.
const std::vector<Method>& Methods() {
  static const std::vector<Method> methods = {
      {&DesktopChannel(), "listApps", false},
      {&DesktopChannel(), "getIcons", true},
      {&DesktopChannel(), "getForeground", false},
      {&DesktopChannel(), "blockWindow", true},
      {&DesktopChannel(), "restoreWindow", true},
      {&DesktopChannel(), "getIdleSeconds", false},
      {&DesktopChannel(), "showWindow", false},
      {&DesktopChannel(), "setQuitAllowed", true},
      {&DesktopChannel(), "setTrayTooltip", true},
      {&DesktopChannel(), "setLaunchAtStartup", true},
      {&DesktopChannel(), "getLaunchAtStartup", false},
      {&DesktopChannel(), "isPackaged", false},
      {&DesktopChannel(), "getProxy", false},
      {&DesktopChannel(), "setProxy", true},
      {&UiChannel(), "setMiniMode", true},
      {&UiChannel(), "startDrag", false},
      {&UiChannel(), "notify", true},
      {&UiChannel(), "setTrayStatus", true},
  };
  return methods;
}

// One value of every kind the codec knows.
std::vector<EncodableValue> ValuesOfEveryKind() {
  return {
      EncodableValue(),
      EncodableValue(true),
      EncodableValue(false),
      EncodableValue(int32_t{-7}),
      EncodableValue(int64_t{0x7FFFFFFFFFFFFFFF}),
      EncodableValue(-0.5),
      EncodableValue("hostile"),
      EncodableValue(std::vector<uint8_t>{1, 2, 3}),
      EncodableValue(std::vector<int32_t>{1, -1}),
      EncodableValue(std::vector<int64_t>{int64_t{1} << 40}),
      EncodableValue(std::vector<double>{1.5, -2.0}),
      EncodableValue(std::vector<float>{0.25F}),
      EncodableValue(EncodableList{EncodableValue(1), EncodableValue("enabled")}),
      EncodableValue(EncodableMap{{EncodableValue(1), EncodableValue(true)}}),
  };
}

// Real calls with arguments, on both channels. None of them may act on the machine when cut
// short; the proxy and start-at-sign-in calls are here for that reason.
std::vector<std::pair<const std::string*, Bytes>> ReferenceCalls() {
  return {
      {&DesktopChannel(),
       EncodeCall("setProxy", EncodableMap{{"flags", 3},
                                           {"server", "hostile.invalid:3128"},
                                           {"bypass", "<local>"},
                                           {"restoreOnExit", EncodableMap{{"flags", 1}}}})},
      {&DesktopChannel(), EncodeCall("setLaunchAtStartup", EncodableMap{{"enabled", true}})},
      {&DesktopChannel(),
       EncodeCall("getIcons",
                  EncodableMap{{"size", 48}, {"items", EncodableMap{{"a", "C:\\none.exe"}}}})},
      {&DesktopChannel(), EncodeCall("blockWindow", EncodableMap{{"hwnd", int64_t{0x10010}}})},
      {&DesktopChannel(), EncodeCall("setTrayTooltip", EncodableMap{{"text", "Focus: 12:00"}})},
      {&UiChannel(), EncodeCall("setMiniMode",
                                EncodableMap{{"enabled", true}, {"width", 300.0}, {"height", 80}})},
      {&UiChannel(), EncodeCall("notify", EncodableMap{{"title", "T"}, {"body", "B"}})},
      {&UiChannel(),
       EncodeCall("setTrayStatus", EncodableMap{{"status", "Focus"}, {"session", true}})},
  };
}

void AddTruncations(std::vector<HostileMessage>& messages) {
  for (const auto& [channel, call] : ReferenceCalls()) {
    for (size_t length = 0; length < call.size(); ++length) {
      messages.push_back({HostileKind::kTruncatedCall, *channel,
                          Bytes(call.begin(), call.begin() + static_cast<ptrdiff_t>(length))});
    }
  }
}

// The size forms: one byte below 254, 254 and two bytes, 255 and four bytes.
const std::vector<Bytes>& HugeSizes() {
  static const std::vector<Bytes> sizes = {
      {0xFE, 0xFF, 0xFF},
      {0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
      {0xFF, 0xFF, 0xFF, 0xFF, 0x7F},
      {0xFF, 0x00, 0x00, 0x01, 0x00},
  };
  return sizes;
}

void AddOversizedDeclarations(std::vector<HostileMessage>& messages) {
  // Strings (and large integers, read as strings), every typed list, lists and maps.
  const uint8_t tags[] = {7, 5, 8, 9, 10, 11, 14, kListTag, kMapTag};
  const Bytes name = EncodeName("setTrayTooltip");
  bool on_ui = false;
  for (uint8_t tag : tags) {
    for (const Bytes& size : HugeSizes()) {
      Bytes value = {tag};
      value.insert(value.end(), size.begin(), size.end());
      // A few bytes of content, far short of the promise.
      value.insert(value.end(), {0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48});
      // As the method name, and as the argument of a real one.
      messages.push_back(
          {HostileKind::kOversizedDeclaration, on_ui ? UiChannel() : DesktopChannel(), value});
      Bytes call = name;
      call.insert(call.end(), value.begin(), value.end());
      messages.push_back({HostileKind::kOversizedDeclaration, DesktopChannel(), call});
      on_ui = !on_ui;
    }
  }
}

// |levels| lists (or maps keyed "k") each holding the next, around an int32.
Bytes Nested(size_t levels, bool maps) {
  Bytes bytes;
  const Bytes map_level = {kMapTag, 1, kStringTag, 1, 'k'};
  const Bytes list_level = {kListTag, 1};
  const Bytes& level = maps ? map_level : list_level;
  bytes.reserve(levels * level.size() + 5);
  for (size_t i = 0; i < levels; ++i) bytes.insert(bytes.end(), level.begin(), level.end());
  bytes.insert(bytes.end(), {3, 1, 0, 0, 0});
  return bytes;
}

void AddDeepNesting(std::vector<HostileMessage>& messages) {
  const Bytes name = EncodeName("setTrayStatus");
  for (size_t levels : {size_t{257}, size_t{300}, size_t{1000}, size_t{100000}}) {
    for (bool maps : {false, true}) {
      const Bytes nested = Nested(levels, maps);
      messages.push_back({HostileKind::kDeepNesting, DesktopChannel(), nested});
      Bytes call = name;
      call.insert(call.end(), nested.begin(), nested.end());
      messages.push_back({HostileKind::kDeepNesting, UiChannel(), call});
    }
  }
  // Nested in a key's place, which ends the map before its value is read.
  Bytes keys;
  for (int i = 0; i < 400; ++i) keys.insert(keys.end(), {kMapTag, 1});
  keys.insert(keys.end(), {0, 0});
  Bytes call = EncodeName("setProxy");
  call.insert(call.end(), keys.begin(), keys.end());
  messages.push_back({HostileKind::kDeepNesting, DesktopChannel(), call});
}

void AddWrongKinds(std::vector<HostileMessage>& messages) {
  for (const Method& method : Methods()) {
    for (EncodableValue& value : ValuesOfEveryKind()) {
      const bool is_map = value.Holds<EncodableMap>();
      // What the method takes is left out; everything else is wrong for it.
      if (method.takes_map ? is_map : value.IsNull()) continue;
      messages.push_back({HostileKind::kWrongKindArguments, *method.channel,
                          EncodeCall(method.name, std::move(value)), true,
                          ExpectedReply::kSuccess});
    }
  }
}

void AddLargePayloads(std::vector<HostileMessage>& messages) {
  const std::vector<uint8_t> large(kLargePayloadBytes, 0x5A);
  messages.push_back({HostileKind::kLargePayload, DesktopChannel(),
                      EncodeCall("getIdleSeconds", EncodableValue(large)), true,
                      ExpectedReply::kSuccess});
  messages.push_back({HostileKind::kLargePayload, DesktopChannel(),
                      EncodeCall("setTrayTooltip", EncodableMap{{"text", large}}), true,
                      ExpectedReply::kSuccess});
  messages.push_back({HostileKind::kLargePayload, UiChannel(),
                      EncodeCall("notify", EncodableMap{{"body", large}}), true,
                      ExpectedReply::kSuccess});
  // In the method name's place: a byte list is no name at all.
  Bytes unnamed = {8, 0xFF};
  const uint32_t size = kLargePayloadBytes;
  for (int shift = 0; shift < 32; shift += 8)
    unnamed.push_back(static_cast<uint8_t>(size >> shift));
  unnamed.insert(unnamed.end(), large.begin(), large.end());
  unnamed.push_back(0);
  messages.push_back({HostileKind::kLargePayload, DesktopChannel(), std::move(unnamed), false,
                      ExpectedReply::kNotImplemented});
}

void AddOddNames(std::vector<HostileMessage>& messages) {
  using namespace std::string_literals;
  const std::string names[] = {
      "getIdle\0Seconds"s,     "getIdleSeconds\0"s, "\0getIdleSeconds"s,   "setProxy\0"s,
      "setTrayStatus\0x"s,     "\xFF\xFE"s,         "getIdleSeconds\xC0"s, "\xED\xA0\x80"s,
      "\xF8\x88\x80\x80\x80"s, "\x80setProxy"s,     "set\xC3Proxy"s,       "\xEF\xBB\xBFgetProxy"s,
  };
  for (const std::string& name : names) {
    for (const std::string* channel : {&DesktopChannel(), &UiChannel()}) {
      messages.push_back({HostileKind::kOddName, *channel, EncodeCall(name, EncodableValue()), true,
                          ExpectedReply::kNotImplemented});
      messages.push_back({HostileKind::kOddName, *channel,
                          EncodeCall(name, EncodableMap{{"flags", 1}, {"server", "odd:1"}}), true,
                          ExpectedReply::kNotImplemented});
    }
  }
}

HostileMessage RandomBytes(Random& random) {
  // Mostly short, as most real messages are; sometimes long enough for the size forms.
  const size_t length = random.Below(8) == 0 ? random.Below(4097) : random.Below(65);
  Bytes bytes(length);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random.Next());
  // Often a real tag first, so that the decoder gets past the first byte.
  if (!bytes.empty() && random.Below(2) == 0) bytes[0] = static_cast<uint8_t>(random.Below(15));
  return {HostileKind::kRandomBytes, random.Below(2) == 0 ? DesktopChannel() : UiChannel(),
          std::move(bytes)};
}

}  // namespace

const char* HostileKindName(HostileKind kind) {
  switch (kind) {
    case HostileKind::kRandomBytes:
      return "random bytes";
    case HostileKind::kTruncatedCall:
      return "truncated call";
    case HostileKind::kOversizedDeclaration:
      return "oversized declaration";
    case HostileKind::kDeepNesting:
      return "deep nesting";
    case HostileKind::kWrongKindArguments:
      return "wrong kind of arguments";
    case HostileKind::kLargePayload:
      return "large payload";
    case HostileKind::kOddName:
      return "odd name";
  }
  return "?";
}

std::vector<HostileMessage> MakeHostileMessages(uint64_t seed, size_t count) {
  std::vector<HostileMessage> messages;
  AddTruncations(messages);
  AddOversizedDeclarations(messages);
  AddDeepNesting(messages);
  AddWrongKinds(messages);
  AddLargePayloads(messages);
  AddOddNames(messages);
  Random random(seed);
  while (messages.size() < count) messages.push_back(RandomBytes(random));
  // Fisher-Yates with the generator above, for the same order everywhere.
  for (size_t i = messages.size() - 1; i > 0; --i) {
    std::swap(messages[i], messages[random.Below(i + 1)]);
  }
  return messages;
}

std::string HexDump(const std::vector<uint8_t>& bytes, size_t limit) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  const size_t shown = bytes.size() < limit ? bytes.size() : limit;
  text.reserve(shown * 3 + 32);
  for (size_t i = 0; i < shown; ++i) {
    if (i != 0) text.push_back(' ');
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 15]);
  }
  if (shown < bytes.size()) text += " ... (" + std::to_string(bytes.size()) + " bytes)";
  return text;
}

}  // namespace keelo::testing
