// The exported functions of xldl.dll: each one takes the link's lock, asks
// the host, and turns the answer into the documented result.
#include <windows.h>

#include <cstring>

#include "client/host_link.h"
#include "xldl.h"

namespace {

// A task's request; FALSE for a task unknown to this client or whose host is gone.
BOOL TaskRequest(EngineOp op, XL_TASK task) {
    HostLink& link = Link();
    std::lock_guard<std::mutex> guard(link.lock);
    const auto found = link.tasks.find(static_cast<std::uint32_t>(task));
    if (task > UINT32_MAX || found == link.tasks.end() || found->second != link.generation) return FALSE;
    std::int32_t result = 0;
    if (!Transact(link, op, found->first, nullptr, 0, result, nullptr)) return FALSE;
    if (op == EngineOp::Delete && result) link.tasks.erase(found);
    return result ? TRUE : FALSE;
}

}  // namespace

extern "C" {

BOOL WINAPI XL_Init(void) {
    HostLink& link = Link();
    std::lock_guard<std::mutex> guard(link.lock);
    return EnsureHost(link) ? TRUE : FALSE;
}

BOOL WINAPI XL_UnInit(void) {
    HostLink& link = Link();
    std::lock_guard<std::mutex> guard(link.lock);
    link.tasks.clear();
    return EndHost(link) ? TRUE : FALSE;
}

void WINAPI XL_SetMiniTpPath(const wchar_t* path) {
    HostLink& link = Link();
    std::lock_guard<std::mutex> guard(link.lock);
    link.hostPath = path ? path : L"";
}

XL_TASK WINAPI XL_CreateTask(const DownTaskParam* param) {
    if (!param) return 0;
    HostLink& link = Link();
    std::lock_guard<std::mutex> guard(link.lock);
    if (!link.alive) return 0;
    const std::uint32_t task = link.nextTask;
    std::int32_t result = 0;
    if (!Transact(link, EngineOp::Create, task, param, sizeof *param, result, nullptr) || !result) return 0;
    ++link.nextTask;
    link.tasks[task] = link.generation;
    return task;
}

BOOL WINAPI XL_StartTask(XL_TASK task) { return TaskRequest(EngineOp::Start, task); }
BOOL WINAPI XL_StopTask(XL_TASK task) { return TaskRequest(EngineOp::Stop, task); }
BOOL WINAPI XL_ForceStopTask(XL_TASK task) { return TaskRequest(EngineOp::ForceStop, task); }
BOOL WINAPI XL_DeleteTask(XL_TASK task) { return TaskRequest(EngineOp::Delete, task); }

BOOL WINAPI XL_QueryTaskInfoEx(XL_TASK task, DownTaskInfo* info) {
    if (!info || task > UINT32_MAX) return FALSE;
    HostLink& link = Link();
    std::lock_guard<std::mutex> guard(link.lock);
    const auto found = link.tasks.find(static_cast<std::uint32_t>(task));
    if (found == link.tasks.end()) return FALSE;
    std::int32_t result = 0;
    std::vector<char> reply;
    if (found->second == link.generation && Transact(link, EngineOp::Query, found->first, nullptr, 0, result, &reply)) {
        if (!result || reply.size() != sizeof *info) return FALSE;
        std::memcpy(info, reply.data(), sizeof *info);
        return TRUE;
    }
    // The host that held the task is gone.
    std::memset(info, 0, sizeof *info);
    info->stat = TSC_ERROR;
    info->fail_code = TASK_ERROR_MINITP_CRASHED;
    return TRUE;
}

void WINAPI XL_SetUploadSpeedLimit(int32_t tcpLimitKBps, int32_t otherLimitKBps) {
    HostLink& link = Link();
    std::lock_guard<std::mutex> guard(link.lock);
    const int32_t limits[2] = {tcpLimitKBps, otherLimitKBps};
    std::int32_t result = 0;
    Transact(link, EngineOp::UploadLimit, 0, limits, sizeof limits, result, nullptr);
}

}  // extern "C"
