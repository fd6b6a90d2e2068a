#ifndef BENCH_DESKTOP_SCENE_H_
#define BENCH_DESKTOP_SCENE_H_

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/fixtures.h"
#include "tests/support/shell_fixtures.h"

namespace keelo::bench {

// What the catalogue and icon benchmarks work on, made in the Wine prefix and all gone with the
// object: 300 shortcuts (ten folders of 30 in the current user's Programs folder) to executables
// that need not exist, and 20 windows of copies of a fixture program with a version resource.
// Needs COM on the calling thread.
class DesktopScene {
 public:
  static constexpr int kGroups = 10;
  static constexpr int kShortcutsPerGroup = 30;
  static constexpr int kWindows = 20;
  static constexpr int kIconItems = 40;

  // False when anything could not be made; what was made goes with the object all the same.
  bool Build();

  const std::vector<std::wstring>& shortcuts() const { return shortcuts_; }
  // The main windows of the 20 programs, in the order of icon_paths().
  std::vector<HWND> windows() const;
  // The 20 executables of the windows, then 20 of the shortcuts.
  const std::vector<std::wstring>& icon_paths() const { return icon_paths_; }
  // The file names, lower-cased, of every executable the scene puts in the catalogue: the
  // shortcuts' targets and the windows' programs.
  const std::vector<std::wstring>& catalogue_executables() const { return catalogue_executables_; }

 private:
  // Before the processes, so that the copies are deleted once their programs have ended.
  keelo::testing::CreatedFiles files_;
  std::vector<std::unique_ptr<keelo::testing::FixtureProcess>> windows_;
  std::vector<std::wstring> shortcuts_;
  std::vector<std::wstring> icon_paths_;
  std::vector<std::wstring> catalogue_executables_;
};

}  // namespace keelo::bench

#endif  // BENCH_DESKTOP_SCENE_H_
