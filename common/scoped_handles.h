#ifndef COMMON_SCOPED_HANDLES_H_
#define COMMON_SCOPED_HANDLES_H_

// Owners for system handles and COM pointers held within one call or one object, so that every
// early return releases what was acquired. Each is move-only; get() lends the value, release()
// gives up ownership without closing, reset() closes what is held (and may take a new value),
// and put() closes what is held and hands out the address for a Create...(&value) call.

#include <objbase.h>
#include <unknwn.h>
#include <windows.h>

#include <utility>

template <typename Traits>
class ScopedResource {
 public:
  using Type = typename Traits::Type;

  ScopedResource() = default;
  explicit ScopedResource(Type value) : value_(value) {}
  ~ScopedResource() { reset(); }

  ScopedResource(ScopedResource&& other) noexcept : value_(other.release()) {}
  ScopedResource& operator=(ScopedResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedResource(const ScopedResource&) = delete;
  ScopedResource& operator=(const ScopedResource&) = delete;

  Type get() const { return value_; }
  bool valid() const { return value_ != Traits::Invalid(); }
  explicit operator bool() const { return valid(); }

  [[nodiscard]] Type release() { return std::exchange(value_, Traits::Invalid()); }

  void reset(Type value = Traits::Invalid()) {
    const Type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

  Type* put() {
    reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Invalid();
};

// Kernel calls disagree on what "no handle" is: CreateFile and CreateNamedPipe return
// INVALID_HANDLE_VALUE, most others null.
enum class InvalidHandle { kNull, kMinusOne };

template <InvalidHandle kConvention>
struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() {
    return kConvention == InvalidHandle::kNull ? nullptr : INVALID_HANDLE_VALUE;
  }
  static void Close(Type handle) { CloseHandle(handle); }
};

template <InvalidHandle kConvention>
using ScopedKernelHandle = ScopedResource<KernelHandleTraits<kConvention>>;
// Processes, threads, events, mutexes.
using ScopedHandle = ScopedKernelHandle<InvalidHandle::kNull>;
// Files and pipes.
using ScopedFileHandle = ScopedKernelHandle<InvalidHandle::kMinusOne>;

// A directory enumeration of FindFirstFileExW: INVALID_HANDLE_VALUE is none, and it is ended by
// FindClose, never by CloseHandle.
struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type handle) { FindClose(handle); }
};
using ScopedFindHandle = ScopedResource<FindHandleTraits>;

// For the many kinds of handle whose "none" is null: |kRelease| is the call that ends one.
template <typename Handle, auto kRelease>
struct NullIsNoneTraits {
  using Type = Handle;
  static Type Invalid() { return nullptr; }
  static void Close(Type handle) { kRelease(handle); }
};

// Never give it a predefined key such as HKEY_CURRENT_USER.
using ScopedRegistryKey = ScopedResource<NullIsNoneTraits<HKEY, &RegCloseKey>>;
using ScopedMenu = ScopedResource<NullIsNoneTraits<HMENU, &DestroyMenu>>;
// For icons the process made or extracted; icons loaded from its own resources are shared and
// must not be destroyed.
using ScopedIcon = ScopedResource<NullIsNoneTraits<HICON, &DestroyIcon>>;
template <typename Object>
using ScopedGdiObject = ScopedResource<NullIsNoneTraits<Object, &DeleteObject>>;
using ScopedLocalMemory = ScopedResource<NullIsNoneTraits<HLOCAL, &LocalFree>>;
using ScopedLibrary = ScopedResource<NullIsNoneTraits<HMODULE, &FreeLibrary>>;
// Memory the system allocated with the COM allocator for the caller to free, such as the path
// SHGetKnownFolderPath returns.
template <typename Element>
using ScopedCoTaskMem = ScopedResource<NullIsNoneTraits<Element*, &CoTaskMemFree>>;

// Holds one reference to a COM object. Taking a pointer (constructor, reset, put) adopts the
// reference the caller got; nothing is added.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(Interface* pointer) : pointer_(pointer) {}
  ~ComPtr() { reset(); }

  ComPtr(ComPtr&& other) noexcept : pointer_(other.release()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  [[nodiscard]] Interface* release() { return std::exchange(pointer_, nullptr); }

  void reset(Interface* pointer = nullptr) {
    Interface* old = std::exchange(pointer_, pointer);
    if (old != nullptr) old->Release();
  }

  Interface** put() {
    reset();
    return &pointer_;
  }

  // For calls that return an interface by IID as void**, such as CoCreateInstance.
  void** put_void() { return reinterpret_cast<void**>(put()); }

  // The object's interface |iid|, of type |Other|; empty when the object has none.
  template <typename Other>
  ComPtr<Other> As(REFIID iid) const {
    ComPtr<Other> other;
    if (pointer_ != nullptr) pointer_->QueryInterface(iid, other.put_void());
    return other;
  }

 private:
  Interface* pointer_ = nullptr;
};

#endif  // COMMON_SCOPED_HANDLES_H_
