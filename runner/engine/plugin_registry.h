#ifndef RUNNER_ENGINE_PLUGIN_REGISTRY_H_
#define RUNNER_ENGINE_PLUGIN_REGISTRY_H_

#include <string>

#include "engine_api/flutter_windows.h"

namespace flutter {

// Hands out the engine's registrar for a plug-in, by the plug-in's name.
class PluginRegistry {
 public:
  virtual ~PluginRegistry() = default;

  // Null when there is no running engine to register with.
  virtual FlutterDesktopPluginRegistrarRef GetRegistrar(const std::string& plugin_name) = 0;
};

}  // namespace flutter

#endif  // RUNNER_ENGINE_PLUGIN_REGISTRY_H_
