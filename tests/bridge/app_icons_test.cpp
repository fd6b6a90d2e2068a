#include "bridge/app_icons.h"

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, whose types they need.
#include <shellapi.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/scoped_handles.h"
#include "common/text_conversion.h"
#include "tests/bridge/bridge_fixture.h"
#include "tests/support/fixtures.h"
#include "tests/support/handle_count.h"
#include "tests/support/shell_fixtures.h"

namespace keelo::testing {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

// A PNG as the UI would show it, decoded with the imaging component.
struct Picture {
  UINT width = 0;
  UINT height = 0;
  bool has_alpha = false;
  // 32-bit BGRA, straight alpha, top row first.
  std::vector<uint8_t> pixels;

  const uint8_t* At(UINT x, UINT y) const {
    return &pixels[(static_cast<size_t>(y) * width + x) * 4];
  }
};

std::optional<Picture> DecodePng(const std::vector<uint8_t>& png) {
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, factory.put_void()))) {
    return std::nullopt;
  }
  const ComPtr<IStream> stream(SHCreateMemStream(png.data(), static_cast<UINT>(png.size())));
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  if (!stream ||
      FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                              decoder.put())) ||
      FAILED(decoder->GetFrame(0, frame.put()))) {
    return std::nullopt;
  }
  GUID container = {};
  WICPixelFormatGUID format = {};
  ComPtr<IWICComponentInfo> info;
  if (FAILED(decoder->GetContainerFormat(&container)) || container != GUID_ContainerFormatPng ||
      FAILED(frame->GetPixelFormat(&format)) ||
      FAILED(factory->CreateComponentInfo(format, info.put()))) {
    return std::nullopt;
  }
  Picture picture;
  const ComPtr<IWICPixelFormatInfo2> format_info =
      info.As<IWICPixelFormatInfo2>(IID_IWICPixelFormatInfo2);
  BOOL transparency = FALSE;
  if (!format_info || FAILED(format_info->SupportsTransparency(&transparency))) {
    return std::nullopt;
  }
  picture.has_alpha = transparency != FALSE;
  ComPtr<IWICFormatConverter> converter;
  if (FAILED(frame->GetSize(&picture.width, &picture.height)) ||
      FAILED(factory->CreateFormatConverter(converter.put())) ||
      FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom))) {
    return std::nullopt;
  }
  picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height * 4);
  if (FAILED(converter->CopyPixels(nullptr, picture.width * 4,
                                   static_cast<UINT>(picture.pixels.size()),
                                   picture.pixels.data()))) {
    return std::nullopt;
  }
  return picture;
}

class AppIconsTest : public BridgeTest {
 protected:
  // "getIcons" with |arguments|; the reply map.
  EncodableMap GetIcons(EncodableValue arguments) {
    const std::optional<EncodableValue> reply =
        CallForValue(kDesktopChannel, "getIcons", std::move(arguments));
    if (!reply || !reply->Holds<EncodableMap>()) {
      ADD_FAILURE() << "getIcons did not reply with a map";
      return EncodableMap();
    }
    return reply->Get<EncodableMap>();
  }

  // The picture under |key| of |reply|, which must be a byte list holding a PNG.
  static std::optional<Picture> PictureOf(const EncodableMap& reply, const EncodableValue& key) {
    const auto found = reply.find(key);
    if (found == reply.end() || !found->second.Holds<std::vector<uint8_t>>()) return std::nullopt;
    return DecodePng(found->second.Get<std::vector<uint8_t>>());
  }

  static std::string Utf8Path(const std::wstring& path) { return WideToUtf8(path); }

  ScopedComApartment apartment_;
  const std::string editor_ = Utf8Path(FixtureExecutable(L"fixture_versioned.exe"));
  const std::string plain_ = Utf8Path(FixtureExecutable(L"fixture_plain.exe"));
};

TEST_F(AppIconsTest, ExecutableIconKeepsItsColourAndTransparentCorners) {
  const EncodableMap reply =
      GetIcons(EncodableMap{{"size", 64}, {"items", EncodableMap{{"editor", editor_}}}});
  const std::optional<Picture> picture = PictureOf(reply, EncodableValue("editor"));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 64u);
  EXPECT_EQ(picture->height, 64u);
  EXPECT_TRUE(picture->has_alpha);
  for (const auto& [x, y] : {std::pair<UINT, UINT>{0, 0}, {63, 0}, {0, 63}, {63, 63}}) {
    EXPECT_EQ(picture->At(x, y)[3], 0) << x << "," << y;
  }
  // The fixture's disk: orange (E0 60 20), opaque.
  const uint8_t* middle = picture->At(32, 32);
  EXPECT_EQ(middle[3], 0xFF);
  EXPECT_NEAR(middle[2], 0xE0, 2);
  EXPECT_NEAR(middle[1], 0x60, 2);
  EXPECT_NEAR(middle[0], 0x20, 2);
}

