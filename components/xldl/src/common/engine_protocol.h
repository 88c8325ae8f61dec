// The channel between xldl.dll and its host process: a named pipe that the
// host creates ("\\.\pipe\quillmere-engine-<client pid>-<serial>", given on
// its command line together with the client's process id) and the client
// opens. The client sends one request and reads its reply, one at a time;
// every number is little-endian, as both ends run on the same machine.
//
//   request: EngineRequest, then payloadLength bytes
//   reply:   EngineReply, then payloadLength bytes
//
//   Create      task = the client's new task number, payload DownTaskParam; result 1/0
//   Start, Stop, ForceStop, Delete
//               task; result 1/0
//   Query       task; result 1 and payload DownTaskInfo, or 0 for an unknown task
//   UploadLimit payload two int32 (KB/s); result 1
//   Quit        result 1, sent before the host ends its tasks and exits
#pragma once

#include <windows.h>

#include <cstdint>

enum class EngineOp : std::uint32_t { Create = 1, Start, Stop, ForceStop, Delete, Query, UploadLimit, Quit };

#pragma pack(push, 1)
struct EngineRequest {
    std::uint32_t op = 0;
    std::uint32_t task = 0;
    std::uint32_t payloadLength = 0;
};

struct EngineReply {
    std::int32_t result = 0;
    std::uint32_t payloadLength = 0;
};
#pragma pack(pop)

// No payload is larger than the task record; anything larger is a broken peer.
constexpr std::uint32_t kMaxEnginePayload = 64 * 1024;

// The host's command line: MiniThunderPlatform.exe --client <pid> --pipe <name>
constexpr wchar_t kClientSwitch[] = L"--client";
constexpr wchar_t kPipeSwitch[] = L"--pipe";

// Environment variable (inherited from the client) replacing the host's
// stall and connect time-out in milliseconds.
constexpr wchar_t kTimeoutVariable[] = L"QUILLMERE_ENGINE_TIMEOUT_MS";

// Reads or writes exactly `length` bytes on a pipe; false when the peer is gone.
inline bool PipeReadAll(HANDLE pipe, void* data, DWORD length) {
    auto* bytes = static_cast<char*>(data);
    while (length > 0) {
        DWORD read = 0;
        if (!ReadFile(pipe, bytes, length, &read, nullptr) || read == 0) return false;
        bytes += read;
        length -= read;
    }
    return true;
}

inline bool PipeWriteAll(HANDLE pipe, const void* data, DWORD length) {
    const auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(pipe, bytes, length, &written, nullptr) || written == 0) return false;
        bytes += written;
        length -= written;
    }
    return true;
}
