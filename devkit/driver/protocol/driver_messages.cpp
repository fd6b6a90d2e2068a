#include "devkit/driver/protocol/driver_messages.h"

#include <limits>

namespace devkit {
namespace {

// Only a value that holds exactly the alternative |Alternative|.
template <typename Alternative>
bool ReadAlternative(const flutter::EncodableValue& value, Alternative* field) {
  const Alternative* held = value.GetIf<Alternative>();
  if (held == nullptr) return false;
  *field = *held;
  return true;
}

}  // namespace

flutter::EncodableValue FieldValue(uint32_t field) { return static_cast<int64_t>(field); }

// The bits as they are: a window handle or a count past 2^63 comes back unchanged.
flutter::EncodableValue FieldValue(uint64_t field) { return static_cast<int64_t>(field); }

flutter::EncodableValue FieldValue(bool field) { return field; }

flutter::EncodableValue FieldValue(const std::string& field) { return field; }

flutter::EncodableValue FieldValue(const Bytes& field) { return field; }

flutter::EncodableValue FieldValue(const std::vector<std::string>& field) {
  return flutter::EncodableList(field.begin(), field.end());
}

bool ReadField(const flutter::EncodableValue& value, uint32_t* field) {
  int64_t number = 0;
  if (!ReadAlternative(value, &number) || number < 0 ||
      number > std::numeric_limits<uint32_t>::max()) {
    return false;
  }
  *field = static_cast<uint32_t>(number);
  return true;
}

bool ReadField(const flutter::EncodableValue& value, uint64_t* field) {
  int64_t number = 0;
  if (!ReadAlternative(value, &number)) return false;
  *field = static_cast<uint64_t>(number);
  return true;
}

bool ReadField(const flutter::EncodableValue& value, bool* field) {
  return ReadAlternative(value, field);
}

bool ReadField(const flutter::EncodableValue& value, std::string* field) {
  return ReadAlternative(value, field);
}

bool ReadField(const flutter::EncodableValue& value, Bytes* field) {
  return ReadAlternative(value, field);
}

bool ReadField(const flutter::EncodableValue& value, std::vector<std::string>* field) {
  const flutter::EncodableList* list = value.GetIf<flutter::EncodableList>();
  if (list == nullptr) return false;
  std::vector<std::string> texts;
  texts.reserve(list->size());
  for (const flutter::EncodableValue& element : *list) {
    if (!ReadField(element, &texts.emplace_back())) return false;
  }
  *field = std::move(texts);
  return true;
}

}  // namespace devkit
