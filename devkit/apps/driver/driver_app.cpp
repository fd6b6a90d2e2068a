// The driver's UI application (app.so): started by the stand-in engine like any UI application,
// it hands the host's channels to a test in another process through a DriverSession.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "common/text_conversion.h"
#include "devkit/app_api/app_interface.h"
#include "devkit/app_api/app_start.h"
#include "devkit/apps/driver/driver_session.h"
#include "devkit/driver/protocol/driver_config.h"

namespace {

// Read from the process's environment block rather than the C runtime's copy of it, which does
// not see variables set with SetEnvironmentVariable after start-up.
std::optional<std::string> EnvironmentVariable(const char* name) {
  const std::wstring wide_name = Utf8ToWide(name);
  const DWORD size = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(wide_name.c_str(), value.data(), size));
  return WideToUtf8(value);
}

const char* OrNull(const std::optional<std::string>& value) {
  return value ? value->c_str() : nullptr;
}

}  // namespace

extern "C" __declspec(dllexport) void* KeeloAppStart(const KeeloAppStartInfo* info,
                                                     const KeeloPeerInterface* peer) {
  if (!devkit::IsUsableStart(info, peer)) return nullptr;
  std::vector<std::string> arguments = devkit::StartArguments(*info);
  const std::optional<std::string> pipe = EnvironmentVariable(devkit::kPipeVariable);
  const std::optional<std::string> channels = EnvironmentVariable(devkit::kChannelsVariable);
  devkit::DriverConfig config =
      devkit::ParseDriverConfig(arguments, OrNull(pipe), OrNull(channels));
  return new devkit::DriverSession(*peer, std::move(config),
                                   info->entrypoint != nullptr ? info->entrypoint : "",
                                   std::move(arguments));
}

extern "C" __declspec(dllexport) void KeeloAppStop(void* app) {
  delete static_cast<devkit::DriverSession*>(app);
}
