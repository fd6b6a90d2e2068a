#ifndef MESSAGING_METHOD_RESULT_H_
#define MESSAGING_METHOD_RESULT_H_

#include <functional>
#include <memory>
#include <string>

#include "messaging/encodable_value.h"
#include "messaging/method_call.h"

namespace flutter {

// The reply sink of one call. Its owner calls exactly one of the three operations, exactly once.
class MethodResult {
 public:
  MethodResult() = default;
  virtual ~MethodResult() = default;

  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;

  // |result| may be null for a reply without a value.
  virtual void Success(const EncodableValue* result) = 0;
  // |details| may be null.
  virtual void Error(const std::string& error_code, const std::string& error_message,
                     const EncodableValue* details) = 0;
  // The method is not handled.
  virtual void NotImplemented() = 0;
};

using MethodCallHandler =
    std::function<void(const MethodCall& call, std::unique_ptr<MethodResult> result)>;

}  // namespace flutter

#endif  // MESSAGING_METHOD_RESULT_H_
