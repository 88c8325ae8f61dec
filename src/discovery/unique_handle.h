// Owners of the two kinds of kernel handle the discovery opens. Each kind has
// its own empty value: null for a process (-1 would be the current process's
// pseudo-handle), INVALID_HANDLE_VALUE for a Toolhelp snapshot.
#pragma once

#include <windows.h>

template <typename Kind>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE value) : handle(value) {}
    ~UniqueHandle() { Close(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return handle; }
    bool Valid() const { return handle != Kind::Empty(); }
    void Close() {
        if (Valid()) {
            const HANDLE closing = handle;
            handle = Kind::Empty();
            CloseHandle(closing);
        }
    }

private:
    HANDLE handle = Kind::Empty();
};

struct ProcessHandleKind {
    static HANDLE Empty() { return nullptr; }
};
struct SnapshotHandleKind {
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
};

using ProcessHandle = UniqueHandle<ProcessHandleKind>;
using SnapshotHandle = UniqueHandle<SnapshotHandleKind>;
