#pragma once
// Owners for Win32 handles, keys, COM pointers and strings: one template, a traits struct per
// kind saying what "empty" is and how to close. Copy is deleted, move allowed; put() closes
// the old value before handing out the address, so reusing an owner never leaks.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <type_traits>

namespace win32 {

template <typename Traits>
class Unique {
 public:
  using pointer = typename Traits::pointer;

  Unique() noexcept = default;
  explicit Unique(pointer value) noexcept : value_(value) {}
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  Unique(Unique&& other) noexcept : value_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~Unique() { reset(); }

  pointer get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }
  pointer operator->() const noexcept
    requires std::is_class_v<std::remove_pointer_t<pointer>>
  {
    return value_;
  }

  pointer release() noexcept {
    pointer value = value_;
    value_ = Traits::Invalid();
    return value;
  }
  void reset(pointer value = Traits::Invalid()) noexcept {
    pointer old = value_;
    value_ = value;
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  pointer* put() noexcept {
    reset();
    return &value_;
  }

 private:
  pointer value_ = Traits::Invalid();
};

struct HandleTraits {  // kernel handles that are NULL when empty (processes, threads, events)
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer h) noexcept { ::CloseHandle(h); }
};
struct FileHandleTraits {  // kernel handles that are INVALID_HANDLE_VALUE when empty
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(pointer h) noexcept { ::CloseHandle(h); }
};
struct FindTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(pointer h) noexcept { ::FindClose(h); }
};
struct KeyTraits {
  using pointer = HKEY;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer h) noexcept { ::RegCloseKey(h); }
};
template <typename T>
struct GdiTraits {
  using pointer = T;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer h) noexcept { ::DeleteObject(h); }
};
struct IconTraits {
  using pointer = HICON;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer h) noexcept { ::DestroyIcon(h); }
};
struct WindowTraits {
  using pointer = HWND;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer h) noexcept { ::DestroyWindow(h); }
};
template <typename T>
struct LocalTraits {  // memory the platform allocated with LocalAlloc
  using pointer = T;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer p) noexcept { ::LocalFree(p); }
};
struct CoTaskMemTraits {
  using pointer = wchar_t*;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer p) noexcept { ::CoTaskMemFree(p); }
};
struct BstrTraits {
  using pointer = BSTR;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer p) noexcept { ::SysFreeString(p); }
};
template <typename I>
struct ComTraits {
  using pointer = I*;
  static pointer Invalid() noexcept { return nullptr; }
  static void Close(pointer p) noexcept { p->Release(); }
};

using UniqueHandle = Unique<HandleTraits>;
using UniqueFile = Unique<FileHandleTraits>;
using UniqueFind = Unique<FindTraits>;
using UniqueKey = Unique<KeyTraits>;
using UniqueFont = Unique<GdiTraits<HFONT>>;
using UniqueIcon = Unique<IconTraits>;
using UniqueWindow = Unique<WindowTraits>;
using UniqueCoTaskMem = Unique<CoTaskMemTraits>;
using UniqueBstr = Unique<BstrTraits>;
template <typename I>
using ComPtr = Unique<ComTraits<I>>;

// A VARIANT that is cleared when it goes out of scope.
class UniqueVariant {
 public:
  UniqueVariant() noexcept { ::VariantInit(&value_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  ~UniqueVariant() { ::VariantClear(&value_); }
  VARIANT* get() noexcept { return &value_; }
  const VARIANT* get() const noexcept { return &value_; }
  VARIANT* put() noexcept {
    ::VariantClear(&value_);
    return &value_;
  }

 private:
  VARIANT value_;
};

// COM for the calling thread, for as long as the owner lives. A thread that already has COM
// keeps its apartment; the owner then only balances its own successful initialisation.
class ComApartment {
 public:
  explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) noexcept
      : result_(::CoInitializeEx(nullptr, model)) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  // S_OK, S_FALSE (already initialised the same way) or RPC_E_CHANGED_MODE are all usable.
  bool usable() const noexcept { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

}  // namespace win32
