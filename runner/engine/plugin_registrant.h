#ifndef RUNNER_ENGINE_PLUGIN_REGISTRANT_H_
#define RUNNER_ENGINE_PLUGIN_REGISTRANT_H_

#include "runner/engine/plugin_registry.h"

// Registers every plug-in library the host ships with the engine behind |registry|.
void RegisterAllPlugins(flutter::PluginRegistry* registry);

#endif  // RUNNER_ENGINE_PLUGIN_REGISTRANT_H_
