#include "messaging/standard_codec_serializer.h"

#include <bit>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "messaging/diagnostics.h"

namespace flutter {
namespace {

// The encoding is little-endian and the payloads are copied as they lie in memory.
static_assert(std::endian::native == std::endian::little);

enum Tag : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,
  kDouble = 6,
  kString = 7,
  kUint8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

constexpr uint8_t kCount16 = 254;
constexpr uint8_t kCount32 = 255;

// Decoding state of the current thread: how many lists and maps are open, and whether the value
// being decoded was refused for nesting too deeply. Kept here so that the serializer itself stays
// stateless and shareable.
thread_local int nesting_depth = 0;
thread_local bool nesting_refused = false;

template <typename T>
void WriteScalar(T value, ByteStreamWriter* stream) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  stream->WriteBytes(bytes, sizeof(T));
}

// A failed read leaves the bytes untouched, so the result is then 0.
template <typename T>
T ReadScalar(ByteStreamReader* stream) {
  uint8_t bytes[sizeof(T)] = {};
  stream->ReadBytes(bytes, sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

template <typename Sequence>
void WriteSequence(const StandardCodecSerializer& serializer, const Sequence& sequence,
                   ByteStreamWriter* stream) {
  using Element = typename Sequence::value_type;
  serializer.WriteCount(sequence.size(), stream);
  if (sequence.empty()) return;
  if constexpr (sizeof(Element) > 1) stream->WritePadding(sizeof(Element));
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(sequence.data()),
                     sequence.size() * sizeof(Element));
}

// Strings and typed lists are read with one bulk copy into storage sized from their count. The
// padding is skipped even for an empty list, as the peer expects.
template <typename Sequence>
EncodableValue ReadSequence(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  using Element = typename Sequence::value_type;
  const size_t count = serializer.ReadCount(stream);
  if constexpr (sizeof(Element) > 1) stream->SkipPadding(sizeof(Element));
  // Elements that could not fit in the whole message were never sent: refused before anything is
  // allocated or read, whatever the element size. Divided, so that the product cannot overflow.
  if (count > stream->MessageLength() / sizeof(Element)) {
    stream->ReportReadPastEnd();
    return EncodableValue(Sequence());
  }
  Sequence sequence(count, Element());
  // An empty list reads nothing, even when the padding skipped above ran past the end: the peer
  // writes no padding before one, so at the end of a message it always would.
  if (count == 0) return EncodableValue(std::move(sequence));
  stream->ReadBytes(reinterpret_cast<uint8_t*>(sequence.data()), count * sizeof(Element));
  return EncodableValue(std::move(sequence));
}

// Tracks one open list or map. Past the depth limit the whole value is refused with one line,
// instead of recursing until the stack runs out.
class NestingScope {
 public:
  explicit NestingScope(ByteStreamReader* stream)
      : admitted_(nesting_depth < StandardCodecSerializer::kMaxNestingDepth) {
    if (admitted_) {
      ++nesting_depth;
    } else if (!nesting_refused) {
      nesting_refused = true;
      stream->ReportFault(
          "Nesting too deep in StandardCodecSerializer::ReadValueOfType: more than 256 levels of "
          "lists and maps");
    }
  }
  ~NestingScope() {
    if (admitted_) --nesting_depth;
    // The outermost container clears the refusal for the next value.
    if (nesting_depth == 0) nesting_refused = false;
  }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;

  bool admitted() const { return admitted_; }

 private:
  bool admitted_;
};

}  // namespace

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  std::visit(
      [this, stream](const auto& contents) {
        using T = std::decay_t<decltype(contents)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          stream->WriteByte(kNull);
        } else if constexpr (std::is_same_v<T, bool>) {
          stream->WriteByte(contents ? kTrue : kFalse);
        } else if constexpr (std::is_same_v<T, int32_t>) {
          stream->WriteByte(kInt32);
          WriteScalar(contents, stream);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          stream->WriteByte(kInt64);
          WriteScalar(contents, stream);
        } else if constexpr (std::is_same_v<T, double>) {
          stream->WriteByte(kDouble);
          stream->WritePadding(8);
          WriteScalar(contents, stream);
        } else if constexpr (std::is_same_v<T, std::string>) {
          stream->WriteByte(kString);
          WriteSequence(*this, contents, stream);
        } else if constexpr (std::is_same_v<T, std::vector<uint8_t>>) {
          stream->WriteByte(kUint8List);
          WriteSequence(*this, contents, stream);
        } else if constexpr (std::is_same_v<T, std::vector<int32_t>>) {
          stream->WriteByte(kInt32List);
          WriteSequence(*this, contents, stream);
        } else if constexpr (std::is_same_v<T, std::vector<int64_t>>) {
          stream->WriteByte(kInt64List);
          WriteSequence(*this, contents, stream);
        } else if constexpr (std::is_same_v<T, std::vector<double>>) {
          stream->WriteByte(kFloat64List);
          WriteSequence(*this, contents, stream);
        } else if constexpr (std::is_same_v<T, std::vector<float>>) {
          stream->WriteByte(kFloat32List);
          WriteSequence(*this, contents, stream);
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          stream->WriteByte(kList);
          WriteCount(contents.size(), stream);
          for (const EncodableValue& element : contents) WriteValue(element, stream);
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          stream->WriteByte(kMap);
          WriteCount(contents.size(), stream);
          for (const auto& [key, entry_value] : contents) {
            WriteValue(key, stream);
            WriteValue(entry_value, stream);
          }
        } else {
          static_assert(std::is_same_v<T, CustomEncodableValue>);
          stream->WriteByte(kNull);
          WriteDiagnosticLine("Unhandled custom type in StandardCodecSerializer::WriteValue. ",
                              "Custom types require codec extensions.");
        }
      },
      value.variant());
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  switch (type) {
    case kNull:
      return EncodableValue();
    case kTrue:
      return EncodableValue(true);
    case kFalse:
      return EncodableValue(false);
    case kInt32:
      return EncodableValue(ReadScalar<int32_t>(stream));
    case kInt64:
      return EncodableValue(ReadScalar<int64_t>(stream));
    case kDouble:
      stream->SkipPadding(8);
      return EncodableValue(ReadScalar<double>(stream));
    case kLargeInt:
    case kString:
      return ReadSequence<std::string>(*this, stream);
    case kUint8List:
      return ReadSequence<std::vector<uint8_t>>(*this, stream);
    case kInt32List:
      return ReadSequence<std::vector<int32_t>>(*this, stream);
    case kInt64List:
      return ReadSequence<std::vector<int64_t>>(*this, stream);
    case kFloat64List:
      return ReadSequence<std::vector<double>>(*this, stream);
    case kFloat32List:
      return ReadSequence<std::vector<float>>(*this, stream);
    case kList:
      return ReadList(stream);
    case kMap:
      return ReadMap(stream);
    default:
      stream->ReportFault("Unknown type in StandardCodecSerializer::ReadValueOfType: ",
                          std::to_string(type));
      return EncodableValue();
  }
}

