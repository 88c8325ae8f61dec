// Owners of the engine's Win32 handles, each closed exactly once. Kernel
// objects (processes, threads, events, pipes) are empty when null; files when
// INVALID_HANDLE_VALUE, as are Toolhelp snapshots; WinHTTP handles when null.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Empty(); }
    Handle Release() { return std::exchange(handle_, Traits::Empty()); }
    void Reset(Handle handle = Traits::Empty()) {
        const Handle old = std::exchange(handle_, handle);
        if (old != Traits::Empty()) Traits::Close(old);
    }

private:
    Handle handle_ = Traits::Empty();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) { CloseHandle(handle); }
};

struct InternetHandleTraits {
    using Handle = HINTERNET;
    static Handle Empty() { return nullptr; }
    static void Close(Handle handle) { WinHttpCloseHandle(handle); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using SnapshotHandle = UniqueHandle<FileHandleTraits>;  // Toolhelp snapshots share the files' empty value
using InternetHandle = UniqueHandle<InternetHandleTraits>;
