#include "bench/catalogue_profile.h"

#include <shlobj.h>
#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/catalogue_floor.h"
#include "bridge/app_catalog.h"
#include "bridge/app_identity.h"
#include "bridge/folder_listing.h"
#include "bridge/system_calls.h"
#include "tests/support/shell_fixtures.h"

namespace keelo::bench {
namespace {

struct Profiling {
  PhaseClock& clock;
  CatalogueProfile& profile;
  AppCatalog catalog;
  SystemCalls system;
  ComPtr<IClassFactory> factory;
};

void Walk(const std::wstring& folder, Profiling& profiling) {
  std::vector<FolderEntry> entries;
  ++profiling.profile.folders;
  // The scene's folders all list; a walk cut short would only time less.
  profiling.clock.Time(Phase::kListFolders,
                       [&] { return profiling.system.list_folder(folder, entries); });
  for (const FolderEntry& entry : entries) {
    const std::wstring path = folder + L"\\" + entry.name;
    const std::optional<std::wstring> stem =
        profiling.clock.Time(Phase::kMergeShortcut, [&]() -> std::optional<std::wstring> {
          std::optional<std::wstring> found = ShortcutStem(entry.name);
          if (found && IsExcludedShortcutName(*found)) return std::nullopt;
          return found;
        });
    std::wstring target;
    std::wstring arguments;
    if (stem &&
        ReadShortcut(profiling.factory.get(), path, &target, &arguments, &profiling.clock)) {
      ++profiling.profile.shortcuts;
      profiling.clock.Time(Phase::kMergeShortcut, [&] {
        std::optional<ShortcutApp> app = ShortcutExecutable(target, arguments);
        if (app) MergeShortcutApp(profiling.catalog, std::move(*app), *stem, path);
      });
    }
    if (IsFolderToEnter(entry)) Walk(path, profiling);
  }
}

BOOL CALLBACK ProfileWindow(HWND window, LPARAM profiling_address) noexcept {
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  Profiling& profiling = *reinterpret_cast<Profiling*>(profiling_address);
  PhaseClock& clock = profiling.clock;
  ++profiling.profile.windows_enumerated;
  if (!clock.Time(Phase::kEnumerate, [&] {
        return IsWindowVisible(window) && GetWindow(window, GW_OWNER) == nullptr;
      })) {
    return TRUE;
  }
  if (clock.Time(Phase::kTitle, [&] { return GetWindowTextLengthW(window) == 0; })) return TRUE;
  if (clock.Time(Phase::kEnumerate,
                 [&] { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0; })) {
    return TRUE;
  }
  if (clock.Time(Phase::kCloaked,
                 [&] { return IsHiddenByCompositor(profiling.system.read_cloaked(window)); })) {
    return TRUE;
  }
  ++profiling.profile.windows_examined;
  const std::wstring image = ReadWindowImagePath(window, &clock);
  if (image.empty()) return TRUE;
  const std::wstring exe = clock.Time(Phase::kMergeWindow, [&] {
    std::wstring lowered = ToLower(GetFileName(image));
    return profiling.catalog.contains(lowered) ? std::wstring() : lowered;
  });
  if (exe.empty()) return TRUE;
  ++profiling.profile.windows_described;
  std::wstring name = ReadVersionString(image, L"FileDescription", &clock);
  clock.Time(Phase::kMergeWindow, [&] {
    if (name.empty()) name = GetFileName(image);
    profiling.catalog.emplace(exe, AppRecord{exe, std::move(name), image, image});
  });
  return TRUE;
}

}  // namespace

CatalogueProfile ProfileCatalogue(PhaseClock& clock) {
  CatalogueProfile profile;
  Profiling profiling{clock, profile, AppCatalog(), SystemCalls::Real(), ComPtr<IClassFactory>()};
  for (const KNOWNFOLDERID* folder : {&FOLDERID_Programs, &FOLDERID_CommonPrograms}) {
    const std::wstring root = keelo::testing::KnownFolderPath(*folder);
    profiling.factory = GetShellLinkFactory(&clock);
    if (!root.empty()) Walk(root, profiling);
  }
  EnumWindows(&ProfileWindow, reinterpret_cast<LPARAM>(&profiling));
  return profile;
}

}  // namespace keelo::bench
