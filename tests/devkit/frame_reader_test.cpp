#include "devkit/driver/protocol/frame_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace devkit {
namespace {

Bytes FrameBytes(FrameType type, const Bytes& payload) {
  Bytes bytes;
  EXPECT_TRUE(AppendFrame(type, payload, &bytes));
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

TEST(FrameReaderTest, FramesComeOutWholeHoweverTheStreamIsCut) {
  Bytes large(100000);
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i);
  Bytes stream = FrameBytes(FrameType::kHello, {1, 2, 3});
  const Bytes empty = FrameBytes(FrameType::kGoodbye, {});
  const Bytes big = FrameBytes(FrameType::kCallReply, large);
  stream.insert(stream.end(), empty.begin(), empty.end());
  stream.insert(stream.end(), big.begin(), big.end());

  for (size_t piece : {size_t{1}, size_t{4}, size_t{5}, size_t{4096}, stream.size()}) {
    SCOPED_TRACE(piece);
    FrameReader reader;
    const std::vector<Frame> frames = ReadAll(stream, piece, &reader);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].type, FrameType::kHello);
    EXPECT_EQ(frames[0].payload, (Bytes{1, 2, 3}));
    EXPECT_EQ(frames[1].type, FrameType::kGoodbye);
    EXPECT_TRUE(frames[1].payload.empty());
    EXPECT_EQ(frames[2].type, FrameType::kCallReply);
    EXPECT_EQ(frames[2].payload, large);
    EXPECT_TRUE(reader.Finish()) << reader.error();
  }
}

TEST(FrameReaderTest, HeaderIsLengthLittleEndianThenType) {
  EXPECT_EQ(FrameBytes(FrameType::kCall, {0xAA, 0xBB}), (Bytes{2, 0, 0, 0, 2, 0xAA, 0xBB}));
  Bytes payload(0x010203);
  const Bytes frame = FrameBytes(FrameType::kStateQuery, payload);
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 5), (Bytes{0x03, 0x02, 0x01, 0x00, 6}));
}

TEST(FrameReaderTest, OversizedFrameIsRefusedFromItsHeaderAlone) {
  FrameReader reader;
  // One byte over the limit, and nothing of the payload sent: the reader must not wait for it.
  const uint32_t length = kMaxFramePayload + 1;
  const Bytes header = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                        static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24),
                        static_cast<uint8_t>(FrameType::kCall)};
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
  Bytes out = {7};
  EXPECT_FALSE(AppendFrame(FrameType::kCallReply, Bytes(kMaxFramePayload + 1), &out));
  EXPECT_EQ(out, Bytes{7}) << "something was appended";
  EXPECT_TRUE(AppendFrame(FrameType::kCallReply, Bytes(kMaxFramePayload), &out));
}

TEST(FrameReaderTest, UnknownFrameTypeIsRefused) {
  for (uint8_t type : {uint8_t{0}, uint8_t{9}, uint8_t{0xFF}}) {
    FrameReader reader;
    const Bytes frame = {0, 0, 0, 0, type};
    reader.Append(frame.data(), frame.size());
    Frame ignored;
    EXPECT_EQ(reader.Next(&ignored), FrameReader::Status::kError);
    EXPECT_NE(reader.error().find("is not part of the driver protocol"), std::string::npos)
        << reader.error();
  }
}

TEST(FrameReaderTest, StreamEndingInsideAFrameIsAnError) {
  const Bytes frame = FrameBytes(FrameType::kCall, {1, 2, 3, 4});
  {
    FrameReader reader;
    reader.Append(frame.data(), 3);
    Frame ignored;
    EXPECT_EQ(reader.Next(&ignored), FrameReader::Status::kNeedMore);
    EXPECT_FALSE(reader.Finish());
    EXPECT_EQ(reader.error(), "the stream ended inside a frame header: 3 of 5 bytes received");
  }
  {
    FrameReader reader;
    reader.Append(frame.data(), frame.size() - 1);
    Frame ignored;
    EXPECT_EQ(reader.Next(&ignored), FrameReader::Status::kNeedMore);
    EXPECT_FALSE(reader.Finish());
    EXPECT_EQ(reader.error(), "the stream ended inside a frame: 8 of 9 bytes received");
  }
}

}  // namespace
}  // namespace devkit
