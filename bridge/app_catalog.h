#ifndef BRIDGE_APP_CATALOG_H_
#define BRIDGE_APP_CATALOG_H_

#include <windows.h>

#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/folder_listing.h"
#include "bridge/window_cloaking.h"
#include "messaging/encodable_value.h"

// The applications on this machine, as "listApps" reports them: the Start menu's shortcuts to
// executables, then the executables that own a window on the desktop. Built anew for every call.

struct AppRecord {
  // The executable's file name, lower-cased; also the record's key.
  std::wstring exe;
  // The shortcut's stem, or the executable's description (its stem without one).
  std::wstring name;
  // The shortcut's target as stored (empty for an application started through its launcher), or
  // the image path of the window's process.
  std::wstring path;
  // The file whose icon stands for the application: the shortcut itself, or the image.
  std::wstring icon;
};

// Keyed by the lower-cased executable file name, in UTF-16 code unit order.
using AppCatalog = std::map<std::wstring, AppRecord>;

// Shortcuts whose stem contains one of these, in any letter case, lead to no application a user
// would block: uninstallers, installers, documents and the like.
inline constexpr std::wstring_view kExcludedShortcutWords[] = {
    L"uninstall", L"setup",         L"readme",  L"help",    L"website", L"documentation",
    L"manual",    L"release notes", L"license", L"support", L"repair",  L"reset preferences",
    L"safe mode"};

// The stem of a shortcut's file name: the name without an extension that is ".lnk" in any letter
// case. Nothing when the name has another extension or none (".lnk" alone has none).
std::optional<std::wstring> ShortcutStem(const std::wstring& file_name);

bool IsExcludedShortcutName(const std::wstring& stem);

// What a shortcut leads to.
struct ShortcutApp {
  // The key: the lower-cased executable file name.
  std::wstring exe;
  // The target, or empty for an application that the launcher update.exe starts.
  std::wstring path;
};

// The application of a shortcut with |target| and |arguments|, as read from it; nothing when it
// does not lead to an executable. update.exe with "--processStart <name>" stands for <name>.
std::optional<ShortcutApp> ShortcutExecutable(const std::wstring& target,
                                              const std::wstring& arguments);

// Adds a shortcut's application: the first shortcut to an executable gives its record; a later
// one only gives a strictly shorter name.
void MergeShortcutApp(AppCatalog& catalog, ShortcutApp app, const std::wstring& stem,
                      const std::wstring& shortcut_path);

// Adds the shortcuts found under |root|, walked depth first in pre-order with |list_folder|.
// Links and junctions are visited but not entered; the first error ends the walk of this root
// and keeps what was added before it. Needs COM on the calling thread. Gives up before the next
// entry once |stop| (when given) is set.
void ScanShortcutFolder(const std::wstring& root, AppCatalog& catalog,
                        const FolderLister& list_folder, const std::atomic<bool>* stop = nullptr);

// What the window pass adds to and how it tells whether the compositor hides a window.
struct WindowPass {
  AppCatalog& catalog;
  const CloakReader& read_cloaked;
  // When given and set, the pass ends at the next window.
  const std::atomic<bool>* stop = nullptr;
};

// The EnumWindows callback of the window pass; |pass| is a WindowPass's address. Adds the
// process of a visible, unowned, titled window that is no tool window and that the compositor
// does not hide, unless its executable is in the catalogue already. Always goes on to the next
// window.
BOOL CALLBACK CollectWindowApp(HWND window, LPARAM pass) noexcept;

// One map per record, in key order, with the string keys "exe", "name", "path" and "icon". Text
// that is not valid UTF-16 is sent as the empty string.
flutter::EncodableList AppCatalogToList(const AppCatalog& catalog);

// The whole catalogue: the current user's and all users' Start-menu programs, then the windows.
// Cut short, and of no use, once |stop| is set.
flutter::EncodableList BuildAppCatalog(const FolderLister& list_folder,
                                       const CloakReader& read_cloaked,
                                       const std::atomic<bool>& stop);

#endif  // BRIDGE_APP_CATALOG_H_
