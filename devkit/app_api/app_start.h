#ifndef DEVKIT_APP_API_APP_START_H_
#define DEVKIT_APP_API_APP_START_H_

// What every UI application of the development kit checks and reads when the engine starts it.

#include <string>
#include <vector>

#include "devkit/app_api/app_interface.h"

namespace devkit {

// Whether the engine starting the application offers the interface it was built against.
inline bool IsUsableStart(const KeeloAppStartInfo* info, const KeeloPeerInterface* peer) {
  return info != nullptr && peer != nullptr && peer->struct_size >= sizeof(KeeloPeerInterface) &&
         peer->version == KEELO_APP_INTERFACE_VERSION;
}

// The entrypoint arguments the host passed on.
inline std::vector<std::string> StartArguments(const KeeloAppStartInfo& info) {
  std::vector<std::string> arguments;
  if (info.argument_count > 0) {
    arguments.assign(info.arguments, info.arguments + info.argument_count);
  }
  return arguments;
}

}  // namespace devkit

#endif  // DEVKIT_APP_API_APP_START_H_
