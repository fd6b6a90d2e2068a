#ifndef BENCH_CATALOGUE_FLOOR_H_
#define BENCH_CATALOGUE_FLOOR_H_

#include <objbase.h>
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "bench/phase_clock.h"
#include "common/scoped_handles.h"

namespace keelo::bench {

// The steps below, each timed on |clock| when one is given, so that the profile of the host's
// catalogue times the same calls the floor makes.

// The shell-link class's factory, which the catalogue asks for once per walk; null when the
// class cannot be had.
ComPtr<IClassFactory> GetShellLinkFactory(PhaseClock* clock);

// A shortcut read as the catalogue reads it: a fresh shell link made by |factory|, the file
// loaded, its raw target and its arguments. False when the link could not be made or the file
// could not be loaded.
bool ReadShortcut(IClassFactory* factory, const std::wstring& path, std::wstring* target,
                  std::wstring* arguments, PhaseClock* clock);

// The image path of |window|'s process; empty when the process cannot be opened or read.
std::wstring ReadWindowImagePath(HWND window, PhaseClock* clock);

// The string |name| of |file|'s version resource in its first translation, read as the
// catalogue reads it (one reading into a buffer of 8 KiB, the size and a second reading only for
// a larger resource); empty when there is none.
std::wstring ReadVersionString(const std::wstring& file, const wchar_t* name, PhaseClock* clock);

// What one pass of the floor read. A pass counts only when it read every item: a shell-link
// object that could not be made, or a file that did not load, would otherwise give a fast pass
// that skipped its work.
struct CatalogueFloorPass {
  // Shortcuts loaded whose target was read.
  size_t shortcuts = 0;
  // Windows whose image path and version description were read.
  size_t windows = 0;
  // Creations, loads and reads that failed.
  size_t failures = 0;

  bool ReadAll(size_t shortcut_count, size_t window_count) const {
    return failures == 0 && shortcuts == shortcut_count && windows == window_count;
  }
};

// The system work that "listApps" cannot avoid for each item of a scene, and nothing else: for
// each shortcut a fresh shell link from the class's factory (asked for once per pass), its file
// loaded, its raw target and its arguments read; for
// each window its process opened, its image path read, and the FileDescription of the image's
// version resource in its first translation (the size, the block, the translation, the string).
// Needs COM on the calling thread.
CatalogueFloorPass ReadCatalogueFloor(const std::vector<std::wstring>& shortcuts,
                                      const std::vector<HWND>& windows);

}  // namespace keelo::bench

#endif  // BENCH_CATALOGUE_FLOOR_H_
