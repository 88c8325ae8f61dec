// MiniThunderPlatform.exe, the download engine's host process. It serves one
// client (the process that started it, named on its command line) over one
// named pipe, one request at a time, and ends when the client asks it to, when
// the pipe breaks, or when the client process ends.
#include <windows.h>
#include <shellapi.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/engine_protocol.h"
#include "common/win_handles.h"
#include "host/download_task.h"
#include "host/http_fetch.h"
#include "xldl.h"

namespace {

struct HostState {
    std::mutex lock;
    std::map<std::uint32_t, std::shared_ptr<DownloadTask>> tasks;
    RetryPolicy retry;
};

HostState& Host() {
    static HostState host;
    return host;
}

RetryPolicy RetryPolicyFromEnvironment() {
    RetryPolicy policy;
    wchar_t text[32] = {};
    const DWORD length = GetEnvironmentVariableW(kTimeoutVariable, text, 32);
    if (length == 0 || length >= 32) return policy;
    const long value = std::wcstol(text, nullptr, 10);
    if (value < 50 || value > 600000) return policy;
    policy.timeoutMs = static_cast<DWORD>(value);
    // Short time-outs are for tests: the back-off shrinks in step.
    policy.backoffMs = std::min<DWORD>(policy.backoffMs, std::max<DWORD>(20, policy.timeoutMs / 20));
    policy.maxBackoffMs = std::min<DWORD>(policy.maxBackoffMs, std::max<DWORD>(100, policy.timeoutMs));
    return policy;
}

// The first TLS connection of a process loads the system's TLS provider, which
// takes a noticeable moment; doing that at start keeps it off the first download.
void WarmUpTls() {
    SCHANNEL_CRED settings{};
    settings.dwVersion = SCHANNEL_CRED_VERSION;
    CredHandle credentials{};
    TimeStamp expiry{};
    if (AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                  &settings, nullptr, nullptr, &credentials, &expiry) == SEC_E_OK)
        FreeCredentialsHandle(&credentials);
    FetchSession();
}

std::shared_ptr<DownloadTask> FindTask(std::uint32_t id) {
    HostState& host = Host();
    std::lock_guard<std::mutex> guard(host.lock);
    const auto found = host.tasks.find(id);
    return found == host.tasks.end() ? nullptr : found->second;
}

// Stops every task and gives the controllers a moment to keep their resume records.
void StopAllTasks() {
    std::vector<std::shared_ptr<DownloadTask>> tasks;
    {
        HostState& host = Host();
        std::lock_guard<std::mutex> guard(host.lock);
        for (const auto& entry : host.tasks) tasks.push_back(entry.second);
    }
    for (const auto& task : tasks) StopDownload(*task);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    for (const auto& task : tasks)
        while (DownloadRunning(*task) && std::chrono::steady_clock::now() < deadline) Sleep(10);
}

std::int32_t Answer(const EngineRequest& request, const std::vector<char>& payload, std::vector<char>& reply) {
    HostState& host = Host();
    switch (static_cast<EngineOp>(request.op)) {
        case EngineOp::Create: {
            if (request.task == 0 || payload.size() != sizeof(DownTaskParam)) return 0;
            auto param = std::make_unique<DownTaskParam>();
            std::memcpy(param.get(), payload.data(), sizeof *param);
            auto task = NewDownloadTask(*param, host.retry);
            if (!task) return 0;
            std::lock_guard<std::mutex> guard(host.lock);
            return host.tasks.emplace(request.task, std::move(task)).second ? 1 : 0;
        }
        case EngineOp::Start: {
            const auto task = FindTask(request.task);
            return task && StartDownload(task) ? 1 : 0;
        }
        case EngineOp::Stop:
        case EngineOp::ForceStop: {
            const auto task = FindTask(request.task);
            return task && StopDownload(*task) ? 1 : 0;
        }
        case EngineOp::Delete: {
            const auto task = FindTask(request.task);
            if (!task) return 0;
            DeleteDownload(task);
            std::lock_guard<std::mutex> guard(host.lock);
            host.tasks.erase(request.task);
            return 1;
        }
        case EngineOp::Query: {
            const auto task = FindTask(request.task);
            if (!task) return 0;
            const DownTaskInfo info = DownloadInfo(*task);
            reply.assign(reinterpret_cast<const char*>(&info), reinterpret_cast<const char*>(&info) + sizeof info);
            return 1;
        }
        case EngineOp::UploadLimit:
            return 1;  // nothing is uploaded
        case EngineOp::Quit:
            StopAllTasks();
            return 1;
    }
    return 0;
}

void Serve(HANDLE pipe) {
    for (;;) {
        EngineRequest request;
        if (!PipeReadAll(pipe, &request, sizeof request) || request.payloadLength > kMaxEnginePayload) return;
        std::vector<char> payload(request.payloadLength);
        if (!payload.empty() && !PipeReadAll(pipe, payload.data(), request.payloadLength)) return;
        std::vector<char> replyPayload;
        EngineReply reply;
        reply.result = Answer(request, payload, replyPayload);
        reply.payloadLength = static_cast<std::uint32_t>(replyPayload.size());
        if (!PipeWriteAll(pipe, &reply, sizeof reply)) return;
        if (!replyPayload.empty() && !PipeWriteAll(pipe, replyPayload.data(), reply.payloadLength)) return;
        if (static_cast<EngineOp>(request.op) == EngineOp::Quit) {
            FlushFileBuffers(pipe);
            return;
        }
    }
}

struct CommandLine {
    DWORD client = 0;
    std::wstring pipe;
};

CommandLine ParseCommandLine() {
    CommandLine parsed;
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return parsed;
    for (int i = 1; i + 1 < count; ++i) {
        if (std::wcscmp(arguments[i], kClientSwitch) == 0)
            parsed.client = static_cast<DWORD>(std::wcstoul(arguments[i + 1], nullptr, 10));
        if (std::wcscmp(arguments[i], kPipeSwitch) == 0) parsed.pipe = arguments[i + 1];
    }
    LocalFree(arguments);
    return parsed;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const CommandLine arguments = ParseCommandLine();
    if (arguments.client == 0 || arguments.pipe.empty()) return 2;
    // The host outlives no client: when the client ends, so does the host.
    const KernelHandle client(OpenProcess(SYNCHRONIZE, FALSE, arguments.client));
    if (!client) return 3;
    Host().retry = RetryPolicyFromEnvironment();
    const HANDLE watched = client.Get();
    std::thread([watched] {
        WaitForSingleObject(watched, INFINITE);
        StopAllTasks();
        ExitProcess(0);
    }).detach();

    std::thread(WarmUpTls).detach();

    const FileHandle pipe(CreateNamedPipeW(arguments.pipe.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                           PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                           1, 64 << 10, 64 << 10, 0, nullptr));
    if (!pipe) return 4;
    if (!ConnectNamedPipe(pipe.Get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return 5;
    Serve(pipe.Get());
    StopAllTasks();
    ExitProcess(0);
}