EncodableValue StandardCodecSerializer::ReadList(ByteStreamReader* stream) const {
  NestingScope scope(stream);
  if (!scope.admitted()) return EncodableValue();
  const size_t count = ReadCount(stream);
  if (count > stream->MessageLength()) {
    stream->ReportReadPastEnd();
    return EncodableValue(EncodableList());
  }
  EncodableList list;
  for (size_t i = 0; i < count && !nesting_refused && !stream->exhausted(); ++i) {
    list.push_back(ReadTaggedValue(stream));
  }
  if (nesting_refused) return EncodableValue();
  return EncodableValue(std::move(list));
}

EncodableValue StandardCodecSerializer::ReadMap(ByteStreamReader* stream) const {
  NestingScope scope(stream);
  if (!scope.admitted()) return EncodableValue();
  const size_t count = ReadCount(stream);
  if (count > stream->MessageLength()) {
    stream->ReportReadPastEnd();
    return EncodableValue(EncodableMap());
  }
  EncodableMap map;
  for (size_t i = 0; i < count && !nesting_refused && !stream->exhausted(); ++i) {
    EncodableValue key = ReadTaggedValue(stream);
    if (nesting_refused || stream->exhausted()) break;
    EncodableValue value = ReadTaggedValue(stream);
    // A key that occurs twice keeps its first value.
    map.emplace(std::move(key), std::move(value));
  }
  if (nesting_refused) return EncodableValue();
  return EncodableValue(std::move(map));
}

EncodableValue StandardCodecSerializer::ReadTaggedValue(ByteStreamReader* stream) const {
  return ReadValueOfType(stream->ReadByte(), stream);
}

void StandardCodecSerializer::WriteCount(size_t count, ByteStreamWriter* stream) const {
  if (count < kCount16) {
    stream->WriteByte(static_cast<uint8_t>(count));
  } else if (count <= 0xFFFF) {
    stream->WriteByte(kCount16);
    WriteScalar(static_cast<uint16_t>(count), stream);
  } else {
    // Larger counts than 32 bits cannot be represented; no message comes near.
    stream->WriteByte(kCount32);
    WriteScalar(static_cast<uint32_t>(count), stream);
  }
}

size_t StandardCodecSerializer::ReadCount(ByteStreamReader* stream) const {
  const uint8_t first = stream->ReadByte();
  if (first < kCount16) return first;
  if (first == kCount16) return ReadScalar<uint16_t>(stream);
  return ReadScalar<uint32_t>(stream);
}

size_t MaxEncodedSize(const EncodableValue& value) {
  constexpr size_t kTagAndCount = 1 + 5;
  return std::visit(
      [](const auto& contents) -> size_t {
        using T = std::decay_t<decltype(contents)>;
        if constexpr (std::is_same_v<T, EncodableList>) {
          size_t size = kTagAndCount;
          for (const EncodableValue& element : contents) size += MaxEncodedSize(element);
          return size;
        } else if constexpr (std::is_same_v<T, EncodableMap>) {
          size_t size = kTagAndCount;
          for (const auto& [key, entry_value] : contents) {
            size += MaxEncodedSize(key) + MaxEncodedSize(entry_value);
          }
          return size;
        } else if constexpr (std::is_same_v<T, std::string> ||
                             std::is_same_v<T, std::vector<uint8_t>>) {
          return kTagAndCount + contents.size();
        } else if constexpr (std::is_same_v<T, std::vector<int32_t>> ||
                             std::is_same_v<T, std::vector<int64_t>> ||
                             std::is_same_v<T, std::vector<double>> ||
                             std::is_same_v<T, std::vector<float>>) {
          return kTagAndCount + 7 + contents.size() * sizeof(typename T::value_type);
        } else {
          // A tag, and for a double up to 7 bytes of padding before its 8 bytes.
          return 16;
        }
      },
      value.variant());
}

const StandardCodecSerializer& SharedSerializer() {
  static const StandardCodecSerializer serializer;
  return serializer;
}

}  // namespace flutter
