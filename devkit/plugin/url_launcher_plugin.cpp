// The stand-in URL-launcher plug-in: it takes the registrar the host gives it and records the
// registration in it, where the stand-in engine (and through it the driver) sees it. It offers
// nothing else: no test may open a URL, which would reach the machine's browser.

#include "engine_api/url_launcher_plugin.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "devkit/engine/plugin_registrar.h"

namespace {

constexpr char kPluginName[] = "UrlLauncherWindows";

void WritePluginDiagnostic(const std::string& text) {
  const std::string line = "url_launcher_windows_plugin (development kit): " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void UrlLauncherWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar) {
  if (registrar == nullptr || registrar->magic != FlutterDesktopPluginRegistrar::kMagic) {
    WritePluginDiagnostic("not registered: no registrar of the development engine was given");
    return;
  }
  // A registrar asked for under another name means the host registered the plug-in wrongly;
  // recording nothing lets a test see that.
  if (registrar->plugin_name == nullptr || std::strcmp(registrar->plugin_name, kPluginName) != 0) {
    WritePluginDiagnostic(std::string("not registered: the registrar is for \"") +
                          (registrar->plugin_name != nullptr ? registrar->plugin_name : "") +
                          "\", not \"" + kPluginName + "\"");
    return;
  }
  registrar->registrations.fetch_add(1);
}