TEST_F(AppIconsTest, FilesWithoutIconsOfTheirOwnGetTheShellsIcon) {
  CreatedFiles files;
  const std::wstring shortcut = KnownFolderPath(FOLDERID_Programs) + L"\\Keelo Icon Shortcut.lnk";
  ASSERT_TRUE(files.Shortcut(shortcut, FixtureExecutable(L"fixture_versioned.exe")));

  const EncodableMap reply = GetIcons(
      EncodableMap{{"items", EncodableMap{{"plain", plain_},
                                          {"shortcut", Utf8Path(shortcut)},
                                          {"missing", "C:\\keelo-test-does-not-exist\\none.exe"},
                                          {"editor", editor_}}}});
  EXPECT_EQ(reply.size(), 3u);
  EXPECT_EQ(reply.count(EncodableValue("missing")), 0u);
  for (const char* key : {"plain", "shortcut", "editor"}) {
    const std::optional<Picture> picture = PictureOf(reply, EncodableValue(key));
    ASSERT_TRUE(picture) << key;
    EXPECT_EQ(picture->width, 96u) << key;
    EXPECT_EQ(picture->height, 96u) << key;
    EXPECT_TRUE(picture->has_alpha) << key;
  }
  // The shell's picture of an executable is not the fixture's own orange disk.
  const std::optional<Picture> plain = PictureOf(reply, EncodableValue("plain"));
  const std::optional<Picture> editor = PictureOf(reply, EncodableValue("editor"));
  EXPECT_NE(std::vector<uint8_t>(plain->At(48, 48), plain->At(48, 48) + 4),
            std::vector<uint8_t>(editor->At(48, 48), editor->At(48, 48) + 4));
}

TEST_F(AppIconsTest, SizeIsAnInt32OrElse96) {
  const EncodableMap items{{"editor", editor_}};
  for (const EncodableValue& size : {EncodableValue(), EncodableValue(int64_t{48}),
                                     EncodableValue(48.0), EncodableValue("48")}) {
    EncodableMap arguments{{"items", items}};
    if (!size.IsNull()) arguments[EncodableValue("size")] = size;
    const std::optional<Picture> picture = PictureOf(GetIcons(arguments), EncodableValue("editor"));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 96u);
    EXPECT_EQ(picture->height, 96u);
  }
}

TEST_F(AppIconsTest, SizesOutsideOneTo1024GiveNoImage) {
  const EncodableMap items{{"editor", editor_}};
  for (const int size : {0, -1, 1025, 100000, INT32_MIN}) {
    EXPECT_EQ(GetIcons(EncodableMap{{"size", size}, {"items", items}}), EncodableMap()) << size;
    EXPECT_TRUE(ExtractIconPng(FixtureExecutable(L"fixture_versioned.exe"), size).empty()) << size;
  }
  for (const int size : {1, 1024}) {
    const std::optional<Picture> picture = PictureOf(
        GetIcons(EncodableMap{{"size", size}, {"items", items}}), EncodableValue("editor"));
    ASSERT_TRUE(picture) << size;
    EXPECT_EQ(picture->width, static_cast<UINT>(size));
    EXPECT_EQ(picture->height, static_cast<UINT>(size));
  }
}

TEST_F(AppIconsTest, EncoderRefusesUnusableSizesAndLeavesTheIconToTheCaller) {
  SHFILEINFOW info = {};
  ASSERT_NE(SHGetFileInfoW(FixtureExecutable(L"fixture_plain.exe").c_str(), 0, &info, sizeof(info),
                           SHGFI_ICON),
            0u);
  const ScopedIcon icon(info.hIcon);
  EXPECT_TRUE(EncodeIconAsPng(icon.get(), 0).empty());
  EXPECT_TRUE(EncodeIconAsPng(icon.get(), -5).empty());
  EXPECT_TRUE(EncodeIconAsPng(icon.get(), 4096).empty());
  const std::optional<Picture> picture = DecodePng(EncodeIconAsPng(icon.get(), 20));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width, 20u);
  ICONINFO parts = {};
  ASSERT_TRUE(GetIconInfo(icon.get(), &parts));
  DeleteObject(parts.hbmColor);
  DeleteObject(parts.hbmMask);
}

