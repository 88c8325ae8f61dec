// What another process holds, measured from outside: its open handles and its
// private (committed) memory. Wine's GetProcessHandleCount answers 0 and its
// PrivateUsage stays 0, so handles are counted in the system handle table
// (which Wine fills for every process, as Windows does) and private memory is
// read as PagefileUsage, which Windows documents as the same figure.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <vector>

namespace usage {

// The number of handles the process holds, or -1 when the table is unreadable.
inline long HandleCount(DWORD pid) {
    struct Entry {
        void* object;
        ULONG_PTR processId;
        ULONG_PTR handleValue;
        ULONG grantedAccess;
        USHORT creatorBackTraceIndex;
        USHORT objectTypeIndex;
        ULONG handleAttributes;
        ULONG reserved;
    };
    struct Table {
        ULONG_PTR count;
        ULONG_PTR reserved;
        Entry entries[1];
    };
    using QueryFunction = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    constexpr ULONG kExtendedHandleInformation = 64;
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<ULONG_PTR> buffer(1 << 16);
    for (;;) {
        const ULONG bytes = static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR));
        ULONG needed = 0;
        const LONG status = query(kExtendedHandleInformation, buffer.data(), bytes, &needed);
        if (status == kLengthMismatch && buffer.size() < (1u << 26)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0) return -1;
        const Table* table = reinterpret_cast<const Table*>(buffer.data());
        long count = 0;
        for (ULONG_PTR entry = 0; entry < table->count; ++entry) count += table->entries[entry].processId == pid;
        return count;
    }
}

// The process's committed private bytes, or 0 when they cannot be read.
inline SIZE_T PrivateBytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
        return 0;
    return counters.PrivateUsage > counters.PagefileUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

}  // namespace usage
