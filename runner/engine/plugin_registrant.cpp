#include "runner/engine/plugin_registrant.h"

#include "url_launcher_plugin.h"

void RegisterAllPlugins(flutter::PluginRegistry* registry) {
  UrlLauncherWindowsRegisterWithRegistrar(registry->GetRegistrar("UrlLauncherWindows"));
}
