#pragma once
// Owning wrappers, one per kind of Win32 resource. Closing a resource keeps the
// thread's last error unchanged: callers log GetLastError() after a failed call,
// and a cleanup in between must not overwrite it.

#include <windows.h>

#include <utility>

template <typename Traits>
class UniqueResource {
  public:
    using Type = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(Type value) : value_(value) {}
    ~UniqueResource() { Reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Type Get() const { return value_; }
    bool IsValid() const { return value_ != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    // Closes what is held and hands out the slot for a call that fills it.
    Type* Put() {
        Reset();
        return &value_;
    }

    Type Release() { return std::exchange(value_, Traits::Invalid()); }

    void Reset(Type value = Traits::Invalid()) {
        if (value_ != Traits::Invalid()) {
            const DWORD lastError = GetLastError();
            Traits::Close(value_);
            SetLastError(lastError);
        }
        value_ = value;
    }

  private:
    Type value_ = Traits::Invalid();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { CloseHandle(h); }
};
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { RegCloseKey(h); }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { FindClose(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { FreeLibrary(h); }
};
struct EventSourceTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { DeregisterEventSource(h); }
};
struct MappedViewTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static void Close(Type view) { UnmapViewOfFile(view); }
};
struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    static void Close(Type memory) { LocalFree(memory); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;      // process, thread, event, mutex
using UniqueFileHandle = UniqueResource<FileHandleTraits>;    // CreateFileW
using UniqueHkey = UniqueResource<RegKeyTraits>;              // RegOpenKeyExW, RegCreateKeyExW
using UniqueFindHandle = UniqueResource<FindHandleTraits>;    // FindFirstFileW
using UniqueModule = UniqueResource<ModuleTraits>;            // LoadLibraryW
using UniqueEventSource = UniqueResource<EventSourceTraits>;  // RegisterEventSourceW
using UniqueMappedView = UniqueResource<MappedViewTraits>;    // MapViewOfFile
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;  // FormatMessageW buffers

// An owned COM interface pointer, released on destruction (last error kept).
template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* Get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

    T** Put() {
        Reset();
        return &ptr_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    void Reset() {
        if (ptr_ != nullptr) {
            const DWORD lastError = GetLastError();
            ptr_->Release();
            SetLastError(lastError);
            ptr_ = nullptr;
        }
    }

  private:
    T* ptr_ = nullptr;
};
