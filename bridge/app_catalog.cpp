#include "bridge/app_catalog.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cwchar>
#include <iterator>
#include <utility>
#include <vector>

#include "bridge/app_identity.h"
#include "common/scoped_handles.h"
#include "common/text_conversion.h"

namespace {

constexpr std::wstring_view kShortcutExtension = L".lnk";
// Applications installed per user by the Squirrel installer are started through their
// launcher, "update.exe --processStart <name>"; the application is <name>.
constexpr std::wstring_view kLauncherName = L"update.exe";
constexpr std::wstring_view kLauncherSwitch = L"--processstart";
constexpr int kArgumentsCapacity = 1024;

// The position of a file name's extension under the usual path rules: its last dot, unless that
// is the first character (".lnk" is a name without extension) or the name is "." or "..".
size_t ExtensionStart(const std::wstring& file_name) {
  if (file_name == L"..") return std::wstring::npos;
  const size_t dot = file_name.rfind(L'.');
  return dot == 0 ? std::wstring::npos : dot;
}

std::wstring FileStem(const std::wstring& file_name) {
  return file_name.substr(0, ExtensionStart(file_name));
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
  return folder + L'\\' + name;
}

// The text a shell-link call left in a zero-filled buffer of |capacity| units.
std::wstring BufferText(const wchar_t* buffer, size_t capacity) {
  return std::wstring(buffer, wcsnlen(buffer, capacity));
}

// The shell-link class's factory, asked for once per walk: CoCreateInstance looks the class up
// in the registry again for every object, which under Wine costs about as much as loading the
// shortcut. Null when the class cannot be had; each shortcut then tries CoCreateInstance itself.
ComPtr<IClassFactory> ShellLinkFactory() {
  ComPtr<IClassFactory> factory;
  if (FAILED(CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                              factory.put_void()))) {
    return ComPtr<IClassFactory>();
  }
  return factory;
}

// A fresh shell link, as CoCreateInstance would make it; null when none can be made.
ComPtr<IShellLinkW> MakeShellLink(IClassFactory* factory) {
  ComPtr<IShellLinkW> link;
  const HRESULT made = factory != nullptr
                           ? factory->CreateInstance(nullptr, IID_IShellLinkW, link.put_void())
                           : CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IShellLinkW, link.put_void());
  if (FAILED(made)) return ComPtr<IShellLinkW>();
  return link;
}

void AddShortcut(const std::wstring& path, const std::wstring& file_name, IClassFactory* factory,
                 AppCatalog& catalog) {
  const std::optional<std::wstring> stem = ShortcutStem(file_name);
  if (!stem || IsExcludedShortcutName(*stem)) return;

  // A fresh object per shortcut: a shell link keeps what it loaded before. Declared in this
  // order so that the file interface is released before the link.
  const ComPtr<IShellLinkW> link = MakeShellLink(factory);
  if (!link) return;
  const ComPtr<IPersistFile> file = link.As<IPersistFile>(IID_IPersistFile);
  if (!file || FAILED(file->Load(path.c_str(), STGM_READ))) return;

  wchar_t target[MAX_PATH] = {};
  wchar_t arguments[kArgumentsCapacity] = {};
  // Either result is ignored: a failed read leaves its buffer empty, which reads as no target
  // (the shortcut is then dropped) or as no arguments. The raw path keeps a %variable%
  // unexpanded, as the shortcut stores it.
  link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
  link->GetArguments(arguments, kArgumentsCapacity);

  std::optional<ShortcutApp> app = ShortcutExecutable(BufferText(target, std::size(target)),
                                                      BufferText(arguments, std::size(arguments)));
  if (app) MergeShortcutApp(catalog, std::move(*app), *stem, path);
}

// A folder of the walk: its entries and how far the walk has come through them.
struct WalkLevel {
  std::wstring folder;
  std::vector<FolderEntry> entries;
  size_t next = 0;
  // False when listing the folder failed after |entries|: the walk of the root ends there.
  bool complete = false;
};

WalkLevel OpenLevel(std::wstring folder, const FolderLister& list_folder) {
  WalkLevel level;
  level.folder = std::move(folder);
  level.complete = list_folder(level.folder, level.entries);
  return level;
}

}  // namespace

std::optional<std::wstring> ShortcutStem(const std::wstring& file_name) {
  const size_t extension = ExtensionStart(file_name);
  if (extension == std::wstring::npos ||
      ToLower(file_name.substr(extension)) != kShortcutExtension) {
    return std::nullopt;
  }
  return file_name.substr(0, extension);
}

bool IsExcludedShortcutName(const std::wstring& stem) {
  const std::wstring lowered = ToLower(stem);
  for (const std::wstring_view word : kExcludedShortcutWords) {
    if (lowered.find(word) != std::wstring::npos) return true;
  }
  return false;
}

