#include "common/scoped_handles.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <utility>

#include "tests/support/handle_count.h"

namespace {

// A kernel handle that is still open answers GetHandleInformation.
bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

HANDLE NewEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(ScopedHandleTest, ClosesOnEveryWayOut) {
  HANDLE raw = NewEvent();
  { const ScopedHandle held(raw); }
  EXPECT_FALSE(IsOpen(raw));

  HANDLE first = NewEvent();
  HANDLE second = NewEvent();
  ScopedHandle held(first);
  held.reset(second);
  EXPECT_FALSE(IsOpen(first));
  EXPECT_TRUE(IsOpen(second));
  held.reset();
  EXPECT_FALSE(IsOpen(second));
  EXPECT_FALSE(held.valid());
}

TEST(ScopedHandleTest, ReleaseGivesUpOwnershipWithoutClosing) {
  HANDLE raw = NewEvent();
  HANDLE released = nullptr;
  {
    ScopedHandle held(raw);
    released = held.release();
    EXPECT_EQ(held.get(), nullptr);
  }
  EXPECT_EQ(released, raw);
  EXPECT_TRUE(IsOpen(raw));
  CloseHandle(raw);
}

TEST(ScopedHandleTest, MovesOwnershipAndClosesWhatTheTargetHeld) {
  HANDLE a = NewEvent();
  HANDLE b = NewEvent();
  ScopedHandle first(a);
  ScopedHandle second(std::move(first));
  EXPECT_EQ(first.get(), nullptr);  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_EQ(second.get(), a);

  ScopedHandle third(b);
  third = std::move(second);
  EXPECT_FALSE(IsOpen(b));
  EXPECT_TRUE(IsOpen(a));
  EXPECT_EQ(third.get(), a);
}

TEST(ScopedHandleTest, PutClosesTheOldHandleBeforeHandingOutItsAddress) {
  HANDLE old = NewEvent();
  ScopedHandle held(old);
  HANDLE* out = held.put();
  EXPECT_FALSE(IsOpen(old));
  EXPECT_EQ(*out, nullptr);
  EXPECT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), out, 0,
                              FALSE, DUPLICATE_SAME_ACCESS));
  EXPECT_TRUE(IsOpen(held.get()));
}

TEST(ScopedHandleTest, FileHandlesUseMinusOneForNone) {
  ScopedFileHandle missing(CreateFileW(L"C:\\keelo-test-does-not-exist\\none.txt", GENERIC_READ, 0,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(missing.get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(missing);
  ScopedFileHandle empty;
  EXPECT_EQ(empty.get(), INVALID_HANDLE_VALUE);
}

// A directory enumeration holds an open handle of the folder until FindClose ends it.
TEST(ScopedFindHandleTest, EndsTheEnumerationAndUsesMinusOneForNone) {
  const DWORD before = keelo::testing::OpenHandleCount();
  {
    WIN32_FIND_DATAW found;
    const ScopedFindHandle search(FindFirstFileExW(L"C:\\windows\\*", FindExInfoBasic, &found,
                                                   FindExSearchNameMatch, nullptr, 0));
    ASSERT_TRUE(search.valid()) << GetLastError();
    EXPECT_GT(keelo::testing::OpenHandleCount(), before);
  }
  EXPECT_EQ(keelo::testing::OpenHandleCount(), before);

  WIN32_FIND_DATAW found;
  const ScopedFindHandle missing(FindFirstFileExW(L"C:\\keelo-test-does-not-exist\\*",
                                                  FindExInfoBasic, &found, FindExSearchNameMatch,
                                                  nullptr, 0));
  EXPECT_EQ(missing.get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(missing);
}

TEST(ScopedRegistryKeyTest, ClosesTheKey) {
  HKEY raw = nullptr;
  {
    ScopedRegistryKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
    raw = key.get();
    EXPECT_EQ(RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
  }
  EXPECT_EQ(RegQueryInfoKeyW(raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_HANDLE);
}

TEST(ScopedUserObjectTest, MenusIconsAndGdiObjectsAreDestroyed) {
  HMENU raw_menu = CreatePopupMenu();
  { const ScopedMenu menu(raw_menu); }
  EXPECT_FALSE(IsMenu(raw_menu));

  const BYTE and_mask[128] = {};
  const BYTE xor_mask[128] = {};
  HICON raw_icon = CreateIcon(nullptr, 32, 32, 1, 1, and_mask, xor_mask);
  ASSERT_NE(raw_icon, nullptr);
  { const ScopedIcon icon(raw_icon); }
  ICONINFO info = {};
  EXPECT_FALSE(GetIconInfo(raw_icon, &info));

  HBRUSH raw_brush = CreateSolidBrush(RGB(1, 2, 3));
  { const ScopedGdiObject<HBRUSH> brush(raw_brush); }
  EXPECT_EQ(GetObjectType(raw_brush), 0u);
}

// Counts the references that ComPtr adds and drops.
class CountedObject : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  ULONG references = 1;
};

TEST(ComPtrTest, AdoptsOneReferenceAndReleasesItOnce) {
  CountedObject object;
  {
    ComPtr<IUnknown> pointer(&object);
    EXPECT_EQ(object.references, 1u);
    ComPtr<IUnknown> moved(std::move(pointer));
    EXPECT_EQ(object.references, 1u);
    ComPtr<IUnknown> same = moved.As<IUnknown>(IID_IUnknown);
    EXPECT_EQ(same.get(), &object);
    EXPECT_EQ(object.references, 2u);
    EXPECT_FALSE(moved.As<IStream>(IID_IStream));
  }
  EXPECT_EQ(object.references, 0u);
}

TEST(ComPtrTest, PutReleasesTheOldObjectAndTakesTheNewReference) {
  CountedObject old_object;
  CountedObject new_object;
  ComPtr<IUnknown> pointer(&old_object);
  EXPECT_EQ(new_object.QueryInterface(IID_IUnknown, pointer.put_void()), S_OK);
  EXPECT_EQ(old_object.references, 0u);
  EXPECT_EQ(new_object.references, 2u);
  IUnknown* released = pointer.release();
  EXPECT_EQ(released, &new_object);
  EXPECT_EQ(new_object.references, 2u);
  released->Release();
}

TEST(ScopedCoTaskMemTest, FreesWithTheComAllocator) {
  // The COM allocator reports the size of a block it still owns, and -1 for anything else.
  IMalloc* allocator = nullptr;
  ASSERT_EQ(CoGetMalloc(1, &allocator), S_OK);
  const ComPtr<IMalloc> malloc_holder(allocator);
  auto* raw = static_cast<wchar_t*>(CoTaskMemAlloc(64));
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(allocator->DidAlloc(raw), 1);
  { const ScopedCoTaskMem<wchar_t> memory(raw); }
  EXPECT_NE(allocator->DidAlloc(raw), 1);
}

}  // namespace
