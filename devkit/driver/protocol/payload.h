#ifndef DEVKIT_DRIVER_PROTOCOL_PAYLOAD_H_
#define DEVKIT_DRIVER_PROTOCOL_PAYLOAD_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "devkit/driver/protocol/frame_reader.h"

namespace devkit {

// Fields of a frame's payload: integers little-endian, a bool as one byte 0 or 1, strings and
// byte blocks as a 4-byte length and the bytes, a string list as a 4-byte count and the strings.
class PayloadWriter {
 public:
  void U32(uint32_t value);
  void U64(uint64_t value);
  void Bool(bool value);
  void Blob(const uint8_t* data, size_t size);
  void Blob(const Bytes& bytes) { Blob(bytes.data(), bytes.size()); }
  void String(std::string_view text);
  void StringList(const std::vector<std::string>& texts);

  Bytes Take() { return std::move(bytes_); }

 private:
  Bytes bytes_;
};

// Reads the fields of one payload. Every declared length is checked against what is left before
// anything is allocated; the first fault stops the reading and names |what| was being read.
class PayloadReader {
 public:
  PayloadReader(const Bytes& payload, std::string_view what) : payload_(payload), what_(what) {}

  bool U32(uint32_t* value);
  bool U64(uint64_t* value);
  bool Bool(bool* value);
  bool Blob(Bytes* bytes);
  bool String(std::string* text);
  bool StringList(std::vector<std::string>* texts);

  // True when every byte was read and nothing failed; trailing bytes are a fault, since they mean
  // that the two sides disagree about the layout.
  bool Finish();

  const std::string& error() const { return error_; }

 private:
  bool Need(size_t size);
  uint64_t ReadLittleEndian(size_t size);

  const Bytes& payload_;
  std::string what_;
  size_t position_ = 0;
  std::string error_;
};

}  // namespace devkit

#endif  // DEVKIT_DRIVER_PROTOCOL_PAYLOAD_H_
