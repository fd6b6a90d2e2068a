#include "runner/engine/plugin_registrant.h"

#include "runner/engine/url_launcher_plugin.h"

void RegisterAllPlugins(flutter::PluginRegistry* registry) {
  UrlLauncherWindowsRegisterWithRegistrar(registry->GetRegistrar("UrlLauncherWindows"));
}