TEST_F(AppIconsTest, ItemsThatAreNoPathStringsAreLeftOutAndKeysGoBackAsSent) {
  const EncodableValue list_key(EncodableList{EncodableValue(1), EncodableValue("x")});
  const EncodableMap reply = GetIcons(EncodableMap{
      {"size", 32},
      {"items", EncodableMap{{EncodableValue(7), editor_},
                             {EncodableValue(int64_t{1} << 40), editor_},
                             {EncodableValue(2.5), plain_},
                             {EncodableValue(), editor_},
                             {list_key, plain_},
                             {EncodableValue("number"), 5},
                             {EncodableValue("null"), EncodableValue()},
                             {EncodableValue("list"), EncodableList{EncodableValue(editor_)}},
                             {EncodableValue("map"), EncodableMap{{"path", editor_}}}}}});
  std::vector<EncodableValue> keys;
  for (const auto& [key, png] : reply) {
    keys.push_back(key);
    const std::optional<Picture> picture = DecodePng(png.Get<std::vector<uint8_t>>());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 32u);
  }
  std::vector<EncodableValue> expected = {EncodableValue(), EncodableValue(7),
                                          EncodableValue(int64_t{1} << 40), EncodableValue(2.5),
                                          list_key};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(keys, expected);
}

TEST_F(AppIconsTest, TwoKeysWithOnePathGetAPictureEach) {
  const EncodableMap reply =
      GetIcons(EncodableMap{{"items", EncodableMap{{"first", editor_}, {"second", editor_}}}});
  ASSERT_EQ(reply.size(), 2u);
  EXPECT_TRUE(PictureOf(reply, EncodableValue("first")));
  EXPECT_TRUE(PictureOf(reply, EncodableValue("second")));
}

TEST_F(AppIconsTest, WithoutAMapOfItemsTheReplyIsAnEmptyMap) {
  EXPECT_EQ(GetIcons(EncodableMap{{"items", EncodableList{EncodableValue(editor_)}}}),
            EncodableMap());
  EXPECT_EQ(GetIcons(EncodableMap{{"size", 32}}), EncodableMap());
  EXPECT_EQ(GetIcons(EncodableValue()), EncodableMap());
  EXPECT_EQ(GetIcons(EncodableList{EncodableValue("items")}), EncodableMap());
}

// After many calls the process holds as many handles and GUI objects as before them. The first
// calls load the shell's and the imaging component's libraries, which stay, so counting starts
// after them. A fixture window makes the window pass open a process too.
class ResourceCountTest : public AppIconsTest {
 protected:
  void SetUp() override {
    const std::wstring shortcut = KnownFolderPath(FOLDERID_Programs) + L"\\Keelo Leak Check.lnk";
    ASSERT_TRUE(files_.Shortcut(shortcut, FixtureExecutable(L"fixture_versioned.exe")));
    window_ = FixtureProcess::Start(FixtureExecutable(L"fixture_plain.exe"), L"leak check");
    ASSERT_NE(window_, nullptr);
    arguments_ = EncodableMap{
        {"size", 48},
        {"items",
         EncodableMap{{"editor", editor_}, {"plain", plain_}, {"shortcut", Utf8Path(shortcut)}}}};
    ASSERT_EQ(GetIcons(arguments_).size(), 3u);
    CallForValue(kDesktopChannel, "listApps");
  }

  void CallMany() {
    for (int i = 0; i < 200; ++i) ASSERT_EQ(GetIcons(arguments_).size(), 3u);
    for (int i = 0; i < 50; ++i) CallForValue(kDesktopChannel, "listApps");
  }

  CreatedFiles files_;
  std::unique_ptr<FixtureProcess> window_;
  EncodableValue arguments_;
};

TEST_F(ResourceCountTest, ManyCallsLeaveTheHandleCountAsItWas) {
  const DWORD before = OpenHandleCount();
  ASSERT_NO_FATAL_FAILURE(CallMany());
  // The shell worker's apartment lets the system make a handle for itself now and then (seen:
  // one, once, at any point of a run); a handle kept per call would add hundreds.
  EXPECT_LE(OpenHandleCount(), before + 2);
}

TEST_F(ResourceCountTest, ManyCallsLeaveTheGuiObjectCountsAsTheyWere) {
  // This process holds an icon and a brush from here on, so a count of 0 is no count at all.
  SHFILEINFOW info = {};
  ASSERT_NE(SHGetFileInfoW(FixtureExecutable(L"fixture_plain.exe").c_str(), 0, &info, sizeof(info),
                           SHGFI_ICON),
            0u);
  const ScopedIcon icon(info.hIcon);
  const ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(RGB(1, 2, 3)));
  const DWORD gdi_before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  const DWORD user_before = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  if (gdi_before == 0 && user_before == 0) {
    GTEST_SKIP() << "GetGuiResources counts 0 GDI and 0 USER objects for a process holding an "
                    "icon and a brush (Wine's stub); only the handle count can be checked here";
  }
  ASSERT_NO_FATAL_FAILURE(CallMany());
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi_before);
  EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), user_before);
}

}  // namespace
}  // namespace keelo::testing
