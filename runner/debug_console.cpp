#include "runner/debug_console.h"

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>

#include "engine_api/flutter_windows.h"

void OpenDebugConsole() {
  if (!AllocConsole()) return;
  FILE* reopened = nullptr;
  if (freopen_s(&reopened, "CONOUT$", "w", stdout) != 0) {
    _dup2(_fileno(stdout), 1);
  }
  if (freopen_s(&reopened, "CONOUT$", "w", stderr) != 0) {
    _dup2(_fileno(stdout), 2);
  }
  std::ios::sync_with_stdio(true);
  FlutterDesktopResyncOutputStreams();
}
