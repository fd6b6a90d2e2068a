#ifndef DEVKIT_ENGINE_ENGINE_MODULE_H_
#define DEVKIT_ENGINE_ENGINE_MODULE_H_

#include <windows.h>

namespace devkit {

// The engine library's own module: its window classes belong to it, not to the host.
HINSTANCE EngineModule();

// Registers a window class of the engine once per process; true when it is registered.
bool RegisterEngineWindowClass(const wchar_t* name, WNDPROC window_proc);

}  // namespace devkit

#endif  // DEVKIT_ENGINE_ENGINE_MODULE_H_
