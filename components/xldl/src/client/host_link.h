// The client library's tie to its host process: starting it, the pipe to it,
// and the task numbers handed out, all under one lock so that the library's
// functions may be called from several threads at once.
//
// Task numbers are given by the client and never reused, so a task of a host
// that died stays recognisable: it reports ERROR with MINITP_CRASHED, while a
// new host (after XL_Init) starts with none of the old tasks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/engine_protocol.h"
#include "common/win_handles.h"

struct HostLink {
    std::mutex lock;
    std::wstring hostPath;         // from XL_SetMiniTpPath; empty: beside the library
    KernelHandle process;
    FileHandle pipe;
    std::uint32_t generation = 0;  // of the running host; 0: none yet
    bool alive = false;
    std::uint32_t nextTask = 1;
    std::map<std::uint32_t, std::uint32_t> tasks;  // task -> generation of the host that holds it
};

HostLink& Link();

// Starts a host unless one answers; the lock must be held.
bool EnsureHost(HostLink& link);
// Ends the host (asking it first); the lock must be held. False when none ran.
bool EndHost(HostLink& link);
// One request and its reply; false when the host is gone (it is then marked dead).
bool Transact(HostLink& link, EngineOp op, std::uint32_t task, const void* payload, std::uint32_t payloadLength,
              std::int32_t& result, std::vector<char>* replyPayload);
