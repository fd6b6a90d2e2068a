#include "devkit/driver/protocol/frame_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace devkit {
namespace {

using flutter::EncodableList;
using flutter::EncodableValue;

Bytes FrameBytes(FrameType type, EncodableList values) {
  Bytes bytes;
  EXPECT_TRUE(AppendFrame(Frame{type, std::move(values)}, &bytes));
  return bytes;
}

Bytes LittleEndian32(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

// A frame whose payload is |payload| as it stands, sound or not.
Bytes RawFrame(const Bytes& payload) {
  Bytes bytes = LittleEndian32(static_cast<uint32_t>(payload.size()));
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

// Every frame the reader gives for |stream| fed in pieces of |piece| bytes.
std::vector<Frame> ReadAll(const Bytes& stream, size_t piece, FrameReader* reader) {
  std::vector<Frame> frames;
  for (size_t offset = 0; offset < stream.size(); offset += piece) {
    const size_t size = std::min(piece, stream.size() - offset);
    reader->Append(stream.data() + offset, size);
    Frame frame;
    while (reader->Next(&frame) == FrameReader::Status::kFrame) frames.push_back(frame);
  }
  return frames;
}

// The reader's verdict on a stream that holds |frame| alone.
std::string ErrorOf(const Bytes& frame) {
  FrameReader reader;
  reader.Append(frame.data(), frame.size());
  Frame ignored;
  EXPECT_EQ(reader.Next(&ignored), FrameReader::Status::kError);
  return reader.error();
}

TEST(FrameReaderTest, FramesComeOutWholeHoweverTheStreamIsCut) {
  Bytes large(100000);
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i);
  Bytes stream = FrameBytes(FrameType::kHello, {int64_t{1}, "two"});
  const Bytes empty = FrameBytes(FrameType::kGoodbye, {});
  const Bytes big = FrameBytes(FrameType::kCallReply, {large});
  stream.insert(stream.end(), empty.begin(), empty.end());
  stream.insert(stream.end(), big.begin(), big.end());

  for (size_t piece : {size_t{1}, size_t{4}, size_t{5}, size_t{4096}, stream.size()}) {
    SCOPED_TRACE(piece);
    FrameReader reader;
    const std::vector<Frame> frames = ReadAll(stream, piece, &reader);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].type, FrameType::kHello);
    EXPECT_EQ(frames[0].values, (EncodableList{int64_t{1}, "two"}));
    EXPECT_EQ(frames[1].type, FrameType::kGoodbye);
    EXPECT_TRUE(frames[1].values.empty());
    EXPECT_EQ(frames[2].type, FrameType::kCallReply);
    EXPECT_EQ(frames[2].values, EncodableList{large});
    EXPECT_TRUE(reader.Finish()) << reader.error();
  }
}

TEST(FrameReaderTest, FrameIsLengthLittleEndianThenAListThatBeginsWithTheType) {
  // A list (12) of two: the type as a 32-bit integer (3), and a byte list (8) of two bytes.
  EXPECT_EQ(FrameBytes(FrameType::kCall, {Bytes{0xAA, 0xBB}}),
            (Bytes{11, 0, 0, 0, 12, 2, 3, 2, 0, 0, 0, 8, 2, 0xAA, 0xBB}));
  const Bytes frame = FrameBytes(FrameType::kStateQuery, {Bytes(0x010203)});
  // 2 for the list, 5 for the type, 1 + 5 for the byte list's tag and its 32-bit count form.
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4), (Bytes{0x10, 0x02, 0x01, 0x00}));
}

TEST(FrameReaderTest, OversizedFrameIsRefusedFromItsHeaderAlone) {
  FrameReader reader;
  // One byte over the limit, and nothing of the payload sent: the reader must not wait for it.
  const Bytes header = LittleEndian32(kMaxFramePayload + 1);
  reader.Append(header.data(), header.size());
  Frame frame;
  EXPECT_EQ(reader.Next(&frame), FrameReader::Status::kError);
  EXPECT_EQ(reader.error(),
            "frame declares a payload of 67108865 bytes, over the limit of "
            "67108864 bytes");
  // The fault is final: later bytes, even a sound frame, are not trusted.
  const Bytes sound = FrameBytes(FrameType::kHello, {});
  reader.Append(sound.data(), sound.size());
  EXPECT_EQ(reader.Next(&frame), FrameReader::Status::kError);
  EXPECT_FALSE(reader.Finish());
}