std::optional<ShortcutApp> ShortcutExecutable(const std::wstring& target,
                                              const std::wstring& arguments) {
  ShortcutApp app{ToLower(GetFileName(target)), target};
  if (app.exe == kLauncherName) {
    const std::wstring lowered = ToLower(arguments);
    const size_t found = lowered.find(kLauncherSwitch);
    if (found != std::wstring::npos) {
      std::wstring rest = lowered.substr(found + kLauncherSwitch.size());
      // Quotes anywhere go, so a quoted name with a space ends at its space and fails below.
      std::erase(rest, L'"');
      // Only the space separates; a tab is part of the name.
      const size_t start = rest.find_first_not_of(L' ');
      if (start == std::wstring::npos) return std::nullopt;
      const size_t end = rest.find(L' ', start);
      app.exe = rest.substr(start, end == std::wstring::npos ? end : end - start);
      app.path.clear();
    }
  }
  if (!IsExecutableName(app.exe)) return std::nullopt;
  return app;
}

void MergeShortcutApp(AppCatalog& catalog, ShortcutApp app, const std::wstring& stem,
                      const std::wstring& shortcut_path) {
  const auto [found, inserted] = catalog.try_emplace(app.exe);
  AppRecord& record = found->second;
  if (inserted) {
    record = AppRecord{std::move(app.exe), stem, std::move(app.path), shortcut_path};
  } else if (stem.size() < record.name.size()) {
    record.name = stem;
  }
}

void ScanShortcutFolder(const std::wstring& root, AppCatalog& catalog,
                        const FolderLister& list_folder, const std::atomic<bool>* stop) {
  const ComPtr<IClassFactory> factory = ShellLinkFactory();
  // Depth first and pre-order: a folder is visited, then walked, before its later siblings.
  std::vector<WalkLevel> levels;
  levels.push_back(OpenLevel(root, list_folder));
  while (!levels.empty()) {
    if (stop != nullptr && *stop) return;
    WalkLevel& level = levels.back();
    if (level.next == level.entries.size()) {
      // A folder that could not be opened, or whose listing broke off, ends the whole root.
      if (!level.complete) return;
      levels.pop_back();
      continue;
    }
    const FolderEntry& entry = level.entries[level.next++];
    std::wstring path = JoinPath(level.folder, entry.name);
    AddShortcut(path, entry.name, factory.get(), catalog);
    if (IsFolderToEnter(entry)) levels.push_back(OpenLevel(std::move(path), list_folder));
  }
}

BOOL CALLBACK CollectWindowApp(HWND window, LPARAM pass_address) noexcept {
  // EnumWindows passes the pass's address as a number; the cast back cannot be avoided.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  const WindowPass& pass = *reinterpret_cast<const WindowPass*>(pass_address);
  AppCatalog& catalog = pass.catalog;
  // A catalogue nobody waits for any more ends its enumeration here.
  if (pass.stop != nullptr && *pass.stop) return FALSE;
  if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) != nullptr ||
      GetWindowTextLengthW(window) == 0 ||
      (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0 ||
      IsHiddenByCompositor(pass.read_cloaked(window))) {
    return TRUE;
  }
  const std::wstring image = ResolveAppProcess(window).image_path;
  if (image.empty()) return TRUE;
  std::wstring exe = ToLower(GetFileName(image));
  // Shortcuts, and windows met earlier, keep their record.
  if (catalog.contains(exe)) return TRUE;
  std::wstring name = GetVersionString(image, L"FileDescription");
  if (name.empty()) name = FileStem(GetFileName(image));
  catalog.emplace(exe, AppRecord{exe, std::move(name), image, image});
  return TRUE;
}

flutter::EncodableList AppCatalogToList(const AppCatalog& catalog) {
  flutter::EncodableList list;
  list.reserve(catalog.size());
  for (const auto& [key, record] : catalog) {
    list.emplace_back(flutter::EncodableMap{
        {flutter::EncodableValue("exe"), flutter::EncodableValue(WideToUtf8(record.exe))},
        {flutter::EncodableValue("name"), flutter::EncodableValue(WideToUtf8(record.name))},
        {flutter::EncodableValue("path"), flutter::EncodableValue(WideToUtf8(record.path))},
        {flutter::EncodableValue("icon"), flutter::EncodableValue(WideToUtf8(record.icon))},
    });
  }
  return list;
}

flutter::EncodableList BuildAppCatalog(const FolderLister& list_folder,
                                       const CloakReader& read_cloaked,
                                       const std::atomic<bool>& stop) {
  AppCatalog catalog;
  for (const KNOWNFOLDERID* folder : {&FOLDERID_Programs, &FOLDERID_CommonPrograms}) {
    // The path is the caller's to free whether or not the call succeeded.
    ScopedCoTaskMem<wchar_t> path;
    if (SUCCEEDED(SHGetKnownFolderPath(*folder, 0, nullptr, path.put()))) {
      ScanShortcutFolder(path.get(), catalog, list_folder, &stop);
    }
  }
  WindowPass pass{catalog, read_cloaked, &stop};
  // The result only tells whether a callback stopped the enumeration, which only a stop does.
  EnumWindows(&CollectWindowApp, reinterpret_cast<LPARAM>(&pass));
  return AppCatalogToList(catalog);
}
