#ifndef DEVKIT_ENGINE_PLUGIN_REGISTRAR_H_
#define DEVKIT_ENGINE_PLUGIN_REGISTRAR_H_

#include <atomic>
#include <cstdint>

// The registrar the stand-in engine hands out for one plug-in name. Shared with the stand-in
// plug-in, which records its registration here so that the engine, and through it the driver,
// can tell whether the host registered it. Both libraries are built by the same toolchain, so
// the layout is the same on both sides; the magic tells a registrar of this engine from anything
// else a plug-in might be handed.
struct FlutterDesktopPluginRegistrar {
  static constexpr uint32_t kMagic = 0x4B44504C;

  uint32_t magic = kMagic;
  // Owned by the engine, valid as long as the registrar.
  const char* plugin_name = nullptr;
  std::atomic<int32_t> registrations{0};
};

#endif  // DEVKIT_ENGINE_PLUGIN_REGISTRAR_H_