TEST(FrameReaderTest, AppendFrameRefusesAPayloadOverTheLimit) {
  // The list's tag and count, the type, and the byte list's tag and count take 13 bytes.
  constexpr size_t kOverhead = 13;
  Bytes out = {7};
  EXPECT_FALSE(
      AppendFrame(Frame{FrameType::kCallReply, {Bytes(kMaxFramePayload - kOverhead + 1)}}, &out));
  EXPECT_EQ(out, Bytes{7}) << "something was appended";
  EXPECT_TRUE(
      AppendFrame(Frame{FrameType::kCallReply, {Bytes(kMaxFramePayload - kOverhead)}}, &out));
  EXPECT_EQ(out.size(), 1 + kFrameHeaderSize + kMaxFramePayload);
}

TEST(FrameReaderTest, UnknownFrameTypeIsRefused) {
  for (int32_t type : {0, 9, -1}) {
    // A list (12) of one 32-bit integer (3).
    Bytes payload = {12, 1, 3};
    const Bytes value = LittleEndian32(static_cast<uint32_t>(type));
    payload.insert(payload.end(), value.begin(), value.end());
    EXPECT_EQ(ErrorOf(RawFrame(payload)),
              "frame type " + std::to_string(type) + " is not part of the driver protocol");
  }
}

TEST(FrameReaderTest, PayloadThatIsNotAListOfAFrameTypeIsRefused) {
  // An empty payload, a bare integer, an empty list, and a list that begins with a string.
  for (const Bytes& payload : {Bytes{}, Bytes{3, 1, 0, 0, 0}, Bytes{12, 0}, Bytes{12, 1, 7, 0}}) {
    EXPECT_NE(ErrorOf(RawFrame(payload))
                  .find("a frame payload of " + std::to_string(payload.size()) + " bytes is not"),
              std::string::npos);
  }
}

TEST(FrameReaderTest, TruncatedOrOverlongPayloadIsRefused) {
  const Bytes sound = FrameBytes(FrameType::kCall, {int64_t{7}, "app/desktop", Bytes{1, 2, 3}});
  const Bytes payload(sound.begin() + kFrameHeaderSize, sound.end());
  // Every payload cut short, with a header that declares just what is there: never read with
  // zeros for what is missing.
  for (size_t length = 0; length < payload.size(); ++length) {
    SCOPED_TRACE(length);
    EXPECT_EQ(ErrorOf(RawFrame(Bytes(payload.begin(), payload.begin() + length))),
              "a frame payload of " + std::to_string(length) +
                  " bytes is not a value of the standard encoding");
  }
  Bytes longer = payload;
  longer.push_back(0);
  EXPECT_EQ(ErrorOf(RawFrame(longer)), "a frame payload of " + std::to_string(longer.size()) +
                                           " bytes goes on after its value");
}

TEST(FrameReaderTest, DeclaredSizesBeyondThePayloadAreRefusedBeforeUse) {
  // A byte list that claims 4 GiB, and a list that claims four billion values, in a few bytes.
  for (const Bytes& payload : {Bytes{12, 2, 3, 3, 0, 0, 0, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0},
                               Bytes{12, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 3, 7, 0, 0, 0}}) {
    EXPECT_NE(ErrorOf(RawFrame(payload)).find("is not a value of the standard encoding"),
              std::string::npos);
  }
}

TEST(FrameReaderTest, StreamEndingInsideAFrameIsAnError) {
  const Bytes frame = FrameBytes(FrameType::kCall, {int64_t{1}});
  {
    FrameReader reader;
    reader.Append(frame.data(), 3);
    Frame ignored;
    EXPECT_EQ(reader.Next(&ignored), FrameReader::Status::kNeedMore);
    EXPECT_FALSE(reader.Finish());
    EXPECT_EQ(reader.error(), "the stream ended inside a frame header: 3 of 4 bytes received");
  }
  {
    FrameReader reader;
    reader.Append(frame.data(), frame.size() - 1);
    Frame ignored;
    EXPECT_EQ(reader.Next(&ignored), FrameReader::Status::kNeedMore);
    EXPECT_FALSE(reader.Finish());
    EXPECT_EQ(reader.error(), "the stream ended inside a frame: 19 of 20 bytes received");
  }
}

}  // namespace
}  // namespace devkit
