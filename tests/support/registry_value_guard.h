#ifndef TESTS_SUPPORT_REGISTRY_VALUE_GUARD_H_
#define TESTS_SUPPORT_REGISTRY_VALUE_GUARD_H_

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace keelo::testing {

// Puts one value of HKEY_CURRENT_USER back as it was when the guard was made, also when the test
// fails half-way: every test of a run shares one Wine prefix, so a value left behind (a DPI, a
// theme, a Run entry, a proxy) would change the tests that come after.
class RegistryValueGuard {
 public:
  RegistryValueGuard(std::wstring key, std::wstring name)
      : key_(std::move(key)), name_(std::move(name)), saved_(Read()) {}
  ~RegistryValueGuard() { Restore(); }

  RegistryValueGuard(const RegistryValueGuard&) = delete;
  RegistryValueGuard& operator=(const RegistryValueGuard&) = delete;

  LSTATUS SetDword(DWORD value) const {
    return RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str(), REG_DWORD, &value,
                           sizeof(value));
  }
  LSTATUS SetBinary(const std::vector<uint8_t>& data) const {
    return RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str(), REG_BINARY, data.data(),
                           static_cast<DWORD>(data.size()));
  }
  LSTATUS Delete() const {
    return RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str());
  }

  // Back to the saved state now; the destructor does it again, harmlessly.
  void Restore() const {
    if (!saved_) {
      Delete();
      return;
    }
    RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str(), saved_->type,
                    saved_->data.data(), static_cast<DWORD>(saved_->data.size()));
  }

 private:
  struct Value {
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
  };

  std::optional<Value> Read() const {
    Value value;
    DWORD size = 0;
    // RRF_NOEXPAND keeps a REG_EXPAND_SZ as it is stored, so that it is written back unchanged.
    const DWORD flags = RRF_RT_ANY | RRF_NOEXPAND;
    if (RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str(), flags, &value.type, nullptr,
                     &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    value.data.resize(size);
    if (RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), name_.c_str(), flags, &value.type,
                     value.data.data(), &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    value.data.resize(size);
    return value;
  }

  std::wstring key_;
  std::wstring name_;
  std::optional<Value> saved_;
};

}  // namespace keelo::testing

#endif  // TESTS_SUPPORT_REGISTRY_VALUE_GUARD_H_
