#include "runner/debug_console.h"

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "engine_api/flutter_windows.h"

namespace {

bool StreamIsUnconnected(FILE* stream) {
  const int descriptor = _fileno(stream);
  return descriptor < 0 || StreamNeedsConsole(_get_osfhandle(descriptor));
}

// The standard-library streams and the engine's follow the runtime's.
void ResyncOutputStreams() {
  std::ios::sync_with_stdio(true);
  FlutterDesktopResyncOutputStreams();
}

}  // namespace

bool AttachParentConsole() {
  // Looked at before attaching: only what the starter gave the host counts as redirected.
  const bool reopen_output = StreamIsUnconnected(stdout);
  const bool reopen_error = StreamIsUnconnected(stderr);
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
  FILE* reopened = nullptr;
  if (reopen_output) freopen_s(&reopened, "CONOUT$", "w", stdout);
  if (reopen_error) freopen_s(&reopened, "CONOUT$", "w", stderr);
  if (reopen_output || reopen_error) ResyncOutputStreams();
  return true;
}

void OpenDebugConsole() {
  if (!AllocConsole()) return;
  FILE* reopened = nullptr;
  if (freopen_s(&reopened, "CONOUT$", "w", stdout) != 0) {
    _dup2(_fileno(stdout), 1);
  }
  if (freopen_s(&reopened, "CONOUT$", "w", stderr) != 0) {
    _dup2(_fileno(stdout), 2);
  }
  ResyncOutputStreams();
}

bool StreamNeedsConsole(intptr_t os_handle) {
  // -1 (INVALID_HANDLE_VALUE) and -2 (no console) mean no handle; 0 is the empty handle a GUI
  // program is started with.
  return os_handle == 0 || os_handle == -1 || os_handle == -2;
}
