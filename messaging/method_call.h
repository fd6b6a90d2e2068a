#ifndef MESSAGING_METHOD_CALL_H_
#define MESSAGING_METHOD_CALL_H_

#include <memory>
#include <string>
#include <utility>

#include "messaging/encodable_value.h"

namespace flutter {

// A decoded call: the method name and its argument value. It lives for one dispatch; handlers
// read it and never keep it.
class MethodCall {
 public:
  MethodCall(std::string method_name, std::unique_ptr<EncodableValue> arguments)
      : method_name_(std::move(method_name)), arguments_(std::move(arguments)) {}
  virtual ~MethodCall() = default;

  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;

  const std::string& method_name() const { return method_name_; }

  // Empty for a call built without arguments; a call decoded from a message always has one.
  const EncodableValue* arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<EncodableValue> arguments_;
};

}  // namespace flutter

#endif  // MESSAGING_METHOD_CALL_H_
