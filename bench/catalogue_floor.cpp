#include "bench/catalogue_floor.h"

#include <objbase.h>
#include <shobjidl.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "common/scoped_handles.h"

namespace keelo::bench {
namespace {

constexpr DWORD kImagePathCapacity = 520;
constexpr int kArgumentsCapacity = 1024;
constexpr size_t kSubBlockCapacity = 128;
constexpr DWORD kVersionBlockGuess = 8192;

}  // namespace

ComPtr<IClassFactory> GetShellLinkFactory(PhaseClock* clock) {
  ComPtr<IClassFactory> factory;
  Timed(clock, Phase::kCreateLink, [&] {
    return CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                            factory.put_void());
  });
  return factory;
}

bool ReadShortcut(IClassFactory* factory, const std::wstring& path, std::wstring* target,
                  std::wstring* arguments, PhaseClock* clock) {
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  const bool created = Timed(clock, Phase::kCreateLink, [&] {
    if (factory == nullptr ||
        FAILED(factory->CreateInstance(nullptr, IID_IShellLinkW, link.put_void()))) {
      return false;
    }
    file = link.As<IPersistFile>(IID_IPersistFile);
    return static_cast<bool>(file);
  });
  if (!created) return false;
  if (!Timed(clock, Phase::kLoadLink,
             [&] { return SUCCEEDED(file->Load(path.c_str(), STGM_READ)); })) {
    return false;
  }
  Timed(clock, Phase::kReadLink, [&] {
    wchar_t target_buffer[MAX_PATH] = {};
    wchar_t arguments_buffer[kArgumentsCapacity] = {};
    link->GetPath(target_buffer, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetArguments(arguments_buffer, kArgumentsCapacity);
    target->assign(target_buffer, wcsnlen(target_buffer, std::size(target_buffer)));
    arguments->assign(arguments_buffer, wcsnlen(arguments_buffer, std::size(arguments_buffer)));
  });
  return true;
}

std::wstring ReadWindowImagePath(HWND window, PhaseClock* clock) {
  const ScopedHandle process(Timed(clock, Phase::kOpenProcess, [&] {
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    return OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  }));
  if (!process) return std::wstring();
  return Timed(clock, Phase::kImagePath, [&] {
    wchar_t path[kImagePathCapacity];
    DWORD size = kImagePathCapacity;
    if (!QueryFullProcessImageNameW(process.get(), 0, path, &size)) return std::wstring();
    return std::wstring(path, size);
  });
}

std::wstring ReadVersionString(const std::wstring& file, const wchar_t* name, PhaseClock* clock) {
  std::vector<uint8_t> block(kVersionBlockGuess, 0);
  if (!Timed(clock, Phase::kVersionBlock, [&] {
        return GetFileVersionInfoW(file.c_str(), 0, kVersionBlockGuess, block.data()) != FALSE;
      })) {
    return std::wstring();
  }
  WORD length = 0;
  std::memcpy(&length, block.data(), sizeof(length));
  if (length > kVersionBlockGuess) {
    const DWORD size = Timed(clock, Phase::kVersionSize,
                             [&] { return GetFileVersionInfoSizeW(file.c_str(), nullptr); });
    block.assign(size, 0);
    if (size == 0 || !Timed(clock, Phase::kVersionBlock, [&] {
          return GetFileVersionInfoW(file.c_str(), 0, size, block.data()) != FALSE;
        })) {
      return std::wstring();
    }
  }
  return Timed(clock, Phase::kVersionQuery, [&] {
    void* translations = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &translations, &length) ||
        length < 4) {
      return std::wstring();
    }
    WORD language_and_code_page[2];
    std::memcpy(language_and_code_page, translations, sizeof(language_and_code_page));
    wchar_t sub_block[kSubBlockCapacity];
    std::swprintf(sub_block, kSubBlockCapacity, L"\\StringFileInfo\\%04x%04x\\%ls",
                  language_and_code_page[0], language_and_code_page[1], name);
    void* text = nullptr;
    if (!VerQueryValueW(block.data(), sub_block, &text, &length) || length == 0) {
      return std::wstring();
    }
    return std::wstring(static_cast<const wchar_t*>(text));
  });
}

CatalogueFloorPass ReadCatalogueFloor(const std::vector<std::wstring>& shortcuts,
                                      const std::vector<HWND>& windows) {
  CatalogueFloorPass pass;
  const ComPtr<IClassFactory> factory = GetShellLinkFactory(nullptr);
  std::wstring target;
  std::wstring arguments;
  for (const std::wstring& shortcut : shortcuts) {
    if (ReadShortcut(factory.get(), shortcut, &target, &arguments, nullptr) && !target.empty()) {
      ++pass.shortcuts;
    } else {
      ++pass.failures;
    }
  }
  for (HWND window : windows) {
    const std::wstring image = ReadWindowImagePath(window, nullptr);
    if (!image.empty() && !ReadVersionString(image, L"FileDescription", nullptr).empty()) {
      ++pass.windows;
    } else {
      ++pass.failures;
    }
  }
  return pass;
}

}  // namespace keelo::bench
