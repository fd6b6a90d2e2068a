#ifndef TESTS_SUPPORT_RECORDING_METHOD_RESULT_H_
#define TESTS_SUPPORT_RECORDING_METHOD_RESULT_H_

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "messaging/method_result.h"
#include "tests/support/codec_test_support.h"

namespace flutter::testing {

// A reply sink that writes each reply it gets as one line, values by their encoding, into a log
// that outlives it.
class RecordingMethodResult : public MethodResult {
 public:
  using Log = std::shared_ptr<std::vector<std::string>>;

  Log log() const { return log_; }

  void Success(const EncodableValue* result) override {
    log_->push_back("success " + Describe(result));
  }
  void Error(const std::string& code, const std::string& message,
             const EncodableValue* details) override {
    log_->push_back("error " + code + " '" + message + "' " + Describe(details));
  }
  void NotImplemented() override { log_->push_back("not implemented"); }

 private:
  static std::string Describe(const EncodableValue* value) {
    if (value == nullptr) return "none";
    std::string text;
    for (uint8_t byte : Encode(*value)) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02X ", byte);
      text += hex;
    }
    text.pop_back();
    return text;
  }

  Log log_ = std::make_shared<std::vector<std::string>>();
};

}  // namespace flutter::testing

#endif  // TESTS_SUPPORT_RECORDING_METHOD_RESULT_H_
