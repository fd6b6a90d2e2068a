#include "devkit/driver/protocol/payload.h"

namespace devkit {

void PayloadWriter::U32(uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    bytes_.push_back(static_cast<uint8_t>(value >> shift));
}

void PayloadWriter::U64(uint64_t value) {
  for (int shift = 0; shift < 64; shift += 8)
    bytes_.push_back(static_cast<uint8_t>(value >> shift));
}

void PayloadWriter::Bool(bool value) { bytes_.push_back(value ? 1 : 0); }

void PayloadWriter::Blob(const uint8_t* data, size_t size) {
  U32(static_cast<uint32_t>(size));
  bytes_.insert(bytes_.end(), data, data + size);
}

void PayloadWriter::String(std::string_view text) {
  Blob(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void PayloadWriter::StringList(const std::vector<std::string>& texts) {
  U32(static_cast<uint32_t>(texts.size()));
  for (const std::string& text : texts) String(text);
}

bool PayloadReader::Need(size_t size) {
  if (!error_.empty()) return false;
  const size_t left = payload_.size() - position_;
  if (size <= left) return true;
  error_ = "truncated " + what_ + ": " + std::to_string(size) + " bytes needed at offset " +
           std::to_string(position_) + ", " + std::to_string(left) + " left";
  return false;
}

uint64_t PayloadReader::ReadLittleEndian(size_t size) {
  uint64_t value = 0;
  for (size_t i = 0; i < size; ++i)
    value |= static_cast<uint64_t>(payload_[position_ + i]) << (8 * i);
  position_ += size;
  return value;
}

bool PayloadReader::U32(uint32_t* value) {
  if (!Need(4)) return false;
  *value = static_cast<uint32_t>(ReadLittleEndian(4));
  return true;
}

bool PayloadReader::U64(uint64_t* value) {
  if (!Need(8)) return false;
  *value = ReadLittleEndian(8);
  return true;
}

bool PayloadReader::Bool(bool* value) {
  if (!Need(1)) return false;
  const uint8_t byte = payload_[position_];
  if (byte > 1) {
    error_ = "invalid bool " + std::to_string(byte) + " at offset " + std::to_string(position_) +
             " of " + what_;
    return false;
  }
  ++position_;
  *value = byte == 1;
  return true;
}

bool PayloadReader::Blob(Bytes* bytes) {
  uint32_t size = 0;
  if (!U32(&size) || !Need(size)) return false;
  const auto begin = payload_.begin() + static_cast<std::ptrdiff_t>(position_);
  bytes->assign(begin, begin + size);
  position_ += size;
  return true;
}

bool PayloadReader::String(std::string* text) {
  uint32_t size = 0;
  if (!U32(&size) || !Need(size)) return false;
  text->assign(reinterpret_cast<const char*>(payload_.data() + position_), size);
  position_ += size;
  return true;
}

bool PayloadReader::StringList(std::vector<std::string>* texts) {
  uint32_t count = 0;
  if (!U32(&count)) return false;
  // Each string takes at least its 4-byte length, so a count beyond that cannot be right and is
  // refused before the list is sized by it.
  if (!Need(static_cast<size_t>(count) * 4)) return false;
  texts->clear();
  texts->reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    std::string text;
    if (!String(&text)) return false;
    texts->push_back(std::move(text));
  }
  return true;
}

bool PayloadReader::Finish() {
  if (!error_.empty()) return false;
  if (position_ == payload_.size()) return true;
  error_ =
      what_ + " has " + std::to_string(payload_.size() - position_) + " unexpected trailing bytes";
  return false;
}

}  // namespace devkit
