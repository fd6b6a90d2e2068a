#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/scoped_handles.h"
#include "resources/resource_ids.h"
#include "tests/e2e/bundle_paths.h"

namespace keelo::testing {
namespace {

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width;
  BYTE height;
  BYTE color_count;
  BYTE reserved;
  WORD planes;
  WORD bit_count;
  DWORD bytes_in_resource;
  WORD id;
};
struct GroupIconHeader {
  WORD reserved;
  WORD type;
  WORD count;
};
#pragma pack(pop)

class ExecutableResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.reset(LoadLibraryExW(HostExecutable().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module_) << "cannot load " << GetLastError();
  }

  std::string Resource(LPCWSTR type, LPCWSTR name) {
    HRSRC found = FindResourceW(module_.get(), name, type);
    if (found == nullptr) return std::string();
    HGLOBAL loaded = LoadResource(module_.get(), found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    return std::string(bytes, SizeofResource(module_.get(), found));
  }

  ScopedLibrary module_;
};

TEST_F(ExecutableResourcesTest, IconGroupHoldsTenSizesOf32BitImages) {
  std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_APP_ICON));
  ASSERT_GE(group.size(), sizeof(GroupIconHeader));
  const auto* header = reinterpret_cast<const GroupIconHeader*>(group.data());
  ASSERT_EQ(header->type, 1);
  ASSERT_EQ(group.size(), sizeof(GroupIconHeader) + header->count * sizeof(GroupIconEntry));
  const auto* entries = reinterpret_cast<const GroupIconEntry*>(header + 1);
  std::vector<int> sizes;
  for (int i = 0; i < header->count; ++i) {
    // 0 stands for 256.
    int width = entries[i].width == 0 ? 256 : entries[i].width;
    int height = entries[i].height == 0 ? 256 : entries[i].height;
    EXPECT_EQ(width, height);
    EXPECT_EQ(entries[i].bit_count, 32) << "size " << width;
    // Each image is present under its id with the size the group gives.
    EXPECT_EQ(Resource(RT_ICON, MAKEINTRESOURCEW(entries[i].id)).size(),
              entries[i].bytes_in_resource);
    sizes.push_back(width);
  }
  EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 40, 48, 64, 96, 128, 256}));

  const ScopedIcon icon(static_cast<HICON>(
      LoadImageW(module_.get(), MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, 48, 48, 0)));
  EXPECT_TRUE(icon);
}

TEST_F(ExecutableResourcesTest, ManifestAsksForNoElevationAndPerMonitorV2OnWindows10) {
  std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find(R"(level="asInvoker")"), std::string::npos);
  EXPECT_NE(manifest.find(R"(uiAccess="false")"), std::string::npos);
  // Windows 10 1607 reads the list but knows no PerMonitorV2: it takes the next value it knows
  // instead of running the host unaware of DPI.
  EXPECT_NE(manifest.find(
                R"(<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">)"
                "PerMonitorV2, PerMonitor</dpiAwareness>"),
            std::string::npos);
  // The form that Windows 10 builds before 1607 read, beside the newer one.
  EXPECT_NE(
      manifest.find(R"(<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">)"
                    "true/pm</dpiAware>"),
      std::string::npos);
  EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
}

TEST(VersionResourceTest, NamesAndVersionsReadBackInUsEnglishLatin1) {
  std::wstring path = HostExecutable();
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));

  struct Translation {
    WORD language;
    WORD code_page;
  };
  Translation* translations = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translations), &length));
  ASSERT_EQ(length, sizeof(Translation));
  EXPECT_EQ(translations->language, 0x0409);
  EXPECT_EQ(translations->code_page, 0x04E4);

  auto value = [&](const wchar_t* name) {
    wchar_t* text = nullptr;
    UINT text_length = 0;
    std::wstring query = std::wstring(L"\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&text),
                        &text_length)) {
      return std::wstring(L"<missing>");
    }
    return std::wstring(text);
  };
  EXPECT_EQ(value(L"CompanyName"), L"Vantrel");
  EXPECT_EQ(value(L"FileDescription"), L"Keelo");
  EXPECT_EQ(value(L"ProductName"), L"Keelo");
  EXPECT_EQ(value(L"InternalName"), L"keelo_app");
  EXPECT_EQ(value(L"OriginalFilename"), L"keelo_app.exe");
  EXPECT_EQ(value(L"FileVersion"), L"1.0.18+18");
  EXPECT_EQ(value(L"ProductVersion"), L"1.0.18+18");
}

}  // namespace
}  // namespace keelo::testing
