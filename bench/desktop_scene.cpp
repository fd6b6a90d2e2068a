#include "bench/desktop_scene.h"

#include <windows.h>

namespace keelo::bench {

bool DesktopScene::Build() {
  const std::wstring programs = keelo::testing::KnownFolderPath(FOLDERID_Programs);
  wchar_t temp[MAX_PATH];
  if (programs.empty() || GetTempPathW(MAX_PATH, temp) == 0) return false;
  const std::wstring root = programs + L"\\Keelo Bench";
  const std::wstring executables = std::wstring(temp) + L"keelo-bench-apps";
  if (!files_.Folder(root) || !files_.Folder(executables)) return false;
  for (int group = 0; group < kGroups; ++group) {
    const std::wstring folder = root + L"\\Group " + std::to_wstring(group);
    if (!files_.Folder(folder)) return false;
    for (int i = 0; i < kShortcutsPerGroup; ++i) {
      const std::wstring number = std::to_wstring(group * kShortcutsPerGroup + i);
      std::wstring shortcut = folder + L"\\Bench App ";
      shortcut += number + L".lnk";
      const std::wstring target = L"benchapp" + number + L".exe";
      if (!files_.Shortcut(shortcut, L"C:\\Bench Apps\\" + target)) return false;
      shortcuts_.push_back(shortcut);
      catalogue_executables_.push_back(target);
    }
  }
  for (int i = 0; i < kWindows; ++i) {
    const std::wstring program = L"benchwindow" + std::to_wstring(i) + L".exe";
    std::wstring copy = executables + L"\\";
    copy += program;
    if (!files_.Copy(keelo::testing::FixtureExecutable(L"fixture_versioned.exe"), copy)) {
      return false;
    }
    windows_.push_back(
        keelo::testing::FixtureProcess::Start(copy, L"bench window " + std::to_wstring(i)));
    if (windows_.back() == nullptr) return false;
    icon_paths_.push_back(copy);
    catalogue_executables_.push_back(program);
  }
  icon_paths_.insert(icon_paths_.end(), shortcuts_.begin(),
                     shortcuts_.begin() + (kIconItems - kWindows));
  return true;
}

std::vector<HWND> DesktopScene::windows() const {
  std::vector<HWND> windows;
  windows.reserve(windows_.size());
  for (const auto& process : windows_) windows.push_back(process->window());
  return windows;
}

}  // namespace keelo::bench
